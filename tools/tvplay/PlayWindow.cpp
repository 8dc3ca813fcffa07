#include "PlayWindow.h"

#include <cairo.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <cstdio>
#include <cstring>
#include <unordered_set>

int WindowPicture::DistinctColours(int limit) const
{
    std::unordered_set<uint32_t> colours;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            colours.insert(Pixel(x, y));
            if (int(colours.size()) >= limit)
                return limit;
        }
    }
    return int(colours.size());
}

uint32_t WindowPicture::Pixel(int x, int y) const
{
    const uint8_t* p = bgrx.data() + (size_t(y) * size_t(width) + size_t(x)) * 4;
    return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

bool CopyWindowPicture(HWND hwnd, WindowPicture& picture)
{
    // The size can change between the two calls (a resize): ask again then.
    for (int attempt = 0; attempt < 3; ++attempt) {
        int w = 0, h = 0;
        uint64_t shown = 0;
        TvCopyWindowPicture(hwnd, nullptr, 0, &w, &h, &shown);
        picture.shown = shown;
        if (shown == 0 || w <= 0 || h <= 0)
            return false;
        picture.bgrx.assign(size_t(w) * size_t(h) * 4, 0);
        if (TvCopyWindowPicture(hwnd, picture.bgrx.data(), picture.bgrx.size(), &picture.width,
                                &picture.height, &picture.shown))
            return picture.width == w && picture.height == h;
    }
    return false;
}

bool SavePicturePng(const WindowPicture& picture, const std::string& path, std::string& error)
{
    if (picture.width <= 0 || picture.height <= 0) {
        error = "no picture";
        return false;
    }
    cairo_surface_t* surface =
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, picture.width, picture.height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        error = cairo_status_to_string(cairo_surface_status(surface));
        cairo_surface_destroy(surface);
        return false;
    }
    // CAIRO_FORMAT_RGB24 is a native-endian 32-bit word 0x00RRGGBB per pixel.
    cairo_surface_flush(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < picture.height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(data + size_t(y) * size_t(stride));
        for (int x = 0; x < picture.width; ++x)
            row[x] = picture.Pixel(x, y);
    }
    cairo_surface_mark_dirty(surface);
    cairo_status_t status = cairo_surface_write_to_png(surface, path.c_str());
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS) {
        error = cairo_status_to_string(status);
        return false;
    }
    return true;
}

std::unique_ptr<CPlayWindow> CPlayWindow::Open(int width, int height, const std::string& title,
                                               bool offscreen)
{
    std::unique_ptr<CPlayWindow> window(new CPlayWindow());
    window->m_width = width;
    window->m_height = height;
    Display* display = offscreen ? nullptr : XOpenDisplay(nullptr);
    if (display) {
        const int screen = DefaultScreen(display);
        Window xid = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0,
                                         unsigned(width), unsigned(height), 0,
                                         BlackPixel(display, screen), BlackPixel(display, screen));
        XStoreName(display, xid, title.c_str());
        XSelectInput(display, xid, KeyPressMask | StructureNotifyMask);
        Atom deleteAtom = XInternAtom(display, "WM_DELETE_WINDOW", False);
        XSetWMProtocols(display, xid, &deleteAtom, 1);
        XMapWindow(display, xid);
        // The renderer makes its child window through its own connection: the
        // window must exist on the server before the player is given it.
        XSync(display, False);
        window->m_display = display;
        window->m_deleteAtom = deleteAtom;
        window->m_hWnd = reinterpret_cast<HWND>(uintptr_t(xid));
        return window;
    }
    window->m_hWnd = TvCreateVirtualWindow(width, height);
    if (!window->m_hWnd)
        return nullptr;
    return window;
}

CPlayWindow::~CPlayWindow()
{
    // The platform forgets its state for the window (handler, timers) in both cases.
    DestroyWindow(m_hWnd);
    if (auto* display = static_cast<Display*>(m_display)) {
        XDestroyWindow(display, Window(reinterpret_cast<uintptr_t>(m_hWnd)));
        XCloseDisplay(display);
    }
}

std::string CPlayWindow::Describe() const
{
    char text[96];
    if (m_display)
        std::snprintf(text, sizeof text, "X11 window 0x%lx, %dx%d",
                      static_cast<unsigned long>(reinterpret_cast<uintptr_t>(m_hWnd)), m_width,
                      m_height);
    else
        std::snprintf(text, sizeof text, "virtual window, %dx%d (offscreen)", m_width, m_height);
    return text;
}

std::vector<CPlayWindow::Event> CPlayWindow::PollEvents()
{
    std::vector<Event> events;
    auto* display = static_cast<Display*>(m_display);
    if (!display)
        return events;
    while (XPending(display) > 0) {
        XEvent e;
        XNextEvent(display, &e);
        if (e.type == KeyPress) {
            char text[8] = {};
            KeySym sym = 0;
            int n = XLookupString(&e.xkey, text, sizeof text - 1, &sym, nullptr);
            Event ev{Event::Kind::Key};
            ev.key = sym == XK_Escape ? 27 : n > 0 ? static_cast<unsigned char>(text[0]) : 0;
            events.push_back(ev);
        } else if (e.type == ConfigureNotify &&
                   (e.xconfigure.width != m_width || e.xconfigure.height != m_height)) {
            m_width = e.xconfigure.width;
            m_height = e.xconfigure.height;
            events.push_back(Event{Event::Kind::Resized});
        } else if (e.type == ClientMessage &&
                   static_cast<unsigned long>(e.xclient.data.l[0]) == m_deleteAtom) {
            events.push_back(Event{Event::Kind::Closed});
        }
    }
    return events;
}
