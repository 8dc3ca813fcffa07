// The console window on Qt's offscreen platform, driven through its widgets
// with Qt Test against the device side of the command protocol on
// 127.0.0.1 (a port picked at run time) and against real players.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QAction>
#include <QPushButton>
#include <QRawFont>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <QTimer>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "CConsoleLogView.h"
#include "CConsoleTabBar.h"
#include "CConsoleWindow.h"
#include "CIpAddressEdit.h"
#include "CPlaybackPage.h"
#include "PlayerFixture.h"
#include "TarvoPlayLib.h"
#include "tvdevice/DeviceControlServer.h"
#include "tvdevsim/DeviceSimulator.h"
#include "tvprotocol/CommandCatalogue.h"

namespace {

enum Page { kSystem, kDevice, kEncoding, kDecoding, kAlarms, kMotion, kStreams, kPlayback };

// One log entry as the view holds it: its text and the colour of its first
// character.
struct ShownEntry {
    QString text;
    QColor colour;
};

class Console : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(m_device.Start(0), 0);
        m_window = std::make_unique<CConsoleWindow>();
        m_window->SetDevicePort(m_device.Port());
        m_window->AddressField()->setText(QStringLiteral("127.0.0.1"));
        m_window->show();
    }
    void TearDown() override
    {
        m_window.reset();
        m_device.Stop();
    }

    QWidget* ShowPage(Page page)
    {
        m_window->Pages()->setCurrentIndex(page);
        return m_window->Pages()->widget(page);
    }
    QPushButton* Button(Page page, const char* text)
    {
        for (QPushButton* b : m_window->Pages()->widget(page)->findChildren<QPushButton*>())
            if (b->text() == QString::fromUtf8(text))
                return b;
        ADD_FAILURE() << "no button " << text;
        return nullptr;
    }
    template <class W> W* Control(Page page, const char* name)
    {
        W* w = m_window->Pages()->widget(page)->findChild<W*>(QString::fromUtf8(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    // Presses the button and waits until its command has run (or a generous
    // guard against a hang passed).
    void Press(Page page, const char* text)
    {
        ShowPage(page);
        QPushButton* button = Button(page, text);
        ASSERT_NE(button, nullptr);
        QTest::mouseClick(button, Qt::LeftButton);
        WaitIdle();
    }
    void WaitIdle()
    {
        QElapsedTimer guard;
        guard.start();
        while (m_window->CommandRunning() && guard.elapsed() < 30000)
            QTest::qWait(10);
        EXPECT_FALSE(m_window->CommandRunning());
    }
    std::vector<ShownEntry> Log() const
    {
        // Entries are runs of one colour; a block break inside one entry keeps it.
        std::vector<ShownEntry> entries;
        QTextDocument* doc = m_window->LogView()->document();
        for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextFragment f = it.fragment();
                const QColor colour = f.charFormat().foreground().color();
                if (entries.empty() || entries.back().colour != colour)
                    entries.push_back({QString(), colour});
                entries.back().text += f.text();
            }
            if (!entries.empty() && block.next().isValid())
                entries.back().text += QStringLiteral("\r\n");
        }
        return entries;
    }
    static QString Text(const std::string& utf8) { return QString::fromUtf8(utf8.c_str()); }
    static QString Expected(const tvprotocol::LogEntry& entry) { return Text(entry.text); }

    tvdevice::CDeviceControlServer m_device;
    std::unique_ptr<CConsoleWindow> m_window;
};

const QColor kBlue(0, 0, 255);
const QColor kRed(255, 0, 0);

// ---- gets fill the controls and log their report in blue ----

struct GetCase {
    const char* name;
    Page page;
    const char* button;
    std::function<void(tvdevice::DeviceSettings&)> device;
    std::function<void(Console&, const tvdevice::DeviceSettings&)> check;
    std::function<tvprotocol::LogEntry(const tvdevice::DeviceSettings&)> report;
};

class ConsoleGet : public Console, public ::testing::WithParamInterface<GetCase> {
public:
    template <class W> W* Find(Page page, const char* name) { return Control<W>(page, name); }
};

