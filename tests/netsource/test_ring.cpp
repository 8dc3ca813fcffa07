// The byte ring between the receive thread and the output pin.
#include "CStreamRingBuffer.h"
#include "NWTestUtil.h"

#include <gtest/gtest.h>

#include <functional>
#include <regex>

namespace {

std::string Bytes(int first, int count)
{
    std::string s;
    for (int i = 0; i < count; ++i)
        s.push_back(static_cast<char>(first + i));
    return s;
}

HRESULT WriteString(CStreamRingBuffer& ring, const std::string& data, BOOL overwrite,
                    LONG* length = nullptr)
{
    LONG n = static_cast<LONG>(data.size());
    const HRESULT hr = ring.Write(reinterpret_cast<const BYTE*>(data.data()), &n, overwrite);
    if (length)
        *length = n;
    return hr;
}

std::string ReadString(CStreamRingBuffer& ring, LONG want, BOOL partial, HRESULT* hr = nullptr)
{
    std::string out(static_cast<size_t>(want > 0 ? want : 0), '\0');
    LONG n = want;
    const HRESULT r = ring.Read(reinterpret_cast<BYTE*>(out.data()), &n, partial);
    if (hr)
        *hr = r;
    out.resize(static_cast<size_t>(n));
    return out;
}

class FixedClock : public CRingLogClock {
public:
    LONG RingLogStreamTime() override { return 1234; }
};

} // namespace

TEST(StreamRingBuffer, WrapsAtTheEndOfTheStorage)
{
    CStreamRingBuffer ring(nullptr, 16);
    ASSERT_EQ(WriteString(ring, Bytes(0, 12), FALSE), S_OK);
    ASSERT_EQ(ReadString(ring, 12, FALSE), Bytes(0, 12));

    // 10 bytes at write position 12: 4 at the end of the storage, 6 at its start.
    ASSERT_EQ(WriteString(ring, Bytes(100, 10), FALSE), S_OK);
    auto st = ring.GetState();
    EXPECT_EQ(st.writePosition, 6);
    EXPECT_EQ(st.count, 10);
    EXPECT_EQ(st.readPosition, 12);
    EXPECT_EQ(ReadString(ring, 10, FALSE), Bytes(100, 10));
    st = ring.GetState();
    EXPECT_EQ(st.readPosition, 6);
    EXPECT_EQ(st.count, 0);
}

TEST(StreamRingBuffer, OverwriteKeepsTheNewestBytes)
{
    CStreamRingBuffer ring(nullptr, 16);
    ASSERT_EQ(WriteString(ring, Bytes(0, 12), TRUE), S_OK);
    LONG length = 0;
    ASSERT_EQ(WriteString(ring, Bytes(12, 9), TRUE, &length), S_OK);
    EXPECT_EQ(length, 9);
    auto st = ring.GetState();
    EXPECT_EQ(st.count, 16);
    EXPECT_EQ(st.writePosition, 5);
    EXPECT_EQ(st.readPosition, st.writePosition);
    // Bytes 0..4 are gone; 5..20 remain in arrival order.
    EXPECT_EQ(ReadString(ring, 16, FALSE), Bytes(5, 16));

    // A block longer than the whole ring keeps its last 16 bytes.
    ASSERT_EQ(WriteString(ring, Bytes(30, 3), TRUE), S_OK);
    ASSERT_EQ(WriteString(ring, Bytes(40, 40), TRUE), S_OK);
    st = ring.GetState();
    EXPECT_EQ(st.count, 16);
    EXPECT_EQ(ReadString(ring, 16, FALSE), Bytes(64, 16));
}

TEST(StreamRingBuffer, WithoutOverwriteWhatDoesNotFitIsCut)
{
    CStreamRingBuffer ring(nullptr, 16);
    ASSERT_EQ(WriteString(ring, Bytes(0, 10), FALSE), S_OK);
    LONG length = 0;
    ASSERT_EQ(WriteString(ring, Bytes(10, 10), FALSE, &length), S_OK);
    EXPECT_EQ(length, 6);
    EXPECT_EQ(ReadString(ring, 16, FALSE), Bytes(0, 16));
}

