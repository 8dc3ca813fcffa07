// What it costs to move one sample through source -> transform -> sink on the
// DirectShow base classes, against a plain copy of the same bytes.
//
//   BM_CopyOnly/<bytes>          memcpy of one sample's bytes (the floor: the
//                                transform below copies as well)
//   BM_PipelineDirect/<bytes>    one sample per iteration on the benchmark
//                                thread: the source pin's GetDeliveryBuffer and
//                                Deliver -> CTransformFilter::Receive (output
//                                buffer, properties, memcpy Transform, Deliver)
//                                -> the sink's Receive, and every release
//   BM_PipelineStreaming/<bytes> the same path driven by CSourceStream's own
//                                thread (FillBuffer, Deliver), 256 samples per
//                                iteration, the benchmark thread waiting for
//                                the sink to count them
//
// The difference between the pipeline and the copy is the base classes'
// overhead per sample.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstring>
#include <vector>

#include <streams.h>

#include "CTestVideoTransform.h"

namespace {

const GUID kSubtype = MEDIASUBTYPE_YUY2;

CMediaType BenchType(LONG bytes)
{
    CMediaType mt;
    mt.SetType(&MEDIATYPE_Video);
    mt.SetSubtype(&kSubtype);
    mt.SetSampleSize(static_cast<ULONG>(bytes));
    return mt;
}

HRESULT AskBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request, LONG bytes)
{
    request->cBuffers = 4;
    request->cbBuffer = bytes;
    if (request->cbAlign < 1)
        request->cbAlign = 1;
    ALLOCATOR_PROPERTIES actual{};
    return allocator->SetProperties(request, &actual);
}

// ---- source ----

class CBenchSource;

class CBenchStream : public CSourceStream {
public:
    CBenchStream(HRESULT* phr, CSource* filter, LONG bytes)
        : CSourceStream("bench stream", phr, filter, L"Out"), m_bytes(bytes)
    {
        m_credits = CreateSemaphoreA(nullptr, 0, 0x7FFFFFFF, nullptr);
        m_quit = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    ~CBenchStream() override
    {
        CloseHandle(m_credits);
        CloseHandle(m_quit);
    }

    // Streaming mode: FillBuffer waits for a credit per sample. Otherwise the
    // thread ends its stream at once and the benchmark thread delivers.
    bool streaming = false;

    void Grant(LONG samples) { ReleaseSemaphore(m_credits, samples, nullptr); }
    void Quit() { SetEvent(m_quit); }

protected:
    HRESULT FillBuffer(IMediaSample* sample) override
    {
        if (!streaming)
            return S_FALSE;
        const HANDLE waits[2] = {m_quit, m_credits};
        if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1)
            return S_FALSE;
        sample->SetActualDataLength(m_bytes);
        return S_OK;
    }
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override
    {
        return AskBuffers(allocator, request, m_bytes);
    }
    HRESULT GetMediaType(CMediaType* mt) override
    {
        *mt = BenchType(m_bytes);
        return S_OK;
    }
    using CSourceStream::GetMediaType;

private:
    const LONG m_bytes;
    HANDLE m_credits;
    HANDLE m_quit;
};

class CBenchSource : public CSource {
public:
    explicit CBenchSource(LONG bytes) : CSource("bench source", nullptr, GUID_NULL)
    {
        HRESULT hr = S_OK;
        m_stream = new CBenchStream(&hr, this, bytes);
    }
    CBenchStream* Stream() { return m_stream; }

private:
    CBenchStream* m_stream;
};

// ---- transform ----

// Video in, the input's type out (the test kit's frame), every byte copied.
class CCopyTransform : public CTestVideoTransform {
public:
    explicit CCopyTransform(LONG bytes) : CTestVideoTransform("bench transform"), m_bytes(bytes) {}

    HRESULT CheckTransform(const CMediaType*, const CMediaType*) override { return S_OK; }
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override
    {
        return AskBuffers(allocator, request, m_bytes);
    }
    HRESULT Transform(IMediaSample* in, IMediaSample* out) override
    {
        BYTE* src = nullptr;
        BYTE* dst = nullptr;
        in->GetPointer(&src);
        out->GetPointer(&dst);
        const LONG length = in->GetActualDataLength();
        std::memcpy(dst, src, static_cast<size_t>(length));
        out->SetActualDataLength(length);
        return S_OK;
    }

private:
    const LONG m_bytes;
};

// ---- sink ----

class CBenchSink : public CBaseFilter {
public:
    CBenchSink() : CBaseFilter("bench sink", nullptr, &m_lock, GUID_NULL)
    {
        HRESULT hr = S_OK;
        m_input = new CInput(this, &hr);
        m_reached = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    }
    ~CBenchSink() override
    {
        delete m_input;
        CloseHandle(m_reached);
    }

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override { return n == 0 ? m_input : nullptr; }

