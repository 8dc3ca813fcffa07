// The network source filter in a real filter graph: both found through the
// build registry, the filter connected to the test kit's sink, which keeps
// every byte, the graph run by IMediaControl, the stream coming from plain
// sockets on 127.0.0.1. Every test releases everything and checks that no COM
// object of the base classes is left alive.
#include "NWSourceTest.h"
#include "NWTestUtil.h"

#include <streams.h>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <mutex>
#include <string>

using namespace nwtest;

namespace {

// Datagram n of a stream: a length that varies with n and bytes that depend on
// n and their position, so a lost, repeated or reordered datagram shows.
std::string Datagram(int n)
{
    std::string d(static_cast<size_t>(200 + (n * 37) % 1200), '\0');
    for (size_t i = 0; i < d.size(); ++i)
        d[i] = static_cast<char>(n * 7 + i * 13 + (i >> 8));
    return d;
}

// The filter on the harness in a real graph, the harness's sink on
// "Out Pin!"; m_graph, m_control and m_sink are the harness's (not held
// here).
class NWSourceGraphTest : public NWSourceTest {
protected:
    void SetUp() override
    {
        NWSourceTest::SetUp();
        WrapSource(TvHarness::Setting::FilterGraph);
        m_graph = m_harness->Graph()->Builder();
        m_control = m_harness->Graph()->Control();
        ASSERT_EQ(m_harness->ConnectOutput(L"Out Pin!"), S_OK);
        m_sink = m_harness->Sink();
    }

    void Run()
    {
        ASSERT_TRUE(SUCCEEDED(m_control->Run()));
        OAFilterState state = State_Stopped;
        ASSERT_EQ(m_control->GetState(INFINITE, &state), S_OK);
        ASSERT_EQ(state, State_Running);
    }

    IGraphBuilder* m_graph = nullptr;
    IMediaControl* m_control = nullptr;
    CTestSink* m_sink = nullptr;
};

} // namespace

