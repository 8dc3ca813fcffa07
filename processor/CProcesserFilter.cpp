#include "CProcesserFilter.h"

#include "DiagLog.h"
#include "TarvoGuids.h"

#include "win32/timefn.h"
#include "win32/trace.h"

#include <algorithm>
#include <new>

namespace {

const char kReceiveLogPattern[] = "C:\\SoftDecLog\\processer_receive_time_%d.txt";
const char kSendLogPattern[] = "C:\\SoftDecLog\\processer_send_time_%d.txt";
// A gap above this between two queued pictures is flagged in the receive log.
constexpr DWORD kReceiveGapMs = 50;
// The frame interval until the input type says otherwise.
constexpr LONG kDefaultIntervalMs = 40;

bool IsYuy2Subtype(const GUID& subtype)
{
    return subtype == MEDIASUBTYPE_YUY2 || subtype == MEDIASUBTYPE_YUYV;
}

// The VIDEOINFOHEADER2 of a type, or null when it has none (or a short one).
const VIDEOINFOHEADER2* VideoInfo2(const CMediaType* mt)
{
    if (!mt || mt->formattype != FORMAT_VideoInfo2 || !mt->Format() ||
        mt->FormatLength() < sizeof(VIDEOINFOHEADER2))
        return nullptr;
    return reinterpret_cast<const VIDEOINFOHEADER2*>(mt->Format());
}

const char* FaceName(const LOGFONTA* font)
{
    return font ? font->lfFaceName : "(null)";
}

} // namespace

CProcesserFilter::CProcesserFilter(LPUNKNOWN pUnk, HRESULT* phr)
    : CTransformFilter("TarvoProcesser", pUnk, CLSID_TarvoProcesser),
      m_delivery(this, ReadTimeControlSettings(), OpenFirstFreeLog(kSendLogPattern))
{
    m_delivery.SetInterval(kDefaultIntervalMs);
    m_receiveLog = OpenFirstFreeLog(kReceiveLogPattern);
    m_lastReceiveTick = timeGetTime();

    // All three pins exist from the start, so that no thread ever sees them
    // being made.
    HRESULT hr = S_OK;
    m_pInput = new (std::nothrow) CTransformInputPin("Processer input pin", this, &hr, L"Input");
    m_pOutput =
        new (std::nothrow) CTransformOutputPin("Processer output pin", this, &hr, L"Output");
    m_pOverlayPin = new (std::nothrow) COverlayInputPin(this, &m_csFilter, &m_processor, &hr);
    if (!m_pInput || !m_pOutput || !m_pOverlayPin)
        hr = E_OUTOFMEMORY;
    if (SUCCEEDED(hr) && (!m_processor.Grab().Ok() || !m_delivery.Start()))
        hr = E_OUTOFMEMORY;
    if (phr && FAILED(hr))
        *phr = hr;
}

CProcesserFilter::~CProcesserFilter()
{
    // The delivery thread delivers through the output pin: it ends first.
    m_delivery.Shutdown();
    if (m_receiveLog)
        std::fclose(m_receiveLog);
    delete m_pOverlayPin;
}

STDMETHODIMP CProcesserFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IProcesserCut)
        return GetInterface(static_cast<IProcesserCut*>(this), ppv);
    if (riid == IID_IProcesserColor)
        return GetInterface(static_cast<IProcesserColor*>(this), ppv);
    if (riid == IID_IProcesserOverlay)
        return GetInterface(static_cast<IProcesserOverlay*>(this), ppv);
    if (riid == IID_ISampleGrabber)
        return GetInterface(static_cast<ISampleGrabber*>(this), ppv);
    if (riid == IID_ISpecifyPropertyPages)
        return GetInterface(static_cast<ISpecifyPropertyPages*>(this), ppv);
    if (riid == IID_IPictureBufferSource)
        return GetInterface(static_cast<IPictureBufferSource*>(this), ppv);
    return CTransformFilter::NonDelegatingQueryInterface(riid, ppv);
}

CBasePin* CProcesserFilter::GetPin(int n)
{
    switch (n) {
    case 0:
        return m_pInput;
    case 1:
        return m_pOutput;
    case 2:
        return m_pOverlayPin;
    default:
        return nullptr;
    }
}

// ---- media types ----

