// Picture capture, the frame callback and the receive rates of CGraphPlayer;
// recording and data input of CStreamPlayer; and the file rules behind them.
#include "CGraphPlayerCapture.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <type_traits>
#include <vector>

#include <dshow.h>
#include <dvdmedia.h>
#include <qedit.h>
#include <windows.h>

#include "CGraphPlayer.h"
#include "CStreamPlayer.h"
#include "GraphHelpers.h"
#include "IProcesserCut.h"
#include "win32/file.h"
#include "win32/path.h"

static_assert(std::is_same_v<TP_YUVFrameCallBack, ProcesserFrameCallback>,
              "the player hands its callback to the frame processor unchanged");

// ---- File rules ----

namespace {

BYTE Clamp255(int value)
{
    return static_cast<BYTE>(std::clamp(value, 0, 255));
}

void PutLe16(BYTE* p, unsigned value)
{
    p[0] = static_cast<BYTE>(value);
    p[1] = static_cast<BYTE>(value >> 8);
}

void PutLe32(BYTE* p, uint32_t value)
{
    PutLe16(p, value & 0xFFFF);
    PutLe16(p + 2, value >> 16);
}

} // namespace

void Yuy2ToBottomUpBgr(const BYTE* yuy2, int width, int height, BYTE* bgr)
{
    const size_t stride = static_cast<size_t>(width) * 2;
    const size_t outRow = static_cast<size_t>(width) * 3;
    for (int row = 0; row < height; ++row) {
        const BYTE* in = yuy2 + static_cast<size_t>(height - 1 - row) * stride;
        BYTE* out = bgr + static_cast<size_t>(row) * outRow;
        for (int x = 0; x < width; x += 2, in += 4, out += 6) {
            const int d = in[1] - 128;
            const int e = in[3] - 128;
            for (int half = 0; half < 2; ++half) {
                const int c = 298 * (in[half * 2] - 16);
                BYTE* px = out + half * 3;
                px[0] = Clamp255((c + 516 * d + 128) >> 8);
                px[1] = Clamp255((c - 100 * d - 208 * e + 128) >> 8);
                px[2] = Clamp255((c + 409 * e + 128) >> 8);
            }
        }
    }
}

void BmpHeaders(int width, int height, BYTE headers[kBmpHeadersSize])
{
    std::memset(headers, 0, kBmpHeadersSize);
    const uint32_t pixels = static_cast<uint32_t>(width) * static_cast<uint32_t>(height) * 3;
    headers[0] = 'B';
    headers[1] = 'M';
    PutLe32(headers + 2, static_cast<uint32_t>(kBmpHeadersSize) + pixels);
    PutLe32(headers + 10, static_cast<uint32_t>(kBmpHeadersSize));
    BYTE* info = headers + 14;
    PutLe32(info, 40);
    PutLe32(info + 4, static_cast<uint32_t>(width));
    PutLe32(info + 8, static_cast<uint32_t>(height));
    PutLe16(info + 12, 1);
    PutLe16(info + 14, 24);
}

std::string JoinRecordPath(const char* directory, const char* name)
{
    std::string dir = directory ? directory : "";
    const char* rest = name ? name : "";
    const bool dirEnds = !dir.empty() && TvIsPathSeparator(dir.back());
    const bool nameBegins = TvIsPathSeparator(rest[0]);
    if (dirEnds && nameBegins)
        ++rest;
    else if (!dirEnds && !nameBegins)
        // A folder written the Linux way ("/var/rec") is joined the Linux
        // way: a backslash there is an ordinary file-name character, and the
        // recording would land beside the folder instead of in it.
        dir += (dir.find('/') != std::string::npos && dir.find('\\') == std::string::npos) ? '/'
                                                                                           : '\\';
    return dir + rest;
}

std::string RecordFilePath(const char* directory, const char* name, const char* extension)
{
    std::string path = JoinRecordPath(directory, name);
    // Only a dot in the file name starts an extension: "C:\rec.d\cam1" keeps
    // its folder.
    const char* sep = TvFindLastSeparator(path.c_str());
    const size_t nameStart = sep ? static_cast<size_t>(sep - path.c_str()) + 1 : 0;
    const size_t dot = path.rfind('.');
    if (dot != std::string::npos && dot >= nameStart)
        path.resize(dot);
    const size_t keep = kRecordPathMax - std::strlen(extension);
    if (path.size() > keep)
        path.resize(keep);
    return path + extension;
}

// ---- CGraphPlayer ----

