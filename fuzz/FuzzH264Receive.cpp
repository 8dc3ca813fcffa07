// The H.264 decoder filter's Receive path: bytes in, pictures out, through the
// device decoder library. The input is cut into samples at each ">>>>" (as a
// device stream's frames arrive), so a record file of the simulator is a good
// seed; each sample goes to the input pin's Receive as the splitter would send
// it, and the pictures go into a test sink.
#include "FuzzCheck.h"
#include "TarvoH264DecoderFilter.h"
#include "TestKit.h"

#include <uuids.h>

#include <cstring>

namespace {

struct Rig {
    CTestPushSource* source = nullptr;
    TarvoH264DecoderFilter* filter = nullptr;
    CTestSink* sink = nullptr;
    IMemInputPin* input = nullptr;

    Rig()
    {
        CMediaType type =
            TvMakeVideoType(MEDIATYPE_Video, 704, 576, 24, MAKEFOURCC('H', '2', '6', '4'));
        source = CTestPushSource::Create({type});
        filter = TarvoH264DecoderFilter::CreateWithLibrary(DeviceH264Library(), nullptr);
        filter->NonDelegatingAddRef();
        sink = CTestSink::Create();
        sink->SetKeepBytes(0);
        source->SetAllocatorRequest(1, 1024);
        FUZZ_CHECK(source->Output()->Connect(filter->GetPin(0), &type) == S_OK);
        FUZZ_CHECK(filter->GetPin(1)->Connect(sink->Input(), nullptr) == S_OK);
        FUZZ_CHECK(sink->Pause() == S_OK);
        FUZZ_CHECK(filter->Pause() == S_OK);
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
    rig.sink->ClearEvents();
    return 0;
}
