// The parts of the system filters that know nothing of pins: picture
// conversion and presentation (offscreen and X11), the async reader's file
// access and the clocked null audio sink.
#include <gtest/gtest.h>

#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "async/AsyncFile.h"
#include "audio/AudioSink.h"
#include "video/FrameConverter.h"
#include "video/OffscreenPresenter.h"
#include "video/VideoPresenter.h"
#include "video/X11Presenter.h"
#include "TvPictures.h"
#include "win32/window.h"

namespace {

FrameFormat Yuy2Format(int width, int height)
{
    return FrameFormat{PixelLayout::YUY2, width, height, width * 2, false};
}

// The presenters' colours convert within 3 of the kit's reference values.
constexpr int kTolerance = 3;

struct Surface {
    Surface(int w, int h) : pixels(size_t(w) * size_t(h) * 4 + kSurfacePadding, 0x55)
    {
        view.data = pixels.data();
        view.width = w;
        view.height = h;
        view.stride = w * 4;
    }
    const uint8_t* At(int x, int y) const
    {
        return pixels.data() + (size_t(y) * size_t(view.width) + size_t(x)) * 4;
    }
    std::vector<uint8_t> pixels;
    SurfaceView view;
};

struct PresentedPicture {
    int width = 0, height = 0;
    uint64_t frames = 0;
    std::vector<uint8_t> pixels;
    const uint8_t* At(int x, int y) const
    {
        return pixels.data() + (size_t(y) * size_t(width) + size_t(x)) * 4;
    }
};

PresentedPicture Snap(CVideoPresenter& presenter)
{
    PresentedPicture s;
    presenter.CopyPicture(nullptr, 0, &s.width, &s.height, &s.frames);
    s.pixels.resize(size_t(s.width) * size_t(s.height) * 4);
    EXPECT_TRUE(
        presenter.CopyPicture(s.pixels.data(), s.pixels.size(), &s.width, &s.height, &s.frames));
    return s;
}

PresentSettings WindowOf(int width, int height, int frameWidth, int frameHeight)
{
    PresentSettings s;
    s.width = width;
    s.height = height;
    s.visible = true;
    s.source = RECT{0, 0, frameWidth, frameHeight};
    return s;
}

} // namespace

// ---- Conversion ----

TEST(FrameConverter, Yuy2ToBgrxGivesTheStudioRangeColours)
{
    auto frame =
        Yuy2Picture(8, 2, [](int x, int y) { return y == 0 ? (x < 4 ? kWhite : kRed) : kBlack; });
    Surface out(8, 2);
    CFrameConverter converter;
    ASSERT_TRUE(converter.Convert(Yuy2Format(8, 2), frame.data(), RECT{0, 0, 8, 2}, out.view,
                                  RECT{0, 0, 8, 2}));
    for (int x = 0; x < 8; ++x) {
        EXPECT_TRUE(PixelNear(out.At(x, 0), x < 4 ? kWhiteRgb : kRedRgb, kTolerance)) << "x " << x;
        EXPECT_TRUE(PixelNear(out.At(x, 1), kBlackRgb, kTolerance)) << "x " << x;
    }
}

TEST(FrameConverter, BottomUpRgbIsTurnedTheRightWayUp)
{
    // A 4x2 RGB24 DIB stored bottom row first: stored row 0 (the picture's
    // bottom) blue, stored row 1 (the top) green.
    int stride = FrameDefaultStride(PixelLayout::RGB24, 4);
    std::vector<uint8_t> dib(size_t(stride) * 2, 0);
    for (int x = 0; x < 4; ++x) {
        dib[size_t(x) * 3 + 0] = 200;                  // bottom: blue
        dib[size_t(stride) + size_t(x) * 3 + 1] = 180; // top: green
    }
    Surface out(4, 2);
    CFrameConverter converter;
    ASSERT_TRUE(converter.Convert(FrameFormat{PixelLayout::RGB24, 4, 2, stride, true}, dib.data(),
                                  RECT{0, 0, 4, 2}, out.view, RECT{0, 0, 4, 2}));
    EXPECT_TRUE(PixelNear(out.At(0, 0), Bgr{0, 180, 0}, 0));
    EXPECT_TRUE(PixelNear(out.At(3, 1), Bgr{200, 0, 0}, 0));
}