HRESULT CProcesserFilter::CheckInputType(const CMediaType* mtIn)
{
    if (!mtIn || mtIn->majortype != MEDIATYPE_Video || !IsYuy2Subtype(mtIn->subtype))
        return E_INVALIDARG;
    const VIDEOINFOHEADER2* vih = VideoInfo2(mtIn);
    if (!vih || vih->bmiHeader.biWidth <= 0 || vih->bmiHeader.biHeight <= 0)
        return E_INVALIDARG;
    return S_OK;
}

HRESULT CProcesserFilter::CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut)
{
    if (!mtIn || !mtOut || mtIn->majortype != mtOut->majortype ||
        mtIn->formattype != mtOut->formattype)
        return E_FAIL;
    // YUY2 and YUYV name the same byte order: an input of either goes out as YUY2.
    if (mtIn->subtype != mtOut->subtype &&
        !(IsYuy2Subtype(mtIn->subtype) && IsYuy2Subtype(mtOut->subtype)))
        return E_FAIL;
    // The output buffers hold the processor's output size; a type that
    // describes another size would have the pictures read wrongly.
    if (const VIDEOINFOHEADER2* vih = VideoInfo2(mtOut)) {
        const ProcesserCut cut = m_processor.Cut();
        if (vih->bmiHeader.biWidth != cut.outWidth || vih->bmiHeader.biHeight != cut.outHeight)
            return E_FAIL;
    }
    return S_OK;
}

HRESULT CProcesserFilter::SetMediaType(PIN_DIRECTION direction, const CMediaType* pmt)
{
    if (direction == PINDIR_INPUT) {
        // The agreed input decides the geometry and so the copy plan.
        const VIDEOINFOHEADER2* vih = VideoInfo2(pmt);
        if (!vih)
            return E_INVALIDARG;
        m_inputFormat = *vih;
        const REFERENCE_TIME interval = vih->AvgTimePerFrame / 10000;
        m_delivery.SetInterval(interval > 0 && interval <= INT32_MAX ? LONG(interval)
                                                                     : kDefaultIntervalMs);
        m_processor.SetInputSize(vih->bmiHeader.biWidth, vih->bmiHeader.biHeight);
    } else {
        // Items learn the output layout again (and render for its height).
        m_processor.Overlays().ResetLayouts();
    }
    return S_OK;
}

HRESULT CProcesserFilter::GetMediaType(int iPosition, CMediaType* pMediaType)
{
    const HRESULT hr = OnlyMediaTypePosition(iPosition, pMediaType);
    if (hr != S_OK)
        return hr;
    const ProcesserCut cut = m_processor.Cut();
    VIDEOINFOHEADER2 vih = m_inputFormat;
    vih.rcSource = RECT{0, 0, cut.outWidth, cut.outHeight};
    vih.rcTarget = vih.rcSource;
    vih.dwBitRate = 0;
    vih.dwPictAspectRatioX = 0;
    vih.dwPictAspectRatioY = 0;
    vih.dwControlFlags = AMCONTROL_USED;
    BITMAPINFOHEADER& bmi = vih.bmiHeader;
    bmi = BITMAPINFOHEADER{};
    bmi.biSize = sizeof(BITMAPINFOHEADER);
    bmi.biWidth = cut.outWidth;
    bmi.biHeight = cut.outHeight;
    bmi.biPlanes = 1;
    bmi.biBitCount = 16;
    bmi.biCompression = MAKEFOURCC('Y', 'U', 'Y', '2');
    bmi.biSizeImage = GetBitmapSize(&bmi);
    bmi.biClrImportant = 0;

    pMediaType->InitMediaType();
    pMediaType->SetType(&MEDIATYPE_Video);
    pMediaType->SetSubtype(&MEDIASUBTYPE_YUY2);
    pMediaType->SetFormatType(&FORMAT_VideoInfo2);
    pMediaType->SetTemporalCompression(FALSE);
    pMediaType->SetSampleSize(bmi.biSizeImage);
    if (!pMediaType->SetFormat(reinterpret_cast<const BYTE*>(&vih), sizeof(vih)))
        return E_OUTOFMEMORY;
    return S_OK;
}

