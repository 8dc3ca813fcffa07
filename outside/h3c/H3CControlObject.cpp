// The simulated H3C playback control.
#include "H3CControlObject.h"

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <mutex>
#include <oleauto.h>
#include <vector>

#include "H3CControl.h"
#include "H3CSim.h"
#include "SdkMedia.h"
#include "win32/text.h"

namespace {

std::mutex g_controlLock;
int g_loadQueries = 2;  // guarded by g_controlLock
bool g_visible = false; // guarded by g_controlLock

enum Member : DISPID {
    kAttachWindow = 1,
    kOpenFile,
    kGetPlayTime,
    kPlay,
    kPause,
    kStop,
    kStepForward,
    kCloseFile,
    kSetPosition,
    kSetSpeed,
    kSetCapturePath,
    kCapture,
    kShowWindow,
};

// Name, member, and the argument types (VT_BSTR, VT_I4 or VT_BYREF|VT_I4).
struct MemberInfo {
    const wchar_t* name;
    DISPID id;
    std::vector<VARTYPE> args;
};

const std::vector<MemberInfo>& Members()
{
    static const std::vector<MemberInfo> members = {
        {L"AttachWindow", kAttachWindow, {VT_I4}},
        {L"OpenFile", kOpenFile, {VT_BSTR}},
        {L"GetPlayTime", kGetPlayTime, {VT_BYREF | VT_I4, VT_BYREF | VT_I4}},
        {L"Play", kPlay, {}},
        {L"Pause", kPause, {}},
        {L"Stop", kStop, {}},
        {L"StepForward", kStepForward, {}},
        {L"CloseFile", kCloseFile, {}},
        {L"SetPosition", kSetPosition, {VT_I4}},
        {L"SetSpeed", kSetSpeed, {VT_I4}},
        {L"SetCapturePath", kSetCapturePath, {VT_BSTR}},
        {L"Capture", kCapture, {}},
        {L"ShowWindow", kShowWindow, {VT_I4}},
    };
    return members;
}

const MemberInfo* FindMember(DISPID id)
{
    for (const MemberInfo& member : Members())
        if (member.id == id)
            return &member;
    return nullptr;
}

bool SameName(const wchar_t* a, const wchar_t* b)
{
    for (; *a && *b; ++a, ++b)
        if (towlower(*a) != towlower(*b))
            return false;
    return *a == *b;
}

// One converted argument.
struct Argument {
    LONG number = 0;
    std::string text;
    LONG* out = nullptr;
};

class CH3CControlObject : public CUnknown, public IDispatch {
public:
    CH3CControlObject(LPUNKNOWN outer, HRESULT* phr) : CUnknown("H3C control", outer, phr) {}

