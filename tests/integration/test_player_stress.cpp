// Many application threads at once: eight threads call TP_ functions at random
// (close and reopen, playback control, colour, overlays, capture, recording,
// the frame callback, statistics) on four live players while the simulator's
// streams play. Nothing may crash, hang, or (under the race detector's build)
// race; afterwards every player still plays.
//
// TV_STRESS_SECONDS sets how long the threads run (default 4; the race
// detector's run is worth 20).
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <wingdi.h>

#include "PlayerFixture.h"

using tvdevsim::SimKind;

namespace {

constexpr int kPlayers = 4;
constexpr int kThreads = 8;

struct Slot {
    std::atomic<int> handle{-1};
    HWND window = nullptr;
    int formatType = 0;
    int connectType = 0;
    int port = 0;
    std::atomic<int> reopening{0}; // one closer at a time per slot
};

std::atomic<unsigned> g_touched{0};

void OnFrame(void*, unsigned char* frame, int size, int width, int height)
{
    // Touch both ends of the picture: a callback handed a freed or short frame
    // shows under the address sanitizer.
    if (frame && size > 0 && width > 0 && height > 0)
        g_touched += unsigned(frame[0]) + unsigned(frame[size - 1]);
}

enum Op {
    kReopen,
    kPlay,
    kPause,
    kColor,
    kReduce,
    kCut,
    kText,
    kShape,
    kRemoveOverlay,
    kRemoveAll,
    kGrab,
    kRecord,
    kStopRecord,
    kCallback,
    kStatistics,
    kOpCount
};

class PlayerStress : public TvPlayerFixture {
protected:
    // One application thread's random calls until `until`; the count of calls
    // per operation is added to `counts`.
    void Hammer(int thread, std::chrono::steady_clock::time_point until,
                std::array<std::atomic<int>, kOpCount>& counts)
    {
        std::mt19937 random(1234u + unsigned(thread));
        LOGFONTA font{};
        font.lfHeight = 14;
        std::snprintf(font.lfFaceName, sizeof font.lfFaceName, "Liberation Sans");
        const std::string grab = TempDir() + "/grab" + std::to_string(thread) + ".bmp";
        const std::string record = "rec" + std::to_string(thread) + ".avi";
        while (std::chrono::steady_clock::now() < until) {
            Slot& slot = m_slots[random() % kPlayers];
            const int h = slot.handle.load();
            const Op op = Op(random() % kOpCount);
            switch (op) {
            case kReopen: {
                if (slot.reopening.exchange(1) != 0)
                    continue;
                const int old = slot.handle.exchange(-1);
                TP_Uninitialize(old);
                const int fresh = TP_Initialize(slot.window, 1, slot.formatType, 0, 0);
                if (fresh >= 0)
                    TP_OpenStream(fresh, "127.0.0.1", slot.port, slot.connectType, 0);
                slot.handle = fresh;
                slot.reopening = 0;
                break;
            }
            case kPlay:
                TP_PlayControl(h, TP_PLAY_PLAY, 0, nullptr);
                break;
            case kPause:
                TP_PlayControl(h, TP_PLAY_PAUSE, 0, nullptr);
                break;
            case kColor: {
                int b = 0, c = 0, s = 0, u = 0;
                TP_SetColor(h, int(random() % 128), 64, 64, int(random() % 128));
                TP_GetColor(h, &b, &c, &s, &u);
                break;
            }
            case kReduce:
                TP_SetReduceLevel(h, int(random() % 2), int(random() % 2));
                break;
            case kCut: {
                const int cut[4] = {int(random() % 40), int(random() % 40), 280, 200};
                int back[4] = {};
                TP_VideoCutControl(h, TP_CUT_SET, reinterpret_cast<intptr_t>(cut), nullptr);
                TP_VideoCutControl(h, TP_CUT_GET, 0, back);
                break;
            }
            case kText:
                TP_AddTextOverlay(h, int(random() % 200), int(random() % 200), "stress", 0x00FFFFFF,
                                  &font, 0, 0);
                TP_AddSysTimeOverlay(h, 10, 10, 0x0000FF00, &font, 0, 0);
                break;
            case kShape: {
                const POINT a{int(random() % 100), int(random() % 100)}, b{a.x + 50, a.y + 40};
                const POINT poly[3] = {a, b, POINT{a.x, b.y}};
                TP_AddRectangleOverlay(h, &a, &b, 0x000000FF, 0, 0);
                TP_AddCircleOverlay(h, &b, 20, 0x0000FF00, 0, 0);
                TP_AddPolygonOverlay(h, poly, 3, 0x00FF0000, 0, 0);
                break;
            }
            case kRemoveOverlay:
                TP_RemoveOverlay(h, int(random() % 8));
                break;
            case kRemoveAll:
                TP_RemoveAllOverlay(h);
                break;
            case kGrab:
                TP_GrabPicture(h, grab.c_str());
                break;
            case kRecord:
                TP_StartRecord(h, TempDir().c_str(), record.c_str());
                break;
            case kStopRecord:
                TP_StopRecord(h);
                break;
            case kCallback:
                TP_SetYUVFrameCallBack(h, random() % 2 ? OnFrame : nullptr, nullptr);
                break;
            case kStatistics: {
                char text[512];
                TP_GetStatistics(h, text, sizeof text);
                break;
            }
            case kOpCount:
                break;
            }
            ++counts[op];
            // Calls from an application, not a spin: the streams get the CPU too.
            std::this_thread::sleep_for(std::chrono::microseconds(200 + random() % 800));
        }
    }

