// The DirectSound renderer: the types it takes, IBasicAudio's rules, playing
// at the real rate through the null sink (no sound server in tests), end of
// stream after the sound has played, and Stop or flushing never waiting on a
// writer blocked in the sink.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "RendererTest.h"
#include "TvPictures.h"

namespace {

class AudioRendererTest : public RendererTest {
protected:
    void SetUp() override
    {
        // The tests play through the clocked null sink whatever the machine has.
        setenv("TARVO_AUDIO", "null", 1);
        RendererTest::SetUp();
        WrapRenderer(CLSID_DSoundRender, L"DirectSound Device");
    }
    void TearDown() override
    {
        RendererTest::TearDown();
        unsetenv("TARVO_AUDIO");
    }
};

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point t)
{
    return std::chrono::duration<double>(Clock::now() - t).count();
}

} // namespace

TEST_F(AudioRendererTest, IsARendererWithVolumeAndNoClockOfItsOwn)
{
    LPWSTR id = nullptr;
    ASSERT_EQ(m_input->QueryId(&id), S_OK);
    EXPECT_STREQ(id, L"Audio Input pin (rendered)");
    CoTaskMemFree(id);
    IAMFilterMiscFlags* flags = Query<IAMFilterMiscFlags>(m_renderer, IID_IAMFilterMiscFlags);
    ASSERT_NE(flags, nullptr);
    EXPECT_EQ(flags->GetMiscFlags(), ULONG(AM_FILTER_MISC_FLAGS_IS_RENDERER));
    flags->Release();
    EXPECT_EQ(Query<IReferenceClock>(m_renderer, IID_IReferenceClock), nullptr);
    EXPECT_EQ(Query<IVideoWindow>(m_renderer, IID_IVideoWindow), nullptr);
}

TEST_F(AudioRendererTest, Takes16BitPcmMonoOrStereoFrom8To48kHz)
{
    for (DWORD rate : {8000u, 11025u, 22050u, 44100u, 48000u}) {
        for (WORD channels : {1, 2}) {
            CMediaType mt = TvMakePcmType(rate, channels);
            EXPECT_EQ(m_input->QueryAccept(&mt), S_OK)
                << rate << " Hz, " << channels << " channels";
        }
    }
    CMediaType eightBit = TvMakePcmType(8000, 1, 8);
    CMediaType tooFast = TvMakePcmType(96000, 2);
    CMediaType tooSlow = TvMakePcmType(7999, 1);
    CMediaType surround = TvMakePcmType(48000, 6);
    CMediaType floats = TvMakePcmType(48000, 2, 32, WAVE_FORMAT_IEEE_FLOAT);
    CMediaType video = TvMakeYuy2Type(16, 16);
    for (CMediaType* mt : {&eightBit, &tooFast, &tooSlow, &surround, &floats, &video})
        EXPECT_EQ(m_input->QueryAccept(mt), S_FALSE);
}

TEST_F(AudioRendererTest, VolumeInHundredthsOfADecibel)
{
    IBasicAudio* audio = Query<IBasicAudio>(m_renderer, IID_IBasicAudio);
    ASSERT_NE(audio, nullptr);
    LONG v = 1;
    ASSERT_EQ(audio->get_Volume(&v), S_OK);
    EXPECT_EQ(v, 0) << "full volume at first";
    EXPECT_EQ(audio->put_Volume(-1500), S_OK); // what the player's 50 maps to
    EXPECT_EQ(audio->put_Volume(1), E_INVALIDARG) << "above 0 is refused";
    EXPECT_EQ(audio->put_Volume(-10001), E_INVALIDARG);
    ASSERT_EQ(audio->get_Volume(&v), S_OK);
    EXPECT_EQ(v, -1500) << "a refused value changes nothing";
    EXPECT_EQ(audio->put_Volume(-10000), S_OK);
    EXPECT_EQ(audio->put_Volume(0), S_OK);
    EXPECT_EQ(audio->get_Volume(nullptr), E_POINTER);

    EXPECT_EQ(audio->put_Balance(10000), S_OK);
    EXPECT_EQ(audio->put_Balance(-10000), S_OK);
    EXPECT_EQ(audio->put_Balance(10001), E_INVALIDARG);
    ASSERT_EQ(audio->get_Balance(&v), S_OK);
    EXPECT_EQ(v, -10000);
    audio->Release();
}

TEST_F(AudioRendererTest, PlaysAtTheRealRateAndCompletesWhenHeard)
{
    Connect(TvMakePcmType(8000, 1)); // 16000 bytes a second
    IBasicAudio* audio = Query<IBasicAudio>(m_renderer, IID_IBasicAudio);
    audio->put_Volume(-1500); // the scaled path
    audio->Release();
    Play();
    auto start = Clock::now();
    std::vector<uint8_t> chunk(2000, 0x10); // 1/8 s each
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(m_source->Deliver(chunk), S_OK);
    // Half a second was written into a sink that holds 200 ms: at least the
    // rest had to play first. Never sooner, however fast the machine.
    EXPECT_GE(SecondsSince(start), 0.25);
    ASSERT_EQ(m_source->DeliverEndOfStream(), S_OK);
    ASSERT_TRUE(m_graph->WaitForEvent(EC_COMPLETE));
    EXPECT_GE(SecondsSince(start), 0.45) << "complete only when all of it has played";
}

TEST_F(AudioRendererTest, StopAndFlushNeverWaitForTheSink)
{
    Connect(TvMakePcmType(8000, 1, 16, WAVE_FORMAT_PCM, 16000 * 30));
    Play();
    // Thirty seconds of sound in one sample: the writer blocks in the sink.
    auto writing = m_source->DeliverAsync(std::vector<uint8_t>(16000 * 30, 0));
    EXPECT_TRUE(StillBlocked(writing, 300));
    m_source->DeliverBeginFlush();
    EXPECT_EQ(Result(writing, E_FAIL), S_OK) << "flushing cut the write short";
    m_source->DeliverEndFlush();

    writing = m_source->DeliverAsync(std::vector<uint8_t>(16000 * 30, 0));
    EXPECT_TRUE(StillBlocked(writing, 300));
    ASSERT_EQ(m_renderer->Stop(), S_OK);
    Result(writing, E_FAIL); // returns long before thirty seconds
}

TEST_F(AudioRendererTest, PauseCompletesWithDataAndRunsOnFromIt)
{
    Connect(TvMakePcmType(8000, 1));
    ASSERT_EQ(m_renderer->Pause(), S_FALSE);
    m_source->Pause();
    auto held = m_source->DeliverAsync(std::vector<uint8_t>(800, 0));
    FILTER_STATE state;
    EXPECT_EQ(m_renderer->GetState(10000, &state), S_OK);
    EXPECT_EQ(state, State_Paused);
    EXPECT_TRUE(StillBlocked(held));
    m_renderer->Run(0);
    m_source->Run(0);
    EXPECT_EQ(Result(held, E_FAIL), S_OK);
}
