// The soak: eight simulated devices of mixed kinds and links (UDP, multicast,
// TCP both ways) sent through the simulator's faults (2 % loss, reordering,
// garbage, truncation, timestamp jumps, a TCP disconnect every two minutes)
// into eight players in this process, with overlays, recording and the frame
// callback on. It prints a summary: stalls (no new picture for more than 5 s
// after a device is back), reconnect times, the resident memory's growth
// after the first minute, and the threads and descriptors after TP_Exit
// against before. scripts/soak.sh runs it for a number of minutes and judges
// the figures; in the suite it runs TV_SOAK_MINUTES (default 2) and fails on
// what is not a matter of speed: a player that never draws again after its
// device came back (a bound of 30 s against a hang), threads or descriptors
// left behind.
#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <wingdi.h>

#include "PlayerFixture.h"
#include "win32/window.h"

using tvdevsim::SimKind;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kPlayers = 8;
// A player with no new picture for longer than this after its device is
// back has stalled.
constexpr double kStallSeconds = 5.0;
// The bound against a hang: a player that has not drawn this long after its
// device came back never will.
constexpr double kDeadSeconds = 30.0;

int CountEntries(const char* folder)
{
    int count = 0;
    if (DIR* dir = opendir(folder)) {
        while (dirent* entry = readdir(dir))
            count += entry->d_name[0] != '.';
        closedir(dir);
    }
    return count;
}

// For "socket:[inode]", the protocol and the local and remote addresses (as
// /proc/net shows them), so that a socket left open says whose it is.
std::string SocketOf(const std::string& target)
{
    const auto open = target.find("socket:[");
    if (open != 0)
        return {};
    const std::string inode = target.substr(8, target.size() - 9);
    for (const char* table : {"tcp", "udp", "tcp6", "udp6", "unix"}) {
        std::ifstream in(std::string("/proc/self/net/") + table);
        for (std::string line; std::getline(in, line);) {
            if (line.find(" " + inode + " ") != std::string::npos ||
                (line.size() >= inode.size() + 1 &&
                 line.compare(line.size() - inode.size() - 1, inode.size() + 1, " " + inode) == 0))
                return std::string(" ") + table + ": " + line;
        }
    }
    return {};
}

// What this process's descriptors are open on, one per line.
std::string DescribeDescriptors()
{
    std::string out;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (dirent* entry = readdir(dir)) {
            if (entry->d_name[0] == '.')
                continue;
            char target[512] = {};
            const std::string link = std::string("/proc/self/fd/") + entry->d_name;
            if (readlink(link.c_str(), target, sizeof target - 1) < 0)
                continue;
            out += std::string(entry->d_name) + " -> " + target + SocketOf(target) + "\n";
        }
        closedir(dir);
    }
    return out;
}

double RssMiB()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

void CountFrame(void* user, unsigned char* frame, int size, int, int)
{
    if (frame && size > 0)
        static_cast<std::atomic<uint64_t>*>(user)->fetch_add(1);
}

struct Watched {
    int handle = -1;
    SimKind kind{};
    TvLink link{};
    tvdevsim::CDeviceSimulator* sim = nullptr;
    std::atomic<uint64_t> callbackFrames{0};
    int64_t drawn = 0;
    Clock::time_point lastPicture;
    Clock::time_point since; // the later of the last picture and the device's return
    uint64_t disconnects = 0;
    uint64_t connections = 0;
    bool awaitingReturn = false;  // disconnected; the connection is not back yet
    bool awaitingPicture = false; // back; no picture from the new connection yet
    Clock::time_point disconnectedAt;
    std::vector<double> reconnects;    // disconnect to connection back, seconds
    std::vector<double> firstPictures; // disconnect to the first picture after it
    int stalls = 0;
    bool stalled = false;
    double longestGap = 0;
    bool dead = false;
    // At the last picture: what the device and the player had done, so that a
    // stall can say which faults and which stage it followed.
    tvdevsim::SimCounters atPicture;
    TvPlayerStats statsAtPicture;
};

