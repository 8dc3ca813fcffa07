// The frame processor filter in a running graph on the test kit: pictures
// pushed into "Input" come out of "Output" into a recording sink. Overlays of
// every kind land in the delivered pictures and nowhere else; the output size
// is agreed when the output connects and the cut is fixed from then on;
// pictures whose size disagrees with the agreed type, and a frame callback
// that throws, cost only those pictures; the end of the stream follows the
// queued pictures; a Stop while the delivery thread is held downstream
// returns.
#include "IPictureBufferSource.h"
#include "IProcesserColor.h"
#include "IProcesserCut.h"
#include "IProcesserOverlay.h"
#include "TarvoGuids.h"
#include "TestKit.h"
#include "TvPictures.h"
#include "overlay_test_util.h"
#include "processer_test_env.h"

#include "win32/file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <stdexcept>
#include <vector>

namespace {

constexpr LONG kWidth = 352;
constexpr LONG kHeight = 288;
constexpr LONG kPictureBytes = kWidth * 2 * kHeight;
// The pictures' own colour: a luma no overlay below draws with.
constexpr Yuv kGrey{60, 128, 128};

CMediaType Yuy2Type(LONG width, LONG height)
{
    return TvMakeVideoType2(MEDIASUBTYPE_YUY2, width, height, 16, MAKEFOURCC('Y', 'U', 'Y', '2'));
}

// A grey picture of that size in bytes (at least), its first byte `first`.
std::vector<BYTE> GreyPicture(LONG bytes, BYTE first = kGrey.y)
{
    std::vector<BYTE> picture = Yuy2Uniform(kWidth, kHeight, kGrey);
    picture.resize(size_t(bytes), kGrey.y);
    picture[0] = first;
    return picture;
}

// An area of the output in overlay coordinates (x to the right, y upward from
// the bottom edge), half-open.
struct Area {
    LONG x0, y0, x1, y1;
    bool Holds(LONG x, LONG y) const { return x >= x0 && x < x1 && y >= y0 && y < y1; }
};

// Byte offset of pixel (x, y) of an upright (top-down) YUY2 picture, in
// overlay coordinates.
size_t At(LONG x, LONG y)
{
    return size_t(kHeight - 1 - y) * kWidth * 2 + size_t(x) * 2;
}

void Throw(void*, BYTE*, LONG, LONG, LONG)
{
    throw std::runtime_error("the application's callback failed");
}

class ProcesserGraph : public TvHarnessTest {
protected:
    void SetUp() override
    {
        TvHarnessTest::SetUp();
        ASSERT_NO_FATAL_FAILURE(m_env.SetUp("processer-graph"));
        TvHarness& h = Wrap(CLSID_TarvoProcesser, L"processor");
        ASSERT_EQ(h.Result(), S_OK);
        m_cut = Query<IProcesserCut>(h.Filter(), IID_IProcesserCut);
        m_overlay = Query<IProcesserOverlay>(h.Filter(), IID_IProcesserOverlay);
        ASSERT_TRUE(m_cut && m_overlay);
    }
    void TearDown() override
    {
        if (m_overlay)
            m_overlay->Release();
        if (m_cut)
            m_cut->Release();
        m_harness.reset();
        m_env.TearDown();
        TvHarnessTest::TearDown();
    }

    TvHarness& H() { return *m_harness; }
    CTestSink* Sink() { return H().Sink(L"Output"); }
    void ConnectInput(LONG width = kWidth, LONG height = kHeight, LONG bufferBytes = 0)
    {
        ASSERT_EQ(H().ConnectInput(Yuy2Type(width, height), L"Input", 2,
                                   bufferBytes ? bufferBytes : width * 2 * height),
                  S_OK);
    }
    void ConnectOutput() { ASSERT_EQ(H().ConnectOutput(L"Output"), S_OK); }
    void Run()
    {
        ASSERT_EQ(H().Pause(), S_OK);
        ASSERT_EQ(H().Run(), S_OK);
    }
    // Ends the stream: it must follow every picture the filter delivered.
    // The pictures.
    std::vector<TvStreamEvent> SamplesThenEnd()
    {
        EXPECT_EQ(H().PushEndOfStream(), S_OK);
        EXPECT_TRUE(Sink()->WaitForEndOfStream());
        std::vector<TvStreamEvent> samples;
        bool ended = false;
        for (const TvStreamEvent& event : Sink()->Events()) {
            if (event.kind == TvStreamEvent::Kind::EndOfStream) {
                ended = true;
            } else if (event.kind == TvStreamEvent::Kind::Sample) {
                EXPECT_FALSE(ended) << "a picture after the end of the stream";
                samples.push_back(event);
            }
        }
        return samples;
    }