TEST(FrameConverter, ScalesTheSourceRectangleIntoTheDestinationOnly)
{
    // 16x16: the left half red, the right half white. Show the right half only,
    // shrunk into a 4x4 box at (2, 2) of a 10x10 surface.
    auto frame = Yuy2Picture(16, 16, [](int x, int) { return x < 8 ? kRed : kWhite; });
    Surface out(10, 10);
    CFrameConverter converter;
    ASSERT_TRUE(converter.Convert(Yuy2Format(16, 16), frame.data(), RECT{8, 0, 16, 16}, out.view,
                                  RECT{2, 2, 6, 6}));
    for (int y = 2; y < 6; ++y)
        for (int x = 2; x < 6; ++x)
            EXPECT_TRUE(PixelNear(out.At(x, y), kWhiteRgb, kTolerance)) << x << "," << y;
    // Outside the box the surface is untouched.
    EXPECT_EQ(out.At(1, 1)[0], 0x55);
    EXPECT_EQ(out.At(6, 6)[0], 0x55);
    EXPECT_EQ(out.At(9, 0)[2], 0x55);
}

TEST(FrameConverter, UnscaledCopiesStayInsideTheirRectangles)
{
    // Strides equal on both sides and rectangles that do not span them: the
    // bytes between the rows must stay as they were.
    std::vector<uint8_t> rgb(8 * 4 * 4);
    for (size_t i = 0; i < rgb.size(); i += 4) {
        rgb[i] = 10;
        rgb[i + 1] = 20;
        rgb[i + 2] = 30;
    }
    Surface out(8, 4);
    CFrameConverter converter;
    ASSERT_TRUE(converter.Convert(FrameFormat{PixelLayout::RGB32, 8, 4, 32, false}, rgb.data(),
                                  RECT{2, 1, 6, 3}, out.view, RECT{2, 1, 6, 3}));
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 8; ++x) {
            bool inside = x >= 2 && x < 6 && y >= 1 && y < 3;
            if (inside)
                EXPECT_TRUE(PixelNear(out.At(x, y), Bgr{10, 20, 30}, 0)) << x << "," << y;
            else
                EXPECT_EQ(out.At(x, y)[0], 0x55) << x << "," << y;
        }
    }

    // Surface to surface, same size, moved: a copy of the rows only.
    Surface moved(8, 4);
    ASSERT_TRUE(converter.Rescale(out.view, RECT{2, 1, 6, 3}, moved.view, RECT{4, 2, 8, 4}));
    EXPECT_TRUE(PixelNear(moved.At(4, 2), Bgr{10, 20, 30}, 0));
    EXPECT_TRUE(PixelNear(moved.At(7, 3), Bgr{10, 20, 30}, 0));
    EXPECT_EQ(moved.At(3, 2)[0], 0x55);
    EXPECT_EQ(moved.At(4, 1)[0], 0x55);
}

TEST(FrameConverter, RefusesWhatItCannotDraw)
{
    auto frame = Yuy2Picture(4, 4, [](int, int) { return kWhite; });
    Surface out(4, 4);
    CFrameConverter converter;
    EXPECT_FALSE(converter.Convert(Yuy2Format(4, 4), frame.data(), RECT{4, 0, 4, 4}, out.view,
                                   RECT{0, 0, 4, 4}));
    EXPECT_FALSE(converter.Convert(Yuy2Format(4, 4), frame.data(), RECT{0, 0, 4, 4}, out.view,
                                   RECT{5, 5, 9, 9}));
    EXPECT_FALSE(converter.Convert(FrameFormat{PixelLayout::YUY2, 4, 4, 2, false}, frame.data(),
                                   RECT{0, 0, 4, 4}, out.view, RECT{0, 0, 4, 4}))
        << "a stride shorter than a row";
    EXPECT_FALSE(
        converter.Convert(Yuy2Format(4, 4), nullptr, RECT{0, 0, 4, 4}, out.view, RECT{0, 0, 4, 4}));
}

