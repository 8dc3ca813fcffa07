// The H.264 decoder filter on the test kit with a scripted decoder library:
// sample sizes, the draining loop and its bounds, the skip flag, fields, size
// changes, line doubling, media types and the private interface by its slots.
#include "CH264DecoderProp.h"
#include "H264DecoderInputPin.h"
#include "H264FilterRig.h"
#include "IH264DecoderControl.h"
#include "CTestLendingSink.h"
#include "TarvoGuids.h"

#include <dvdmedia.h>
#include <vfwmsgs.h>

#include <gtest/gtest.h>

#include <deque>
#include <mutex>

using namespace h264test;

namespace {

// One answer of the scripted decoder.
struct Answer {
    int32_t result = -1;
    uint32_t structure = 0;
    bool intra = true;
    uint32_t width = 352;
    uint32_t height = 288;
    uint8_t luma = 0x50; // row r of the picture holds luma + r
};

struct Call {
    bool hasData;
    uint32_t length;
};

// The decoder library the filter calls, scripted by the test. Each call takes
// the next answer; with none left it answers `idle`.
struct ScriptedDecoder {
    std::mutex lock;
    std::deque<Answer> answers;
    int32_t idle = -1;
    bool failCreate = false;
    std::vector<Call> calls;
    int creates = 0, destroys = 0;
    std::vector<uint8_t> y, u, v;
};
ScriptedDecoder* g_decoder = nullptr;

HI264_HANDLE ScriptCreate(const Hi264DecAttr* attr)
{
    std::lock_guard<std::mutex> g(g_decoder->lock);
    ++g_decoder->creates;
    EXPECT_EQ(attr->maxWidthMbs, 45u);
    EXPECT_EQ(attr->maxHeightMbs, 36u);
    EXPECT_EQ(attr->pictureBuffers, 3u);
    return g_decoder->failCreate ? nullptr : g_decoder;
}

int32_t ScriptFrame(HI264_HANDLE handle, const uint8_t* data, uint32_t length, uint64_t,
                    Hi264DecPicture* pic, uint32_t)
{
    ScriptedDecoder* d = static_cast<ScriptedDecoder*>(handle);
    std::lock_guard<std::mutex> g(d->lock);
    d->calls.push_back({data != nullptr, length});
    if (d->answers.empty())
        return d->idle;
    const Answer a = d->answers.front();
    d->answers.pop_front();
    if (a.result != 0)
        return a.result;
    const uint32_t cw = (a.width + 1) / 2, ch = (a.height + 1) / 2;
    d->y.assign(static_cast<size_t>(a.width) * a.height, 0);
    for (uint32_t r = 0; r < a.height; ++r)
        std::fill_n(d->y.begin() + r * a.width, a.width, static_cast<uint8_t>(a.luma + r));
    d->u.assign(static_cast<size_t>(cw) * ch, 0x70);
    d->v.assign(d->u.size(), 0x90);
    *pic = Hi264DecPicture{};
    pic->y = d->y.data();
    pic->u = d->u.data();
    pic->v = d->v.data();
    pic->width = a.width;
    pic->height = a.height;
    pic->yStride = a.width;
    pic->uvStride = cw;
    pic->structure = a.structure;
    pic->notIntra = a.intra ? 0 : 1;
    return 0;
}

void ScriptDestroy(HI264_HANDLE handle)
{
    ScriptedDecoder* d = static_cast<ScriptedDecoder*>(handle);
    std::lock_guard<std::mutex> g(d->lock);
    ++d->destroys;
}

const H264DecoderLibrary kScripted = {ScriptCreate, ScriptFrame, ScriptDestroy};

Answer Picture(bool intra = true, uint32_t width = 352, uint32_t height = 288)
{
    Answer a;
    a.result = 0;
    a.intra = intra;
    a.width = width;
    a.height = height;
    return a;
}

Answer Field(uint32_t structure, uint32_t width = 352, uint32_t fieldHeight = 144)
{
    Answer a = Picture(true, width, fieldHeight);
    a.structure = structure;
    return a;
}

Answer Result(int32_t r)
{
    Answer a;
    a.result = r;
    return a;
}

class H264DecoderFilterTest : public TvLeakCheck {
protected:
    void SetUp() override
    {
        TvLeakCheck::SetUp();
        g_decoder = &m_decoder;
    }
    void TearDown() override
    {
        m_rig.reset();
        g_decoder = nullptr;
        TvLeakCheck::TearDown();
    }
    H264FilterRig& Rig(const CMediaType& type = DeviceH264Type(352, 288))
    {
        m_rig = std::make_unique<H264FilterRig>(kScripted, type);
        return *m_rig;
    }
    void Script(std::initializer_list<Answer> answers)
    {
        std::lock_guard<std::mutex> g(m_decoder.lock);
        m_decoder.answers.insert(m_decoder.answers.end(), answers);
    }
    std::vector<Call> Calls()
    {
        std::lock_guard<std::mutex> g(m_decoder.lock);
        return m_decoder.calls;
    }