namespace {

// The current picture of the frame processor: YUY2 rows, top row first.
// E_INVALIDARG when it is not a YUY2 picture or cannot be grabbed.
HRESULT GrabYuy2(ISampleGrabber* grabber, std::vector<BYTE>& picture, int& width, int& height)
{
    AM_MEDIA_TYPE type = {};
    if (FAILED(grabber->GetConnectedMediaType(&type)))
        return E_INVALIDARG;
    const bool yuy2 = type.subtype == MEDIASUBTYPE_YUY2;
    const bool vih2 = type.formattype == FORMAT_VideoInfo2 && type.pbFormat &&
                      type.cbFormat >= sizeof(VIDEOINFOHEADER2);
    width = 0;
    height = 0;
    if (vih2) {
        const auto* vih = reinterpret_cast<const VIDEOINFOHEADER2*>(type.pbFormat);
        width = vih->bmiHeader.biWidth;
        height = vih->bmiHeader.biHeight;
    }
    TpFreeMediaType(type);
    if (!yuy2 || !vih2)
        return E_INVALIDARG;
    // A YUY2 picture has whole pixel pairs; anything else is no picture to
    // convert (and a negative size would make the sizes below meaningless).
    if (width <= 0 || height <= 0 || width % 2 != 0)
        return E_INVALIDARG;

    LONG size = 0;
    if (FAILED(grabber->GetCurrentBuffer(&size, nullptr)) || size <= 0)
        return E_INVALIDARG;
    try {
        // LONG-aligned, as GetCurrentBuffer's signature asks.
        picture.resize((static_cast<size_t>(size) + 3) / 4 * 4);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    if (FAILED(grabber->GetCurrentBuffer(&size, reinterpret_cast<LONG*>(picture.data()))))
        return E_INVALIDARG;
    // A picture shorter than its media type says (the type changed between
    // the two calls) is not read past its end.
    if (static_cast<size_t>(size) < static_cast<size_t>(width) * 2 * static_cast<size_t>(height))
        return E_INVALIDARG;

    return S_OK;
}

// The BMP file of a YUY2 picture: headers and rows.
HRESULT Yuy2ToBmp(const std::vector<BYTE>& picture, int width, int height, std::vector<BYTE>& bmp)
{
    if (width <= 0 || height <= 0 || width % 2 != 0 ||
        picture.size() < static_cast<size_t>(width) * 2 * static_cast<size_t>(height))
        return E_INVALIDARG;
    try {
        bmp.resize(kBmpHeadersSize + static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    BmpHeaders(width, height, bmp.data());
    Yuy2ToBottomUpBgr(picture.data(), width, height, bmp.data() + kBmpHeadersSize);
    return S_OK;
}

} // namespace

int CGraphPlayer::TakeProcessor(int noProcessor, IBaseFilter** processor)
{
    *processor = nullptr;
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (!m_pGraph)
        return TP_ERR_INVALID_HANDLE;
    if (!m_pProcessor)
        return noProcessor;
    m_pProcessor->AddRef();
    *processor = m_pProcessor;
    return 0;
}

int CGraphPlayer::GrabPicture(const char* path)
{
    IBaseFilter* processor = nullptr;
    int result = TakeProcessor(TP_ERR_NO_VIDEO_WINDOW, &processor);
    if (result != 0)
        return result;
    ISampleGrabber* grabber = nullptr;
    HRESULT hr = processor->QueryInterface(IID_ISampleGrabber, reinterpret_cast<void**>(&grabber));
    processor->Release();
    if (FAILED(hr) || !grabber)
        return 0;

    // Outside the player's lock: the grab waits for the next picture.
    std::vector<BYTE> picture;
    int width = 0;
    int height = 0;
    hr = GrabYuy2(grabber, picture, width, height);
    grabber->Release();
    if (SUCCEEDED(hr))
        hr = ScaleCapturedPicture(picture, width, height);
    std::vector<BYTE> bmp;
    if (SUCCEEDED(hr))
        hr = Yuy2ToBmp(picture, width, height, bmp);
    if (FAILED(hr))
        return hr;

    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return E_INVALIDARG;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bmp.data(), static_cast<DWORD>(bmp.size()), &written, nullptr);
    CloseHandle(file);
    // A half-written picture is reported, not passed off as a capture.
    return ok && written == bmp.size() ? 0 : E_INVALIDARG;
}

HRESULT CGraphPlayer::ScaleCapturedPicture(std::vector<BYTE>&, int&, int&)
{
    return S_OK;
}

int CGraphPlayer::SetYUVFrameCallBack(TP_YUVFrameCallBack callback, void* user)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (!m_pGraph)
        return TP_ERR_INVALID_HANDLE;
    // Kept also once handed on: a re-render (video cut, reduce level) builds
    // a new frame processor, and AttachWindow gives the callback to that one
    // too, so the application keeps receiving pictures.
    m_pendingFrameCallback = callback;
    m_pendingFrameUser = user;
    if (!m_pProcessor)
        return 0;
    IProcesserCut* cut = nullptr;
    if (FAILED(m_pProcessor->QueryInterface(IID_IProcesserCut, reinterpret_cast<void**>(&cut))) ||
        !cut)
        return TP_ERR_NO_PROCESSOR_CUT_INTERFACE;
    HRESULT hr = cut->SetFrameCallback(callback, user);
    cut->Release();
    return hr;
}

int CGraphPlayer::QueryDataDelivered(int milliseconds, int* videoBytes, int* audioBytes)
{
    ITarvoSplt* splitter = nullptr;
    {
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        if (!m_pGraph || !m_pTarvoSplt)
            return TP_ERR_INVALID_HANDLE;
        splitter = m_pTarvoSplt;
        splitter->AddRef();
    }
    // Outside the player's lock: the splitter counts for the whole time asked.
    const HRESULT hr =
        splitter->GetReceiveRates(static_cast<UINT>(milliseconds), videoBytes, audioBytes);
    splitter->Release();
    return hr;
}

int CGraphPlayer::SetDecCB(void*, void*)
{
    return E_FAIL;
}

// ---- CStreamPlayer ----

int CStreamPlayer::StartRecord(const char* directory, const char* name)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (!m_pGraph || !m_pNWSourceItf)
        return TP_ERR_INVALID_HANDLE;
    if (!directory || !name)
        return E_POINTER;
    return m_pNWSourceItf->StartRecord(RecordFilePath(directory, name).c_str());
}

int CStreamPlayer::StopRecord()
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (!m_pGraph || !m_pNWSourceItf)
        return TP_ERR_INVALID_HANDLE;
    return m_pNWSourceItf->StopRecord();
}

int CStreamPlayer::InputData(const BYTE* data, int length)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (!m_pGraph)
        return TP_ERR_NO_PLAYER;
    if (!m_pNWSourceItf)
        return TP_ERR_NO_NWSOURCE_INTERFACE;
    return m_pNWSourceItf->InputData(data, length);
}
