#include "CConsoleWindow.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QVBoxLayout>

#include "CAlarmPage.h"
#include "CConsoleLogView.h"
#include "CConsoleTabBar.h"
#include "CDecodingPage.h"
#include "CDeviceConfigPage.h"
#include "CEncodingPage.h"
#include "CIpAddressEdit.h"
#include "CMotionPage.h"
#include "CPlaybackPage.h"
#include "CStreamPage.h"
#include "CSystemPage.h"
#include "ConsoleLists.h"
#include "tvprotocol/Transport.h"

namespace {

// QTabWidget takes its strip only through the protected setTabBar.
class CConsoleTabs : public QTabWidget {
public:
    CConsoleTabs(CConsoleTabBar* bar, QWidget* parent) : QTabWidget(parent) { setTabBar(bar); }
};

} // namespace

CConsoleWindow::CConsoleWindow(QWidget* parent)
    : QMainWindow(parent), m_port(tvprotocol::kDevicePort),
      m_runner(std::make_unique<CCommandRunner>())
{
    tvprotocol::StartNetworking();
    setWindowTitle(QStringLiteral("vxconsole"));

    QMenu* help = menuBar()->addMenu(QStringLiteral("帮助(&H)"));
    QAction* about = help->addAction(QStringLiteral("关于 vxconsole(&A)..."));
    about->setObjectName(QStringLiteral("about"));
    connect(about, &QAction::triggered, this, [this] { ShowAbout(); });

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);

    auto* addressRow = new QHBoxLayout;
    auto* addressLabel = new QLabel(QStringLiteral("设备IP："), central);
    m_address = new CIpAddressEdit(central);
    m_address->setObjectName(QStringLiteral("deviceAddress"));
    m_address->setText(QStringLiteral("192.168.2.103"));
    m_address->setMaximumWidth(160);
    addressLabel->setBuddy(m_address);
    addressRow->addWidget(addressLabel);
    addressRow->addWidget(m_address);
    addressRow->addStretch(1);
    layout->addLayout(addressRow);

    auto* splitter = new QSplitter(Qt::Vertical, central);
    m_tabBar = new CConsoleTabBar;
    m_tabs = new CConsoleTabs(m_tabBar, splitter);
    m_tabs->setObjectName(QStringLiteral("pages"));
    const QStringList& captions = consolelists::PageCaptions();
    m_tabs->addTab(new CSystemPage(*this), captions[0]);
    m_tabs->addTab(new CDeviceConfigPage(*this), captions[1]);
    m_tabs->addTab(new CEncodingPage(*this), captions[2]);
    m_tabs->addTab(new CDecodingPage(*this), captions[3]);
    m_tabs->addTab(new CAlarmPage(*this), captions[4]);
    m_tabs->addTab(new CMotionPage(*this), captions[5]);
    m_tabs->addTab(new CStreamPage(*this), captions[6]);
    m_playback = new CPlaybackPage(*this);
    m_tabs->addTab(m_playback, captions[7]);
    m_tabs->setCurrentIndex(0);
    splitter->addWidget(m_tabs);

    auto* logArea = new QWidget(splitter);
    auto* logLayout = new QVBoxLayout(logArea);
    logLayout->setContentsMargins(0, 0, 0, 0);
    m_log = new CConsoleLogView(logArea);
    m_log->setObjectName(QStringLiteral("log"));
    logLayout->addWidget(m_log);
    auto* clear = new QPushButton(QStringLiteral("清除"), logArea);
    clear->setObjectName(QStringLiteral("clearLog"));
    connect(clear, &QPushButton::clicked, m_log, &QTextEdit::clear);
    auto* clearRow = new QHBoxLayout;
    clearRow->addStretch(1);
    clearRow->addWidget(clear);
    logLayout->addLayout(clearRow);
    splitter->addWidget(logArea);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    layout->addWidget(splitter, 1);

    setCentralWidget(central);
    resize(900, 760);

    m_runner->SetBusyHandler([this](bool busy) { SetBusy(busy); });
}

CConsoleWindow::~CConsoleWindow()
{
    // The worker first: its completions use the pages.
    const bool busy = m_runner->Busy();
    m_runner.reset();
    if (busy)
        QApplication::restoreOverrideCursor();
}

std::string CConsoleWindow::DeviceAddress() const
{
    return m_address->Address();
}

void CConsoleWindow::Log(const tvprotocol::LogEntry& entry)
{
    m_log->Append(entry);
}

bool CConsoleWindow::RunCommand(CCommandRunner::Work work)
{
    return m_runner->Start(std::move(work));
}

void CConsoleWindow::SetBusy(bool busy)
{
    m_address->setEnabled(!busy);
    for (int i = 0; i < m_tabs->count(); ++i)
        if (m_tabs->widget(i) != m_playback)
            m_tabs->widget(i)->setEnabled(!busy);
    if (busy)
        QApplication::setOverrideCursor(Qt::BusyCursor);
    else
        QApplication::restoreOverrideCursor();
}

QString CConsoleWindow::AboutText()
{
    return QStringLiteral("vxconsole 1.0 版");
}

void CConsoleWindow::ShowAbout()
{
    QMessageBox::about(this, QStringLiteral("关于 vxconsole"), AboutText());
}
