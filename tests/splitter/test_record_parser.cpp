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

class RecordKindTest : public testing::TestWithParam<RecordKind> {};

} // namespace

// Each kind opens, builds its index on the index thread, plays every frame in
// order as the simulator wrote it (with the frame's audio), writes the index
// file, and a second open loads that file and plays the same frames.
TEST_P(RecordKindTest, PlaysEveryFrameInOrderFromBuiltAndLoadedIndex)
{
    const RecordKind& c = GetParam();
    ScopedTestVoiceDecoder voice;
    const int frames = c.kind == SimKind::Jp2kFields ? 30 : 60;
    RecordedStream r = Record(c.kind, frames);
    ASSERT_EQ(r.frames.size(), static_cast<size_t>(frames));
    const bool audio = c.kind == SimKind::QBoxH264 || c.kind == SimKind::Device40 ||
                       c.kind == SimKind::Device36 || c.kind == SimKind::DeviceFieldD1;
    if (audio) {
        ASSERT_FALSE(r.audioFrames.empty());
    }
    TempDir dir;
    const std::string path = dir.Path(std::string("clip") + c.extension);
    ASSERT_TRUE(WriteWholeFile(path, r.bytes));

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round == 0 ? "built index" : "loaded index");
        CTestFileReader* reader = nullptr;
        std::unique_ptr<CBaseParser> parser = OpenParser(path, reader);
        ASSERT_TRUE(parser);
        EXPECT_EQ(parser->GetCodecKind(), c.codecKind);
        if (c.containerKind == ContainerRaw) {
            EXPECT_TRUE(IsRawContainer(parser->GetContainerKind()));
        } else {
            EXPECT_EQ(parser->GetContainerKind(), c.containerKind);
        }
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

INSTANTIATE_TEST_SUITE_P(Kinds, RecordKindTest, testing::ValuesIn(kRecordKinds), RecordKindName);

namespace {

// Frame indices of what was read, from the timestamps (index x duration).
std::vector<int64_t> FrameIndices(const ReadFrames& frames, int64_t duration)
{
    std::vector<int64_t> indices;
    for (int64_t t : frames.timestamps)
        indices.push_back(t / duration);
    return indices;
}

std::vector<int64_t> Range(int64_t from, int64_t to, int64_t step = 1)
{
    std::vector<int64_t> v;
    for (int64_t i = from; step > 0 ? i < to : i > to; i += step)
        v.push_back(i);
    return v;
}

// A record file of the kind, opened, its index complete.
struct OpenRecord {
    TempDir dir;
    std::string path;
    CTestFileReader* reader = nullptr;
    std::unique_ptr<CBaseParser> parser;

    OpenRecord(const std::vector<uint8_t>& bytes, const char* name)
    {
        path = dir.Path(name);
        EXPECT_TRUE(WriteWholeFile(path, bytes));
        parser = OpenParser(path, reader);
        EXPECT_TRUE(parser);
        if (parser)
            WaitForIndex(*parser);
    }
    ~OpenRecord()
    {
        parser.reset();
        if (reader)
            reader->Release();
    }
    CBaseParserIndex& Index() { return static_cast<CBaseParserIndex&>(*parser); }
};

} // namespace

// Seeking by time lands on the key frame that starts the GOP holding the
// target frame; times beyond the frames fail and leave the position alone.
TEST(RecordSeekTest, SeeksToTheKeyFrameStartingTheGop)
{
    OpenRecord rec(Record(SimKind::Device40, 60).bytes, "seek.tvx");
    ASSERT_TRUE(rec.parser);
    EXPECT_EQ(rec.parser->GetDuration(), 60 * 400000 / 10);
    struct Case {
        int64_t us;
        int result;
        int64_t firstFrame; // read after the seek
    };
    const Case cases[] = {
        {0, 0, 0},
        {39999, 0, 0},
        {1000000, 0, 25},
        {1480000, 0, 25},
        {1999999, 0, 25},
        {2000000, 0, 50},
        {2400000, 0, 50},
        {2440000, -1, 50}, // beyond the frames: the position
                           // stays where it was
        {-400000, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.us);
        EXPECT_EQ(rec.parser->SeekTime(c.us), c.result);
        EXPECT_EQ(rec.parser->GetPosition(), c.firstFrame * 400000);
        ParsedFrame* f = rec.parser->ReadNextFrame();
        ASSERT_TRUE(f);
        EXPECT_EQ(f->timestamp, c.firstFrame * 400000);
        EXPECT_EQ(f->frameType, 1);
        EXPECT_EQ(rec.parser->SeekTime(c.firstFrame * 40000), 0); // back to that key frame
    }
}

