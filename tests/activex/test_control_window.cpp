// The player control's window on Qt's offscreen platform: painting, the mouse
// modes with their zoom and PTZ gestures, full screen, keys, focus, dropped
// files and the player's posted messages. The host is a recording stand-in for
// the control's COM object that holds a real file player of a record the
// device simulator writes.
#include <QApplication>
#include <QImage>
#include <QMimeData>
#include <QPointer>
#include <QTest>
#include <QUrl>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <dshow.h>

#include "CTarvoControlWindow.h"
#include "CTarvoPlayerOCXCtrl.h"
#include "TarvoPlayErrors.h"
#include "ControlWindowKit.h"

namespace {

const auto* const g_qt = ::testing::AddGlobalTestEnvironment(new TvQtEnvironment("offscreen"));

// A player's source rectangle.
struct SourceRect {
    int left = -1, top = -1, width = -1, height = -1;
    bool operator==(const SourceRect&) const = default;
};

std::ostream& operator<<(std::ostream& os, const SourceRect& r)
{
    return os << "{" << r.left << ", " << r.top << ", " << r.width << ", " << r.height << "}";
}

constexpr int kWidth = 400;
constexpr int kHeight = 300;

class ControlWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        std::random_device random;
        s_dir =
            (std::filesystem::temp_directory_path() / ("tvocxwindow-" + std::to_string(random())))
                .string();
        std::filesystem::create_directories(s_dir);
        s_long = TvWriteControlRecord(s_dir, "long", 250, &s_recordError);
        if (s_recordError.empty())
            s_short = TvWriteControlRecord(s_dir, "short", 50, &s_recordError);
    }
    static void TearDownTestSuite()
    {
        std::error_code ignored;
        std::filesystem::remove_all(s_dir, ignored);
    }

    void SetUp() override
    {
        CoInitialize(nullptr);
        // Each test fails on its own when the records could not be written.
        ASSERT_EQ(s_recordError, "");
        TvSetMessageBoxHandler(&BoxLog::Handler, &m_boxes);
        m_window = std::make_unique<CTarvoControlWindow>(&m_host);
        m_host.SetWindow(m_window->VideoWindow());
        m_window->resize(kWidth, kHeight);
        m_window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
    }
    void TearDown() override
    {
        // The player goes before the window it shows the video in.
        m_host.DropPlayer();
        m_window.reset();
        TvSetMessageBoxHandler(nullptr, nullptr);
        CoUninitialize();
    }

    // Plays path and waits until the graph runs.
    bool Play(const std::string& path)
    {
        const LONG opened = m_host.Open(path);
        EXPECT_EQ(opened, 0) << path;
        if (opened != 0)
            return false;
        return QTest::qWaitFor(
            [&] {
                int state = State_Stopped;
                return m_host.Player()->GetState(&state) == S_OK && state == State_Running;
            },
            20000);
    }

    // Enables the modes and clicks the middle button until mode is reached.
    void EnterMode(int mode, LONG enable = 1)
    {
        m_window->PTZControl(2, enable, nullptr);
        for (int i = 0; i < 3 && m_window->MouseMode() != mode; ++i)
            QTest::mouseClick(m_window.get(), Qt::MiddleButton, {}, QPoint(200, 150));
        ASSERT_EQ(m_window->MouseMode(), mode);
    }

    void SendWheel(int delta, QPoint at = QPoint(200, 150))
    {
        QWheelEvent wheel(at, m_window->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(m_window.get(), &wheel);
    }

    void Drop(const QList<QUrl>& urls)
    {
        QMimeData mime;
        mime.setUrls(urls);
        // As a drag ends: it enters (which makes the window the drop
        // target), then drops.
        QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &mime, Qt::NoButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(m_window.get(), &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &mime, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(m_window.get(), &drop);
    }

    SourceRect Source()
    {
        SourceRect r;
        EXPECT_EQ(m_host.Player()->GetSourceRect(&r.left, &r.top, &r.width, &r.height), 0);
        return r;
    }
    int FullScreen()
    {
        int full = -1;
        EXPECT_EQ(m_host.Player()->GetFullScreenMode(&full), 0);
        return full;
    }

    static inline std::string s_dir, s_long, s_short;
    static inline std::string s_recordError; // why the records are missing
    CRecordingHost m_host;
    BoxLog m_boxes;
    std::unique_ptr<CTarvoControlWindow> m_window;
};

// ---- Zones and speeds ----

TEST(ControlWindowGeometry, ZoneOfEachPoint)
{
    // 400 x 300: fifths 80 x 60, 15 % bands 60 x 45.
    const struct {
        int x, y, zone;
    } kCases[] = {
        {0, 0, 5},     {79, 59, 5},   {80, 0, 1},    {319, 44, 1},  {200, 45, 0},
        {320, 0, 6},   {399, 59, 6},  {0, 240, 7},   {79, 299, 7},  {320, 240, 8},
        {399, 299, 8}, {200, 255, 2}, {200, 254, 0}, {0, 60, 3},    {59, 239, 3},
        {60, 150, 0},  {340, 60, 4},  {399, 239, 4}, {339, 150, 0}, {200, 150, 0},
    };
    for (const auto& c : kCases)
        EXPECT_EQ(CTarvoControlWindow::PTZZoneAt(QPoint(c.x, c.y), kWidth, kHeight), c.zone)
            << c.x << ", " << c.y;
}

TEST(ControlWindowGeometry, SpeedFromTheReferencePoint)
{
    // References in 400 x 300: zone 1 (80, 30), 4 (360, 60), 5 (80, 60), 8 (320, 240).
    const struct {
        int zone, x, y, speed;
    } kCases[] = {
        {4, 460, 60, 4},  {4, 400, 60, 2}, {4, 379, 90, 0},  {4, 300, 60, 0},
        {1, 80, -50, 4},  {1, 80, -10, 2}, {1, 80, 60, 0},   {2, 0, 300, 1},
        {3, -30, 150, 3}, {5, 40, 30, 2},  {5, 120, 30, 0},  {5, 40, 90, 0},
        {6, 400, 0, 4},   {7, 0, 300, 4},  {8, 340, 260, 1}, {8, 300, 260, 0},
    };
    for (const auto& c : kCases)
        EXPECT_EQ(CTarvoControlWindow::PTZSpeed(c.zone, QPoint(c.x, c.y), kWidth, kHeight), c.speed)
            << "zone " << c.zone << " at " << c.x << ", " << c.y;
}

TEST(ControlWindowGeometry, TwentyOneDistinctCursors)
{
    std::vector<QImage> images;
    for (int id = 201; id <= 221; ++id) {
        const QCursor cursor = CTarvoControlWindow::ControlCursor(id);
        ASSERT_EQ(cursor.shape(), Qt::BitmapCursor) << id;
        const QImage image = cursor.pixmap().toImage();
        ASSERT_EQ(image.size(), QSize(32, 32)) << id;
        for (size_t i = 0; i < images.size(); ++i)
            EXPECT_NE(image, images[i]) << id << " looks like " << 201 + i;
        images.push_back(image);
    }
    EXPECT_EQ(CTarvoControlWindow::ControlCursor(200).shape(), Qt::ArrowCursor);
}

// ---- Painting ----

TEST_F(ControlWindow, FrameInTheBackgroundColour)
{
    const struct {
        OLE_COLOR colour;
        QRgb rgb;
    } kCases[] = {
        {255, qRgb(255, 0, 0)}, {0x00FF00, qRgb(0, 255, 0)}, {0xFF8000, qRgb(0, 128, 255)}};
    for (const auto& c : kCases) {
        m_host.SetBackColor(c.colour);
        m_host.Clear();
        m_window->BackColorChanged();
        EXPECT_TRUE(QTest::qWaitFor([&] { return m_host.HasWindowProc(WM_PAINT); }, 5000));
        const QImage image = m_window->grab().toImage();
        for (QPoint p : {QPoint(0, 0), QPoint(1, 1), QPoint(kWidth - 1, kHeight - 1),
                         QPoint(kWidth - 2, 150), QPoint(200, 1)})
            EXPECT_EQ(image.pixel(p), c.rgb)
                << std::hex << c.colour << " at " << p.x() << ", " << p.y();
        for (QPoint p : {QPoint(2, 2), QPoint(kWidth - 3, kHeight - 3), QPoint(200, 150)})
            EXPECT_EQ(image.pixel(p), qRgb(0, 0, 0)) << p.x() << ", " << p.y();
    }
}

// ---- Mouse modes ----

TEST_F(ControlWindow, MiddleButtonCyclesTheEnabledModes)
{
    ASSERT_TRUE(Play(s_long));
    const struct {
        LONG code, value;
        std::vector<int> modes; // after each middle click
    } kCases[] = {
        {2, 1, {1, 2, 0, 1}},
        {0, 1, {1, 0, 1}}, // zoom only (PTZ still off from the reset below)
        {1, 1, {2, 0, 2}}, // PTZ only
        {2, 0, {0, 0}},
    };
    for (const auto& c : kCases) {
        m_window->PTZControl(2, 0, nullptr);
        ASSERT_EQ(m_window->MouseMode(), 0);
        EXPECT_EQ(m_window->PTZControl(c.code, c.value, nullptr), 0);
        for (int expected : c.modes) {
            QTest::mouseClick(m_window.get(), Qt::MiddleButton, {}, QPoint(200, 150));
            EXPECT_EQ(m_window->MouseMode(), expected) << "code " << c.code;
        }
    }
    EXPECT_EQ(m_window->PTZControl(7, 1, nullptr), TP_ERR_UNSUPPORTED);
}

TEST_F(ControlWindow, DisablingTheModeInUseLeavesIt)
{
    ASSERT_TRUE(Play(s_long));
    EnterMode(CTarvoControlWindow::kMouseZoom);
    EXPECT_EQ(m_window->CursorId(), CTarvoControlWindow::kCursorZoom);
    // Zoom off with PTZ on: on to PTZ; PTZ off: back to none.
    EXPECT_EQ(m_window->PTZControl(0, 0, nullptr), 0);
    EXPECT_EQ(m_window->MouseMode(), CTarvoControlWindow::kMousePTZ);
    EXPECT_EQ(m_window->PTZControl(1, 0, nullptr), 0);
    EXPECT_EQ(m_window->MouseMode(), CTarvoControlWindow::kMouseNone);
    EXPECT_EQ(m_window->CursorId(), 0);
}

TEST_F(ControlWindow, NothingButActiveWindowUnlessTheGraphRuns)
{
    ASSERT_TRUE(Play(s_long));
    EnterMode(CTarvoControlWindow::kMousePTZ);
    ASSERT_TRUE(SUCCEEDED(m_host.Player()->Pause()));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            int state = -1;
            return m_host.Player()->GetState(&state) == S_OK && state == State_Paused;
        },
        10000));
    m_host.Clear();
    QTest::mousePress(m_window.get(), Qt::LeftButton, {}, QPoint(360, 60));
    QTest::mouseRelease(m_window.get(), Qt::LeftButton, {}, QPoint(360, 60));
    SendWheel(120);
    QTest::mouseClick(m_window.get(), Qt::MiddleButton, {}, QPoint(200, 150));
    EXPECT_EQ(m_host.Calls(), (std::vector<HostCall>{{"ActiveWindow", 360, 60}}));
    EXPECT_EQ(m_window->MouseMode(), CTarvoControlWindow::kMousePTZ);
}

