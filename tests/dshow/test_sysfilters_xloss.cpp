// Losing the X server: a renderer draws into an X11 window of a private Xvfb
// started here; the server is killed; the process lives on, the renderer goes
// on taking pictures (into its surface), and the window answers as gone. One
// case per program: the platform opens its display once per process, so the
// case points DISPLAY at its own server before anything opens one.
//
// A server that stops answering (stopped here) must not hold the thread that
// presents pictures: the X11 presenter, on its own connection, is tested
// without the platform's display.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <xcb/xcb.h>

#include <cstdlib>
#include <future>
#include <string>

#include "RendererTest.h"
#include "TvPictures.h"
#include "video/X11Presenter.h"
#include "win32/window.h"

namespace {

// The first Xvfb on PATH, or empty.
std::string FindXvfb()
{
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        const std::string candidate = dirs.substr(start, end - start) + "/Xvfb";
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return std::string();
}

// An Xvfb of the test's own on a display number it picks itself (-displayfd),
// so parallel tests never share one.
class PrivateXvfb {
public:
    ~PrivateXvfb() { Kill(); }
    bool Start(const std::string& exe)
    {
        int fds[2];
        if (pipe(fds) != 0)
            return false;
        m_pid = fork();
        if (m_pid == 0) {
            close(fds[0]);
            const int devnull = open("/dev/null", O_RDWR);
            dup2(devnull, 1);
            dup2(devnull, 2);
            const std::string fd = std::to_string(fds[1]);
            execl(exe.c_str(), "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0",
                  "320x240x24", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        std::string number;
        char c = 0;
        while (m_pid > 0 && read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(fds[0]);
        if (m_pid <= 0 || number.empty())
            return false;
        m_display = ":" + number;
        return true;
    }
    const std::string& Display() const { return m_display; }
    // Stops and resumes the server: its clients' requests wait unanswered.
    void Freeze() { kill(m_pid, SIGSTOP); }
    void Thaw() { kill(m_pid, SIGCONT); }
    void Kill()
    {
        if (m_pid <= 0)
            return;
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
    std::string m_display;
};

// A mapped top-level window made over conn, once the server has it; 0 when
// the connection failed.
uint32_t MakeOwnerWindow(xcb_connection_t* conn, uint16_t width, uint16_t height)
{
    if (xcb_connection_has_error(conn))
        return 0;
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(conn)).data;
    const uint32_t window = xcb_generate_id(conn);
    xcb_create_window(conn, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, width, height, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    xcb_map_window(conn, window);
    std::free(xcb_get_input_focus_reply(conn, xcb_get_input_focus(conn), nullptr));
    return window;
}

class XServerLoss : public RendererTest {
protected:
    void SetUp() override
    {
        const std::string xvfb = FindXvfb();
        if (xvfb.empty())
            GTEST_SKIP() << "Xvfb is not installed";
        ASSERT_TRUE(m_server.Start(xvfb));
        setenv("DISPLAY", m_server.Display().c_str(), 1);
        ASSERT_NE(TvGetX11Display(), nullptr) << "the platform opens the private display";
        RendererTest::SetUp();
        WrapRenderer(CLSID_VideoRenderer, L"Render");
    }
    void TearDown() override
    {
        m_harness.reset();
        if (m_conn)
            xcb_disconnect(m_conn);
        RendererTest::TearDown();
    }
    // The owner window, made over a connection of the test's own.
    HWND MakeOwner()
    {
        m_conn = xcb_connect(nullptr, nullptr);
        const uint32_t window = MakeOwnerWindow(m_conn, 160, 120);
        return window ? reinterpret_cast<HWND>(uintptr_t(window)) : nullptr;
    }
    void Surface(LONGLONG* presented, BOOL* onScreen)
    {
        IOffscreenSnapshot* snap = Query<IOffscreenSnapshot>(m_renderer, IID_IOffscreenSnapshot);
        ASSERT_NE(snap, nullptr);
        EXPECT_EQ(snap->GetSurfaceInfo(nullptr, nullptr, presented, onScreen), S_OK);
        snap->Release();
    }

    PrivateXvfb m_server;
    xcb_connection_t* m_conn = nullptr;
};

} // namespace

TEST_F(XServerLoss, TheProcessAndTheRendererGoOn)
{
    const HWND owner = MakeOwner();
    ASSERT_NE(owner, nullptr);
    ASSERT_TRUE(IsWindow(owner));
    Connect(TvMakeYuy2Type(32, 16));
    IVideoWindow* window = Query<IVideoWindow>(m_renderer, IID_IVideoWindow);
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(window->put_Owner(OAHWND(owner)), S_OK);
    ASSERT_EQ(window->put_WindowStyle(0x46000000), S_OK);
    ASSERT_EQ(window->SetWindowPosition(0, 0, 160, 120), S_OK);
    Play();
    ASSERT_EQ(m_source->Deliver(Yuy2Uniform(32, 16, kRed)), S_OK);
    LONGLONG before = 0;
    BOOL onScreen = FALSE;
    Surface(&before, &onScreen);
    EXPECT_TRUE(onScreen);
    EXPECT_EQ(before, 1);

    m_server.Kill();
    EXPECT_FALSE(IsWindow(owner));
    RECT rect{1, 2, 3, 4};
    EXPECT_FALSE(GetClientRect(owner, &rect));
    EXPECT_TRUE(TvX11ConnectionLost());
    EXPECT_EQ(TvGetX11Display(), nullptr);

    // Pictures keep arriving, now into the surface only.
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(m_source->Deliver(Yuy2Uniform(32, 16, kBlue)), S_OK) << i;
    LONGLONG after = 0;
    Surface(&after, &onScreen);
    EXPECT_EQ(after, before + 5);
    EXPECT_FALSE(onScreen);
    const Picture picture = Snapshot(m_renderer);
    ASSERT_EQ(picture.hr, S_OK);
    EXPECT_TRUE(PixelNear(picture.At(80, 60), kBlueRgb, 8));
    // The window's settings still answer; moving it draws nothing anywhere.
    EXPECT_EQ(window->SetWindowPosition(0, 0, 80, 60), S_OK);
    ASSERT_EQ(m_source->Deliver(Yuy2Uniform(32, 16, kRed)), S_OK);
    window->Release();
}

TEST(XServerFrozen, PicturesGoOnWithoutItsAnswers)
{
    const std::string xvfb = FindXvfb();
    if (xvfb.empty())
        GTEST_SKIP() << "Xvfb is not installed";
    PrivateXvfb server;
    ASSERT_TRUE(server.Start(xvfb));
    setenv("DISPLAY", server.Display().c_str(), 1);
    xcb_connection_t* conn = xcb_connect(nullptr, nullptr);
    const uint32_t owner = MakeOwnerWindow(conn, 64, 64);
    ASSERT_NE(owner, 0u);

    auto presenter = CX11Presenter::Create(owner);
    ASSERT_NE(presenter, nullptr);
    // PutImage hands the server the pixels themselves; with the server
    // stopped, its socket fills and the put waits: only the shared-memory
    // path, whose put is a few bytes, can go on.
    if (!presenter->UsesSharedMemory())
        GTEST_SKIP() << "this X server does not share memory with us";
    PresentSettings s;
    s.width = 64;
    s.height = 64;
    s.visible = true;
    s.source = RECT{0, 0, 16, 16};
    presenter->SetSettings(s);
    const FrameFormat format{PixelLayout::YUY2, 16, 16, 32, false};
    const auto red = Yuy2Uniform(16, 16, kRed);
    ASSERT_TRUE(presenter->Present(format, red.data()));
    EXPECT_EQ(presenter->RoundTripsUnanswered(), 0u);

    server.Freeze();
    auto pictures = std::async(std::launch::async, [&] {
        bool ok = true;
        for (int i = 0; i < 2; ++i)
            ok = presenter->Present(format, red.data()) && ok;
        return ok;
    });
    const bool presented = Result(pictures, false);
    server.Thaw(); // also frees a present that hung, before the future is dropped
    EXPECT_TRUE(presented);
    EXPECT_EQ(presenter->RoundTripsUnanswered(), 2u);

    // Running again, it answers again.
    ASSERT_TRUE(presenter->Present(format, red.data()));
    EXPECT_EQ(presenter->RoundTripsUnanswered(), 2u);
    presenter.reset();
    xcb_disconnect(conn);
}
