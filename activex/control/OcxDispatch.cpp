// The control's dispatch table and the argument conversions behind Invoke.
#include "OcxDispatch.h"

#include <cmath>
#include <cstring>
#include <cwctype>
#include <vector>

#include "CPlayerBase.h"
#include "CTarvoPlayerOCXCtrl.h"
#include "PlayerCommands.h"
#include "TarvoPlayErrors.h"
#include "oleauto.h"
#include "win32/text.h"

namespace {

using A = OcxArg;
using N = OcxNoPlayer;

// Addresses below the first 64 KiB are never mapped on this platform: such a
// "pointer" is a number a script passed, not memory to write.
constexpr uintptr_t kLowestAddress = 0x10000;

OcxMethod Make(DISPID id, const wchar_t* name, N noPlayer, std::initializer_list<A> args,
               LONG (*call)(CTarvoPlayerOCXCtrl&, CPlayerBase*, COcxArgs&))
{
    OcxMethod m = {id, name, static_cast<int>(args.size()), {}, noPlayer, call};
    int i = 0;
    for (A kind : args)
        m.args[i++] = kind;
    return m;
}

// The rates and ranges PlayControl and VideoCutControl read through lInValue.
bool ReadsInAsPointer(bool cut, LONG command)
{
    return cut ? command == TP_CUT_SET
               : command == TP_PLAY_SET_RATE || command == TP_PLAY_SET_VOD_RANGE;
}

LONG Control(bool cut, CPlayerBase* p, COcxArgs& a)
{
    const LONG command = a.Long(0);
    intptr_t in = a.Long(1);
    if (ReadsInAsPointer(cut, command)) {
        if (a.IsReal(1))
            in = reinterpret_cast<intptr_t>(a.Real(1));
        else if (a.Raw(1) && reinterpret_cast<uintptr_t>(a.Raw(1)) < kLowestAddress)
            return E_POINTER;
        else
            in = reinterpret_cast<intptr_t>(a.Raw(1));
    }
    const LONG result = cut ? TpVideoCutControl(*p, command, in, a.Ptr(2))
                            : TpPlayControl(*p, command, in, a.Ptr(2));
    // The out storage holds a rate only when one was read; otherwise it still
    // holds the caller's long, which must not be handed back as a double.
    if (!cut && command == TP_PLAY_GET_RATE && result == 0)
        a.MarkReal(2);
    return result;
}

const POINT* Points(COcxArgs& a, int i)
{
    return reinterpret_cast<const POINT*>(a.Raw(i));
}

std::vector<OcxMethod> BuildTable()
{
    std::vector<OcxMethod> t;
    // 1: colorBackGround is a property; Invoke handles it before the table's call.
    t.push_back(Make(1, L"colorBackGround", N::Runs, {A::Color},
                     [](CTarvoPlayerOCXCtrl& c, CPlayerBase*, COcxArgs&) {
                         return static_cast<LONG>(c.BackColor());
                     }));
    t.push_back(Make(
        2, L"Login", N::Runs, {A::Long, A::Text, A::Long, A::Text, A::Text, A::OutLong, A::Long},
        [](CTarvoPlayerOCXCtrl& c, CPlayerBase*, COcxArgs& a) {
            return c.Login(a.Long(0), a.Text(1), a.Long(2), a.Text(3), a.Text(4), a.Ptr(5));
        }));
    t.push_back(Make(3, L"Logout", N::Runs, {A::Long, A::Long, A::Long},
                     [](CTarvoPlayerOCXCtrl& c, CPlayerBase*, COcxArgs& a) {
                         return c.Logout(a.Long(0), a.Long(1));
                     }));
    t.push_back(Make(4, L"Initialize", N::Runs, {A::Long, A::Long, A::Long, A::Long, A::Long},
                     [](CTarvoPlayerOCXCtrl& c, CPlayerBase*, COcxArgs& a) {
                         return c.Initialize(a.Long(0), a.Long(1), a.Long(2), a.Long(3));
                     }));
    t.push_back(Make(5, L"SetLoginHandle", N::Code, {A::Long, A::Long},
                     [](CTarvoPlayerOCXCtrl&, CPlayerBase* p, COcxArgs& a) {
                         return LONG(p->SetLoginHandle(a.Long(0)));
                     }));
    t.push_back(Make(6, L"OpenStream", N::Code, {A::Text, A::Long, A::Long, A::Long, A::Long},
                     [](CTarvoPlayerOCXCtrl&, CPlayerBase* p, COcxArgs& a) {
                         return LONG(p->OpenStream(a.Text(0), a.Long(1), a.Long(2), a.Long(3)));
                     }));
    t.push_back(Make(7, L"OpenPeriod", N::Code, {A::Long, A::Long, A::Long, A::Long},
                     [](CTarvoPlayerOCXCtrl&, CPlayerBase* p, COcxArgs& a) {
                         return LONG(p->OpenPeriod(a.Long(0), a.Long(1), a.Long(2)));
                     }));
    t.push_back(Make(8, L"OpenRemoteFile", N::Code, {A::Text, A::Long},
                     [](CTarvoPlayerOCXCtrl&, CPlayerBase* p, COcxArgs& a) {
                         return LONG(p->OpenRemoteFile(a.Text(0)));
                     }));
    t.push_back(Make(9, L"OpenLocalFile", N::Runs, {A::Text, A::Long},
                     [](CTarvoPlayerOCXCtrl& c, CPlayerBase*, COcxArgs& a) {
                         return c.OpenLocalFile(a.Text(0));
                     }));
    t.push_back(Make(
        10, L"PlayControl", N::Code, {A::Long, A::InValue, A::OutLong, A::Long},
        [](CTarvoPlayerOCXCtrl&, CPlayerBase* p, COcxArgs& a) { return Control(false, p, a); }));
    t.push_back(Make(
        11, L"VideoCutControl", N::Code, {A::Long, A::InValue, A::OutLong, A::Long},
        [](CTarvoPlayerOCXCtrl&, CPlayerBase* p, COcxArgs& a) { return Control(true, p, a); }));
    t.push_back(Make(12, L"PTZControl", N::Runs, {A::Long, A::Long, A::OutLong, A::Long},
                     [](CTarvoPlayerOCXCtrl& c, CPlayerBase*, COcxArgs& a) {
                         return c.PTZControl(a.Long(0), a.Long(1));
                     }));
    t.push_back(Make(13, L"SetReduceLevel", N::Code, {A::Long, A::Long, A::Long},
                     [](CTarvoPlayerOCXCtrl&, CPlayerBase* p, COcxArgs& a) {
                         return LONG(p->SetReduceLevel(a.Long(0), a.Long(1)));
                     }));
    t.push_back(Make(14, L"GetReduceLevel", N::Code, {A::OutLong, A::OutLong, A::Long},
                     [](CTarvoPlayerOCXCtrl&, CPlayerBase* p, COcxArgs& a) {
                         return LONG(p->GetReduceLevel(a.Ptr(0), a.Ptr(1)));
                     }));
    t.push_back(Make(15, L"AddTextOverlay", N::MinusOne,
                     {A::Long, A::Long, A::Text, A::Long, A::Address, A::Long, A::Long, A::Long},
                     [](CTarvoPlayerOCXCtrl&, CPlayerBase* p, COcxArgs& a) {
                         return LONG(p->AddTextOverlay(a.Long(0), a.Long(1), a.Text(2), a.Long(3),
                                                       a.Raw(4), a.Long(5), a.Long(6)));
                     }));
    t.push_back(Make(16, L"AddSysTimeOverlay", N::MinusOne,
                     {A::Long, A::Long, A::Long, A::Address, A::Long, A::Long, A::Long},
                     [](CTarvoPlayerOCXCtrl&, CPlayerBase* p, COcxArgs& a) {
                         return LONG(p->AddSysTimeOverlay(a.Long(0), a.Long(1), a.Long(2), a.Raw(3),
                                                          a.Long(4), a.Long(5)));
                     }));
    t.push_back(Make(17, L"AddBitmapOverlay", N::MinusOne,
                     {A::Long, A::Long, A::Long, A::Long, A::Long, A::Long, A::Long},
                     [](CTarvoPlayerOCXCtrl&, CPlayerBase* p, COcxArgs& a) {
                         return LONG(p->AddBitmapOverlay(a.Long(0), a.Long(1), a.Long(2), a.Long(3),
                                                         a.Long(4), a.Long(5)));
                     }));
    t.push_back(Make(18, L"RemoveOverlay", N::Code, {A::Long, A::Long},
                     [](CTarvoPlayerOCXCtrl&, CPlayerBase* p, COcxArgs& a) {
                         return LONG(p->RemoveOverlay(a.Long(0)));
                     }));
    t.push_back(Make(19, L"RemoveAllOverlay", N::Code, {A::Long},
                     [](CTarvoPlayerOCXCtrl&, CPlayerBase* p, COcxArgs&) {
                         return LONG(p->RemoveAllOverlay());
                     }));
    t.push_back(Make(20, L"StartRecord", N::Code, {A::Text, A::Text, A::Long},
                     [](CTarvoPlayerOCXCtrl&, CPlayerBase* p, COcxArgs& a) {
                         // An empty folder or name is no place to record.
                         if (!a.HasText(0) || !a.HasText(1))
                             return LONG(E_POINTER);
                         return LONG(TpStartRecordChecked(*p, a.Text(0), a.Text(1)));
                     }));
    t.push_back(Make(
        21, L"StopRecord", N::Code, {A::Long},
        [](CTarvoPlayerOCXCtrl&, CPlayerBase* p, COcxArgs&) { return LONG(p->StopRecord()); }));
    t.push_back(Make(22, L"DownloadByTime", N::MinusOne,
                     {A::Long, A::Long, A::Long, A::Text, A::Long},
                     [](CTarvoPlayerOCXCtrl&, CPlayerBase* p, COcxArgs& a) {
                         return LONG(p->DownloadByTime(a.Long(0), a.Long(1), a.Long(2), a.Text(3)));
                     }));
    t.push_back(Make(23, L"GetDownloadPosition", N::Code, {A::Long, A::OutLong, A::Long},
                     [](CTarvoPlayerOCXCtrl&, CPlayerBase* p, COcxArgs& a) {
                         return LONG(p->GetDownloadPosition(a.Long(0), a.Ptr(1)));
                     }));
    t.push_back(Make(24, L"StopDownload", N::Code, {A::Long, A::Long},
                     [](CTarvoPlayerOCXCtrl&, CPlayerBase* p, COcxArgs& a) {
                         return LONG(p->StopDownload(a.Long(0)));
                     }));
    t.push_back(Make(25, L"SetColor", N::Code, {A::Long, A::Long, A::Long, A::Long, A::Long},
                     [](CTarvoPlayerOCXCtrl&, CPlayerBase* p, COcxArgs& a) {
                         return LONG(p->SetColor(a.Long(0), a.Long(1), a.Long(2), a.Long(3)));
                     }));
    t.push_back(Make(26, L"GetColor", N::Code,
                     {A::OutLong, A::OutLong, A::OutLong, A::OutLong, A::Long},
                     [](CTarvoPlayerOCXCtrl&, CPlayerBase* p, COcxArgs& a) {
                         return LONG(p->GetColor(a.Ptr(0), a.Ptr(1), a.Ptr(2), a.Ptr(3)));
                     }));
    t.push_back(Make(27, L"SetFullScreenMode", N::Code, {A::Bool, A::Long},
                     [](CTarvoPlayerOCXCtrl&, CPlayerBase* p, COcxArgs& a) {
                         return LONG(p->SetFullScreenMode(a.Long(0) ? 1 : 0));
                     }));
    t.push_back(Make(28, L"GrabPicture", N::Code, {A::Text, A::Long},
                     [](CTarvoPlayerOCXCtrl&, CPlayerBase* p, COcxArgs& a) {
                         if (!a.HasText(0))
                             return LONG(E_POINTER);
                         return LONG(TpGrabPictureChecked(*p, a.Text(0)));
                     }));
    t.push_back(Make(29, L"SetDecCB", N::Code, {A::Address, A::Address, A::Long},
                     [](CTarvoPlayerOCXCtrl&, CPlayerBase* p, COcxArgs& a) {
                         return LONG(p->SetDecCB(a.Raw(0), a.Raw(1)));
                     }));
    t.push_back(Make(30, L"GetVersions", N::Code, {A::TextOut, A::OutLong, A::Long},
                     [](CTarvoPlayerOCXCtrl&, CPlayerBase* p, COcxArgs& a) {
                         char buffer[512] = {};
                         int length = sizeof(buffer) - 1;
                         const LONG r = p->GetVersions(buffer, &length);
                         if (r == 0) {
                             a.SetTextOut(0, std::string(buffer, strnlen(buffer, sizeof buffer)));
                             *a.Ptr(1) = length;
                         }
                         return r;
                     }));
    t.push_back(
        Make(31, L"GetLastError", N::Runs, {A::Long},
             [](CTarvoPlayerOCXCtrl&, CPlayerBase*, COcxArgs&) { return LONG(TpGetLastError()); }));
    t.push_back(Make(32, L"QueryDataDelivered", N::Code, {A::Long, A::OutLong, A::OutLong, A::Long},
                     [](CTarvoPlayerOCXCtrl&, CPlayerBase* p, COcxArgs& a) {
                         return LONG(p->QueryDataDelivered(a.Long(0), a.Ptr(1), a.Ptr(2)));
                     }));
    t.push_back(Make(33, L"InputData", N::MinusOne, {A::Address, A::Long},
                     [](CTarvoPlayerOCXCtrl&, CPlayerBase* p, COcxArgs& a) {
                         if (a.Long(1) < 0 || (!a.Raw(0) && a.Long(1) > 0))
                             return LONG(E_POINTER);
                         return LONG(p->InputData(static_cast<const BYTE*>(a.Raw(0)), a.Long(1)));
                     }));
    t.push_back(Make(34, L"SetVodCallBack", N::MinusOne, {A::Address, A::Long, A::Long},
                     [](CTarvoPlayerOCXCtrl&, CPlayerBase* p, COcxArgs& a) {
                         return LONG(p->SetVodCallBack(
                             reinterpret_cast<VodRequestCallback>(a.Raw(0)), a.Long(1)));
                     }));
    t.push_back(Make(35, L"VodCBResponsed", N::MinusOne, {A::Long, A::Long},
                     [](CTarvoPlayerOCXCtrl&, CPlayerBase* p, COcxArgs& a) {
                         return LONG(p->VodCBResponsed(a.Long(0)));
                     }));
    t.push_back(Make(36, L"AddRectangleOverlay", N::Code,
                     {A::RefLong, A::RefLong, A::Long, A::Long, A::Long, A::Long},
                     [](CTarvoPlayerOCXCtrl&, CPlayerBase* p, COcxArgs& a) {
                         return LONG(p->AddRectangleOverlay(Points(a, 0), Points(a, 1), a.Long(2),
                                                            a.Long(3), a.Long(4)));
                     }));
    t.push_back(Make(37, L"AddCircleOverlay", N::Code,
                     {A::RefLong, A::Long, A::Long, A::Long, A::Long, A::Long},
                     [](CTarvoPlayerOCXCtrl&, CPlayerBase* p, COcxArgs& a) {
                         return LONG(p->AddCircleOverlay(Points(a, 0), a.Long(1), a.Long(2),
                                                         a.Long(3), a.Long(4)));
                     }));
    t.push_back(Make(38, L"AddEllipseOverlay", N::Code,
                     {A::RefLong, A::RefLong, A::Long, A::Long, A::Long, A::Long},
                     [](CTarvoPlayerOCXCtrl&, CPlayerBase* p, COcxArgs& a) {
                         return LONG(p->AddEllipseOverlay(Points(a, 0), Points(a, 1), a.Long(2),
                                                          a.Long(3), a.Long(4)));
                     }));
    t.push_back(Make(39, L"AddPolygonOverlay", N::Code,
                     {A::RefLong, A::Long, A::Long, A::Long, A::Long, A::Long},
                     [](CTarvoPlayerOCXCtrl&, CPlayerBase* p, COcxArgs& a) {
                         return LONG(p->AddPolygonOverlay(Points(a, 0), a.Long(1), a.Long(2),
                                                          a.Long(3), a.Long(4)));
                     }));
    t.push_back(Make(40, L"SetFlickerTime", N::Code, {A::Long, A::Long, A::Long},
                     [](CTarvoPlayerOCXCtrl&, CPlayerBase* p, COcxArgs& a) {
                         return LONG(p->SetFlickerTime(a.Long(0), a.Long(1)));
                     }));
    t.push_back(Make(41, L"GetItemsByIndex", N::Code,
                     {A::Long, A::OutLong, A::OutLong, A::OutLong, A::Long},
                     [](CTarvoPlayerOCXCtrl&, CPlayerBase* p, COcxArgs& a) {
                         // Only an address can take the items' bytes; an out
                         // long asks for the size and count alone.
                         BYTE* data = a.IsAddress(1) ? static_cast<BYTE*>(a.Raw(1)) : nullptr;
                         return LONG(p->GetItemsByIndex(a.Long(0), data, a.Ptr(2), a.Ptr(3)));
                     }));
    t.push_back(Make(42, L"AddOverlaysFromFile", N::Code, {A::Text, A::OutLong, A::Long},
                     [](CTarvoPlayerOCXCtrl&, CPlayerBase* p, COcxArgs& a) {
                         return LONG(p->AddOverlaysFromFile(a.Text(0), a.Ptr(1)));
                     }));
    t.push_back(Make(43, L"AddOverlaysFromByte", N::Code,
                     {A::RefLong, A::Long, A::OutLong, A::Long},
                     [](CTarvoPlayerOCXCtrl&, CPlayerBase* p, COcxArgs& a) {
                         return LONG(p->AddOverlaysFromByte(static_cast<const BYTE*>(a.Raw(0)),
                                                            a.Long(1), a.Ptr(2)));
                     }));
    t.push_back(Make(44, L"SetYUVFrameCallBack", N::Code, {A::Address, A::Long, A::Long},
                     [](CTarvoPlayerOCXCtrl&, CPlayerBase* p, COcxArgs& a) {
                         return LONG(p->SetYUVFrameCallBack(
                             reinterpret_cast<TP_YUVFrameCallBack>(a.Raw(0)),
                             reinterpret_cast<void*>(static_cast<intptr_t>(a.Long(1)))));
                     }));
    // 45-62: the namesakes with every by-reference parameter as an address.
    static const wchar_t* const kCs[] = {L"Login",
                                         L"PlayControl",
                                         L"VideoCutControl",
                                         L"PTZControl",
                                         L"GetReduceLevel",
                                         L"AddTextOverlay",
                                         L"AddSysTimeOverlay",
                                         L"GetDownloadPosition",
                                         L"GetColor",
                                         L"GetVersions",
                                         L"QueryDataDelivered",
                                         L"AddRectangleOverlay",
                                         L"AddCircleOverlay",
                                         L"AddEllipseOverlay",
                                         L"AddPolygonOverlay",
                                         L"GetItemsByIndex",
                                         L"AddOverlaysFromFile",
                                         L"AddOverlaysFromByte"};
    static std::vector<std::wstring> csNames;
    csNames.reserve(std::size(kCs));
    DISPID id = 45;
    for (const wchar_t* base : kCs) {
        for (const OcxMethod& m : std::vector<OcxMethod>(t)) {
            if (std::wcscmp(m.name, base) != 0)
                continue;
            OcxMethod cs = m;
            cs.id = id++;
            csNames.push_back(std::wstring(base) + L"CS");
            cs.name = csNames.back().c_str();
            for (int i = 0; i < cs.argCount; ++i) {
                if (cs.args[i] == A::OutLong || cs.args[i] == A::RefLong)
                    cs.args[i] = A::AddressOut;
            }
            t.push_back(cs);
        }
    }
    t.push_back(Make(DISPID_ABOUTBOX, L"AboutBox", N::Runs, {},
                     [](CTarvoPlayerOCXCtrl& c, CPlayerBase*, COcxArgs&) {
                         c.AboutBox();
                         return LONG(0);
                     }));
    return t;
}

const std::vector<OcxMethod>& Table()
{
    static const std::vector<OcxMethod> table = BuildTable();
    return table;
}

bool SameName(const wchar_t* a, const wchar_t* b)
{
    for (; *a && *b; ++a, ++b) {
        if (std::towlower(*a) != std::towlower(*b))
            return false;
    }
    return *a == *b;
}

bool IsMissing(const VARIANT& v)
{
    return v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND;
}

} // namespace

