#include "video/X11Presenter.h"

#include <pthread.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include <xcb/shm.h>
#include <xcb/xcbext.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// How long a round trip waits for the server's answer. A server under load
// answers within milliseconds; one that does not answer in this time is taken
// as stopped, and the picture goes out without the wait.
constexpr auto kRoundTripWait = std::chrono::seconds(1);

// The presenter whose event loop runs on this thread, if any.
thread_local const CX11Presenter* t_eventLoopOf = nullptr;

// X window sizes are 16-bit; a zero size is not allowed.
uint16_t WindowSide(LONG v)
{
    return uint16_t(std::clamp<LONG>(v, 1, 32767));
}

int16_t WindowPos(LONG v)
{
    return int16_t(std::clamp<LONG>(v, -32768, 32767));
}

uint32_t PixelValue(DWORD colour, SurfaceKind kind)
{
    uint32_t r = colour & 0xff, g = (colour >> 8) & 0xff, b = (colour >> 16) & 0xff;
    if (kind == SurfaceKind::BGRX32)
        return (r << 16) | (g << 8) | b;
    return ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
}

class CHeapSurface final : public CSurfaceBuffer {
public:
    explicit CHeapSurface(size_t bytes) : m_pixels(new (std::nothrow) uint8_t[bytes]) {}
    uint8_t* Pixels() { return m_pixels.get(); }

private:
    std::unique_ptr<uint8_t[]> m_pixels;
};

// A System V shared memory segment attached by the server.
class CShmSurface final : public CSurfaceBuffer {
public:
    CShmSurface(xcb_connection_t* conn, uint32_t seg, void* addr)
        : m_conn(conn), m_seg(seg), m_addr(addr)
    {
    }
    ~CShmSurface() override
    {
        xcb_shm_detach(m_conn, m_seg);
        xcb_flush(m_conn);
        shmdt(m_addr);
    }
    uint32_t Segment() const { return m_seg; }

private:
    xcb_connection_t* m_conn;
    uint32_t m_seg;
    void* m_addr;
};

} // namespace

std::unique_ptr<CX11Presenter> CX11Presenter::Create(uint32_t owner)
{
    std::unique_ptr<CX11Presenter> presenter(new CX11Presenter());
    if (!presenter->Open(owner))
        return nullptr;
    return presenter;
}

