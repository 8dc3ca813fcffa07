// Faults strike at the asked rate or schedule, and the same seed gives the same
// stream, byte for byte.
#include "DevSimTestKit.h"

#include "DeviceFrameHeader.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstdio>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace tvdevsim;

namespace {

SimConfig RecordOnly(const std::string& name, int frames)
{
    SimConfig c;
    c.stream.kind = SimKind::Device40;
    c.stream.width = 64;
    c.stream.height = 64;
    c.stream.gop = 10;
    c.transport = SimTransport::None;
    c.realTime = false;
    c.frames = frames;
    c.recordPath = devsimtest::TempPath(name);
    return c;
}

struct SimRun {
    SimCounters counters;
    std::vector<uint8_t> record;
};

SimRun RunToEnd(const SimConfig& config)
{
    SimRun r;
    CDeviceSimulator sim;
    if (!sim.Start(config)) {
        ADD_FAILURE() << sim.Error();
        return r;
    }
    EXPECT_TRUE(sim.WaitFinished(60000));
    sim.Stop();
    r.counters = sim.Counters();
    r.record = devsimtest::ReadFile(sim.RecordPath());
    std::remove(sim.RecordPath().c_str());
    return r;
}

struct UdpRun {
    SimCounters counters;
    std::vector<std::vector<uint8_t>> datagrams;
    std::vector<std::vector<uint8_t>> chunks; // the record cut as the sender cuts it
};

UdpRun RunUdp(const FaultConfig& faults)
{
    UdpRun r;
    int port = 0;
    const int rx = devsimtest::BindUdp(port);
    EXPECT_GE(rx, 0);
    SimConfig config = RecordOnly("udp-faults", 50);
    config.transport = SimTransport::Udp;
    config.port = port;
    config.datagramSize = 50;
    config.faults = faults;
    CDeviceSimulator sim;
    EXPECT_TRUE(sim.Start(config));
    // Drain while it sends: the stream is larger than a socket buffer may hold.
    std::thread reader([&] { r.datagrams = devsimtest::ReceiveDatagrams(rx, UINT64_MAX, 400); });
    EXPECT_TRUE(sim.WaitFinished(60000));
    reader.join();
    ::close(rx);
    r.counters = sim.Counters();
    const std::vector<uint8_t> recorded = devsimtest::ReadFile(sim.RecordPath());
    std::remove(sim.RecordPath().c_str());
    // Each frame goes out in 50-byte datagrams, the last one shorter.
    for (size_t at = 0; at < recorded.size();) {
        DeviceFrameHeader h;
        if (!ReadDeviceFrameHeader(std::span<const uint8_t>(recorded).subspan(at), h)) {
            ADD_FAILURE() << "record damaged at " << at;
            break;
        }
        const size_t end = at + static_cast<size_t>(h.totalLength);
        for (size_t from = at; from < end; from += 50)
            r.chunks.emplace_back(recorded.begin() + static_cast<ptrdiff_t>(from),
                                  recorded.begin() +
                                      static_cast<ptrdiff_t>(std::min(end, from + 50)));
        at = end;
    }
    return r;
}

TEST(DevSimFaults, UdpLossAtTheAskedRate)
{
    FaultConfig f;
    f.loss.rate = 0.2;
    const UdpRun r = RunUdp(f);
    const SimCounters& c = r.counters;
    const double total = static_cast<double>(c.sends + c.datagramsLost);
    ASSERT_GT(total, 800);
    EXPECT_EQ(total, static_cast<double>(r.chunks.size()));
    EXPECT_NEAR(c.datagramsLost / total, 0.2, 0.04);
    ASSERT_EQ(r.datagrams.size(), c.sends);
    // What arrives is the record in order with the lost datagrams left out.
    size_t k = 0;
    for (const auto& d : r.datagrams) {
        while (k < r.chunks.size() && r.chunks[k] != d)
            ++k;
        ASSERT_LT(k, r.chunks.size());
        ++k;
    }
}

TEST(DevSimFaults, UdpReorderAtTheAskedRate)
{
    FaultConfig f;
    f.reorder.rate = 0.1;
    const UdpRun r = RunUdp(f);
    const SimCounters& c = r.counters;
    ASSERT_EQ(r.datagrams.size(), r.chunks.size()); // nothing lost
    EXPECT_NEAR(c.datagramsReordered / static_cast<double>(c.sends), 0.1, 0.03);
    // Every difference is a datagram that changed places with the one behind it.
    size_t swaps = 0, sameNeighbours = 0;
    for (size_t i = 0; i + 1 < r.chunks.size(); ++i)
        sameNeighbours += r.chunks[i] == r.chunks[i + 1] ? 1 : 0;
    for (size_t i = 0; i < r.chunks.size();) {
        if (r.datagrams[i] == r.chunks[i]) {
            ++i;
            continue;
        }
        ASSERT_LT(i + 1, r.chunks.size());
        EXPECT_TRUE(r.datagrams[i] == r.chunks[i + 1] && r.datagrams[i + 1] == r.chunks[i])
            << "at " << i;
        ++swaps;
        i += 2;
    }
    // A swap of two equal datagrams cannot be seen.
    EXPECT_LE(swaps, c.datagramsReordered);
    EXPECT_GE(swaps + sameNeighbours, c.datagramsReordered);
    EXPECT_GT(swaps, 0u);
}

TEST(DevSimFaults, GarbageAndTruncationOnRateAndSchedule)
{
    const SimRun clean = RunToEnd(RecordOnly("clean", 60));
    const uint64_t units = clean.counters.videoFrames + clean.counters.audioFrames;

    SimConfig g = RecordOnly("garbage", 60);
    g.faults.garbage.every = 4;
    g.faults.garbageMaxBytes = 16;
    const SimRun garbage = RunToEnd(g);
    EXPECT_EQ(garbage.counters.garbageInserted, units / 4);
    EXPECT_EQ(garbage.record.size(), clean.record.size() + garbage.counters.garbageBytes);
    EXPECT_GE(garbage.counters.garbageBytes, garbage.counters.garbageInserted);
    EXPECT_LE(garbage.counters.garbageBytes, garbage.counters.garbageInserted * 16);

    SimConfig t = RecordOnly("truncate", 60);
    t.faults.truncate.rate = 0.3;
    const SimRun truncated = RunToEnd(t);
    EXPECT_NEAR(static_cast<double>(truncated.counters.framesTruncated) / units, 0.3, 0.1);
    EXPECT_LT(truncated.record.size(), clean.record.size());

    // The device headers before the first damaged unit are intact.
    ASSERT_GT(truncated.record.size(), kDeviceHeader40Size);
    DeviceFrameHeader h;
    EXPECT_TRUE(ReadDeviceFrameHeader(truncated.record, h));
}

TEST(DevSimFaults, TimestampJumpsOnTheirSchedule)
{
    SimConfig config = RecordOnly("jump", 50); // 2 s at 25 fps
    config.stream.audio = false;
    config.faults.jumpEverySec = 0.5;
    config.faults.jumpMs = -3000;
    const SimRun r = RunToEnd(config);
    EXPECT_EQ(r.counters.timestampJumps, 3u); // at 0.5, 1.0 and 1.5 s
    std::vector<int64_t> times;
    for (size_t at = 0; at < r.record.size();) {
        DeviceFrameHeader h;
        ASSERT_TRUE(ReadDeviceFrameHeader(std::span<const uint8_t>(r.record).subspan(at), h));
        times.push_back(h.captureTimeUs);
        at += static_cast<size_t>(h.totalLength);
    }
    ASSERT_EQ(times.size(), 50u);
    int jumps = 0;
    for (size_t i = 1; i < times.size(); ++i) {
        const int64_t step = times[i] - times[i - 1];
        if (step == 40000)
            continue;
        EXPECT_EQ(step, 40000 - 3000000);
        ++jumps;
    }
    EXPECT_EQ(jumps, 3);
}

TEST(DevSimFaults, TcpDisconnectsOnScheduleAndReconnects)
{
    int port = 0;
    const int listener = devsimtest::ListenTcp(port);
    ASSERT_GE(listener, 0);
    SimConfig config = RecordOnly("disc", 25); // 1 s of stream time
    config.transport = SimTransport::TcpClient;
    config.port = port;
    config.faults.disconnectEverySec = 0.3;
    CDeviceSimulator sim;
    ASSERT_TRUE(sim.Start(config));
    std::vector<uint8_t> received;
    int connections = 0;
    // Accept until the simulator is done and its last connection has closed.
    for (;;) {
        pollfd p{listener, POLLIN, 0};
        if (::poll(&p, 1, sim.Counters().finished ? 300 : 10000) <= 0)
            break;
        const int conn = ::accept(listener, nullptr, nullptr);
        ASSERT_GE(conn, 0);
        ++connections;
        const std::vector<uint8_t> part = devsimtest::ReadUntilClosed(conn);
        ::close(conn);
        received.insert(received.end(), part.begin(), part.end());
    }
    ::close(listener);
    ASSERT_TRUE(sim.WaitFinished(30000));
    const SimCounters c = sim.Counters();
    const std::vector<uint8_t> recorded = devsimtest::ReadFile(sim.RecordPath());
    std::remove(sim.RecordPath().c_str());
    EXPECT_EQ(c.disconnects, 3u); // at 0.3, 0.6 and 0.9 s
    EXPECT_EQ(c.connections, 4u);
    EXPECT_EQ(connections, 4);
    EXPECT_TRUE(received == recorded);
}

TEST(DevSimFaults, SameSeedSameBytesOtherSeedOtherFaults)
{
    SimConfig config = RecordOnly("seed", 30);
    config.faults.garbage.rate = 0.3;
    config.faults.truncate.rate = 0.2;
    config.faults.seed = 7;
    const SimRun a = RunToEnd(config);
    const SimRun b = RunToEnd(config);
    ASSERT_FALSE(a.record.empty());
    EXPECT_TRUE(a.record == b.record);
    config.faults.seed = 8;
    const SimRun other = RunToEnd(config);
    EXPECT_FALSE(a.record == other.record);
}

TEST(DevSimFaults, EveryKindIsDeterministic)
{
    for (SimKind kind : kAllKinds) {
        SCOPED_TRACE(KindName(kind));
        GeneratorConfig g;
        g.kind = kind;
        g.width = kind == SimKind::Ts192H264 ? 320 : 96;
        g.height = kind == SimKind::Ts192H264 ? 180 : 64;
        g.gop = 3;
        const std::vector<uint8_t> a = devsimtest::Generate(g, 4);
        const std::vector<uint8_t> b = devsimtest::Generate(g, 4);
        ASSERT_FALSE(a.empty());
        EXPECT_TRUE(a == b);
    }
}

TEST(DevSimFaults, LiveModeStampsTheWallClock)
{
    GeneratorConfig g;
    g.kind = SimKind::Device40;
    g.width = 64;
    g.height = 64;
    g.audio = false;
    g.live = true;
    const int64_t before = std::chrono::duration_cast<std::chrono::microseconds>(
                               std::chrono::system_clock::now().time_since_epoch())
                               .count();
    const std::vector<uint8_t> s = devsimtest::Generate(g, 1);
    DeviceFrameHeader h;
    ASSERT_TRUE(ReadDeviceFrameHeader(s, h));
    EXPECT_GE(h.captureTimeUs, before);
    EXPECT_LT(h.captureTimeUs, before + 60 * 1000000LL);
    g.live = false;
    ASSERT_TRUE(ReadDeviceFrameHeader(devsimtest::Generate(g, 1), h));
    EXPECT_EQ(h.captureTimeUs, 1704067200LL * 1000000);
}

} // namespace