    ProcesserTestEnv m_env;
    IProcesserCut* m_cut = nullptr;
    IProcesserOverlay* m_overlay = nullptr;
};

TEST_F(ProcesserGraph, OverlaysOfEveryKindLandInTheirPlaceInTheDeliveredPicture)
{
    ConnectInput();
    ConnectOutput();
    LOGFONTA font{};
    font.lfHeight = -16;
    std::strcpy(font.lfFaceName, "Arial");
    LONG id = 0;
    // Each item gets a colour of its own (its luma in brackets) and an area of
    // its own; the rest of the picture stays as it came in.
    ASSERT_EQ(m_overlay->AddSysTimeOverlay(0, 255, 255, font, 16, 230, &id), S_OK); // cyan (178)
    ASSERT_EQ(m_overlay->AddTextOverlay("TARVO", 5, 255, 255, 255, font, 16, 130, &id),
              S_OK);                                                               // white (255)
    ASSERT_EQ(m_overlay->AddEllipseOverlay(255, 0, 0, 10, 10, 78, 80, &id), S_OK); // red (76)
    ASSERT_EQ(m_overlay->AddRectangleOverlay(0, 0, 255, 100, 80, 160, 10, &id), S_OK); // blue (29)
    const POINT triangle[3] = {{190, 10}, {250, 10}, {220, 80}};
    ASSERT_EQ(m_overlay->AddPolygonOverlay(255, 0, 255, triangle, 3, &id), S_OK); // magenta (105)
    std::vector<BYTE> green(16 * 16 * 3, 0);
    for (size_t i = 1; i < green.size(); i += 3)
        green[i] = 255; // B G R
    TempFile bmp(MakeBmp(16, 16, green));
    ASSERT_EQ(m_overlay->AddBitmapOverlay(TvHandleFromFd(bmp.Fd()), 290, 30, 0x00FFFFFF, &id),
              S_OK); // green (149)

    Run();
    const std::vector<BYTE> input = GreyPicture(kPictureBytes);
    for (int n = 0; n < 3; ++n) {
        TvTestSample sample;
        sample.bytes = input;
        ASSERT_EQ(H().Push(sample), S_OK);
    }
    const auto samples = SamplesThenEnd();
    ASSERT_EQ(samples.size(), 3u);

    struct Item {
        const char* what;
        BYTE luma;
        Area area;
        int atLeast; // pixels of the item's own colour
    };
    const Item items[] = {
        {"time", 178, {0, 192, kWidth, kHeight}, 20},
        {"text", 255, {0, 96, 176, 192}, 20},
        {"ellipse", 76, {0, 0, 88, 96}, 200},     // about 2 x pi x 35 x pen 2
        {"rectangle", 29, {88, 0, 176, 96}, 200}, // 2 x (60 + 70) x pen 2
        {"polygon", 105, {176, 0, 264, 96}, 150},
        {"bitmap", 149, {264, 0, kWidth, 96}, 256}, // every pixel of 16 x 16
    };
    const Area untouched{176, 96, kWidth, 192};

    for (size_t n = 0; n < samples.size(); ++n) {
        const std::vector<BYTE>& picture = samples[n].bytes;
        ASSERT_EQ(samples[n].length, kPictureBytes);
        ASSERT_EQ(picture.size(), size_t(kPictureBytes));
        for (const Item& item : items) {
            int inside = 0, outside = 0;
            for (LONG y = 0; y < kHeight; ++y)
                for (LONG x = 0; x < kWidth; ++x)
                    if (picture[At(x, y)] == item.luma)
                        ++(item.area.Holds(x, y) ? inside : outside);
            EXPECT_GE(inside, item.atLeast) << item.what << " in picture " << n;
            EXPECT_EQ(outside, 0) << item.what << " in picture " << n;
        }
        int changed = 0;
        for (LONG y = untouched.y0; y < untouched.y1; ++y)
            for (LONG x = untouched.x0; x < untouched.x1; ++x)
                changed += picture[At(x, y)] != input[At(x, y)] ||
                           picture[At(x, y) + 1] != input[At(x, y) + 1];
        EXPECT_EQ(changed, 0) << "picture " << n;
        // Inside the bitmap every pixel is the bitmap's own.
        for (LONG y = 30; y < 46; ++y)
            for (LONG x = 290; x < 306; ++x)
                ASSERT_EQ(picture[At(x, y)], 149) << x << ", " << y;
    }
}

// A frame information packet as the JPEG 2000 decoder sends it: ">>>>", the
// capture time (big-endian seconds at 32, microseconds at 36) and the caption
// (30 bytes at 40).
std::vector<BYTE> InfoPacket(uint32_t seconds, uint32_t micros, const std::string& caption)
{
    std::vector<BYTE> p(128, 0);
    std::memcpy(p.data(), ">>>>", 4);
    for (int i = 0; i < 4; ++i) {
        p[32 + i] = BYTE(seconds >> (24 - 8 * i));
        p[36 + i] = BYTE(micros >> (24 - 8 * i));
    }
    std::memcpy(p.data() + 40, caption.data(), std::min<size_t>(caption.size(), 30));
    return p;
}

std::string LocalTimeText(uint32_t seconds, uint32_t micros)
{
    const time_t t = time_t(seconds);
    struct tm tm {};
    localtime_r(&t, &tm);
    char text[64];
    std::snprintf(text, sizeof(text), "%4d-%02d-%02d %02d:%02d:%02d.%03d", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, int(micros / 1000));
    return text;
}

// A push source of text packets on "Overlay Input", beside the pictures on
// "Input": the packets' caption and time line appear in the pictures that
// follow them, white, in the font and at the places the output size gives
// (width / 40 high, x = width / 30, the time line width / 24 and the caption
// width / 14 below the top); a packet without a caption removes it. The same
// texts added by hand through IProcesserOverlay make the same picture, byte
// for byte.
TEST_F(ProcesserGraph, OverlayInputPacketsDrawTheCaptionAndTimeLine)
{
    constexpr LONG w = 704, h = 576, bytes = w * 2 * h;
    ConnectInput(w, h);
    ConnectOutput();
    CMediaType text;
    text.InitMediaType();
    text.SetType(&MEDIATYPE_Text);
    text.SetSampleSize(128);
    CTestPushSource* packets = CTestPushSource::Create({text});
    ASSERT_NE(packets, nullptr);
    packets->UseOwnThread(false);
    IPin* out = packets->GetPin(0);
    const HRESULT connected = out->Connect(H().Pin(L"Overlay Input"), &text);
    auto cleanUp = [&] {
        packets->Stop();
        out->Disconnect();
        H().Pin(L"Overlay Input")->Disconnect();
        packets->Release();
    };
    if (connected != S_OK) {
        cleanUp();
        FAIL() << "Overlay Input refused the text source: " << std::hex << connected;
    }
    Run();
    ASSERT_EQ(packets->Pause(), S_OK);
    ASSERT_EQ(packets->Run(0), S_OK);

    const std::vector<BYTE> grey = Yuy2Uniform(w, h, kGrey);
    auto picture = [&] {
        TvTestSample sample;
        sample.bytes = grey;
        EXPECT_EQ(H().Push(sample), S_OK);
    };
    const uint32_t seconds = 1700000000, micros = 123456;
    picture(); // before any packet: nothing drawn
    EXPECT_EQ(packets->Deliver(InfoPacket(seconds, micros, "NORTH GATE 7")), S_OK);
    picture();
    EXPECT_EQ(packets->Deliver(InfoPacket(seconds + 61, 654321, "")), S_OK);
    picture();
    // A packet of another length is passed over.
    std::vector<BYTE> longer = InfoPacket(seconds + 3600, 0, "IGNORED");
    longer.push_back(0);
    EXPECT_EQ(packets->Deliver(longer), S_OK);
    picture();

    // The first packet's texts by hand, in the pin's order: caption, time line.
    LOGFONTA font{};
    font.lfHeight = -(w / 40);
    std::strcpy(font.lfFaceName, "Arial");
    const LONG x = w / 30, captionY = h - w / 14, timeY = h - w / 24;
    const std::string caption = "NORTH GATE 7", time = LocalTimeText(seconds, micros);
    EXPECT_EQ(m_overlay->RemoveOverlay(0), S_OK);
    EXPECT_EQ(m_overlay->RemoveOverlay(1), S_OK);
    LONG id = 0;
    EXPECT_EQ(m_overlay->AddTextOverlayEx(&id, 0, 0, 0, 255, 255, 255, x, captionY, &font,
                                          LONG(caption.size()), caption.c_str(), 0, nullptr),
              S_OK);
    id = 1;
    EXPECT_EQ(m_overlay->AddTextOverlayEx(&id, 0, 0, 0, 255, 255, 255, x, timeY, &font,
                                          LONG(time.size()), time.c_str(), 0, nullptr),
              S_OK);
    picture();

    const auto samples = SamplesThenEnd();
    cleanUp();
    ASSERT_EQ(samples.size(), 5u);
    for (const TvStreamEvent& e : samples)
        ASSERT_EQ(e.bytes.size(), size_t(bytes));
    // White pixels (Y = 255) in the caption's band, the time line's band and
    // anywhere else; y counts upward from the bottom row.
    struct Count {
        int caption = 0, time = 0, elsewhere = 0;
    };
    auto whites = [&](const std::vector<BYTE>& pic) {
        Count c;
        for (LONG y = 0; y < h; ++y)
            for (LONG px = 0; px < w; ++px) {
                if (pic[size_t(h - 1 - y) * w * 2 + size_t(px) * 2] != 255)
                    continue;
                if (px >= x && y >= captionY && y < timeY)
                    ++c.caption;
                else if (px >= x && y >= timeY)
                    ++c.time;
                else
                    ++c.elsewhere;
            }
        return c;
    };
    const Count before = whites(samples[0].bytes), first = whites(samples[1].bytes),
                second = whites(samples[2].bytes), ignored = whites(samples[3].bytes);
    EXPECT_EQ(samples[0].bytes, grey);
    EXPECT_EQ(before.caption + before.time + before.elsewhere, 0);
    EXPECT_GE(first.caption, 50);
    EXPECT_GE(first.time, 50);
    EXPECT_EQ(first.elsewhere, 0);
    EXPECT_EQ(second.caption, 0); // the empty caption removed it
    EXPECT_GE(second.time, 50);
    EXPECT_EQ(second.elsewhere, 0);
    EXPECT_NE(samples[2].bytes, samples[1].bytes); // another time
    EXPECT_EQ(samples[3].bytes, samples[2].bytes);
    EXPECT_EQ(ignored.caption, 0);
    EXPECT_EQ(samples[4].bytes, samples[1].bytes);
}

TEST_F(ProcesserGraph, TheCutIsAgreedWithTheOutputAndFixedWhileItIsConnected)
{
    // Cut once the input size is known: x = 101 is made even, and the output
    // offers the cut size.
    ConnectInput(704, 576);
    ASSERT_EQ(m_cut->SetCutRect(101, 10, 200, 100), S_OK);
    ConnectOutput();
    AM_MEDIA_TYPE connected{};
    ASSERT_EQ(H().Pin(L"Output", PINDIR_OUTPUT)->ConnectionMediaType(&connected), S_OK);
    ASSERT_EQ(connected.formattype, FORMAT_VideoInfo2);
    const auto* vih = reinterpret_cast<const VIDEOINFOHEADER2*>(connected.pbFormat);
    EXPECT_EQ(vih->bmiHeader.biWidth, 200);
    EXPECT_EQ(vih->bmiHeader.biHeight, 100);
    FreeMediaType(connected);

    EXPECT_EQ(m_cut->SetCutRect(0, 0, 300, 300), E_FAIL);
    EXPECT_EQ(m_cut->SetCutMode(352, 288, 3), E_FAIL);
    LONG x = -1, y = -1, w = -1, h = -1;
    ASSERT_EQ(m_cut->GetCutRect(&x, &y, &w, &h), S_OK);
    EXPECT_EQ(x, 100);
    EXPECT_EQ(y, 10);
    EXPECT_EQ(w, 200);
    EXPECT_EQ(h, 100);

    // Input rows hold their row number, the bytes of a row their column: the
    // output is rows 10 to 109 (from the top), bytes 200 to 599 of each.
    std::vector<BYTE> input(704 * 2 * 576);
    for (size_t i = 0; i < input.size(); ++i)
        input[i] = BYTE(((i / (704 * 2)) * 7 + (i % (704 * 2))) & 0xFF);
    Run();
    TvTestSample sample;
    sample.bytes = input;
    ASSERT_EQ(H().Push(sample), S_OK);
    const auto samples = SamplesThenEnd();
    ASSERT_EQ(samples.size(), 1u);
    ASSERT_EQ(samples[0].length, 200 * 2 * 100);
    std::vector<BYTE> expected;
    for (size_t row = 10; row < 110; ++row)
        expected.insert(expected.end(), input.begin() + row * 704 * 2 + 200,
                        input.begin() + row * 704 * 2 + 600);
    EXPECT_EQ(samples[0].bytes, expected);
}

TEST_F(ProcesserGraph, PicturesOfTheWrongSizeAndAThrowingCallbackCostOnlyThemselves)
{
    ConnectInput(kWidth, kHeight, kPictureBytes + 64);
    ConnectOutput();
    ASSERT_EQ(m_cut->SetFrameCallback(Throw, nullptr), S_OK);
    // A picture longer than the agreed size is dropped; a shorter one goes
    // out as it came (the whole picture is copied as it is); the callback's
    // exception never leaves the filter.
    Run();
    for (const auto& [bytes, first] :
         {std::pair{kPictureBytes + 64, 1}, {kPictureBytes - 2, 2}, {kPictureBytes, 3}}) {
        TvTestSample sample;
        sample.bytes = GreyPicture(bytes, BYTE(first));
        ASSERT_EQ(H().Push(sample), S_OK);
    }
    const auto samples = SamplesThenEnd();
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_EQ(samples[0].length, kPictureBytes - 2);
    EXPECT_EQ(samples[0].bytes.at(0), 2);
    EXPECT_EQ(samples[1].length, kPictureBytes);
    EXPECT_EQ(samples[1].bytes.at(0), 3);
}

TEST_F(ProcesserGraph, CutModeSixOnA720pInputDeliversNothing)
{
    ASSERT_EQ(m_cut->SetCutMode(1600, 1200, 6), S_OK);
    ConnectInput(1280, 720);
    ConnectOutput();
    Run();
    TvTestSample sample;
    sample.length = 1280 * 2 * 720;
    ASSERT_EQ(H().Push(sample), S_OK);
    ASSERT_EQ(H().Push(sample), S_OK);
    EXPECT_TRUE(SamplesThenEnd().empty());
    LONGLONG pictures = 0, bytes = 0;
    ASSERT_EQ(m_cut->GetProcessStatistics(&pictures, &bytes), S_OK);
    EXPECT_EQ(pictures, 2); // received, and refused by the copy
}

TEST_F(ProcesserGraph, StopReturnsWhileTheDeliveryThreadIsHeldDownstream)
{
    ConnectInput();
    ConnectOutput();
    Sink()->SetBlockInReceive(true);
    Run();
    TvTestSample sample;
    sample.length = kPictureBytes;
    for (int n = 0; n < 3; ++n)
        ASSERT_EQ(H().Push(sample), S_OK); // queued: the delivery thread blocks
    ASSERT_TRUE(Sink()->WaitUntilBlocked());
    // The sink stops first and lets the delivery go; the processor's Stop
    // waits for it and drops what is still queued.
    ASSERT_EQ(H().Stop(), S_OK);
    LONGLONG pictures = -1, bytes = -1;
    ASSERT_EQ(m_cut->GetProcessStatistics(&pictures, &bytes), S_OK);
    EXPECT_EQ(pictures, 0);

    // It streams again from the start.
    Sink()->SetBlockInReceive(false);
    Sink()->ClearEvents();
    Run();
    ASSERT_EQ(H().Push(sample), S_OK);
    EXPECT_EQ(SamplesThenEnd().size(), 1u);
}

} // namespace