bool CX11Presenter::Open(uint32_t owner)
{
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display || !owner)
        return false;
    m_conn = xcb_connect(nullptr, nullptr);
    if (!m_conn || xcb_connection_has_error(m_conn))
        return false;
    const xcb_setup_t* setup = xcb_get_setup(m_conn);
    if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST)
        return false;

    xcb_get_geometry_reply_t* geometry =
        xcb_get_geometry_reply(m_conn, xcb_get_geometry(m_conn, owner), nullptr);
    xcb_get_window_attributes_reply_t* attributes =
        xcb_get_window_attributes_reply(m_conn, xcb_get_window_attributes(m_conn, owner), nullptr);
    bool known = geometry && attributes;
    uint32_t visual = attributes ? attributes->visual : 0;
    m_depth = geometry ? geometry->depth : 0;
    m_root = geometry ? geometry->root : 0;
    std::free(geometry);
    std::free(attributes);
    if (!known)
        return false;

    // The owner's visual: TrueColor with one of the two masks the surface kinds fill.
    bool found = false;
    for (xcb_screen_iterator_t s = xcb_setup_roots_iterator(setup); s.rem && !found;
         xcb_screen_next(&s)) {
        if (s.data->root != m_root)
            continue;
        m_screenWidth = s.data->width_in_pixels;
        m_screenHeight = s.data->height_in_pixels;
        for (xcb_depth_iterator_t d = xcb_screen_allowed_depths_iterator(s.data); d.rem && !found;
             xcb_depth_next(&d)) {
            if (d.data->depth != m_depth)
                continue;
            for (xcb_visualtype_iterator_t v = xcb_depth_visuals_iterator(d.data); v.rem;
                 xcb_visualtype_next(&v)) {
                const xcb_visualtype_t* t = v.data;
                if (t->visual_id != visual || t->_class != XCB_VISUAL_CLASS_TRUE_COLOR)
                    continue;
                if (t->red_mask == 0xff0000 && t->green_mask == 0xff00 && t->blue_mask == 0xff &&
                    (m_depth == 24 || m_depth == 32)) {
                    m_kind = SurfaceKind::BGRX32;
                    found = true;
                } else if (t->red_mask == 0xf800 && t->green_mask == 0x7e0 &&
                           t->blue_mask == 0x1f && m_depth == 16) {
                    m_kind = SurfaceKind::RGB565;
                    found = true;
                }
                break;
            }
        }
    }
    if (!found)
        return false;
    // The bits per pixel the server uses for that depth must match the surface.
    int wantBpp = m_kind == SurfaceKind::BGRX32 ? 32 : 16;
    bool bppOk = false;
    const xcb_format_t* formats = xcb_setup_pixmap_formats(setup);
    for (int i = 0; i < xcb_setup_pixmap_formats_length(setup); ++i) {
        if (formats[i].depth == m_depth)
            bppOk = formats[i].bits_per_pixel == wantBpp && formats[i].scanline_pad <= 32;
    }
    if (!bppOk)
        return false;

    m_owner = owner;
    m_window = xcb_generate_id(m_conn);
    uint32_t values[2] = {0, XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_STRUCTURE_NOTIFY};
    xcb_void_cookie_t cookie = xcb_create_window_checked(
        m_conn, m_depth, m_window, owner, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, visual,
        XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
    if (xcb_generic_error_t* error = xcb_request_check(m_conn, cookie)) {
        std::free(error);
        m_window = 0;
        return false;
    }
    m_gc = xcb_generate_id(m_conn);
    uint32_t gcValues[1] = {0};
    xcb_create_gc(m_conn, m_gc, m_window, XCB_GC_GRAPHICS_EXPOSURES, gcValues);

    // TARVO_X11_SHM=0 forces PutImage (to try that path on a local server).
    const char* shmSetting = std::getenv("TARVO_X11_SHM");
    bool shmAllowed = !shmSetting || std::strcmp(shmSetting, "0") != 0;
    if (const xcb_query_extension_reply_t* ext = xcb_get_extension_data(m_conn, &xcb_shm_id);
        shmAllowed && ext && ext->present) {
        xcb_shm_query_version_reply_t* version =
            xcb_shm_query_version_reply(m_conn, xcb_shm_query_version(m_conn), nullptr);
        m_shm = version != nullptr;
        std::free(version);
    }
    m_maxRequestBytes = size_t(xcb_get_maximum_request_length(m_conn)) * 4;
    xcb_flush(m_conn);

    m_wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wakeFd < 0)
        return false;
    m_events = std::thread([this] { EventLoop(); });
    return true;
}

CX11Presenter::~CX11Presenter()
{
    if (m_events.joinable()) {
        m_quit = true;
        uint64_t one = 1;
        ssize_t ignored = write(m_wakeFd, &one, sizeof(one));
        (void)ignored;
        m_events.join();
    }
    if (m_wakeFd >= 0)
        close(m_wakeFd);
    if (!m_conn)
        return;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_surface.reset(); // detach their segments over the connection
        m_back.reset();
    }
    if (m_gc)
        xcb_free_gc(m_conn, m_gc);
    if (m_window && !m_gone)
        xcb_destroy_window(m_conn, m_window);
    xcb_flush(m_conn);
    xcb_disconnect(m_conn);
}

bool CX11Presenter::Gone()
{
    if (!m_gone && xcb_connection_has_error(m_conn))
        m_gone = true;
    return m_gone;
}

void CX11Presenter::RoundTrip()
{
    if (Gone())
        return;
    if (t_eventLoopOf == this) {
        // A repaint puts the front surface again, which nothing draws into
        // next; the round trip of the next picture's put covers this put
        // before that surface is drawn into. So the event thread never waits
        // for the server, and a server that stops answering cannot hold it
        // (nor, through the presenter's lock, the pictures).
        return;
    }
    std::unique_lock<std::mutex> lock(m_tripLock);
    // Registered before the request leaves, so the event thread cannot read
    // the answer without knowing it is awaited.
    const unsigned sequence = xcb_get_input_focus(m_conn).sequence;
    m_trips.push_back(sequence);
    xcb_flush(m_conn);
    if (!m_tripAnswered.wait_for(lock, kRoundTripWait, [&] {
            return m_gone || m_quit ||
                   std::find(m_trips.begin(), m_trips.end(), sequence) == m_trips.end();
        }))
        m_unanswered.fetch_add(1, std::memory_order_relaxed);
}

