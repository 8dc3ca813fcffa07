// CGraphPlayer's playback control and picture adjustment: transport, rate,
// stepping, volume, the video cut and the reduce level (both re-render the
// chain below the splitter), the source rectangle, colour, full screen, the
// window size and the statistics text.
//
// Every operation takes m_lock: applications may call on one player from
// several threads, and a stream player's format poll (dispatcher thread)
// changes the graph under the same lock.

#include <cinttypes>
#include <cstdio>

#include "CGraphPlayer.h"
#include "GraphHelpers.h"
#include "IJp2kDecoderControl.h"
#include "IProcesserColor.h"
#include "IProcesserCut.h"
#include "TarvoGuids.h"

namespace {

constexpr const wchar_t* kRendererName = L"Render";
constexpr const wchar_t* kJp2kDecoderName = L"Tarvo Jp2k Decoder";
constexpr LONG kGetStateTimeoutMs = 500;
constexpr LONG kSilence = -10000;

// Edges and sizes of a cut wrap around in 32 bits, as the caller's own
// arithmetic on them would: any rectangle a caller passes has a defined result
// (a reversed one gives a negative size, which the processor refuses).
int WrappedDifference(int64_t a, int64_t b)
{
    return static_cast<int>(static_cast<uint32_t>(a - b));
}

// Owns one interface reference for the length of a scope.
template <typename T> class Held {
public:
    explicit Held(T* p = nullptr) : m_p(p) {}
    ~Held() { SafeRelease(m_p); }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    T* operator->() const { return m_p; }
    T* get() const { return m_p; }
    T** out() { return &m_p; }
    explicit operator bool() const { return m_p != nullptr; }

private:
    T* m_p;
};

} // namespace

// ---- Transport ----

int CGraphPlayer::GraphControl(IMediaControl** control)
{
    *control = nullptr;
    if (!m_pGraph)
        return TP_ERR_INVALID_HANDLE;
    *control = TpQuery<IMediaControl>(m_pGraph, IID_IMediaControl);
    return *control ? 0 : TP_ERR_NO_MEDIA_CONTROL;
}

int CGraphPlayer::Play()
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    Held<IMediaControl> control;
    if (int error = GraphControl(control.out()))
        return error;
    SetRate(1.0);
    return control->Run();
}

int CGraphPlayer::Pause()
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    Held<IMediaControl> control;
    if (int error = GraphControl(control.out()))
        return error;
    return control->Pause();
}

int CGraphPlayer::Stop()
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    Held<IMediaControl> control;
    if (int error = GraphControl(control.out()))
        return error;
    HRESULT hr = control->Stop();
    SetPosition(0);
    return hr;
}

int CGraphPlayer::GetState(int* state)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    Held<IMediaControl> control;
    if (int error = GraphControl(control.out()))
        return error;
    OAFilterState current = State_Stopped;
    HRESULT hr = control->GetState(kGetStateTimeoutMs, &current);
    if (state)
        *state = static_cast<int>(current);
    return hr;
}

// ---- Rate and stepping ----

int CGraphPlayer::VideoPosition(IMediaPosition** position)
{
    *position = nullptr;
    if (!m_pGraph || !m_pSplitter || !m_pVideoPin)
        return TP_ERR_INVALID_HANDLE;
    *position = TpQuery<IMediaPosition>(m_pVideoPin, IID_IMediaPosition);
    return *position ? 0 : TP_ERR_NO_MEDIA_POSITION;
}

int CGraphPlayer::SetRate(double rate)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    Held<IMediaPosition> position;
    if (int error = VideoPosition(position.out()))
        return error;
    return position->put_Rate(rate);
}

int CGraphPlayer::GetRate(double* rate)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    Held<IMediaPosition> position;
    if (int error = VideoPosition(position.out()))
        return error;
    if (!rate)
        return E_POINTER;
    return position->get_Rate(rate);
}

int CGraphPlayer::StepAtRate(double wanted)
{
    double rate = 0;
    if (GetRate(&rate) != 0)
        return E_FAIL;
    if (rate != wanted && SetRate(wanted) != 0)
        return E_FAIL;
    if (!m_pGraph)
        return TP_ERR_INVALID_HANDLE;
    Held<IVideoFrameStep> step(TpQuery<IVideoFrameStep>(m_pGraph, IID_IVideoFrameStep));
    if (!step)
        return TP_ERR_NO_FRAME_STEP;
    if (FAILED(step->CanStep(0, nullptr)))
        return E_FAIL;
    step->Step(1, nullptr);
    return 0;
}