    ScriptedDecoder m_decoder;
    std::unique_ptr<H264FilterRig> m_rig;
};

std::vector<BYTE> SomeBytes(size_t n)
{
    return std::vector<BYTE>(n, 0x42);
}

} // namespace

TEST_F(H264DecoderFilterTest, SampleSizesDecideWhetherTheDecoderIsCalled)
{
    struct Case {
        LONG length;
        size_t calls;
    } cases[] = {{0, 0}, {500001, 0}, {500000, 1}, {1, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        m_decoder.calls.clear();
        H264FilterRig& rig = Rig();
        rig.Connect();
        rig.Run({H264FilterRig::Length(c.length)});
        EXPECT_EQ(rig.Results(), std::vector<HRESULT>{S_OK});
        const auto calls = Calls();
        ASSERT_EQ(calls.size(), c.calls);
        if (c.calls) {
            EXPECT_EQ(calls[0].length, static_cast<uint32_t>(c.length));
        }
        EXPECT_EQ(rig.Sink()->SampleCount(), 0u);
    }
}

// Two pictures from one sample: the second comes from the call without data.
TEST_F(H264DecoderFilterTest, DrainsEveryPictureOfASample)
{
    H264FilterRig& rig = Rig();
    rig.Connect();
    Script({Picture(), Picture(false), Result(-1)});
    rig.Run({H264FilterRig::Bytes(SomeBytes(100))});
    const auto calls = Calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_TRUE(calls[0].hasData);
    EXPECT_EQ(calls[0].length, 100u);
    EXPECT_FALSE(calls[1].hasData);
    EXPECT_EQ(calls[1].length, 0u);
    EXPECT_FALSE(calls[2].hasData);
    const auto samples = rig.Sink()->Samples();
    ASSERT_EQ(samples.size(), 2u);
    for (const auto& s : samples) {
        EXPECT_EQ(s.length, 352 * 288 * 2);
        EXPECT_EQ(s.timeResult, VFW_E_SAMPLE_TIME_NOT_SET);
        EXPECT_FALSE(s.syncPoint);
        EXPECT_FALSE(s.discontinuity);
        EXPECT_FALSE(s.typeChanged);
        // Y U Y V of row 0: luma 0x50, chroma 0x70 / 0x90.
        ASSERT_EQ(s.bytes.size(), size_t(s.length));
        EXPECT_EQ(std::vector<BYTE>(s.bytes.begin(), s.bytes.begin() + 16),
                  (std::vector<BYTE>{0x50, 0x70, 0x50, 0x90, 0x50, 0x70, 0x50, 0x90, 0x50, 0x70,
                                     0x50, 0x90, 0x50, 0x70, 0x50, 0x90}));
    }
}

// Results other than 0, -1 and -2 repeat the call, but only so often: a decoder
// that never moves on costs the sample, not the stream.
TEST_F(H264DecoderFilterTest, BoundsADecoderThatNeverAnswers)
{
    struct Case {
        int32_t idle;
        size_t callsPerSample;
    } cases[] = {{-1, 1},
                 {-2, 1},
                 {-3, H264DecoderInputPin::kMaxRetries},
                 {7, H264DecoderInputPin::kMaxRetries}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.idle);
        m_decoder.calls.clear();
        m_decoder.idle = c.idle;
        H264FilterRig& rig = Rig();
        rig.Connect();
        rig.Run({H264FilterRig::Bytes(SomeBytes(10)), H264FilterRig::Bytes(SomeBytes(20))});
        EXPECT_EQ(rig.Results(), (std::vector<HRESULT>{S_OK, S_OK}));
        const auto calls = Calls();
        ASSERT_EQ(calls.size(), 2 * c.callsPerSample);
        EXPECT_EQ(calls.back().length, 20u); // repeated with the same data
    }
    // A decoder handing out pictures without end stops at the per-sample bound.
    m_decoder.calls.clear();
    m_decoder.idle = -1;
    for (int i = 0; i < 100; ++i)
        Script({Picture()});
    H264FilterRig& rig = Rig();
    rig.Connect();
    rig.Run({H264FilterRig::Bytes(SomeBytes(10))});
    EXPECT_EQ(rig.Sink()->SampleCount(), size_t(H264DecoderInputPin::kMaxPicturesPerSample));
}

