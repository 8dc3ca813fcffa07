#include "GraphHelpers.h"

#include <windows.h>

#include <cstring>

#include "win32/text.h"

#include "TarvoPlayErrors.h"

#include "TarvoGuids.h"

namespace {

// Texts of the library's message boxes.
constexpr const char* kCreateFailedText = "创建Filter实例失败";
constexpr const char* kAddFailedText = "添加Filter失败";
constexpr const char* kAudioWarningText =
    "音频设备无法正常工作，无法播放声音！请检查DirectX版本和声卡驱动";
constexpr const char* kAudioWarningCaption = "警告";

void ShowFailure(REFCLSID clsid, const char* text, LPCWSTR name)
{
    if (clsid == CLSID_DSoundRender) {
        MessageBoxA(nullptr, kAudioWarningText, kAudioWarningCaption, MB_OK);
        return;
    }
    std::string caption = TpNarrowName(name);
    MessageBoxA(nullptr, text, caption.c_str(), MB_OK);
}

} // namespace

std::string TpNarrowName(LPCWSTR name)
{
    return TvWideToUtf8(name);
}

HRESULT AddFilterByClsid(IFilterGraph* graph, IBaseFilter** ppFilter, LPCWSTR name, REFCLSID clsid)
{
    if (!graph || !ppFilter)
        return E_POINTER;
    if (*ppFilter) {
        IBaseFilter* existing = nullptr;
        if (SUCCEEDED(graph->FindFilterByName(name, &existing))) {
            SafeRelease(existing);
            return 0;
        }
    } else {
        HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                      reinterpret_cast<void**>(ppFilter));
        if (FAILED(hr) || !*ppFilter) {
            *ppFilter = nullptr;
            ShowFailure(clsid, kCreateFailedText, name);
            return E_FAIL;
        }
    }
    if (FAILED(graph->AddFilter(*ppFilter, name))) {
        ShowFailure(clsid, kAddFailedText, name);
        return E_FAIL;
    }
    return 0;
}

HRESULT GetPin(IBaseFilter* filter, PIN_DIRECTION direction, int index, IPin** ppPin)
{
    if (!ppPin)
        return E_POINTER;
    *ppPin = nullptr;
    if (!filter || index < 0)
        return E_FAIL;
    IEnumPins* pins = nullptr;
    if (FAILED(filter->EnumPins(&pins)) || !pins)
        return E_FAIL;
    HRESULT result = E_FAIL;
    IPin* pin = nullptr;
    ULONG fetched = 0;
    while (pins->Next(1, &pin, &fetched) == S_OK && pin) {
        PIN_DIRECTION dir;
        if (SUCCEEDED(pin->QueryDirection(&dir)) && dir == direction && index-- == 0) {
            *ppPin = pin; // keeps the reference Next gave
            result = S_OK;
            break;
        }
        SafeRelease(pin);
    }
    pins->Release();
    return result;
}

HRESULT ConnectFilters(IFilterGraph* graph, IBaseFilter* upstream, int outIndex,
                       IBaseFilter* downstream, int inIndex)
{
    if (!graph)
        return E_FAIL;
    IPin* out = nullptr;
    IPin* in = nullptr;
    GetPin(upstream, PINDIR_OUTPUT, outIndex, &out);
    GetPin(downstream, PINDIR_INPUT, inIndex, &in);
    HRESULT hr = (out && in) ? graph->ConnectDirect(out, in, nullptr) : E_FAIL;
    SafeRelease(out);
    SafeRelease(in);
    return hr;
}

void TpDeleteMediaType(AM_MEDIA_TYPE* mediaType)
{
    if (!mediaType)
        return;
    CoTaskMemFree(mediaType->pbFormat);
    if (mediaType->pUnk)
        mediaType->pUnk->Release();
    CoTaskMemFree(mediaType);
}

IBaseFilter* TpFindFilter(IGraphBuilder* graph, LPCWSTR name)
{
    IBaseFilter* filter = nullptr;
    if (!graph || FAILED(graph->FindFilterByName(name, &filter)))
        return nullptr;
    return filter;
}

int TpAppendLine(char* buffer, int size, int& used, const char* line)
{
    const size_t length = std::strlen(line);
    if (!buffer || used < 0 || size - used <= 0 || length + 1 > static_cast<size_t>(size - used))
        return TP_ERR_OUT_OF_MEMORY;
    std::memcpy(buffer + used, line, length + 1);
    used += static_cast<int>(length);
    return 0;
}

int TpSecondsToMs(double seconds)
{
    const double ms = seconds * 1000.0;
    if (!(ms == ms))
        return 0;
    if (ms >= 2147483647.0)
        return 2147483647;
    if (ms <= -2147483648.0)
        return -2147483647 - 1;
    return static_cast<int>(ms);
}
