// The window tvplay plays into: an X11 window of its own when a display can be
// opened (a person can watch it and use the keys), otherwise a virtual window of
// the platform (headless runs; the video renderer then draws into memory). Either
// way the picture last shown in it can be copied and saved as a PNG file.
//
// Single-threaded: the thread that calls the TP_ functions owns the window.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <windows.h>

#include "win32/picture.h"

// The picture a window showed last: rows top-down, B, G, R, X per pixel.
struct WindowPicture {
    int width = 0;
    int height = 0;
    uint64_t shown = 0; // pictures the window has shown so far
    std::vector<uint8_t> bgrx;

    // How many different colours the picture has, counting up to `limit`.
    int DistinctColours(int limit) const;
    // 0x00RRGGBB of the pixel at (x, y).
    uint32_t Pixel(int x, int y) const;
};

// Copies the picture hwnd last showed. False when nothing draws into the window
// or nothing has been shown yet (picture.shown says which).
bool CopyWindowPicture(HWND hwnd, WindowPicture& picture);
// Writes the picture as a 24-bit PNG file; false with a reason in `error`.
bool SavePicturePng(const WindowPicture& picture, const std::string& path, std::string& error);

class CPlayWindow {
public:
    // What the window reported since the last PollEvents.
    struct Event {
        enum class Kind { Key, Resized, Closed };
        Kind kind;
        // Key: the character typed ('a', ' ', '+'), or 27 for Escape; 0 for keys
        // without a character.
        int key = 0;
    };

    // An X11 window when `offscreen` is false and a display opens, else a
    // virtual window; null when neither can be made.
    static std::unique_ptr<CPlayWindow> Open(int width, int height, const std::string& title,
                                             bool offscreen);
    ~CPlayWindow();
    CPlayWindow(const CPlayWindow&) = delete;
    CPlayWindow& operator=(const CPlayWindow&) = delete;

    HWND Handle() const { return m_hWnd; }
    bool OnScreen() const { return m_display != nullptr; }
    // "X11 window 0x1a00002, 640x480" or "virtual window, 640x480 (offscreen)".
    std::string Describe() const;
    // Reads the X11 events that arrived (none for a virtual window).
    std::vector<Event> PollEvents();

private:
    CPlayWindow() = default;

    HWND m_hWnd = nullptr;
    void* m_display = nullptr; // Display*, the window's own connection
    unsigned long m_deleteAtom = 0;
    int m_width = 0;
    int m_height = 0;
};
