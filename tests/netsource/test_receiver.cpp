// The network receiver: connect types, the same-parameter rules, reconnection,
// recording and the timing log, against plain sockets on loopback.
#include "CNetReceiver.h"
#include "NWTestUtil.h"

#include <gtest/gtest.h>

#include <csignal>
#include <future>
#include <memory>
#include <regex>
#include <sys/resource.h>
#include <sys/select.h>

using namespace nwtest;

namespace {

constexpr LONG kRing = 0x500000;

LONGLONG Packets(const CNetReceiver& r)
{
    LONGLONG packets = 0, length = 0;
    r.GetStatistics(&packets, &length);
    return packets;
}

LONGLONG Length(const CNetReceiver& r)
{
    LONGLONG packets = 0, length = 0;
    r.GetStatistics(&packets, &length);
    return length;
}

std::string Drain(CNetReceiver& r)
{
    std::string out(0x10000, '\0');
    LONG n = static_cast<LONG>(out.size());
    r.Read(reinterpret_cast<BYTE*>(out.data()), &n, TRUE);
    out.resize(static_cast<size_t>(n));
    return out;
}

// Waits until the receiver has counted `bytes` bytes in all.
bool WaitForLength(const CNetReceiver& r, LONGLONG bytes)
{
    return WaitFor([&] { return Length(r) >= bytes; });
}

std::string Address(CNetReceiver& r, NWConnectType* type = nullptr, USHORT* port = nullptr)
{
    char address[NWSOURCE_ADDRESS_SIZE] = "x";
    NWConnectType t = -1;
    USHORT p = 0;
    EXPECT_EQ(r.GetConnectParam(&t, address, &p), S_OK);
    if (type)
        *type = t;
    if (port)
        *port = p;
    return address;
}

// Waits until the receive thread sleeps in the kernel (state S in its stat
// line), which it does only while blocked waiting.
bool ReceiveThreadSleeps(const CNetReceiver& r)
{
    const std::string stat = "/proc/self/task/" + std::to_string(r.ReceiveThreadId()) + "/stat";
    return WaitFor([&] {
        const std::string line = ReadFile(stat);
        const size_t name = line.rfind(')');
        return name != std::string::npos && name + 2 < line.size() && line[name + 2] == 'S';
    });
}

// Runs call on a thread of its own; true when it returned before the safety
// deadline. The thread is detached, so call must own what it uses.
bool ReturnsInTime(std::function<void()> call)
{
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> returned = done->get_future();
    std::thread([call = std::move(call), done] {
        call();
        done->set_value();
    }).detach();
    return returned.wait_for(std::chrono::milliseconds(kDeadlineMs)) == std::future_status::ready;
}

} // namespace

TEST(NetReceiverConnect, UnknownTypeFailsAndOpensNothing)
{
    CNetReceiver r(nullptr, kRing);
    NWConnectType type = -1;
    USHORT port = 0;
    EXPECT_EQ(Address(r, &type, &port), "");
    EXPECT_EQ(type, NW_CONNECT_UNKNOWN);
    EXPECT_EQ(port, 8001);

    EXPECT_EQ(r.SetConnectParam(NW_CONNECT_UNKNOWN, "127.0.0.1", 9000), E_FAIL);
    EXPECT_EQ(Address(r, &type, &port), "127.0.0.1");
    EXPECT_EQ(port, 9000);
    // A type outside the table opens nothing and succeeds.
    EXPECT_EQ(r.SetConnectParam(7, nullptr, 9000), S_OK);
    EXPECT_EQ(Packets(r), 0);

    const std::string tooLong(NWSOURCE_ADDRESS_SIZE, '1');
    EXPECT_EQ(r.SetConnectParam(NW_CONNECT_UDP, tooLong.c_str(), 9001), E_INVALIDARG);
    EXPECT_EQ(Address(r, &type, &port), "127.0.0.1");
    EXPECT_EQ(type, 7);
}

