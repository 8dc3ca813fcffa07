// The H.264 decoder filter's hot paths:
//  - 4:2:0 to YUY2 at 1080p against a plain copy of the output frame's bytes
//    (target: at most 1.3 times the copy);
//  - the deinterlacer on a D1 field pair (target: under 1 ms);
//  - the filter decoding a 1080p25 stream and a D1 field-coded one (Receive
//    through the device decoder library, converted, for D1 woven, and
//    delivered into a sink) against libavcodec alone decoding the same frames
//    with one thread (target: at most 1.1 times at 1080p).
#include "FieldDeinterlacer.h"
#include "TarvoH264DecoderFilter.h"
#include "Yuv420ToYuy2.h"
#include "tvdevsim/StreamGenerator.h"

#include <benchmark/benchmark.h>
#include <uuids.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <cstdlib>
#include <cstring>
#include <memory>
#include <emmintrin.h>
#include <random>
#include <vector>

namespace {

constexpr int kW = 1920, kH = 1080;

std::vector<uint8_t> Noise(size_t n, uint32_t seed)
{
    std::vector<uint8_t> v(n);
    std::mt19937 rng(seed);
    for (auto& b : v)
        b = static_cast<uint8_t>(rng());
    return v;
}

// Argument: 0 the best path on this processor (AVX2 where it has it), 1 SSE2,
// 2 scalar; into a picture buffer on a 64-byte boundary, as the processor lends.
void BM_Yuv420ToYuy2_1080p(benchmark::State& state)
{
    const auto y = Noise(kW * kH, 1), u = Noise(kW * kH / 4, 2), v = Noise(kW * kH / 4, 3);
    const size_t bytes = size_t(kW) * kH * 2;
    std::unique_ptr<uint8_t, decltype(&std::free)> out(
        static_cast<uint8_t*>(std::aligned_alloc(64, bytes)), &std::free);
    Yuv420Planes p{y.data(), u.data(), v.data(), kW, kW / 2};
    const Yuy2Path path = state.range(0) == 0   ? Yuy2Path::Best
                          : state.range(0) == 1 ? Yuy2Path::Sse2
                                                : Yuy2Path::Scalar;
    state.SetLabel(state.range(0) == 0   ? (Yuv420ToYuy2UsesAvx2() ? "avx2" : "sse2")
                   : state.range(0) == 1 ? "sse2"
                                         : "scalar");
    for (auto _ : state) {
        Yuv420ToYuy2(p, kW, kH, out.get(), kW * 2, path);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}
BENCHMARK(BM_Yuv420ToYuy2_1080p)->Arg(0)->Arg(1)->Arg(2);

void BM_Memcpy_1080pYuy2Frame(benchmark::State& state)
{
    const auto src = Noise(kW * kH * 2, 4);
    std::vector<uint8_t> out(src.size());
    for (auto _ : state) {
        std::memcpy(out.data(), src.data(), src.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * out.size());
}
BENCHMARK(BM_Memcpy_1080pYuy2Frame);

// For reading the two above: the conversion writes past the cache, which
// glibc's memcpy does not do at this size. The same copy with streaming
// stores shows how much of the difference that alone makes.
void BM_StreamingCopy_1080pYuy2Frame(benchmark::State& state)
{
    const auto src = Noise(kW * kH * 2, 4);
    std::vector<uint8_t> out(src.size() + 16);
    uint8_t* dst = out.data() + (16 - reinterpret_cast<uintptr_t>(out.data()) % 16) % 16;
    for (auto _ : state) {
        for (size_t i = 0; i + 16 <= src.size(); i += 16)
            _mm_stream_si128(reinterpret_cast<__m128i*>(dst + i),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(src.data() + i)));
        _mm_sfence();
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * src.size());
}
BENCHMARK(BM_StreamingCopy_1080pYuy2Frame);

// One field pair (top then bottom) of 704 x 288 fields into a 704 x 576 frame.
void BM_Deinterlace_D1FieldPair(benchmark::State& state)
{
    const int w = 704, fh = 288;
    FieldDeinterlacer* d = nullptr;
    FieldDeinterlacer::Create(&d, w, fh, w, w / 2, w, w / 2);
    const auto top = Noise(w * fh, 5), bottom = Noise(w * fh, 6), c = Noise(w / 2 * fh / 2, 7);
    std::vector<uint8_t> y(w * fh * 2), u(w / 2 * fh), v(w / 2 * fh);
    for (auto _ : state) {
        d->Process(y.data(), u.data(), v.data(), top.data(), c.data(), c.data(), 1);
        d->Process(y.data(), u.data(), v.data(), bottom.data(), c.data(), c.data(), 2);
        benchmark::ClobberMemory();
    }
    delete d;
}
BENCHMARK(BM_Deinterlace_D1FieldPair)->Unit(benchmark::kMicrosecond);

// 50 frames (2 s) of one of the simulator's device streams, one sample per
// device frame as the splitter cuts them: 1080p25 (40-byte headers, larger
// pictures in pieces) or D1 field-coded (36-byte headers).
const std::vector<std::vector<uint8_t>>& DeviceStream(bool d1)
{
    static std::vector<std::vector<uint8_t>> cache[2];
    auto& out = cache[d1 ? 1 : 0];
    if (!out.empty())
        return out;
    tvdevsim::GeneratorConfig config;
    config.kind = d1 ? tvdevsim::SimKind::DeviceFieldD1 : tvdevsim::SimKind::Device40;
    if (!d1) {
        config.width = kW;
        config.height = kH;
    }
    config.audio = false;
    tvdevsim::CStreamGenerator gen;
    if (!gen.Open(config))
        return out;
    tvdevsim::StreamUnit unit;
    while (gen.Next(unit) && unit.frameIndex < 50) {
        const auto& b = unit.bytes;
        for (size_t pos = 0; pos + 36 <= b.size();) {
            const size_t total = d1 ? (b[pos + 20] | (b[pos + 21] << 8) | (b[pos + 22] << 16))
                                    : (b[pos + 14] | (b[pos + 15] << 8));
            if (total < 36 || pos + total > b.size())
                break;
            out.emplace_back(b.begin() + pos, b.begin() + pos + total);
            pos += total;
        }
    }
    return out;
}

// A sink pin that takes every picture and does nothing with it.
class CNullSink : public CBaseFilter {
public:
    CNullSink() : CBaseFilter("null sink", nullptr, &m_lock, CLSID_NULL), m_pin(this, &m_lock) {}
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override { return n == 0 ? &m_pin : nullptr; }
    LONG pictures = 0;

private:
    class CPin : public CBaseInputPin {
    public:
        CPin(CNullSink* f, CCritSec* l) : CBaseInputPin("null", f, l, &m_hr, L"In"), m_f(f) {}
        HRESULT CheckMediaType(const CMediaType*) override { return S_OK; }
        STDMETHODIMP Receive(IMediaSample*) override
        {
            ++m_f->pictures;
            return S_OK;
        }

    private:
        HRESULT m_hr = S_OK;
        CNullSink* m_f;
    };
    CCritSec m_lock;
    CPin m_pin;
};

// An upstream pin that only connects (the benchmark calls Receive itself).
class CNullSource : public CBaseFilter {
public:
    CNullSource() : CBaseFilter("null source", nullptr, &m_lock, CLSID_NULL), m_pin(this, &m_lock)
    {
    }
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override { return n == 0 ? &m_pin : nullptr; }

private:
    class CPin : public CBaseOutputPin {
    public:
        CPin(CNullSource* f, CCritSec* l) : CBaseOutputPin("null", f, l, &m_hr, L"Out") {}
        HRESULT CheckMediaType(const CMediaType*) override { return S_OK; }
        HRESULT GetMediaType(int i, CMediaType* mt) override
        {
            if (i > 0)
                return VFW_S_NO_MORE_ITEMS;
            mt->InitMediaType();
            mt->SetType(&MEDIATYPE_Video);
            return S_OK;
        }
        HRESULT DecideBufferSize(IMemAllocator* a, ALLOCATOR_PROPERTIES*) override
        {
            ALLOCATOR_PROPERTIES want{1, 1024, 1, 0}, got{};
            return a->SetProperties(&want, &got);
        }

    private:
        HRESULT m_hr = S_OK;
    };
    CCritSec m_lock;
    CPin m_pin;
};

void BM_Filter(benchmark::State& state, bool d1)
{
    const auto& samples = DeviceStream(d1);
    CNullSource* source = new CNullSource;
    source->NonDelegatingAddRef();
    CNullSink* sink = new CNullSink;
    sink->NonDelegatingAddRef();
    TarvoH264DecoderFilter* filter =
        TarvoH264DecoderFilter::CreateWithLibrary(DeviceH264Library(), nullptr);
    filter->NonDelegatingAddRef();
    source->GetPin(0)->Connect(filter->GetPin(0), nullptr);
    filter->GetPin(1)->Connect(sink->GetPin(0), nullptr);
    sink->Pause();
    filter->Pause();
    IMemInputPin* input = nullptr;
    filter->GetPin(0)->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&input));
    for (auto _ : state) {
        filter->ReleaseDecoder(); // every run from the first key frame
        for (const auto& s : samples) {
            CMediaSample* sample = new CMediaSample("bench", nullptr, nullptr,
                                                    const_cast<BYTE*>(s.data()), (LONG)s.size());
            sample->AddRef();
            sample->SetActualDataLength((LONG)s.size());
            input->Receive(sample);
            sample->Release();
        }
    }
    state.counters["pictures"] = sink->pictures;
    input->Release();
    filter->Stop();
    sink->Stop();
    filter->GetPin(0)->Disconnect();
    source->GetPin(0)->Disconnect();
    filter->GetPin(1)->Disconnect();
    sink->GetPin(0)->Disconnect();
    filter->NonDelegatingRelease();
    sink->NonDelegatingRelease();
    source->NonDelegatingRelease();
}
BENCHMARK_CAPTURE(BM_Filter, 1080p25, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Filter, D1Field, true)->Unit(benchmark::kMillisecond);

