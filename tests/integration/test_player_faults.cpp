// What networks, applications and windows throw at live players, through the
// TP_ interface: a stream without a valid frame, a source that goes away and
// comes back, calls from several threads at once, a window destroyed under a
// running player, and calls on a handle while another thread removes it.
// None may crash or hang; each call answers with its documented code.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <set>
#include <thread>
#include <vector>

#include <windows.h>

#include "INWSource.h"
#include "PlayerFixture.h"

using tvdevsim::SimKind;

namespace {

using PlayerFaults = TvPlayerFixture;

// The call's result, or `onHang` (with a failure) when it has not returned
// after a generous time: a guard against a deadlock, not a timing check.
template <class F> int Returns(F call, int onHang = -12345)
{
    auto done = std::async(std::launch::async, call);
    if (done.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
        ADD_FAILURE() << "the call never returned";
        done.wait(); // nothing sane is left to do
        return onHang;
    }
    return done.get();
}

// A free UDP port and a socket that sends to it on 127.0.0.1.
struct UdpSender {
    int socket = -1;
    sockaddr_in to{};
    explicit UdpSender(int port)
    {
        socket = ::socket(AF_INET, SOCK_DGRAM, 0);
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<uint16_t>(port));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    }
    ~UdpSender() { ::close(socket); }
    void Send(const std::vector<uint8_t>& bytes)
    {
        ::sendto(socket, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to),
                 sizeof to);
    }
};

int FreeUdpPort()
{
    const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(s);
    return ntohs(a.sin_port);
}

TEST_F(PlayerFaults, AStreamWithoutAValidFrameKeepsPollingAndStillCloses)
{
    const int port = FreeUdpPort();
    const int handle = TP_Initialize(NewWindow(), 1, 3, 0, 0);
    ASSERT_GE(handle, 0);
    ASSERT_EQ(TP_OpenStream(handle, "127.0.0.1", port, NW_CONNECT_UDP, 0), 0);

    // Bytes that never form a frame header.
    UdpSender sender(port);
    std::vector<uint8_t> noise(1200);
    uint32_t x = 12345;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    while (std::chrono::steady_clock::now() < end) {
        for (uint8_t& b : noise) {
            x = x * 1664525u + 1013904223u;
            b = static_cast<uint8_t>(x >> 24) & 0x3f; // never '>'
        }
        sender.Send(noise);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    int result = 0;
    const TvPlayerStats stats = Statistics(handle, &result);
    EXPECT_GT(stats.recvPackets, 0);
    // Nothing rendered: the chain (and its frame processor) is not there.
    EXPECT_EQ(result, TP_ERR_NO_PROCESSOR_CUT);
    EXPECT_EQ(stats.drawn, -1);
    EXPECT_EQ(CountMessages(0x401), 0);

    EXPECT_EQ(Returns([&] { return TP_Uninitialize(handle); }), 0);
    EXPECT_EQ(TP_GetStatistics(handle, nullptr, 0), TP_ERR_INVALID_HANDLE);
}

TEST_F(PlayerFaults, TheTcpPictureResumesAfterTheDeviceReconnects)
{
    for (TvLink link : {TvLink::TcpServer, TvLink::TcpClient}) {
        SCOPED_TRACE(TvLinkName(link));
        tvdevsim::SimConfig config = LiveConfig(SimKind::Device40);
        config.faults.disconnectEverySec = 1.0;
        const int handle = OpenLive(config, link);
        ASSERT_GE(handle, 0);
        auto* sim = Simulator();
        ASSERT_TRUE(WaitFramesDrawn(handle, 3)) << StatisticsText(handle);
        // Two reconnections later the picture still moves.
        const auto start = std::chrono::steady_clock::now();
        while (sim->Counters().disconnects < 2 &&
               std::chrono::steady_clock::now() - start < std::chrono::seconds(30))
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ASSERT_GE(sim->Counters().disconnects, 2u);
        const int64_t drawn = Statistics(handle).drawn;
        EXPECT_TRUE(WaitFramesDrawn(handle, drawn + 10)) << StatisticsText(handle);
        EXPECT_GE(sim->Counters().connections, 3u);
        EXPECT_EQ(TP_Uninitialize(handle), 0);
    }
}

TEST_F(PlayerFaults, TheUdpPictureResumesWhenTheSenderComesBack)
{
    const int handle = PlayLive(SimKind::Device40, TvLink::Udp, 3);
    ASSERT_GE(handle, 0);
    Simulator()->Stop();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const TvPlayerStats quiet = Statistics(handle);

    // The same device on the same port again.
    tvdevsim::CDeviceSimulator again;
    tvdevsim::SimConfig config = LiveConfig(SimKind::Device40);
    config.transport = tvdevsim::SimTransport::Udp;
    config.address = "127.0.0.1";
    config.port = Simulator()->StreamPort();
    again.SetLogHandler([](const std::string&) {});
    ASSERT_TRUE(again.Start(config)) << again.Error();
    EXPECT_TRUE(WaitFramesDrawn(handle, quiet.drawn + 10)) << StatisticsText(handle);
    EXPECT_GT(Statistics(handle).recvPackets, quiet.recvPackets);
    TP_Uninitialize(handle);
    again.Stop();
}

TEST_F(PlayerFaults, SeveralThreadsOnDifferentHandles)
{
    constexpr int kThreads = 3;
    std::vector<int> handles;
    for (int i = 0; i < kThreads; ++i) {
        handles.push_back(OpenLive(SimKind::Device40, TvLink::Udp));
        ASSERT_GE(handles.back(), 0);
    }
    for (int h : handles)
        ASSERT_TRUE(WaitFramesDrawn(h, 1)) << StatisticsText(h);
    std::vector<HWND> spare;
    for (int i = 0; i < kThreads; ++i)
        spare.push_back(NewWindow());

    std::atomic<int> unexpected{0};
    std::vector<std::thread> threads;
    std::vector<int> created(kThreads, -1);
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            const int h = handles[i];
            auto expect = [&](int result, int wanted) {
                if (result != wanted)
                    ++unexpected;
            };
            // Players made and removed while the others run.
            created[i] = TP_Initialize(spare[i], 1, 3, 2, 0);
            for (int round = 0; round < 200; ++round) {
                char text[512];
                expect(TP_GetStatistics(h, text, sizeof text), 0);
                int volume = -1;
                expect(TP_PlayControl(h, TP_PLAY_SET_VOLUME, 40 + i, nullptr), 0);
                expect(TP_PlayControl(h, TP_PLAY_GET_VOLUME, 0, &volume), 0);
                expect(volume, 40 + i);
                double rate = 0;
                expect(TP_PlayControl(h, TP_PLAY_GET_RATE, 0, &rate), 0);
                expect(TP_PlayControl(h, 4, 0, nullptr), TP_ERR_UNSUPPORTED);
                expect(TP_PlayControl(created[i], TP_PLAY_PLAY, 0, nullptr), TP_ERR_NO_PLAYER);
            }
            expect(TP_Uninitialize(created[i]), 0);
            expect(TP_Uninitialize(h), 0);
        });
    }
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(unexpected.load(), 0);
    std::set<int> distinct(created.begin(), created.end());
    EXPECT_EQ(distinct.size(), static_cast<size_t>(kThreads));
    for (int h : handles)
        EXPECT_EQ(TP_PlayControl(h, TP_PLAY_PLAY, 0, nullptr), TP_ERR_INVALID_HANDLE);
}