TEST(NetReceiverConnect, UdpBlocksGoIntoTheRingAndTheCounters)
{
    CNetReceiver r(nullptr, kRing);
    const unsigned short port = FreePort(SOCK_DGRAM);
    // The port is taken modulo 65536.
    ASSERT_EQ(r.SetConnectParam(NW_CONNECT_UDP, nullptr, 65536 * 3 + port), S_OK);
    USHORT stored = 0;
    Address(r, nullptr, &stored);
    EXPECT_EQ(stored, port);

    UdpSender s;
    ASSERT_TRUE(s.Send(port, "first"));
    ASSERT_TRUE(s.Send(port, "second"));
    ASSERT_TRUE(WaitForLength(r, 11));
    EXPECT_EQ(Packets(r), 2);
    EXPECT_EQ(Drain(r), "firstsecond");
}

// A process playing many channels holds more descriptors than select() can
// name; the data socket may be numbered above FD_SETSIZE.
TEST(NetReceiverConnect, ReceivesOnASocketNumberedAboveTheSelectLimit)
{
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
    const rlim_t wanted = FD_SETSIZE + 256;
    if (old.rlim_cur < wanted) {
        if (old.rlim_max < wanted)
            GTEST_SKIP() << "descriptor limit too low to open " << wanted << " files";
        rlimit raised = old;
        raised.rlim_cur = wanted;
        ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &raised), 0);
    }
    // Every lower number taken, so the receiver's socket lands above the limit.
    std::vector<int> fillers;
    for (;;) {
        const int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        fillers.push_back(fd);
        if (fd >= FD_SETSIZE + 8)
            break;
    }
    {
        CNetReceiver r(nullptr, kRing);
        const unsigned short port = FreePort(SOCK_DGRAM);
        ASSERT_EQ(r.SetConnectParam(NW_CONNECT_UDP, nullptr, port), S_OK);
        UdpSender s;
        ASSERT_TRUE(s.Send(port, "above"));
        ASSERT_TRUE(s.Send(port, "limit"));
        EXPECT_TRUE(WaitForLength(r, 10));
        EXPECT_EQ(Drain(r), "abovelimit");
    }
    for (int fd : fillers)
        close(fd);
    setrlimit(RLIMIT_NOFILE, &old);
}

TEST(NetReceiverConnect, EmptyDatagramDoesNotDropTheSocket)
{
    CNetReceiver r(nullptr, kRing);
    const unsigned short port = FreePort(SOCK_DGRAM);
    ASSERT_EQ(r.SetConnectParam(NW_CONNECT_UDP, nullptr, port), S_OK);
    UdpSender s;
    ASSERT_TRUE(s.Send(port, ""));
    std::string all;
    for (int i = 0; i < 20; ++i) {
        const std::string d = "datagram" + std::to_string(i);
        ASSERT_TRUE(s.Send(port, d));
        all += d;
    }
    ASSERT_TRUE(WaitForLength(r, static_cast<LONGLONG>(all.size())));
    EXPECT_EQ(Drain(r), all);
}

TEST(NetReceiverConnect, SameParametersForUdpAndServerChangeNothing)
{
    for (NWConnectType type : {NW_CONNECT_UDP, NW_CONNECT_TCP_SERVER}) {
        SCOPED_TRACE(type);
        CNetReceiver r(nullptr, kRing);
        const unsigned short port = FreePort(type == NW_CONNECT_UDP ? SOCK_DGRAM : SOCK_STREAM);
        ASSERT_EQ(r.SetConnectParam(type, "10.0.0.1", port), S_OK);
        int tcp = -1;
        if (type == NW_CONNECT_UDP) {
            ASSERT_TRUE(UdpSender().Send(port, "abc"));
        } else {
            tcp = ConnectTcp(port);
            ASSERT_GE(tcp, 0);
            ASSERT_TRUE(SendAll(tcp, "abc"));
        }
        ASSERT_TRUE(WaitForLength(r, 3));

        // Another address with the same type and port: kept out, no reset.
        EXPECT_EQ(r.SetConnectParam(type, "10.0.0.2", port + 65536), S_OK);
        EXPECT_EQ(Address(r), "10.0.0.1");
        EXPECT_EQ(Length(r), 3);
        if (type == NW_CONNECT_UDP)
            ASSERT_TRUE(UdpSender().Send(port, "def"));
        else
            ASSERT_TRUE(SendAll(tcp, "def")); // the same connection is still read
        ASSERT_TRUE(WaitForLength(r, 6));
        EXPECT_EQ(Drain(r), "abcdef");
        if (tcp >= 0)
            close(tcp);
    }
}