HRESULT CProcesserFilter::DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp)
{
    if (!pAlloc || !pProp)
        return E_POINTER;
    const ProcesserCut cut = m_processor.Cut();
    const int64_t bytes = Yuy2PictureBytes(cut.outWidth, cut.outHeight);
    if (bytes <= 0 || bytes > INT32_MAX)
        return E_FAIL;
    ALLOCATOR_PROPERTIES request = *pProp;
    request.cBuffers = m_delivery.Settings().frameBufferCount;
    request.cbBuffer = LONG(bytes);
    if (request.cbAlign < 1)
        request.cbAlign = 1;
    ALLOCATOR_PROPERTIES actual{};
    const HRESULT hr = pAlloc->SetProperties(&request, &actual);
    return FAILED(hr) ? hr : S_OK;
}

bool CProcesserFilter::QueryOverlayLayout(OverlayFrameLayout* layout)
{
    // Streaming thread: the output's type changes only while stopped.
    if (!m_pOutput || !m_pOutput->IsConnected())
        return false;
    const CMediaType& mt = m_pOutput->CurrentMediaType();
    const VIDEOINFOHEADER2* vih = VideoInfo2(&mt);
    if (!vih || !IsYuy2Subtype(mt.subtype))
        return false;
    return OverlayLayoutFromHeader(vih->bmiHeader.biWidth, vih->bmiHeader.biHeight,
                                   vih->bmiHeader.biBitCount, layout);
}

// ---- streaming ----

STDMETHODIMP CProcesserFilter::GetPictureBuffer(LONG width, LONG height, IMediaSample** sample)
{
    CheckPointer(sample, E_POINTER);
    *sample = nullptr;
    // As Receive: a Stop waits for a buffer being taken.
    CAutoLock receive(&m_csReceive);
    if (m_delivery.Flushing() || !m_pOutput || !m_pOutput->IsConnected())
        return S_FALSE;
    const ProcesserCut cut = m_processor.Cut();
    if (m_processor.Plan().kind != PicturePlan::Kind::kWhole || width <= 0 || height <= 0 ||
        width != cut.inWidth || height != cut.inHeight)
        return S_FALSE;
    IMediaSample* out = nullptr;
    if (FAILED(m_pOutput->GetDeliveryBuffer(&out, nullptr, nullptr, 0)) || !out)
        return S_FALSE;
    if (int64_t(out->GetSize()) < Yuy2PictureBytes(width, height)) {
        out->Release();
        return S_FALSE;
    }
    m_lent.store(out);
    *sample = out;
    return S_OK;
}

HRESULT CProcesserFilter::Receive(IMediaSample* pSample)
{
    // A sample lent by GetPictureBuffer holds its picture where the output
    // goes: it is processed in place instead of copied.
    const bool lent = pSample && m_lent.exchange(nullptr) == pSample;
    if (!pSample || m_delivery.Flushing())
        return S_OK;
    const ProcesserCut cut = m_processor.Cut();
    if (int64_t(pSample->GetActualDataLength()) > int64_t(cut.inWidth) * cut.inHeight * 2)
        return S_OK;

    const DWORD t0 = timeGetTime();
    IMediaSample* out = nullptr;
    if (lent) {
        out = pSample;
        out->AddRef();
    } else if (FAILED(m_pOutput->GetDeliveryBuffer(&out, nullptr, nullptr, 0)) || !out) {
        return S_OK;
    }
    if (m_receiveLog) {
        const DWORD now = timeGetTime();
        std::fprintf(m_receiveLog, "GetBuffer:%d, before:%d, sub:%d\n", int(now), int(t0),
                     int(now - t0));
    }
    LONG queued = 0;
    if (m_delivery.Flushing() || Transform(pSample, out) != S_OK ||
        !m_delivery.Append(out, &queued)) {
        out->Release();
        return S_OK;
    }
    out->Release(); // the queue holds its own reference
    if (m_receiveLog) {
        const DWORD now = timeGetTime();
        const DWORD gap = now - m_lastReceiveTick;
        m_lastReceiveTick = now;
        std::fprintf(m_receiveLog,
                     gap > kReceiveGapMs ? "ID:%d, <R-%d, C:%d, sub:%d***\n"
                                         : "ID:%d, <R-%d, C:%d, sub:%d\n",
                     int(m_receiveCounter), int(now), int(queued), int(gap));
    }
    ++m_receiveCounter;
    return S_OK;
}