TEST_F(ControlWindow, PTZPressMoveAndRelease)
{
    ASSERT_TRUE(Play(s_long));
    EnterMode(CTarvoControlWindow::kMousePTZ);
    m_host.Clear();
    // Zone 4's reference point is (360, 60).
    QTest::mouseMove(m_window.get(), QPoint(360, 100));
    // (On an X server the move comes back from the server.)
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_window->PTZZone() == 4; }, 2000));
    EXPECT_EQ(m_window->CursorId(), 204);
    QTest::mousePress(m_window.get(), Qt::LeftButton, {}, QPoint(360, 60));
    EXPECT_TRUE(m_window->PTZPressed());
    EXPECT_EQ(m_window->CursorId(), 212);
    QTest::mouseMove(m_window.get(), QPoint(370, 60)); // speed still 0: nothing
    QTest::mouseMove(m_window.get(), QPoint(460, 60));
    QTest::mouseMove(m_window.get(), QPoint(470, 70)); // still 4: nothing
    QTest::mouseRelease(m_window.get(), Qt::LeftButton, {}, QPoint(470, 70));
    EXPECT_FALSE(m_window->PTZPressed());
    EXPECT_EQ(m_host.Calls(), (std::vector<HostCall>{{"ActiveWindow", 360, 60},
                                                     {"PTZEvent", 64, 0},
                                                     {"PTZEvent", 64, 4},
                                                     {"PTZEvent", 65, 0}}));
    EXPECT_TRUE(m_host.HasWindowProc(WM_LBUTTONDOWN));
    EXPECT_TRUE(m_host.HasWindowProc(WM_LBUTTONUP));
    EXPECT_TRUE(m_host.HasWindowProc(WM_MOUSEMOVE));
}