TEST(StreamRingBuffer, PartialAndWholeReads)
{
    CStreamRingBuffer ring(nullptr, 0x1000);
    ASSERT_EQ(WriteString(ring, Bytes(0, 30), TRUE), S_OK);

    HRESULT hr = S_OK;
    EXPECT_EQ(ReadString(ring, 100, FALSE, &hr), "");
    EXPECT_EQ(hr, E_FAIL);
    EXPECT_EQ(ring.GetState().count, 30); // nothing taken

    EXPECT_EQ(ReadString(ring, 100, TRUE, &hr), Bytes(0, 30));
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(ReadString(ring, 100, TRUE, &hr), "");
    EXPECT_EQ(hr, S_OK);
}

TEST(StreamRingBuffer, RejectsBadArgumentsAndMissingStorage)
{
    CStreamRingBuffer ring(nullptr, 16);
    BYTE data[4] = {};
    LONG length = -1;
    EXPECT_EQ(ring.Write(data, &length, TRUE), E_FAIL);
    EXPECT_EQ(length, 0);
    length = 4;
    EXPECT_EQ(ring.Write(nullptr, &length, TRUE), E_FAIL);
    EXPECT_EQ(length, 0);
    length = 4;
    EXPECT_EQ(ring.Read(nullptr, &length, TRUE), E_FAIL);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(ring.Write(data, nullptr, TRUE), E_POINTER);
    EXPECT_EQ(ring.Read(data, nullptr, TRUE), E_POINTER);

    CStreamRingBuffer none(nullptr, -5);
    length = 4;
    EXPECT_EQ(none.Write(data, &length, TRUE), E_FAIL);
    EXPECT_EQ(none.Read(data, &length, TRUE), E_FAIL);
    EXPECT_EQ(none.Flush(), S_OK);
}

TEST(StreamRingBuffer, LogsWritesReadsAndFlushes)
{
    nwtest::TempDir dir;
    FixedClock clock;
    CStreamRingBuffer ring(&clock, 16);
    const std::string log = dir / "ring.txt";
    ASSERT_EQ(ring.SetLogPath(log.c_str()), S_OK);
    char path[NWSOURCE_LOG_PATH_SIZE] = "x";
    ASSERT_EQ(ring.GetLogPath(path), S_OK);
    EXPECT_EQ(std::string(path), log);

    ASSERT_EQ(WriteString(ring, Bytes(0, 12), TRUE), S_OK);
    ASSERT_EQ(WriteString(ring, Bytes(0, 10), TRUE), S_OK);
    ASSERT_EQ(ReadString(ring, 4, TRUE), Bytes(6, 4));
    ASSERT_EQ(ring.Flush(), S_OK);
    ASSERT_EQ(ring.SetLogPath(nullptr), S_OK);
    ASSERT_EQ(ring.GetLogPath(path), S_OK);
    EXPECT_STREQ(path, "");

    const std::string text = nwtest::ReadFile(log);
    const std::string stamp = R"(\d\d-\d\d \d\d:\d\d:\d\d)";
    const std::regex expected("Write:" + stamp +
                              ", StreamTime:1234, Length:12, Total:12, WritePostion:12, Cover:0\n"
                              "Write:" +
                              stamp +
                              ", StreamTime:1234, Length:10, Total:16, WritePostion:6, Cover:1\n"
                              "Read:" +
                              stamp +
                              ", StreamTime:1234, Length:4, Total:12, ReadPostion:10\n"
                              "Flush:" +
                              stamp + ", StreamTime:1234, ReadPosition 0, WritePostion:0\n");
    EXPECT_TRUE(std::regex_match(text, expected)) << text;

    // No more lines once the log is closed.
    ASSERT_EQ(WriteString(ring, Bytes(0, 3), TRUE), S_OK);
    EXPECT_EQ(nwtest::ReadFile(log), text);
}