// Rates on a stream without B frames (G = 25, 24 P): below 0.1 and above -0.5
// ignored, up to 1.x every frame, from 2 on key frames only (dropping 12 of 25
// frames cannot be done with P frames), every k-th from 22 k on; negative rates
// play backwards through key frames.
TEST(RecordRateTest, RatesOnAGopOfPFrames)
{
    OpenRecord rec(Record(SimKind::Device40, 100).bytes, "rates.tvx");
    ASSERT_TRUE(rec.parser);
    ASSERT_EQ(rec.Index().BFramesPerGop(), 0);
    ASSERT_EQ(rec.Index().PFramesPerGop(), 24);
    struct Case {
        double rate;
        double rateAfter;
        bool forward;
        std::vector<int64_t> frames;
    };
    const Case cases[] = {
        {0.3, 0.3, true, Range(0, 100)},      {-0.4, 1.0, true, Range(0, 100)},
        {1.5, 1.5, true, Range(0, 100)},      {2.0, 2.0, true, {0, 25, 50, 75}},
        {22.0, 22.0, true, {0, 25, 50, 75}},  {44.0, 44.0, true, {0, 50}},
        {-1.0, -1.0, false, {75, 50, 25, 0}}, {-44.0, -44.0, false, {75, 25}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        rec.parser->Reset();
        rec.parser->SetRate(c.rate);
        EXPECT_EQ(rec.parser->GetRate(), c.rateAfter);
        EXPECT_EQ(rec.parser->SeekTime(c.forward ? 0 : 3960000), 0);
        ReadFrames got = ReadAll(*rec.parser, c.forward);
        EXPECT_EQ(FrameIndices(got, 400000), c.frames);
    }
}

// With G = 25 and B = 16 (I, then P B B eight times): rate 2 drops 12 frames per
// GOP by keeping one B frame in 4; 3 drops all B frames; 4 and up to 21 also
// the last P frame; 22 plays key frames only.
TEST(RecordRateTest, DropsBFramesByIntervalThenTheLastPFrame)
{
    const std::vector<int> types = IbbpTypes(4);
    OpenRecord rec(BuildMpeg2Stream(types, 200), "ibbp.tvx2");
    ASSERT_TRUE(rec.parser);
    ASSERT_EQ(rec.Index().FrameCount(), 100);
    ASSERT_EQ(rec.Index().GopLength(), 25);
    ASSERT_EQ(rec.Index().BFramesPerGop(), 16);
    ASSERT_EQ(rec.Index().PFramesPerGop(), 8);
    struct Case {
        double rate;
        int perGop;     // frames played per GOP
        int bPerGop;    // of which B frames
        bool lastPKept; // the GOP's eighth P frame
    };
    const Case cases[] = {
        {1.0, 25, 16, true}, {2.0, 13, 4, true},  {3.0, 9, 0, true},
        {4.0, 8, 0, false},  {21.0, 8, 0, false}, {22.0, 1, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        rec.parser->Reset();
        rec.parser->SetRate(c.rate);
        ASSERT_EQ(rec.parser->SeekTime(0), 0);
        ReadFrames got = ReadAll(*rec.parser);
        EXPECT_EQ(got.video.size(), static_cast<size_t>(4 * c.perGop));
        std::vector<int64_t> indices = FrameIndices(got, 400000);
        int b = 0, lastP = 0;
        for (int64_t i : indices) {
            b += types[i] == 3 ? 1 : 0;
            lastP += i % 25 == 22 ? 1 : 0; // the GOP's last P frame
        }
        EXPECT_EQ(b, 4 * c.bPerGop);
        EXPECT_EQ(lastP, c.lastPKept ? 4 : 0);
        if (c.rate == 2.0) { // I, P, then every fourth B frame of the GOP
            EXPECT_EQ(std::vector<int64_t>(indices.begin(), indices.begin() + 6),
                      (std::vector<int64_t>{0, 1, 4, 6, 7, 10}));
        }
    }
}

namespace {

using IndexDamage = void (*)(std::vector<uint8_t>& index);

struct DamageCase {
    const char* name;
    IndexDamage damage;
    const char* message;
};

void StoredLengthOneOff(std::vector<uint8_t>& idx)
{
    idx[4] += 1;
}
void NoEntries(std::vector<uint8_t>& idx)
{
    std::fill(idx.begin() + 16, idx.begin() + 20, 0);
}
void ShortHeader(std::vector<uint8_t>& idx)
{
    idx.resize(51);
}
void ForeignMagic(std::vector<uint8_t>& idx)
{
    idx[3] = '1';
}
void NoGop(std::vector<uint8_t>& idx)
{
    std::fill(idx.begin() + 20, idx.begin() + 24, 0);
}
void ShortTables(std::vector<uint8_t>& idx)
{
    idx.resize(idx.size() - 1);
}
void PositionBeyondFile(std::vector<uint8_t>& idx)
{
    idx[52 + 8 * 3 + 6] = 0x7F;
}
void OtherCodec(std::vector<uint8_t>& idx)
{
    idx[44] = 1;
}

const DamageCase kDamage[] = {
    {"length one byte off", StoredLengthOneOff, "视频文件与索引文件长度不对应"},
    {"n = 0", NoEntries, "索引文件帧数错误"},
    {"51 bytes", ShortHeader, "索引文件长度太短"},
    {"magic", ForeignMagic, "非法的索引"},
    {"GOP 0", NoGop, "GOP 大小错误"},
    {"tables cut", ShortTables, "视频文件与索引文件长度不对应"},
    {"position past the end", PositionBeyondFile, "非法的索引"},
    {"made for MPEG-2", OtherCodec, "非法的索引"},
};

} // namespace

// A damaged or foreign index is never fatal: the loader prints why and the
// index is built again (and written again), and the file plays.
TEST(RecordIndexFileTest, DamagedIndexIsRebuilt)
{
    RecordedStream r = Record(SimKind::Device36, 30);
    TempDir dir;
    const std::string path = dir.Path("damaged.tvx");
    ASSERT_TRUE(WriteWholeFile(path, r.bytes));
    const std::string idxPath = MakeRecordIndexName(path);
    {
        CTestFileReader* reader = nullptr;
        auto parser = OpenParser(path, reader);
        ASSERT_TRUE(parser);
        WaitForIndex(*parser);
        parser.reset();
        reader->Release();
    }
    const std::vector<uint8_t> good = ReadWholeFile(idxPath);
    ASSERT_EQ(good.size(), 52u + 9u * 31u);
    for (const DamageCase& c : kDamage) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> bad = good;
        c.damage(bad);
        ASSERT_TRUE(WriteWholeFile(idxPath, bad));
        CTestFileReader* reader = nullptr;
        testing::internal::CaptureStdout();
        auto parser = OpenParser(path, reader);
        const std::string printed = testing::internal::GetCapturedStdout();
        ASSERT_TRUE(parser);
        EXPECT_EQ(printed, c.message);
        EXPECT_EQ(static_cast<CBaseParserIndex&>(*parser).Source(),
                  CBaseParserIndex::IndexSource::Built);
        WaitForIndex(*parser);
        EXPECT_EQ(ReadAll(*parser).video, r.frames);
        parser.reset();
        reader->Release();
        EXPECT_EQ(ReadWholeFile(idxPath), good);
    }
}

// A JPEG 2000 file: times from the field headers for the frames, the duration,
// the position and seeking (the first frame within 100 ms of the target, or
// after it).
TEST(RecordJP2KTest, TimesComeFromTheFieldHeaders)
{
    OpenRecord rec(Record(SimKind::Jp2kFields, 30).bytes, "fields.tmj2");
    ASSERT_TRUE(rec.parser);
    EXPECT_EQ(rec.parser->GetDuration(), 29 * 40000);
    struct Case {
        int64_t us;
        int result;
        int64_t frame;
    };
    ParsedFrame* first = rec.parser->ReadNextFrame();
    ASSERT_TRUE(first);
    const int64_t t0 = first->timestamp;
    const Case cases[] = {{0, 0, 0},        {900000, 0, 20},  {1000000, 0, 23},
                          {1000001, 0, 23}, {1100000, 0, 25}, {1260000, 0, 29}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.us);
        EXPECT_EQ(rec.parser->SeekTime(c.us), c.result);
        EXPECT_EQ(rec.parser->GetPosition(), c.frame * 40000 * 10);
        ParsedFrame* f = rec.parser->ReadNextFrame();
        ASSERT_TRUE(f);
        EXPECT_EQ(f->timestamp, t0 + c.frame * 40000 * 10);
        EXPECT_EQ(f->frameRate, 25);
    }
    // Past the last frame the position is the duration; a time no frame reaches
    // fails and changes nothing.
    EXPECT_EQ(rec.parser->GetPosition(), 29 * 40000 * 10);
    EXPECT_EQ(rec.parser->SeekTime(1260001), -1);
    EXPECT_EQ(rec.parser->GetPosition(), 29 * 40000 * 10);
    EXPECT_EQ(rec.parser->ReadNextFrame(), nullptr);
}

