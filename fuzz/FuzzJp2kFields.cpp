// The JPEG 2000 decoder's input path: one sample as the splitter delivers it
// (both fields behind their 144-byte headers). The first input byte picks
// the reduce level (its low bits) and the path (its top bit):
//
//   - the filter: the sample goes to "Tarvo Jp2k Decoder"'s input pin's
//     Receive and the pictures into a test sink; every picture delivered must
//     have exactly the bytes of the type it goes out under (the agreed one or
//     the new one the sample carries), so that a picture size the decoder and
//     the output pin see differently is caught;
//   - the decoder alone: the field pair taken apart, both fields decoded by
//     OpenJPEG and the woven picture written into a buffer of exactly the
//     size the decoder reports, so that any write past it is caught.
//
// The simulator's field pairs (fuzz_jp2k_seeds DIR) are good seeds.
#include "FuzzCheck.h"

#include "IJp2kDecoderControl.h"
#include "Jp2kFieldPair.h"
#include "Jp2kPictureDecoder.h"
#include "TarvoJp2kDecoder.h"
#include "TarvoMediaTypes.h"
#include "TestKit.h"
#include "VideoFormat.h"

#include <uuids.h>

#include <cstdint>
#include <vector>

namespace {

struct Rig;
void CheckPicture(Rig* rig, IMediaSample* sample);

struct Rig {
    CTestPushSource* source = nullptr;
    CUnknown* filterUnknown = nullptr;
    CBaseFilter* filter = nullptr;
    IJp2kDecoderControl* control = nullptr;
    CTestSink* sink = nullptr;
    IMemInputPin* input = nullptr;
    int agreedWidth = 0;
    int agreedHeight = 0;

    Rig()
    {
        // As the splitter offers it: the field size of a D1 stream.
        CMediaType type =
            TvMakeVideoType(MEDIASUBTYPE_TarvoJpeg2000, 704, 288, 24, 0x4B32504A, 333667);
        source = CTestPushSource::Create({type});
        HRESULT hr = S_OK;
        filterUnknown = CreateComInstance<TarvoJp2kDecoder>(nullptr, &hr);
        FUZZ_CHECK(filterUnknown && SUCCEEDED(hr));
        filterUnknown->NonDelegatingAddRef();
        filter = static_cast<TarvoJp2kDecoder*>(filterUnknown);
        FUZZ_CHECK(filterUnknown->NonDelegatingQueryInterface(
                       IID_IJp2kDecoderControl, reinterpret_cast<void**>(&control)) == S_OK);
        sink = CTestSink::Create();
        sink->SetKeepBytes(0);
        sink->SetReceiveHook([this](IMediaSample* sample) { CheckPicture(this, sample); });
        source->SetAllocatorRequest(1, 1024);
        FUZZ_CHECK(source->Output()->Connect(filter->GetPin(0), &type) == S_OK);
        FUZZ_CHECK(filter->GetPin(1)->Connect(sink->Input(), nullptr) == S_OK);
        CMediaType agreed;
        FUZZ_CHECK(filter->GetPin(1)->ConnectionMediaType(&agreed) == S_OK);
        FUZZ_CHECK(Yuy2TypeSize(agreed, &agreedWidth, &agreedHeight));
        FreeMediaType(agreed);
        FUZZ_CHECK(sink->Pause() == S_OK);
        FUZZ_CHECK(filter->Pause() == S_OK);
        filter->GetPin(0)->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&input));
        FUZZ_CHECK(input != nullptr);
    }
};

void ThroughFilter(const uint8_t* data, size_t size, int level)
{
    static Rig rig;
    FUZZ_CHECK(rig.control->SetReduceLevel(level) == S_OK);
    // A sample of our own over the bytes, as the upstream allocator would give.
    CMediaSample* sample =
        new CMediaSample("fuzz sample", nullptr, nullptr, const_cast<BYTE*>(data), (LONG)size);
    sample->AddRef();
    sample->SetActualDataLength((LONG)size);
    rig.input->Receive(sample);
    sample->Release();
    // Keep the sink's record from growing without bound.
    rig.sink->ClearEvents();
}

// On the pushing thread (the filter delivers from Receive): every picture
// has the bytes of the type it goes out under.
void CheckPicture(Rig* rig, IMediaSample* sample)
{
    AM_MEDIA_TYPE* pmt = nullptr;
    if (sample->GetMediaType(&pmt) == S_OK && pmt) {
        FUZZ_CHECK(Yuy2TypeSize(*pmt, &rig->agreedWidth, &rig->agreedHeight));
        DeleteMediaType(pmt);
    }
    FUZZ_CHECK(sample->GetActualDataLength() ==
               static_cast<LONG>(Yuy2Stride(rig->agreedWidth)) * rig->agreedHeight);
    FUZZ_CHECK(sample->GetActualDataLength() <= sample->GetSize());
}

void DecoderAlone(std::span<const uint8_t> sample, int level)
{
    Jp2kFieldPair pair;
    if (!SplitJp2kFieldPair(sample, &pair))
        return;
    FUZZ_CHECK(pair.infoPacket.data() == sample.data() && pair.infoPacket.size() == 128);
    FUZZ_CHECK(pair.firstCodestream.data() >= sample.data() &&
               pair.firstCodestream.data() + pair.firstCodestream.size() <=
                   sample.data() + sample.size());
    if (pair.hasSecond)
        FUZZ_CHECK(pair.secondCodestream.data() >= pair.firstCodestream.data() &&
                   pair.secondCodestream.data() + pair.secondCodestream.size() <=
                       sample.data() + sample.size());

    static CJp2kPictureDecoder decoder;
    if (!decoder.Decode(pair, level))
        return;
    FUZZ_CHECK(decoder.Width() >= 1 &&
               decoder.Width() <= static_cast<int>(CJp2kPictureDecoder::kMaxFieldSide));
    FUZZ_CHECK(decoder.Height() >= 2 && decoder.Height() % 2 == 0 &&
               decoder.Height() <= 2 * static_cast<int>(CJp2kPictureDecoder::kMaxFieldSide));
    const ptrdiff_t stride = Yuy2Stride(decoder.Width());
    std::vector<uint8_t> picture(static_cast<size_t>(stride) * decoder.Height());
    decoder.WriteYuy2(picture.data(), stride);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const int level = (data[0] & 0x7F) % (kJp2kMaxReduceLevel + 1);
    if (data[0] & 0x80)
        DecoderAlone({data + 1, size - 1}, level);
    else
        ThroughFilter(data + 1, size - 1, level);
    return 0;
}
