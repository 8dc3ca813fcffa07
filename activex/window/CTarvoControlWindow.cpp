#include "CTarvoControlWindow.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QResizeEvent>
#include <QScreen>
#include <QUrl>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "CGraphPlayer.h"
#include "TarvoPlayErrors.h"
#include "win32/msgbox.h"

namespace {

// The splitter's EC_USER events (first parameter).
constexpr LONG_PTR kEventEndOfFile = 10001;
constexpr LONG_PTR kEventFirstAudio = 10010;
constexpr LONG_PTR kEventFirstVideo = 10011;

// What the control's PlayControl runs at the end of a file: stop, then back
// to the start (played percent 0).
constexpr LONG kPlayStop = 2;
constexpr LONG kPlaySetPlayedPercent = 11;

// The PTZ wheel's events: zoom in, zoom out.
constexpr LONG kPTZZoomIn = 144;
constexpr LONG kPTZZoomOut = 160;

// The longest dropped path the control opens, in bytes of its ANSI text.
constexpr int kMaxDropPath = 255;

// WM_xBUTTONDOWN of a button; UP and DBLCLK follow it. 0 for other buttons.
UINT ButtonMessage(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton:
        return WM_LBUTTONDOWN;
    case Qt::RightButton:
        return WM_RBUTTONDOWN;
    case Qt::MiddleButton:
        return WM_MBUTTONDOWN;
    default:
        return 0;
    }
}

// The MK_ flags of a mouse message's wParam.
WPARAM MouseKeys(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers)
{
    WPARAM keys = 0;
    keys |= buttons & Qt::LeftButton ? MK_LBUTTON : 0;
    keys |= buttons & Qt::RightButton ? MK_RBUTTON : 0;
    keys |= buttons & Qt::MiddleButton ? MK_MBUTTON : 0;
    keys |= modifiers & Qt::ShiftModifier ? MK_SHIFT : 0;
    keys |= modifiers & Qt::ControlModifier ? MK_CONTROL : 0;
    return keys;
}

// The virtual-key code of a Qt key; 0 for keys without one here.
WPARAM VirtualKey(int key)
{
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9) ||
        key == Qt::Key_Space)
        return static_cast<WPARAM>(key); // Qt uses the upper-case ASCII codes too
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return VK_F1 + static_cast<WPARAM>(key - Qt::Key_F1);
    static const struct {
        int key;
        WPARAM vk;
    } kKeys[] = {
        {Qt::Key_Backspace, VK_BACK},  {Qt::Key_Tab, VK_TAB},       {Qt::Key_Backtab, VK_TAB},
        {Qt::Key_Return, VK_RETURN},   {Qt::Key_Enter, VK_RETURN},  {Qt::Key_Shift, VK_SHIFT},
        {Qt::Key_Control, VK_CONTROL}, {Qt::Key_Alt, VK_MENU},      {Qt::Key_Pause, VK_PAUSE},
        {Qt::Key_Escape, VK_ESCAPE},   {Qt::Key_PageUp, VK_PRIOR},  {Qt::Key_PageDown, VK_NEXT},
        {Qt::Key_End, VK_END},         {Qt::Key_Home, VK_HOME},     {Qt::Key_Left, VK_LEFT},
        {Qt::Key_Up, VK_UP},           {Qt::Key_Right, VK_RIGHT},   {Qt::Key_Down, VK_DOWN},
        {Qt::Key_Insert, VK_INSERT},   {Qt::Key_Delete, VK_DELETE},
    };
    for (const auto& k : kKeys)
        if (k.key == key)
            return k.vk;
    return 0;
}

LPARAM PointParam(QPoint p)
{
    return MAKELPARAM(static_cast<WORD>(p.x()), static_cast<WORD>(p.y()));
}

// ---- Cursors: 32 x 32, drawn here ----

constexpr int kCursorSize = 32;