TEST_P(ConsoleGet, FillsTheControlsAndLogsTheReportInBlue)
{
    const GetCase& c = GetParam();
    tvdevice::DeviceSettings settings = m_device.Settings();
    c.device(settings);
    m_device.SetSettings(settings);
    Press(c.page, c.button);
    const std::vector<ShownEntry> log = Log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].colour, kBlue);
    EXPECT_EQ(log[0].text, Expected(c.report(settings)));
    c.check(*static_cast<ConsoleGet*>(this), settings);
}

const GetCase kGetCases[] = {
    {"WorkModeTwo", kSystem, "获取工作模式",
     [](tvdevice::DeviceSettings& s) { s.workMode.workMode = 2; },
     [](Console& t, const tvdevice::DeviceSettings&) {
         auto* combo = static_cast<ConsoleGet&>(t).Find<QComboBox>(kSystem, "workMode");
         EXPECT_EQ(combo->currentIndex(), 2);
         EXPECT_EQ(combo->currentText(), QStringLiteral("编解码"));
     },
     [](const tvdevice::DeviceSettings&) {
         return tvprotocol::LogEntry{true, "工作模式:编解码\r\n"};
     }},
    {"SerialNumber", kSystem, "获取序列号",
     [](tvdevice::DeviceSettings& s) { s.serialNumber.serialNumber = "SN-4711"; },
     [](Console& t, const tvdevice::DeviceSettings&) {
         EXPECT_EQ(static_cast<ConsoleGet&>(t).Find<QLineEdit>(kSystem, "serialNumber")->text(),
                   QStringLiteral("SN-4711"));
     },
     [](const tvdevice::DeviceSettings&) {
         return tvprotocol::LogEntry{true, "序列号:SN-4711\r\n"};
     }},
    {"Network", kDevice, "获取网络参数",
     [](tvdevice::DeviceSettings& s) {
         s.network.bootProtocol = tvprotocol::kBootDhcp;
         s.network.ipAddress = "10.1.2.3";
         s.network.macAddress = "00:11:22:33:44:55";
     },
     [](Console& t, const tvdevice::DeviceSettings&) {
         auto& g = static_cast<ConsoleGet&>(t);
         EXPECT_TRUE(g.Find<QCheckBox>(kDevice, "dhcp")->isChecked());
         EXPECT_EQ(g.Find<CIpAddressEdit>(kDevice, "ip")->Address(), "10.1.2.3");
         EXPECT_EQ(g.Find<QLineEdit>(kDevice, "mac")->text(), QStringLiteral("00:11:22:33:44:55"));
     },
     [](const tvdevice::DeviceSettings& s) { return tvprotocol::DataLog(0, s.network); }},
    {"SerialPortCombos", kDevice, "获取串口参数",
     [](tvdevice::DeviceSettings& s) {
         tvprotocol::SerialPortParameters& p = s.serialPorts[0];
         p.serialMode = tvprotocol::kSerialRs422;
         p.dataBits = 7;
         p.stopBits = 2;
         p.ptzProtocol = 2;
         p.parity = 2;
         p.baudRate = 19200;
     },
     [](Console& t, const tvdevice::DeviceSettings&) {
         auto& g = static_cast<ConsoleGet&>(t);
         EXPECT_EQ(g.Find<QComboBox>(kDevice, "serialMode")->currentText(), QStringLiteral("422"));
         EXPECT_EQ(g.Find<QComboBox>(kDevice, "dataBits")->currentText(), QStringLiteral("7"));
         EXPECT_EQ(g.Find<QComboBox>(kDevice, "stopBits")->currentText(), QStringLiteral("2"));
         EXPECT_EQ(g.Find<QComboBox>(kDevice, "ptzProtocol")->currentText(),
                   QStringLiteral("pelco-p"));
         EXPECT_EQ(g.Find<QComboBox>(kDevice, "parity")->currentText(), QStringLiteral("偶"));
         EXPECT_EQ(g.Find<QLineEdit>(kDevice, "baudRate")->text(), QStringLiteral("19200"));
     },
     [](const tvdevice::DeviceSettings& s) { return tvprotocol::DataLog(0, s.serialPorts.at(0)); }},
    {"EncoderResolution", kEncoding, "获取编码参数",
     [](tvdevice::DeviceSettings& s) {
         s.encoder.resolution = 6;
         s.encoder.rateControl = 1;
         s.encoder.gop = 50;
     },
     [](Console& t, const tvdevice::DeviceSettings&) {
         auto& g = static_cast<ConsoleGet&>(t);
         EXPECT_EQ(g.Find<QComboBox>(kEncoding, "resolution")->currentText(),
                   QStringLiteral("V_1920_1080I50 "));
         EXPECT_EQ(g.Find<QComboBox>(kEncoding, "rateControl")->currentText(),
                   QStringLiteral("VBR"));
         EXPECT_EQ(g.Find<QLineEdit>(kEncoding, "gop")->text(), QStringLiteral("50"));
     },
     [](const tvdevice::DeviceSettings& s) { return tvprotocol::DataLog(0, s.encoder); }},
    {"AudioSampleRate", kEncoding, "获取音频参数",
     [](tvdevice::DeviceSettings& s) {
         s.audioEncoding.sampleRate = 5;
         s.audioEncoding.sampleWidth = 2;
     },
     [](Console& t, const tvdevice::DeviceSettings&) {
         auto& g = static_cast<ConsoleGet&>(t);
         EXPECT_EQ(g.Find<QComboBox>(kEncoding, "sampleRate")->currentText(),
                   QStringLiteral("44.1K"));
         EXPECT_EQ(g.Find<QComboBox>(kEncoding, "sampleWidth")->currentText(),
                   QStringLiteral("16bit"));
     },
     [](const tvdevice::DeviceSettings& s) { return tvprotocol::DataLog(0, s.audioEncoding); }},
    {"StreamSendingFirstEntry", kStreams, "获取码流发送信息",
     [](tvdevice::DeviceSettings& s) {
         s.streamSending.count = 2;
         s.streamSending.entries[0] = {3, 3, 2, "10.0.0.9", 6000};
         s.streamSending.entries[1] = {5, 1, 1, "10.0.0.8", 7000};
     },
     [](Console& t, const tvdevice::DeviceSettings&) {
         auto& g = static_cast<ConsoleGet&>(t);
         EXPECT_EQ(g.Find<QComboBox>(kStreams, "sendCodec")->currentText(),
                   QStringLiteral("MPEG4"));
         EXPECT_EQ(g.Find<QComboBox>(kStreams, "sendKind")->currentText(), QStringLiteral("TS流"));
         EXPECT_EQ(g.Find<QComboBox>(kStreams, "sendTransport")->currentText(),
                   QStringLiteral("UDP"));
         EXPECT_EQ(g.Find<CIpAddressEdit>(kStreams, "sendAddress")->Address(), "10.0.0.9");
         EXPECT_EQ(g.Find<QLineEdit>(kStreams, "sendPort")->text(), QStringLiteral("6000"));
     },
     [](const tvdevice::DeviceSettings& s) { return tvprotocol::DataLog(0, s.streamSending); }},
};

