// Capture, overlays, recording and the frame callback on a live stream, end to
// end through the TP_ functions: the device simulator sends device H.264 over
// UDP on loopback to a stream player on a virtual window (TvPlayerFixture).
// Pictures are checked by their pixels. The C: drive is a folder of the test.

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

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <windows.h>
#include <wingdi.h>

#include "PlayerFixture.h"
#include "TarvoPlayLib.h"
#include "TestPattern.h"

namespace {

using namespace std::chrono_literals;
using tvdevsim::SimKind;

// A UDP port that was free a moment ago.
int FreeUdpPort()
{
    const int s = socket(AF_INET, SOCK_DGRAM, 0);
    if (s < 0)
        return -1;
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = -1;
    if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    close(s);
    return port;
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

class PlayerOps : public TvPlayerFixture {
protected:
    void SetUp() override
    {
        TvPlayerFixture::SetUp();
        m_drive = TempDir() + "/drive_c";
        ASSERT_EQ(mkdir(m_drive.c_str(), 0755), 0);
        setenv("TARVO_DRIVE_C", m_drive.c_str(), 1);
        m_config = LiveConfig(SimKind::Device40);
    }
    void TearDown() override
    {
        m_sim.Stop();
        TvPlayerFixture::TearDown();
        unsetenv("TARVO_DRIVE_C");
    }

    std::string OnDrive(const std::string& rest) const { return m_drive + "/" + rest; }
    int Width() const { return m_config.stream.width; }
    int Height() const { return m_config.stream.height; }

    int OpenLive() { return TvPlayerFixture::OpenLive(m_config, TvLink::Udp); }

    // Waits until the stream has been rendered: overlay removal answers 0 once
    // the frame processor is there.
    static bool WaitRendered(int handle)
    {
        return WaitFor([&] { return TP_RemoveAllOverlay(handle) == 0; });
    }

    std::string m_drive;
    tvdevsim::SimConfig m_config;
    tvdevsim::CDeviceSimulator m_sim; // a simulator of the test's own
};

TEST_F(PlayerOps, GrabbedPictureShowsTheFrameCounterAndTheRectangle)
{
    const int handle = OpenLive();
    ASSERT_GE(handle, 0);
    ASSERT_TRUE(WaitRendered(handle));
    const POINT lower = {100, 40}, upper = {200, 100};
    const int index = TP_AddRectangleOverlay(handle, &lower, &upper, 0x0000FF, 0, 0);
    EXPECT_GE(index, 1000);
    // The grab takes the next picture through the processor, drawn with the
    // rectangle (a grab that finds no picture within its wait is tried again).
    ASSERT_TRUE(WaitFor([&] { return TP_GrabPicture(handle, "C:\\shots\\live.bmp") == 0; }));
    Bmp bmp;
    bmp.bytes = ReadAll(OnDrive("shots/live.bmp"));
    ASSERT_GE(bmp.bytes.size(), 54u);
    bmp.width = static_cast<int>(Le32(&bmp.bytes[18]));
    bmp.height = static_cast<int>(Le32(&bmp.bytes[22]));
    ASSERT_EQ(bmp.width, Width());
    ASSERT_EQ(bmp.height, Height());
    ASSERT_EQ(bmp.bytes.size(), 54u + static_cast<size_t>(Width()) * Height() * 3);

    // The rectangle's two horizontal edges are red along their whole length
    // (wider than any colour bar of the pattern), the row half-way between not.
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
    const int64_t sent = static_cast<int64_t>(Simulator()->Counters().videoFrames);
    int64_t best = -1;
    int bestMismatches = 1 << 30;
    for (int64_t n = 0; n <= sent; ++n) {
        const int m = PlateMismatches(bmp, n);
        if (m < bestMismatches) {
            bestMismatches = m;
            best = n;
        }
    }
    const tvdevsim::PatternRect plate = tvdevsim::FrameNumberPlate(Width(), Height());
    ASSERT_GE(best, 0);
    EXPECT_LT(bestMismatches, plate.width * plate.height / 50) << "frame " << best;
    EXPECT_LT(bestMismatches, PlateMismatches(bmp, best + 1));
    if (best > 0) {
        EXPECT_LT(bestMismatches, PlateMismatches(bmp, best - 1));
    }
}

// A 24-bit BMP file of one colour (blue, green, red), rows padded to 4 bytes.
std::string WriteSolidBmp(const std::string& path, int width, int height,
                          const unsigned char bgr[3])
{
    const int stride = (width * 3 + 3) / 4 * 4;
    std::vector<unsigned char> file(54 + static_cast<size_t>(stride) * height, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            file[at + i] = static_cast<unsigned char>(v >> (8 * i));
    };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, static_cast<uint32_t>(file.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(width));
    put32(22, static_cast<uint32_t>(height));
    file[26] = 1;
    file[28] = 24;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            std::memcpy(&file[54 + static_cast<size_t>(y) * stride + x * 3], bgr, 3);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));
    return path;
}

