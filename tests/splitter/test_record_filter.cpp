// Record files through the splitter filter: the platform's "File Async
// Reader" upstream, the record-file parser the splitter picks for the stream,
// the kit's recording sinks on "Video Out" and "Audio Out". Every kind plays
// every frame in order and ends with the end-of-file event; the rates reach the
// parser through the video pin's IMediaPosition.
#include "CTarvoSplitterF.h"
#include "HiVoiceDec.h"
#include "ITarvoSplt.h"
#include "NWTestUtil.h"
#include "RecordIndexFile.h"
#include "RecordTestKit.h"
#include "TarvoGuids.h"
#include "TestKit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace rectest;
using tvdevsim::SimKind;

namespace {

class RecordFilterFixture : public TvComTest {
protected:
    void SetUp() override
    {
        TvComTest::SetUp();
        ASSERT_EQ(m_graph.Create(), S_OK);
        m_reader = CreateInstance<IBaseFilter>(CLSID_AsyncReader, IID_IBaseFilter);
        m_splitter = CreateInstance<IBaseFilter>(CLSID_TarvoSplitterF, IID_IBaseFilter);
        ASSERT_TRUE(m_reader && m_splitter);
        m_video = CTestSink::Create();
        m_video->SetKeepBytes(SIZE_MAX);
        m_audio = CTestSink::Create(MEDIATYPE_Audio);
        ASSERT_EQ(m_graph.Add(m_reader, L"File Async Reader"), S_OK);
        ASSERT_EQ(m_graph.Add(m_splitter, L"Tarvo Splt Filter"), S_OK);
        ASSERT_EQ(m_graph.Add(m_video, L"Video sink"), S_OK);
        ASSERT_EQ(m_graph.Add(m_audio, L"Audio sink"), S_OK);
    }

    void TearDown() override
    {
        if (m_graph.Control())
            m_graph.Control()->Stop();
        m_graph.Close();
        for (IUnknown* u : {static_cast<IUnknown*>(m_splitter), static_cast<IUnknown*>(m_reader),
                            static_cast<IUnknown*>(m_video), static_cast<IUnknown*>(m_audio)}) {
            if (u)
                u->Release();
        }
        TvComTest::TearDown();
    }

    // Writes the record file and connects reader, splitter and sinks; the
    // splitter delivers without pacing.
    void Open(const std::vector<uint8_t>& bytes, const std::string& name)
    {
        m_path = m_dir.Path(name);
        ASSERT_TRUE(WriteWholeFile(m_path, bytes));
        IFileSourceFilter* file = Query<IFileSourceFilter>(m_reader, IID_IFileSourceFilter);
        ASSERT_NE(file, nullptr);
        const std::wstring wide(m_path.begin(), m_path.end());
        const HRESULT hr = file->Load(wide.c_str(), nullptr);
        file->Release();
        ASSERT_EQ(hr, S_OK);
        ASSERT_EQ(m_graph.Connect(m_reader, nullptr, m_splitter, L"Input"), S_OK);
        ASSERT_EQ(m_graph.Connect(m_splitter, L"Video Out", m_video, nullptr), S_OK);
        // Streams without audio still offer the pin; a sink that takes any
        // audio type is connected where it can be.
        m_graph.Connect(m_splitter, L"Audio Out", m_audio, nullptr);
        ITarvoSplt* splt = Query<ITarvoSplt>(m_splitter, IID_ITarvoSplt);
        ASSERT_NE(splt, nullptr);
        EXPECT_EQ(splt->SetNoWait(1), S_OK);
        splt->Release();
    }

    IMediaPosition* VideoPosition()
    {
        IPin* video = FindPin(m_splitter, PINDIR_OUTPUT, L"Video Out");
        IMediaPosition* position = Query<IMediaPosition>(video, IID_IMediaPosition);
        video->Release();
        return position;
    }

    // Runs until the splitter reports the end of the file (false when it does
    // not within the safety time-out).
    bool RunToEndOfFile()
    {
        if (FAILED(m_graph.Control()->Run()))
            return false;
        LONG_PTR param = 0;
        for (LONG code; (code = m_graph.NextEvent(20000, &param)) != 0;) {
            if (code == EC_USER && param == kSplitterEventEndOfFile)
                return true;
        }
        return false;
    }

    // The video bytes of every sample, one entry per sample.
    std::vector<std::vector<uint8_t>> Delivered()
    {
        std::vector<std::vector<uint8_t>> out;
        for (const TvStreamEvent& e : m_video->Samples())
            out.push_back(e.bytes);
        return out;
    }

    TempDir m_dir;
    std::string m_path;
    TvFilterGraph m_graph;
    IBaseFilter* m_reader = nullptr;
    IBaseFilter* m_splitter = nullptr;
    CTestSink* m_video = nullptr;
    CTestSink* m_audio = nullptr;
};

class RecordFilterKindTest : public RecordFilterFixture,
                             public testing::WithParamInterface<RecordKind> {};

} // namespace