TEST(NetReceiverConnect, ClientKeepsItsConnectionForTheSameAddressAndReconnectsForAnother)
{
    TcpDevice device;
    CNetReceiver r(nullptr, kRing);
    ASSERT_EQ(r.SetConnectParam(NW_CONNECT_TCP_CLIENT, "127.0.0.1", device.Port()), S_OK);
    const int first = device.Accept();
    ASSERT_GE(first, 0);
    ASSERT_TRUE(SendAll(first, "hello"));
    ASSERT_TRUE(WaitForLength(r, 5));

    EXPECT_EQ(r.SetConnectParam(NW_CONNECT_TCP_CLIENT, "127.0.0.1", device.Port()), S_OK);
    // A null address keeps the stored one: the same device, nothing changes.
    EXPECT_EQ(r.SetConnectParam(NW_CONNECT_TCP_CLIENT, nullptr, device.Port()), S_OK);
    EXPECT_EQ(Address(r), "127.0.0.1");
    EXPECT_EQ(Length(r), 5);
    EXPECT_LT(device.Accept(50), 0);      // no second connection
    ASSERT_TRUE(SendAll(first, "again")); // the first connection is still read
    ASSERT_TRUE(WaitForLength(r, 10));
    EXPECT_EQ(Drain(r), "helloagain");

    // Another address: the old connection ends, the counters restart.
    EXPECT_EQ(r.SetConnectParam(NW_CONNECT_TCP_CLIENT, "127.0.0.2", device.Port()), E_FAIL);
    EXPECT_EQ(Length(r), 0);
    EXPECT_EQ(Address(r), "127.0.0.2");
    char byte;
    EXPECT_EQ(recv(first, &byte, 1, 0), 0); // the device sees the close
    close(first);
}

TEST(NetReceiverConnect, ClientReconnectsWhenTheDeviceCloses)
{
    TcpDevice device;
    CNetReceiver r(nullptr, kRing);
    ASSERT_EQ(r.SetConnectParam(NW_CONNECT_TCP_CLIENT, "127.0.0.1", device.Port()), S_OK);
    int conn = device.Accept();
    ASSERT_GE(conn, 0);
    ASSERT_TRUE(SendAll(conn, "abc"));
    ASSERT_TRUE(WaitForLength(r, 3));
    close(conn);

    conn = device.Accept();
    ASSERT_GE(conn, 0) << "the receiver did not reconnect";
    ASSERT_TRUE(SendAll(conn, "def"));
    ASSERT_TRUE(WaitForLength(r, 6));
    EXPECT_EQ(Drain(r), "abcdef");
    close(conn);
}

TEST(NetReceiverConnect, ClientRetriesUntilTheDeviceListens)
{
    unsigned short port = FreePort(SOCK_STREAM);
    CNetReceiver r(nullptr, kRing);
    EXPECT_EQ(r.SetConnectParam(NW_CONNECT_TCP_CLIENT, "127.0.0.1", port), E_FAIL);

    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    int on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    sockaddr_in a = Loopback(port);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof(a)), 0);
    ASSERT_EQ(listen(listener, 5), 0);
    const int conn = accept(listener, nullptr, nullptr);
    ASSERT_GE(conn, 0);
    ASSERT_TRUE(SendAll(conn, "late"));
    EXPECT_TRUE(WaitForLength(r, 4));
    close(conn);
    close(listener);
}

