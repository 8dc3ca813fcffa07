// Stream detection with SequenceHeader extraction and StreamInfo, as the splitter
// runs them over its buffered bytes, on 4 MiB of each kind of stream. Target:
// 1 GB/s or more on one core.
#include "ByteOrder.h"
#include "CodecKind.h"
#include "QBoxHeader.h"
#include "SequenceHeader.h"
#include "StreamDetect.h"
#include "StreamInfo.h"
#include "TsWriter.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

constexpr size_t kBufferSize = 4 << 20;

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> b(n);
    for (auto& x : b)
        x = static_cast<uint8_t>(rng());
    return b;
}

const uint8_t kSps[] = {0, 0, 0, 1, 0x67, 66, 0, 30, 0xF4, 0x02, 0xC0, 0x49, 0x10};
const uint8_t kPps[] = {0, 0, 0, 1, 0x68, 0xCE, 0x3C, 0x80};

// Elementary H.264: a GOP of one key frame and 24 P frames of about 8 KiB, bodies of
// random bytes with the start-code pattern broken up as an encoder's would be.
std::vector<uint8_t> ElementaryH264()
{
    std::vector<uint8_t> out;
    std::vector<uint8_t> noise = RandomBytes(kBufferSize, 7);
    for (size_t i = 2; i < noise.size(); ++i) {
        if (noise[i] <= 3 && noise[i - 1] == 0 && noise[i - 2] == 0)
            noise[i] = 4;
    }
    size_t at = 0;
    for (int frame = 0; out.size() < kBufferSize; ++frame) {
        if (frame % 25 == 0) {
            out.insert(out.end(), std::begin(kSps), std::end(kSps));
            out.insert(out.end(), std::begin(kPps), std::end(kPps));
        }
        const uint8_t slice[] = {0, 0, 0, 1, static_cast<uint8_t>(frame % 25 ? 0x41 : 0x65)};
        out.insert(out.end(), std::begin(slice), std::end(slice));
        size_t n = frame % 25 ? 8000 : 40000;
        n = std::min(n, noise.size() - at);
        out.insert(out.end(), noise.begin() + static_cast<ptrdiff_t>(at),
                   noise.begin() + static_cast<ptrdiff_t>(at + n));
        at = (at + n) % (noise.size() - 40000);
    }
    out.resize(kBufferSize);
    return out;
}

std::vector<uint8_t> QBoxH264()
{
    std::vector<uint8_t> es = ElementaryH264();
    std::vector<uint8_t> out;
    QBoxFields f;
    size_t at = 0;
    while (out.size() < kBufferSize) {
        size_t n = std::min<size_t>(8000, es.size() - at);
        std::vector<uint8_t> payload(4);
        WriteBE32(payload.data(), static_cast<uint32_t>(n));
        payload.insert(payload.end(), es.begin() + static_cast<ptrdiff_t>(at),
                       es.begin() + static_cast<ptrdiff_t>(at + n));
        AppendQBox(out, f, payload);
        at = (at + n) % (es.size() - 8000);
    }
    out.resize(kBufferSize);
    return out;
}

std::vector<uint8_t> TransportH264()
{
    std::vector<uint8_t> es = ElementaryH264();
    TsWriter w;
    std::vector<uint8_t> out;
    TsProgram programs[] = {{1, 0x1000}};
    w.AppendSection(out, 0, BuildPatSection(programs));
    TsElementaryStream streams[] = {{27, 0x100}};
    w.AppendSection(out, 0x1000, BuildPmtSection(1, 0x100, streams));
    for (size_t at = 0; out.size() < kBufferSize; at += 8000)
        w.AppendPes(out, 0x100, std::span(es).subspan(at % (es.size() - 8000), 8000));
    out.resize(kBufferSize);
    return out;
}

void Run(benchmark::State& state, const std::vector<uint8_t>& buffer, int32_t expectedKind)
{
    TSParser ts;
    SequenceHeader header;
    for (auto _ : state) {
        StreamKinds kinds;
        DetectStream(buffer, kinds, ts);
        size_t n = ExtractSequenceHeader(buffer, kinds.codecKind, kinds.containerKind, header.data);
        header.length = static_cast<int32_t>(n);
        StreamFormat format;
        bool described = n > 0 && DescribeStream(buffer, kinds.codecKind, kinds.containerKind,
                                                 std::span(header.data, n), format);
        benchmark::DoNotOptimize(described);
        if (kinds.codecKind != expectedKind) {
            state.SkipWithError("detection gave another kind");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(buffer.size()));
}

void BM_DetectElementaryH264(benchmark::State& state)
{
    static const std::vector<uint8_t> buffer = ElementaryH264();
    Run(state, buffer, CodecDeviceH264);
}

void BM_DetectQBoxH264(benchmark::State& state)
{
    static const std::vector<uint8_t> buffer = QBoxH264();
    Run(state, buffer, CodecHDH264);
}

void BM_DetectTransportH264(benchmark::State& state)
{
    static const std::vector<uint8_t> buffer = TransportH264();
    Run(state, buffer, CodecDeviceH264);
}

void BM_DetectRandomBytes(benchmark::State& state)
{
    static const std::vector<uint8_t> buffer = RandomBytes(kBufferSize, 99);
    Run(state, buffer, CodecUnknown);
}

} // namespace

BENCHMARK(BM_DetectElementaryH264)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DetectQBoxH264)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DetectTransportH264)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DetectRandomBytes)->Unit(benchmark::kMillisecond);