INSTANTIATE_TEST_SUITE_P(Pages, ConsoleGet, ::testing::ValuesIn(kGetCases),
                         [](const ::testing::TestParamInfo<GetCase>& info) {
                             return std::string(info.param.name);
                         });

// ---- sets send what the controls say, with the combo mappings ----

TEST_F(Console, SerialSetSendsTheMappedValuesAndThePortPlus1200)
{
    ShowPage(kDevice);
    Control<QLineEdit>(kDevice, "serialPort")->setText(QStringLiteral("3"));
    Control<QComboBox>(kDevice, "dataBits")->setCurrentIndex(3);
    Control<QComboBox>(kDevice, "stopBits")->setCurrentIndex(1);
    Control<QComboBox>(kDevice, "ptzProtocol")->setCurrentIndex(0);
    Control<QComboBox>(kDevice, "serialMode")->setCurrentIndex(1);
    Control<QLineEdit>(kDevice, "baudRate")->setText(QStringLiteral("9600"));
    Press(kDevice, "设置串口参数");
    const std::vector<ShownEntry> log = Log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].text, QStringLiteral("设备串口参数成功\r\n"));
    EXPECT_EQ(log[0].colour, kBlue);
    const tvprotocol::SerialPortParameters port = m_device.Settings().serialPorts.at(3);
    EXPECT_EQ(port.dataBits, 8);
    EXPECT_EQ(port.stopBits, 2);
    EXPECT_EQ(port.ptzProtocol, 1);
    EXPECT_EQ(port.serialMode, 1);
    EXPECT_EQ(port.baudRate, 9600);
    EXPECT_EQ(port.transmissionPort, 1203);
}