TEST_F(ControlWindow, PTZWheelAndLeavingDuringAPress)
{
    ASSERT_TRUE(Play(s_long));
    EnterMode(CTarvoControlWindow::kMousePTZ);
    m_host.Clear();
    SendWheel(120);
    EXPECT_EQ(m_window->CursorId(), CTarvoControlWindow::kCursorZoomIn);
    SendWheel(-120);
    EXPECT_EQ(m_window->CursorId(), CTarvoControlWindow::kCursorZoomOut);
    // Zone 5 (up-left), then PTZ switched off while the button is down: the
    // movement is stopped.
    QTest::mousePress(m_window.get(), Qt::LeftButton, {}, QPoint(20, 20));
    m_window->PTZControl(1, 0, nullptr);
    EXPECT_EQ(m_window->MouseMode(), CTarvoControlWindow::kMouseNone);
    QTest::mouseRelease(m_window.get(), Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_EQ(m_host.Calls(), (std::vector<HostCall>{{"PTZEvent", 144, 0},
                                                     {"PTZEvent", 160, 0},
                                                     {"ActiveWindow", 20, 20},
                                                     {"PTZEvent", 80, 3},
                                                     {"PTZEvent", 81, 0}}));
}

TEST_F(ControlWindow, WheelAndDragZoomThenReset)
{
    ASSERT_TRUE(Play(s_long));
    EXPECT_EQ(Source(), (SourceRect{0, 0, 704, 576}));
    EnterMode(CTarvoControlWindow::kMouseZoom);
    // One notch: 3 % less each way (682.88 x 558.72), moved by 3 % of half
    // the new size.
    SendWheel(120);
    EXPECT_EQ(Source(), (SourceRect{10, 8, 682, 558}));
    // Dragged 5 pixels left and 4 up in a 400 x 300 window: the picture
    // follows, so the source moves right by 5 x 682 / 400 and down by
    // 4 x 558 / 300 (whole pixels).
    QTest::mousePress(m_window.get(), Qt::LeftButton, {}, QPoint(200, 150));
    EXPECT_EQ(m_window->CursorId(), CTarvoControlWindow::kCursorZoomDrag);
    QTest::mouseMove(m_window.get(), QPoint(195, 146));
    QTest::mouseRelease(m_window.get(), Qt::LeftButton, {}, QPoint(195, 146));
    EXPECT_EQ(Source(), (SourceRect{10 + 8, 8 + 7, 682, 558}));
    EXPECT_EQ(m_window->CursorId(), CTarvoControlWindow::kCursorZoom);
    // A notch back widens it again; the reset gives the whole picture.
    SendWheel(-120);
    EXPECT_EQ(Source().width, static_cast<int>(1.03 * 682));
    EXPECT_EQ(m_window->PTZControl(3, 0, nullptr), 0);
    EXPECT_EQ(Source(), (SourceRect{0, 0, 704, 576}));
}

// ---- Full screen and keys ----

TEST_F(ControlWindow, DoubleClickTogglesFullScreenAndEscapeLeaves)
{
    ASSERT_TRUE(Play(s_long));
    EnterMode(CTarvoControlWindow::kMouseZoom);
    QTest::mouseDClick(m_window.get(), Qt::LeftButton, {}, QPoint(200, 150));
    EXPECT_EQ(FullScreen(), 1);
    // Zoom mode was left on the way (PTZ is enabled too).
    EXPECT_EQ(m_window->MouseMode(), CTarvoControlWindow::kMousePTZ);
    QTest::mouseDClick(m_window.get(), Qt::LeftButton, {}, QPoint(200, 150));
    EXPECT_EQ(FullScreen(), 0);
    QTest::mouseDClick(m_window.get(), Qt::LeftButton, {}, QPoint(200, 150));
    ASSERT_EQ(FullScreen(), 1);
    QTest::keyClick(m_window.get(), Qt::Key_A);
    EXPECT_EQ(FullScreen(), 1);
    QTest::keyClick(m_window.get(), Qt::Key_Escape);
    EXPECT_EQ(FullScreen(), 0);
}

// Records the keys that reach it.
class KeyParent : public QWidget {
public:
    std::vector<int> keys;

protected:
    void keyPressEvent(QKeyEvent* e) override { keys.push_back(e->key()); }
};

TEST_F(ControlWindow, EveryKeyIsConsumedAndFocusIsFlagged)
{
    KeyParent parent;
    auto* control = new CTarvoControlWindow(&m_host, &parent);
    auto* other = new QWidget(&parent);
    other->setFocusPolicy(Qt::StrongFocus);
    control->setGeometry(0, 0, 200, 150);
    other->setGeometry(0, 160, 200, 20);
    parent.resize(200, 200);
    parent.show();
    parent.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&parent));
    control->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return control->FocusFlag(); }, 5000));
    m_host.Clear();
    const struct {
        Qt::Key key;
        LONG vk;
    } kKeys[] = {{Qt::Key_A, 'A'},
                 {Qt::Key_5, '5'},
                 {Qt::Key_Tab, VK_TAB},
                 {Qt::Key_Return, VK_RETURN},
                 {Qt::Key_Escape, VK_ESCAPE},
                 {Qt::Key_F5, VK_F1 + 4},
                 {Qt::Key_Left, VK_LEFT}};
    for (const auto& k : kKeys) {
        QTest::keyClick(control, k.key);
        EXPECT_NE(m_host.Index({"WindowProc", WM_KEYDOWN, k.vk, 1}), -1) << k.vk;
    }
    EXPECT_TRUE(parent.keys.empty());
    EXPECT_TRUE(control->hasFocus()); // Tab moved nothing
    other->setFocus();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !control->FocusFlag(); }, 5000));
    EXPECT_TRUE(m_host.HasWindowProc(WM_KILLFOCUS));
    control->DetachHost();
}