// Nothing goes out before the first intra-coded picture after connection, nor
// after ResetDecodeStart until the next one.
TEST_F(H264DecoderFilterTest, DeliversFromTheFirstIntraPicture)
{
    H264FilterRig& rig = Rig();
    rig.Connect();
    Script({Picture(false), Result(-1), Picture(false), Result(-1), Picture(true), Result(-1),
            Picture(false), Result(-1)});
    std::vector<TvTestSample> four(4, H264FilterRig::Bytes(SomeBytes(8)));
    rig.Run(four);
    EXPECT_EQ(rig.Sink()->SampleCount(), 2u);

    IH264DecoderControl* control = nullptr;
    ASSERT_EQ(
        rig.Filter()->QueryInterface(IID_IH264DecoderControl, reinterpret_cast<void**>(&control)),
        S_OK);
    EXPECT_EQ(control->ResetDecodeStart(), S_OK);
    control->Release();
    rig.Sink()->ClearEvents();
    Script({Picture(false), Result(-1), Picture(true), Result(-1), Picture(false), Result(-1)});
    rig.Run(std::vector<TvTestSample>(3, H264FilterRig::Bytes(SomeBytes(8))));
    EXPECT_EQ(rig.Sink()->SampleCount(), 2u);
}

// A top field alone gives nothing; the bottom field after it gives one frame
// of twice the field height, built by the deinterlacer.
TEST_F(H264DecoderFilterTest, FieldsBecomeOneFrame)
{
    H264FilterRig& rig = Rig();
    rig.Connect();
    Script({Field(1), Result(-1)});
    rig.Run({H264FilterRig::Bytes(SomeBytes(8))});
    EXPECT_EQ(rig.Sink()->SampleCount(), 0u);
    Script({Field(2), Result(-1)});
    rig.Sink()->SetKeepBytes(352 * 288 * 2);
    rig.Run({H264FilterRig::Bytes(SomeBytes(8))});
    const auto samples = rig.Sink()->Samples();
    ASSERT_EQ(samples.size(), 1u);
    EXPECT_EQ(samples[0].length, 352 * 288 * 2);
    EXPECT_FALSE(samples[0].typeChanged);
    // Even rows carry the top field: row 2i has luma 0x50 + i (rows 0 and 1: row 0).
    const auto& b = samples[0].bytes;
    for (int r : {0, 1, 2, 4, 100, 284})
        EXPECT_EQ(b[static_cast<size_t>(r) * 704], r < 2 ? 0x50 : 0x50 + r / 2) << r;
}

// A deinterlaced frame larger than the 2 MiB staging buffer fails Receive with
// -1 before anything is written (the source stops on it); the next run goes on.
TEST_F(H264DecoderFilterTest, RefusesAFrameBeyondTheStagingBuffer)
{
    H264FilterRig& rig = Rig();
    rig.Connect();
    Script(
        {Field(1, 1024, 600), Result(-1), Field(2, 1024, 600)}); // no draining call after a failure
    rig.Run(std::vector<TvTestSample>(2, H264FilterRig::Bytes(SomeBytes(8))), false);
    EXPECT_EQ(rig.Results(), (std::vector<HRESULT>{S_OK, static_cast<HRESULT>(-1)}));
    EXPECT_EQ(rig.Sink()->SampleCount(), 0u);
    Script({Picture(), Result(-1)});
    rig.Run({H264FilterRig::Bytes(SomeBytes(8))});
    EXPECT_EQ(rig.Sink()->SampleCount(), 1u);
}

