// Every stream kind of the device simulator through its whole chain, as the
// player plays it: the network source fed over UDP on 127.0.0.1, the splitter,
// and behind "Video Out" the chain its IStreamBuilder builds from the
// registry's filters (decoder, colour-space converters, deinterlacer, frame
// processor) into the video renderer, which draws offscreen into a virtual
// window the stream's size. The picture it shows last must be the
// simulator's drawing of one of the last frames sent, told apart from the
// frames around it by the frame number on its plate. The kinds with sound
// also render "Audio Out" into the DirectSound renderer playing into a
// private PulseAudio server, whose null sink must play the simulator's tone
// while the pictures go on.
#include "CTestPulseServer.h"
#include "TestPattern.h"
#include "SplitterGraphFixture.h"
#include "ToneCheck.h"
#include "TvPictures.h"

#include "win32/window.h"

#include <dvdmedia.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace tvdevsim;

namespace {

constexpr int kClipFrames = 50;
constexpr int kToneHz = 440;

// Luma of a B, G, R pixel in the studio range the simulator draws in.
double Luma(const uint8_t* bgrx)
{
    return 16.0 + (65.738 * bgrx[2] + 129.057 * bgrx[1] + 25.064 * bgrx[0]) / 256.0;
}

// PSNR in dB of the picture's luma over the frame number's digits against
// the simulator's drawing of frame (the plate's white margin is left out:
// the JPEG 2000 chain's caption overlay covers part of it). The picture may
// be scaled: drawing pixel (x, y) is compared with the picture's pixel at the
// same place.
double DigitsPsnr(const Picture& picture, int width, int height, int64_t frame)
{
    YuvPicture want;
    DrawTestPattern(want, width, height, frame, false);
    const PatternRect plate = FrameNumberPlate(width, height);
    const int gap = 2 * std::max(1, height / 72);
    double se = 0;
    int n = 0;
    for (int y = plate.y + gap; y < plate.y + plate.height - gap; ++y)
        for (int x = plate.x + gap; x < plate.x + plate.width - gap; ++x) {
            const double d = Luma(picture.At(x, y)) - want.y[size_t(y) * size_t(width) + size_t(x)];
            se += d * d;
            ++n;
        }
    return 10 * std::log10(255.0 * 255.0 / std::max(n ? se / n : 0.0, 1e-9));
}

// The frame whose number the picture shows: the best match among the frames
// sent, which must be close to its drawing and clearly closer than to the
// drawings of the frames beside it; -1 (with a failure) otherwise.
int64_t ShownFrame(const Picture& picture, int width, int height, int frames)
{
    std::vector<double> psnr(size_t(frames) + 1);
    for (int f = 0; f <= frames; ++f)
        psnr[size_t(f)] = DigitsPsnr(picture, width, height, f);
    const auto best = std::max_element(psnr.begin(), psnr.end() - 1);
    const int64_t frame = best - psnr.begin();
    EXPECT_GT(*best, 20.0) << "the picture shows no frame number sent (best: frame " << frame
                           << ")";
    for (int64_t other : {frame - 1, frame + 1})
        if (other >= 0) {
            EXPECT_GT(*best, psnr[size_t(other)] + 3.0)
                << "frame " << frame << " is not told apart from frame " << other;
        }
    return *best > 20.0 ? frame : -1;
}

// "name [type WxH] -> name ...": the chain behind pin, for failure messages.
std::string DescribeChain(IPin* pin)
{
    std::string text;
    if (pin)
        pin->AddRef();
    while (pin) {
        IPin* peer = nullptr;
        AM_MEDIA_TYPE mt{};
        if (FAILED(pin->ConnectedTo(&peer)) || !peer || FAILED(pin->ConnectionMediaType(&mt))) {
            if (peer)
                peer->Release();
            break;
        }
        char type[64];
        const DWORD fourcc = mt.subtype.Data1;
        LONG w = 0, h = 0;
        if ((mt.formattype == FORMAT_VideoInfo || mt.formattype == FORMAT_VideoInfo2 ||
             mt.formattype == FORMAT_MPEG2Video) &&
            mt.pbFormat) {
            const BITMAPINFOHEADER* bmi =
                mt.formattype == FORMAT_VideoInfo
                    ? &reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat)->bmiHeader
                    : &reinterpret_cast<const VIDEOINFOHEADER2*>(mt.pbFormat)->bmiHeader;
            w = bmi->biWidth;
            h = bmi->biHeight;
        }
        std::snprintf(type, sizeof type, " [%08lx %ldx%ld] -> ", static_cast<unsigned long>(fourcc),
                      static_cast<long>(w), static_cast<long>(h));
        FreeMediaType(mt);
        PIN_INFO info{};
        peer->QueryPinInfo(&info);
        peer->Release();
        pin->Release();
        pin = nullptr;
        text += type;
        if (!info.pFilter)
            break;
        FILTER_INFO fi{};
        info.pFilter->QueryFilterInfo(&fi);
        if (fi.pGraph)
            fi.pGraph->Release();
        for (const wchar_t* c = fi.achName; *c; ++c)
            text += static_cast<char>(*c);
        pin = FindPin(info.pFilter, PINDIR_OUTPUT);
        info.pFilter->Release();
    }
    if (pin)
        pin->Release();
    return text;
}