// ---- Dropped files ----

TEST_F(ControlWindow, DroppedFilesOpenOnlyTheFirst)
{
    const std::string text = s_dir + "/notes.txt";
    std::ofstream(text) << "not a recording\n";
    const std::string tooLong = s_dir + "/" + std::string(250, 'x') + ".tvx";
    const struct {
        std::vector<std::string> files;
        std::vector<std::string> opened;
    } kCases[] = {
        {{s_short, s_long}, {s_short}},
        {{tooLong, s_short}, {}},
        {{text}, {text}},
    };
    for (const auto& c : kCases) {
        const size_t before = m_host.Opened().size();
        QList<QUrl> urls;
        for (const std::string& f : c.files)
            urls.push_back(QUrl::fromLocalFile(QString::fromStdString(f)));
        Drop(urls);
        const std::vector<std::string> opened(m_host.Opened().begin() + before,
                                              m_host.Opened().end());
        EXPECT_EQ(opened, c.opened) << c.files.front();
    }
    // The file that is not a recording: the player's refusal, and no message.
    const std::vector<HostCall> opens = m_host.Calls("OpenLocalFile");
    ASSERT_EQ(opens.size(), 2u);
    EXPECT_EQ(opens[0].a, 0);
    EXPECT_NE(opens[1].a, 0);
    EXPECT_EQ(m_host.Player(), nullptr);
    QTest::qWait(100);
    EXPECT_EQ(m_boxes.Count(), 0u);
    EXPECT_TRUE(m_host.HasWindowProc(WM_DROPFILES));
}