    LONGLONG Count() const { return m_count.load(); }
    // Waits until the count reaches target.
    void WaitFor(LONGLONG target)
    {
        m_target.store(target);
        while (m_count.load() < target)
            WaitForSingleObject(m_reached, 1000);
    }

private:
    class CInput : public CBaseInputPin {
    public:
        CInput(CBenchSink* sink, HRESULT* phr)
            : CBaseInputPin("bench sink input", sink, &sink->m_lock, phr, L"In"), m_sink(sink)
        {
        }
        HRESULT CheckMediaType(const CMediaType*) override { return S_OK; }
        STDMETHODIMP Receive(IMediaSample* sample) override
        {
            const HRESULT hr = CBaseInputPin::Receive(sample);
            if (hr != S_OK)
                return hr;
            benchmark::DoNotOptimize(sample->GetActualDataLength());
            const LONGLONG count = ++m_sink->m_count;
            if (count == m_sink->m_target.load())
                SetEvent(m_sink->m_reached);
            return S_OK;
        }

    private:
        CBenchSink* m_sink;
    };

    CCritSec m_lock;
    CInput* m_input;
    std::atomic<LONGLONG> m_count{0};
    std::atomic<LONGLONG> m_target{-1};
    HANDLE m_reached;
};

// ---- the chain ----

class Pipeline {
public:
    explicit Pipeline(LONG bytes, bool streaming)
        : source(new CBenchSource(bytes)), transform(new CCopyTransform(bytes)),
          sink(new CBenchSink)
    {
        source->AddRef();
        transform->AddRef();
        sink->AddRef();
        source->Stream()->streaming = streaming;
        ok = source->GetPin(0)->Connect(transform->GetPin(0), nullptr) == S_OK &&
             transform->GetPin(1)->Connect(sink->GetPin(0), nullptr) == S_OK &&
             sink->Pause() == S_OK && transform->Pause() == S_OK && source->Pause() == S_OK;
    }
    ~Pipeline()
    {
        source->Stream()->Quit();
        sink->Stop();
        transform->Stop();
        source->Stop();
        source->GetPin(0)->Disconnect();
        transform->GetPin(0)->Disconnect();
        transform->GetPin(1)->Disconnect();
        sink->GetPin(0)->Disconnect();
        source->Release();
        transform->Release();
        sink->Release();
    }

    // Writes every buffer of the source's pool once, so that the copies
    // read real memory (as a copy of a decoded picture does), not untouched
    // pages.
    void PrefillSourceBuffers()
    {
        IMemAllocator* allocator = nullptr;
        IMemInputPin* input = nullptr;
        if (FAILED(transform->GetPin(0)->QueryInterface(IID_IMemInputPin,
                                                        reinterpret_cast<void**>(&input))))
            return;
        if (SUCCEEDED(input->GetAllocator(&allocator))) {
            ALLOCATOR_PROPERTIES props{};
            allocator->GetProperties(&props);
            std::vector<IMediaSample*> samples;
            for (LONG i = 0; i < props.cBuffers; ++i) {
                IMediaSample* sample = nullptr;
                if (allocator->GetBuffer(&sample, nullptr, nullptr, AM_GBF_NOWAIT) != S_OK)
                    break;
                BYTE* data = nullptr;
                sample->GetPointer(&data);
                std::memset(data, 0x5A, static_cast<size_t>(sample->GetSize()));
                samples.push_back(sample);
            }
            for (IMediaSample* sample : samples)
                sample->Release();
            allocator->Release();
        }
        input->Release();
    }

    CBenchSource* source;
    CCopyTransform* transform;
    CBenchSink* sink;
    bool ok = false;
};

void BM_CopyOnly(benchmark::State& state)
{
    const auto bytes = static_cast<size_t>(state.range(0));
    std::vector<BYTE> from(bytes, 0x5A);
    std::vector<BYTE> to(bytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void BM_PipelineDirect(benchmark::State& state)
{
    const auto bytes = static_cast<LONG>(state.range(0));
    Pipeline pipeline(bytes, false);
    if (!pipeline.ok) {
        state.SkipWithError("the pipeline did not start");
        return;
    }
    auto* out = static_cast<CBaseOutputPin*>(pipeline.source->GetPin(0));
    pipeline.PrefillSourceBuffers();
    for (auto _ : state) {
        IMediaSample* sample = nullptr;
        if (out->GetDeliveryBuffer(&sample, nullptr, nullptr, 0) != S_OK) {
            state.SkipWithError("no buffer");
            break;
        }
        sample->SetActualDataLength(bytes);
        const HRESULT hr = out->Deliver(sample);
        sample->Release();
        if (hr != S_OK) {
            state.SkipWithError("delivery failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes);
}

void BM_PipelineStreaming(benchmark::State& state)
{
    constexpr LONG kBatch = 256;
    const auto bytes = static_cast<LONG>(state.range(0));
    Pipeline pipeline(bytes, true);
    if (!pipeline.ok) {
        state.SkipWithError("the pipeline did not start");
        return;
    }
    pipeline.PrefillSourceBuffers();
    LONGLONG target = 0;
    for (auto _ : state) {
        target += kBatch;
        pipeline.source->Stream()->Grant(kBatch);
        pipeline.sink->WaitFor(target);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kBatch);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBatch * bytes);
    state.counters["time_per_sample"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kBatch,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// 4 KiB, 64 KiB, one 720x576 YUY2 picture.
BENCHMARK(BM_CopyOnly)->Arg(4096)->Arg(65536)->Arg(829440);
BENCHMARK(BM_PipelineDirect)->Arg(4096)->Arg(65536)->Arg(829440);
BENCHMARK(BM_PipelineStreaming)->Arg(4096)->Arg(65536)->Arg(829440)->UseRealTime();

} // namespace