void CX11Presenter::CollectRoundTrips()
{
    std::lock_guard<std::mutex> guard(m_tripLock);
    size_t kept = 0;
    for (unsigned sequence : m_trips) {
        void* reply = nullptr;
        xcb_generic_error_t* error = nullptr;
        if (xcb_poll_for_reply(m_conn, sequence, &reply, &error)) {
            std::free(reply);
            std::free(error);
        } else {
            m_trips[kept++] = sequence;
        }
    }
    if (kept == m_trips.size())
        return;
    m_trips.resize(kept);
    m_tripAnswered.notify_all();
}

void CX11Presenter::EventLoop()
{
    pthread_setname_np(pthread_self(), "tv-x11events"); // found by name in per-thread CPU figures
    t_eventLoopOf = this;
    pollfd fds[2] = {{xcb_get_file_descriptor(m_conn), POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
    bool exposed = false;
    while (!m_quit) {
        // The long time-out only guards against a wake-up lost to a reader on
        // another thread (a request checked while a surface is made); the
        // short one retries a repaint the presenter's lock held off.
        poll(fds, 2, exposed ? 5 : 200);
        m_wakeUps.fetch_add(1, std::memory_order_relaxed);
        if (fds[1].revents & POLLIN) {
            uint64_t count;
            ssize_t ignored = read(m_wakeFd, &count, sizeof(count));
            (void)ignored;
        }
        if (xcb_connection_has_error(m_conn)) {
            m_gone = true;
            break;
        }
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_conn)) {
            uint8_t type = event->response_type & 0x7f;
            if (type == 0) {
                auto* error = reinterpret_cast<xcb_generic_error_t*>(event);
                // Window or drawable unknown: the owner and with it our window are gone.
                if ((error->error_code == XCB_WINDOW || error->error_code == XCB_DRAWABLE) &&
                    error->resource_id == m_window)
                    m_gone = true;
            } else if (type == XCB_EXPOSE) {
                exposed = exposed || reinterpret_cast<xcb_expose_event_t*>(event)->count == 0;
            } else if (type == XCB_DESTROY_NOTIFY) {
                if (reinterpret_cast<xcb_destroy_notify_event_t*>(event)->window == m_window)
                    m_gone = true;
            }
            std::free(event);
        }
        CollectRoundTrips();
        // A thread holding the presenter's lock may be waiting for the round
        // trip collected just now: never wait for the lock here.
        if (exposed && (m_gone || m_quit || TryRepaint()))
            exposed = false;
    }
    // No answer comes any more: whoever waits for one stops waiting (the lock
    // orders this after a waiter's look at m_gone).
    {
        std::lock_guard<std::mutex> guard(m_tripLock);
    }
    m_tripAnswered.notify_all();
}

std::unique_ptr<CSurfaceBuffer> CX11Presenter::NewSurface(int width, int height)
{
    int bpp = m_kind == SurfaceKind::BGRX32 ? 4 : 2;
    size_t stride = (size_t(width) * size_t(bpp) + 3) & ~size_t(3);
    size_t bytes = stride * size_t(height) + kSurfacePadding;
    std::unique_ptr<CSurfaceBuffer> surface;
    if (m_shm) {
        int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
        void* addr = id >= 0 ? shmat(id, nullptr, 0) : reinterpret_cast<void*>(-1);
        if (addr != reinterpret_cast<void*>(-1)) {
            uint32_t seg = xcb_generate_id(m_conn);
            xcb_generic_error_t* error =
                xcb_request_check(m_conn, xcb_shm_attach_checked(m_conn, seg, uint32_t(id), 0));
            if (!error) {
                surface = std::make_unique<CShmSurface>(m_conn, seg, addr);
                surface->view.data = static_cast<uint8_t*>(addr);
            } else {
                // A server on another machine cannot reach our memory: use PutImage.
                std::free(error);
                shmdt(addr);
                m_shm = false;
            }
        }
        if (id >= 0)
            shmctl(id, IPC_RMID, nullptr); // freed once both sides detach
    }
    if (!surface) {
        auto heap = std::make_unique<CHeapSurface>(bytes);
        if (!heap->Pixels())
            return nullptr;
        heap->view.data = heap->Pixels();
        surface = std::move(heap);
    }
    surface->view.width = width;
    surface->view.height = height;
    surface->view.stride = int(stride);
    surface->view.kind = m_kind;
    return surface;
}

