// The player control's window on an X server (the suite runs under xvfb-run):
// the players get the widget's own X11 window, draw into it, follow its size,
// and what they post to it arrives. Skipped where there is no display.
#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "CTarvoControlWindow.h"
#include "ControlWindowKit.h"

namespace {

const auto* const g_qt = ::testing::AddGlobalTestEnvironment(new TvQtEnvironment("xcb"));

bool ClientSizeIs(HWND hWnd, int width, int height)
{
    RECT client{};
    return GetClientRect(hWnd, &client) && client.right == width && client.bottom == height;
}

TEST(ControlWindowX11, PlayersDrawIntoTheWidgetsOwnWindow)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb") || !TvGetX11Display())
        GTEST_SKIP() << "no X display";
    std::random_device random;
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("tvocxwindow-x11-" + std::to_string(random()));
    std::filesystem::create_directories(dir);
    const std::string record = TvWriteControlRecord(dir.string(), "x11", 50);
    ASSERT_FALSE(record.empty());

    CoInitialize(nullptr);
    BoxLog boxes;
    TvSetMessageBoxHandler(&BoxLog::Handler, &boxes);
    {
        CRecordingHost host;
        QWidget container; // goes after the window, which may end up inside it
        CTarvoControlWindow window(&host);
        const HWND hWnd = window.VideoWindow();
        host.SetWindow(hWnd);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(hWnd), static_cast<uintptr_t>(window.winId()));
        EXPECT_FALSE(TvIsVirtualWindow(hWnd));
        window.resize(400, 300);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        EXPECT_TRUE(IsWindow(hWnd));
        EXPECT_TRUE(QTest::qWaitFor([&] { return ClientSizeIs(hWnd, 400, 300); }, 5000));

        // The graph's events reach the window through the X11 window's queue.
        ASSERT_EQ(host.Open(record), 0);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                return host.Index({"FirstSampleDelivered", 1, 0}) >= 0;
            },
            20000));
        window.resize(320, 240);
        EXPECT_TRUE(QTest::qWaitFor([&] { return ClientSizeIs(hWnd, 320, 240); }, 5000));
        // A host that places the widget into its own window keeps the
        // players' window.
        container.resize(400, 300);
        window.setParent(&container);
        container.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&container));
        EXPECT_EQ(static_cast<uintptr_t>(window.winId()), reinterpret_cast<uintptr_t>(hWnd));
        ASSERT_TRUE(PostMessageA(hWnd, 0x401, 10012, 0));
        EXPECT_TRUE(QTest::qWaitFor([&] { return boxes.Count() > 0; }, 10000));
        host.DropPlayer();
    }
    TvSetMessageBoxHandler(nullptr, nullptr);
    CoUninitialize();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

} // namespace