    DECLARE_IUNKNOWN

    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, LPVOID* ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IDispatch)
            return GetInterface(static_cast<IDispatch*>(this), ppv);
        return CUnknown::NonDelegatingQueryInterface(riid, ppv);
    }

    STDMETHODIMP GetTypeInfoCount(UINT* count) override
    {
        if (!count)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override
    {
        if (info)
            *info = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override
    {
        if (!names || !ids)
            return E_POINTER;
        HRESULT hr = S_OK;
        for (UINT i = 0; i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
            // Only the member's own name: it takes no named arguments.
            if (i == 0)
                for (const MemberInfo& member : Members())
                    if (names[0] && SameName(names[0], member.name))
                        ids[0] = member.id;
            if (ids[i] == DISPID_UNKNOWN)
                hr = DISP_E_UNKNOWNNAME;
        }
        return hr;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO*, UINT* argError) override
    {
        const MemberInfo* member = FindMember(id);
        if (!member)
            return DISP_E_MEMBERNOTFOUND;
        if (!(flags & DISPATCH_METHOD))
            return DISP_E_MEMBERNOTFOUND;
        if (!params || params->cArgs != member->args.size())
            return DISP_E_BADPARAMCOUNT;
        if (params->cNamedArgs != 0)
            return DISP_E_NONAMEDARGS;
        std::vector<Argument> args(member->args.size());
        std::vector<std::string> logged;
        for (size_t i = 0; i < args.size(); ++i) {
            // Arguments arrive last first.
            VARIANT& given = params->rgvarg[args.size() - 1 - i];
            const VARTYPE want = member->args[i];
            if (want == (VT_BYREF | VT_I4)) {
                if (given.vt != (VT_BYREF | VT_I4) || !given.plVal) {
                    if (argError)
                        *argError = static_cast<UINT>(args.size() - 1 - i);
                    return DISP_E_TYPEMISMATCH;
                }
                args[i].out = given.plVal;
                logged.push_back("ref");
                continue;
            }
            VARIANT converted;
            VariantInit(&converted);
            if (FAILED(VariantChangeType(&converted, &given, 0, want))) {
                if (argError)
                    *argError = static_cast<UINT>(args.size() - 1 - i);
                return DISP_E_TYPEMISMATCH;
            }
            if (want == VT_BSTR)
                args[i].text = converted.bstrVal ? TvWideToUtf8(converted.bstrVal) : "";
            else
                args[i].number = converted.lVal;
            logged.push_back(want == VT_BSTR ? args[i].text : SdkArg(args[i].number));
            VariantClear(&converted);
        }
        H3cSimControlCalls().Record(TvWideToUtf8(member->name).c_str(), logged);
        int error = 0;
        LONG answer = 0;
        if (H3cSimControlCalls().TakeFailure(TvWideToUtf8(member->name), &error))
            answer = error;
        else
            answer = Run(member->id, args);
        if (result) {
            VariantInit(result);
            result->vt = VT_I4;
            result->lVal = answer;
        }
        return S_OK;
    }

private:
    LONG Run(DISPID id, const std::vector<Argument>& args)
    {
        switch (id) {
        case kAttachWindow:
            m_window = args[0].number;
            return m_window ? 0 : kH3cErrArgument;
        case kOpenFile: {
            if (!m_window)
                return kH3cErrOrder;
            SdkMediaInfo info;
            if (!SdkReadMediaFile(args[0].text.c_str(), &info, kH3cMediaMagic))
                return kH3cErrNoRecord;
            m_info = info;
            m_open = true;
            m_frame = 0;
            std::lock_guard<std::mutex> lock(g_controlLock);
            m_loadQueries = g_loadQueries;
            return 0;
        }
        case kGetPlayTime:
            *args[0].out = m_open ? static_cast<LONG>(m_frame / m_info.frameRate) : 0;
            *args[1].out = 0;
            if (m_open && m_loadQueries-- <= 0)
                *args[1].out = static_cast<LONG>(m_info.frameCount / m_info.frameRate);
            return 0;
        case kPlay:
        case kPause:
            return m_open ? 0 : kH3cErrOrder;
        case kStop:
            return m_open ? 0 : kH3cErrOrder;
        case kStepForward:
            if (!m_open)
                return kH3cErrOrder;
            m_frame = std::min<long>(m_frame + 1, m_info.frameCount);
            return 0;
        case kCloseFile:
            m_open = false;
            return 0;
        case kSetPosition:
            if (!m_open || args[0].number < 0 ||
                args[0].number > m_info.frameCount / m_info.frameRate)
                return kH3cErrArgument;
            m_frame = args[0].number * m_info.frameRate;
            return 0;
        case kSetSpeed:
            if (!m_open)
                return kH3cErrOrder;
            return (args[0].number >= 0 && args[0].number <= 10 && args[0].number != 6)
                       ? 0
                       : kH3cErrArgument;
        case kSetCapturePath:
            m_captureFolder = args[0].text;
            return 0;
        case kCapture: {
            if (!m_open || m_captureFolder.empty())
                return kH3cErrOrder;
            const std::vector<uint8_t> picture = SdkDrawYv12(m_info.width, m_info.height, m_frame);
            std::string path = m_captureFolder;
            if (path.back() != '\\' && path.back() != '/')
                path += '/';
            path += "H3C_" + std::to_string(++m_captures) + ".bmp";
            return SdkWriteYv12Bmp(picture.data(), picture.size(), m_info.width, m_info.height,
                                   path.c_str())
                       ? 0
                       : kH3cErrArgument;
        }
        case kShowWindow: {
            std::lock_guard<std::mutex> lock(g_controlLock);
            g_visible = args[0].number != 0;
            return 0;
        }
        }
        return kH3cErrArgument;
    }

    LONG m_window = 0;
    bool m_open = false;
    SdkMediaInfo m_info;
    long m_frame = 0;
    int m_loadQueries = 0;
    std::string m_captureFolder;
    int m_captures = 0;
};

} // namespace

CUnknown* H3cCreateControl(LPUNKNOWN outer, HRESULT* phr)
{
    return CreateComInstance<CH3CControlObject>(outer, phr);
}

CSdkCallLog& H3cSimControlCalls()
{
    static CSdkCallLog log;
    return log;
}

void H3cSimSetLoadQueries(int queries)
{
    std::lock_guard<std::mutex> lock(g_controlLock);
    g_loadQueries = queries;
}

bool H3cSimControlVisible()
{
    std::lock_guard<std::mutex> lock(g_controlLock);
    return g_visible;
}