// A picture of another size goes out with a new type on the sample (once),
// the buffer growing when it must; it is never written past the sample.
TEST_F(H264DecoderFilterTest, NewPictureSizeBringsANewType)
{
    H264FilterRig& rig = Rig();
    rig.Connect();
    Script({Picture(), Result(-1), Picture(true, 1920, 1080), Result(-1),
            Picture(false, 1920, 1080), Result(-1)});
    rig.Run(std::vector<TvTestSample>(3, H264FilterRig::Bytes(SomeBytes(8))));
    const auto samples = rig.Sink()->Samples();
    ASSERT_EQ(samples.size(), 3u);
    EXPECT_FALSE(samples[0].typeChanged);
    EXPECT_EQ(samples[0].length, 352 * 288 * 2);
    ASSERT_TRUE(samples[1].typeChanged);
    EXPECT_EQ(samples[1].length, 1920 * 1080 * 2);
    const auto* vih = reinterpret_cast<const VIDEOINFOHEADER2*>(samples[1].type.Format());
    ASSERT_NE(vih, nullptr);
    EXPECT_EQ(vih->bmiHeader.biWidth, 1920);
    EXPECT_EQ(vih->bmiHeader.biHeight, 1080);
    EXPECT_FALSE(samples[2].typeChanged);
    EXPECT_EQ(samples[2].length, 1920 * 1080 * 2);
    // The filter's own type follows.
    CMediaType mt;
    ASSERT_EQ(static_cast<CBasePin*>(rig.Filter()->GetPin(1))->GetMediaType(0, &mt), S_OK);
    EXPECT_EQ(reinterpret_cast<const VIDEOINFOHEADER2*>(mt.Format())->bmiHeader.biWidth, 1920);

    // A sink that refuses the new size gets nothing of that size.
    rig.Sink()->ClearEvents();
    rig.Sink()->SetAcceptFunction([](const CMediaType* t) {
        const auto* v = reinterpret_cast<const VIDEOINFOHEADER2*>(t->Format());
        return v && v->bmiHeader.biWidth == 1920 ? S_OK : S_FALSE;
    });
    Script({Picture(), Result(-1), Picture(true, 1920, 1080), Result(-1)});
    rig.Run(std::vector<TvTestSample>(2, H264FilterRig::Bytes(SomeBytes(8))));
    ASSERT_EQ(rig.Sink()->SampleCount(), 1u);
    EXPECT_EQ(rig.Sink()->Samples()[0].length, 1920 * 1080 * 2);
}

// An upstream VIDEOINFOHEADER2 marked interlaced: frame pictures are
// line-doubled from their upper half.
TEST_F(H264DecoderFilterTest, InterlacedUpstreamDoublesLines)
{
    CMediaType type =
        TvMakeVideoType2(MEDIASUBTYPE_TarvoH264, 352, 288, 24, MAKEFOURCC('H', '2', '6', '4'));
    reinterpret_cast<VIDEOINFOHEADER2*>(type.Format())->dwInterlaceFlags = AMINTERLACE_IsInterlaced;
    H264FilterRig& rig = Rig(type);
    rig.Connect();
    rig.Sink()->SetKeepBytes(352 * 288 * 2);
    Script({Picture(), Result(-1)});
    rig.Run({H264FilterRig::Bytes(SomeBytes(8))});
    const auto samples = rig.Sink()->Samples();
    ASSERT_EQ(samples.size(), 1u);
    for (int r : {0, 1, 2, 3, 200, 201, 287})
        EXPECT_EQ(samples[0].bytes[static_cast<size_t>(r) * 704], 0x50 + r / 2) << r;
}

TEST_F(H264DecoderFilterTest, ADecoderThatDoesNotOpenRefusesTheConnection)
{
    m_decoder.failCreate = true;
    H264FilterRig& rig = Rig();
    EXPECT_EQ(rig.ConnectInput(), E_FAIL);
    EXPECT_FALSE(static_cast<CBasePin*>(rig.Filter()->GetPin(0))->IsConnected());
    m_decoder.failCreate = false;
    EXPECT_EQ(rig.ConnectInput(), S_OK);
}