TEST(FrameConverter, OddWidthPlanarPicturesKeepTheirLastChromaColumn)
{
    // A 5x2 I420 picture: every chroma row covers the fifth pixel too, so it
    // holds 3 samples, and the picture is 10 + 3 + 3 bytes.
    FrameFormat format{PixelLayout::I420, 5, 2, 5, false};
    ASSERT_EQ(format.FrameBytes(), size_t(16));
    std::vector<uint8_t> frame(format.FrameBytes());
    std::fill(frame.begin(), frame.begin() + 10, kRed.y);
    std::fill(frame.begin() + 10, frame.begin() + 13, kRed.u);
    std::fill(frame.begin() + 13, frame.end(), kRed.v);
    Surface out(5, 2);
    CFrameConverter converter;
    ASSERT_TRUE(
        converter.Convert(format, frame.data(), RECT{0, 0, 5, 2}, out.view, RECT{0, 0, 5, 2}));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_TRUE(PixelNear(out.At(x, y), kRedRgb, kTolerance)) << "x " << x << " y " << y;
}

TEST(FrameFormat, SizesAndDibLayouts)
{
    EXPECT_EQ(FrameDefaultStride(PixelLayout::RGB24, 5), 16); // 15 bytes padded to 4
    EXPECT_EQ(FrameDefaultStride(PixelLayout::YUY2, 5), 12);  // pixel pairs
    EXPECT_EQ((FrameFormat{PixelLayout::I420, 6, 5, 6, false}.FrameBytes()),
              size_t(6 * 5 + 2 * 3 * 3));
    EXPECT_EQ((FrameFormat{PixelLayout::RGB32, 0, 5, 0, false}.FrameBytes()), 0u);
    EXPECT_EQ((FrameFormat{PixelLayout::RGB32, 70000, 5, 280000, false}.FrameBytes()), 0u);
    EXPECT_EQ(FrameLayoutFromBitmap(0x32595559, 16), PixelLayout::YUY2); // 'YUY2'
    EXPECT_EQ(FrameLayoutFromBitmap(0, 32), PixelLayout::RGB32);
    EXPECT_EQ(FrameLayoutFromBitmap(0, 24), PixelLayout::RGB24);
    EXPECT_EQ(FrameLayoutFromBitmap(0, 8), PixelLayout::None);
    EXPECT_EQ(FrameLayoutFromBitmap(0x47504A4D, 24), PixelLayout::None); // 'MJPG'
}

// ---- Layout ----

TEST(LetterBox, KeepsTheSourceShapeCentred)
{
    RECT wide = LetterBoxRect(RECT{0, 0, 400, 400}, 1920, 1080);
    EXPECT_EQ(wide.left, 0);
    EXPECT_EQ(wide.right, 400);
    EXPECT_EQ(wide.bottom - wide.top, 225);
    EXPECT_EQ(wide.top, 87);
    RECT tall = LetterBoxRect(RECT{10, 20, 410, 220}, 100, 100);
    EXPECT_EQ(tall.top, 20);
    EXPECT_EQ(tall.bottom, 220);
    EXPECT_EQ(tall.left, 110);
    EXPECT_EQ(tall.right, 310);
    RECT same = LetterBoxRect(RECT{0, 0, 0, 10}, 4, 3);
    EXPECT_EQ(same.right, 0) << "an empty destination stays as it is";
}

// ---- Offscreen presenter ----

TEST(OffscreenPresenter, ShowsTheBorderColourUntilTheFirstPicture)
{
    COffscreenPresenter presenter;
    PresentSettings s = WindowOf(6, 4, 6, 4);
    s.borderColour = 0x00204060; // R 0x60, G 0x40, B 0x20
    presenter.SetSettings(s);
    PresentedPicture snap = Snap(presenter);
    ASSERT_EQ(snap.width, 6);
    ASSERT_EQ(snap.height, 4);
    EXPECT_EQ(snap.frames, 0u);
    EXPECT_TRUE(PixelNear(snap.At(5, 3), Bgr{0x20, 0x40, 0x60}, 0));
}