TEST_F(Console, EncoderSetSendsCodecFiveWhateverTheDeviceReported)
{
    tvdevice::DeviceSettings settings = m_device.Settings();
    settings.encoder.codec = 2;
    m_device.SetSettings(settings);
    Press(kEncoding, "获取编码参数");
    Control<QComboBox>(kEncoding, "resolution")->setCurrentIndex(13);
    Press(kEncoding, "设置编码参数");
    EXPECT_EQ(m_device.Settings().encoder.codec, 5);
    EXPECT_EQ(m_device.Settings().encoder.resolution, 13);
    EXPECT_TRUE(Log().back().text.endsWith(QStringLiteral("\r\n设置编码参数成功\r\n")));
}

TEST_F(Console, SundayGoesOutAsWeekdaySeven)
{
    ShowPage(kDevice);
    Control<QDateEdit>(kDevice, "date")->setDate(QDate(2026, 12, 6)); // a Sunday
    Press(kDevice, "设置系统时间");
    EXPECT_EQ(m_device.Settings().time.weekday, 7);
    EXPECT_EQ(m_device.Settings().time.year, 2026);
}

// ---- values the protocol refuses: -2, and no connection ----

struct RangeCase {
    const char* name;
    Page page;
    const char* button;
    std::function<void(Console&)> prepare; // may press gets first
    const char* log;
};

class ConsoleRange : public Console, public ::testing::WithParamInterface<RangeCase> {
public:
    using Console::Control;
    using Console::Press;
    tvdevice::CDeviceControlServer& Device() { return m_device; }
};

TEST_P(ConsoleRange, IsRefusedWithoutConnecting)
{
    const RangeCase& c = GetParam();
    c.prepare(*this);
    m_window->LogView()->clear();
    const uint64_t connections = m_device.ConnectionCount();
    Press(c.page, c.button);
    const std::vector<ShownEntry> log = Log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].text, QString::fromUtf8(c.log));
    EXPECT_EQ(log[0].colour, kRed);
    EXPECT_EQ(m_device.ConnectionCount(), connections);
}

const RangeCase kRangeCases[] = {
    // A device reporting mode 7 leaves the mode combo empty; setting it then
    // sends nothing.
    {"UnknownWorkMode", kSystem, "设置工作模式",
     [](Console& t) {
         auto& r = static_cast<ConsoleRange&>(t);
         tvdevice::DeviceSettings s = r.Device().Settings();
         s.workMode.workMode = 7;
         r.Device().SetSettings(s);
         r.Press(kSystem, "获取工作模式");
         EXPECT_EQ(r.Control<QComboBox>(kSystem, "workMode")->currentIndex(), -1);
     },
     "设置工作模式失败:参数错误\r\n"},
    {"DataBitsOutOfList", kDevice, "设置串口参数",
     [](Console& t) {
         auto& r = static_cast<ConsoleRange&>(t);
         tvdevice::DeviceSettings s = r.Device().Settings();
         s.serialPorts[0].dataBits = 9;
         r.Device().SetSettings(s);
         r.Press(kDevice, "获取串口参数");
     },
     "设备串口参数失败:参数错误\r\n"},
    {"Year2040", kDevice, "设置系统时间",
     [](Console& t) {
         static_cast<ConsoleRange&>(t)
             .Control<QDateEdit>(kDevice, "date")
             ->setDate(QDate(2040, 1, 1));
     },
     "设置系统时间失败:参数错误\r\n"},
    {"BrightnessAboveAByte", kEncoding, "设置视频参数",
     [](Console& t) {
         static_cast<ConsoleRange&>(t).Control<QLineEdit>(kEncoding, "brightness")->setText("256");
     },
     "设置视频参数失败:参数错误\r\n"},
    {"PtzPresetAboveAByte", kStreams, "云台控制",
     [](Console& t) {
         static_cast<ConsoleRange&>(t).Control<QLineEdit>(kStreams, "ptzPreset")->setText("300");
     },
     "云台控制失败:参数错误\r\n"},
};

INSTANTIATE_TEST_SUITE_P(Pages, ConsoleRange, ::testing::ValuesIn(kRangeCases),
                         [](const ::testing::TestParamInfo<RangeCase>& info) {
                             return std::string(info.param.name);
                         });