TEST_F(H264DecoderFilterTest, OutputTypeAndItsPositions)
{
    H264FilterRig& rig = Rig();
    auto* out = static_cast<CBasePin*>(rig.Filter()->GetPin(1));
    CMediaType mt;
    EXPECT_EQ(out->GetMediaType(1, &mt), VFW_S_NO_MORE_ITEMS);
    ASSERT_EQ(out->GetMediaType(0, &mt), S_OK);
    EXPECT_EQ(*mt.Type(), MEDIATYPE_Video);
    EXPECT_EQ(*mt.Subtype(), MEDIASUBTYPE_YUY2);
    EXPECT_EQ(*mt.FormatType(), FORMAT_VideoInfo2);
    ASSERT_EQ(mt.FormatLength(), 112u);
    const auto* vih = reinterpret_cast<const VIDEOINFOHEADER2*>(mt.Format());
    EXPECT_EQ(vih->rcSource.right, 352);
    EXPECT_EQ(vih->rcTarget.bottom, 288);
    EXPECT_EQ(vih->AvgTimePerFrame, 400000);
    EXPECT_EQ(vih->dwInterlaceFlags, 0x61u);
    EXPECT_EQ(vih->dwPictAspectRatioX, 4u);
    EXPECT_EQ(vih->dwPictAspectRatioY, 3u);
    EXPECT_EQ(vih->bmiHeader.biSize, 40u);
    EXPECT_EQ(vih->bmiHeader.biWidth, 352);
    EXPECT_EQ(vih->bmiHeader.biHeight, 288);
    EXPECT_EQ(vih->bmiHeader.biBitCount, 16);
    EXPECT_EQ(vih->bmiHeader.biCompression, MAKEFOURCC('Y', 'U', 'Y', '2'));
    EXPECT_EQ(vih->bmiHeader.biSizeImage, 352u * 288 * 2);
    // The output cannot connect before the input.
    EXPECT_EQ(rig.ConnectOutput() == S_OK, false);
}

// IH264DecoderControl through the raw vtable: slot 4 normalises the size the
// output type then shows, slot 5 restarts at an intra picture, slot 6 closes
// the decoder (the next sample opens a new one), slots 3 and 7 only store.
TEST_F(H264DecoderFilterTest, ControlSlots)
{
    H264FilterRig& rig = Rig();
    IH264DecoderControl* control = nullptr;
    ASSERT_EQ(
        rig.Filter()->QueryInterface(IID_IH264DecoderControl, reinterpret_cast<void**>(&control)),
        S_OK);
    void** vtable = *reinterpret_cast<void***>(control);
    using Fn0 = HRESULT (*)(void*);
    using Fn1 = HRESULT (*)(void*, LONG);
    using Fn2 = HRESULT (*)(void*, LONG, LONG);
    EXPECT_EQ(reinterpret_cast<Fn2>(vtable[3])(control, 5, 6), S_OK);
    struct Size {
        LONG w, h, outW, outH;
    } sizes[] = {{704, 288, 704, 576}, {704, 240, 704, 480}, {352, 144, 352, 288},
                 {352, 576, 352, 288}, {720, 576, 720, 576}, {321, 149, 321, 298},
                 {320, 149, 320, 149}, {399, 501, 399, 250}, {0x10000 + 704, 288, 704, 576}};
    for (const Size& s : sizes) {
        EXPECT_EQ(reinterpret_cast<Fn2>(vtable[4])(control, s.w, s.h), S_OK);
        CMediaType mt;
        static_cast<CBasePin*>(rig.Filter()->GetPin(1))->GetMediaType(0, &mt);
        const auto* vih = reinterpret_cast<const VIDEOINFOHEADER2*>(mt.Format());
        EXPECT_EQ(vih->bmiHeader.biWidth, s.outW) << s.w << "x" << s.h;
        EXPECT_EQ(vih->bmiHeader.biHeight, s.outH) << s.w << "x" << s.h;
    }
    EXPECT_EQ(reinterpret_cast<Fn1>(vtable[7])(control, 9), S_OK);

    rig.Connect();
    EXPECT_EQ(m_decoder.creates, 1);
    Script({Picture(true), Result(-1), Picture(false), Result(-1)});
    rig.Run(std::vector<TvTestSample>(1, H264FilterRig::Bytes(SomeBytes(8))));
    EXPECT_EQ(rig.Sink()->SampleCount(), 1u);
    EXPECT_EQ(reinterpret_cast<Fn0>(vtable[5])(control), S_OK); // ResetDecodeStart
    rig.Run(std::vector<TvTestSample>(1, H264FilterRig::Bytes(SomeBytes(8))));
    EXPECT_EQ(rig.Sink()->SampleCount(), 1u);
    EXPECT_EQ(reinterpret_cast<Fn0>(vtable[6])(control), S_OK); // ReleaseDecoder
    EXPECT_EQ(m_decoder.destroys, 1);
    Script({Picture(true), Result(-1)});
    rig.Run(std::vector<TvTestSample>(1, H264FilterRig::Bytes(SomeBytes(8))));
    EXPECT_EQ(m_decoder.creates, 2);
    EXPECT_EQ(rig.Sink()->SampleCount(), 2u);
    control->Release();
}