TEST(OffscreenPresenter, KeepsTheLastPictureAndItsBorders)
{
    COffscreenPresenter presenter;
    PresentSettings s = WindowOf(64, 64, 32, 16);
    s.letterBox = true; // 2:1 picture in a square window: bands above and below
    s.borderColour = 0x000000ff;
    presenter.SetSettings(s);
    auto red = Yuy2Picture(32, 16, [](int, int) { return kRed; });
    auto white = Yuy2Picture(32, 16, [](int, int) { return kWhite; });
    ASSERT_TRUE(presenter.Present(Yuy2Format(32, 16), red.data()));
    ASSERT_TRUE(presenter.Present(Yuy2Format(32, 16), white.data()));
    RECT target = presenter.TargetRect();
    EXPECT_EQ(target.top, 16);
    EXPECT_EQ(target.bottom, 48);

    PresentedPicture snap = Snap(presenter);
    EXPECT_EQ(snap.frames, 2u);
    EXPECT_TRUE(PixelNear(snap.At(32, 32), kWhiteRgb, kTolerance));
    EXPECT_TRUE(PixelNear(snap.At(0, 16), kWhiteRgb, kTolerance));
    EXPECT_TRUE(PixelNear(snap.At(32, 5), Bgr{0, 0, 255}, 0)) << "band above";
    EXPECT_TRUE(PixelNear(snap.At(32, 60), Bgr{0, 0, 255}, 0)) << "band below";
}

TEST(OffscreenPresenter, ResizingKeepsThePictureWithoutANewFrame)
{
    COffscreenPresenter presenter;
    presenter.SetSettings(WindowOf(32, 16, 32, 16));
    auto frame = Yuy2Picture(32, 16, [](int x, int) { return x < 16 ? kRed : kWhite; });
    ASSERT_TRUE(presenter.Present(Yuy2Format(32, 16), frame.data()));

    presenter.SetSettings(WindowOf(64, 48, 32, 16)); // paused: no frame follows
    PresentedPicture snap = Snap(presenter);
    ASSERT_EQ(snap.width, 64);
    ASSERT_EQ(snap.height, 48);
    EXPECT_EQ(snap.frames, 1u);
    EXPECT_TRUE(PixelNear(snap.At(8, 24), kRedRgb, 6));
    EXPECT_TRUE(PixelNear(snap.At(56, 40), kWhiteRgb, 6));

    // A destination inside the window: the picture moves there, borders around it.
    PresentSettings inner = WindowOf(64, 48, 32, 16);
    inner.defaultDestination = false;
    inner.destination = RECT{32, 0, 64, 24};
    inner.borderColour = 0x0000ff00;
    presenter.SetSettings(inner);
    snap = Snap(presenter);
    EXPECT_TRUE(PixelNear(snap.At(36, 12), kRedRgb, 6));
    EXPECT_TRUE(PixelNear(snap.At(60, 12), kWhiteRgb, 6));
    EXPECT_TRUE(PixelNear(snap.At(10, 40), Bgr{0, 255, 0}, 0));
}

TEST(OffscreenPresenter, CopyNeedsRoomAndASurface)
{
    COffscreenPresenter presenter;
    int w = -1, h = -1;
    uint8_t byte = 0;
    EXPECT_FALSE(presenter.CopyPicture(&byte, 1, &w, &h, nullptr));
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
    auto frame = Yuy2Picture(4, 4, [](int, int) { return kWhite; });
    EXPECT_FALSE(presenter.Present(Yuy2Format(4, 4), frame.data())) << "no window size yet";

    presenter.SetSettings(WindowOf(4, 4, 4, 4));
    std::vector<uint8_t> small(4 * 4 * 4 - 1);
    EXPECT_FALSE(presenter.CopyPicture(small.data(), small.size(), &w, &h, nullptr));
    EXPECT_EQ(w, 4);
    EXPECT_EQ(h, 4);
}

TEST(Presenter, NoDisplayOrAVirtualOwnerMeansOffscreen)
{
    HWND virtualOwner = TvCreateVirtualWindow(320, 240);
    ASSERT_NE(virtualOwner, nullptr);
    EXPECT_STREQ(CreateVideoPresenter(virtualOwner)->Kind(), "offscreen");
    EXPECT_STREQ(CreateVideoPresenter(nullptr)->Kind(), "offscreen");
    DestroyWindow(virtualOwner);
}