// An arrow from the centre towards (dx, dy) (each -1, 0 or 1).
void DrawArrow(QPainter& p, int dx, int dy, const QColor& fill)
{
    p.save();
    p.translate(kCursorSize / 2.0, kCursorSize / 2.0);
    p.rotate(std::atan2(static_cast<double>(dy), static_cast<double>(dx)) * 180.0 / M_PI);
    QPainterPath arrow;
    arrow.moveTo(-9, -3);
    arrow.lineTo(3, -3);
    arrow.lineTo(3, -8);
    arrow.lineTo(13, 0);
    arrow.lineTo(3, 8);
    arrow.lineTo(3, 3);
    arrow.lineTo(-9, 3);
    arrow.closeSubpath();
    p.setPen(QPen(Qt::black, 1.5));
    p.setBrush(fill);
    p.drawPath(arrow);
    p.restore();
}

// A magnifying glass, with a plus (sign 1), a minus (sign -1) or nothing.
void DrawGlass(QPainter& p, int sign, const QColor& fill)
{
    p.setPen(QPen(Qt::black, 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(20, 20, 29, 29);
    p.setPen(QPen(Qt::black, 2));
    p.setBrush(fill);
    p.drawEllipse(QPointF(13, 13), 10, 10);
    if (sign != 0)
        p.drawLine(8, 13, 18, 13);
    if (sign > 0)
        p.drawLine(13, 8, 13, 18);
}

} // namespace

CTarvoControlWindow::CTarvoControlWindow(IControlHost* host, QWidget* parent)
    : QWidget(parent), m_host(host), m_hWnd(nullptr), m_virtualWindow(false)
{
    setFocusPolicy(Qt::StrongFocus);
    setAcceptDrops(true);
    // Moves without a button choose the PTZ zone.
    setMouseTracking(true);
    for (int i = 0; i < kCursorCount; ++i)
        m_cursors[i] = ControlCursor(kCursorFirst + i);
    // The renderer draws into a child of an X11 window on the platform's own
    // display connection; anywhere else it draws offscreen into a virtual one.
    if (QGuiApplication::platformName() == QLatin1String("xcb") && TvGetX11Display()) {
        setAttribute(Qt::WA_NativeWindow);
        m_hWnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(winId()));
    } else {
        m_hWnd = TvCreateVirtualWindow(width(), height());
        m_virtualWindow = true;
    }
    if (m_hWnd)
        TvSetWindowMessageHandler(m_hWnd, &CTarvoControlWindow::OnPostedMessage, this);
}

CTarvoControlWindow::~CTarvoControlWindow()
{
    m_host = nullptr;
    if (m_hWnd) {
        // Waits for a handler call that is running; what it queued dies with
        // this object.
        TvSetWindowMessageHandler(m_hWnd, nullptr, nullptr);
        // A virtual window goes; an X11 window (Qt's) only loses its platform
        // state.
        DestroyWindow(m_hWnd);
    }
}

// ---- Posted messages ----

LRESULT CTarvoControlWindow::OnPostedMessage(HWND, UINT msg, WPARAM wParam, LPARAM lParam,
                                             void* user)
{
    auto* self = static_cast<CTarvoControlWindow*>(user);
    QMetaObject::invokeMethod(
        self, [self, msg, wParam, lParam] { self->HandlePostedMessage(msg, wParam, lParam); },
        Qt::QueuedConnection);
    return 0;
}

void CTarvoControlWindow::HandlePostedMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    IControlHost* host = m_host;
    if (!host)
        return;
    // A sink that lets the control go during an event would otherwise delete
    // the control, and with it this window, while the loop below still reads
    // them: both stay until the message is handled.
    host->AddRef();
    HandleHeldMessage(msg, wParam, lParam);
    host->Release(); // may delete this window: nothing after it
}

void CTarvoControlWindow::HandleHeldMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (!m_host)
        return;
    m_host->FireWindowProc(static_cast<LONG>(msg), static_cast<LONG>(wParam),
                           static_cast<LONG>(lParam));
    if (!m_host)
        return;
    if (msg == TP_WM_RENDER_FAILED) {
        char text[64];
        std::snprintf(text, sizeof text, "Error! the Code is:%d\n", static_cast<int>(wParam));
        MessageBoxA(m_hWnd, text, "TarvoPlayerOCX", MB_OK);
    } else if (msg == TP_WM_GRAPH_NOTIFY) {
        DrainGraphEvents();
    }
}