// The module: registered under its CLSID with its setup data, two pins named
// as they must be, the control interface, and the page's class.
TEST(H264DecoderModule, CreatedThroughTheRegistry)
{
    CoInitialize(nullptr);
    IBaseFilter* filter = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_TarvoH264Decoder, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IBaseFilter, reinterpret_cast<void**>(&filter)),
              S_OK);
    IH264DecoderControl* control = nullptr;
    EXPECT_EQ(filter->QueryInterface(IID_IH264DecoderControl, reinterpret_cast<void**>(&control)),
              S_OK);
    if (control)
        control->Release();
    ISpecifyPropertyPages* pages = nullptr;
    ASSERT_EQ(filter->QueryInterface(IID_ISpecifyPropertyPages, reinterpret_cast<void**>(&pages)),
              S_OK);
    CAUUID list{};
    ASSERT_EQ(pages->GetPages(&list), S_OK);
    ASSERT_EQ(list.cElems, 1u);
    EXPECT_EQ(list.pElems[0], CLSID_H264DecoderPropertyPage);
    CoTaskMemFree(list.pElems);
    pages->Release();
    const wchar_t* names[] = {L"Input", L"Output"};
    for (const wchar_t* name : names) {
        IPin* pin = nullptr;
        EXPECT_EQ(filter->FindPin(name, &pin), S_OK);
        if (pin)
            pin->Release();
    }
    FILTER_INFO info{};
    ASSERT_EQ(filter->QueryFilterInfo(&info), S_OK);
    filter->Release();
    CoUninitialize();
}

// The page the filter offers (above); what it applies stays in the page.
TEST(H264DecoderFilterCom, PropertyPageKeepsItsValuesInThePage)
{
    CoInitialize(nullptr);
    IBaseFilter* filter = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_TarvoH264Decoder, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IBaseFilter, reinterpret_cast<void**>(&filter)),
              S_OK);
    {
        TvPageUnderTest page;
        ASSERT_EQ(page.Open(CLSID_H264DecoderPropertyPage, filter), S_OK);
        PROPPAGEINFO info{};
        ASSERT_EQ(page.Page()->GetPageInfo(&info), S_OK);
        EXPECT_STREQ(info.pszTitle, L"TarvoH264Dec");
        CoTaskMemFree(info.pszTitle);
        const HWND dlg = page.Dialog();
        EXPECT_EQ(page.Control(IDC_H264_PARAMETER).text, "0");
        EXPECT_EQ(page.Control(IDC_H264_XOR_IMAGE).text, "XOR image");
        EXPECT_EQ(page.Page()->IsPageDirty(), S_FALSE);

        ASSERT_TRUE(TvDlgUserType(dlg, IDC_H264_PARAMETER, "12"));
        ASSERT_TRUE(TvDlgUserClick(dlg, IDC_H264_XOR_IMAGE));
        EXPECT_EQ(page.Page()->IsPageDirty(), S_OK);
        EXPECT_GT(page.Site().DirtyNotes(), 0);
        ASSERT_EQ(page.Page()->Apply(), S_OK);
        EXPECT_EQ(page.Page()->IsPageDirty(), S_FALSE);
        auto* prop = dynamic_cast<CH264DecoderProp*>(page.Page());
        ASSERT_NE(prop, nullptr);
        EXPECT_EQ(prop->Parameter(), 12);
        EXPECT_TRUE(prop->XorImage());

        // Deactivated and activated again, the page shows what it keeps.
        ASSERT_EQ(page.Page()->Deactivate(), S_OK);
        RECT rect{0, 0, 200, 100};
        ASSERT_EQ(page.Page()->Activate(nullptr, &rect, FALSE), S_OK);
        EXPECT_EQ(page.Control(IDC_H264_PARAMETER).text, "12");
        EXPECT_TRUE(page.Control(IDC_H264_XOR_IMAGE).checked);

        // Only the decoder's interface will do.
        IPropertyPage* other = nullptr;
        ASSERT_EQ(CoCreateInstance(CLSID_H264DecoderPropertyPage, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IPropertyPage, reinterpret_cast<void**>(&other)),
                  S_OK);
        CTestPageSite site;
        IUnknown* notADecoder = &site;
        EXPECT_EQ(other->SetObjects(1, &notADecoder), E_NOINTERFACE);
        other->Release();
    }
    filter->Release();
    CoUninitialize();
}