HRESULT CProcesserFilter::Transform(IMediaSample* pIn, IMediaSample* pOut)
{
    if (!pIn || !pOut)
        return E_POINTER;
    BYTE* in = nullptr;
    BYTE* out = nullptr;
    if (FAILED(pIn->GetPointer(&in)) || FAILED(pOut->GetPointer(&out)))
        return E_FAIL;
    const LONG inLength = pIn->GetActualDataLength();
    const LONG outSize = pOut->GetSize();
    if (inLength < 0 || outSize < 0)
        return E_FAIL;
    // Time control stamps the picture when it leaves the queue.
    pOut->SetTime(nullptr, nullptr);
    size_t outLength = 0;
    if (FAILED(m_processor.Process(in, size_t(inLength), out, size_t(outSize), &outLength, *this)))
        return E_FAIL;
    pOut->SetActualDataLength(LONG(outLength));
    return S_OK;
}

HRESULT CProcesserFilter::DeliverQueued(IMediaSample* sample)
{
    return m_pOutput->Deliver(sample);
}

REFERENCE_TIME CProcesserFilter::QueueStreamTime()
{
    CRefTime now;
    return SUCCEEDED(StreamTime(now)) ? now.GetUnits() : 0;
}

HRESULT CProcesserFilter::AlterQuality(Quality q)
{
    if (q.Late > 0)
        m_delivery.OnQuality(q, QueueStreamTime());
    return CTransformFilter::AlterQuality(q);
}

HRESULT CProcesserFilter::EndOfStream()
{
    // The pictures still queued go downstream before the end of the stream:
    // a renderer refuses samples after it, and the graph would complete with
    // the last pictures unshown.
    m_delivery.WaitUntilDelivered();
    return CTransformFilter::EndOfStream();
}

HRESULT CProcesserFilter::BeginFlush()
{
    m_delivery.BeginFlush();
    return CTransformFilter::BeginFlush();
}

HRESULT CProcesserFilter::EndFlush()
{
    m_delivery.EndFlush();
    return CTransformFilter::EndFlush();
}

STDMETHODIMP CProcesserFilter::Stop()
{
    CAutoLock lock(&m_csFilter);
    m_delivery.DropAll();
    // Decommits the output allocator (waking a Receive blocked for a buffer)
    // and waits for the Receive in progress.
    const HRESULT hr = CTransformFilter::Stop();
    // What that last Receive queued, and the picture being delivered (the
    // downstream filter is stopped already and turns it away), are gone
    // before the clock starts again from 0.
    m_delivery.DropAll();
    m_delivery.WaitWhileDelivering();
    m_delivery.ResetClock();
    m_processor.ResetStatistics();
    // CTransformFilter stops its own two pins only.
    if (m_pOverlayPin->IsConnected())
        m_pOverlayPin->Inactive();
    return hr;
}

// ---- IProcesserCut ----
//
// Every call of the three private interfaces is traced on the "processor"
// channel with its arguments, its result and what it gives back (the colour
// adjuster traces IProcesserColor itself).

STDMETHODIMP CProcesserFilter::SetCutRect(LONG x, LONG y, LONG width, LONG height)
{
    CTvTraceCall trace("processor", "SetCutRect(%d, %d, %d, %d)", int(x), int(y), int(width),
                       int(height));
    CAutoLock lock(&m_csFilter);
    // The output size is agreed with the downstream filter.
    if (m_pOutput->IsConnected())
        return trace(E_FAIL);
    return trace(m_processor.SetCutRect(x, y, width, height));
}

STDMETHODIMP CProcesserFilter::GetCutRect(LONG* x, LONG* y, LONG* width, LONG* height)
{
    CTvTraceCall trace("processor", "GetCutRect()");
    const HRESULT hr = m_processor.GetCutRect(x, y, width, height);
    if (trace.On() && SUCCEEDED(hr))
        trace.Detail("%d, %d, %d, %d", int(*x), int(*y), int(*width), int(*height));
    return trace(hr);
}

STDMETHODIMP CProcesserFilter::GetProcessStatistics(LONGLONG* samples, LONGLONG* bytes)
{
    CTvTraceCall trace("processor", "GetProcessStatistics()");
    const HRESULT hr = m_processor.GetProcessStatistics(samples, bytes);
    if (trace.On() && SUCCEEDED(hr))
        trace.Detail("%lld samples, %lld bytes", static_cast<long long>(*samples),
                     static_cast<long long>(*bytes));
    return trace(hr);
}