TEST(NetReceiverConnect, ServerTakesTheLatestConnection)
{
    CNetReceiver r(nullptr, kRing);
    const unsigned short port = FreePort(SOCK_STREAM);
    ASSERT_EQ(r.SetConnectParam(NW_CONNECT_TCP_SERVER, nullptr, port), S_OK);

    const int one = ConnectTcp(port);
    ASSERT_GE(one, 0);
    ASSERT_TRUE(SendAll(one, "one"));
    ASSERT_TRUE(WaitForLength(r, 3));

    const int two = ConnectTcp(port);
    ASSERT_GE(two, 0);
    ASSERT_TRUE(SendAll(two, "two"));
    ASSERT_TRUE(WaitForLength(r, 6));
    // The first connection is no longer read.
    SendAll(one, "lost");
    ASSERT_TRUE(SendAll(two, "three"));
    ASSERT_TRUE(WaitForLength(r, 11));
    EXPECT_EQ(Drain(r), "onetwothree");
    close(one);

    // The device goes away and comes back.
    close(two);
    const int again = ConnectTcp(port);
    ASSERT_GE(again, 0);
    ASSERT_TRUE(SendAll(again, "back"));
    ASSERT_TRUE(WaitForLength(r, 15));
    EXPECT_EQ(Drain(r), "back");
    close(again);
}

TEST(NetReceiverConnect, LeavingServerModeClosesTheListener)
{
    CNetReceiver r(nullptr, kRing);
    const unsigned short port = FreePort(SOCK_STREAM);
    ASSERT_EQ(r.SetConnectParam(NW_CONNECT_TCP_SERVER, nullptr, port), S_OK);
    const int probe = ConnectTcp(port);
    ASSERT_GE(probe, 0);
    close(probe);

    const unsigned short udp = FreePort(SOCK_DGRAM);
    ASSERT_EQ(r.SetConnectParam(NW_CONNECT_UDP, nullptr, udp), S_OK);
    EXPECT_LT(ConnectTcp(port), 0);
    ASSERT_TRUE(UdpSender().Send(udp, "udp"));
    ASSERT_TRUE(WaitForLength(r, 3));

    // And back to the server on the same port.
    ASSERT_EQ(r.SetConnectParam(NW_CONNECT_TCP_SERVER, nullptr, port), S_OK);
    const int conn = ConnectTcp(port);
    ASSERT_GE(conn, 0);
    ASSERT_TRUE(SendAll(conn, "tcp"));
    EXPECT_TRUE(WaitFor([&] { return Length(r) == 3 && Drain(r) == "tcp"; }));
    close(conn);
}

TEST(NetReceiverConnect, PortInUseFailsAndIsRetried)
{
    const unsigned short port = FreePort(SOCK_DGRAM);
    const int blocker = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(port);
    ASSERT_EQ(bind(blocker, reinterpret_cast<sockaddr*>(&any), sizeof(any)), 0);

    CNetReceiver r(nullptr, kRing);
    EXPECT_EQ(r.SetConnectParam(NW_CONNECT_UDP, nullptr, port), E_FAIL);
    close(blocker);
    // The receive thread binds as soon as the port is free.
    UdpSender s;
    EXPECT_TRUE(WaitFor([&] {
        s.Send(port, "x");
        return Length(r) > 0;
    }));
}

// ---- Recording ----