TEST_F(NWSourceGraphTest, UdpDatagramsReachTheSinkWholeAndInOrder)
{
    TempDir dir;
    const std::string ringLog = dir / "ring.txt";
    ASSERT_EQ(m_source->SetLogPath(ringLog.c_str()), S_OK);
    Run();
    // The graph gave the filter its clock: the ring log's stream times count
    // from the graph's start time.
    IMediaFilter* graphFilter = nullptr;
    ASSERT_EQ(m_graph->QueryInterface(IID_IMediaFilter, reinterpret_cast<void**>(&graphFilter)),
              S_OK);
    IReferenceClock* clock = nullptr;
    ASSERT_EQ(graphFilter->GetSyncSource(&clock), S_OK);
    graphFilter->Release();
    ASSERT_NE(clock, nullptr);
    REFERENCE_TIME runAt = 0;
    ASSERT_EQ(clock->GetTime(&runAt), S_OK);

    const unsigned short port = FreePort(SOCK_DGRAM);
    ASSERT_EQ(m_source->SetConnectParam(NW_CONNECT_UDP, nullptr, port), S_OK);

    // A few hundred datagrams, at a rate any receiver keeps up with (they
    // would fit in the socket's buffer all at once).
    constexpr int kCount = 400;
    UdpSender sender;
    std::string expected;
    for (int n = 0; n < kCount; ++n) {
        if (n == kCount - 1) {
            // The last one well after the graph's start time (10 ms after Run).
            EXPECT_TRUE(WaitFor([&] {
                REFERENCE_TIME now = 0;
                clock->GetTime(&now);
                return now - runAt >= 500000;
            }));
        }
        const std::string d = Datagram(n);
        ASSERT_TRUE(sender.Send(port, d));
        expected += d;
        if (n % 20 == 19)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    clock->Release();

    ASSERT_TRUE(WaitFor([&] { return m_sink->ByteCount() >= expected.size(); }))
        << m_sink->ByteCount() << " of " << expected.size() << " bytes";
    EXPECT_TRUE(m_sink->Bytes() == expected) << "bytes differ from what was sent";
    const auto stats = Statistics();
    EXPECT_EQ(stats[0], kCount);
    EXPECT_EQ(stats[1], static_cast<LONGLONG>(expected.size()));
    EXPECT_GE(stats[2], 1);
    EXPECT_EQ(stats[3], static_cast<LONGLONG>(expected.size()));

    ASSERT_EQ(m_source->SetLogPath(nullptr), S_OK);
    const std::string text = ReadFile(ringLog);
    int writes = 0;
    long lastWriteTime = 0;
    for (size_t at = text.find("Write:"); at != std::string::npos;
         at = text.find("Write:", at + 1)) {
        const size_t time = text.find("StreamTime:", at);
        ASSERT_NE(time, std::string::npos);
        const long ms = strtol(text.c_str() + time + 11, nullptr, 10);
        EXPECT_GT(ms, -1000) << "a stream time before the graph's start";
        EXPECT_LT(ms, 600000) << "a stream time not counted from the graph's start";
        lastWriteTime = ms;
        ++writes;
    }
    EXPECT_EQ(writes, kCount);
    EXPECT_GE(lastWriteTime, 40);

    // Stopped, the graph delivers nothing more; the bytes stay as they were.
    ASSERT_EQ(m_control->Stop(), S_OK);
    ASSERT_TRUE(sender.Send(port, "after stop"));
    ASSERT_TRUE(WaitFor([&] { return Statistics()[0] == kCount + 1; }));
    EXPECT_EQ(m_sink->ByteCount(), expected.size());
}

TEST_F(NWSourceGraphTest, RunAgainDropsWhatCameWhileStopped)
{
    const unsigned short port = FreePort(SOCK_DGRAM);
    ASSERT_EQ(m_source->SetConnectParam(NW_CONNECT_UDP, nullptr, port), S_OK);
    Run();
    UdpSender sender;
    ASSERT_TRUE(sender.Send(port, "first run"));
    ASSERT_TRUE(WaitFor([&] { return m_sink->ByteCount() >= 9; }));

    ASSERT_EQ(m_control->Stop(), S_OK);
    ASSERT_TRUE(sender.Send(port, "stale"));
    ASSERT_TRUE(WaitFor([&] { return Statistics()[1] == 9 + 5; }));

    // Stopped to running: the counters restart and the ring is flushed, the
    // socket stays open.
    Run();
    EXPECT_EQ(Statistics(), (std::array<LONGLONG, 4>{0, 0, 0, 0}));
    ASSERT_TRUE(sender.Send(port, "second run"));
    ASSERT_TRUE(WaitFor([&] { return m_sink->ByteCount() >= 9 + 10; }));
    EXPECT_EQ(m_sink->Bytes(), "first runsecond run");
    EXPECT_EQ(Statistics()[3], 10);
}

TEST_F(NWSourceGraphTest, TcpClientReconnectsWhileTheGraphRuns)
{
    TcpDevice device;
    Run();
    ASSERT_EQ(m_source->SetConnectParam(NW_CONNECT_TCP_CLIENT, "127.0.0.1", device.Port()), S_OK);
    const int first = device.Accept();
    ASSERT_GE(first, 0);
    ASSERT_TRUE(SendAll(first, "before the device went away|"));
    ASSERT_TRUE(WaitFor([&] { return m_sink->ByteCount() >= 28; }));
    close(first);

    // The receive thread notices the closed stream and connects again by
    // itself; the graph keeps running throughout.
    const int second = device.Accept();
    ASSERT_GE(second, 0);
    ASSERT_TRUE(SendAll(second, "after it came back"));
    ASSERT_TRUE(WaitFor([&] { return m_sink->ByteCount() >= 28 + 18; }));
    EXPECT_EQ(m_sink->Bytes(), "before the device went away|after it came back");
    OAFilterState state = State_Stopped;
    EXPECT_EQ(m_control->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Running);
    close(second);
}

TEST_F(NWSourceGraphTest, ReleasedWhileDatagramsArriveWithTheRingLogOpen)
{
    // The receive thread writes every datagram to the ring log with the
    // filter's stream time until the receiver is gone, which is after the
    // filter's own part has been torn down.
    TempDir dir;
    const std::string ringLog = dir / "ring.txt";
    ASSERT_EQ(m_source->SetLogPath(ringLog.c_str()), S_OK);
    const unsigned short port = FreePort(SOCK_DGRAM);
    ASSERT_EQ(m_source->SetConnectParam(NW_CONNECT_UDP, nullptr, port), S_OK);
    Run();

    std::atomic<bool> stop{false};
    std::thread sender([&] {
        UdpSender udp;
        const std::string d = Datagram(1);
        while (!stop.load())
            udp.Send(port, d);
    });
    ASSERT_TRUE(WaitFor([&] { return Statistics()[0] >= 1000; }));
    ReleaseAll();
    stop = true;
    sender.join();
    EXPECT_NE(ReadFile(ringLog).find("Write:"), std::string::npos);
}