// The players TV_SOAK_PLAYERS names ("0,4"), else all of them: a shorter
// soak of the links that misbehaved.
std::array<bool, kPlayers> PlayersToRun()
{
    std::array<bool, kPlayers> run{};
    const char* list = std::getenv("TV_SOAK_PLAYERS");
    if (!list || !*list) {
        run.fill(true);
        return run;
    }
    for (const char* p = list; *p;) {
        char* end = nullptr;
        const long i = std::strtol(p, &end, 10);
        if (end == p) {
            ++p;
            continue;
        }
        if (i >= 0 && i < kPlayers)
            run[size_t(i)] = true;
        p = end;
    }
    return run;
}

// One line per stall: the faults the device applied and what the player's
// stages did since its last picture.
void ReportStall(int index, const Watched& w, const tvdevsim::SimCounters& c,
                 const TvPlayerStats& s, double at)
{
    const tvdevsim::SimCounters& a = w.atPicture;
    const TvPlayerStats& b = w.statsAtPicture;
    std::printf("  stall: player %d at %.1f s, no picture for %.1f s; since the last picture "
                "the device sent %llu frames (lost %llu datagrams, reordered %llu, garbage %llu, "
                "truncated %llu, jumps %llu, disconnects %llu), the player received %lld "
                "packets, delivered %lld samples, decoded %lld\n",
                index, at, Seconds(Clock::now() - w.lastPicture),
                (unsigned long long)(c.videoFrames - a.videoFrames),
                (unsigned long long)(c.datagramsLost - a.datagramsLost),
                (unsigned long long)(c.datagramsReordered - a.datagramsReordered),
                (unsigned long long)(c.garbageInserted - a.garbageInserted),
                (unsigned long long)(c.framesTruncated - a.framesTruncated),
                (unsigned long long)(c.timestampJumps - a.timestampJumps),
                (unsigned long long)(c.disconnects - a.disconnects),
                (long long)(s.recvPackets - b.recvPackets),
                (long long)(s.deliverSamples - b.deliverSamples),
                (long long)(s.decodedSamples - b.decodedSamples));
    std::fflush(stdout);
}

} // namespace

class PlayerSoak : public TvPlayerFixture {};

