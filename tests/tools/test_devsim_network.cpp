// The transports deliver exactly the bytes the simulator sent, and the record
// file holds the same bytes; the control protocol answers on its own port.
#include "DevSimTestKit.h"

#include "tvdevice/DeviceControlServer.h"
#include "tvprotocol/DeviceCommands.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace tvdevsim;

namespace {

SimConfig SmallStream(SimTransport transport, int port, const std::string& record)
{
    SimConfig c;
    c.stream.kind = SimKind::Device40;
    c.stream.width = 176;
    c.stream.height = 144;
    c.stream.gop = 5;
    c.transport = transport;
    c.address = "127.0.0.1";
    c.port = port;
    c.realTime = false;
    c.frames = 15;
    c.recordPath = record;
    return c;
}

std::vector<uint8_t> Join(const std::vector<std::vector<uint8_t>>& parts)
{
    std::vector<uint8_t> all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

uint64_t Fnv1a(const std::vector<uint8_t>& bytes)
{
    uint64_t h = 1469598103934665603ULL;
    for (uint8_t b : bytes)
        h = (h ^ b) * 1099511628211ULL;
    return h;
}

TEST(DevSimNetwork, UdpUnicastDeliversTheRecordedBytes)
{
    int port = 0;
    const int rx = devsimtest::BindUdp(port);
    ASSERT_GE(rx, 0);
    const std::string record = devsimtest::TempPath("udp");
    CDeviceSimulator sim;
    SimConfig config = SmallStream(SimTransport::Udp, port, record);
    config.datagramSize = 500;
    ASSERT_TRUE(sim.Start(config)) << sim.Error();
    ASSERT_TRUE(sim.WaitFinished(30000));
    const SimCounters c = sim.Counters();
    const auto datagrams = devsimtest::ReceiveDatagrams(rx, c.bytesSent, 2000);
    ::close(rx);
    const std::vector<uint8_t> recorded = devsimtest::ReadFile(sim.RecordPath());
    EXPECT_EQ(sim.RecordPath(), record + ".tvx");
    EXPECT_EQ(c.videoFrames, 15u);
    EXPECT_EQ(datagrams.size(), c.sends);
    for (const auto& d : datagrams)
        EXPECT_LE(d.size(), 500u);
    const std::vector<uint8_t> received = Join(datagrams);
    EXPECT_EQ(received.size(), c.bytesSent);
    EXPECT_EQ(c.bytesRecorded, c.bytesSent);
    EXPECT_EQ(Fnv1a(received), Fnv1a(recorded));
    EXPECT_TRUE(received == recorded);
    std::remove(sim.RecordPath().c_str());
}

TEST(DevSimNetwork, UdpMulticastDeliversTheRecordedBytes)
{
    // Join a group on the loopback interface; sandboxes without multicast skip.
    const char* group = "239.255.77.17";
    const int rx = ::socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(rx, 0);
    int on = 1;
    setsockopt(rx, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    ASSERT_EQ(::bind(rx, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    socklen_t len = sizeof a;
    getsockname(rx, reinterpret_cast<sockaddr*>(&a), &len);
    const int port = ntohs(a.sin_port);
    ip_mreq m{};
    inet_pton(AF_INET, group, &m.imr_multiaddr);
    inet_pton(AF_INET, "127.0.0.1", &m.imr_interface);
    if (setsockopt(rx, IPPROTO_IP, IP_ADD_MEMBERSHIP, &m, sizeof m) != 0) {
        ::close(rx);
        GTEST_SKIP() << "cannot join a multicast group on loopback here";
    }
    CDeviceSimulator sim;
    SimConfig config = SmallStream(SimTransport::Udp, port, devsimtest::TempPath("mcast"));
    config.address = group;
    config.multicastInterface = "127.0.0.1";
    if (!sim.Start(config)) {
        ::close(rx);
        GTEST_SKIP() << "cannot send multicast here: " << sim.Error();
    }
    ASSERT_TRUE(sim.WaitFinished(30000));
    const SimCounters c = sim.Counters();
    const auto datagrams = devsimtest::ReceiveDatagrams(rx, c.bytesSent, 2000);
    ::close(rx);
    const std::vector<uint8_t> recorded = devsimtest::ReadFile(sim.RecordPath());
    std::remove(sim.RecordPath().c_str());
    if (datagrams.empty())
        GTEST_SKIP() << "multicast loopback delivers nothing here";
    EXPECT_TRUE(Join(datagrams) == recorded);
}

TEST(DevSimNetwork, TcpClientDeliversTheRecordedBytes)
{
    int port = 0;
    const int listener = devsimtest::ListenTcp(port);
    ASSERT_GE(listener, 0);
    CDeviceSimulator sim;
    ASSERT_TRUE(
        sim.Start(SmallStream(SimTransport::TcpClient, port, devsimtest::TempPath("tcpc"))));
    const int conn = ::accept(listener, nullptr, nullptr);
    ASSERT_GE(conn, 0);
    const std::vector<uint8_t> received = devsimtest::ReadUntilClosed(conn);
    ::close(conn);
    ::close(listener);
    ASSERT_TRUE(sim.WaitFinished(30000));
    const std::vector<uint8_t> recorded = devsimtest::ReadFile(sim.RecordPath());
    std::remove(sim.RecordPath().c_str());
    EXPECT_EQ(sim.Counters().connections, 1u);
    EXPECT_EQ(received.size(), sim.Counters().bytesSent);
    EXPECT_FALSE(received.empty());
    EXPECT_TRUE(received == recorded);
}

TEST(DevSimNetwork, TcpServerDeliversTheRecordedBytes)
{
    CDeviceSimulator sim;
    ASSERT_TRUE(sim.Start(SmallStream(SimTransport::TcpServer, 0, devsimtest::TempPath("tcps"))));
    ASSERT_GT(sim.StreamPort(), 0);
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(sim.StreamPort()));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    const std::vector<uint8_t> received = devsimtest::ReadUntilClosed(s);
    ::close(s);
    ASSERT_TRUE(sim.WaitFinished(30000));
    const std::vector<uint8_t> recorded = devsimtest::ReadFile(sim.RecordPath());
    std::remove(sim.RecordPath().c_str());
    EXPECT_FALSE(received.empty());
    EXPECT_TRUE(received == recorded);
}

TEST(DevSimNetwork, StopEndsAWaitingServerAndAStuckClient)
{
    // Nobody connects to the server, nobody accepts the client: Stop must still return.
    CDeviceSimulator server, client;
    SimConfig sc = SmallStream(SimTransport::TcpServer, 0, "");
    sc.frames = 0;
    ASSERT_TRUE(server.Start(sc));
    int port = 0;
    const int unused = devsimtest::ListenTcp(port);
    ::close(unused); // the port is now (very likely) closed: connects are refused
    SimConfig cc = SmallStream(SimTransport::TcpClient, port, "");
    cc.frames = 0;
    ASSERT_TRUE(client.Start(cc));
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    server.Stop();
    client.Stop();
    EXPECT_EQ(server.Counters().bytesSent, 0u);
    EXPECT_EQ(client.Counters().bytesSent, 0u);
    EXPECT_FALSE(server.Counters().finished);
}

TEST(DevSimNetwork, RealTimePaceSendsEveryFrameInOrder)
{
    // Only order, not speed: a real-time run sends every frame in stream order.
    int port = 0;
    const int rx = devsimtest::BindUdp(port);
    CDeviceSimulator sim;
    SimConfig config = SmallStream(SimTransport::Udp, port, devsimtest::TempPath("rt"));
    config.realTime = true;
    config.frames = 5;
    config.stream.frameRate = 25;
    config.stream.audio = false;
    config.datagramSize = 65000;
    ASSERT_TRUE(sim.Start(config));
    ASSERT_TRUE(sim.WaitFinished(30000));
    const auto datagrams = devsimtest::ReceiveDatagrams(rx, sim.Counters().bytesSent, 2000);
    ::close(rx);
    const std::vector<uint8_t> recorded = devsimtest::ReadFile(sim.RecordPath());
    std::remove(sim.RecordPath().c_str());
    EXPECT_EQ(datagrams.size(), 5u); // one frame per datagram
    EXPECT_TRUE(Join(datagrams) == recorded);
}

TEST(DevSimNetwork, ControlProtocolAnswersOnItsPort)
{
    CDeviceSimulator sim;
    SimConfig config = SmallStream(SimTransport::None, 0, devsimtest::TempPath("ctl"));
    config.frames = 1;
    config.controlPort = 0;
    ASSERT_TRUE(sim.Start(config)) << sim.Error();
    ASSERT_GT(sim.ControlPort(), 0);
    ASSERT_NE(sim.ControlServer(), nullptr);
    tvdevice::DeviceSettings settings = sim.ControlServer()->Settings();
    settings.serialNumber.serialNumber = "SIM-0042";
    sim.ControlServer()->SetSettings(settings);
    tvprotocol::DeviceSerialNumber sn;
    EXPECT_EQ(tvprotocol::GetDeviceSerialNumber("127.0.0.1", &sn, sim.ControlPort()), 0);
    EXPECT_EQ(sn.serialNumber, "SIM-0042");
    sim.WaitFinished(30000);
    sim.Stop();
    std::remove(sim.RecordPath().c_str());
}

TEST(DevSimNetwork, StartFailsCleanlyOnBadSettings)
{
    CDeviceSimulator sim;
    SimConfig config = SmallStream(SimTransport::Udp, 8001, "");
    config.address = "not-an-address";
    EXPECT_FALSE(sim.Start(config));
    EXPECT_NE(sim.Error().find("not-an-address"), std::string::npos);
    config.address = "127.0.0.1";
    config.stream.frameRate = 31; // does not fit the device headers
    EXPECT_FALSE(sim.Start(config));
    config.stream.frameRate = 25;
    config.recordPath = "/nonexistent-dir/x";
    EXPECT_FALSE(sim.Start(config));
    EXPECT_FALSE(sim.Running());
}

} // namespace