// Downstream that lends buffers gets every picture written into one of them,
// byte for byte as a plain sink gets it: frames, a field pair woven, line
// doubling; a picture of a new size comes in the filter's own sample, which
// carries the new type, and the next one in a lent buffer again.
TEST_F(H264DecoderFilterTest, PicturesGoIntoTheBuffersDownstreamLends)
{
    CMediaType interlaced =
        TvMakeVideoType2(MEDIASUBTYPE_TarvoH264, 352, 288, 24, MAKEFOURCC('H', '2', '6', '4'));
    reinterpret_cast<VIDEOINFOHEADER2*>(interlaced.Format())->dwInterlaceFlags =
        AMINTERLACE_IsInterlaced;
    struct Case {
        const char* name;
        CMediaType type;
        std::vector<Answer> script;
        std::vector<bool> lent;
    };
    const std::vector<Case> cases = {
        {"frames and a new size",
         DeviceH264Type(352, 288),
         {Picture(), Result(-1), Picture(false), Result(-1), Picture(true, 1920, 1080), Result(-1),
          Picture(false, 1920, 1080), Result(-1)},
         {true, true, false, true}},
        {"a field pair", DeviceH264Type(352, 288), {Field(1), Field(2), Result(-1)}, {true}},
        {"line doubling", interlaced, {Picture(), Result(-1)}, {true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t samples = c.lent.size() > 1 ? c.lent.size() : 1;
        // The plain sink first.
        {
            H264FilterRig& rig = Rig(c.type);
            rig.Connect();
            rig.Sink()->SetKeepBytes(SIZE_MAX);
            for (const Answer& a : c.script)
                Script({a});
            rig.Run(std::vector<TvTestSample>(samples, H264FilterRig::Bytes(SomeBytes(8))));
        }
        const auto plain = m_rig->Sink()->Samples();
        ASSERT_EQ(plain.size(), c.lent.size());

        H264FilterRig& rig = Rig(c.type);
        ASSERT_EQ(rig.ConnectInput(), S_OK);
        auto* sink = new CTestLendingSink;
        sink->NonDelegatingAddRef();
        IPin* output = rig.Harness().Pin(L"Output", PINDIR_OUTPUT);
        ASSERT_EQ(output->Connect(sink->GetPin(0), nullptr), S_OK);
        for (const Answer& a : c.script)
            Script({a});
        ASSERT_EQ(sink->Pause(), S_OK);
        ASSERT_EQ(rig.Harness().Pause(), S_OK);
        for (size_t i = 0; i < samples; ++i)
            EXPECT_EQ(rig.Harness().Push(H264FilterRig::Bytes(SomeBytes(8))), S_OK);
        rig.Harness().Stop();
        sink->Stop();
        const auto received = sink->Samples();
        ASSERT_EQ(received.size(), c.lent.size());
        for (size_t i = 0; i < c.lent.size(); ++i) {
            EXPECT_EQ(received[i].lent, c.lent[i]) << i;
            EXPECT_EQ(received[i].type.has_value(), plain[i].typeChanged) << i;
            EXPECT_EQ(received[i].bytes, plain[i].bytes) << i;
        }
        output->Disconnect();
        sink->GetPin(0)->Disconnect();
        m_rig.reset();
        sink->NonDelegatingRelease();
    }
}