namespace {

// The frame callback's record of the buffer each picture was processed in.
void RecordBuffer(void* user, BYTE* frame, LONG, LONG, LONG)
{
    static_cast<std::vector<BYTE*>*>(user)->push_back(frame);
}

// A picture whose every byte differs from its neighbours'.
std::vector<BYTE> PatternPicture()
{
    std::vector<BYTE> picture(static_cast<size_t>(kPictureBytes));
    for (size_t i = 0; i < picture.size(); ++i)
        picture[i] = BYTE((i * 7 + i / (kWidth * 2) * 13) & 0xFF);
    return picture;
}

} // namespace

// A picture written into a buffer the filter lent comes out byte for byte as
// the same picture received the usual way (copied), with neutral colour and
// with colour and an overlay on; a cut that is not the whole input lends
// nothing.
TEST_F(ProcesserGraph, APictureInALentBufferComesOutAsTheSamePictureCopied)
{
    IPictureBufferSource* lender =
        Query<IPictureBufferSource>(H().Filter(), IID_IPictureBufferSource);
    IProcesserColor* color = Query<IProcesserColor>(H().Filter(), IID_IProcesserColor);
    ASSERT_TRUE(lender && color);
    IMediaSample* none = reinterpret_cast<IMediaSample*>(1);
    EXPECT_EQ(lender->GetPictureBuffer(kWidth, kHeight, &none), S_FALSE); // no output yet
    EXPECT_EQ(none, nullptr);
    ConnectInput();
    ConnectOutput();
    Run();
    IMemInputPin* input = Query<IMemInputPin>(H().Pin(L"Input"), IID_IMemInputPin);
    ASSERT_TRUE(input);
    std::vector<BYTE*> processedIn;
    ASSERT_EQ(m_cut->SetFrameCallback(RecordBuffer, &processedIn), S_OK);
    const std::vector<BYTE> picture = PatternPicture();
    for (const bool adjusted : {false, true}) {
        SCOPED_TRACE(adjusted ? "colour and an overlay" : "neutral");
        if (adjusted) {
            ASSERT_EQ(color->SetBrightness(150), S_OK);
            ASSERT_EQ(color->SetContrast(20), S_OK);
            LONG id = 0;
            ASSERT_EQ(m_overlay->AddRectangleOverlay(255, 0, 0, 20, 20, 120, 90, &id), S_OK);
        }
        EXPECT_EQ(lender->GetPictureBuffer(kWidth, kHeight + 2, &none), S_FALSE);
        ASSERT_EQ(H().Push(picture), S_OK);
        IMediaSample* lent = nullptr;
        ASSERT_EQ(lender->GetPictureBuffer(kWidth, kHeight, &lent), S_OK);
        ASSERT_TRUE(lent);
        BYTE* buffer = nullptr;
        ASSERT_EQ(lent->GetPointer(&buffer), S_OK);
        ASSERT_GE(lent->GetSize(), kPictureBytes);
        std::memcpy(buffer, picture.data(), picture.size());
        lent->SetActualDataLength(kPictureBytes);
        EXPECT_EQ(input->Receive(lent), S_OK);
        lent->Release();
        // Processed where it was written, not copied into another buffer.
        ASSERT_FALSE(processedIn.empty());
        EXPECT_EQ(processedIn.back(), buffer);
        ASSERT_TRUE(H().WaitForSamples(2));
        const auto copied = H().Pull(), inPlace = H().Pull();
        ASSERT_TRUE(copied && inPlace);
        ASSERT_EQ(copied->bytes.size(), picture.size());
        EXPECT_EQ(inPlace->bytes, copied->bytes);
        EXPECT_EQ(copied->bytes == picture, !adjusted);
    }
    EXPECT_EQ(m_cut->SetFrameCallback(nullptr, nullptr), S_OK);
    input->Release();
    color->Release();
    lender->Release();
}

TEST_F(ProcesserGraph, ACropLendsNoBuffer)
{
    IPictureBufferSource* lender =
        Query<IPictureBufferSource>(H().Filter(), IID_IPictureBufferSource);
    ASSERT_TRUE(lender);
    ConnectInput(704, 576);
    ASSERT_EQ(m_cut->SetCutRect(0, 0, 352, 288), S_OK);
    ConnectOutput();
    Run();
    IMediaSample* lent = nullptr;
    EXPECT_EQ(lender->GetPictureBuffer(704, 576, &lent), S_FALSE);
    EXPECT_EQ(lent, nullptr);
    EXPECT_EQ(lender->GetPictureBuffer(352, 288, &lent), S_FALSE);
    lender->Release();
}