TEST_F(PlayerSoak, EightDevicesThroughFaults)
{
    const double minutes = TvEnvNumber("TV_SOAK_MINUTES", 2);
    const auto length = std::chrono::duration<double>(minutes * 60.0);
    // Every two minutes in a long run; a short run sees a few all the same.
    const double disconnectEvery = minutes >= 10 ? 120.0 : std::max(20.0, minutes * 60.0 / 4);

    // The platform's window machinery is up before the baseline is taken,
    // with its X connection when there is a display (kept for the process).
    NewWindow();
    TvGetX11Display();
    const int threadsBefore = CountEntries("/proc/self/task");
    const int fdsBefore = CountEntries("/proc/self/fd");
    const std::string descriptorsBefore = DescribeDescriptors();

    const SimKind kinds[kPlayers] = {SimKind::Device40,  SimKind::TsMpeg2,  SimKind::TsH264,
                                     SimKind::QBoxMjpeg, SimKind::Device36, SimKind::TsMpeg4,
                                     SimKind::EsMpeg4,   SimKind::EsH264};
    const TvLink links[kPlayers] = {TvLink::Udp,       TvLink::Multicast, TvLink::TcpServer,
                                    TvLink::TcpClient, TvLink::Udp,       TvLink::Multicast,
                                    TvLink::TcpServer, TvLink::TcpClient};
    std::array<Watched, kPlayers> players;
    const std::array<bool, kPlayers> run = PlayersToRun();
    LOGFONTA font{};
    font.lfHeight = 16;
    std::snprintf(font.lfFaceName, sizeof font.lfFaceName, "Liberation Sans");
    for (int i = 0; i < kPlayers; ++i) {
        if (!run[size_t(i)])
            continue;
        Watched& w = players[i];
        tvdevsim::SimConfig config = LiveConfig(kinds[i]);
        tvdevsim::FaultConfig& f = config.faults;
        f.seed = uint64_t(i + 1);
        f.loss.rate = 0.02;
        f.reorder.rate = 0.01;
        f.garbage.rate = 0.005;
        f.truncate.rate = 0.005;
        f.disconnectEverySec = disconnectEvery;
        f.jumpEverySec = 50;
        f.jumpMs = i % 2 ? -4000 : 7000;
        bool skipped = false;
        w.link = links[i];
        w.kind = kinds[i];
        w.handle = OpenLive(config, w.link, &skipped);
        if (skipped) { // no multicast to itself here: unicast instead
            w.link = TvLink::Udp;
            w.handle = OpenLive(config, w.link);
        }
        ASSERT_GE(w.handle, 0);
        w.sim = Simulator();
    }
    // Overlays need the rendered graph's frame processor: after the first picture.
    for (int i = 0; i < kPlayers; ++i) {
        if (!run[size_t(i)])
            continue;
        Watched& w = players[i];
        ASSERT_TRUE(WaitFramesDrawn(w.handle, 1)) << "player " << i << " never drew";
        EXPECT_GE(TP_AddTextOverlay(w.handle, 8, 8, "soak", 0x00FFFFFF, &font, 0, 0), 0);
        EXPECT_GE(TP_AddSysTimeOverlay(w.handle, 8, 200, 0x0000FFFF, &font, 0, 0), 0);
        const POINT a{100, 60}, b{220, 180};
        EXPECT_GE(TP_AddRectangleOverlay(w.handle, &a, &b, 0x000000FF, 0, 0), 0);
        EXPECT_EQ(TP_SetYUVFrameCallBack(w.handle, CountFrame, &w.callbackFrames), 0);
        const std::string name = "soak" + std::to_string(i) + ".avi";
        EXPECT_EQ(TP_StartRecord(w.handle, TempDir().c_str(), name.c_str()), 0);
    }

    const auto start = Clock::now();
    for (Watched& w : players) {
        w.lastPicture = w.since = start;
        if (w.sim) {
            w.atPicture = w.sim->Counters();
            w.statsAtPicture = Statistics(w.handle);
        }
    }
    double rssAtOneMinute = -1;
    for (auto now = start; now - start < length; now = Clock::now()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        now = Clock::now();
        if (rssAtOneMinute < 0 && now - start >= std::chrono::seconds(60))
            rssAtOneMinute = RssMiB();
        for (int i = 0; i < kPlayers; ++i) {
            Watched& w = players[i];
            if (!w.sim)
                continue;
            const tvdevsim::SimCounters counters = w.sim->Counters();
            if (counters.disconnects > w.disconnects) {
                w.disconnects = counters.disconnects;
                w.awaitingReturn = true;
                w.awaitingPicture = false;
                w.disconnectedAt = w.since = now;
            }
            // Connections made since the last look, the disconnect's own poll
            // included: a device back within one poll counts as back at once.
            if (w.awaitingReturn && counters.connections > w.connections) {
                // The device is back: from here a player without pictures stalls.
                w.awaitingReturn = false;
                w.awaitingPicture = true;
                w.reconnects.push_back(Seconds(now - w.disconnectedAt));
                w.since = now;
            }
            if (!w.awaitingReturn)
                w.connections = counters.connections;
            const TvPlayerStats stats = Statistics(w.handle);
            const int64_t drawn = stats.drawn;
            if (drawn > w.drawn) {
                w.drawn = drawn;
                w.atPicture = counters;
                w.statsAtPicture = stats;
                w.longestGap = std::max(w.longestGap, Seconds(now - w.lastPicture));
                w.lastPicture = now;
                w.stalled = false;
                if (!w.awaitingReturn)
                    w.since = now;
                if (w.awaitingPicture) {
                    w.firstPictures.push_back(Seconds(now - w.disconnectedAt));
                    w.awaitingPicture = false;
                }
            }
            // While the device is away nothing is owed.
            const double quiet = w.awaitingReturn ? 0.0 : Seconds(now - w.since);
            if (!w.stalled && quiet > kStallSeconds) {
                w.stalled = true;
                ++w.stalls;
                ReportStall(i, w, counters, stats, Seconds(now - start));
            }
            w.dead = w.dead || quiet > kDeadSeconds;
        }
    }
    const double rssEnd = RssMiB();
    if (rssAtOneMinute < 0)
        rssAtOneMinute = rssEnd;

    TP_Exit();
    StopSimulators();
    const int threadsAfter = CountEntries("/proc/self/task");
    const int fdsAfter = CountEntries("/proc/self/fd");

    int stalls = 0, reconnectCount = 0;
    double reconnectMax = 0, reconnectSum = 0, pictureMax = 0;
    std::printf("soak: %d players for %.1f minutes, TCP disconnects every %.0f s\n",
                int(std::count(run.begin(), run.end(), true)), minutes, disconnectEvery);
    for (int i = 0; i < kPlayers; ++i) {
        if (!run[size_t(i)])
            continue;
        const Watched& w = players[i];
        double worst = 0, worstPicture = 0;
        for (double r : w.reconnects) {
            worst = std::max(worst, r);
            reconnectSum += r;
        }
        for (double r : w.firstPictures)
            worstPicture = std::max(worstPicture, r);
        reconnectMax = std::max(reconnectMax, worst);
        pictureMax = std::max(pictureMax, worstPicture);
        reconnectCount += int(w.reconnects.size());
        stalls += w.stalls;
        std::printf("  player %d %-10s %-10s pictures %6lld callbacks %6llu disconnects %2llu "
                    "back after max %5.2f s, picture after %5.2f s, longest gap %5.2f s, "
                    "stalls %d\n",
                    i, tvdevsim::KindName(w.kind), TvLinkName(w.link), (long long)w.drawn,
                    (unsigned long long)w.callbackFrames.load(), (unsigned long long)w.disconnects,
                    worst, worstPicture, w.longestGap, w.stalls);
    }
    const double growth = rssEnd - rssAtOneMinute;
    std::printf("crashes: 0 (the process ran to its end)\n");
    std::printf("stalls: %d\n", stalls);
    std::printf("reconnects: %d, connection back after max %.2f s (mean %.2f s), first "
                "picture after max %.2f s (polled every 0.1 s)\n",
                reconnectCount, reconnectMax, reconnectCount ? reconnectSum / reconnectCount : 0.0,
                pictureMax);
    std::printf("rss: %.1f MiB after the first minute, %.1f MiB at the end, growth %.1f MiB\n",
                rssAtOneMinute, rssEnd, growth);
    std::printf("threads: %d before, %d after TP_Exit\n", threadsBefore, threadsAfter);
    std::printf("descriptors: %d before, %d after TP_Exit\n", fdsBefore, fdsAfter);
    const bool met = stalls == 0 && pictureMax <= kStallSeconds && growth <= 8.0 &&
                     threadsAfter == threadsBefore && fdsAfter == fdsBefore;
    std::printf("targets: %s\n", met ? "met" : "missed");
    std::fflush(stdout);

    for (int i = 0; i < kPlayers; ++i) {
        if (!run[size_t(i)])
            continue;
        EXPECT_FALSE(players[i].dead) << "player " << i << " stopped drawing for good";
        EXPECT_GT(players[i].drawn, 0) << "player " << i;
        EXPECT_GT(players[i].callbackFrames.load(), 0u) << "player " << i;
    }
    EXPECT_EQ(threadsAfter, threadsBefore) << "threads left behind after TP_Exit";
    EXPECT_EQ(fdsAfter, fdsBefore) << "descriptors left open after TP_Exit; before:\n"
                                   << descriptorsBefore << "after:\n"
                                   << DescribeDescriptors();
}