// ---- X11 presenter (needs a display: the test command runs Xvfb) ----

namespace {

// An application window made on a connection of the test's own.
class OwnerWindow {
public:
    OwnerWindow(int width, int height)
    {
        m_conn = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(m_conn))
            return;
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_conn)).data;
        m_window = xcb_generate_id(m_conn);
        // Backing store keeps the window's own pixels for PixelOf while a
        // window of another test program (the suite runs in parallel on one
        // display) lies over it; GetImage would read that one's otherwise.
        uint32_t values[2] = {screen->black_pixel, XCB_BACKING_STORE_ALWAYS};
        xcb_create_window(m_conn, XCB_COPY_FROM_PARENT, m_window, screen->root, 0, 0,
                          uint16_t(width), uint16_t(height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_BACKING_STORE, values);
        xcb_map_window(m_conn, m_window);
        Sync();
    }
    ~OwnerWindow()
    {
        if (m_window)
            Destroy();
        xcb_disconnect(m_conn);
    }
    void Destroy()
    {
        xcb_destroy_window(m_conn, m_window);
        Sync();
        m_window = 0;
    }
    void Sync()
    {
        std::free(xcb_get_input_focus_reply(m_conn, xcb_get_input_focus(m_conn), nullptr));
    }
    HWND Hwnd() const { return reinterpret_cast<HWND>(uintptr_t(m_window)); }

    // Clears a window to its background, which asks its owner to paint it again.
    void Expose(uint32_t window)
    {
        xcb_clear_area(m_conn, 1, window, 0, 0, 0, 0);
        Sync();
    }

    // The pixel at (x, y) of a window as the server has it (B, G, R).
    bool PixelOf(uint32_t window, int x, int y, uint8_t bgr[3])
    {
        Sync();
        xcb_get_image_reply_t* image =
            xcb_get_image_reply(m_conn,
                                xcb_get_image(m_conn, XCB_IMAGE_FORMAT_Z_PIXMAP, window, int16_t(x),
                                              int16_t(y), 1, 1, ~0u),
                                nullptr);
        if (!image)
            return false;
        bool ok = image->depth >= 24 && xcb_get_image_data_length(image) >= 4;
        if (ok)
            std::copy_n(xcb_get_image_data(image), 3, bgr);
        std::free(image);
        return ok;
    }

private:
    xcb_connection_t* m_conn = nullptr;
    uint32_t m_window = 0;
};

// An owner window and the X11 presenter in it (x11 is null when the
// presenter made is not an X11 one).
struct X11Tile {
    X11Tile(int width, int height)
        : owner(width, height), presenter(CreateVideoPresenter(owner.Hwnd())),
          x11(dynamic_cast<CX11Presenter*>(presenter.get()))
    {
    }
    OwnerWindow owner;
    std::unique_ptr<CVideoPresenter> presenter;
    CX11Presenter* x11;
};

} // namespace

class X11PresenterPaths : public ::testing::TestWithParam<bool> {};

TEST_P(X11PresenterPaths, DrawsIntoAChildWindowOfTheOwner)
{
    if (!TvGetX11Display())
        GTEST_SKIP() << "no X display";
    bool shm = GetParam();
    if (!shm)
        setenv("TARVO_X11_SHM", "0", 1);
    OwnerWindow owner(200, 100);
    auto presenter = CreateVideoPresenter(owner.Hwnd());
    unsetenv("TARVO_X11_SHM");
    ASSERT_STREQ(presenter->Kind(), "x11");
    auto* x11 = static_cast<CX11Presenter*>(presenter.get());
    if (!shm) {
        EXPECT_FALSE(x11->UsesSharedMemory());
    }

    PresentSettings s = WindowOf(160, 80, 32, 16);
    s.left = 20;
    s.top = 10;
    s.borderColour = 0x00ff0000; // blue
    s.letterBox = true;
    s.defaultDestination = false;
    s.destination = RECT{0, 0, 160, 80};
    presenter->SetSettings(s);
    auto frame = Yuy2Picture(32, 16, [](int x, int) { return x < 16 ? kRed : kWhite; });
    ASSERT_TRUE(presenter->Present(Yuy2Format(32, 16), frame.data()));

    // The snapshot reads the picture once it is on screen.
    PresentedPicture snap = Snap(*presenter);
    EXPECT_EQ(snap.width, 160);
    EXPECT_TRUE(PixelNear(snap.At(140, 40), kWhiteRgb, 6));

    uint8_t bgr[3];
    ASSERT_TRUE(owner.PixelOf(x11->Window(), 20, 40, bgr));
    EXPECT_TRUE(PixelNear(bgr, kRedRgb, 6));
    ASSERT_TRUE(owner.PixelOf(x11->Window(), 140, 40, bgr));
    EXPECT_TRUE(PixelNear(bgr, kWhiteRgb, 6));
    // The window sits at (20, 10) in the owner: the owner's pixel there is ours.
    ASSERT_TRUE(
        owner.PixelOf(uint32_t(reinterpret_cast<uintptr_t>(owner.Hwnd())), 20 + 20, 10 + 40, bgr));
    EXPECT_TRUE(PixelNear(bgr, kRedRgb, 6));

    if (shm && !x11->UsesSharedMemory())
        std::printf("note: this X server refused shared memory; PutImage was used\n");
}