STDMETHODIMP CProcesserFilter::SetCutMode(LONG width, LONG height, LONG mode)
{
    CTvTraceCall trace("processor", "SetCutMode(%d, %d, %d)", int(width), int(height), int(mode));
    CAutoLock lock(&m_csFilter);
    if (m_pOutput->IsConnected())
        return trace(E_FAIL);
    return trace(m_processor.SetCutMode(width, height, mode));
}

STDMETHODIMP CProcesserFilter::SetFrameCallback(ProcesserFrameCallback callback, void* user)
{
    CTvTraceCall trace("processor", "SetFrameCallback(%p, %p)", reinterpret_cast<void*>(callback),
                       user);
    return trace(m_processor.SetFrameCallback(callback, user));
}

// ---- IProcesserColor ----

STDMETHODIMP CProcesserFilter::GetContrast(BYTE* value)
{
    return m_processor.Color().GetContrast(value);
}

STDMETHODIMP CProcesserFilter::SetContrast(LONG value)
{
    return m_processor.Color().SetContrast(value);
}

STDMETHODIMP CProcesserFilter::ResetContrast()
{
    return m_processor.Color().ResetContrast();
}

STDMETHODIMP CProcesserFilter::GetBrightness(BYTE* value)
{
    return m_processor.Color().GetBrightness(value);
}

STDMETHODIMP CProcesserFilter::SetBrightness(LONG value)
{
    return m_processor.Color().SetBrightness(value);
}

STDMETHODIMP CProcesserFilter::ResetBrightness()
{
    return m_processor.Color().ResetBrightness();
}

STDMETHODIMP CProcesserFilter::SetHue(LONG value)
{
    return m_processor.Color().SetHue(value);
}

STDMETHODIMP CProcesserFilter::GetHue(BYTE* value)
{
    return m_processor.Color().GetHue(value);
}

STDMETHODIMP CProcesserFilter::ResetHue()
{
    return m_processor.Color().ResetHue();
}

STDMETHODIMP CProcesserFilter::SetSaturation(LONG value)
{
    return m_processor.Color().SetSaturation(value);
}

STDMETHODIMP CProcesserFilter::GetSaturation(BYTE* value)
{
    return m_processor.Color().GetSaturation(value);
}

STDMETHODIMP CProcesserFilter::ResetSaturation()
{
    return m_processor.Color().ResetSaturation();
}

// ---- IProcesserOverlay ----

namespace {

// An ID pointer's value for a trace line.
int IdOf(const LONG* id)
{
    return id ? int(*id) : -1;
}

// A text argument of a given length, cut for a trace line.
int TextLength(const char* text, LONG length)
{
    return text && length > 0 ? int(std::min<LONG>(length, 64)) : 0;
}

} // namespace

STDMETHODIMP CProcesserFilter::RemoveOverlay(LONG id)
{
    CTvTraceCall trace("processor", "RemoveOverlay(%d)", int(id));
    return trace(m_processor.Overlays().RemoveOverlay(id));
}

STDMETHODIMP CProcesserFilter::RemoveAllOverlay()
{
    CTvTraceCall trace("processor", "RemoveAllOverlay()");
    return trace(m_processor.Overlays().RemoveAllOverlay());
}

STDMETHODIMP CProcesserFilter::AddTextOverlay(const char* text, LONG length, BYTE r, BYTE g, BYTE b,
                                              LOGFONTA font, LONG x, LONG y, LONG* id)
{
    CTvTraceCall trace("processor", "AddTextOverlay(\"%.*s\", %d, %u/%u/%u, %s %d, %d, %d, %d)",
                       TextLength(text, length), text ? text : "", int(length), r, g, b,
                       font.lfFaceName, int(font.lfHeight), int(x), int(y), IdOf(id));
    const HRESULT hr = m_processor.Overlays().AddTextOverlay(text, length, r, g, b, font, x, y, id);
    if (trace.On())
        trace.Detail("id %d", IdOf(id));
    return trace(hr);
}

STDMETHODIMP CProcesserFilter::AddSysTimeOverlay(BYTE r, BYTE g, BYTE b, LOGFONTA font, LONG x,
                                                 LONG y, LONG* id)
{
    CTvTraceCall trace("processor", "AddSysTimeOverlay(%u/%u/%u, %s %d, %d, %d, %d)", r, g, b,
                       font.lfFaceName, int(font.lfHeight), int(x), int(y), IdOf(id));
    const HRESULT hr = m_processor.Overlays().AddSysTimeOverlay(r, g, b, font, x, y, id);
    if (trace.On())
        trace.Detail("id %d", IdOf(id));
    return trace(hr);
}

