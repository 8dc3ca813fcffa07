// CConsoleWindow: the console's main window ("vxconsole"): the device address
// ("设备IP："), the eight pages under the console's own tab strip, the log
// with its "清除" button, and the About entry in the window's menu.
//
// Every device command goes through RunCommand: one at a time on the worker
// of CCommandRunner, with the device pages and the address field disabled
// while it runs (see CCommandRunner.h). The log, its clear button, the tab
// strip and the playback page stay usable.
//
// Threads: the Qt GUI thread.
#pragma once

#include <QMainWindow>

#include <memory>
#include <string>

#include "CCommandRunner.h"
#include "tvprotocol/ConsoleLog.h"

class QTabWidget;
class QPushButton;
class CConsoleLogView;
class CConsoleTabBar;
class CIpAddressEdit;
class CPlaybackPage;

class CConsoleWindow : public QMainWindow {
public:
    explicit CConsoleWindow(QWidget* parent = nullptr);
    ~CConsoleWindow() override;

    // The address in the field at this moment ("" while it is incomplete).
    std::string DeviceAddress() const;
    // The device's command port: 9999. Tests point the console at a device
    // side listening elsewhere; nothing on screen shows it.
    int DevicePort() const { return m_port; }
    void SetDevicePort(int port) { m_port = port; }

    void Log(const tvprotocol::LogEntry& entry);
    // Starts a command on the worker; false while another one runs.
    bool RunCommand(CCommandRunner::Work work);
    bool CommandRunning() const { return m_runner->Busy(); }

    CIpAddressEdit* AddressField() const { return m_address; }
    CConsoleLogView* LogView() const { return m_log; }
    QTabWidget* Pages() const { return m_tabs; }
    CConsoleTabBar* TabStrip() const { return m_tabBar; }
    CPlaybackPage* PlaybackPage() const { return m_playback; }

    // The About box ("vxconsole 1.0 版").
    void ShowAbout();
    static QString AboutText();

private:
    void SetBusy(bool busy);

    int m_port;
    CIpAddressEdit* m_address = nullptr;
    QTabWidget* m_tabs = nullptr;
    CConsoleTabBar* m_tabBar = nullptr;
    CConsoleLogView* m_log = nullptr;
    CPlaybackPage* m_playback = nullptr;
    // Declared last: destroyed first, so no completion runs once the window's
    // members start to go.
    std::unique_ptr<CCommandRunner> m_runner;
};
