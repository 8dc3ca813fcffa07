// The H.264 decoder filter's Receive path: bytes in, pictures out, through the
// device decoder library. The input is cut into samples at each ">>>>" (as a
// device stream's frames arrive), so a record file of the simulator is a good
// seed; each sample goes to the input pin's Receive as the splitter would send
// it, and the pictures go into a test sink.
#include "FuzzCheck.h"
#include "TarvoH264DecoderFilter.h"
#include "TarvoMediaTypes.h"
#include "TestKit.h"

#include <cstring>

namespace {

// The filter between the kit's push source and a sink that keeps no bytes,
// paused; samples go straight to the input pin's Receive.
struct Rig {
    TarvoH264DecoderFilter* filter = nullptr;
    TvHarness* harness = nullptr;
    IMemInputPin* input = nullptr;

    Rig()
    {
        filter = TarvoH264DecoderFilter::CreateWithLibrary(DeviceH264Library(), nullptr);
        filter->NonDelegatingAddRef();
        harness = new TvHarness(filter, L"Tarvo H264 Decoder");
        const CMediaType type =
            TvMakeVideoType(MEDIASUBTYPE_TarvoH264, 704, 576, 24, MAKEFOURCC('H', '2', '6', '4'));
        FUZZ_CHECK(harness->ConnectInput(type, nullptr, 1, 1024) == S_OK);
        FUZZ_CHECK(harness->ConnectOutput() == S_OK);
        harness->Sink()->SetKeepBytes(0);
        FUZZ_CHECK(harness->Pause() == S_OK);
        filter->GetPin(0)->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&input));
    }
};

void Feed(Rig& rig, const uint8_t* data, size_t size)
{
    // A sample of our own over the bytes, as the upstream allocator would give.
    CMediaSample* sample =
        new CMediaSample("fuzz sample", nullptr, nullptr, const_cast<BYTE*>(data), (LONG)size);
    sample->AddRef();
    sample->SetActualDataLength((LONG)size);
    rig.input->Receive(sample);
    sample->Release();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Rig rig;
    // Every input starts on a fresh decoder.
    rig.filter->ReleaseDecoder();
    size_t start = 0;
    for (size_t i = 4; i + 4 <= size; ++i) {
        if (std::memcmp(data + i, ">>>>", 4) == 0) {
            Feed(rig, data + start, i - start);
            start = i;
        }
    }
    if (start < size)
        Feed(rig, data + start, size - start);
    // Keep the sink's record from growing without bound.
    rig.harness->Sink()->ClearEvents();
    return 0;
}
