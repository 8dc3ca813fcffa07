#include "CPlaybackPage.h"

#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QVBoxLayout>

#include <cstdio>
#include <functional>
#include <mutex>

#include "CConsoleWindow.h"
#include "CFilterPagesChooser.h"
#include "ConsoleLists.h"
#include "TarvoPlayLib.h"
#include "win32/msgbox.h"
#include "win32/window.h"

// The frame the picture is drawn in. Qt paints nothing of its own over it
// once a player's renderer draws there.
class CVideoFrame : public QWidget {
public:
    explicit CVideoFrame(QWidget* parent) : QWidget(parent)
    {
        setObjectName(QStringLiteral("videoFrame"));
        setMinimumSize(352, 288);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        QPalette black = palette();
        black.setColor(QPalette::Window, Qt::black);
        setPalette(black);
        setAutoFillBackground(true);
    }
    std::function<void(int, int)> onResize;

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QWidget::resizeEvent(event);
        if (onResize)
            onResize(event->size().width(), event->size().height());
    }
};

namespace {

// What the library posts to the player's window (graph events, render
// failures): the page has nothing to do with them, but takes them so they do
// not pile up unread.
intptr_t IgnoreMessage(HWND, unsigned int, uintptr_t, intptr_t, void*)
{
    return 0;
}

constexpr int kDefaultPlayPort = 4567;

} // namespace

CPlaybackPage::CPlaybackPage(CConsoleWindow& console, QWidget* parent)
    : QWidget(parent), m_console(console)
{
    static std::once_flag s_init;
    std::call_once(s_init, [] { TP_Init(); });

    m_frame = new CVideoFrame(this);
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        m_frame->setAttribute(Qt::WA_NativeWindow);
        m_frame->setAttribute(Qt::WA_DontCreateNativeAncestors);
    } else {
        m_virtual = true;
        SetWindow(TvCreateVirtualWindow(m_frame->width(), m_frame->height()));
    }
    m_frame->onResize = [this](int width, int height) { FrameResized(width, height); };

    auto* controls = new QGridLayout;
    auto* file = new QPushButton(QStringLiteral("文件"), this);
    auto* play = new QPushButton(QStringLiteral("播放"), this);
    auto* pause = new QPushButton(QStringLiteral("暂停"), this);
    auto* stop = new QPushButton(QStringLiteral("停止"), this);
    auto* snapshot = new QPushButton(QStringLiteral("抓图"), this);
    auto* network = new QPushButton(QStringLiteral("网络播放"), this);
    auto* pages = new QPushButton(QStringLiteral("属性"), this);
    pages->setObjectName(QStringLiteral("filterPages"));
    connect(file, &QPushButton::clicked, this, [this] { ChooseFile(); });
    connect(play, &QPushButton::clicked, this, [this] { Play(); });
    connect(pause, &QPushButton::clicked, this, [this] { Pause(); });
    connect(stop, &QPushButton::clicked, this, [this] { Stop(); });
    connect(snapshot, &QPushButton::clicked, this, [this] { Snapshot(); });
    connect(network, &QPushButton::clicked, this, [this] { PlayNetwork(); });
    connect(pages, &QPushButton::clicked, this, [this] { ShowFilterPages(); });

    m_port = new QLineEdit(QString::number(kDefaultPlayPort), this);
    m_port->setObjectName(QStringLiteral("playPort"));
    m_port->setValidator(new QIntValidator(0, 65535, m_port));
    m_protocol = new QComboBox(this);
    m_protocol->setObjectName(QStringLiteral("playProtocol"));
    m_protocol->addItems(consolelists::PlayProtocols());
    m_protocol->setCurrentIndex(0);

    controls->addWidget(file, 0, 0);
    controls->addWidget(play, 0, 1);
    controls->addWidget(pause, 0, 2);
    controls->addWidget(stop, 0, 3);
    controls->addWidget(snapshot, 0, 4);
    controls->addWidget(pages, 0, 5);
    auto* portLabel = new QLabel(QStringLiteral("端口:"), this);
    portLabel->setBuddy(m_port);
    controls->addWidget(portLabel, 1, 0, Qt::AlignRight);
    controls->addWidget(m_port, 1, 1);
    controls->addWidget(m_protocol, 1, 2);
    controls->addWidget(network, 1, 3);
    controls->setColumnStretch(6, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_frame, 1);
    layout->addLayout(controls);
}