void CX11Presenter::ShowSurface(const CSurfaceBuffer& surface, const RECT& dirty)
{
    if (!m_mapped || Gone())
        return;
    const SurfaceView& view = surface.view;
    RECT r = ClipRect(dirty, view.width, view.height);
    if (RectIsEmpty(r))
        return;
    if (auto* shm = dynamic_cast<const CShmSurface*>(&surface)) {
        // Everything put before has been read once the server answers: the
        // other surface is free for the next picture.
        RoundTrip();
        xcb_shm_put_image(m_conn, m_window, m_gc, uint16_t(view.width), uint16_t(view.height),
                          uint16_t(r.left), uint16_t(r.top), uint16_t(r.right - r.left),
                          uint16_t(r.bottom - r.top), int16_t(r.left), int16_t(r.top), m_depth,
                          XCB_IMAGE_FORMAT_Z_PIXMAP, 0, shm->Segment(), 0);
        xcb_flush(m_conn);
    } else {
        // Whole rows, in bands that fit one request (24 bytes of header).
        size_t rowsPerBand = std::max<size_t>(1, (m_maxRequestBytes - 64) / size_t(view.stride));
        for (LONG y = r.top; y < r.bottom;) {
            LONG rows = LONG(std::min<size_t>(rowsPerBand, size_t(r.bottom - y)));
            xcb_put_image(m_conn, XCB_IMAGE_FORMAT_Z_PIXMAP, m_window, m_gc, uint16_t(view.width),
                          uint16_t(rows), 0, int16_t(y), 0, m_depth,
                          uint32_t(rows) * uint32_t(view.stride),
                          view.data + size_t(y) * size_t(view.stride));
            y += rows;
        }
        // PutImage carries the pixels in the request: the memory is free again.
        xcb_flush(m_conn);
    }
}

void CX11Presenter::ClientSize(const PresentSettings& settings, int* width, int* height)
{
    if (settings.fullScreen && m_screenWidth && m_screenHeight) {
        *width = m_screenWidth;
        *height = m_screenHeight;
        return;
    }
    CVideoPresenter::ClientSize(settings, width, height);
}

void CX11Presenter::ApplyPlacement(const PresentSettings& s)
{
    if (Gone())
        return;
    uint32_t background = PixelValue(s.borderColour, m_kind);
    if (s.fullScreen != m_inFullScreen) {
        // Full screen: a top-level window over the whole screen that the window
        // manager leaves alone; back: a child of the owner again.
        uint32_t override = s.fullScreen ? 1 : 0;
        xcb_unmap_window(m_conn, m_window);
        m_mapped = false;
        xcb_change_window_attributes(m_conn, m_window, XCB_CW_OVERRIDE_REDIRECT, &override);
        xcb_reparent_window(m_conn, m_window, s.fullScreen ? m_root : m_owner, 0, 0);
        m_inFullScreen = s.fullScreen;
    }
    xcb_change_window_attributes(m_conn, m_window, XCB_CW_BACK_PIXEL, &background);
    if (m_inFullScreen) {
        uint32_t geometry[5] = {0, 0, m_screenWidth, m_screenHeight, XCB_STACK_MODE_ABOVE};
        xcb_configure_window(m_conn, m_window,
                             XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                                 XCB_CONFIG_WINDOW_HEIGHT | XCB_CONFIG_WINDOW_STACK_MODE,
                             geometry);
    } else {
        uint32_t geometry[4] = {uint32_t(int32_t(WindowPos(s.left))),
                                uint32_t(int32_t(WindowPos(s.top))), WindowSide(s.width),
                                WindowSide(s.height)};
        xcb_configure_window(m_conn, m_window,
                             XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                                 XCB_CONFIG_WINDOW_HEIGHT,
                             geometry);
    }
    bool show = (s.visible || m_inFullScreen) && s.width > 0 && s.height > 0;
    if (show && !m_mapped)
        xcb_map_window(m_conn, m_window);
    else if (!show && m_mapped)
        xcb_unmap_window(m_conn, m_window);
    m_mapped = show;
    // The window is where it should be before anything is drawn into it.
    RoundTrip();
}

void CX11Presenter::SetCaption(const char* utf8)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_gone || !utf8)
        return;
    xcb_change_property(m_conn, XCB_PROP_MODE_REPLACE, m_window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING,
                        8, uint32_t(std::strlen(utf8)), utf8);
    xcb_flush(m_conn);
}