TEST_F(PlayerOps, TextIsDrawnWhiteWhenAskedForRed)
{
    const int handle = OpenLive();
    ASSERT_GE(handle, 0);
    ASSERT_TRUE(WaitRendered(handle));
    // A blue bitmap first, so that the text lies on a known ground.
    const unsigned char blue[3] = {255, 0, 0};
    const std::string ground = WriteSolidBmp(TempDir() + "/ground.bmp", 160, 60, blue);
    const int fd = open(ground.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    EXPECT_GE(TP_AddBitmapOverlay(handle, 100, 110, fd, 0x000000, 0, 0), 1000);
    close(fd); // the processor keeps a handle of its own

    LOGFONTA font = {};
    font.lfHeight = -36;
    font.lfWeight = 700;
    std::snprintf(font.lfFaceName, sizeof font.lfFaceName, "%s", "Arial");
    EXPECT_GE(TP_AddTextOverlay(handle, 120, 120, "MMM", 0x0000FF, &font, 0, 0), 1000);
    ASSERT_TRUE(WaitFor([&] { return TP_GrabPicture(handle, "C:\\shots\\text.bmp") == 0; }));
    Bmp bmp;
    bmp.bytes = ReadAll(OnDrive("shots/text.bmp"));
    bmp.width = Width();
    bmp.height = Height();
    ASSERT_EQ(bmp.bytes.size(), 54u + static_cast<size_t>(Width()) * Height() * 3);

    int white = 0, red = 0, groundBlue = 0;
    for (int y = 112; y < 168; ++y)
        for (int x = 102; x < 258; ++x) {
            const unsigned char* p = bmp.Pixel(x, y);
            white += p[0] > 220 && p[1] > 220 && p[2] > 220;
            red += bmp.Red(x, y);
            groundBlue += p[0] > 200 && p[1] < 60 && p[2] < 60;
        }
    EXPECT_GT(white, 100);
    EXPECT_EQ(red, 0);
    EXPECT_GT(groundBlue, 1000);
}

TEST_F(PlayerOps, CallbackSetBeforeTheRenderReceivesFrames)
{
    // A 1080-line picture is coded with 1088 lines: the callback must get the
    // shown picture, not the coded one.
    const struct {
        int width, height;
    } sizes[] = {{Width(), Height()}, {1920, 1080}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height));
        // A player of its own, so that the callback is set before any stream
        // reaches it; then the simulator starts sending.
        const int port = FreeUdpPort();
        ASSERT_GT(port, 0);
        const int handle = TP_Initialize(NewWindow(size.width / 4, size.height / 4), 1,
                                         TvFormatTypeFor(SimKind::Device40), 0, 0);
        ASSERT_GE(handle, 0);
        Frames frames;
        ASSERT_EQ(TP_SetYUVFrameCallBack(handle, CountFrame, &frames), 0);
        ASSERT_EQ(TP_OpenStream(handle, "127.0.0.1", port, 2 /* UDP */, 0), 0);
        tvdevsim::SimConfig config = m_config;
        config.stream.width = size.width;
        config.stream.height = size.height;
        config.transport = tvdevsim::SimTransport::Udp;
        config.address = "127.0.0.1";
        config.port = port;
        m_sim.SetLogHandler([](const std::string&) {});
        ASSERT_TRUE(m_sim.Start(config)) << m_sim.Error();

        ASSERT_TRUE(WaitFor([&] { return frames.count.load() >= 5; }));
        EXPECT_EQ(frames.width.load(), size.width);
        EXPECT_EQ(frames.height.load(), size.height);
        EXPECT_EQ(frames.size.load(), size.width * size.height * 2);
        m_sim.Stop();
        EXPECT_EQ(TP_Uninitialize(handle), 0);
    }
}

