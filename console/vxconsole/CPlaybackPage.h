// CPlaybackPage ("视频播放"): plays a record file or the device's stream
// through the player library, in the page's video frame.
//
// The video frame is a native child window: under X11 its window id (what
// winId() gives on the xcb platform) is the HWND the player draws into. On
// any other Qt platform (offscreen in tests, no X11 id to give) the page makes
// a virtual window of the platform layer of the frame's size instead, so the
// player runs the same way without a display.
//
// The page keeps one player handle: the last one TP_Initialize gave, released
// before each new open and when the page goes.
//
// Threads: the Qt GUI thread. The player calls are short; they never wait on
// the network (the network source connects on its own thread).
#pragma once

#include <QWidget>

#include <ctime>
#include <string>

#include "win32/types.h"

class CConsoleWindow;
class QComboBox;
class QLineEdit;
class CVideoFrame;

class CPlaybackPage : public QWidget {
public:
    explicit CPlaybackPage(CConsoleWindow& console, QWidget* parent = nullptr);
    ~CPlaybackPage() override;

    // The window handle given to TP_Initialize. Under X11 it is asked for
    // when a player is made: the frame's X11 id is final only once the page
    // sits in the window (adding it to the tabs reparents it).
    HWND VideoWindow();
    bool UsesVirtualWindow() const { return m_virtual; }
    // The current player handle; -1 before the first open.
    int PlayerHandle() const { return m_handle; }

    // "文件" once a file was chosen: a new file player on the path, then play.
    // A file that cannot be opened shows "打开文件失败".
    void OpenFile(const std::string& path);
    // "网络播放": a new stream player on the device address of the window,
    // the port edit and the protocol combo (UDP: 2, TCP: 4).
    void PlayNetwork();
    // "播放", "暂停", "停止".
    int Play();
    int Pause();
    int Stop();
    // "抓图": captures the picture to SnapshotPath(local time now).
    int Snapshot();
    // "属性": the property pages of the playing graph's filters (modal); the
    // number of filters that offer pages, 0 without a player.
    int ShowFilterPages();
    // "c:/YYYYMMDDhhmmss.bmp" of a local time. The player maps the drive path
    // (win32/path.h): it lands in the folder of drive C:.
    static std::string SnapshotPath(const std::tm& local);
    // The connect type of a protocol combo index: 2 x index + 2.
    static int ConnectType(int protocolIndex) { return 2 * protocolIndex + 2; }

private:
    void ChooseFile();
    void Release();
    void FrameResized(int width, int height);
    void SetWindow(HWND window);

    CConsoleWindow& m_console;
    CVideoFrame* m_frame = nullptr;
    QLineEdit* m_port = nullptr;
    QComboBox* m_protocol = nullptr;
    HWND m_window = nullptr;
    bool m_virtual = false;
    int m_handle = -1;
};
