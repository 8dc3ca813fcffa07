#include "Player.h"

#include <csignal>
#include <cstdio>
#include <string>
#include <thread>

#include "Pages.h"
#include "PlayWindow.h"
#include "PlaySteps.h"
#include "TarvoPlayLib.h"

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void OnInterrupt(int)
{
    g_interrupted = 1;
}

struct PlayerState {
    CPlayWindow* window = nullptr;
    CStepLog* log = nullptr;
    int handle = -1;
    bool live = false;
    bool paused = false;
    bool fullScreen = false;
    int captures = 0;
    bool quit = false;
};

// Splits "dir/name" for TP_StartRecord. The folder keeps its last separator:
// the player joins folder and name with a backslash otherwise, which only drive
// paths ("C:\\rec") take as a separator.
void SplitPath(const std::string& path, std::string& dir, std::string& name)
{
    size_t slash = path.find_last_of("/\\");
    dir = slash == std::string::npos ? "./" : path.substr(0, slash + 1);
    name = slash == std::string::npos ? path : path.substr(slash + 1);
}

void OnKey(PlayerState& s, int key)
{
    CStepLog& log = *s.log;
    int r = 0;
    switch (key) {
    case ' ':
        r = TP_PlayControl(s.handle, s.paused ? TP_PLAY_PLAY : TP_PLAY_PAUSE, 0, nullptr);
        if (r == 0)
            s.paused = !s.paused;
        log.Say("%s: %s", s.paused ? "paused" : "playing", Describe(r).c_str());
        break;
    case 's':
        r = TP_PlayControl(s.handle, TP_PLAY_STEP_FORWARD, 0, nullptr);
        s.paused = true;
        log.Say("step: %s", Describe(r).c_str());
        break;
    case '+':
    case '-': {
        double rate = 1.0;
        TP_PlayControl(s.handle, TP_PLAY_GET_RATE, 0, &rate);
        rate = key == '+' ? rate * 2 : rate / 2;
        r = TP_PlayControl(s.handle, TP_PLAY_SET_RATE, reinterpret_cast<intptr_t>(&rate), nullptr);
        log.Say("rate %.3g: %s", rate, Describe(r).c_str());
        break;
    }
    case 'c': {
        const std::string path = "tvplay-" + std::to_string(++s.captures) + ".bmp";
        r = TP_GrabPicture(s.handle, path.c_str());
        log.Say("capture %s: %s", path.c_str(), Describe(r).c_str());
        break;
    }
    case 'f':
        s.fullScreen = !s.fullScreen;
        r = TP_SetFullScreenMode(s.handle, s.fullScreen ? 1 : 0);
        log.Say("full screen %s: %s", s.fullScreen ? "on" : "off", Describe(r).c_str());
        break;
    case 'p':
        OpenFilterPages(log, s.handle, s.window->OnScreen());
        break;
    case 'q':
    case 27:
        s.quit = true;
        break;
    default:
        break;
    }
}

bool Pump(void* user)
{
    auto* s = static_cast<PlayerState*>(user);
    for (const CPlayWindow::Event& e : s->window->PollEvents()) {
        if (e.kind == CPlayWindow::Event::Kind::Key)
            OnKey(*s, e.key);
        else if (e.kind == CPlayWindow::Event::Kind::Resized)
            TP_ReSize(s->handle);
        else
            s->quit = true;
    }
    if (g_interrupted)
        s->quit = true;
    return !s->quit;
}

// Everything the options put on the picture, once there is one (the frame
// processor exists only after the stream has been rendered).
void ApplyPictureOptions(const PlayOptions& o, PlayerState& s)
{
    CStepLog& log = *s.log;
    LOGFONTA font = OverlayFont(24);
    for (const TextOverlayOption& t : o.texts) {
        int index = TP_AddTextOverlay(s.handle, t.x, t.y, t.text.c_str(), 0xFFFFFF, &font, 0, 0);
        log.Check(index >= 0, "text overlay \"%s\" at (%d, %d): index %d", t.text.c_str(), t.x, t.y,
                  index);
    }
    for (const PointOption& p : o.times) {
        int index = TP_AddSysTimeOverlay(s.handle, p.x, p.y, 0xFFFFFF, &font, 0, 0);
        log.Check(index >= 0, "time overlay at (%d, %d): index %d", p.x, p.y, index);
    }
    for (const RectOverlayOption& r : o.rects) {
        POINT topLeft = {r.left, r.top}, bottomRight = {r.right, r.bottom};
        int index = TP_AddRectangleOverlay(s.handle, &topLeft, &bottomRight, r.colour, 0, 0);
        log.Check(index >= 0, "rectangle overlay (%d, %d)-(%d, %d) colour 0x%06X: index %d", r.left,
                  r.top, r.right, r.bottom, r.colour, index);
    }
    if (o.colourSet) {
        int r = TP_SetColor(s.handle, o.colour[0], o.colour[1], o.colour[2], o.colour[3]);
        log.Check(r == 0, "colour %d, %d, %d, %d: %s", o.colour[0], o.colour[1], o.colour[2],
                  o.colour[3], Describe(r).c_str());
    }
    if (o.cropSet) {
        int r =
            TP_VideoCutControl(s.handle, TP_CUT_SET, reinterpret_cast<intptr_t>(o.crop), nullptr);
        log.Check(r == 0, "crop (%d, %d)-(%d, %d): %s", o.crop[0], o.crop[1], o.crop[2], o.crop[3],
                  Describe(r).c_str());
    }
    if (o.rate > 0) {
        double rate = o.rate;
        int r =
            TP_PlayControl(s.handle, TP_PLAY_SET_RATE, reinterpret_cast<intptr_t>(&rate), nullptr);
        log.Check(r == 0, "rate %.3g: %s", o.rate, Describe(r).c_str());
    }
    if (o.fullScreen) {
        s.fullScreen = true;
        int r = TP_SetFullScreenMode(s.handle, 1);
        log.Check(r == 0, "full screen: %s", Describe(r).c_str());
    }
    if (o.pages)
        OpenFilterPages(log, s.handle, s.window->OnScreen());
}

