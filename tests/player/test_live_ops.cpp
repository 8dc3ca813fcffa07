// Capture, overlays, recording and the frame callback on a live stream, end to
// end: the device simulator sends device H.264 over UDP on 127.0.0.1 to a
// stream player on a virtual window, all built from the build's registry and
// driven through the TP_ functions only. Pictures are checked by their pixels.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <windows.h>

#include "TarvoPlayLib.h"
#include "TestPattern.h"
#include "tvdevsim/DeviceSimulator.h"

namespace {

using namespace std::chrono_literals;

constexpr int kWidth = 352; // the device kinds' default picture
constexpr int kHeight = 288;
constexpr int kDeviceH264 = 3; // CodecKind of the device's framed H.264
constexpr int kUdp = 2;        // the network source's plain UDP

// A UDP port that was free a moment ago.
int FreeUdpPort()
{
    const int s = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (s < 0 || bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        if (s >= 0)
            close(s);
        return -1;
    }
    close(s);
    return ntohs(a.sin_port);
}

template <typename Condition> bool WaitFor(Condition condition, std::chrono::seconds limit = 30s)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

std::vector<unsigned char> ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

uint32_t Le32(const unsigned char* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// What the frame callback saw.
struct Frames {
    std::atomic<int> count{0};
    std::atomic<int> size{0};
    std::atomic<int> width{0};
    std::atomic<int> height{0};
};

void CountFrame(void* user, unsigned char* frame, int size, int width, int height)
{
    auto* frames = static_cast<Frames*>(user);
    if (!frame)
        return;
    frames->size = size;
    frames->width = width;
    frames->height = height;
    ++frames->count;
}

// A BMP written by TP_GrabPicture: 24-bit rows, bottom row first, not padded.
struct Bmp {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> bytes;
    // Row y counted upward from the bottom edge, as the overlays count.
    const unsigned char* Pixel(int x, int y) const
    {
        return bytes.data() + 54 + (static_cast<size_t>(y) * width + x) * 3;
    }
    bool Red(int x, int y) const
    {
        const unsigned char* p = Pixel(x, y);
        return p[2] > 200 && p[1] < 60 && p[0] < 60;
    }
};

class LiveOps : public ::testing::Test {
protected:
    void SetUp() override
    {
        char dir[] = "/tmp/tvlive_ops_XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        m_drive = dir;
        setenv("TARVO_DRIVE_C", dir, 1);
        TP_Init();
        m_window = TvCreateVirtualWindow(kWidth, kHeight);
        ASSERT_NE(m_window, nullptr);
        // Until stream players open streams, there is nothing to play.
        const int probe = TP_Initialize(m_window, 1, kDeviceH264, 0, 0);
        const int opened = TP_OpenStream(probe, "127.0.0.1", FreeUdpPort(), kUdp, 0);
        TP_Uninitialize(probe);
        if (opened == E_NOTIMPL)
            GTEST_SKIP() << "stream players do not open streams yet";
    }

    void TearDown() override
    {
        m_sim.Stop();
        TP_Exit();
        DestroyWindow(m_window);
        unsetenv("TARVO_DRIVE_C");
        const std::string command = "rm -rf '" + m_drive + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }

    // A stream player receiving the simulator's device H.264 on a free port;
    // callback (when given) is set before the stream is rendered.
    int StartLive(Frames* callbackFrames)
    {
        const int port = FreeUdpPort();
        EXPECT_GT(port, 0);
        const int handle = TP_Initialize(m_window, 1, kDeviceH264, 0, 0);
        EXPECT_GE(handle, 0);
        if (callbackFrames) {
            EXPECT_EQ(TP_SetYUVFrameCallBack(handle, CountFrame, callbackFrames), 0);
        }
        EXPECT_EQ(TP_OpenStream(handle, "127.0.0.1", port, kUdp, 0), 0);

        tvdevsim::SimConfig config;
        config.stream.kind = tvdevsim::SimKind::Device40;
        config.stream.width = kWidth;
        config.stream.height = kHeight;
        config.stream.audio = false;
        config.transport = tvdevsim::SimTransport::Udp;
        config.address = "127.0.0.1";
        config.port = port;
        EXPECT_TRUE(m_sim.Start(config)) << m_sim.Error();
        return handle;
    }

    std::string OnDrive(const std::string& rest) const { return m_drive + "/" + rest; }

    Bmp Grab(int handle, const char* path, const std::string& file)
    {
        Bmp bmp;
        // The frame processor exists once the stream has been rendered.
        EXPECT_TRUE(WaitFor(
            [&] { return TP_GrabPicture(handle, path) == 0 && ReadAll(file).size() > 54; }));
        bmp.bytes = ReadAll(file);
        if (bmp.bytes.size() >= 54) {
            bmp.width = static_cast<int>(Le32(&bmp.bytes[18]));
            bmp.height = static_cast<int>(Le32(&bmp.bytes[22]));
        }
        return bmp;
    }

    std::string m_drive;
    HWND m_window = nullptr;
    tvdevsim::CDeviceSimulator m_sim;
};

// Pixels of the frame-number plate that disagree with frame n's drawing
// (bright against dark).
int PlateMismatches(const Bmp& bmp, int64_t n)
{
    tvdevsim::YuvPicture want;
    tvdevsim::DrawTestPattern(want, bmp.width, bmp.height, n, false);
    const tvdevsim::PatternRect plate = tvdevsim::FrameNumberPlate(bmp.width, bmp.height);
    int mismatches = 0;
    for (int top = plate.y; top < plate.y + plate.height; ++top)
        for (int x = plate.x; x < plate.x + plate.width; ++x) {
            const bool wantBright = want.y[static_cast<size_t>(top) * want.width + x] > 128;
            const bool bright = bmp.Pixel(x, bmp.height - 1 - top)[1] > 128;
            mismatches += wantBright != bright;
        }
    return mismatches;
}

TEST_F(LiveOps, GrabbedPictureShowsTheFrameCounterAndTheRectangle)
{
    const int handle = StartLive(nullptr);
    // Overlays exist once the stream is rendered: retry until the processor is there.
    const POINT lower = {100, 40}, upper = {200, 100};
    int index = -1;
    ASSERT_TRUE(WaitFor([&] {
        index = TP_AddRectangleOverlay(handle, &lower, &upper, 0x0000FF, 0, 0);
        return index >= 0;
    }));
    EXPECT_GE(index, 1000);

    const Bmp bmp = Grab(handle, "C:\\shots\\live.bmp", OnDrive("shots/live.bmp"));
    ASSERT_EQ(bmp.width, kWidth);
    ASSERT_EQ(bmp.height, kHeight);
    ASSERT_EQ(bmp.bytes.size(), 54u + kWidth * kHeight * 3);

    // The rectangle's two horizontal edges are red along their whole length
    // (wider than any colour bar of the pattern), and the rows well inside are not.
    for (int edge : {lower.y, upper.y}) {
        SCOPED_TRACE(edge);
        int redRows = 0;
        for (int y = edge - 1; y <= edge + 1; ++y) {
            bool whole = true;
            for (int x = lower.x + 4; x < upper.x - 4; ++x)
                whole = whole && bmp.Red(x, y);
            redRows += whole;
        }
        EXPECT_GE(redRows, 1);
    }
    int insideRed = 0;
    for (int x = lower.x + 4; x < upper.x - 4; ++x)
        insideRed += bmp.Red(x, (lower.y + upper.y) / 2);
    EXPECT_LT(insideRed, upper.x - lower.x - 8);

    // The plate shows a frame number the simulator has sent, and that one
    // better than its neighbours.
    const int64_t sent = static_cast<int64_t>(m_sim.Counters().videoFrames);
    int64_t best = -1;
    int bestMismatches = 1 << 30;
    for (int64_t n = 0; n <= sent; ++n) {
        const int m = PlateMismatches(bmp, n);
        if (m < bestMismatches) {
            bestMismatches = m;
            best = n;
        }
    }
    const tvdevsim::PatternRect plate = tvdevsim::FrameNumberPlate(kWidth, kHeight);
    ASSERT_GE(best, 0);
    EXPECT_LT(bestMismatches, plate.width * plate.height / 50) << "frame " << best;
    EXPECT_LT(bestMismatches, PlateMismatches(bmp, best + 1));
    if (best > 0) {
        EXPECT_LT(bestMismatches, PlateMismatches(bmp, best - 1));
    }
}

TEST_F(LiveOps, CallbackSetBeforeTheRenderReceivesFrames)
{
    Frames frames;
    StartLive(&frames);
    ASSERT_TRUE(WaitFor([&] { return frames.count.load() >= 5; }));
    EXPECT_EQ(frames.width.load(), kWidth);
    EXPECT_EQ(frames.height.load(), kHeight);
    EXPECT_EQ(frames.size.load(), kWidth * kHeight * 2);
}

TEST_F(LiveOps, CallbackSetAfterTheRenderReceivesFramesUntilSwitchedOff)
{
    const int handle = StartLive(nullptr);
    // Overlay removal answers 0 once the frame processor is there.
    ASSERT_TRUE(WaitFor([&] { return TP_RemoveAllOverlay(handle) == 0; }));
    Frames frames;
    ASSERT_EQ(TP_SetYUVFrameCallBack(handle, CountFrame, &frames), 0);
    ASSERT_TRUE(WaitFor([&] { return frames.count.load() >= 5; }));
    EXPECT_EQ(frames.size.load(), kWidth * kHeight * 2);

    ASSERT_EQ(TP_SetYUVFrameCallBack(handle, nullptr, nullptr), 0);
    // A picture in progress may still finish its call.
    std::this_thread::sleep_for(200ms);
    const int stopped = frames.count.load();
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(frames.count.load(), stopped);
}

TEST_F(LiveOps, RecordingPlaysBack)
{
    Frames live;
    const int handle = StartLive(&live);
    ASSERT_TRUE(WaitFor([&] { return live.count.load() >= 1; }));
    ASSERT_EQ(TP_StartRecord(handle, "C:\\rec", "cam1.avi"), 0);
    // About three seconds of stream at 25 frames a second.
    const int recordedFrom = live.count.load();
    ASSERT_TRUE(WaitFor([&] { return live.count.load() >= recordedFrom + 75; }));
    EXPECT_EQ(TP_StopRecord(handle), 0);
    EXPECT_EQ(ReadAll(OnDrive("rec/cam1.avi")).size(), 0u);
    const std::string record = OnDrive("rec/cam1.tvx");
    ASSERT_GT(ReadAll(record).size(), 1000u);
    m_sim.Stop();
    EXPECT_EQ(TP_Uninitialize(handle), 0);

    // Played back in a second window; the callback, set after the render,
    // goes straight to the frame processor.
    const int file = TP_Initialize(m_window, 1, kDeviceH264, 2, 0);
    ASSERT_GE(file, 0);
    ASSERT_EQ(TP_OpenLocalFile(file, "C:\\rec\\cam1.tvx"), 0);
    Frames played;
    ASSERT_EQ(TP_SetYUVFrameCallBack(file, CountFrame, &played), 0);
    ASSERT_TRUE(WaitFor([&] { return played.count.load() >= 10; }));
    EXPECT_EQ(played.width.load(), kWidth);
    EXPECT_EQ(played.height.load(), kHeight);
    // A file player records nothing and takes no input.
    EXPECT_EQ(TP_StartRecord(file, "C:\\rec", "again.avi"), E_NOTIMPL);
    const unsigned char bytes[4] = {};
    EXPECT_EQ(TP_InputData(file, bytes, 4), E_NOTIMPL);
}

} // namespace
