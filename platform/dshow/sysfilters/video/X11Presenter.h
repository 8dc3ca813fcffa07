// A presenter that shows the picture in an X11 child window of the owner.
//
// It talks to the X server over its own XCB connection rather than the
// platform's Xlib one: XCB reports X errors per request instead of through
// Xlib's process-wide error handler, whose default ends the process, so an
// owner window that the application destroys while the graph still runs only
// makes the presenter stop drawing. The surface lives in a MIT-SHM segment
// (ShmPutImage) when the server offers the extension and shares memory with us,
// otherwise in the heap (PutImage in bands under the request size limit;
// TARVO_X11_SHM=0 in the environment asks for this path).
//
// With shared memory the server copies the picture after ShmPutImage has
// returned, so the surface is double-buffered: a picture is drawn into the
// surface not shown last while the server may still copy the other, and a
// round trip before each put makes sure the server has finished with every
// earlier put, so the memory drawn into next is free. The conversion of one
// picture thus overlaps the server's copy of the one before.
//
// The child window takes the owner's visual and depth, so the owner's colormap
// serves it; 24/32-bit TrueColor (B G R X in memory) and 16-bit 5:6:5 visuals
// are taken, others make Create fail (the renderer then draws offscreen). The
// window selects no input events: clicks and keys go on to the owner (the
// message drain of the player is the owner itself).
//
// An event thread repaints the window on Expose from the surface. It is the
// only reader of the connection once the presenter is open: a round trip sends
// its request and waits for the event thread to collect the answer. XCB does
// not read the socket for one thread while another waits for a reply, so an
// event thread polling beside a waiting one found the socket readable, could
// not drain it and turned round for as long as the server took to answer, a
// thousand times a second. The wait has a time-out, so a server that stops
// answering slows the pictures down instead of holding the streaming thread
// (and with it every stop of the graph) for ever. When the
// connection to the server breaks (the server ended), XCB reports it through
// xcb_connection_has_error rather than ending the process: the presenter then
// stops talking to the server and keeps converting pictures into its surface,
// as an offscreen presenter does.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "video/VideoPresenter.h"

struct xcb_connection_t;

class CX11Presenter final : public CVideoPresenter {
public:
    // Null when there is no display, owner is not a window the server knows, or
    // its visual cannot be filled.
    static std::unique_ptr<CX11Presenter> Create(uint32_t owner);
    ~CX11Presenter() override;

    // "offscreen" once the connection to the server is lost: pictures then
    // go on into the surface, and only there.
    const char* Kind() const override { return m_gone ? "offscreen" : "x11"; }
    // The child window (for tests), 0 when none.
    uint32_t Window() const { return m_window; }
    // True when pictures travel through shared memory.
    bool UsesSharedMemory() const { return m_shm.load(); }
    // Times the event thread has woken so far (for tests: it should sleep
    // while nothing happens on the connection).
    uint64_t EventWakeUps() const { return m_wakeUps.load(); }
    // Round trips that gave up waiting for the server's answer (for tests).
    uint64_t RoundTripsUnanswered() const { return m_unanswered.load(); }
    // Sets the window's title property (seen only in full-screen mode, where the
    // window is top-level).
    void SetCaption(const char* utf8);

protected:
    std::unique_ptr<CSurfaceBuffer> NewSurface(int width, int height) override;
    bool DoubleBuffered() override { return m_shm.load(); }
    void ShowSurface(const CSurfaceBuffer& surface, const RECT& dirty) override;
    void ApplyPlacement(const PresentSettings& settings) override;
    void ClientSize(const PresentSettings& settings, int* width, int* height) override;
    void WaitShown() override { RoundTrip(); }

private:
    CX11Presenter() = default;
    bool Open(uint32_t owner);
    void EventLoop();
    // Collects the answers of the round trips waiting (event thread).
    void CollectRoundTrips();
    // Returns once the server has handled every request sent before, the
    // connection is gone or the server has not answered for kRoundTripWait.
    void RoundTrip();
    // True once the window or the connection is gone (sets m_gone when the
    // connection broke).
    bool Gone();

    xcb_connection_t* m_conn = nullptr;
    uint32_t m_owner = 0;
    uint32_t m_root = 0;
    uint32_t m_window = 0;
    uint32_t m_gc = 0;
    uint8_t m_depth = 0;
    uint16_t m_screenWidth = 0;
    uint16_t m_screenHeight = 0;
    SurfaceKind m_kind = SurfaceKind::BGRX32;
    size_t m_maxRequestBytes = 0;
    std::atomic<bool> m_shm{false};
    // Set by the event thread when the server reports our window gone (the owner
    // was destroyed) or the connection broke; drawing stops then.
    std::atomic<bool> m_gone{false};
    // guarded by m_lock
    bool m_mapped = false;
    bool m_inFullScreen = false;

    // Sequence numbers of the round trips whose answer is awaited.
    std::mutex m_tripLock;
    std::condition_variable m_tripAnswered;
    std::vector<unsigned> m_trips; // guarded by m_tripLock

    int m_wakeFd = -1;
    std::atomic<bool> m_quit{false};
    std::atomic<uint64_t> m_wakeUps{0};
    std::atomic<uint64_t> m_unanswered{0};
    std::thread m_events;
};