INSTANTIATE_TEST_SUITE_P(X11Presenter, X11PresenterPaths, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "SharedMemory" : "PutImage";
                         });

TEST(X11Presenter, OwnerDestroyedUnderItDoesNotEndTheProcess)
{
    if (!TvGetX11Display())
        GTEST_SKIP() << "no X display";
    OwnerWindow owner(64, 64);
    auto presenter = CreateVideoPresenter(owner.Hwnd());
    ASSERT_STREQ(presenter->Kind(), "x11");
    presenter->SetSettings(WindowOf(64, 64, 8, 8));
    auto frame = Yuy2Picture(8, 8, [](int, int) { return kWhite; });
    ASSERT_TRUE(presenter->Present(Yuy2Format(8, 8), frame.data()));
    owner.Destroy();
    // Drawing and moving a window that is gone: X errors, reported to us, not fatal.
    for (int i = 0; i < 3; ++i) {
        presenter->Present(Yuy2Format(8, 8), frame.data());
        presenter->SetSettings(WindowOf(32 + i, 32, 8, 8));
    }
    presenter.reset();
    SUCCEED();
}

TEST(X11Presenter, EventThreadSleepsWhilePicturesTravel)
{
    if (!TvGetX11Display())
        GTEST_SKIP() << "no X display";
    // A camera wall runs one presenter per tile: an event thread that turns
    // round while the server copies each picture costs a core between them.
    X11Tile tile(704, 576);
    ASSERT_NE(tile.x11, nullptr);
    CVideoPresenter* presenter = tile.presenter.get();
    CX11Presenter* x11 = tile.x11;
    presenter->SetSettings(WindowOf(704, 576, 704, 576));
    auto frame = Yuy2Picture(704, 576, [](int x, int y) { return (x ^ y) & 8 ? kRed : kWhite; });
    ASSERT_TRUE(presenter->Present(Yuy2Format(704, 576), frame.data()));
    const uint64_t before = x11->EventWakeUps();
    constexpr int kPictures = 60;
    for (int i = 0; i < kPictures; ++i)
        ASSERT_TRUE(presenter->Present(Yuy2Format(704, 576), frame.data()));
    Snap(*presenter);
    // The server's answer to each picture wakes it once (a few more pictures'
    // worth of slack for the 200 ms guard against a lost wake-up); before,
    // it woke 10 to 35 times a picture.
    EXPECT_LE(x11->EventWakeUps() - before, uint64_t(3 * kPictures + 20));
}

