// Motion JPEG decoding of one 1080p picture (a 1920 x 1080 baseline JPEG of
// the test pattern, quality 90):
//
//  BM_MjpegFilterTransform1080p  the decoder filter's Transform, from an input
//                                sample to an output sample of the allocator
//                                the filter asks for, B G R rows in place
//  BM_LibjpegAlone1080p          libjpeg-turbo alone decoding the same bytes
//                                into packed R G B rows of a reused buffer
//
// The filter should stay within 1.1 times the library's own time.
#include "JpegTestImages.h"
#include "TarvoMediaTypes.h"
#include "TarvoMjpegDecoderFilter.h"

#include <benchmark/benchmark.h>

#include <dvdmedia.h>
#include <uuids.h>

#include <cstring>

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

const std::vector<uint8_t>& Picture1080p()
{
    static const std::vector<uint8_t> jpeg = EncodeJpeg(kWidth, kHeight);
    return jpeg;
}

CMediaType MjpegInputType()
{
    CMediaType mt;
    mt.SetType(&MEDIATYPE_Video);
    mt.SetSubtype(&MEDIASUBTYPE_TarvoMjpeg);
    mt.SetFormatType(&FORMAT_VideoInfo);
    auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
    std::memset(vih, 0, sizeof(VIDEOINFOHEADER));
    vih->AvgTimePerFrame = 400000;
    vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih->bmiHeader.biWidth = kWidth;
    vih->bmiHeader.biHeight = kHeight;
    return mt;
}

// A committed allocator of one buffer of size bytes and one sample from it.
struct Sample {
    IMemAllocator* allocator = nullptr;
    IMediaSample* sample = nullptr;

    explicit Sample(LONG size)
    {
        if (FAILED(CreateMemoryAllocator(&allocator)))
            return;
        ALLOCATOR_PROPERTIES want{1, size, 1, 0}, got{};
        if (FAILED(allocator->SetProperties(&want, &got)) || FAILED(allocator->Commit()) ||
            FAILED(allocator->GetBuffer(&sample, nullptr, nullptr, 0)))
            sample = nullptr;
    }
    ~Sample()
    {
        if (sample)
            sample->Release();
        if (allocator) {
            allocator->Decommit();
            allocator->Release();
        }
    }
    Sample(const Sample&) = delete;
    Sample& operator=(const Sample&) = delete;
};

void BM_MjpegFilterTransform1080p(benchmark::State& state)
{
    const std::vector<uint8_t>& jpeg = Picture1080p();
    HRESULT hr = S_OK;
    CUnknown* unknown = CreateComInstance<TarvoMjpegDecoderFilter>(nullptr, &hr);
    auto* filter = static_cast<TarvoMjpegDecoderFilter*>(unknown);
    filter->NonDelegatingAddRef();
    const CMediaType type = MjpegInputType();
    // The connection decides the picture size, and so the output buffer the
    // filter asks for: agree first, then size the sample (a sample sized for
    // the default 1216-wide picture holds only 684 of the 1080 rows, and the
    // filter would rightly leave the rest out).
    const HRESULT agreed = filter->CheckInputType(&type);
    const LONG picture = static_cast<LONG>(filter->Format().ImageSize());
    Sample in(static_cast<LONG>(jpeg.size()));
    Sample out(picture);
    BYTE* data = nullptr;
    if (agreed != S_OK || !in.sample || !out.sample || FAILED(in.sample->GetPointer(&data))) {
        state.SkipWithError("no filter or no samples");
    } else {
        std::memcpy(data, jpeg.data(), jpeg.size());
        in.sample->SetActualDataLength(static_cast<LONG>(jpeg.size()));
        for (auto _ : state) {
            if (filter->Transform(in.sample, out.sample) != S_OK) {
                state.SkipWithError("the frame was dropped");
                break;
            }
            benchmark::ClobberMemory();
        }
        if (out.sample->GetActualDataLength() != picture)
            state.SkipWithError("the filter gave less than the whole picture");
        state.SetItemsProcessed(state.iterations());
    }
    filter->NonDelegatingRelease();
}
BENCHMARK(BM_MjpegFilterTransform1080p)->Unit(benchmark::kMillisecond);

void BM_LibjpegAlone1080p(benchmark::State& state)
{
    const std::vector<uint8_t>& jpeg = Picture1080p();
    std::vector<uint8_t> rgb;
    for (auto _ : state) {
        ReferenceDecodeRgbInto(jpeg, rgb);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LibjpegAlone1080p)->Unit(benchmark::kMillisecond);

} // namespace