// ---- a silent device: red after the receive time-out, the window alive ----

TEST_F(Console, SilentDeviceLogsRedAfterTheTimeoutWhileTheWindowStaysResponsive)
{
    tvdevice::FaultPlan plan;
    plan.fault = tvdevice::DeviceFault::Silence;
    m_device.SetFault(plan);
    QWidget* page = ShowPage(kDevice);

    QElapsedTimer elapsed;
    elapsed.start();
    QTest::mouseClick(Button(kDevice, "获取网络参数"), Qt::LeftButton);
    // The press returned at once: the exchange runs elsewhere.
    EXPECT_TRUE(m_window->CommandRunning());
    EXPECT_TRUE(Log().empty());
    EXPECT_FALSE(page->isEnabled());
    EXPECT_FALSE(m_window->AddressField()->isEnabled());

    // A second press, of any command, starts nothing.
    QTest::mouseClick(Button(kDevice, "获取串口参数"), Qt::LeftButton);
    EXPECT_FALSE(m_window->RunCommand([] { return CCommandRunner::Completion(); }));

    // The window's event loop keeps running: a timer ticks and the window
    // repaints while the device stays silent.
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++ticks;
        m_window->repaint();
    });
    timer.start(50);
    WaitIdle();
    timer.stop();

    EXPECT_GE(elapsed.elapsed(), 1500); // the 2-second receive time-out, not a refusal
    EXPECT_GE(ticks, 10);
    const std::vector<ShownEntry> log = Log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].text, QStringLiteral("获取网络参数失败:接收数据超时\r\n"));
    EXPECT_EQ(log[0].colour, kRed);
    EXPECT_TRUE(page->isEnabled());
    EXPECT_TRUE(m_window->AddressField()->isEnabled());
    // One connection: the second press never reached the device.
    QTest::qWait(100);
    EXPECT_EQ(m_device.ConnectionCount(), 1u);
}

TEST_F(Console, ClearEmptiesTheLogAndEntriesFollowInOrder)
{
    Press(kSystem, "获取设备编号");
    Press(kSystem, "设备重启");
    std::vector<ShownEntry> log = Log();
    ASSERT_EQ(log.size(), 1u); // two blue entries in a row read as one run
    EXPECT_TRUE(log[0].text.endsWith(QStringLiteral("设备重启成功\r\n")));
    EXPECT_EQ(m_device.Settings().rebootCount, 1);
    QTest::mouseClick(m_window->findChild<QPushButton*>(QStringLiteral("clearLog")),
                      Qt::LeftButton);
    EXPECT_TRUE(m_window->LogView()->document()->toPlainText().isEmpty());
}

// ---- the log's font and the tab strip ----

TEST_F(Console, LogFontFallsBackToAFaceWithTheCjkGlyphs)
{
    const QFont font = CConsoleLogView::LogFont();
    EXPECT_EQ(font.family(), QStringLiteral("宋体"));
    const QRawFont raw = QRawFont::fromFont(font, QFontDatabase::SimplifiedChinese);
    ASSERT_TRUE(raw.isValid());
    for (const char32_t c : {U'失', U'败', U'获', U'码'})
        EXPECT_TRUE(raw.supportsCharacter(c))
            << "U+" << std::hex << uint32_t(c) << " in " << raw.familyName().toStdString();
}

