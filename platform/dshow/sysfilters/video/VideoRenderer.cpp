#include "video/VideoRenderer.h"

#include <cstring>
#include <cstdlib>
#include <new>

#include "win32/picture.h"

#include "video/X11Presenter.h"

HRESULT VideoTypeFromMediaType(const AM_MEDIA_TYPE& mt, VideoTypeInfo* info)
{
    if (!IsEqualGUID(mt.majortype, MEDIATYPE_Video) || !mt.pbFormat)
        return E_FAIL;
    VideoTypeInfo out;
    if (IsEqualGUID(mt.formattype, FORMAT_VideoInfo) && mt.cbFormat >= sizeof(VIDEOINFOHEADER)) {
        std::memcpy(&out.vih, mt.pbFormat, sizeof(out.vih));
    } else if (IsEqualGUID(mt.formattype, FORMAT_VideoInfo2) &&
               mt.cbFormat >= sizeof(VIDEOINFOHEADER2)) {
        VIDEOINFOHEADER2 vih;
        std::memcpy(&vih, mt.pbFormat, sizeof(vih));
        out.vih.bmiHeader = vih.bmiHeader;
        out.vih.AvgTimePerFrame = vih.AvgTimePerFrame;
        out.vih.dwBitRate = vih.dwBitRate;
        out.vih.dwBitErrorRate = vih.dwBitErrorRate;
    } else {
        return E_FAIL;
    }
    const BITMAPINFOHEADER& bih = out.vih.bmiHeader;
    if (bih.biWidth <= 0 || bih.biHeight == 0 || bih.biHeight == LONG(0x80000000))
        return E_FAIL;
    PixelLayout layout = FrameLayoutFromBitmap(bih.biCompression, bih.biBitCount);
    if (layout == PixelLayout::None)
        return E_FAIL;
    bool rgb = layout == PixelLayout::RGB32 || layout == PixelLayout::RGB24 ||
               layout == PixelLayout::RGB565;
    out.format.layout = layout;
    out.format.width = bih.biWidth;
    out.format.height = std::abs(bih.biHeight);
    out.format.stride = FrameDefaultStride(layout, bih.biWidth);
    // DIBs with a positive height are stored bottom row first; YUV is always
    // top-down.
    out.format.bottomUp = rgb && bih.biHeight > 0;
    if (!out.format.IsValid())
        return E_FAIL;
    out.vih.bmiHeader.biSizeImage = DWORD(out.format.FrameBytes());
    if (info)
        *info = out;
    return S_OK;
}

// ---- Construction ----

CVideoRenderer::CVideoRenderer(REFCLSID clsid, LPUNKNOWN pUnk, HRESULT* phr)
    : CBaseVideoRenderer(clsid, "Video Renderer", pUnk, phr), CBaseControlWindow(this),
      CBaseControlVideo(this), m_presenter(CreateVideoPresenter(nullptr))
{
}

CVideoRenderer::~CVideoRenderer()
{
    // First, while the presenter is still there: a copy that is running ends
    // before the window forgets this renderer.
    TvSetWindowPictureSource(m_pictureOwner, nullptr, this);
}

BOOL CVideoRenderer::CopyWindowPicture(void* source, BYTE* bgrx, size_t size, int* width,
                                       int* height, uint64_t* shown)
{
    std::shared_ptr<CVideoPresenter> presenter = static_cast<CVideoRenderer*>(source)->Presenter();
    if (!presenter)
        return FALSE;
    bool copied = bgrx && presenter->CopyPicture(bgrx, size, width, height, shown);
    if (!copied)
        presenter->CopyPicture(nullptr, 0, width, height, shown);
    return copied && *shown > 0;
}

STDMETHODIMP CVideoRenderer::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    CheckPointer(ppv, E_POINTER);
    if (riid == IID_IVideoWindow)
        return GetInterface(static_cast<IVideoWindow*>(this), ppv);
    if (riid == IID_IBasicVideo)
        return GetInterface(static_cast<IBasicVideo*>(this), ppv);
    if (riid == IID_IVMRAspectRatioControl)
        return GetInterface(static_cast<IVMRAspectRatioControl*>(this), ppv);
    if (riid == IID_IVideoFrameStep)
        return GetInterface(static_cast<IVideoFrameStep*>(this), ppv);
    if (riid == IID_IOffscreenSnapshot)
        return GetInterface(static_cast<IOffscreenSnapshot*>(this), ppv);
    return CBaseVideoRenderer::NonDelegatingQueryInterface(riid, ppv);
}

std::shared_ptr<CVideoPresenter> CVideoRenderer::Presenter()
{
    std::lock_guard<std::mutex> guard(m_presenterLock);
    return m_presenter;
}

// ---- The window: the presenter ----

RECT CVideoRenderer::GetDefaultRect()
{
    const BITMAPINFOHEADER bih = GetVideoFormat().bmiHeader;
    return RECT{0, 0, bih.biWidth, std::abs(bih.biHeight)};
}