    std::array<Slot, kPlayers> m_slots;
};

} // namespace

TEST_F(PlayerStress, EightThreadsOnFourPlayersWhileTheyPlay)
{
    const TvLink links[kPlayers] = {TvLink::Udp, TvLink::TcpServer, TvLink::TcpClient, TvLink::Udp};
    const SimKind kinds[kPlayers] = {SimKind::Device40, SimKind::TsH264, SimKind::TsMpeg2,
                                     SimKind::QBoxMjpeg};
    for (int i = 0; i < kPlayers; ++i) {
        Slot& slot = m_slots[i];
        const int h = PlayLive(kinds[i], links[i], 2);
        ASSERT_GE(h, 0);
        slot.handle = h;
        slot.window = WindowOf(h);
        slot.formatType = TvFormatTypeFor(kinds[i]);
        slot.connectType = links[i] == TvLink::Udp ? 2 : links[i] == TvLink::TcpServer ? 3 : 4;
        slot.port = Simulator()->StreamPort();
    }

    const int seconds = int(TvEnvNumber("TV_STRESS_SECONDS", 4));
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    std::array<std::atomic<int>, kOpCount> counts{};
    std::vector<std::future<void>> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.push_back(std::async(std::launch::async,
                                     [this, t, until, &counts] { Hammer(t, until, counts); }));
    // A bound against a deadlock only: every call returns long before it.
    const auto deadline = until + std::chrono::seconds(120);
    for (auto& thread : threads) {
        if (thread.wait_until(deadline) != std::future_status::ready) {
            std::fprintf(stderr, "an application thread never returned from a TP_ call\n");
            std::fflush(stderr);
            std::abort(); // a deadlock: nothing can join the stuck thread
        }
        thread.get();
    }
    for (int op = 0; op < kOpCount; ++op)
        EXPECT_GT(counts[op].load(), 0) << "operation " << op << " never ran";

    // Every player (reopened or not) still plays once it is told to.
    for (int i = 0; i < kPlayers; ++i) {
        SCOPED_TRACE(i);
        const int h = m_slots[i].handle.load();
        ASSERT_GE(h, 0);
        EXPECT_EQ(TP_PlayControl(h, TP_PLAY_PLAY, 0, nullptr), 0);
        TP_RemoveAllOverlay(h);
        const int64_t drawn = Statistics(h).drawn;
        EXPECT_TRUE(WaitFramesDrawn(h, std::max<int64_t>(drawn, 0) + 5))
            << "player " << i << " no longer plays\n"
            << StatisticsText(h);
    }
}