struct ChainCase {
    SimKind kind;
    VoiceCodec codec = VoiceCodec::MuLaw;
    const char* name = nullptr; // the case's own name, else the kind's
};

class ChainTest : public SplitterGraphFixture {
protected:
    void TearDown() override
    {
        if (m_graph.Control())
            m_graph.Control()->Stop();
        if (m_renderer)
            m_renderer->Release();
        // The builder holds its filters until Backout.
        if (IPin* video = FindPin(m_splitter, PINDIR_OUTPUT, L"Video Out")) {
            if (IStreamBuilder* builder = Query<IStreamBuilder>(video, IID_IStreamBuilder)) {
                builder->Backout(video, m_graph.Builder());
                builder->Release();
            }
            video->Release();
        }
        if (m_window)
            DestroyWindow(m_window);
        SplitterGraphFixture::TearDown();
    }

    SimConfig ClipOf(const ChainCase& c, int frames)
    {
        SimConfig config = Clip(c.kind, frames);
        config.stream.voiceCodec = c.codec;
        config.stream.toneHz = kToneHz;
        return config;
    }

    // The picture size the simulator draws for the case.
    static void DrawnSize(const SimConfig& config, int* width, int* height)
    {
        *width = config.stream.width;
        *height = config.stream.height;
        if (!*width)
            DefaultPictureSize(config.stream.kind, *width, *height);
    }

    // The pin's own chain, as the player renders it; the result of Render.
    HRESULT RenderPin(const wchar_t* name)
    {
        IPin* pin = FindPin(m_splitter, PINDIR_OUTPUT, name);
        IStreamBuilder* builder = Query<IStreamBuilder>(pin, IID_IStreamBuilder);
        const HRESULT hr = builder ? builder->Render(pin, m_graph.Builder()) : E_NOINTERFACE;
        if (builder)
            builder->Release();
        if (pin)
            pin->Release();
        return hr;
    }

    // Renders "Video Out" and puts the renderer into a virtual window of the
    // size of the video it gets, as the player puts it into the caller's
    // window: the picture is shown unscaled.
    void RenderVideo()
    {
        ASSERT_EQ(RenderPin(L"Video Out"), S_OK);
        ASSERT_EQ(m_graph.Builder()->FindFilterByName(L"Render", &m_renderer), S_OK);
        IBasicVideo* video = Query<IBasicVideo>(m_renderer, IID_IBasicVideo);
        ASSERT_NE(video, nullptr);
        LONG width = 0, height = 0;
        EXPECT_EQ(video->GetVideoSize(&width, &height), S_OK);
        video->Release();
        m_window = TvCreateVirtualWindow(width, height);
        IVideoWindow* window = Query<IVideoWindow>(m_renderer, IID_IVideoWindow);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(window->put_Owner(reinterpret_cast<OAHWND>(m_window)), S_OK);
        EXPECT_EQ(window->put_WindowStyle(0x46000000), S_OK); // WS_CHILD | WS_CLIPSIBLINGS
        EXPECT_EQ(window->SetWindowPosition(0, 0, width, height), S_OK);
        window->Release();
    }

    // Once the clip has gone out: waits until the renderer has shown pictures
    // and has shown no new one for a while (what the chain still held has
    // come out, however slowly it works), then takes the last picture.
    Picture SettledPicture()
    {
        EXPECT_TRUE(nwtest::WaitFor([&] { return FramesPresented(m_renderer) > 0; }))
            << "no picture reached the renderer";
        LONGLONG shown = -1;
        for (int i = 0, still = 0; i < 200 && still < 5; ++i) {
            const LONGLONG now = FramesPresented(m_renderer);
            still = now == shown ? still + 1 : 0;
            shown = now;
            Sleep(300);
        }
        return Snapshot(m_renderer);
    }

    IBaseFilter* m_renderer = nullptr;
    HWND m_window = 0;
};