void CVideoRenderer::OnWindowSettings(const VideoWindowSettings& w, bool repaint)
{
    PresentSettings s;
    s.left = w.left;
    s.top = w.top;
    s.width = w.width;
    s.height = w.height;
    s.visible = w.visible;
    s.fullScreen = w.fullScreen;
    s.borderColour = DWORD(w.borderColour) & 0xffffff;
    s.source = w.source;
    s.defaultDestination = w.defaultDestination;
    s.destination = w.destination;
    s.letterBox = m_aspectMode.load() == VMR_ARMODE_LETTER_BOX;
    if (std::shared_ptr<CVideoPresenter> presenter = Presenter())
        presenter->SetSettings(s);
    // Paused with a picture held: draw it again, at full quality, where it now goes.
    if (repaint && m_State == State_Paused) {
        if (IMediaSample* sample = GetCurrentSample()) {
            PresentSample(sample);
            sample->Release();
        }
    }
}

void CVideoRenderer::OnOwnerChanged(OAHWND owner)
{
    // A new owner may mean another kind of window: X11 or memory.
    std::shared_ptr<CVideoPresenter> presenter =
        CreateVideoPresenter(reinterpret_cast<HWND>(owner));
    std::shared_ptr<CVideoPresenter> old;
    {
        std::lock_guard<std::mutex> guard(m_presenterLock);
        old = std::move(m_presenter);
        m_presenter = std::move(presenter);
    }
    DSHOW_TRACE("video renderer %p: owner %p (%s)", (void*)this, reinterpret_cast<void*>(owner),
                Presenter()->Kind());
    // The owner's picture is what this renderer shows in it.
    TvSetWindowPictureSource(m_pictureOwner, nullptr, this);
    m_pictureOwner = reinterpret_cast<HWND>(owner);
    if (m_pictureOwner)
        TvSetWindowPictureSource(m_pictureOwner, CopyWindowPicture, this);
}

void CVideoRenderer::OnCaptionChanged(const std::string& caption)
{
    if (auto* x11 = dynamic_cast<CX11Presenter*>(Presenter().get()))
        x11->SetCaption(caption.c_str());
}

HRESULT CVideoRenderer::GetStaticImage(LONG* pBufferSize, LONG* pDIBImage)
{
    if (m_State != State_Paused)
        return VFW_E_NOT_PAUSED;
    IMediaSample* sample = GetCurrentSample();
    if (!sample)
        return E_UNEXPECTED;
    const BITMAPINFOHEADER bih = GetVideoFormat().bmiHeader;
    const size_t frameBytes = bih.biSizeImage;
    HRESULT hr = S_OK;
    size_t total = sizeof(BITMAPINFOHEADER) + frameBytes;
    BYTE* data = nullptr;
    if (!pDIBImage) {
        *pBufferSize = LONG(total);
    } else if (*pBufferSize < 0 || size_t(*pBufferSize) < total) {
        hr = E_OUTOFMEMORY;
    } else if (FAILED(sample->GetPointer(&data)) || !data ||
               sample->GetActualDataLength() < LONG(frameBytes)) {
        hr = E_UNEXPECTED;
    } else {
        auto* out = reinterpret_cast<BYTE*>(pDIBImage);
        std::memcpy(out, &bih, sizeof(bih));
        std::memcpy(out + sizeof(bih), data, frameBytes);
    }
    sample->Release();
    return hr;
}

// ---- Connection and streaming ----

HRESULT CVideoRenderer::CheckMediaType(const CMediaType* pmt)
{
    CheckPointer(pmt, E_POINTER);
    return VideoTypeFromMediaType(*pmt, nullptr);
}

HRESULT CVideoRenderer::SetMediaType(const CMediaType* pmt)
{
    VideoTypeInfo info;
    HRESULT hr = VideoTypeFromMediaType(*pmt, &info);
    if (FAILED(hr))
        return hr;
    {
        std::lock_guard<std::mutex> guard(m_presenterLock);
        m_format = info.format;
    }
    SetVideoFormat(info.vih);
    return S_OK;
}

HRESULT CVideoRenderer::CompleteConnect(IPin*)
{
    CompleteWindowConnect();
    return S_OK;
}

HRESULT CVideoRenderer::BreakConnect()
{
    {
        std::lock_guard<std::mutex> guard(m_presenterLock);
        m_format = FrameFormat{};
    }
    SetVideoFormat(VIDEOINFOHEADER{});
    return S_OK;
}

void CVideoRenderer::TakeSampleType(IMediaSample* pMediaSample)
{
    AM_MEDIA_TYPE* mt = nullptr;
    if (pMediaSample->GetMediaType(&mt) != S_OK || !mt)
        return;
    VideoTypeInfo info;
    HRESULT hr = VideoTypeFromMediaType(*mt, &info);
    DeleteMediaType(mt);
    if (FAILED(hr))
        return;
    {
        std::lock_guard<std::mutex> guard(m_presenterLock);
        m_format = info.format;
    }
    if (SetVideoFormat(info.vih)) {
        // The picture being drawn follows: no repaint from here.
        ApplyWindowSettings(false);
        NotifyEvent(EC_VIDEO_SIZE_CHANGED, MAKELONG(info.format.width, info.format.height), 0);
    }
}

