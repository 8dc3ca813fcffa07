// Record files: building the frame index of a 1 GiB device H.264 record file
// from the page cache, against reading the same file with read(); and the time
// from opening a file without an index to its first frame.
//
// The file is 1080p device H.264 (40-byte headers, voice frames) from the
// device simulator's encoder: 50 frames generated once and repeated up to
// 1 GiB (about 26,000 frames at 8 Mbit/s), written under $TMPDIR and removed
// at exit. The first run reads it once so that it is in the page cache.
//
//  BM_IndexRecord1GiB    the index thread's scan of the whole file (bytes/s)
//  BM_ReadRecord1GiB     read() of the whole file in 1 MiB pieces (bytes/s)
//  BM_OpenToFirstFrame   Open on a file without ".idx" to the first frame
//                        ReadNextFrame gives (the index thread just started)
#include "CBaseParserIndex.h"
#include "RecordTestKit.h"
#include "SimClip.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int64_t kFileSize = int64_t{1} << 30;
constexpr int kClipFrames = 50;

struct RecordFile {
    std::string path;
    std::string indexPath;
    int64_t size = 0;
    ParserStreamSetup setup;
    std::vector<uint8_t> sequenceHeader;

    ~RecordFile()
    {
        if (!path.empty()) {
            std::remove(path.c_str());
            std::remove(indexPath.c_str());
        }
    }
};

// The file, written once per run; null when it cannot be made.
const RecordFile* File1GiB()
{
    static const std::unique_ptr<RecordFile> file = []() -> std::unique_ptr<RecordFile> {
        const std::vector<uint8_t> clip = DeviceClip1080p(kClipFrames).bytes;
        if (clip.empty())
            return nullptr;
        const char* tmp = std::getenv("TMPDIR");
        auto f = std::make_unique<RecordFile>();
        f->path = std::string(tmp && *tmp ? tmp : "/tmp") + "/tv_bench_record_" +
                  std::to_string(getpid()) + ".tvx";
        f->indexPath = MakeRecordIndexName(f->path);
        const int fd = ::open(f->path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0)
            return nullptr;
        bool ok = true;
        while (ok && f->size + static_cast<int64_t>(clip.size()) <= kFileSize) {
            ok = ::write(fd, clip.data(), clip.size()) == static_cast<ssize_t>(clip.size());
            f->size += static_cast<int64_t>(clip.size());
        }
        ::close(fd);
        if (!ok || !DescribeRecordStart(clip, f->setup, f->sequenceHeader))
            return nullptr;
        f->setup.sequenceHeader = f->sequenceHeader;
        return f;
    }();
    return file.get();
}

// A parser on the file, its index thread started (no ".idx" is left over).
std::unique_ptr<CBaseParser> OpenWithoutIndex(const RecordFile& file)
{
    std::remove(file.indexPath.c_str());
    std::unique_ptr<CBaseParser> parser = CreateFileParser(file.setup);
    rectest::CTestFileReader* reader = rectest::CTestFileReader::Open(file.path);
    if (!parser || !reader)
        return nullptr;
    const bool opened = parser->SetFileName(file.path.c_str()) == 0 && parser->Open(reader) == 0;
    reader->Release(); // the parser holds its own reference
    return opened ? std::move(parser) : nullptr;
}

int64_t ReadWhole(const RecordFile& file)
{
    std::vector<uint8_t> buffer(1 << 20);
    const int fd = ::open(file.path.c_str(), O_RDONLY);
    int64_t total = 0;
    for (ssize_t n; fd >= 0 && (n = ::read(fd, buffer.data(), buffer.size())) > 0;)
        total += n;
    if (fd >= 0)
        ::close(fd);
    benchmark::DoNotOptimize(buffer.data());
    return total;
}

void BM_IndexRecord1GiB(benchmark::State& state)
{
    const RecordFile* file = File1GiB();
    if (!file) {
        state.SkipWithError("the record file could not be made");
        return;
    }
    ReadWhole(*file); // into the page cache
    int32_t frames = 0;
    for (auto _ : state) {
        std::unique_ptr<CBaseParser> parser = OpenWithoutIndex(*file);
        if (!parser) {
            state.SkipWithError("the parser did not open the file");
            return;
        }
        rectest::WaitForIndex(*parser);
        frames = static_cast<CBaseParserIndex&>(*parser).FrameCount();
        state.PauseTiming();
        parser.reset();
        std::remove(file->indexPath.c_str());
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * file->size);
    state.counters["frames"] = frames;
}
BENCHMARK(BM_IndexRecord1GiB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_ReadRecord1GiB(benchmark::State& state)
{
    const RecordFile* file = File1GiB();
    if (!file) {
        state.SkipWithError("the record file could not be made");
        return;
    }
    for (auto _ : state) {
        if (ReadWhole(*file) != file->size) {
            state.SkipWithError("short read");
            return;
        }
    }
    state.SetBytesProcessed(state.iterations() * file->size);
}
BENCHMARK(BM_ReadRecord1GiB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_OpenToFirstFrame(benchmark::State& state)
{
    const RecordFile* file = File1GiB();
    if (!file) {
        state.SkipWithError("the record file could not be made");
        return;
    }
    for (auto _ : state) {
        std::unique_ptr<CBaseParser> parser = OpenWithoutIndex(*file);
        if (!parser) {
            state.SkipWithError("the parser did not open the file");
            return;
        }
        ParsedFrame* frame = nullptr;
        while (!(frame = parser->ReadNextFrame()) && parser->IsIndexing())
            std::this_thread::yield();
        benchmark::DoNotOptimize(frame);
        state.PauseTiming();
        if (!frame)
            state.SkipWithError("no frame");
        static_cast<CBaseParserIndex&>(*parser).StopIndexing();
        parser.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenToFirstFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

} // namespace