// libavcodec alone, one thread, the same frames as whole packets (headers
// stripped, pieces joined).
void BM_Libavcodec(benchmark::State& state, bool d1)
{
    std::vector<std::vector<uint8_t>> packets;
    for (const auto& s : DeviceStream(d1)) {
        const bool more = !d1 && (s[14] | (s[15] << 8)) == 0xFFFF;
        static std::vector<uint8_t> joined;
        joined.insert(joined.end(), s.begin() + (d1 ? 36 : 40), s.end());
        if (!more) {
            packets.push_back(joined);
            joined.clear();
        }
    }
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    long pictures = 0;
    for (auto _ : state) {
        AVCodecContext* ctx = avcodec_alloc_context3(codec);
        ctx->thread_count = 1;
        avcodec_open2(ctx, codec, nullptr);
        for (const auto& p : packets) {
            av_new_packet(pkt, (int)p.size());
            std::memcpy(pkt->data, p.data(), p.size());
            avcodec_send_packet(ctx, pkt);
            av_packet_unref(pkt);
            while (avcodec_receive_frame(ctx, frame) == 0) {
                ++pictures;
                av_frame_unref(frame);
            }
        }
        avcodec_free_context(&ctx);
    }
    state.counters["pictures"] = pictures;
    av_frame_free(&frame);
    av_packet_free(&pkt);
}
BENCHMARK_CAPTURE(BM_Libavcodec, 1080p25, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Libavcodec, D1Field, true)->Unit(benchmark::kMillisecond);

} // namespace