int CGraphPlayer::StepForward()
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    return StepAtRate(1.0);
}

int CGraphPlayer::StepBackward()
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    return StepAtRate(-1.0);
}

// ---- Volume ----

int CGraphPlayer::SetVolume(int volume)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (!m_pGraph)
        return TP_ERR_INVALID_HANDLE;
    Held<IBasicAudio> audio(TpQuery<IBasicAudio>(m_pGraph, IID_IBasicAudio));
    if (!audio)
        return TP_ERR_NO_BASIC_AUDIO;
    // 64-bit: a wild volume must reach the renderer as a refused value, not
    // wrap around into an accepted one.
    const long long mapped = volume <= 0 ? kSilence : 30LL * volume - 3000;
    const LONG clamped = mapped > 0x7fffffffLL ? 0x7fffffff : static_cast<LONG>(mapped);
    return audio->put_Volume(clamped);
}

int CGraphPlayer::GetVolume(int* volume)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (!m_pGraph)
        return TP_ERR_INVALID_HANDLE;
    Held<IBasicAudio> audio(TpQuery<IBasicAudio>(m_pGraph, IID_IBasicAudio));
    if (!audio)
        return TP_ERR_NO_BASIC_AUDIO;
    LONG level = 0;
    HRESULT hr = audio->get_Volume(&level);
    if (SUCCEEDED(hr) && volume)
        *volume = level < -3000 ? 0 : (level + 3000) / 30;
    return hr;
}

// ---- Video cut and reduce level ----

int CGraphPlayer::RenderVideoAgain()
{
    if (!m_pVideoPin)
        return TP_ERR_NO_SPLITTER_PIN;
    HRESULT hr = m_pVideoBuilder->Render(m_pVideoPin, m_pGraph);
    if (FAILED(hr)) {
        Close();
        return hr;
    }
    AttachWindow();
    Play();
    return 0;
}

int CGraphPlayer::SetVideoCut(int left, int right, int top, int bottom)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (!m_pGraph || !m_pTarvoSplt || !m_pVideoBuilder)
        return TP_ERR_INVALID_HANDLE;
    if (!m_pProcessor)
        return TP_ERR_NO_PROCESSOR_CUT;
    Held<IProcesserCut> cut(TpQuery<IProcesserCut>(m_pProcessor, IID_IProcesserCut));
    if (!cut)
        return TP_ERR_NO_PROCESSOR_CUT_INTERFACE;
    // The processor takes a new rectangle only while its output is
    // disconnected: take the chain away first.
    Stop();
    m_pTarvoSplt->RemoveDownstream();
    cut->SetCutRect(left, top, WrappedDifference(right, left), WrappedDifference(bottom, top));
    return RenderVideoAgain();
}

int CGraphPlayer::GetVideoCut(int* left, int* right, int* top, int* bottom)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (!m_pGraph || !m_pTarvoSplt || !m_pVideoBuilder)
        return TP_ERR_INVALID_HANDLE;
    if (!m_pProcessor)
        return TP_ERR_NO_PROCESSOR_CUT;
    Held<IProcesserCut> cut(TpQuery<IProcesserCut>(m_pProcessor, IID_IProcesserCut));
    if (!cut)
        return TP_ERR_NO_PROCESSOR_CUT_INTERFACE;
    LONG x = 0, y = 0, width = 0, height = 0;
    cut->GetCutRect(&x, &y, &width, &height);
    if (left)
        *left = x;
    if (top)
        *top = y;
    if (right)
        *right = WrappedDifference(x, -int64_t(width));
    if (bottom)
        *bottom = WrappedDifference(y, -int64_t(height));
    return 0;
}

int CGraphPlayer::SetReduceLevel(int spatialLevel, int /*frameLevel*/)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (!m_pGraph || !m_pVideoBuilder || !m_pTarvoSplt)
        return TP_ERR_INVALID_HANDLE;
    Held<IBaseFilter> decoder(TpFindFilter(m_pGraph, kJp2kDecoderName));
    if (!decoder)
        return TP_ERR_NO_JP2K_DECODER;
    Held<IJp2kDecoderControl> control(
        TpQuery<IJp2kDecoderControl>(decoder.get(), IID_IJp2kDecoderControl));
    if (!control)
        return TP_ERR_NO_JP2K_INTERFACE;
    Stop();
    m_pTarvoSplt->RemoveDownstream();
    control->SetReduceLevel(spatialLevel);
    return RenderVideoAgain();
}