void CTarvoControlWindow::DrainGraphEvents()
{
    // The player and its event interface are looked up again for every
    // event: what the host does for one (a script answering FileEndEvent)
    // may replace the player.
    for (;;) {
        CPlayerBase* player = Player();
        IMediaEventEx* events = player ? player->GetEventSink() : nullptr;
        if (!events)
            return;
        LONG code = 0;
        LONG_PTR param1 = 0, param2 = 0;
        if (events->GetEvent(&code, &param1, &param2, 0) != S_OK)
            return;
        events->FreeEventParams(code, param1, param2);
        if (code != EC_USER || !m_host)
            continue;
        if (param1 == kEventFirstAudio) {
            m_host->FireFirstSampleDelivered(0, 0);
        } else if (param1 == kEventFirstVideo) {
            m_host->FireFirstSampleDelivered(1, 0);
        } else if (param1 == kEventEndOfFile) {
            LONG out = 0;
            m_host->PlayControl(kPlayStop, 0, &out);
            if (m_host)
                m_host->FireFileEndEvent(0, 0);
            if (m_host)
                m_host->PlayControl(kPlaySetPlayedPercent, 0, &out);
        }
    }
}

// ---- What the control calls ----

LONG CTarvoControlWindow::PTZControl(LONG controlCode, LONG inValue, LONG* /*outValue*/)
{
    switch (controlCode) {
    case 0:
        m_zoomEnabled = inValue != 0;
        break;
    case 1:
        m_ptzEnabled = inValue != 0;
        break;
    case 2:
        m_zoomEnabled = m_ptzEnabled = inValue != 0;
        break;
    case 3:
        if (CPlayerBase* player = Player()) {
            int width = 0, height = 0;
            if (player->GetVideoSize(&width, &height) == 0)
                player->SetSourceRect(0, 0, width, height);
        }
        break;
    default:
        return TP_ERR_UNSUPPORTED;
    }
    if ((m_mouseMode == kMouseZoom && !m_zoomEnabled) ||
        (m_mouseMode == kMousePTZ && !m_ptzEnabled))
        SwitchMouseMode();
    return 0;
}

void CTarvoControlWindow::SwitchMouseMode()
{
    // Leaving PTZ mode with the button still down would leave the camera
    // moving: it gets its stop.
    if (m_pressed)
        ReleasePTZ();
    m_dragging = false;
    m_zone = 0;
    switch (m_mouseMode) {
    case kMouseZoom:
        m_mouseMode = m_ptzEnabled ? kMousePTZ : kMouseNone;
        break;
    case kMousePTZ:
        m_mouseMode = kMouseNone;
        break;
    default:
        if (m_zoomEnabled && !PlayerFullScreen())
            m_mouseMode = kMouseZoom;
        else if (m_ptzEnabled)
            m_mouseMode = kMousePTZ;
        break;
    }
    ShowCursor(m_mouseMode == kMouseZoom ? kCursorZoom : m_mouseMode == kMousePTZ ? kCursorPTZ : 0);
}

void CTarvoControlWindow::SetChildControl(QWidget* child)
{
    m_child = child;
    if (child && child->parentWidget() != this)
        child->setParent(this);
}

// ---- Geometry of the gestures ----

int CTarvoControlWindow::PTZZoneAt(QPoint p, int w, int h)
{
    const int fifthX = w / 5, fifthY = h / 5;
    const int bandX = w * 15 / 100, bandY = h * 15 / 100;
    const bool top = p.y() < fifthY, bottom = p.y() >= h - fifthY;
    const bool left = p.x() < fifthX, right = p.x() >= w - fifthX;
    if (top && left)
        return 5;
    if (top && right)
        return 6;
    if (bottom && left)
        return 7;
    if (bottom && right)
        return 8;
    // The bands lie inside the fifths, so a band point outside the corners
    // lies between them.
    if (p.y() < bandY)
        return 1;
    if (p.y() >= h - bandY)
        return 2;
    if (p.x() < bandX)
        return 3;
    if (p.x() >= w - bandX)
        return 4;
    return 0;
}