// ---- The player's posted messages ----

TEST_F(ControlWindow, RenderFailureShowsTheCode)
{
    ASSERT_TRUE(PostMessageA(m_window->VideoWindow(), 0x401, 10005, 0));
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_boxes.Count() > 0; }, 10000));
    EXPECT_EQ(m_boxes.boxes.front().first, "Error! the Code is:10005\n");
    EXPECT_EQ(m_boxes.boxes.front().second, "TarvoPlayerOCX");
    EXPECT_NE(m_host.Index({"WindowProc", 0x401, 10005, 0}), -1);
}

TEST_F(ControlWindow, EndOfFileStopsFiresAndRewinds)
{
    ASSERT_TRUE(Play(s_short));
    const HostCall fileEnd{"FileEndEvent", 0, 0};
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_host.Index(fileEnd) >= 0; }, 30000));
    const int stop = m_host.Index({"PlayControl", 2, 0});
    const int end = m_host.Index(fileEnd);
    const int rewind = m_host.Index({"PlayControl", 11, 0});
    EXPECT_GE(stop, 0);
    EXPECT_LT(stop, end);
    EXPECT_LT(end, rewind);
    EXPECT_GE(m_host.Index({"FirstSampleDelivered", 1, 0}), 0);
    EXPECT_TRUE(m_host.HasWindowProc(0x402));
}