std::string CaseName(const ::testing::TestParamInfo<ChainCase>& info)
{
    std::string name = info.param.name ? info.param.name : KindName(info.param.kind);
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

// ---- Pictures: every kind ----

class VideoChainTest : public ChainTest, public ::testing::WithParamInterface<ChainCase> {};

std::vector<ChainCase> EveryKind()
{
    std::vector<ChainCase> cases;
    for (SimKind kind : kAllKinds)
        cases.push_back({kind});
    return cases;
}

TEST_P(VideoChainTest, ShowsTheFrameNumberOfTheLastFramesSent)
{
    const SimConfig clip = ClipOf(GetParam(), kClipFrames);
    int width = 0, height = 0;
    DrawnSize(clip, &width, &height);
    LearnTheStream(ClipOf(GetParam(), 0));
    RenderVideo();
    ASSERT_TRUE(SUCCEEDED(m_graph.Control()->Run()));
    SendClip(clip);
    const Picture picture = SettledPicture();
    IPin* videoOut = FindPin(m_splitter, PINDIR_OUTPUT, L"Video Out");
    SCOPED_TRACE("Video Out" + DescribeChain(videoOut));
    videoOut->Release();
    ASSERT_EQ(picture.hr, S_OK);
    // HD streams keep the 1920 x 1080 frame they are announced with: the
    // picture is at its top left.
    ASSERT_GE(picture.width, width);
    ASSERT_GE(picture.height, height);
    const int64_t frame = ShownFrame(picture, width, height, kClipFrames);
    // The splitter keeps the last frame until another one follows it, and
    // the field-coded D1 stream's decoder and deinterlacer a few more.
    EXPECT_GE(frame, kClipFrames - 6) << "the chain fell behind the stream";
}

INSTANTIATE_TEST_SUITE_P(EveryKind, VideoChainTest, ::testing::ValuesIn(EveryKind()), CaseName);

// ---- Pictures and sound ----

CTestPulseServer g_pulse;

class SoundChainTest : public ChainTest, public ::testing::WithParamInterface<ChainCase> {
protected:
    static void TearDownTestSuite() { g_pulse.Shutdown(); }
};

const ChainCase kSoundCases[] = {
    {SimKind::Device40, VoiceCodec::MuLaw, "device40_mulaw"},
    {SimKind::Device36, VoiceCodec::ALaw, "device36_alaw"},
    {SimKind::Device40, VoiceCodec::ImaAdpcm, "device40_ima_adpcm"},
    {SimKind::QBoxH264, VoiceCodec::MuLaw, "qbox_h264_aac"},
};

TEST_P(SoundChainTest, PlaysTheToneBesideThePictures)
{
    const std::string why = g_pulse.Start();
    if (!why.empty())
        GTEST_SKIP() << "no private PulseAudio server: " << why;
    const std::string recording = g_pulse.Recording();
    if (recording.empty())
        GTEST_SKIP() << "parec is not installed";
    unsetenv("TARVO_AUDIO");

    const SimConfig clip = ClipOf(GetParam(), 100); // 4 s of sound
    int width = 0, height = 0;
    DrawnSize(clip, &width, &height);
    LearnTheStream(ClipOf(GetParam(), 0));
    RenderVideo();
    ASSERT_EQ(RenderPin(L"Audio Out"), S_OK);
    IBaseFilter* sound = nullptr;
    ASSERT_EQ(m_graph.Builder()->FindFilterByName(L"DirectSound Device", &sound), S_OK);
    sound->Release();
    ASSERT_TRUE(SUCCEEDED(m_graph.Control()->Run()));
    const size_t from = TvReadFile(recording).size() / 4 * 4;

    SendClip(clip);
    const Picture picture = SettledPicture();
    // What is still in the renderer's and the server's buffers has played out.
    EXPECT_EQ(m_graph.Control()->Stop(), S_OK);
    ASSERT_EQ(picture.hr, S_OK);
    ShownFrame(picture, width, height, clip.frames);

    const std::vector<int16_t> left = OneChannelOfBytes(TvReadFile(recording).substr(from), 2, 0);
    ASSERT_GE(left.size(), 8000u * 2) << "the recorder ran for the clip";
    EXPECT_NEAR(StrongestFrequency(left, 8000, 100, 3000, 5), kToneHz, 5);
    EXPECT_GT(GoertzelPower(left, kToneHz, 8000), 100 * GoertzelPower(left, 1500, 8000));
}

INSTANTIATE_TEST_SUITE_P(EverySoundKind, SoundChainTest, ::testing::ValuesIn(kSoundCases),
                         CaseName);

} // namespace