// Playback starts while the index is being built: the reader gets the frames
// indexed so far (while the index thread is held between two reads of the
// file) and then the rest, every frame in order. Under the thread sanitizer
// this also proves the tables are shared without a data race.
TEST(RecordIndexThreadTest, PlaysWhileIndexing)
{
    std::vector<int64_t> starts;
    const std::vector<int> types = IbbpTypes(12); // 300 frames of 20 kB: 12 chunks
    const std::vector<uint8_t> bytes = BuildMpeg2Stream(types, 20000, &starts);
    TempDir dir;
    const std::string path = dir.Path("playing.tvx2");
    ASSERT_TRUE(WriteWholeFile(path, bytes));
    CTestFileReader* reader = nullptr;
    auto parser = OpenParser(path, reader, [](CTestFileReader& r) { r.CloseGate(512000, 2); });
    ASSERT_TRUE(parser);
    auto& index = static_cast<CBaseParserIndex&>(*parser);

    std::atomic<bool> done{false};
    std::vector<ParsedFrame> got;
    std::vector<std::vector<uint8_t>> gotBytes;
    std::thread player([&] {
        while (!done) {
            ParsedFrame* f = parser->ReadNextFrame();
            if (!f) {
                if (!parser->IsIndexing() && index.FrameCount() == 300)
                    break;
                std::this_thread::yield();
                continue;
            }
            got.push_back(*f);
            gotBytes.emplace_back(f->data, f->data + f->videoLength);
        }
    });
    // The index thread waits at its third read: everything before it is indexed.
    while (reader->Waiting() == 0)
        std::this_thread::yield();
    const int32_t partial = index.FrameCount();
    EXPECT_GT(partial, 0);
    EXPECT_LT(partial, 300);
    EXPECT_TRUE(parser->IsIndexing());
    EXPECT_EQ(parser->SeekTime(0), -1); // no seeking while indexing
    EXPECT_GT(index.IndexProgress(), 0);
    EXPECT_LT(index.IndexProgress(), 100);
    reader->OpenGate();
    player.join();
    EXPECT_EQ(index.IndexProgress(), 100);
    ASSERT_EQ(got.size(), 300u);
    for (size_t i = 0; i < got.size(); ++i) {
        ASSERT_EQ(got[i].filePosition, starts[i]);
        ASSERT_EQ(got[i].frameType, types[i]);
        const int64_t end = i + 1 < starts.size() ? starts[i + 1] : bytes.size();
        ASSERT_EQ(gotBytes[i],
                  std::vector<uint8_t>(bytes.begin() + starts[i], bytes.begin() + end));
    }
    parser.reset();
    reader->Release();
}