CPlaybackPage::~CPlaybackPage()
{
    // The player goes before the window it draws in.
    Release();
    SetWindow(nullptr);
}

HWND CPlaybackPage::VideoWindow()
{
    if (!m_virtual)
        SetWindow(reinterpret_cast<HWND>(m_frame->winId()));
    return m_window;
}

void CPlaybackPage::SetWindow(HWND window)
{
    if (window == m_window)
        return;
    if (m_window) {
        TP_SetMessageCallback(m_window, nullptr, nullptr);
        // A virtual window is the page's own; an X11 window is Qt's, and
        // the platform only forgets what it kept for it.
        DestroyWindow(m_window);
    }
    m_window = window;
    if (m_window)
        TP_SetMessageCallback(m_window, IgnoreMessage, nullptr);
}

void CPlaybackPage::Release()
{
    if (m_handle >= 0)
        TP_Uninitialize(m_handle);
    m_handle = -1;
}

void CPlaybackPage::FrameResized(int width, int height)
{
    if (m_virtual)
        TvResizeVirtualWindow(m_window, width, height);
    if (m_handle >= 0)
        TP_ReSize(m_handle);
}

void CPlaybackPage::ChooseFile()
{
    QFileDialog dialog(this);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(QStringLiteral("所有文件(*.*)"));
    dialog.setDefaultSuffix(QStringLiteral("tvx"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    OpenFile(dialog.selectedFiles().first().toStdString());
}

void CPlaybackPage::OpenFile(const std::string& path)
{
    Release();
    m_handle = TP_Initialize(VideoWindow(), 1, 0, 2, 0);
    if (m_handle < 0)
        return;
    if (TP_OpenLocalFile(m_handle, path.c_str()) != 0)
        MessageBoxA(VideoWindow(), "打开文件失败", "vxconsole", MB_OK);
    TP_PlayControl(m_handle, TP_PLAY_PLAY, 0, nullptr);
}

void CPlaybackPage::PlayNetwork()
{
    Release();
    m_handle = TP_Initialize(VideoWindow(), 1, 6, 0, 0);
    if (m_handle < 0)
        return;
    const std::string address = m_console.DeviceAddress();
    TP_OpenStream(m_handle, address.c_str(), m_port->text().toInt(),
                  ConnectType(m_protocol->currentIndex()), 0);
}

int CPlaybackPage::Play()
{
    return TP_PlayControl(m_handle, TP_PLAY_PLAY, 0, nullptr);
}

int CPlaybackPage::Pause()
{
    return TP_PlayControl(m_handle, TP_PLAY_PAUSE, 0, nullptr);
}

int CPlaybackPage::Stop()
{
    return TP_PlayControl(m_handle, TP_PLAY_STOP, 0, nullptr);
}

std::string CPlaybackPage::SnapshotPath(const std::tm& local)
{
    char path[64];
    std::snprintf(path, sizeof path, "c:/%04d%02d%02d%02d%02d%02d.bmp", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return path;
}

int CPlaybackPage::Snapshot()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return TP_GrabPicture(m_handle, SnapshotPath(local).c_str());
}

int CPlaybackPage::ShowFilterPages()
{
    if (m_handle < 0)
        return 0;
    IFilterGraph* graph = nullptr;
    if (TP_GetFilterGraph(m_handle, &graph) != 0 || !graph)
        return 0;
    const int count = ShowGraphFilterPages(graph, this);
    graph->Release();
    return count;
}
