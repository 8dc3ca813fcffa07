// The frame queue's assembly of pushed bytes: the same bytes pushed in one
// piece and in random pieces must give the same elements (a differential
// check), and every element must be a whole device frame.
#include "FuzzCheck.h"

#include "CFrameQueue.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Element {
    int32_t audio, frameType, length;
    int64_t timestamp;
    std::vector<uint8_t> bytes;
    bool operator==(const Element&) const = default;
};

std::vector<Element> Drain(CFrameQueue& q)
{
    std::vector<Element> out;
    FrameElement el;
    while (q.GetNextFrame(el)) {
        FUZZ_CHECK(el.length >= 36 && el.length <= CFrameQueue::kElementCapacity);
        FUZZ_CHECK(el.buffer.size() >= static_cast<size_t>(el.length));
        FUZZ_CHECK(std::memcmp(el.buffer.data(), ">>>>", 4) == 0);
        FUZZ_CHECK((el.buffer[5] >> 4) == 2);
        FUZZ_CHECK(el.timestamp >= 0 && el.timestamp < (int64_t{1} << 52));
        out.push_back({el.audio, el.frameType, el.length, el.timestamp,
                       std::vector<uint8_t>(el.buffer.begin(), el.buffer.begin() + el.length)});
    }
    FUZZ_CHECK(q.Count() == 0);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // No C:\tvxvr416 there, so the time log stays off.
    setenv("TARVO_DRIVE_C", "/nonexistent/tarvo-fuzz-drive", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    // Two bytes choose the cuts; the rest is the stream.
    uint32_t seed = data[0] | (data[1] << 8);
    const uint8_t* stream = data + 2;
    const size_t length = size - 2;

    // Kept across inputs (a queue per input costs more than the input): Clear
    // must leave nothing of the previous one behind.
    static CFrameQueue& whole = *new CFrameQueue;
    static CFrameQueue& pieces = *new CFrameQueue;
    whole.Clear();
    pieces.Clear();
    FUZZ_CHECK(whole.Count() == 0 && pieces.Count() == 0);

    whole.AddFrame(stream, static_cast<LONG>(length));
    const size_t maxCut = 1 + (seed & 0x3FF);
    for (size_t at = 0; at < length;) {
        seed = seed * 1103515245u + 12345u;
        const size_t n = std::min(length - at, 1 + (seed >> 8) % maxCut);
        pieces.AddFrame(stream + at, static_cast<LONG>(n));
        at += n;
    }

    FUZZ_CHECK(Drain(whole) == Drain(pieces));
    return 0;
}
