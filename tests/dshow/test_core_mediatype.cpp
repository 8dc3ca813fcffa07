// AM_MEDIA_TYPE helpers, CMediaType, FOURCC subtypes and bitmap sizes.
#include <cstring>

#include "TestKit.h"

namespace {

using CoreMediaType = TvLeakCheck;

// A counted object to hang on pUnk.
CTestClock* NewObject()
{
    return CTestClock::Create();
}

TEST_F(CoreMediaType, CopyIsDeepAndHoldsTheObject)
{
    CTestClock* object = NewObject();
    CMediaType source = TvMakeVideoType(MEDIASUBTYPE_RGB24, 8, 4, 24, BI_RGB);
    source.pUnk = static_cast<IReferenceClock*>(object);
    object->AddRef(); // the type's reference

    AM_MEDIA_TYPE copy;
    ASSERT_EQ(CopyMediaType(&copy, &source), S_OK);
    EXPECT_EQ(copy.majortype, MEDIATYPE_Video);
    EXPECT_EQ(copy.subtype, MEDIASUBTYPE_RGB24);
    EXPECT_EQ(copy.formattype, FORMAT_VideoInfo);
    EXPECT_EQ(copy.lSampleSize, 96u); // 4 rows of 24 bytes
    ASSERT_EQ(copy.cbFormat, sizeof(VIDEOINFOHEADER));
    EXPECT_NE(copy.pbFormat, source.pbFormat);
    EXPECT_EQ(memcmp(copy.pbFormat, source.pbFormat, copy.cbFormat), 0);
    EXPECT_EQ(RefCount(static_cast<IReferenceClock*>(object)), 3u);
    FreeMediaType(copy);
    EXPECT_EQ(copy.pbFormat, nullptr);
    EXPECT_EQ(copy.cbFormat, 0u);
    EXPECT_EQ(copy.pUnk, nullptr);
    EXPECT_EQ(RefCount(static_cast<IReferenceClock*>(object)), 2u);

    AM_MEDIA_TYPE* created = CreateMediaType(&source);
    ASSERT_NE(created, nullptr);
    EXPECT_TRUE(static_cast<CMediaType&>(*created) == source);
    EXPECT_EQ(RefCount(static_cast<IReferenceClock*>(object)), 3u);
    DeleteMediaType(created);
    DeleteMediaType(nullptr);
    EXPECT_EQ(CreateMediaType(nullptr), nullptr);

    {
        CMediaType copied(source);
        EXPECT_EQ(RefCount(static_cast<IReferenceClock*>(object)), 3u);
        CMediaType assigned;
        assigned = copied;
        assigned = assigned; // self-assignment keeps the type
        EXPECT_TRUE(assigned == source);
        EXPECT_EQ(RefCount(static_cast<IReferenceClock*>(object)), 4u);
    }
    EXPECT_EQ(RefCount(static_cast<IReferenceClock*>(object)), 2u);
    source.InitMediaType(); // releases the type's reference and the block
    EXPECT_EQ(source.pbFormat, nullptr);
    EXPECT_EQ(source.majortype, GUID_NULL);
    EXPECT_EQ(object->Release(), 0u);

    EXPECT_EQ(CopyMediaType(nullptr, &source), E_POINTER);
    EXPECT_EQ(CopyMediaType(&copy, nullptr), E_POINTER);
}

TEST_F(CoreMediaType, ALengthWithoutABlockCopiesAsNoFormat)
{
    AM_MEDIA_TYPE odd{};
    odd.majortype = MEDIATYPE_Video;
    odd.cbFormat = 88; // but no block
    AM_MEDIA_TYPE copy;
    ASSERT_EQ(CopyMediaType(&copy, &odd), S_OK);
    EXPECT_EQ(copy.cbFormat, 0u);
    EXPECT_EQ(copy.pbFormat, nullptr);
}

TEST_F(CoreMediaType, EqualityComparesTypesAndFormatBytesOnly)
{
    CMediaType a = TvMakeVideoType(MEDIASUBTYPE_YUY2, 16, 16, 16, MAKEFOURCC('Y', 'U', 'Y', '2'));
    CMediaType b(a);
    b.SetSampleSize(7);
    b.SetTemporalCompression(TRUE);
    EXPECT_TRUE(a == b);

    reinterpret_cast<VIDEOINFOHEADER*>(b.Format())->bmiHeader.biWidth = 17;
    EXPECT_TRUE(a != b);
    b = a;
    b.SetSubtype(&MEDIASUBTYPE_UYVY);
    EXPECT_FALSE(a == b);
    b = a;
    b.SetFormatType(&FORMAT_VideoInfo2);
    EXPECT_FALSE(a == b);
    b = a;
    b.ReallocFormatBuffer(a.FormatLength() + 4);
    EXPECT_FALSE(a == b);

    CMediaType empty1;
    CMediaType empty2;
    EXPECT_TRUE(empty1 == empty2);
    EXPECT_FALSE(empty1.IsValid());
    EXPECT_TRUE(a.IsValid());
}

TEST_F(CoreMediaType, PartialTypesAndMatching)
{
    CMediaType full = TvMakeVideoType(MEDIASUBTYPE_RGB32, 4, 4, 32, BI_RGB);
    EXPECT_FALSE(full.IsPartiallySpecified());

    CMediaType major(&MEDIATYPE_Video);
    EXPECT_TRUE(major.IsPartiallySpecified());
    EXPECT_TRUE(full.MatchesPartial(&major));
    CMediaType audio(&MEDIATYPE_Audio);
    EXPECT_FALSE(full.MatchesPartial(&audio));

    CMediaType sub(&MEDIATYPE_Video);
    sub.SetSubtype(&MEDIASUBTYPE_RGB24);
    EXPECT_FALSE(full.MatchesPartial(&sub));
    sub.SetSubtype(&MEDIASUBTYPE_RGB32);
    EXPECT_TRUE(full.MatchesPartial(&sub));

    // A format type in the partial type brings its block into the match.
    CMediaType withFormat(full);
    EXPECT_TRUE(full.MatchesPartial(&withFormat));
    reinterpret_cast<VIDEOINFOHEADER*>(withFormat.Format())->AvgTimePerFrame = 1;
    EXPECT_FALSE(full.MatchesPartial(&withFormat));

    // Without a major type or format type a type is partial.
    CMediaType noFormat(full);
    noFormat.SetFormatType(&GUID_NULL);
    EXPECT_TRUE(noFormat.IsPartiallySpecified());
}

TEST_F(CoreMediaType, FormatBlockManagement)
{
    CMediaType mt(&MEDIATYPE_Audio);
    const BYTE bytes[6] = {1, 2, 3, 4, 5, 6};
    ASSERT_TRUE(mt.SetFormat(bytes, sizeof(bytes)));
    EXPECT_EQ(mt.FormatLength(), 6u);
    EXPECT_EQ(memcmp(mt.Format(), bytes, 6), 0);
    EXPECT_FALSE(mt.SetFormat(nullptr, 4));
    EXPECT_EQ(mt.FormatLength(), 6u); // kept

    BYTE* grown = mt.ReallocFormatBuffer(8);
    ASSERT_NE(grown, nullptr);
    EXPECT_EQ(mt.FormatLength(), 8u);
    EXPECT_EQ(memcmp(grown, bytes, 6), 0);
    BYTE* shrunk = mt.ReallocFormatBuffer(2);
    ASSERT_NE(shrunk, nullptr);
    EXPECT_EQ(shrunk[1], 2);
    EXPECT_EQ(mt.AllocFormatBuffer(0), nullptr);
    mt.ResetFormatBuffer();
    EXPECT_EQ(mt.Format(), nullptr);
    EXPECT_EQ(mt.FormatLength(), 0u);
    EXPECT_TRUE(mt.SetFormat(nullptr, 0));

    mt.SetSampleSize(0);
    EXPECT_FALSE(mt.IsFixedSize());
    EXPECT_EQ(mt.GetSampleSize(), 0u);
    mt.SetSampleSize(4096);
    EXPECT_TRUE(mt.IsFixedSize());
    EXPECT_EQ(mt.GetSampleSize(), 4096u);
}

TEST_F(CoreMediaType, AudioTypeFromAWaveFormat)
{
    WAVEFORMATEX wfx{};
    wfx.wFormatTag = WAVE_FORMAT_PCM;
    wfx.nChannels = 2;
    wfx.nSamplesPerSec = 8000;
    wfx.wBitsPerSample = 16;
    wfx.nBlockAlign = 4;
    wfx.nAvgBytesPerSec = 32000;
    wfx.cbSize = 99; // meaningless for PCM: not copied
    CMediaType mt;
    ASSERT_EQ(CreateAudioMediaType(&wfx, &mt, TRUE), S_OK);
    EXPECT_EQ(mt.majortype, MEDIATYPE_Audio);
    EXPECT_EQ(mt.subtype, MEDIASUBTYPE_PCM);
    EXPECT_EQ(mt.formattype, FORMAT_WaveFormatEx);
    EXPECT_EQ(mt.lSampleSize, 4u);
    ASSERT_EQ(mt.cbFormat, 18u);
    const WAVEFORMATEX* stored = reinterpret_cast<const WAVEFORMATEX*>(mt.pbFormat);
    EXPECT_EQ(stored->nSamplesPerSec, 8000u);
    EXPECT_EQ(stored->cbSize, 0);
    EXPECT_EQ(CreateAudioMediaType(nullptr, &mt, TRUE), E_POINTER);
}

TEST(CoreFormats, FourccSubtypes)
{
    EXPECT_EQ(TvFourccGuid(MAKEFOURCC('Y', 'U', 'Y', '2')), MEDIASUBTYPE_YUY2);
    EXPECT_EQ(MAKEFOURCC('Y', 'U', 'Y', '2'), 0x32595559u);
    FOURCCMap map(MAKEFOURCC('A', 'V', 'C', '1'));
    EXPECT_EQ(static_cast<const GUID&>(map), MEDIASUBTYPE_AVC1);
    EXPECT_EQ(map.GetFOURCC(), 0x31435641u);
    FOURCCMap fromGuid(&MEDIASUBTYPE_MJPG);
    EXPECT_EQ(fromGuid.GetFOURCC(), MAKEFOURCC('M', 'J', 'P', 'G'));
    map.SetFOURCC(&MEDIASUBTYPE_PCM);
    EXPECT_EQ(static_cast<const GUID&>(map), MEDIASUBTYPE_PCM);
    EXPECT_TRUE(TvIsFourccGuid(MEDIASUBTYPE_H264));
    EXPECT_FALSE(TvIsFourccGuid(MEDIASUBTYPE_RGB24));
    EXPECT_FALSE(TvIsFourccGuid(MEDIASUBTYPE_MPEG2_VIDEO));
}

TEST(CoreFormats, BitmapSizePadsRowsAndSurvivesBadHeaders)
{
    BITMAPINFOHEADER h{};
    h.biSize = sizeof(h);
    h.biWidth = 3;
    h.biHeight = 2;
    h.biBitCount = 24;
    EXPECT_EQ(GetBitmapSize(&h), 24u); // 9 bytes a row, padded to 12
    h.biHeight = -2;                   // top-down: same size
    EXPECT_EQ(GetBitmapSize(&h), 24u);
    h.biWidth = 1920;
    h.biHeight = 1080;
    h.biBitCount = 16;
    EXPECT_EQ(GetBitmapSize(&h), 1920u * 1080u * 2u);
    h.biWidth = 1;
    h.biHeight = 1;
    h.biBitCount = 1;
    EXPECT_EQ(GetBitmapSize(&h), 4u);
    // A size that does not fit in 32 bits, a negative width, no header.
    h.biWidth = 0x7FFFFFFF;
    h.biHeight = 0x7FFFFFFF;
    h.biBitCount = 32;
    EXPECT_EQ(GetBitmapSize(&h), 0u);
    h.biWidth = -4;
    EXPECT_EQ(GetBitmapSize(&h), 0u);
    EXPECT_EQ(GetBitmapSize(nullptr), 0u);
}

TEST(CoreFormats, FormatBlockOffsetsTheFiltersReadDirectly)
{
    // Filters read these fields at fixed offsets of the format block.
    EXPECT_EQ(offsetof(VIDEOINFOHEADER, bmiHeader.biWidth), 52u);
    EXPECT_EQ(offsetof(VIDEOINFOHEADER2, bmiHeader.biWidth), 76u);
    EXPECT_EQ(offsetof(VIDEOINFOHEADER2, dwInterlaceFlags), 48u);
    EXPECT_EQ(offsetof(VIDEOINFOHEADER2, dwControlFlags), 64u);
    EXPECT_EQ(offsetof(WAVEFORMATEX, cbSize), 16u);
    MPEG2VIDEOINFO info{};
    info.cbSequenceHeader = 20;
    EXPECT_EQ(SIZE_MPEG2VIDEOINFO(&info), 152u);
}

TEST(CoreHelpers, MulDivRoundsAndSaturates)
{
    EXPECT_EQ(llMulDiv(10, 3, 4, 0), 7);
    EXPECT_EQ(llMulDiv(10, 3, 4, 2), 8);
    EXPECT_EQ(llMulDiv(0x4000000000000000LL, 4, 2, 0), 0x7FFFFFFFFFFFFFFFLL);
    EXPECT_EQ(llMulDiv(-0x4000000000000000LL, 4, 2, 0), (LONGLONG)0x8000000000000000ULL);
    EXPECT_EQ(llMulDiv(5, 5, 0, 0), 0x7FFFFFFFFFFFFFFFLL);
    // 90 kHz ticks to reference time without overflow.
    EXPECT_EQ(llMulDiv(0x1FFFFFFFFLL, UNITS, 90000, 0), 954437176777LL);
    EXPECT_EQ(Int64x32Div32(1000, 3, 2, 0), 1500);

    CRefTime t(40); // milliseconds
    EXPECT_EQ(t.GetUnits(), 400000);
    EXPECT_EQ(t.Millisecs(), 40);
    t += CRefTime((REFERENCE_TIME)5000);
    EXPECT_EQ((REFERENCE_TIME)t, 405000);

    LPWSTR text = nullptr;
    ASSERT_EQ(AMGetWideString(L"Render", &text), S_OK);
    EXPECT_STREQ(text, L"Render");
    CoTaskMemFree(text);
    ASSERT_EQ(AMGetWideString(nullptr, &text), S_OK);
    EXPECT_STREQ(text, L"");
    CoTaskMemFree(text);
    EXPECT_EQ(AMGetWideString(L"x", nullptr), E_POINTER);
}

} // namespace