QPoint CTarvoControlWindow::PTZReference(int zone, int w, int h)
{
    switch (zone) {
    case 1:
        return {w / 5, h / 10};
    case 2:
        return {w / 5, 9 * h / 10};
    case 3:
        return {w / 10, h / 5};
    case 4:
        return {9 * w / 10, h / 5};
    case 5:
        return {w / 5, h / 5};
    case 6:
        return {4 * w / 5, h / 5};
    case 7:
        return {w / 5, 4 * h / 5};
    case 8:
        return {4 * w / 5, 4 * h / 5};
    default:
        return {0, 0};
    }
}

int CTarvoControlWindow::PTZSpeed(int zone, QPoint p, int w, int h)
{
    const QPoint reference = PTZReference(zone, w, h);
    const int dx = p.x() - reference.x(), dy = p.y() - reference.y();
    const double r = std::sqrt(static_cast<double>(dx) * dx + static_cast<double>(dy) * dy);
    double a = 0;
    switch (zone) {
    case 1:
        a = -dy;
        break;
    case 2:
        a = dy;
        break;
    case 3:
        a = -dx;
        break;
    case 4:
        a = dx;
        break;
    // A corner zone counts only in its own quadrant of the reference point.
    case 5:
        a = dx < 0 && dy < 0 ? r : 0;
        break;
    case 6:
        a = dx > 0 && dy < 0 ? r : 0;
        break;
    case 7:
        a = dx < 0 && dy > 0 ? r : 0;
        break;
    case 8:
        a = dx > 0 && dy > 0 ? r : 0;
        break;
    default:
        return 0;
    }
    return std::min(static_cast<int>(std::max(a, 0.0)) / 20, 4);
}

QRect CTarvoControlWindow::ReferenceRect(bool fullScreen) const
{
    if (fullScreen && screen())
        return QRect(QPoint(0, 0), screen()->geometry().size());
    return QRect(QPoint(0, 0), size());
}

QPoint CTarvoControlWindow::ReferencePoint(const QPointF& local, const QPointF& global,
                                           bool fullScreen) const
{
    if (fullScreen && screen())
        return global.toPoint() - screen()->geometry().topLeft();
    return local.toPoint();
}

bool CTarvoControlWindow::PlayerRunning() const
{
    CPlayerBase* player = Player();
    int state = State_Stopped;
    return player && SUCCEEDED(player->GetState(&state)) && state == State_Running;
}

bool CTarvoControlWindow::PlayerFullScreen() const
{
    CPlayerBase* player = Player();
    int full = 0;
    return player && player->GetFullScreenMode(&full) == 0 && full != 0;
}

void CTarvoControlWindow::ShowCursor(int id)
{
    m_cursorId = id;
    if (id >= kCursorFirst && id < kCursorFirst + kCursorCount)
        setCursor(m_cursors[id - kCursorFirst]);
    else
        setCursor(Qt::ArrowCursor);
}

void CTarvoControlWindow::ReleasePTZ()
{
    m_pressed = false;
    if (m_host)
        m_host->FirePTZEvent(m_zone * 16 + 1, 0);
    if (m_mouseMode == kMousePTZ)
        ShowCursor(m_zone ? kCursorZone + m_zone : kCursorPTZ);
}

