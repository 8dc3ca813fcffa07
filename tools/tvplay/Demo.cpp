#include "Demo.h"

#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "PlayWindow.h"
#include "PlaySteps.h"
#include "TarvoPlayLib.h"
#include "tvdevsim/DeviceSimulator.h"

namespace {

constexpr int kRecordSeconds = 10;
// Generous guards against a hang: a picture normally comes within two seconds
// (much later under the thread sanitizer).
constexpr int kFirstPictureMs = 60000;
constexpr int kStepPictureMs = 20000;
// Where the overlays go on the simulator's 704 x 576 picture. The frame
// processor counts y up from the picture's bottom edge (an item's lower edge
// is y rows above it): the text and the time sit just below the frame counter
// at the top, the rectangle spans rows 156 to 356 from the top.
constexpr int kTextX = 24;
constexpr int kTextY = 424;
constexpr int kTimeY = 386;
constexpr int kRect[4] = {360, 220, 660, 420}; // left, top, right, bottom

struct DemoState {
    CPlayWindow* window = nullptr;
    CStepLog* log = nullptr;
    bool quit = false;
};

// Keeps the X11 window alive; q, Escape or closing the window end the demo.
bool Pump(void* user)
{
    auto* state = static_cast<DemoState*>(user);
    for (const CPlayWindow::Event& e : state->window->PollEvents()) {
        if (e.kind == CPlayWindow::Event::Kind::Closed ||
            (e.kind == CPlayWindow::Event::Kind::Key && (e.key == 'q' || e.key == 27)))
            state->quit = true;
    }
    return !state->quit;
}

// Waits `ms`, pumping the window; false when the viewer quit.
bool Pause(DemoState& state, int ms)
{
    for (int waited = 0; waited < ms; waited += 20) {
        if (!Pump(&state))
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return Pump(&state);
}

std::atomic<int> g_renderFailures{0};

intptr_t OnWindowMessage(HWND, unsigned int msg, uintptr_t wParam, intptr_t, void* user)
{
    // 0x401: the stream's video could not be rendered (wParam: the HRESULT).
    if (msg == 0x401) {
        ++g_renderFailures;
        static_cast<CStepLog*>(user)->Say("window message 0x401: the video could not be "
                                          "rendered (%s)",
                                          Describe(int(uint32_t(wParam))).c_str());
    }
    return 0;
}

int MessageBoxToLog(HWND, LPCSTR text, LPCSTR caption, UINT, void* user)
{
    static_cast<CStepLog*>(user)->Say("message box: %s: %s", caption ? caption : "",
                                      text ? text : "");
    return IDOK;
}

long long FileSize(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

std::string MakeOutDir(const std::string& asked)
{
    if (!asked.empty()) {
        mkdir(asked.c_str(), 0755);
        struct stat st {};
        return stat(asked.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? asked : std::string();
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tvplay-demo-XXXXXX";
    return mkdtemp(pattern.data()) ? pattern : std::string();
}

// The live half: the simulator's stream on a stream player, with overlays,
// recording, capture and statistics. Returns the record file ("" when none).
std::string PlayLive(DemoState& state, int handle, int streamPort, const std::string& outDir)
{
    CStepLog& log = *state.log;
    HWND hwnd = state.window->Handle();
    int r = TP_OpenStream(handle, "127.0.0.1", streamPort, 4, 0);
    if (!log.Check(r == 0, "TP_OpenStream(127.0.0.1:%d, TCP client) = %s", streamPort,
                   Describe(r).c_str()))
        return "";

    log.Say("waiting for the first picture (the splitter learns the stream's format, the "
            "player renders the decoding chain)");
    uint64_t shown = 0;
    if (!log.Check(WaitForPictures(hwnd, 1, kFirstPictureMs, Pump, &state, &shown),
                   "first picture in the window")) {
        log.Say("statistics: %s", StatisticsLine(handle).c_str());
        return "";
    }

    LOGFONTA font = OverlayFont(32);
    int text = TP_AddTextOverlay(handle, kTextX, kTextY, "Tarvo demo: live camera 1", 0xFFFFFF,
                                 &font, 0, 0);
    log.Check(text >= 0, "text overlay \"Tarvo demo: live camera 1\" at (%d, %d): index %d", kTextX,
              kTextY, text);
    LOGFONTA small = OverlayFont(26);
    int time = TP_AddSysTimeOverlay(handle, kTextX, kTimeY, 0xFFFFFF, &small, 0, 0);
    log.Check(time >= 0, "time overlay at (%d, %d): index %d", kTextX, kTimeY, time);
    POINT topLeft = {kRect[0], kRect[1]}, bottomRight = {kRect[2], kRect[3]};
    int rect = TP_AddRectangleOverlay(handle, &topLeft, &bottomRight, 0x0000FF, 0, 0);
    log.Check(rect >= 0, "red rectangle overlay (%d, %d)-(%d, %d): index %d", kRect[0], kRect[1],
              kRect[2], kRect[3], rect);

    // The folder ends in '/': the player joins folder and name with a backslash
    // otherwise, which only drive paths ("C:\\rec") take as a separator.
    r = TP_StartRecord(handle, (outDir + "/").c_str(), "live.tvx");
    const std::string recordPath = outDir + "/live.tvx";
    if (!log.Check(r == 0, "TP_StartRecord(%s, live.tvx) = %s; recording %d seconds",
                   outDir.c_str(), Describe(r).c_str(), kRecordSeconds))
        return "";

    // Ten seconds by the clock, a statistics line each second, the capture halfway.
    bool captured = false, halfway = false;
    const double start = log.Seconds();
    double nextLine = start + 1;
    while (log.Seconds() < start + kRecordSeconds) {
        if (!Pause(state, 50))
            break;
        if (log.Seconds() >= nextLine) {
            nextLine += 1;
            log.Say("statistics: %s", StatisticsLine(handle).c_str());
        }
        if (!halfway && log.Seconds() >= start + kRecordSeconds / 2.0) {
            halfway = true;
            // The overlays are drawn into the picture by now.
            const std::string bmp = outDir + "/capture.bmp";
            r = TP_GrabPicture(handle, bmp.c_str());
            captured =
                log.Check(r == 0 && FileSize(bmp) > 54, "TP_GrabPicture: %s (%s, %lld bytes)",
                          bmp.c_str(), Describe(r).c_str(), FileSize(bmp));
            SaveSnapshot(log, hwnd, outDir + "/live.png");
        }
    }
    if (!captured && !state.quit)
        log.Check(false, "no capture taken");
    r = TP_StopRecord(handle);
    log.Check(r == 0 && FileSize(recordPath) > 0, "TP_StopRecord = %s: %s, %lld bytes",
              Describe(r).c_str(), recordPath.c_str(), FileSize(recordPath));
    log.Say("window showed %llu pictures of the live stream",
            static_cast<unsigned long long>(PicturesShown(hwnd)));
    return FileSize(recordPath) > 0 ? recordPath : "";
}

// The recorded half: a file player on the same handle, seek, double speed, steps.
void PlayRecording(DemoState& state, int handle, const std::string& recordPath,
                   const std::string& outDir)
{
    CStepLog& log = *state.log;
    HWND hwnd = state.window->Handle();
    int r = TP_OpenLocalFile(handle, recordPath.c_str());
    if (!log.Check(r == 0, "TP_OpenLocalFile(%s) = %s (the stream player is replaced)",
                   recordPath.c_str(), Describe(r).c_str()))
        return;
    if (!log.Check(WaitForPictures(hwnd, 1, kFirstPictureMs, Pump, &state),
                   "first picture of the recording"))
        return;
    LOGFONTA font = OverlayFont(32);
    int text = TP_AddTextOverlay(handle, kTextX, kTextY, "Tarvo demo: playback of live.tvx",
                                 0xFFFFFF, &font, 0, 0);
    log.Check(text >= 0, "text overlay on the playback: index %d", text);

    int duration = 0, position = 0;
    r = TP_PlayControl(handle, TP_PLAY_GET_DURATION, 0, &duration);
    if (!log.Check(r == 0 && duration > 0, "duration %d ms: %s", duration, Describe(r).c_str()))
        return;
    const int middle = duration / 2;
    r = TP_PlayControl(handle, TP_PLAY_SET_POSITION, middle, nullptr);
    TP_PlayControl(handle, TP_PLAY_GET_POSITION, 0, &position);
    // The player seeks to a whole second, the file to the key frame that starts
    // the picture group around it.
    log.Check(r == 0 && std::abs(position - middle / 1000 * 1000) <= 1000,
              "seek to the middle, %d ms: %s, position now %d ms", middle, Describe(r).c_str(),
              position);

    double rate = 2.0, rateRead = 0;
    r = TP_PlayControl(handle, TP_PLAY_SET_RATE, reinterpret_cast<intptr_t>(&rate), nullptr);
    TP_PlayControl(handle, TP_PLAY_GET_RATE, 0, &rateRead);
    log.Check(r == 0 && rateRead == 2.0, "double speed: %s, rate now %.1f", Describe(r).c_str(),
              rateRead);
    const int before = position;
    for (int second = 1; second <= 2; ++second) {
        if (!Pause(state, 1000))
            return;
        TP_PlayControl(handle, TP_PLAY_GET_POSITION, 0, &position);
        log.Say("position %d ms; statistics: %s", position, StatisticsLine(handle).c_str());
    }
    log.Check(position > before, "playback moved on at double speed: %d ms -> %d ms", before,
              position);

    // Back to normal speed (every picture again, not key frames only) and to
    // the middle, where there are pictures to step through even when the
    // double speed reached the end; then picture by picture.
    rate = 1.0;
    r = TP_PlayControl(handle, TP_PLAY_SET_RATE, reinterpret_cast<intptr_t>(&rate), nullptr);
    int back = TP_PlayControl(handle, TP_PLAY_SET_POSITION, middle, nullptr);
    log.Check(r == 0 && back == 0, "normal speed: %s; back to %d ms: %s", Describe(r).c_str(),
              middle, Describe(back).c_str());
    r = TP_PlayControl(handle, TP_PLAY_PAUSE, 0, nullptr);
    // S_FALSE: the graph pauses once the renderer holds a picture.
    log.Check(r == S_OK || r == S_FALSE, "pause: %s", Describe(r).c_str());
    Pause(state, 300);
    for (int step = 1; step <= 3; ++step) {
        const uint64_t seen = PicturesShown(hwnd);
        r = TP_PlayControl(handle, TP_PLAY_STEP_FORWARD, 0, nullptr);
        bool next = r == 0 && WaitForPictures(hwnd, seen + 1, kStepPictureMs, Pump, &state);
        TP_PlayControl(handle, TP_PLAY_GET_POSITION, 0, &position);
        log.Check(next, "step %d: %s, one more picture, position %d ms", step, Describe(r).c_str(),
                  position);
        // Let the graph settle back into pause before the next step (and let a
        // person see the picture).
        if (state.quit || !Pause(state, 400))
            return;
    }
    SaveSnapshot(log, hwnd, outDir + "/playback.png");
}

} // namespace

int RunDemo(const PlayOptions& options)
{
    CStepLog log;
    TvSetMessageBoxHandler(MessageBoxToLog, &log);
    std::printf("Tarvo playback kit demo: a simulated encoder on loopback, played, recorded,\n"
                "captured and played back through the TP_ functions.\n");
    std::printf("Registry: %s\n", TvGetRegistryPath());

    const std::string outDir = MakeOutDir(options.outDir);
    if (!log.Check(!outDir.empty(), "files go to %s",
                   outDir.empty() ? options.outDir.c_str() : outDir.c_str()))
        return 1;

    std::unique_ptr<CPlayWindow> window =
        CPlayWindow::Open(options.width, options.height, "Tarvo demo", options.offscreen);
    if (!log.Check(window != nullptr, "window: %s",
                   window ? window->Describe().c_str() : "none could be made"))
        return 1;
    if (window->OnScreen())
        log.Say("watch the window; q or Escape ends the demo early");

    tvdevsim::CDeviceSimulator simulator;
    simulator.SetLogHandler(
        [&log](const std::string& line) { log.Say("[simulator] %s", line.c_str()); });
    tvdevsim::SimConfig sim;
    sim.stream.kind = tvdevsim::SimKind::Device40;
    sim.stream.live = true;
    sim.transport = tvdevsim::SimTransport::TcpServer;
    sim.address = "127.0.0.1";
    sim.port = 0; // a free port
    const bool simulating = simulator.Start(sim);
    if (!log.Check(simulating, "simulator: %s",
                   simulating ? ("on 127.0.0.1:" + std::to_string(simulator.StreamPort())).c_str()
                              : simulator.Error().c_str()))
        return 1;

    DemoState state;
    state.window = window.get();
    state.log = &log;
    TP_Init();
    HWND hwnd = window->Handle();
    TP_SetMessageCallback(hwnd, OnWindowMessage, &log);
    // Device type 1, format 3 (device H.264), play mode 0: a live stream player.
    const int handle = TP_Initialize(hwnd, 1, 3, 0, 0);
    if (log.Check(handle >= 0, "TP_Initialize(window, 1, 3, 0, 0) = %d", handle)) {
        const std::string recordPath = PlayLive(state, handle, simulator.StreamPort(), outDir);
        simulator.Stop();
        if (!recordPath.empty() && !state.quit)
            PlayRecording(state, handle, recordPath, outDir);
        TP_Uninitialize(handle);
    }
    simulator.Stop();
    TP_Exit();
    TP_SetMessageCallback(hwnd, nullptr, nullptr);
    window.reset();
    TvSetMessageBoxHandler(nullptr, nullptr);

    if (state.quit)
        log.Check(false, "stopped by the viewer before the end");
    if (g_renderFailures.load() > 0)
        log.Check(false, "%d render failures reported to the window", g_renderFailures.load());
    std::printf("\nFiles in %s:\n", outDir.c_str());
    for (const char* name : {"live.tvx", "capture.bmp", "live.png", "playback.png"}) {
        const std::string path = outDir + "/" + name;
        std::printf("  %-14s %lld bytes\n", name, FileSize(path));
    }
    if (log.Failures() == 0)
        std::printf("Demo finished: every step worked.\n");
    else
        std::printf("Demo finished: %d step(s) FAILED.\n", log.Failures());
    return log.Failures() == 0 ? 0 : 1;
}