const OcxMethod* OcxMethods(int* count)
{
    *count = static_cast<int>(Table().size());
    return Table().data();
}

const OcxMethod* OcxFindMethod(DISPID id)
{
    for (const OcxMethod& m : Table()) {
        if (m.id == id)
            return &m;
    }
    return nullptr;
}

HRESULT OcxGetIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids)
{
    if (count == 0)
        return S_OK;
    if (!names || !ids)
        return E_INVALIDARG;
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i)
        ids[i] = DISPID_UNKNOWN;
    if (names[0]) {
        for (const OcxMethod& m : Table()) {
            if (SameName(m.name, names[0])) {
                ids[0] = m.id;
                break;
            }
        }
    }
    if (ids[0] == DISPID_UNKNOWN || count > 1)
        hr = DISP_E_UNKNOWNNAME;
    return hr;
}

HRESULT OcxConvertArg(const VARIANT& v, OcxArg kind, COcxArgs& a, int i)
{
    LONG* longs = a.m_long;
    void** ptrs = a.m_ptr;
    std::string* texts = a.m_text;
    a.m_kind[i] = kind;
    if (IsMissing(v))
        return DISP_E_PARAMNOTOPTIONAL;
    VARIANT tmp;
    VariantInit(&tmp);
    HRESULT hr = S_OK;
    switch (kind) {
    case OcxArg::Long:
        hr = VariantChangeType(&tmp, &v, 0, VT_I4);
        if (SUCCEEDED(hr))
            longs[i] = tmp.lVal;
        break;
    case OcxArg::Bool:
        hr = VariantChangeType(&tmp, &v, 0, VT_BOOL);
        if (SUCCEEDED(hr))
            longs[i] = tmp.boolVal ? 1 : 0;
        break;
    case OcxArg::Color:
    case OcxArg::Address:
    case OcxArg::AddressOut:
        hr = VariantChangeType(&tmp, &v, 0, VT_I8);
        if (FAILED(hr))
            hr = VariantChangeType(&tmp, &v, 0, VT_UI8);
        if (SUCCEEDED(hr)) {
            longs[i] = static_cast<LONG>(tmp.llVal);
            if (kind != OcxArg::Color) {
                const auto address = static_cast<uintptr_t>(tmp.ullVal);
                if ((address == 0 && kind == OcxArg::AddressOut) ||
                    (address != 0 && address < kLowestAddress))
                    return E_POINTER;
                ptrs[i] = reinterpret_cast<void*>(address);
            }
        }
        break;
    case OcxArg::Text:
    case OcxArg::TextOut: {
        const VARIANT* source = &v;
        if (v.vt == (VT_BYREF | VT_BSTR) && v.pbstrVal && !*v.pbstrVal)
            break; // a null BSTR is an empty text
        hr = VariantChangeType(&tmp, source, 0, VT_BSTR);
        if (SUCCEEDED(hr) && tmp.bstrVal)
            texts[i] = TvWideToUtf8(std::wstring(tmp.bstrVal, SysStringLen(tmp.bstrVal)).c_str());
        break;
    }
    case OcxArg::InValue: {
        hr = VariantCopyInd(&tmp, &v);
        if (FAILED(hr))
            break;
        if (tmp.vt == VT_R8 || tmp.vt == VT_R4) {
            a.m_isReal[i] = true;
            a.m_storage[i].real = tmp.vt == VT_R8 ? tmp.dblVal : tmp.fltVal;
            longs[i] = static_cast<LONG>(std::lround(a.m_storage[i].real));
            break;
        }
        VARIANT wide;
        VariantInit(&wide);
        hr = VariantChangeType(&wide, &tmp, 0, VT_I8);
        if (SUCCEEDED(hr)) {
            longs[i] = static_cast<LONG>(wide.llVal);
            ptrs[i] = reinterpret_cast<void*>(static_cast<intptr_t>(wide.llVal));
        }
        break;
    }
    case OcxArg::OutLong: {
        const VARTYPE vt = v.vt;
        const bool ok =
            ((vt == (VT_BYREF | VT_I4) || vt == (VT_BYREF | VT_INT) || vt == (VT_BYREF | VT_UI4)) &&
             v.plVal) ||
            (vt == (VT_BYREF | VT_R8) && v.pdblVal) || (vt == (VT_BYREF | VT_VARIANT) && v.pvarVal);
        if (!ok)
            return DISP_E_TYPEMISMATCH;
        // In-out values (a buffer size) start from what the caller holds.
        if (SUCCEEDED(VariantChangeType(&tmp, &v, 0, VT_I4)))
            longs[i] = tmp.lVal;
        break;
    }
    case OcxArg::RefLong:
        if ((v.vt == (VT_BYREF | VT_I4) || v.vt == (VT_BYREF | VT_INT)) && v.plVal)
            ptrs[i] = v.plVal;
        else if (v.vt == (VT_BYREF | VT_VARIANT) && v.pvarVal && v.pvarVal->vt == VT_I4)
            ptrs[i] = &v.pvarVal->lVal;
        else if (v.vt == (VT_BYREF | VT_VARIANT) && v.pvarVal &&
                 v.pvarVal->vt == (VT_BYREF | VT_I4) && v.pvarVal->plVal)
            ptrs[i] = v.pvarVal->plVal;
        else
            return DISP_E_TYPEMISMATCH;
        break;
    }
    VariantClear(&tmp);
    return FAILED(hr) ? (hr == E_POINTER ? hr : DISP_E_TYPEMISMATCH) : S_OK;
}