TEST_F(Console, TabStripPaintsItsColoursInOrder)
{
    CConsoleTabBar* bar = m_window->TabStrip();
    m_window->Pages()->setCurrentIndex(2);
    QApplication::processEvents();
    const QImage image = bar->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(image.isNull());
    auto at = [&](int x, int y) { return QColor(image.pixel(x, y)); };
    const QRect selected = bar->tabRect(2);
    const QRect left = bar->tabRect(1);
    const QRect right = bar->tabRect(3);

    // The strip beyond the last tab.
    const QRect last = bar->tabRect(bar->count() - 1);
    if (last.right() + 3 < image.width()) {
        EXPECT_EQ(at(last.right() + 2, last.center().y()), CConsoleTabBar::StripColour());
    }
    // Unselected tabs and the selected one, away from their captions.
    EXPECT_EQ(at(left.left() + 1, left.bottom() - 1), CConsoleTabBar::TabColour());
    EXPECT_EQ(at(selected.left() + 1, selected.bottom() - 1), CConsoleTabBar::StripColour());
    // One pixel wider on each side, painted over its neighbours.
    EXPECT_EQ(at(selected.left() - 1, selected.bottom() - 1), CConsoleTabBar::StripColour());
    EXPECT_EQ(at(selected.right() + 1, selected.bottom() - 1), CConsoleTabBar::StripColour());
    EXPECT_EQ(at(right.left() + 2, right.bottom() - 1), CConsoleTabBar::TabColour());

    // Captions: their colours inside their tab, none left of x + 5 or above y + 3.
    auto captionPixels = [&](const QRect& tab, const QColor& colour, int* outside) {
        int inside = 0;
        *outside = 0;
        for (int y = tab.top(); y <= tab.bottom(); ++y)
            for (int x = tab.left(); x <= tab.right(); ++x)
                if (at(x, y) == colour) {
                    if (x < tab.left() + CConsoleTabBar::kCaptionX ||
                        y < tab.top() + CConsoleTabBar::kCaptionY)
                        ++*outside;
                    else
                        ++inside;
                }
        return inside;
    };
    int outside = 0;
    EXPECT_GT(captionPixels(left, CConsoleTabBar::CaptionColour(), &outside), 10);
    EXPECT_EQ(outside, 0);
    EXPECT_GT(captionPixels(selected, CConsoleTabBar::SelectedCaptionColour(), &outside), 10);
    EXPECT_EQ(outside, 0);
    EXPECT_EQ(captionPixels(selected, CConsoleTabBar::CaptionColour(), &outside), 0);
}

TEST_F(Console, EightTabsInOrderFirstShown)
{
    const QStringList expected = {"系统配置", "设备配置", "编码参数", "解码参数",
                                  "报警参数", "移动侦测", "码流信息", "视频播放"};
    auto fresh = std::make_unique<CConsoleWindow>();
    ASSERT_EQ(fresh->Pages()->count(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        EXPECT_EQ(fresh->Pages()->tabText(i), expected[i]);
    EXPECT_EQ(fresh->Pages()->currentIndex(), 0);
    EXPECT_EQ(fresh->AddressField()->Address(), "192.168.2.103");
    EXPECT_EQ(fresh->windowTitle(), QStringLiteral("vxconsole"));
}

TEST_F(Console, AboutEntryOfTheMenuShowsTheVersion)
{
    QAction* about = m_window->findChild<QAction*>(QStringLiteral("about"));
    ASSERT_NE(about, nullptr);
    QString shown;
    QTimer::singleShot(0, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                shown = box->text();
                box->accept();
            }
    });
    about->trigger();
    EXPECT_EQ(shown, QStringLiteral("vxconsole 1.0 版"));
}

// ---- the playback page over real players ----

// A TCP socket listening on 127.0.0.1 at a free port.
struct Listener {
    int fd = -1;
    int port = 0;
    Listener()
    {
        fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t n = sizeof a;
        if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&a), n) != 0 || listen(fd, 4) != 0 ||
            getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n) != 0)
            return;
        port = ntohs(a.sin_port);
    }
    ~Listener()
    {
        if (fd >= 0)
            close(fd);
    }
    // True when a connection is waiting within timeoutMs (the event loop runs meanwhile).
    bool Connected(int timeoutMs) const
    {
        QElapsedTimer t;
        t.start();
        do {
            fd_set set;
            FD_ZERO(&set);
            FD_SET(fd, &set);
            timeval tv{0, 0};
            if (select(fd + 1, &set, nullptr, nullptr, &tv) > 0)
                return true;
            QTest::qWait(20);
        } while (t.elapsed() < timeoutMs);
        return false;
    }
};

// True when something else holds UDP port `port` on this host.
bool UdpPortTaken(int port)
{
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    const bool taken =
        bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 && errno == EADDRINUSE;
    close(fd);
    return taken;
}

struct ProtocolCase {
    const char* name;
    int comboIndex;
    bool expectTcp;
};

class ConsoleNetworkPlay : public Console, public ::testing::WithParamInterface<ProtocolCase> {};