TEST_F(PlayerOps, CallbackSetAfterTheRenderReceivesFramesUntilSwitchedOff)
{
    const int handle = OpenLive();
    ASSERT_GE(handle, 0);
    ASSERT_TRUE(WaitRendered(handle));
    Frames frames;
    ASSERT_EQ(TP_SetYUVFrameCallBack(handle, CountFrame, &frames), 0);
    ASSERT_TRUE(WaitFor([&] { return frames.count.load() >= 5; }));
    EXPECT_EQ(frames.size.load(), Width() * Height() * 2);

    // A re-render builds a new frame processor: the callback goes with it.
    const int cut[4] = {0, 0, Width() / 2, Height() / 2};
    ASSERT_EQ(TP_VideoCutControl(handle, TP_CUT_SET, reinterpret_cast<intptr_t>(cut), nullptr), 0);
    ASSERT_TRUE(WaitFor([&] { return frames.width.load() == Width() / 2; }));
    const int afterCut = frames.count.load();
    ASSERT_TRUE(WaitFor([&] { return frames.count.load() >= afterCut + 5; }));
    EXPECT_EQ(frames.height.load(), Height() / 2);

    ASSERT_EQ(TP_SetYUVFrameCallBack(handle, nullptr, nullptr), 0);
    // A picture in progress may still finish its call.
    std::this_thread::sleep_for(200ms);
    const int stopped = frames.count.load();
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(frames.count.load(), stopped);
}

TEST_F(PlayerOps, RecordingPlaysBack)
{
    const int handle = OpenLive();
    ASSERT_GE(handle, 0);
    ASSERT_TRUE(WaitRendered(handle));
    ASSERT_EQ(TP_StartRecord(handle, "C:\\rec", "cam1.avi"), 0);
    // About three seconds of stream at 25 frames a second (the recording
    // takes what arrives, decoded or not).
    const uint64_t from = Simulator()->Counters().videoFrames;
    ASSERT_TRUE(WaitFor([&] { return Simulator()->Counters().videoFrames >= from + 75; }));
    EXPECT_EQ(TP_StopRecord(handle), 0);
    EXPECT_EQ(ReadAll(OnDrive("rec/cam1.avi")).size(), 0u);
    ASSERT_GT(ReadAll(OnDrive("rec/cam1.tvx")).size(), 1000u);
    Simulator()->Stop();

    // Played back in a window of its own; the callback, set after the render,
    // goes straight to the frame processor.
    int result = -1;
    const int file = OpenFile("C:\\rec\\cam1.tvx", &result);
    ASSERT_EQ(result, 0);
    Frames played;
    ASSERT_EQ(TP_SetYUVFrameCallBack(file, CountFrame, &played), 0);
    ASSERT_TRUE(WaitFor([&] { return played.count.load() >= 10; }));
    EXPECT_EQ(played.width.load(), Width());
    EXPECT_EQ(played.height.load(), Height());
    // A file player records nothing and takes no input.
    EXPECT_EQ(TP_StartRecord(file, "C:\\rec", "again.avi"), E_NOTIMPL);
    const unsigned char bytes[4] = {};
    EXPECT_EQ(TP_InputData(file, bytes, 4), E_NOTIMPL);
}

} // namespace