// Stopping the index thread (the parser's destruction while it scans) writes
// no index file.
TEST(RecordIndexThreadTest, StoppedIndexWritesNothing)
{
    const std::vector<uint8_t> bytes = BuildMpeg2Stream(IbbpTypes(4), 20000);
    TempDir dir;
    const std::string path = dir.Path("stopped.tvx2");
    ASSERT_TRUE(WriteWholeFile(path, bytes));
    CTestFileReader* reader = nullptr;
    auto parser = OpenParser(path, reader, [](CTestFileReader& r) { r.CloseGate(512000, 1); });
    ASSERT_TRUE(parser);
    while (reader->Waiting() == 0)
        std::this_thread::yield();
    auto& index = static_cast<CBaseParserIndex&>(*parser);
    std::thread opener([&] {
        while (!index.StopRequested())
            std::this_thread::yield();
        reader->OpenGate();
    });
    index.StopIndexing();
    opener.join();
    EXPECT_FALSE(parser->IsIndexing());
    EXPECT_TRUE(ReadWholeFile(MakeRecordIndexName(path)).empty());
    parser.reset();
    reader->Release();
}

namespace {

struct FaultCase {
    const char* name;
    std::vector<uint8_t> bytes;
    int failReadsFrom;  // -1: no read fails
    int64_t lengthSeen; // what the reader reports (-1: the file's)
    int32_t frames;     // indexed
    size_t played;      // frames ReadNextFrame gives
};

} // namespace