// Each kind: every frame as the simulator wrote it, in order, one per sample,
// then EC_USER 10001; the index file is written once the index is complete.
TEST_P(RecordFilterKindTest, PlaysEveryFrameInOrder)
{
    const RecordKind& c = GetParam();
    const RecordedStream r = Record(c.kind, c.kind == SimKind::Jp2kFields ? 20 : 40);
    Open(r.bytes, std::string("clip") + c.extension);
    ASSERT_TRUE(RunToEndOfFile());
    const std::vector<std::vector<uint8_t>> got = Delivered();
    ASSERT_EQ(got.size(), r.frames.size());
    for (size_t i = 0; i < got.size(); ++i)
        ASSERT_EQ(got[i], r.frames[i]) << "frame " << i;
    m_graph.Control()->Stop();
    EXPECT_TRUE(
        nwtest::WaitFor([&] { return !ReadWholeFile(MakeRecordIndexName(m_path)).empty(); }));
}

INSTANTIATE_TEST_SUITE_P(Kinds, RecordFilterKindTest, testing::ValuesIn(kRecordKinds),
                         RecordKindName);

// A device recording's voice frames come out of "Audio Out" as the device
// voice decoder's PCM, frame after frame: the module installs the decoder for
// its own parsers (this program's parser tests install a stand-in in theirs,
// which the module does not see).
TEST_F(RecordFilterFixture, DeviceVoicePlaysThroughTheModulesDecoder)
{
    const RecordedStream r = Record(SimKind::Device40, 40);
    ASSERT_FALSE(r.audioFrames.empty());
    std::vector<uint8_t> expected;
    HI_VOICE_DEC_STATE state;
    ASSERT_EQ(HI_VOICE_DecReset(&state, HI_VOICE_RESET_DECODE), HI_VOICE_OK);
    for (const std::vector<uint8_t>& payload : r.audioFrames) {
        int16_t pcm[HI_VOICE_MAX_FRAME_SAMPLES];
        uint32_t count = HI_VOICE_MAX_FRAME_SAMPLES;
        ASSERT_EQ(
            HI_VOICE_DecodeFrame(&state, payload.data(), uint32_t(payload.size()), pcm, &count),
            HI_VOICE_OK);
        const auto* bytes = reinterpret_cast<const uint8_t*>(pcm);
        expected.insert(expected.end(), bytes, bytes + 2 * count);
    }
    m_audio->SetKeepBytes(SIZE_MAX);
    Open(r.bytes, "voice.tvx");
    ASSERT_TRUE(m_audio->InputPin()->IsConnected());
    ASSERT_TRUE(RunToEndOfFile());
    // The audio pin delivers from a thread of its own: the end of the file
    // may be reported before its last samples are out.
    nwtest::WaitFor([&] { return m_audio->ByteCount() >= expected.size(); });
    const std::string got = m_audio->Bytes();
    EXPECT_EQ(std::vector<uint8_t>(got.begin(), got.end()), expected);
}

// Rate 22 through IMediaPosition plays key frames only; rate -1 then plays
// the key frames backwards from the end.
TEST_F(RecordFilterFixture, RatesReachTheParser)
{
    const RecordedStream r = Record(SimKind::Device40, 100); // GOP 25: four key frames
    Open(r.bytes, "rates.tvx");
    // The rate needs the GOP length: wait for the index (its file).
    ASSERT_TRUE(RunToEndOfFile());
    ASSERT_TRUE(
        nwtest::WaitFor([&] { return !ReadWholeFile(MakeRecordIndexName(m_path)).empty(); }));
    m_graph.Control()->Stop();
    m_video->ClearEvents();

    IMediaPosition* position = VideoPosition();
    ASSERT_NE(position, nullptr);
    EXPECT_EQ(position->put_CurrentPosition(0), S_OK);
    EXPECT_EQ(position->put_Rate(22), S_OK);
    ASSERT_TRUE(RunToEndOfFile());
    std::vector<std::vector<uint8_t>> keys;
    for (size_t i = 0; i < r.frames.size(); ++i) {
        if (r.keys[i])
            keys.push_back(r.frames[i]);
    }
    EXPECT_EQ(Delivered(), keys);

    m_graph.Control()->Stop();
    m_video->ClearEvents();
    EXPECT_EQ(position->put_Rate(-1), S_OK);
    position->Release();
    // Reverse play reports no end: it stops after the first key frame.
    ASSERT_TRUE(SUCCEEDED(m_graph.Control()->Run()));
    ASSERT_TRUE(m_video->WaitForSamples(keys.size()));
    EXPECT_EQ(Delivered(), std::vector<std::vector<uint8_t>>(keys.rbegin(), keys.rend()));
}