TEST_P(ConsoleNetworkPlay, OpensTheStreamWithTheProtocolOfTheCombo)
{
    const ProtocolCase& c = GetParam();
    Listener device;
    ASSERT_GT(device.port, 0);
    ShowPage(kPlayback);
    CPlaybackPage* page = m_window->PlaybackPage();
    // Without X11 (the offscreen platform) the player draws into a virtual window.
    EXPECT_EQ(page->UsesVirtualWindow(), QGuiApplication::platformName() != QLatin1String("xcb"));
    Control<QLineEdit>(kPlayback, "playPort")->setText(QString::number(device.port));
    Control<QComboBox>(kPlayback, "playProtocol")->setCurrentIndex(c.comboIndex);
    QTest::mouseClick(Button(kPlayback, "网络播放"), Qt::LeftButton);
    ASSERT_GE(page->PlayerHandle(), 0);
    if (c.expectTcp) {
        // Connect type 4: the player connects to the device as a TCP client.
        EXPECT_TRUE(device.Connected(10000));
    } else {
        // Connect type 2: the player receives datagrams on the port, and
        // never connects.
        QElapsedTimer t;
        t.start();
        while (!UdpPortTaken(device.port) && t.elapsed() < 10000)
            QTest::qWait(20);
        EXPECT_TRUE(UdpPortTaken(device.port));
        EXPECT_FALSE(device.Connected(300));
    }
}

INSTANTIATE_TEST_SUITE_P(Protocols, ConsoleNetworkPlay,
                         ::testing::Values(ProtocolCase{"Udp", 0, false},
                                           ProtocolCase{"Tcp", 1, true}),
                         [](const ::testing::TestParamInfo<ProtocolCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(ConsoleSnapshotPath, IsTheLocalTimeOnDriveC)
{
    std::tm t{};
    t.tm_year = 2011 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 5;
    t.tm_hour = 14;
    t.tm_min = 7;
    t.tm_sec = 9;
    EXPECT_EQ(CPlaybackPage::SnapshotPath(t), "c:/20110305140709.bmp");
}

TEST_F(Console, FilePlaysAndTheSnapshotLandsInTheFolderOfDriveC)
{
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("vxconsole-" + std::to_string(getpid()));
    const std::filesystem::path driveC = dir / "drive_c";
    std::filesystem::create_directories(driveC);
    setenv("TARVO_DRIVE_C", driveC.c_str(), 1);

    tvdevsim::SimConfig config;
    config.stream.kind = tvdevsim::SimKind::Device40;
    config.stream.width = 320;
    config.stream.height = 240;
    config.stream.frameRate = 25;
    config.stream.audio = false;
    config.transport = tvdevsim::SimTransport::None;
    config.realTime = false;
    config.frames = 250;
    config.recordPath = (dir / "clip").string();
    tvdevsim::CDeviceSimulator sim;
    sim.SetLogHandler([](const std::string&) {});
    ASSERT_TRUE(sim.Start(config)) << sim.Error();
    ASSERT_TRUE(sim.WaitFinished(120000));
    sim.Stop();

    ShowPage(kPlayback);
    CPlaybackPage* page = m_window->PlaybackPage();
    page->OpenFile(sim.RecordPath());
    ASSERT_GE(page->PlayerHandle(), 0);
    TvPlayerStats stats;
    QElapsedTimer t;
    t.start();
    do {
        QTest::qWait(50);
        char text[1024] = {};
        TP_GetStatistics(page->PlayerHandle(), text, sizeof text);
        ParsePlayerStatistics(text, stats);
    } while (stats.drawn < 1 && t.elapsed() < 30000);
    ASSERT_GE(stats.drawn, 1);

    ASSERT_EQ(page->Snapshot(), 0);
    int bitmaps = 0;
    for (const auto& entry : std::filesystem::directory_iterator(driveC)) {
        const std::string name = entry.path().filename().string();
        if (name.size() == 18 && name.ends_with(".bmp")) {
            std::ifstream in(entry.path(), std::ios::binary);
            char magic[2] = {};
            in.read(magic, 2);
            EXPECT_EQ(std::string(magic, 2), "BM");
            ++bitmaps;
        }
    }
    EXPECT_EQ(bitmaps, 1);
    // S_FALSE (1) while the graph's change of state completes.
    EXPECT_GE(page->Pause(), 0);
    EXPECT_GE(page->Stop(), 0);
    m_window.reset();
    unsetenv("TARVO_DRIVE_C");
    std::filesystem::remove_all(dir);
}

} // namespace