int CGraphPlayer::GetReduceLevel(int* spatialLevel, int* /*frameLevel*/)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (!m_pGraph || !m_pVideoBuilder)
        return TP_ERR_INVALID_HANDLE;
    Held<IBaseFilter> decoder(TpFindFilter(m_pGraph, kJp2kDecoderName));
    if (!decoder)
        return TP_ERR_NO_JP2K_DECODER;
    Held<IJp2kDecoderControl> control(
        TpQuery<IJp2kDecoderControl>(decoder.get(), IID_IJp2kDecoderControl));
    if (!control)
        return TP_ERR_NO_JP2K_INTERFACE;
    control->GetReduceLevel(spatialLevel);
    return 0;
}

// ---- Video size and source rectangle ----

int CGraphPlayer::GetVideoSize(int* width, int* height)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (!m_pGraph)
        return TP_ERR_INVALID_HANDLE;
    Held<IBasicVideo> video(TpQuery<IBasicVideo>(m_pGraph, IID_IBasicVideo));
    if (!video)
        return TP_ERR_NO_BASIC_VIDEO;
    LONG w = 0, h = 0;
    HRESULT hr = video->GetVideoSize(&w, &h);
    if (SUCCEEDED(hr)) {
        if (width)
            *width = w;
        if (height)
            *height = h;
    }
    return hr;
}

int CGraphPlayer::SetSourceRect(int left, int top, int width, int height)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    int videoWidth = 0, videoHeight = 0;
    if (int result = GetVideoSize(&videoWidth, &videoHeight))
        return result;
    // Too small a piece of the picture to be worth showing.
    if (width <= videoWidth / 8 || height <= videoHeight / 8)
        return 0;
    if (width > videoWidth)
        width = videoWidth;
    if (height > videoHeight)
        height = videoHeight;
    if (left < 0)
        left = 0;
    if (top < 0)
        top = 0;
    if (left + width > videoWidth)
        left = videoWidth - width;
    if (top + height > videoHeight)
        top = videoHeight - height;
    Held<IBasicVideo> video(TpQuery<IBasicVideo>(m_pGraph, IID_IBasicVideo));
    if (!video)
        return TP_ERR_NO_BASIC_VIDEO;
    return video->SetSourcePosition(left, top, width, height);
}

int CGraphPlayer::GetSourceRect(int* left, int* top, int* width, int* height)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (!m_pGraph)
        return TP_ERR_INVALID_HANDLE;
    Held<IBasicVideo> video(TpQuery<IBasicVideo>(m_pGraph, IID_IBasicVideo));
    if (!video)
        return TP_ERR_NO_BASIC_VIDEO;
    LONG l = 0, t = 0, w = 0, h = 0;
    HRESULT hr = video->GetSourcePosition(&l, &t, &w, &h);
    if (SUCCEEDED(hr)) {
        if (left)
            *left = l;
        if (top)
            *top = t;
        if (width)
            *width = w;
        if (height)
            *height = h;
    }
    return hr;
}

// ---- Colour ----

namespace {

// The processor's colour interface, add-referenced; a success with no
// interface counts as E_NOINTERFACE.
HRESULT QueryColor(IBaseFilter* processor, IProcesserColor** color)
{
    HRESULT hr = processor->QueryInterface(IID_IProcesserColor, reinterpret_cast<void**>(color));
    if (SUCCEEDED(hr) && !*color)
        hr = E_NOINTERFACE;
    return hr;
}

} // namespace

int CGraphPlayer::SetColor(int brightness, int contrast, int saturation, int hue)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (!m_pGraph)
        return TP_ERR_INVALID_HANDLE;
    if (!m_pProcessor)
        return E_FAIL;
    IProcesserColor* color = nullptr;
    if (HRESULT hr = QueryColor(m_pProcessor, &color); FAILED(hr))
        return hr;
    color->SetBrightness(brightness);
    color->SetContrast(contrast);
    color->SetSaturation(saturation);
    color->SetHue(hue);
    color->Release();
    return 0;
}