void Play(const PlayOptions& o, PlayerState& s)
{
    CStepLog& log = *s.log;
    HWND hwnd = s.window->Handle();
    int r = 0;
    if (s.live) {
        r = TP_OpenStream(s.handle, o.address.c_str(), o.port, o.connectType, 0);
        static const char* const kKinds[] = {"", "UDP multicast", "UDP", "TCP server",
                                             "TCP client"};
        if (!log.Check(r == 0, "TP_OpenStream(%s, %d, %s) = %s", o.address.c_str(), o.port,
                       kKinds[o.connectType], Describe(r).c_str()))
            return;
        if (!o.recordPath.empty()) {
            std::string dir, name;
            SplitPath(o.recordPath, dir, name);
            r = TP_StartRecord(s.handle, dir.c_str(), name.c_str());
            log.Check(r == 0, "recording into %s: %s", o.recordPath.c_str(), Describe(r).c_str());
        }
    } else {
        r = TP_OpenLocalFile(s.handle, o.file.c_str());
        if (!log.Check(r == 0, "TP_OpenLocalFile(%s) = %s", o.file.c_str(), Describe(r).c_str()))
            return;
    }

    // A person at an X11 window waits as long as they like; a headless run does
    // not wait for ever.
    const int firstMs = o.seconds > 0 ? int(o.seconds * 1000) : s.window->OnScreen() ? -1 : 30000;
    log.Say("waiting for the first picture");
    if (!log.Check(WaitForPictures(hwnd, 1, firstMs, Pump, &s), "first picture in the window")) {
        log.Say("statistics: %s", StatisticsLine(s.handle).c_str());
        return;
    }
    ApplyPictureOptions(o, s);
    if (!o.capturePath.empty()) {
        r = TP_GrabPicture(s.handle, o.capturePath.c_str());
        log.Check(r == 0, "capture %s: %s", o.capturePath.c_str(), Describe(r).c_str());
    }

    const double endAt = o.seconds > 0 ? o.seconds : -1;
    double nextStatistics = log.Seconds() + 1;
    uint64_t shown = 0;
    while (Pump(&s)) {
        shown = PicturesShown(hwnd);
        if (o.frames > 0 && shown >= uint64_t(o.frames))
            break;
        if (endAt > 0 && log.Seconds() >= endAt)
            break;
        if (log.Seconds() >= nextStatistics) {
            nextStatistics += 1;
            if (o.statistics)
                log.Say("%s", StatisticsLine(s.handle).c_str());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    log.Say("the window showed %llu pictures", static_cast<unsigned long long>(shown));
    if (o.frames > 0)
        log.Check(shown >= uint64_t(o.frames), "%ld pictures shown", o.frames);
    if (!o.snapshotPath.empty())
        SaveSnapshot(log, hwnd, o.snapshotPath);
    if (s.live && !o.recordPath.empty()) {
        r = TP_StopRecord(s.handle);
        log.Check(r == 0, "recording stopped: %s", Describe(r).c_str());
    }
}

} // namespace

int RunPlayer(const PlayOptions& o)
{
    CStepLog log;
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    std::unique_ptr<CPlayWindow> window =
        CPlayWindow::Open(o.width, o.height,
                          o.file.empty() ? "tvplay " + o.address : "tvplay " + o.file, o.offscreen);
    if (!log.Check(window != nullptr, "window: %s",
                   window ? window->Describe().c_str() : "none could be made"))
        return 1;

    PlayerState s;
    s.window = window.get();
    s.log = &log;
    s.live = o.connectType != 0;
    TP_Init();
    // A live player builds its graph at once; play mode 2 leaves the handle
    // without a player until TP_OpenLocalFile.
    s.handle = TP_Initialize(window->Handle(), 1, o.formatType, s.live ? o.playMode : 2, 0);
    if (log.Check(s.handle >= 0, "TP_Initialize = %d", s.handle)) {
        Play(o, s);
        TP_Uninitialize(s.handle);
    }
    TP_Exit();
    window.reset();
    return log.Failures() == 0 ? 0 : 1;
}