// A sink that lets the control go when the file ends: the window handles the
// message to its end, holding the control, and the control (its window with
// it) goes afterwards.
TEST_F(ControlWindow, ControlReleasedByItsSinkGoesAfterTheMessageIsHandled)
{
    HRESULT hr = S_OK;
    CUnknown* unknown = CTarvoPlayerOCXCtrl::CreateInstance(nullptr, &hr);
    ASSERT_NE(unknown, nullptr);
    unknown->NonDelegatingAddRef();
    auto* control = static_cast<CTarvoPlayerOCXCtrl*>(unknown);
    QWidget* widget = nullptr;
    ASSERT_EQ(control->GetWidget(&widget), S_OK);
    QPointer<QWidget> window(widget);
    CFunctionSink sink;
    bool released = false;
    sink.onEvent = [&](DISPID id, const std::vector<LONG>&) {
        if (id == DISPID_OCX_FILEENDEVENT && !released) {
            released = true;
            unknown->NonDelegatingRelease();
        }
    };
    ASSERT_TRUE(TvAdviseSink(static_cast<IDispatch*>(control), &sink));
    ASSERT_EQ(control->OpenLocalFile(s_short.c_str()), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return released; }, 60000));
    EXPECT_TRUE(window.isNull());
    EXPECT_EQ(sink.refs.load(), 1u); // the control let it go
}