namespace {

void WriteOut(const VARIANT& v, LONG value, bool real, double realValue)
{
    const LONG asLong = real ? static_cast<LONG>(std::lround(realValue)) : value;
    switch (v.vt) {
    case VT_BYREF | VT_I4:
    case VT_BYREF | VT_INT:
    case VT_BYREF | VT_UI4:
        *v.plVal = asLong;
        break;
    case VT_BYREF | VT_R8:
        *v.pdblVal = real ? realValue : value;
        break;
    case VT_BYREF | VT_VARIANT:
        VariantClear(v.pvarVal);
        if (real) {
            v.pvarVal->vt = VT_R8;
            v.pvarVal->dblVal = realValue;
        } else {
            v.pvarVal->vt = VT_I4;
            v.pvarVal->lVal = value;
        }
        break;
    default:
        break;
    }
}

void WriteText(const VARIANT& v, const std::string& text)
{
    const std::wstring wide = TvUtf8ToWide(text.c_str());
    if (v.vt == (VT_BYREF | VT_BSTR) && v.pbstrVal) {
        SysReAllocStringLen(v.pbstrVal, wide.c_str(), static_cast<UINT>(wide.size()));
    } else if (v.vt == (VT_BYREF | VT_VARIANT) && v.pvarVal) {
        VariantClear(v.pvarVal);
        v.pvarVal->vt = VT_BSTR;
        v.pvarVal->bstrVal = SysAllocStringLen(wide.c_str(), static_cast<UINT>(wide.size()));
    }
}

} // namespace