STDMETHODIMP CProcesserFilter::AddBitmapOverlay(HANDLE file, LONG x, LONG y, DWORD transparent,
                                                LONG* id)
{
    CTvTraceCall trace("processor", "AddBitmapOverlay(%p, %d, %d, 0x%06x, %d)", file, int(x),
                       int(y), unsigned(transparent), IdOf(id));
    const HRESULT hr = m_processor.Overlays().AddBitmapOverlay(file, x, y, transparent, id);
    if (trace.On())
        trace.Detail("id %d", IdOf(id));
    return trace(hr);
}

STDMETHODIMP CProcesserFilter::AddRectangleOverlay(BYTE r, BYTE g, BYTE b, LONG left, LONG top,
                                                   LONG right, LONG bottom, LONG* id)
{
    CTvTraceCall trace("processor", "AddRectangleOverlay(%u/%u/%u, %d, %d, %d, %d, %d)", r, g, b,
                       int(left), int(top), int(right), int(bottom), IdOf(id));
    const HRESULT hr =
        m_processor.Overlays().AddRectangleOverlay(r, g, b, left, top, right, bottom, id);
    if (trace.On())
        trace.Detail("id %d", IdOf(id));
    return trace(hr);
}

STDMETHODIMP CProcesserFilter::AddCircleOverlay(BYTE r, BYTE g, BYTE b, LONG cx, LONG cy,
                                                LONG radius, LONG* id)
{
    CTvTraceCall trace("processor", "AddCircleOverlay(%u/%u/%u, %d, %d, %d, %d)", r, g, b, int(cx),
                       int(cy), int(radius), IdOf(id));
    const HRESULT hr = m_processor.Overlays().AddCircleOverlay(r, g, b, cx, cy, radius, id);
    if (trace.On())
        trace.Detail("id %d", IdOf(id));
    return trace(hr);
}

STDMETHODIMP CProcesserFilter::AddEllipseOverlay(BYTE r, BYTE g, BYTE b, LONG x0, LONG y0, LONG x1,
                                                 LONG y1, LONG* id)
{
    CTvTraceCall trace("processor", "AddEllipseOverlay(%u/%u/%u, %d, %d, %d, %d, %d)", r, g, b,
                       int(x0), int(y0), int(x1), int(y1), IdOf(id));
    const HRESULT hr = m_processor.Overlays().AddEllipseOverlay(r, g, b, x0, y0, x1, y1, id);
    if (trace.On())
        trace.Detail("id %d", IdOf(id));
    return trace(hr);
}

STDMETHODIMP CProcesserFilter::AddPolygonOverlay(BYTE r, BYTE g, BYTE b, const POINT* points,
                                                 LONG count, LONG* id)
{
    CTvTraceCall trace("processor", "AddPolygonOverlay(%u/%u/%u, %p, %d, %d)", r, g, b,
                       static_cast<const void*>(points), int(count), IdOf(id));
    const HRESULT hr = m_processor.Overlays().AddPolygonOverlay(r, g, b, points, count, id);
    if (trace.On())
        trace.Detail("id %d", IdOf(id));
    return trace(hr);
}

STDMETHODIMP CProcesserFilter::SetShowTime(LONG id, LONGLONG start, LONG duration, LONG reserved)
{
    CTvTraceCall trace("processor", "SetShowTime(%d, %lld, %d, %d)", int(id),
                       static_cast<long long>(start), int(duration), int(reserved));
    return trace(m_processor.Overlays().SetShowTime(id, start, duration));
}

STDMETHODIMP CProcesserFilter::SetTimeRange(LONG id, LONGLONG start, LONGLONG end)
{
    CTvTraceCall trace("processor", "SetTimeRange(%d, %lld, %lld)", int(id),
                       static_cast<long long>(start), static_cast<long long>(end));
    return trace(m_processor.Overlays().SetTimeRange(id, start, end));
}

STDMETHODIMP CProcesserFilter::SetFlickerTime(LONG id, DWORD flicker)
{
    CTvTraceCall trace("processor", "SetFlickerTime(%d, 0x%08x)", int(id), unsigned(flicker));
    return trace(m_processor.Overlays().SetFlickerTime(id, flicker));
}