QCursor CTarvoControlWindow::ControlCursor(int id)
{
    if (id < kCursorFirst || id >= kCursorFirst + kCursorCount)
        return QCursor(Qt::ArrowCursor);
    // Direction of each zone's arrow, zones 1-8.
    static const int kDirection[8][2] = {{0, -1},  {0, 1},  {-1, 0}, {1, 0},
                                         {-1, -1}, {1, -1}, {-1, 1}, {1, 1}};
    QPixmap pixmap(kCursorSize, kCursorSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    if (id <= kCursorZonePressed + 8) {
        const bool pressed = id > kCursorZonePressed;
        const int zone = id - (pressed ? kCursorZonePressed : kCursorZone);
        DrawArrow(p, kDirection[zone - 1][0], kDirection[zone - 1][1],
                  pressed ? QColor(255, 160, 0) : QColor(Qt::white));
    } else if (id == kCursorZoom) {
        DrawGlass(p, 0, QColor(255, 255, 255, 160));
    } else if (id == kCursorZoomDrag) {
        for (int i = 0; i < 4; ++i)
            DrawArrow(p, kDirection[i][0], kDirection[i][1], QColor(255, 160, 0));
    } else if (id == kCursorZoomIn || id == kCursorZoomOut) {
        DrawGlass(p, id == kCursorZoomIn ? 1 : -1, QColor(255, 255, 255, 160));
    } else { // kCursorPTZ
        p.setPen(QPen(Qt::black, 2));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(16, 16), 9, 9);
        p.drawLine(16, 2, 16, 30);
        p.drawLine(2, 16, 30, 16);
    }
    p.end();
    return QCursor(pixmap, kCursorSize / 2, kCursorSize / 2);
}

// ---- Events ----

void CTarvoControlWindow::FireWindowProc(QEvent* e)
{
    if (!m_host)
        return;
    UINT msg = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    switch (e->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick: {
        auto* m = static_cast<QMouseEvent*>(e);
        const UINT down = ButtonMessage(m->button());
        if (!down)
            return;
        msg = down + (e->type() == QEvent::MouseButtonPress     ? 0
                      : e->type() == QEvent::MouseButtonRelease ? 1
                                                                : 2);
        wParam = MouseKeys(m->buttons(), m->modifiers());
        lParam = PointParam(m->position().toPoint());
        break;
    }
    case QEvent::MouseMove: {
        auto* m = static_cast<QMouseEvent*>(e);
        msg = WM_MOUSEMOVE;
        wParam = MouseKeys(m->buttons(), m->modifiers());
        lParam = PointParam(m->position().toPoint());
        break;
    }
    case QEvent::Wheel: {
        // As on Windows: the delta in the high word, the point on the screen.
        auto* w = static_cast<QWheelEvent*>(e);
        msg = WM_MOUSEWHEEL;
        wParam = MAKEWPARAM(static_cast<WORD>(MouseKeys(w->buttons(), w->modifiers())),
                            static_cast<WORD>(static_cast<short>(w->angleDelta().y())));
        lParam = PointParam(w->globalPosition().toPoint());
        break;
    }
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        // lParam: repeat count 1; bit 30 the key was down before; bit 31 released.
        auto* k = static_cast<QKeyEvent*>(e);
        const bool press = e->type() == QEvent::KeyPress;
        msg = press ? WM_KEYDOWN : WM_KEYUP;
        wParam = VirtualKey(k->key());
        lParam = static_cast<LPARAM>(static_cast<LONG>(
            1u | (!press || k->isAutoRepeat() ? 1u << 30 : 0u) | (press ? 0u : 1u << 31)));
        break;
    }
    case QEvent::FocusIn:
        msg = WM_SETFOCUS;
        break;
    case QEvent::FocusOut:
        msg = WM_KILLFOCUS;
        break;
    case QEvent::Paint:
        msg = WM_PAINT;
        break;
    case QEvent::Resize: {
        const QSize s = static_cast<QResizeEvent*>(e)->size();
        msg = WM_SIZE;
        wParam = SIZE_RESTORED;
        lParam = MAKELPARAM(static_cast<WORD>(s.width()), static_cast<WORD>(s.height()));
        break;
    }
    case QEvent::Show:
    case QEvent::Hide:
        msg = WM_SHOWWINDOW;
        wParam = e->type() == QEvent::Show ? TRUE : FALSE;
        break;
    case QEvent::Drop:
        msg = WM_DROPFILES;
        break;
    default:
        return;
    }
    m_host->FireWindowProc(static_cast<LONG>(msg), static_cast<LONG>(wParam),
                           static_cast<LONG>(lParam));
}