HRESULT CVideoRenderer::PresentSample(IMediaSample* pMediaSample)
{
    FrameFormat format;
    std::shared_ptr<CVideoPresenter> presenter;
    {
        std::lock_guard<std::mutex> guard(m_presenterLock);
        format = m_format;
        presenter = m_presenter;
    }
    BYTE* data = nullptr;
    if (FAILED(pMediaSample->GetPointer(&data)) || !data)
        return E_POINTER;
    // A sample shorter than a picture is not drawn (reading past it would be).
    LONG actual = pMediaSample->GetActualDataLength();
    if (actual < 0 || size_t(actual) < format.FrameBytes())
        return S_FALSE;
    return presenter && presenter->Present(format, data) ? S_OK : S_FALSE;
}

HRESULT CVideoRenderer::DoRenderSample(IMediaSample* pMediaSample)
{
    TakeSampleType(pMediaSample);
    return PresentSample(pMediaSample);
}

void CVideoRenderer::OnReceiveFirstSample(IMediaSample* pMediaSample)
{
    TakeSampleType(pMediaSample);
    PresentSample(pMediaSample);
}

STDMETHODIMP CVideoRenderer::Pause()
{
    HRESULT hr = CBaseVideoRenderer::Pause();
    if (SUCCEEDED(hr) && IsConnected())
        AutoShowWindow();
    return hr;
}

STDMETHODIMP CVideoRenderer::Run(REFERENCE_TIME StartTime)
{
    HRESULT hr = CBaseVideoRenderer::Run(StartTime);
    if (SUCCEEDED(hr) && IsConnected())
        AutoShowWindow();
    return hr;
}

// ---- IVMRAspectRatioControl ----

STDMETHODIMP CVideoRenderer::GetAspectRatioMode(LPDWORD lpdwARMode)
{
    CheckPointer(lpdwARMode, E_POINTER);
    *lpdwARMode = m_aspectMode.load();
    return S_OK;
}

STDMETHODIMP CVideoRenderer::SetAspectRatioMode(DWORD dwARMode)
{
    if (dwARMode != VMR_ARMODE_NONE && dwARMode != VMR_ARMODE_LETTER_BOX)
        return E_INVALIDARG;
    m_aspectMode = dwARMode;
    ApplyWindowSettings(true);
    return S_OK;
}

// ---- IVideoFrameStep ----

STDMETHODIMP CVideoRenderer::Step(DWORD dwFrames, IUnknown* pStepObject)
{
    if (pStepObject || dwFrames == 0)
        return E_INVALIDARG;
    if (!IsConnected())
        return VFW_E_NOT_CONNECTED;
    return BeginFrameStep(dwFrames);
}

STDMETHODIMP CVideoRenderer::CanStep(LONG bMultiple, IUnknown* pStepObject)
{
    (void)bMultiple; // any number of frames
    if (pStepObject)
        return E_INVALIDARG;
    return IsConnected() ? S_OK : VFW_E_NOT_CONNECTED;
}

STDMETHODIMP CVideoRenderer::CancelStep()
{
    CancelFrameStep();
    return S_OK;
}

// ---- IOffscreenSnapshot ----

STDMETHODIMP CVideoRenderer::GetSurfaceInfo(LONG* pWidth, LONG* pHeight, LONGLONG* pFramesPresented,
                                            BOOL* pOnScreen)
{
    std::shared_ptr<CVideoPresenter> presenter = Presenter();
    int w = 0, h = 0;
    uint64_t frames = 0;
    presenter->CopyPicture(nullptr, 0, &w, &h, &frames);
    if (pWidth)
        *pWidth = w;
    if (pHeight)
        *pHeight = h;
    if (pFramesPresented)
        *pFramesPresented = LONGLONG(frames);
    if (pOnScreen)
        *pOnScreen = std::strcmp(presenter->Kind(), "x11") == 0;
    return S_OK;
}

STDMETHODIMP CVideoRenderer::CopyLastFrame(BYTE* pBuffer, LONG cbBuffer, LONG* pWidth,
                                           LONG* pHeight)
{
    std::shared_ptr<CVideoPresenter> presenter = Presenter();
    int w = 0, h = 0;
    uint64_t frames = 0;
    bool copied = pBuffer && cbBuffer >= 0 &&
                  presenter->CopyPicture(pBuffer, size_t(cbBuffer), &w, &h, &frames);
    if (!copied)
        presenter->CopyPicture(nullptr, 0, &w, &h, &frames);
    if (pWidth)
        *pWidth = w;
    if (pHeight)
        *pHeight = h;
    if (!pBuffer)
        return E_POINTER;
    if (w == 0 || h == 0)
        return VFW_E_NOT_CONNECTED;
    if (!copied)
        return E_OUTOFMEMORY;
    return frames ? S_OK : S_FALSE;
}