STDMETHODIMP CProcesserFilter::NewOverlayID(LONG* id)
{
    CTvTraceCall trace("processor", "NewOverlayID(%p)", static_cast<void*>(id));
    const HRESULT hr = m_processor.Overlays().NewOverlayID(id);
    if (trace.On())
        trace.Detail("id %d", IdOf(id));
    return trace(hr);
}

STDMETHODIMP CProcesserFilter::GetItemsByIndex(LONG id, BYTE* buffer, LONG* size, LONG* count)
{
    CTvTraceCall trace("processor", "GetItemsByIndex(%d, %p, %d)", int(id),
                       static_cast<void*>(buffer), IdOf(size));
    const HRESULT hr = m_processor.Overlays().GetItemsByIndex(id, buffer, size, count);
    if (trace.On())
        trace.Detail("size %d, count %d", IdOf(size), IdOf(count));
    return trace(hr);
}

STDMETHODIMP CProcesserFilter::GetItems(BYTE* buffer, LONG* size, LONG* count, LONGLONG start,
                                        LONGLONG end)
{
    CTvTraceCall trace("processor", "GetItems(%p, %d, %lld, %lld)", static_cast<void*>(buffer),
                       IdOf(size), static_cast<long long>(start), static_cast<long long>(end));
    const HRESULT hr = m_processor.Overlays().GetItems(buffer, size, count, start, end);
    if (trace.On())
        trace.Detail("size %d, count %d", IdOf(size), IdOf(count));
    return trace(hr);
}

STDMETHODIMP CProcesserFilter::AddOverlaysFromFile(const char* path, LONG* count)
{
    CTvTraceCall trace("processor", "AddOverlaysFromFile(\"%s\")", TvTraceText(path));
    const HRESULT hr = m_processor.Overlays().AddOverlaysFromFile(path, count);
    if (trace.On())
        trace.Detail("count %d", IdOf(count));
    return trace(hr);
}

STDMETHODIMP CProcesserFilter::AddOverlaysFromByte(const BYTE* data, LONG length, LONG* count)
{
    CTvTraceCall trace("processor", "AddOverlaysFromByte(%p, %d)", static_cast<const void*>(data),
                       int(length));
    const HRESULT hr = m_processor.Overlays().AddOverlaysFromByte(data, length, count);
    if (trace.On())
        trace.Detail("count %d", IdOf(count));
    return trace(hr);
}

STDMETHODIMP CProcesserFilter::AddTextOverlayEx(LONG* id, LONGLONG start, LONGLONG end,
                                                DWORD flicker, BYTE r, BYTE g, BYTE b, LONG x,
                                                LONG y, const LOGFONTA* font, LONG textLength,
                                                const char* text, LONG extraLength,
                                                const BYTE* extra)
{
    CTvTraceCall trace("processor",
                       "AddTextOverlayEx(%d, %lld, %lld, 0x%08x, %u/%u/%u, %d, %d, %s, %d, "
                       "\"%.*s\", %d)",
                       IdOf(id), static_cast<long long>(start), static_cast<long long>(end),
                       unsigned(flicker), r, g, b, int(x), int(y), FaceName(font), int(textLength),
                       TextLength(text, textLength), text ? text : "", int(extraLength));
    return trace(m_processor.Overlays().AddTextOverlayEx(
        id, start, end, flicker, r, g, b, x, y, font, textLength, text, extraLength, extra));
}

STDMETHODIMP CProcesserFilter::AddSysTimeOverlayEx(LONG* id, LONGLONG start, LONGLONG end,
                                                   DWORD flicker, BYTE r, BYTE g, BYTE b, LONG x,
                                                   LONG y, const LOGFONTA* font, LONG extraLength,
                                                   const BYTE* extra)
{
    CTvTraceCall trace(
        "processor", "AddSysTimeOverlayEx(%d, %lld, %lld, 0x%08x, %u/%u/%u, %d, %d, %s, %d)",
        IdOf(id), static_cast<long long>(start), static_cast<long long>(end), unsigned(flicker), r,
        g, b, int(x), int(y), FaceName(font), int(extraLength));
    return trace(m_processor.Overlays().AddSysTimeOverlayEx(id, start, end, flicker, r, g, b, x, y,
                                                            font, extraLength, extra));
}