bool CTarvoControlWindow::event(QEvent* e)
{
    FireWindowProc(e);
    switch (e->type()) {
    // Every key belongs to the control: no shortcut of the container, no
    // focus change by Tab.
    case QEvent::ShortcutOverride:
        e->accept();
        return true;
    case QEvent::KeyPress:
        keyPressEvent(static_cast<QKeyEvent*>(e));
        return true;
    case QEvent::KeyRelease:
        e->accept();
        return true;
    default:
        return QWidget::event(e);
    }
}

void CTarvoControlWindow::paintEvent(QPaintEvent*)
{
    const OLE_COLOR colour = m_host ? m_host->BackColor() : 0;
    QPainter p(this);
    p.fillRect(rect(), QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF));
    p.fillRect(rect().adjusted(2, 2, -2, -2), Qt::black);
}

void CTarvoControlWindow::resizeEvent(QResizeEvent* e)
{
    const int w = e->size().width(), h = e->size().height();
    if (m_virtualWindow)
        TvResizeVirtualWindow(m_hWnd, w, h);
    if (CPlayerBase* player = Player())
        player->ReSize(w, h);
    if (m_child)
        m_child->setGeometry(2, 2, std::max(w - 4, 0), std::max(h - 4, 0));
}

void CTarvoControlWindow::mousePressEvent(QMouseEvent* e)
{
    e->accept();
    if (e->button() == Qt::LeftButton && m_host) {
        const QPoint local = e->position().toPoint();
        m_host->FireActiveWindow(local.x(), local.y());
    }
    if (e->button() == Qt::MiddleButton) {
        if (PlayerRunning())
            SwitchMouseMode();
        return;
    }
    if (e->button() != Qt::LeftButton || !PlayerRunning())
        return;
    const bool fullScreen = PlayerFullScreen();
    const QRect area = ReferenceRect(fullScreen);
    const QPoint p = ReferencePoint(e->position(), e->globalPosition(), fullScreen);
    if (m_mouseMode == kMouseZoom) {
        m_dragging = true;
        m_lastDrag = p;
        ShowCursor(kCursorZoomDrag);
    } else if (m_mouseMode == kMousePTZ) {
        m_zone = PTZZoneAt(p, area.width(), area.height());
        if (!m_zone) {
            ShowCursor(kCursorPTZ);
            return;
        }
        m_pressed = true;
        m_lastSpeed = PTZSpeed(m_zone, p, area.width(), area.height());
        if (m_host)
            m_host->FirePTZEvent(m_zone * 16, m_lastSpeed);
        ShowCursor(kCursorZonePressed + m_zone);
    }
}

void CTarvoControlWindow::mouseReleaseEvent(QMouseEvent* e)
{
    e->accept();
    if (e->button() != Qt::LeftButton)
        return;
    if (m_dragging) {
        m_dragging = false;
        if (m_mouseMode == kMouseZoom)
            ShowCursor(kCursorZoom);
    }
    // Whatever the graph does now, a started movement gets its stop.
    if (m_pressed)
        ReleasePTZ();
}

void CTarvoControlWindow::mouseDoubleClickEvent(QMouseEvent* e)
{
    e->accept();
    CPlayerBase* player = Player();
    if (e->button() != Qt::LeftButton || !player)
        return;
    // Qt delivers the second press of a double click before the double click
    // itself; that press began no gesture of its own, so what it started
    // ends here (a movement gets its stop) and the double click counts.
    if (m_pressed)
        ReleasePTZ();
    m_dragging = false;
    int full = 0;
    if (player->GetFullScreenMode(&full) != 0)
        return;
    if (!full) {
        if (m_mouseMode == kMouseZoom)
            SwitchMouseMode();
        player->SetFullScreenMode(1);
    } else {
        player->SetFullScreenMode(0);
    }
}