// The window holds its host while it handles a message, and only then.
TEST_F(ControlWindow, HostIsHeldWhileAMessageIsHandled)
{
    ASSERT_TRUE(Play(s_short));
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_host.Index({"FileEndEvent", 0, 0}) >= 0; }, 30000));
    EXPECT_EQ(m_host.RefsAt({"FileEndEvent", 0, 0}), 2u);
    EXPECT_EQ(m_host.Refs(), 1u);
}

TEST_F(ControlWindow, DetachedHostHearsNothing)
{
    ASSERT_TRUE(Play(s_long));
    EnterMode(CTarvoControlWindow::kMousePTZ);
    m_host.Clear();
    m_window->DetachHost();
    PostMessageA(m_window->VideoWindow(), 0x401, 1, 0);
    PostMessageA(m_window->VideoWindow(), 0x402, 0, 0);
    QTest::mousePress(m_window.get(), Qt::LeftButton, {}, QPoint(360, 60));
    QTest::mouseRelease(m_window.get(), Qt::LeftButton, {}, QPoint(360, 60));
    SendWheel(120);
    QTest::qWait(200);
    EXPECT_TRUE(m_host.Calls("").empty());
    EXPECT_FALSE(m_host.HasWindowProc(0x401));
    EXPECT_EQ(m_boxes.Count(), 0u);
    // A message still queued when the window goes is dropped with it.
    PostMessageA(m_window->VideoWindow(), 0x401, 2, 0);
    m_host.DropPlayer();
    m_window.reset();
    QTest::qWait(100);
    EXPECT_EQ(m_boxes.Count(), 0u);
}

// ---- Size ----

TEST_F(ControlWindow, ResizeMovesTheVideoWindowAndTheChildControl)
{
    auto* child = new QWidget;
    m_window->SetChildControl(child);
    EXPECT_EQ(child->parentWidget(), m_window.get());
    m_window->resize(320, 200);
    RECT client{};
    ASSERT_TRUE(GetClientRect(m_window->VideoWindow(), &client));
    EXPECT_EQ(client.right, 320);
    EXPECT_EQ(client.bottom, 200);
    EXPECT_EQ(child->geometry(), QRect(2, 2, 316, 196));
    EXPECT_NE(m_host.Index({"WindowProc", WM_SIZE, SIZE_RESTORED, MAKELPARAM(320, 200)}), -1);
}

} // namespace

// The control made by its class: the widget a host gets is the control's
// window, its players draw into that window's video window, and PTZControl
// and the background colour reach it.
TEST(ControlWithItsWindow, TheWidgetIsTheWindowAndPtzControlLeavesADisabledMode)
{
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    HRESULT hr = S_OK;
    CUnknown* unknown = CTarvoPlayerOCXCtrl::CreateInstance(nullptr, &hr);
    ASSERT_NE(unknown, nullptr);
    unknown->NonDelegatingAddRef();
    auto* control = static_cast<CTarvoPlayerOCXCtrl*>(unknown);

    QWidget* widget = nullptr;
    ASSERT_EQ(control->GetWidget(&widget), S_OK);
    auto* window = dynamic_cast<CTarvoControlWindow*>(widget);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(control->Window(), window->VideoWindow());

    EXPECT_EQ(control->PTZControl(0, 1), 0);
    window->SwitchMouseMode();
    EXPECT_EQ(window->MouseMode(), CTarvoControlWindow::kMouseZoom);
    EXPECT_EQ(control->PTZControl(0, 0), 0);
    EXPECT_EQ(window->MouseMode(), CTarvoControlWindow::kMouseNone);
    EXPECT_EQ(control->PTZControl(7, 1), TP_ERR_UNSUPPORTED);

    control->SetBackColor(0x00FF00);
    window->resize(64, 48);
    const QImage picture = window->grab().toImage();
    EXPECT_EQ(picture.pixelColor(0, 0), QColor(0, 255, 0));
    EXPECT_EQ(picture.pixelColor(10, 10), QColor(0, 0, 0));
    unknown->NonDelegatingRelease();
    CoUninitialize();
}