TEST(StreamRingBuffer, LogThatCannotBeCreatedLeavesLoggingOff)
{
    nwtest::TempDir dir;
    CStreamRingBuffer ring(nullptr, 16);
    const std::string first = dir / "first.txt";
    ASSERT_EQ(ring.SetLogPath(first.c_str()), S_OK);
    EXPECT_EQ(ring.SetLogPath((dir / "missing/log.txt").c_str()), E_FAIL);
    char path[NWSOURCE_LOG_PATH_SIZE] = "x";
    ASSERT_EQ(ring.GetLogPath(path), S_OK);
    EXPECT_STREQ(path, "");
    ASSERT_EQ(WriteString(ring, Bytes(0, 3), TRUE), S_OK);
    EXPECT_EQ(nwtest::ReadFile(first), ""); // the earlier log is closed too

    const std::string tooLong(NWSOURCE_LOG_PATH_SIZE, 'a');
    EXPECT_EQ(ring.SetLogPath((dir / tooLong).c_str()), E_FAIL);
}

TEST(StreamRingBuffer, ConcurrentWriterAndReaderKeepTheByteOrder)
{
    // A writer that never overtakes the reader (no overwrite) and a partial
    // reader: the bytes must come out exactly as they went in.
    CStreamRingBuffer ring(nullptr, 4096);
    constexpr int kTotal = 1 << 20;
    std::thread writer([&] {
        int next = 0;
        BYTE block[700];
        while (next < kTotal) {
            LONG n = static_cast<LONG>(std::min<int>(sizeof(block), kTotal - next));
            for (LONG i = 0; i < n; ++i)
                block[i] = static_cast<BYTE>((next + i) * 7);
            ring.Write(block, &n, FALSE);
            next += n;
            if (n == 0)
                std::this_thread::yield();
        }
    });
    int got = 0;
    bool ordered = true;
    BYTE out[1000];
    while (got < kTotal && ordered) {
        LONG n = sizeof(out);
        ring.Read(out, &n, TRUE);
        for (LONG i = 0; i < n; ++i)
            ordered = ordered && out[i] == static_cast<BYTE>((got + i) * 7);
        got += n;
    }
    writer.join();
    EXPECT_TRUE(ordered);
    EXPECT_EQ(got, kTotal);
}

// The data event is what the output pin sleeps on while the ring is empty: it
// must be signalled exactly while the ring holds bytes, or the pin would
// either sleep on data or spin on an empty ring.
TEST(StreamRingBuffer, DataEventIsSignalledExactlyWhileBytesAreStored)
{
    CStreamRingBuffer ring(nullptr, 16);
    ASSERT_NE(ring.DataEvent(), nullptr);
    const auto signalled = [&] {
        return WaitForSingleObject(ring.DataEvent(), 0) == WAIT_OBJECT_0;
    };
    struct Step {
        const char* name;
        std::function<void()> run;
        LONG count; // what the ring holds afterwards
    };
    const Step steps[] = {
        {"new ring", [] {}, 0},
        {"empty write", [&] { WriteString(ring, "", TRUE); }, 0},
        {"write 10", [&] { WriteString(ring, Bytes(0, 10), TRUE); }, 10},
        {"read 4", [&] { ReadString(ring, 4, TRUE); }, 6},
        {"all-or-nothing read of too many", [&] { ReadString(ring, 7, FALSE); }, 6},
        {"read the rest", [&] { ReadString(ring, 100, TRUE); }, 0},
        {"read from empty", [&] { ReadString(ring, 100, TRUE); }, 0},
        {"overwrite past the capacity", [&] { WriteString(ring, Bytes(0, 40), TRUE); }, 16},
        {"cut write into a full ring", [&] { WriteString(ring, Bytes(0, 3), FALSE); }, 16},
        {"flush", [&] { ring.Flush(); }, 0},
        {"write after the flush", [&] { WriteString(ring, Bytes(5, 1), FALSE); }, 1},
        {"read exactly what is there", [&] { ReadString(ring, 1, FALSE); }, 0},
        {"empty batch", [&] { ring.WriteBlocks(nullptr, 0); }, 0},
        {"batch of two",
         [&] {
             const std::string a = Bytes(1, 3), b = Bytes(9, 2);
             const CStreamRingBuffer::Block blocks[] = {
                 {reinterpret_cast<const BYTE*>(a.data()), 3},
                 {reinterpret_cast<const BYTE*>(b.data()), 2}};
             ring.WriteBlocks(blocks, 2);
         },
         5},
        {"read the batch", [&] { ReadString(ring, 5, FALSE); }, 0},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        step.run();
        EXPECT_EQ(ring.GetState().count, step.count);
        // Looking does not consume it.
        EXPECT_EQ(signalled(), step.count > 0);
        EXPECT_EQ(signalled(), step.count > 0);
    }
}