HRESULT OcxInvoke(CTarvoPlayerOCXCtrl& control, DISPID id, WORD flags, DISPPARAMS* params,
                  VARIANT* result, UINT* argErr)
{
    const OcxMethod* m = OcxFindMethod(id);
    if (!m)
        return DISP_E_MEMBERNOTFOUND;
    if (!params || (params->cArgs && !params->rgvarg) ||
        (params->cNamedArgs && !params->rgdispidNamedArgs) || params->cNamedArgs > params->cArgs)
        return E_INVALIDARG;
    const bool put = flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
    COcxArgs a;

    if (id == 1) {
        // colorBackGround: get with no argument, put with its value.
        if (put) {
            if (params->cArgs != 1)
                return DISP_E_BADPARAMCOUNT;
            const HRESULT hr = OcxConvertArg(params->rgvarg[0], OcxArg::Color, a, 0);
            if (FAILED(hr)) {
                if (argErr)
                    *argErr = 0;
                return hr;
            }
            control.SetBackColor(static_cast<OLE_COLOR>(a.Long(0)));
            return S_OK;
        }
        if (params->cArgs != 0)
            return DISP_E_BADPARAMCOUNT;
        if (result) {
            VariantInit(result);
            result->vt = VT_I4;
            result->lVal = static_cast<LONG>(control.BackColor());
        }
        return S_OK;
    }

    if (put || !(flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)))
        return DISP_E_MEMBERNOTFOUND;
    if (params->cNamedArgs)
        return DISP_E_NONAMEDARGS;
    if (params->cArgs != static_cast<UINT>(m->argCount))
        return DISP_E_BADPARAMCOUNT;

    const UINT n = params->cArgs;
    for (UINT i = 0; i < n; ++i) {
        const VARIANT& v = params->rgvarg[n - 1 - i];
        const HRESULT hr = OcxConvertArg(v, m->args[i], a, static_cast<int>(i));
        if (FAILED(hr)) {
            if (argErr && hr != E_POINTER)
                *argErr = n - 1 - i;
            return hr;
        }
        if (m->args[i] == OcxArg::OutLong) {
            a.m_storage[i].whole[0] = 0;
            std::memcpy(&a.m_storage[i], &a.m_long[i], sizeof(LONG));
            a.m_ptr[i] = &a.m_storage[i];
        }
    }

    CPlayerBase* player = control.Player();
    LONG answer = 0;
    if (m->noPlayer != OcxNoPlayer::Runs && !player) {
        answer = TP_ERR_INVALID_HANDLE;
        if (m->noPlayer == OcxNoPlayer::MinusOne) {
            TpSetLastError(TP_ERR_INVALID_HANDLE);
            answer = -1;
        }
    } else {
        answer = m->call(control, player, a);
    }

    for (UINT i = 0; i < n; ++i) {
        const VARIANT& v = params->rgvarg[n - 1 - i];
        if (m->args[i] == OcxArg::OutLong) {
            LONG value = 0;
            std::memcpy(&value, &a.m_storage[i], sizeof(value));
            WriteOut(v, value, a.m_outReal[i], a.m_storage[i].real);
        } else if (m->args[i] == OcxArg::TextOut && answer == 0) {
            WriteText(v, a.m_text[i]);
        }
    }
    if (result) {
        VariantInit(result);
        if (id != DISPID_ABOUTBOX) {
            result->vt = VT_I4;
            result->lVal = answer;
        }
    }
    return S_OK;
}