TEST_F(PlayerFaults, AWindowDestroyedUnderARunningPlayer)
{
    // Destroyed while playing, and while still polling for the format.
    const int playing = PlayLive(SimKind::Device40, TvLink::Udp, 3);
    ASSERT_GE(playing, 0);
    HWND polling = NewWindow();
    const int waiting = TP_Initialize(polling, 1, 3, 0, 0);
    ASSERT_GE(waiting, 0);

    ASSERT_TRUE(DestroyWindow(WindowOf(playing)));
    ASSERT_TRUE(DestroyWindow(polling));
    EXPECT_EQ(TP_ReSize(playing), TP_ERR_INVALID_HANDLE); // no window to fill any more
    // The players carry on without their windows until they are removed.
    EXPECT_TRUE(SUCCEEDED(TP_PlayControl(playing, TP_PLAY_STOP, 0, nullptr)));
    EXPECT_TRUE(SUCCEEDED(TP_PlayControl(playing, TP_PLAY_PLAY, 0, nullptr)));
    EXPECT_TRUE(SUCCEEDED(TP_PlayControl(waiting, TP_PLAY_STOP, 0, nullptr)));
    EXPECT_EQ(Returns([&] { return TP_Uninitialize(waiting); }), 0);
    EXPECT_EQ(Returns([&] { return TP_Uninitialize(playing); }), 0);
}

TEST_F(PlayerFaults, CallsOnAHandleBeingRemovedOrClosed)
{
    // Even rounds remove the handle, odd ones close its player (command 3);
    // either way the other thread's calls answer 0 or 10600 (unknown handle,
    // or a player without graph).
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        const int handle = PlayLive(SimKind::Device40, TvLink::Udp, 1);
        ASSERT_GE(handle, 0);
        std::atomic<bool> stop{false};
        std::atomic<int> unexpected{0};
        std::atomic<int> calls{0};
        std::thread caller([&] {
            while (!stop.load()) {
                char text[512];
                const int a = TP_GetStatistics(handle, text, sizeof text);
                int volume = 0;
                const int b = TP_PlayControl(handle, TP_PLAY_GET_VOLUME, 0, &volume);
                int cut[4];
                const int c = TP_VideoCutControl(handle, TP_CUT_GET, 0, cut);
                for (int r : {a, b, c})
                    if (r != 0 && r != TP_ERR_INVALID_HANDLE)
                        ++unexpected;
                ++calls;
                if (a == TP_ERR_INVALID_HANDLE && b == TP_ERR_INVALID_HANDLE)
                    break;
            }
        });
        while (calls.load() < 20)
            std::this_thread::yield();
        if (round % 2 == 0)
            EXPECT_EQ(Returns([&] { return TP_Uninitialize(handle); }), 0);
        else
            EXPECT_EQ(Returns([&] { return TP_PlayControl(handle, TP_PLAY_CLOSE, 0, nullptr); }),
                      0);
        stop = true;
        caller.join();
        EXPECT_EQ(unexpected.load(), 0);
        EXPECT_EQ(TP_PlayControl(handle, TP_PLAY_PLAY, 0, nullptr), TP_ERR_INVALID_HANDLE);
        EXPECT_EQ(TP_Uninitialize(handle), 0);
    }
}

} // namespace