// A batch of blocks leaves the ring (bytes, positions, overwrites, the log's
// lines) as the same blocks written one by one with overwrite do; blocks Write
// would refuse are skipped.
TEST(StreamRingBuffer, BatchWriteIsWritesOneByOne)
{
    struct Case {
        const char* name;
        LONG before;              // bytes written and read first (moves the positions)
        LONG kept;                // bytes written first and left in the ring
        std::vector<LONG> blocks; // lengths; -1 a null source
    };
    const Case cases[] = {
        {"fits", 0, 0, {3, 4, 5}},
        {"wraps", 20, 0, {5, 6, 7}},
        {"overwrites the oldest", 7, 10, {9, 8, 1}},
        {"block longer than the ring", 3, 2, {4, 40, 2}},
        {"empty and refused blocks", 5, 0, {0, 3, -1, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        nwtest::TempDir dir;
        CStreamRingBuffer one(nullptr, 24), batch(nullptr, 24);
        ASSERT_EQ(one.SetLogPath((dir / "one.log").c_str()), S_OK);
        ASSERT_EQ(batch.SetLogPath((dir / "batch.log").c_str()), S_OK);
        for (CStreamRingBuffer* ring : {&one, &batch}) {
            WriteString(*ring, Bytes(50, c.before), TRUE);
            ReadString(*ring, c.before, FALSE);
            WriteString(*ring, Bytes(60, c.kept), TRUE);
        }
        std::vector<std::string> data;
        std::vector<CStreamRingBuffer::Block> blocks;
        int first = 0;
        for (LONG length : c.blocks) {
            data.push_back(Bytes(first, length > 0 ? length : 0));
            first += 3;
        }
        for (size_t i = 0; i < data.size(); ++i) {
            const bool refused = c.blocks[i] < 0;
            blocks.push_back(
                {refused ? nullptr : reinterpret_cast<const BYTE*>(data[i].data()), c.blocks[i]});
            if (!refused)
                WriteString(one, data[i], TRUE);
        }
        ASSERT_EQ(batch.WriteBlocks(blocks.data(), static_cast<int>(blocks.size())), S_OK);

        const CStreamRingBuffer::State a = one.GetState(), b = batch.GetState();
        EXPECT_EQ(b.count, a.count);
        EXPECT_EQ(b.readPosition, a.readPosition);
        EXPECT_EQ(b.writePosition, a.writePosition);
        EXPECT_EQ(ReadString(batch, 100, TRUE), ReadString(one, 100, TRUE));
        one.SetLogPath(nullptr);
        batch.SetLogPath(nullptr);
        // The lines name the time to the second: compare them without it.
        const std::regex time("\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d");
        EXPECT_EQ(std::regex_replace(nwtest::ReadFile(dir / "batch.log"), time, "T"),
                  std::regex_replace(nwtest::ReadFile(dir / "one.log"), time, "T"));
    }
}
