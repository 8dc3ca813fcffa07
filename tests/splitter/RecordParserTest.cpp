// The record-file parsers on files the device simulator wrote: the frame index
// (built, written, loaded, rebuilt), every frame in order with its audio,
// seeking, trick play and reverse play, and the faults a file can have.
#include "CBaseParserIndex.h"
#include "CodecKind.h"
#include "ContainerKind.h"
#include "RecordIndexFile.h"
#include "RecordTestKit.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace rectest;
using tvdevsim::SimKind;

namespace {

struct KindCase {
    SimKind kind;
    const char* extension;
    int32_t codecKind;
    int32_t containerKind;
};

const KindCase kKinds[] = {
    {SimKind::Device40, ".tvx", CodecDeviceH264, ContainerRaw},
    {SimKind::Device36, ".tvx", CodecDeviceH264, ContainerRaw},
    {SimKind::DeviceFieldD1, ".tvx", CodecDeviceH264, ContainerRaw},
    {SimKind::Jp2kFields, ".tmj2", CodecJP2K, ContainerRaw},
    {SimKind::QBoxH264, ".tavc", CodecHDH264, ContainerQBox},
    {SimKind::QBoxMjpeg, ".tvx", CodecMjpeg, ContainerQBox},
    {SimKind::QBoxMjpegInterlaced, ".tvx", CodecMjpeg, ContainerQBox},
    {SimKind::TsMpeg2, ".tvx2", CodecMpeg2, ContainerTransport},
    {SimKind::TsMpeg4, ".tvx4", CodecMpeg4, ContainerTransport},
    {SimKind::TsH264, ".t264", CodecDeviceH264, ContainerTransport},
    {SimKind::Ts192H264, ".tavc", CodecHDH264, ContainerTransport},
    {SimKind::EsMpeg2, ".tvx2", CodecMpeg2, ContainerRaw},
    {SimKind::EsMpeg4, ".tvx4", CodecMpeg4, ContainerRaw},
    {SimKind::EsH264, ".t264", CodecDeviceH264, ContainerRaw},
};

// The audio bytes frame i should carry.
std::vector<uint8_t> ExpectedAudio(const RecordedStream& r, SimKind kind, size_t frame)
{
    std::vector<uint8_t> audio;
    for (size_t a = 0; a < r.audioFrames.size(); ++a) {
        if (r.audioAfterFrame[a] != static_cast<int>(frame))
            continue;
        if (kind == SimKind::QBoxH264) {
            // ADTS: 7 header bytes, then the raw frame.
            const size_t length = r.audioFrames[a].size() + 7;
            const uint8_t head[7] = {0xFF,
                                     0xF1,
                                     0x4C, // AAC LC, 48000 Hz
                                     static_cast<uint8_t>(0x80 | ((length >> 11) & 3)),
                                     static_cast<uint8_t>(length >> 3),
                                     static_cast<uint8_t>(((length << 5) | 0x1F) & 0xFF),
                                     0xFC};
            audio.insert(audio.end(), head, head + 7);
            audio.insert(audio.end(), r.audioFrames[a].begin(), r.audioFrames[a].end());
        } else {
            std::vector<uint8_t> pcm = TestVoicePcm(r.audioFrames[a]);
            audio.insert(audio.end(), pcm.begin(), pcm.end());
        }
    }
    return audio;
}

class RecordKindTest : public testing::TestWithParam<KindCase> {};

} // namespace

// Each kind opens, builds its index on the index thread, plays every frame in
// order as the simulator wrote it (with the frame's audio), writes the index
// file, and a second open loads that file and plays the same frames.
TEST_P(RecordKindTest, PlaysEveryFrameInOrderFromBuiltAndLoadedIndex)
{
    const KindCase& c = GetParam();
    ScopedTestVoiceDecoder voice;
    const int frames = c.kind == SimKind::Jp2kFields ? 30 : 60;
    RecordedStream r = Record(c.kind, frames);
    ASSERT_EQ(r.frames.size(), static_cast<size_t>(frames));
    const bool audio = c.kind == SimKind::QBoxH264 || c.codecKind == CodecDeviceH264;
    if (audio && c.containerKind == ContainerRaw)
        ASSERT_FALSE(r.audioFrames.empty());
    TempDir dir;
    const std::string path = dir.Path(std::string("clip") + c.extension);
    ASSERT_TRUE(WriteWholeFile(path, r.bytes));

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round == 0 ? "built index" : "loaded index");
        CTestFileReader* reader = nullptr;
        std::unique_ptr<CBaseParser> parser = OpenParser(path, reader);
        ASSERT_TRUE(parser);
        EXPECT_EQ(parser->GetCodecKind(), c.codecKind);
        if (c.containerKind == ContainerRaw)
            EXPECT_TRUE(IsRawContainer(parser->GetContainerKind()));
        else
            EXPECT_EQ(parser->GetContainerKind(), c.containerKind);
        auto& indexed = static_cast<CBaseParserIndex&>(*parser);
        EXPECT_EQ(indexed.Source(), round == 0 ? CBaseParserIndex::IndexSource::Built
                                               : CBaseParserIndex::IndexSource::Loaded);
        WaitForIndex(*parser);
        ASSERT_EQ(indexed.FrameCount(), frames);
        ReadFrames got = ReadAll(*parser);
        ASSERT_EQ(got.video.size(), r.frames.size());
        for (size_t i = 0; i < r.frames.size(); ++i) {
            ASSERT_EQ(got.video[i], r.frames[i]) << "frame " << i;
            EXPECT_EQ(got.types[i] == 1, r.keys[i]) << "frame " << i;
            if (audio) {
                EXPECT_EQ(got.audio[i], ExpectedAudio(r, c.kind, i)) << "frame " << i;
            }
        }
        EXPECT_EQ(indexed.GopLength(),
                  c.codecKind == CodecJP2K || c.codecKind == CodecMjpeg ? 1 : 25);
        parser.reset();
        EXPECT_EQ(reader->References(), 1);
        reader->Release();
    }
    EXPECT_FALSE(ReadWholeFile(MakeRecordIndexName(path)).empty());
}

std::string KindTestName(const testing::TestParamInfo<KindCase>& info)
{
    std::string name = tvdevsim::KindName(info.param.kind);
    for (char& ch : name)
        ch = isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Kinds, RecordKindTest, testing::ValuesIn(kKinds), KindTestName);