// With nothing to read the receive thread sleeps until it is woken, in poll
// on its socket or, without a socket it could open, on its wake-up alone. New
// parameters and destruction must reach it there; a wake-up that went missing
// would leave SetConnectParam or the destructor waiting for ever.
TEST(NetReceiverWake, ParametersAndDestructionReachASleepingReceiveThread)
{
    enum class Then { Reconfigure, Destroy };
    struct Case {
        const char* name;
        NWConnectType first; // UDP: asleep in poll on its socket; UnKnown: on its wake-up
        Then then;
    };
    const Case cases[] = {
        {"udp socket, new port", NW_CONNECT_UDP, Then::Reconfigure},
        {"udp socket, destroyed", NW_CONNECT_UDP, Then::Destroy},
        {"no socket, new type", NW_CONNECT_UNKNOWN, Then::Reconfigure},
        {"no socket, destroyed", NW_CONNECT_UNKNOWN, Then::Destroy},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto* r = new CNetReceiver(nullptr, kRing);
        const unsigned short first = FreePort(SOCK_DGRAM);
        r->SetConnectParam(c.first, nullptr, first);
        ASSERT_TRUE(ReceiveThreadSleeps(*r));

        if (c.then == Then::Destroy) {
            EXPECT_TRUE(ReturnsInTime([r] { delete r; }));
            continue;
        }
        const unsigned short second = FreePort(SOCK_DGRAM);
        auto hr = std::make_shared<std::atomic<HRESULT>>(E_UNEXPECTED);
        if (!ReturnsInTime(
                [r, hr, second] { *hr = r->SetConnectParam(NW_CONNECT_UDP, nullptr, second); })) {
            // Still inside the receiver: leave it to its thread.
            ADD_FAILURE() << "SetConnectParam did not return";
            continue;
        }
        EXPECT_EQ(hr->load(), S_OK);
        ASSERT_TRUE(UdpSender().Send(second, "after"));
        EXPECT_TRUE(WaitForLength(*r, 5));
        EXPECT_EQ(Packets(*r), 1);
        EXPECT_TRUE(ReturnsInTime([r] { delete r; }));
    }
}

TEST(NetReceiverRecord, SamePathKeepsTheFileAnotherPathStartsANewOne)
{
    TempDir dir;
    CNetReceiver r(nullptr, kRing);
    const unsigned short port = FreePort(SOCK_DGRAM);
    ASSERT_EQ(r.SetConnectParam(NW_CONNECT_UDP, nullptr, port), S_OK);
    UdpSender s;
    const std::string first = dir / "a.tvx", second = dir / "b.tvx";

    ASSERT_EQ(r.StartRecord(first.c_str()), S_OK);
    ASSERT_TRUE(s.Send(port, "abc"));
    ASSERT_TRUE(WaitForLength(r, 3));
    ASSERT_EQ(r.StartRecord(first.c_str()), S_OK);
    ASSERT_TRUE(s.Send(port, "def"));
    ASSERT_TRUE(WaitForLength(r, 6));
    char path[NWSOURCE_PATH_SIZE];
    ASSERT_EQ(r.GetRecordPath(path), S_OK);
    EXPECT_EQ(std::string(path), first);

    ASSERT_EQ(r.StartRecord(second.c_str()), S_OK);
    ASSERT_TRUE(s.Send(port, "ghi"));
    ASSERT_TRUE(WaitForLength(r, 9));
    ASSERT_EQ(r.StopRecord(), S_OK);
    ASSERT_TRUE(s.Send(port, "jkl"));
    ASSERT_TRUE(WaitForLength(r, 12));

    EXPECT_EQ(ReadFile(first), "abcdef");
    EXPECT_EQ(ReadFile(second), "ghi");
    ASSERT_EQ(r.GetRecordPath(path), S_OK);
    EXPECT_STREQ(path, "");
}

// A start that fails must leave nothing recording: the file of the recording
// before stops growing and no path is reported.
TEST(NetReceiverRecord, FailedStartStopsTheCurrentRecording)
{
    TempDir dir;
    const std::string tooLong = dir / std::string(NWSOURCE_PATH_SIZE, 'a');
    const std::string missing = dir / "missing/b.tvx";
    struct Case {
        const char* name;
        const char* path;
    };
    const Case cases[] = {
        {"folder missing", missing.c_str()},
        {"path too long", tooLong.c_str()},
        {"null path", nullptr},
    };
    CNetReceiver r(nullptr, kRing);
    const unsigned short port = FreePort(SOCK_DGRAM);
    ASSERT_EQ(r.SetConnectParam(NW_CONNECT_UDP, nullptr, port), S_OK);
    UdpSender s;
    LONGLONG received = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string first = dir / (std::string(c.name) + ".tvx");
        ASSERT_EQ(r.StartRecord(first.c_str()), S_OK);
        ASSERT_TRUE(s.Send(port, "abc"));
        ASSERT_TRUE(WaitForLength(r, received += 3));

        EXPECT_EQ(r.StartRecord(c.path), E_FAIL);
        char path[NWSOURCE_PATH_SIZE] = "x";
        ASSERT_EQ(r.GetRecordPath(path), S_OK);
        EXPECT_STREQ(path, "");
        ASSERT_TRUE(s.Send(port, "def"));
        ASSERT_TRUE(WaitForLength(r, received += 3));
        EXPECT_EQ(ReadFile(first), "abc");
        EXPECT_FALSE(FileExists(missing));
    }
}