STDMETHODIMP CProcesserFilter::AddEllipseOverlayEx(LONG* id, LONGLONG start, LONGLONG end,
                                                   DWORD flicker, BYTE r, BYTE g, BYTE b, LONG x0,
                                                   LONG y0, LONG x1, LONG y1, LONG extraLength,
                                                   const BYTE* extra)
{
    CTvTraceCall trace(
        "processor", "AddEllipseOverlayEx(%d, %lld, %lld, 0x%08x, %u/%u/%u, %d, %d, %d, %d, %d)",
        IdOf(id), static_cast<long long>(start), static_cast<long long>(end), unsigned(flicker), r,
        g, b, int(x0), int(y0), int(x1), int(y1), int(extraLength));
    return trace(m_processor.Overlays().AddEllipseOverlayEx(id, start, end, flicker, r, g, b, x0,
                                                            y0, x1, y1, extraLength, extra));
}

STDMETHODIMP CProcesserFilter::AddPolygonOverlayEx(LONG* id, LONGLONG start, LONGLONG end,
                                                   DWORD flicker, BYTE r, BYTE g, BYTE b,
                                                   LONG count, const POINT* points,
                                                   LONG extraLength, const BYTE* extra)
{
    CTvTraceCall trace(
        "processor", "AddPolygonOverlayEx(%d, %lld, %lld, 0x%08x, %u/%u/%u, %d, %p, %d)", IdOf(id),
        static_cast<long long>(start), static_cast<long long>(end), unsigned(flicker), r, g, b,
        int(count), static_cast<const void*>(points), int(extraLength));
    return trace(m_processor.Overlays().AddPolygonOverlayEx(id, start, end, flicker, r, g, b, count,
                                                            points, extraLength, extra));
}

STDMETHODIMP CProcesserFilter::AddBitmapOverlayEx(LONG* id, LONGLONG start, LONGLONG end,
                                                  DWORD flicker, BYTE r, BYTE g, BYTE b, LONG x,
                                                  LONG y, HANDLE file, LONG extraLength,
                                                  const BYTE* extra)
{
    CTvTraceCall trace("processor",
                       "AddBitmapOverlayEx(%d, %lld, %lld, 0x%08x, %u/%u/%u, %d, %d, %p, %d)",
                       IdOf(id), static_cast<long long>(start), static_cast<long long>(end),
                       unsigned(flicker), r, g, b, int(x), int(y), file, int(extraLength));
    return trace(m_processor.Overlays().AddBitmapOverlayEx(id, start, end, flicker, r, g, b, x, y,
                                                           file, extraLength, extra));
}

// ---- ISampleGrabber ----

STDMETHODIMP CProcesserFilter::SetOneShot(BOOL OneShot)
{
    return OneShot ? E_NOTIMPL : S_OK;
}

STDMETHODIMP CProcesserFilter::SetMediaType(const AM_MEDIA_TYPE* pType)
{
    if (!pType)
        return E_POINTER;
    // The processor's output is YUY2 only; nothing is stored.
    return pType->majortype == MEDIATYPE_Video && IsYuy2Subtype(pType->subtype) ? S_OK : E_NOTIMPL;
}

STDMETHODIMP CProcesserFilter::GetConnectedMediaType(AM_MEDIA_TYPE* pType)
{
    if (!pType)
        return E_POINTER;
    CAutoLock lock(&m_csFilter);
    if (!m_pOutput->IsConnected())
        return VFW_E_NOT_CONNECTED;
    return CopyMediaType(pType, &m_pOutput->CurrentMediaType());
}

STDMETHODIMP CProcesserFilter::SetBufferSamples(BOOL BufferThem)
{
    return BufferThem ? E_NOTIMPL : S_OK;
}

STDMETHODIMP CProcesserFilter::GetCurrentBuffer(LONG* pBufferSize, LONG* pBuffer)
{
    return m_processor.Grab().GetCurrentBuffer(pBufferSize, reinterpret_cast<BYTE*>(pBuffer));
}

STDMETHODIMP CProcesserFilter::GetCurrentSample(IMediaSample**)
{
    return E_NOTIMPL;
}

STDMETHODIMP CProcesserFilter::SetCallback(ISampleGrabberCB*, LONG)
{
    return E_NOTIMPL;
}

// ---- ISpecifyPropertyPages ----

STDMETHODIMP CProcesserFilter::GetPages(CAUUID* pPages)
{
    return AMGetSinglePropertyPage(pPages, CLSID_AdjusterPropertyPage);
}
