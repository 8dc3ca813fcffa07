// The idle cost of a wall of players: 32 players (TP_ API, one virtual window
// each) opened on UDP streams that have not started, so each waits with its
// network source and splitter built and its format poll running. Over a 10 s
// window (after 2 s to settle) it reports, from the process's own clocks:
//
//   cpu_pct_of_core          the whole process's CPU over the window, as a
//                            percentage of one core (target: <= 2 for all 32)
//   wakeups_per_s_per_player context switches of every thread of the process
//                            per second, divided by the players
//   wk_<thread>              the same per thread name (who wakes), per player
//   cpu_pct_<thread>         CPU per thread name, percentage of one core
//
// The baseline is the same process before any player exists (counted over the
// same window and subtracted), so the benchmark's own threads do not count.
#include "FreeUdpPort.h"
#include "TaskStats.h"

#include "TarvoPlayLib.h"
#include "win32/window.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <thread>
#include <vector>

namespace {

constexpr int kPlayers = 32;
constexpr int kSettleSeconds = 2;
constexpr int kWindowSeconds = 10;
constexpr int kDeviceH264 = 3; // the device's own framed H.264
constexpr int kUdp = 2;

struct Window {
    double cpuSeconds;
    std::map<std::string, TaskCost> byName;
};

Window Measure(int seconds)
{
    const std::vector<TaskSample> before = SampleTasks();
    const double cpuBefore = ProcessCpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    return Window{cpu, CostByName(before, SampleTasks())};
}

void BM_IdlePlayers(benchmark::State& state)
{
    for (auto _ : state) {
        TP_Init();
        const Window baseline = Measure(1);

        std::vector<HWND> windows;
        std::vector<int> handles;
        for (int i = 0; i < kPlayers; ++i) {
            HWND hWnd = TvCreateVirtualWindow(320, 240);
            const int handle = hWnd ? TP_Initialize(hWnd, 1, kDeviceH264, 0, 0) : -1;
            if (handle < 0 || TP_OpenStream(handle, "127.0.0.1", FreeUdpPort(), kUdp, 0) != 0) {
                state.SkipWithError("cannot open a player (modules registered in the build?)");
                break;
            }
            windows.push_back(hWnd);
            handles.push_back(handle);
        }
        if (static_cast<int>(handles.size()) == kPlayers) {
            std::this_thread::sleep_for(std::chrono::seconds(kSettleSeconds));
            const Window idle = Measure(kWindowSeconds);

            uint64_t switches = 0;
            for (const auto& [name, cost] : idle.byName) {
                switches += cost.switches;
                const double perPlayer =
                    static_cast<double>(cost.switches) / kWindowSeconds / kPlayers;
                // Only the threads that wake or spend something are worth a column.
                if (perPlayer >= 0.05 || cost.cpuSeconds > 0.001) {
                    state.counters["wk_" + name] = perPlayer;
                    state.counters["cpu_pct_" + name] = cost.cpuSeconds * 100 / kWindowSeconds;
                }
            }
            uint64_t baseSwitches = 0;
            for (const auto& [name, cost] : baseline.byName)
                baseSwitches += cost.switches;
            const double basePerSecond = static_cast<double>(baseSwitches);
            state.counters["players"] = kPlayers;
            state.counters["cpu_pct_of_core"] =
                (idle.cpuSeconds - baseline.cpuSeconds * kWindowSeconds) * 100 / kWindowSeconds;
            state.counters["wakeups_per_s_per_player"] =
                (static_cast<double>(switches) / kWindowSeconds - basePerSecond) / kPlayers;
            state.counters["threads"] = static_cast<double>(SampleTasks().size());
        }
        for (int handle : handles)
            TP_Uninitialize(handle);
        for (HWND hWnd : windows)
            DestroyWindow(hWnd);
        TP_Exit();
    }
}

} // namespace

BENCHMARK(BM_IdlePlayers)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