TEST(NetReceiverRecord, ContinuesInNumberedFilesAtTwoGiB)
{
    TempDir dir;
    ASSERT_EQ(mkdir((dir / "rec.d").c_str(), 0755), 0);
    struct Case {
        std::string path, next1, next2;
    };
    const Case cases[] = {
        {dir / "rec.d/cam1.tvx", dir / "rec.d/cam1_1.tvx", dir / "rec.d/cam1_2.tvx"},
        // No "." in the file name: the suffix follows the whole path.
        {dir / "rec.d/cam2", dir / "rec.d/cam2_1.tvx", dir / "rec.d/cam2_2.tvx"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        CNetReceiver r(nullptr, kRing);
        const unsigned short port = FreePort(SOCK_DGRAM);
        ASSERT_EQ(r.SetConnectParam(NW_CONNECT_UDP, nullptr, port), S_OK);
        UdpSender s;
        ASSERT_EQ(r.StartRecord(c.path.c_str()), S_OK);
        ASSERT_TRUE(s.Send(port, "head"));
        ASSERT_TRUE(WaitForLength(r, 4));

        // Just below 2 GiB the block still goes into the same file.
        constexpr off_t kTwoGiB = 0x80000000LL;
        ASSERT_EQ(truncate(c.path.c_str(), kTwoGiB - 1), 0);
        ASSERT_TRUE(s.Send(port, "x"));
        ASSERT_TRUE(WaitForLength(r, 5));
        EXPECT_FALSE(FileExists(c.next1));

        ASSERT_TRUE(s.Send(port, "tail1"));
        ASSERT_TRUE(WaitForLength(r, 10));
        EXPECT_EQ(ReadFile(c.next1), "tail1");
        ASSERT_EQ(truncate(c.next1.c_str(), kTwoGiB), 0);
        ASSERT_TRUE(s.Send(port, "tail2"));
        ASSERT_TRUE(WaitForLength(r, 15));
        EXPECT_EQ(ReadFile(c.next2), "tail2");

        struct stat st;
        ASSERT_EQ(stat(c.path.c_str(), &st), 0);
        EXPECT_EQ(st.st_size, kTwoGiB);
        char path[NWSOURCE_PATH_SIZE];
        ASSERT_EQ(r.GetRecordPath(path), S_OK);
        EXPECT_EQ(std::string(path), c.path); // the first file's name
        r.StopRecord();
        unlink(c.path.c_str());
        unlink(c.next1.c_str());
    }
}

TEST(NetReceiverRecord, FullDiskKeepsReceptionGoingAndFilesWhole)
{
    TempDir dir;
    CNetReceiver r(nullptr, kRing);
    const unsigned short port = FreePort(SOCK_DGRAM);
    ASSERT_EQ(r.SetConnectParam(NW_CONNECT_UDP, nullptr, port), S_OK);
    UdpSender s;

    // A device that is always full.
    if (r.StartRecord("/dev/full") == S_OK) {
        ASSERT_TRUE(s.Send(port, "abc"));
        ASSERT_TRUE(s.Send(port, "def"));
        ASSERT_TRUE(WaitForLength(r, 6));
        EXPECT_EQ(Drain(r), "abcdef");
        r.StopRecord();
    }

    // A file size limit makes the second block fail half-way: it is cut off
    // again and the third, which fits, follows the first.
    const std::string path = dir / "limited.tvx";
    ASSERT_EQ(r.StartRecord(path.c_str()), S_OK);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto* oldHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit limited = old;
    limited.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const std::string a(600, 'a'), b(600, 'b'), c(300, 'c');
    ASSERT_TRUE(s.Send(port, a));
    ASSERT_TRUE(WaitForLength(r, 600));
    ASSERT_TRUE(s.Send(port, b));
    ASSERT_TRUE(WaitForLength(r, 1200));
    ASSERT_TRUE(s.Send(port, c));
    const bool all = WaitForLength(r, 1500);
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    ASSERT_TRUE(all);
    r.StopRecord();
    EXPECT_EQ(ReadFile(path), a + c);
}

// ---- Timing log ----

TEST(NetReceiverTimingLog, FlagsGapsAboveSeventyMilliseconds)
{
    DriveC drive;
    drive.MakeLogFolder();
    {
        CNWTimingLog log;
        log.Open(1000);
        ASSERT_TRUE(log.IsOpen());
        const BYTE marked[] = {'>', '>', '>', '>', 1, 2};
        const BYTE almost[] = {'>', '>', '>', 'x', 1, 2};
        log.OnBlock(marked, sizeof(marked), 1070);
        log.OnBlock(almost, sizeof(almost), 1100); // no line, no gap change
        log.OnBlock(marked, sizeof(marked), 1141);
        log.OnBlock(marked, 3, 1142); // too short to carry the marker
        log.OnBlock(marked, sizeof(marked), 1141 + 5000);
    }
    EXPECT_EQ(ReadFile(drive.LogFile(0)), "ID:0, 1070, sub:70   \n"
                                          "ID:1, 1141, sub:71***\n"
                                          "ID:2, 6141, sub:5000***\n");
}

TEST(NetReceiverTimingLog, TakesTheFirstFreeIndex)
{
    DriveC drive;
    {
        CNWTimingLog log;
        log.Open(0);
        EXPECT_FALSE(log.IsOpen()); // no folder, no log
    }
    drive.MakeLogFolder();
    for (int i : {0, 1, 3})
        std::ofstream(drive.LogFile(i)) << "earlier run";
    {
        CNWTimingLog log;
        log.Open(0);
        EXPECT_TRUE(log.IsOpen());
    }
    EXPECT_TRUE(FileExists(drive.LogFile(2)));
    EXPECT_EQ(ReadFile(drive.LogFile(3)), "earlier run");
    for (int i = 0; i < 10; ++i)
        std::ofstream(drive.LogFile(i), std::ios::app) << "";
    CNWTimingLog log;
    log.Open(0);
    EXPECT_FALSE(log.IsOpen()); // all ten taken
}

TEST(NetReceiverTimingLog, ReceiverLogsMarkedBlocksOnly)
{
    DriveC drive;
    drive.MakeLogFolder();
    {
        CNetReceiver r(nullptr, kRing);
        const unsigned short port = FreePort(SOCK_DGRAM);
        ASSERT_EQ(r.SetConnectParam(NW_CONNECT_UDP, nullptr, port), S_OK);
        UdpSender s;
        ASSERT_TRUE(s.Send(port, ">>>>frame1"));
        ASSERT_TRUE(s.Send(port, ">>>xnotmarked"));
        ASSERT_TRUE(s.Send(port, ">>>>frame2"));
        ASSERT_TRUE(WaitFor([&] { return Packets(r) == 3; }));
    }
    const std::string text = ReadFile(drive.LogFile(0));
    EXPECT_TRUE(std::regex_match(
        text, std::regex(R"(ID:0, \d+, sub:\d+(\*\*\*|   )\nID:1, \d+, sub:\d+(\*\*\*|   )\n)")))
        << text;
}

TEST(NetReceiverTimingLog, ReceptionWorksWithoutTheLogFolder)
{
    DriveC drive; // no SoftDecLog folder
    CNetReceiver r(nullptr, kRing);
    const unsigned short port = FreePort(SOCK_DGRAM);
    ASSERT_EQ(r.SetConnectParam(NW_CONNECT_UDP, nullptr, port), S_OK);
    ASSERT_TRUE(UdpSender().Send(port, ">>>>frame"));
    ASSERT_TRUE(WaitForLength(r, 9));
    EXPECT_EQ(Drain(r), ">>>>frame");
    EXPECT_FALSE(FileExists(drive.LogFile(0)));
}