int CGraphPlayer::GetColor(int* brightness, int* contrast, int* saturation, int* hue)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (!m_pGraph)
        return TP_ERR_INVALID_HANDLE;
    if (!m_pProcessor)
        return TP_ERR_NO_PROCESSOR_COLOR;
    IProcesserColor* color = nullptr;
    if (HRESULT hr = QueryColor(m_pProcessor, &color); FAILED(hr))
        return hr;
    BYTE value = 0;
    if (brightness && SUCCEEDED(color->GetBrightness(&value)))
        *brightness = value;
    if (contrast && SUCCEEDED(color->GetContrast(&value)))
        *contrast = value;
    if (saturation && SUCCEEDED(color->GetSaturation(&value)))
        *saturation = value;
    if (hue && SUCCEEDED(color->GetHue(&value)))
        *hue = value;
    color->Release();
    return 0;
}

// ---- Full screen and window size ----

int CGraphPlayer::SetFullScreenMode(BYTE full)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (!m_pGraph || !m_pVideoWindow)
        return TP_ERR_INVALID_HANDLE;
    LONG mode = OAFALSE;
    HRESULT hr = m_pVideoWindow->get_FullScreenMode(&mode);
    if (FAILED(hr))
        return hr;
    if (mode == OAFALSE && full == 1) {
        // Only a running picture goes full screen; a paused or stopped one
        // would leave the user in front of a frozen screen.
        int state = State_Stopped;
        if (GetState(&state) == S_OK && state == State_Running)
            m_pVideoWindow->put_FullScreenMode(OATRUE);
    } else if (mode != OAFALSE && full == 0) {
        m_pVideoWindow->put_FullScreenMode(OAFALSE);
    }
    return 0;
}

int CGraphPlayer::GetFullScreenMode(int* full)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (!m_pGraph || !m_pVideoWindow)
        return TP_ERR_INVALID_HANDLE;
    LONG mode = OAFALSE;
    HRESULT hr = m_pVideoWindow->get_FullScreenMode(&mode);
    if (FAILED(hr))
        return hr;
    if (full)
        *full = mode == OATRUE ? 1 : 0;
    return 0;
}

int CGraphPlayer::ReSize(int /*width*/, int /*height*/)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (!m_pVideoWindow || !m_hWnd)
        return TP_ERR_INVALID_HANDLE;
    // A window destroyed under the player is no window to fill.
    RECT client = {0, 0, 0, 0};
    if (!GetClientRect(m_hWnd, &client))
        return TP_ERR_INVALID_HANDLE;
    m_pVideoWindow->SetWindowPosition(client.left, client.top, client.right - client.left,
                                      client.bottom - client.top);
    return 0;
}

// ---- Statistics ----

int CGraphPlayer::AppendGraphStatistics(char* buffer, int size, int& used)
{
    if (!m_pGraph)
        return TP_ERR_INVALID_HANDLE;
    if (!m_pProcessor)
        return TP_ERR_NO_PROCESSOR_CUT;
    Held<IProcesserCut> cut(TpQuery<IProcesserCut>(m_pProcessor, IID_IProcesserCut));
    if (!cut)
        return TP_ERR_NO_PROCESSOR_CUT_INTERFACE;
    LONGLONG samples = 0, bytes = 0;
    cut->GetProcessStatistics(&samples, &bytes);
    char line[160];
    std::snprintf(line, sizeof line, "After Decoder--Samples:%" PRId64 ", Length:%" PRId64 "\r\n",
                  static_cast<int64_t>(samples), static_cast<int64_t>(bytes));
    if (int error = TpAppendLine(buffer, size, used, line))
        return error;

    Held<IBaseFilter> renderer(TpFindFilter(m_pGraph, kRendererName));
    if (!renderer)
        return TP_ERR_NO_RENDER;
    Held<IQualProp> quality(TpQuery<IQualProp>(renderer.get(), IID_IQualProp));
    if (!quality)
        return TP_ERR_NO_QUAL_PROP;
    int rate = 0, drawn = 0, dropped = 0;
    quality->get_AvgFrameRate(&rate);
    quality->get_FramesDrawn(&drawn);
    quality->get_FramesDroppedInRenderer(&dropped);
    std::snprintf(line, sizeof line, "Render--FrameRate:%.2f, Drawn:%d, Dropped:%d\r\n",
                  rate * 0.01, drawn, dropped);
    return TpAppendLine(buffer, size, used, line);
}

int CGraphPlayer::GetStatistics(char* buffer, int size)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    int used = 0;
    return AppendGraphStatistics(buffer, size, used);
}
