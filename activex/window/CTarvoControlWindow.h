// CTarvoControlWindow: the player control's window. It paints the control's
// frame, gives the players a native window to show the video in, turns mouse
// gestures into digital zoom or PTZ events, toggles full screen, opens dropped
// files and handles what the player posts to its window (0x401 failures,
// 0x402 graph events). What it needs of the control (the player, the methods
// it runs, the events it fires) comes through IControlHost.
//
// Mouse gestures (only while the player's GetState reports running):
// in zoom mode a left drag pans and the wheel zooms the player's source
// rectangle; in PTZ mode the zone under the mouse, a press, its speed
// changes and its release fire PTZEvent, the wheel 144 or 160. A left
// double click toggles full screen (what the press Qt delivers just before
// it began is ended first), Escape leaves it; every key is consumed. A PTZ
// press always gets its stop, whatever the graph does meanwhile. A drop
// opens its first local file of at most 255 bytes; longer paths are
// refused, never cut.
//
// The video's window (VideoWindow) is the widget's own X11 window under the
// xcb platform; on any other platform (offscreen, tests, headless runs) it is
// a virtual window of the platform, kept at the widget's size.
//
// Threads: everything runs on the Qt GUI thread (the control's thread), except
// OnPostedMessage, which the platform's dispatcher thread calls for the
// messages posted to VideoWindow(); it only queues them for the GUI thread,
// where HandlePostedMessage runs them. The destructor removes the message
// handler first (waiting for a running call), so nothing queued outlives the
// widget.
#pragma once

#include <QCursor>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QWidget>

#include <array>

#include "ControlHost.h"
#include "win32/window.h"

class CTarvoControlWindow : public QWidget {
public:
    // Mouse modes.
    static constexpr int kMouseNone = 0;
    static constexpr int kMouseZoom = 1;
    static constexpr int kMousePTZ = 2;

    // Cursor identifiers (the control's cursor resources): one per PTZ zone,
    // one per zone while pressed, the zoom mode's two, the PTZ wheel's two and
    // PTZ mode outside every zone.
    static constexpr int kCursorZone = 200;        // + zone (1-8): 201-208
    static constexpr int kCursorZonePressed = 208; // + zone (1-8): 209-216
    static constexpr int kCursorZoom = 217;
    static constexpr int kCursorZoomDrag = 218;
    static constexpr int kCursorZoomIn = 219;  // PTZ wheel forward (PTZEvent 144)
    static constexpr int kCursorZoomOut = 220; // PTZ wheel back (PTZEvent 160)
    static constexpr int kCursorPTZ = 221;
    static constexpr int kCursorFirst = 201;
    static constexpr int kCursorCount = 21;

    // host is not owned; it must outlive the window or call DetachHost first.
    explicit CTarvoControlWindow(IControlHost* host, QWidget* parent = nullptr);
    ~CTarvoControlWindow() override;

    CTarvoControlWindow(const CTarvoControlWindow&) = delete;
    CTarvoControlWindow& operator=(const CTarvoControlWindow&) = delete;

    // The window the control hands to its players; lives as long as this
    // widget (delete the player first).
    HWND VideoWindow() const { return m_hWnd; }

    // The control's PTZControl: 0 digital-zoom enable, 1 PTZ enable, 2 both
    // (each = inValue); 3 resets the zoom to the whole picture through the
    // player; other codes TP_ERR_UNSUPPORTED. Then leaves a mouse mode whose
    // enable was cleared. outValue is not used. 0.
    LONG PTZControl(LONG controlCode, LONG inValue, LONG* outValue);

    // kMouseNone, kMouseZoom or kMousePTZ.
    int MouseMode() const { return m_mouseMode; }
    // One step of the mode cycle (the middle button): zoom goes to PTZ when
    // enabled, else none; PTZ goes to none; none goes to zoom when enabled
    // and the video is not full screen, else to PTZ when enabled.
    void SwitchMouseMode();

    // colorBackGround changed: paint again.
    void BackColorChanged() { update(); }

    // The outside control's child window (created by the control once): kept
    // at (2, 2) with the window's size less 4 on every resize. Becomes a child
    // of this widget and goes with it; null forgets it.
    void SetChildControl(QWidget* child);
    QWidget* ChildControl() const { return m_child; }

    // The host goes away: from now on nothing is fired and no player is
    // touched. Call before the host is destroyed. The host may call it from
    // an event it receives; it must not delete the window there (deleteLater).
    void DetachHost() { m_host = nullptr; }

    // The focus flag (set on focus gain, cleared on loss).
    bool FocusFlag() const { return m_focus; }
    // The identifier of the cursor shown (0: the system arrow).
    int CursorId() const { return m_cursorId; }
    // The PTZ zone under the mouse and whether it is pressed.
    int PTZZone() const { return m_zone; }
    bool PTZPressed() const { return m_pressed; }

    // The zone (0 none, 1 up, 2 down, 3 left, 4 right, 5 up-left, 6 up-right,
    // 7 down-left, 8 down-right) of point p in a rectangle of size w x h.
    static int PTZZoneAt(QPoint p, int w, int h);
    // The zone's reference point in a rectangle of size w x h.
    static QPoint PTZReference(int zone, int w, int h);
    // The speed (0-4) of a press at p in zone, in a rectangle of size w x h.
    static int PTZSpeed(int zone, QPoint p, int w, int h);
    // The cursor with identifier id (201-221); the arrow for any other.
    static QCursor ControlCursor(int id);

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    // Dispatcher thread: queues the message for HandlePostedMessage.
    static LRESULT OnPostedMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam, void* user);
    // GUI thread: holds the host while HandleHeldMessage runs; the host's
    // last release may delete this window on the way out.
    void HandlePostedMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    // 0x401 shows the failure, 0x402 drains the graph's events.
    void HandleHeldMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void DrainGraphEvents();
    // The message an event stands for, fired as WindowProc before the event
    // is handled; events that stand for no window message fire nothing.
    void FireWindowProc(QEvent* e);

    CPlayerBase* Player() const { return m_host ? m_host->Player() : nullptr; }
    // The player's GetState reports a running graph.
    bool PlayerRunning() const;
    bool PlayerFullScreen() const;
    // The rectangle the gestures measure against (the screen when the video
    // is full screen, else the client area) and the mouse point in it.
    QRect ReferenceRect(bool fullScreen) const;
    QPoint ReferencePoint(const QPointF& local, const QPointF& global, bool fullScreen) const;
    void ShowCursor(int id);
    // A PTZ press ends: the stop event for the pressed zone.
    void ReleasePTZ();

    IControlHost* m_host; // null once detached
    HWND m_hWnd;
    bool m_virtualWindow; // m_hWnd is the platform's virtual window (ours to destroy)
    QPointer<QWidget> m_child;

    bool m_zoomEnabled = false;
    bool m_ptzEnabled = false;
    int m_mouseMode = kMouseNone;
    int m_zone = 0;
    bool m_pressed = false;
    QPoint m_reference; // the pressed zone's reference point
    int m_lastSpeed = 0;
    bool m_dragging = false;
    QPoint m_lastDrag; // the last point of a zoom drag
    bool m_focus = false;
    int m_cursorId = 0;
    std::array<QCursor, kCursorCount> m_cursors;
};