void CTarvoControlWindow::mouseMoveEvent(QMouseEvent* e)
{
    e->accept();
    if (m_mouseMode == kMouseNone || !PlayerRunning())
        return;
    const bool fullScreen = PlayerFullScreen();
    const QRect area = ReferenceRect(fullScreen);
    const QPoint p = ReferencePoint(e->position(), e->globalPosition(), fullScreen);
    if (m_mouseMode == kMouseZoom) {
        if (!m_dragging)
            return;
        CPlayerBase* player = Player();
        int left = 0, top = 0, width = 0, height = 0;
        if (area.width() > 0 && area.height() > 0 &&
            player->GetSourceRect(&left, &top, &width, &height) == 0) {
            // The picture follows the mouse: moving right shows more of the left.
            left -= (p.x() - m_lastDrag.x()) * width / area.width();
            top -= (p.y() - m_lastDrag.y()) * height / area.height();
            player->SetSourceRect(left, top, width, height);
        }
        m_lastDrag = p;
    } else if (m_pressed) {
        const int speed = PTZSpeed(m_zone, p, area.width(), area.height());
        if (speed != m_lastSpeed) {
            m_lastSpeed = speed;
            if (m_host)
                m_host->FirePTZEvent(m_zone * 16, speed);
        }
    } else {
        m_zone = PTZZoneAt(p, area.width(), area.height());
        ShowCursor(m_zone ? kCursorZone + m_zone : kCursorPTZ);
    }
}

void CTarvoControlWindow::wheelEvent(QWheelEvent* e)
{
    e->accept();
    // Only the vertical wheel: the horizontal one is no WM_MOUSEWHEEL.
    const int delta = e->angleDelta().y();
    if (delta == 0 || m_mouseMode == kMouseNone || !PlayerRunning())
        return;
    if (m_mouseMode == kMousePTZ) {
        if (m_host)
            m_host->FirePTZEvent(delta > 0 ? kPTZZoomIn : kPTZZoomOut, 0);
        ShowCursor(delta > 0 ? kCursorZoomIn : kCursorZoomOut);
        return;
    }
    CPlayerBase* player = Player();
    int left = 0, top = 0, width = 0, height = 0;
    if (player->GetSourceRect(&left, &top, &width, &height) != 0)
        return;
    const double s = delta / static_cast<double>(WHEEL_DELTA) * 0.03;
    const double newWidth = (1 - s) * width, newHeight = (1 - s) * height;
    player->SetSourceRect(static_cast<int>(left + s * newWidth * 0.5),
                          static_cast<int>(top + s * newHeight * 0.5), static_cast<int>(newWidth),
                          static_cast<int>(newHeight));
}

void CTarvoControlWindow::keyPressEvent(QKeyEvent* e)
{
    e->accept();
    if (e->key() == Qt::Key_Escape && PlayerFullScreen())
        Player()->SetFullScreenMode(0);
}

void CTarvoControlWindow::focusInEvent(QFocusEvent*)
{
    m_focus = true;
    update();
}

void CTarvoControlWindow::focusOutEvent(QFocusEvent*)
{
    m_focus = false;
    update();
}

void CTarvoControlWindow::dragEnterEvent(QDragEnterEvent* e)
{
    if (e->mimeData()->hasUrls())
        e->acceptProposedAction();
}

void CTarvoControlWindow::dragMoveEvent(QDragMoveEvent* e)
{
    if (e->mimeData()->hasUrls())
        e->acceptProposedAction();
}

void CTarvoControlWindow::dropEvent(QDropEvent* e)
{
    const QList<QUrl> urls = e->mimeData()->urls();
    if (urls.isEmpty())
        return;
    e->acceptProposedAction();
    // Only the first file. A longer path is refused rather than cut to a
    // different file's name.
    const QByteArray path = urls.first().toLocalFile().toUtf8();
    if (path.isEmpty() || path.size() > kMaxDropPath || !m_host)
        return;
    m_host->OpenLocalFile(path.constData());
}