// Faults of the file: truncated in a frame, a frame longer than the read
// buffer, a read error while indexing, a file that grows while it is indexed
// (a recording in progress): never a crash, the frames there are play.
TEST(RecordFaultTest, FilesWithFaultsPlayWhatTheyHold)
{
    const std::vector<int> types = IbbpTypes(2);
    std::vector<int64_t> starts;
    const std::vector<uint8_t> whole = BuildMpeg2Stream(types, 3000, &starts);
    std::vector<uint8_t> truncated(whole.begin(), whole.begin() + starts[30] + 1500);
    const std::vector<uint8_t> big = BuildMpeg2Stream(types, 3000, nullptr, 7, 600000);
    const FaultCase cases[] = {
        {"truncated in frame 30", truncated, -1, -1, 31, 31},
        {"frame 7 longer than the read buffer", big, -1, -1, 50, 49},
        // The second frame's scan needs the second chunk: the index ends after one.
        {"read error after the first chunk", BuildMpeg2Stream(types, 20000), 1, -1, 1, 1},
        {"grown since it was opened", whole, -1, starts[40], 40, 40},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.Path("fault.tvx2");
        ASSERT_TRUE(WriteWholeFile(path, c.bytes));
        CTestFileReader* reader = nullptr;
        auto parser = OpenParser(path, reader, [&](CTestFileReader& r) {
            if (c.failReadsFrom >= 0)
                r.FailReadsFrom(c.failReadsFrom);
            if (c.lengthSeen >= 0)
                r.SetLength(c.lengthSeen);
        });
        ASSERT_TRUE(parser);
        WaitForIndex(*parser);
        auto& index = static_cast<CBaseParserIndex&>(*parser);
        EXPECT_EQ(index.FrameCount(), c.frames);
        reader->FailReadsFrom(-1);
        EXPECT_EQ(ReadAll(*parser).video.size(), c.played);
        parser.reset();
        reader->Release();
    }
}

// The tables hold 511,999 frames and the end entry: a file with more frames is
// indexed up to there, its last indexed frame ending where it ends; the index
// file of that many entries loads again.
TEST(RecordCapacityTest, IndexStopsWhereTheTablesEnd)
{
    std::vector<int> types(512100, 2);
    for (size_t i = 0; i < types.size(); i += 25)
        types[i] = 1;
    std::vector<int64_t> starts;
    const std::vector<uint8_t> bytes = BuildMpeg2Stream(types, 4, &starts);
    TempDir dir;
    const std::string path = dir.Path("long.tvx2");
    ASSERT_TRUE(WriteWholeFile(path, bytes));
    for (int round = 0; round < 2; ++round) {
        CTestFileReader* reader = nullptr;
        auto parser = OpenParser(path, reader);
        ASSERT_TRUE(parser);
        auto& index = static_cast<CBaseParserIndex&>(*parser);
        EXPECT_EQ(index.Source(), round == 0 ? CBaseParserIndex::IndexSource::Built
                                             : CBaseParserIndex::IndexSource::Loaded);
        WaitForIndex(*parser);
        ASSERT_EQ(index.FrameCount(), 511999);
        // The last frames: 511975 is a key frame.
        ASSERT_EQ(parser->SeekTime(int64_t{511998} * 40000), 0);
        ReadFrames tail = ReadAll(*parser);
        ASSERT_EQ(tail.video.size(), 24u);
        EXPECT_EQ(tail.timestamps.back(), int64_t{511998} * 400000);
        EXPECT_EQ(static_cast<int64_t>(tail.video.back().size()), starts[511999] - starts[511998]);
        parser.reset();
        reader->Release();
    }
}