TEST(X11Presenter, RepaintsOnExposeWithoutHoldingUpPictures)
{
    if (!TvGetX11Display())
        GTEST_SKIP() << "no X display";
    X11Tile tile(64, 64);
    ASSERT_NE(tile.x11, nullptr);
    CVideoPresenter* presenter = tile.presenter.get();
    CX11Presenter* x11 = tile.x11;
    OwnerWindow& owner = tile.owner;
    PresentSettings s = WindowOf(64, 64, 16, 16);
    s.borderColour = 0x00ff0000; // blue: the window's background
    presenter->SetSettings(s);
    auto frame = Yuy2Picture(16, 16, [](int, int) { return kRed; });
    // Exposes while pictures go out: the repaint must not wait for the
    // presenter's lock while the picture holding it waits for the event thread.
    std::thread pictures([&] {
        for (int i = 0; i < 40; ++i)
            presenter->Present(Yuy2Format(16, 16), frame.data());
    });
    for (int i = 0; i < 40; ++i)
        owner.Expose(x11->Window());
    pictures.join();
    EXPECT_EQ(x11->RoundTripsUnanswered(), 0u);

    // With no picture coming (paused), only the repaint brings it back.
    owner.Expose(x11->Window());
    uint8_t bgr[3] = {};
    for (int i = 0; i < 200; ++i) {
        ASSERT_TRUE(owner.PixelOf(x11->Window(), 32, 32, bgr));
        if (PixelNear(bgr, kRedRgb, 6))
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(PixelNear(bgr, kRedRgb, 6));
}

TEST(X11Presenter, UnknownOwnerFallsBackToOffscreen)
{
    if (!TvGetX11Display())
        GTEST_SKIP() << "no X display";
    HWND bogus = reinterpret_cast<HWND>(uintptr_t(0x1fffff0));
    EXPECT_STREQ(CreateVideoPresenter(bogus)->Kind(), "offscreen");
}

// ---- Async file ----

namespace {

class TempFile {
public:
    explicit TempFile(size_t bytes)
    {
        char name[] = "/tmp/tvsys-async-XXXXXX";
        int fd = mkstemp(name);
        m_path = name;
        std::vector<uint8_t> data(bytes);
        for (size_t i = 0; i < bytes; ++i)
            data[i] = uint8_t(i * 7 + 3);
        if (fd >= 0) {
            EXPECT_EQ(write(fd, data.data(), data.size()), ssize_t(data.size()));
            close(fd);
        }
    }
    ~TempFile() { std::remove(m_path.c_str()); }
    const std::string& Path() const { return m_path; }
    static uint8_t ByteAt(size_t i) { return uint8_t(i * 7 + 3); }

private:
    std::string m_path;
};

} // namespace

TEST(AsyncFile, ReadsAtOffsetsAndStopsAtTheEnd)
{
    TempFile file(10000);
    CAsyncFile f;
    ASSERT_EQ(f.Open(file.Path()), S_OK);
    EXPECT_EQ(f.Length(), 10000);

    std::vector<BYTE> buffer(300, 0xEE);
    LONG read = -1;
    EXPECT_EQ(f.Read(4000, 300, buffer.data(), &read), S_OK);
    EXPECT_EQ(read, 300);
    for (size_t i = 0; i < 300; ++i)
        ASSERT_EQ(buffer[i], TempFile::ByteAt(4000 + i)) << i;

    // 100 bytes left at 9900: a short read, S_FALSE, the rest of the buffer untouched.
    std::fill(buffer.begin(), buffer.end(), 0xEE);
    EXPECT_EQ(f.Read(9900, 300, buffer.data(), &read), S_FALSE);
    EXPECT_EQ(read, 100);
    EXPECT_EQ(buffer[99], TempFile::ByteAt(9999));
    EXPECT_EQ(buffer[100], 0xEE);

    EXPECT_EQ(f.Read(10000, 1, buffer.data(), &read), S_FALSE);
    EXPECT_EQ(read, 0);
    EXPECT_EQ(f.Read(1LL << 40, 16, buffer.data(), &read), S_FALSE);
    EXPECT_EQ(read, 0);
    EXPECT_EQ(f.Read(-1, 16, buffer.data(), &read), E_INVALIDARG);
    EXPECT_EQ(f.Read(0, -16, buffer.data(), &read), E_INVALIDARG);
    EXPECT_EQ(f.Read(0, 16, nullptr, &read), E_POINTER);
    EXPECT_EQ(f.Read(0, 0, nullptr, &read), S_OK);
}

TEST(AsyncFile, OpenFailuresSayWhy)
{
    CAsyncFile f;
    EXPECT_EQ(f.Open("/tmp/tvsys-no-such-file-here"), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(f.Open("/tmp"), E_INVALIDARG);
    EXPECT_FALSE(f.IsOpen());
    BYTE b;
    EXPECT_EQ(f.Read(0, 1, &b, nullptr), E_UNEXPECTED);
}

TEST(AsyncFile, ManyThreadsReadAtOnce)
{
    TempFile file(1 << 16);
    CAsyncFile f;
    ASSERT_EQ(f.Open(file.Path()), S_OK);
    std::atomic<int> wrong{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t) {
        readers.emplace_back([&, t] {
            std::vector<BYTE> buffer(512);
            for (int i = 0; i < 200; ++i) {
                LONGLONG pos = (LONGLONG(i) * 331 + t * 977) % (1 << 16);
                LONG read = 0;
                f.Read(pos, 512, buffer.data(), &read);
                for (LONG k = 0; k < read; ++k)
                    if (buffer[size_t(k)] != TempFile::ByteAt(size_t(pos + k)))
                        ++wrong;
            }
        });
    }
    for (auto& r : readers)
        r.join();
    EXPECT_EQ(wrong.load(), 0);
}

// ---- Null audio sink ----

namespace {

constexpr PcmFormat kMono8k{8000, 1, 16}; // 16000 bytes a second
constexpr HRESULT kStillBlocked = HRESULT(0x8000000A);

} // namespace

TEST(NullAudioSink, ConsumesAtTheRealRate)
{
    auto sink = CreateNullAudioSink(kMono8k, 100); // holds 1600 bytes
    ASSERT_NE(sink, nullptr);
    EXPECT_STREQ(sink->Kind(), "null");
    sink->SetRunning(true);
    std::vector<uint8_t> half(8000); // half a second
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(sink->Write(half.data(), half.size()), S_OK);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    uint64_t played = sink->BytesPlayed();
    // All but one buffer's worth must have played, and no faster than real time.
    EXPECT_GE(played, 8000u - 1600u);
    EXPECT_LE(double(played), seconds * 16000.0 + 1.0);
    EXPECT_GE(seconds, 0.35) << "8000 bytes at 16000 bytes/s with 1600 buffered";
    EXPECT_EQ(sink->Drain(), S_OK);
    EXPECT_EQ(sink->BytesPlayed(), 8000u);
}

TEST(NullAudioSink, PausedHoldsAndInterruptReleasesTheWriter)
{
    auto sink = CreateNullAudioSink(kMono8k, 100);
    std::vector<uint8_t> data(4000);
    std::atomic<HRESULT> result{kStillBlocked};
    std::thread writer([&] { result = sink->Write(data.data(), data.size()); });
    // Not running: nothing plays, the writer stays blocked after filling the buffer.
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(result.load(), kStillBlocked);
    EXPECT_EQ(sink->BytesPlayed(), 0u);
    sink->Interrupt(true);
    writer.join();
    EXPECT_EQ(result.load(), S_FALSE);
    EXPECT_EQ(sink->Write(data.data(), 1), S_FALSE) << "interrupted until cleared";
    EXPECT_EQ(sink->Drain(), S_FALSE);
    sink->Interrupt(false);
    sink->Flush();
    sink->SetRunning(true);
    EXPECT_EQ(sink->Write(data.data(), 320), S_OK);
    EXPECT_EQ(sink->Drain(), S_OK);
    EXPECT_EQ(sink->BytesPlayed(), 320u) << "the flushed bytes never play";
}

TEST(AudioSink, FallsBackToTheNullSinkWithoutASoundServer)
{
    setenv("TARVO_AUDIO", "null", 1);
    auto sink = CreateAudioSink(kMono8k, "test");
    unsetenv("TARVO_AUDIO");
    ASSERT_NE(sink, nullptr);
    EXPECT_STREQ(sink->Kind(), "null");
    EXPECT_EQ(CreateAudioSink(PcmFormat{96000, 2, 16}, "test"), nullptr);
    EXPECT_EQ(CreateAudioSink(PcmFormat{8000, 3, 16}, "test"), nullptr);
    EXPECT_EQ(CreateAudioSink(PcmFormat{8000, 1, 8}, "test"), nullptr);
}
