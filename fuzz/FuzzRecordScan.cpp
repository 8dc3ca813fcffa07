// The index builder's frame scanning: every stream family's scanner over
// arbitrary bytes, driven through the scan window the way the index thread
// drives it. Frames come in file order, lie inside the file and have a length;
// a scanner that finds a frame in a window finds the same frame in a longer
// window from the same position.
//
// The first input byte picks the scanner, the second the chunk size.
#include "FuzzCheck.h"

#include "RecordFrameScan.h"
#include "RecordScanWindow.h"

#include <cstdint>
#include <cstring>
#include <span>

namespace {

FrameScanStatus Scan(uint8_t which, H264Sps& sps, const RecordWindow& w, ScannedFrame& f)
{
    switch (which % 10) {
    case 0:
        return ScanH264Frame(w, {}, sps, f);
    case 1:
        return ScanH264Frame(w, {.tsPacketSize = 0, .deviceHeaders = true}, sps, f);
    case 2:
        return ScanH264Frame(w, {.tsPacketSize = 188, .deviceHeaders = false}, sps, f);
    case 3:
        return ScanH264Frame(w, {.tsPacketSize = 192, .deviceHeaders = false}, sps, f);
    case 4:
        return ScanMpegFrame(w, {.codecKind = 1, .tsPacketSize = 0}, f);
    case 5:
        return ScanMpegFrame(w, {.codecKind = 2, .tsPacketSize = 188}, f);
    case 6:
        return ScanQBoxFrame(w, {.motionJpeg = false, .maxBoxSize = 4096}, f);
    case 7:
        return ScanQBoxFrame(w, {.motionJpeg = true, .maxBoxSize = 4096}, f);
    case 8:
        return ScanMpegFrame(w, {.codecKind = 2, .tsPacketSize = 0}, f);
    default:
        return ScanJP2KFrame(w, f);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const uint8_t which = data[0];
    const size_t chunk = 16 + data[1] * 4;
    const std::span<const uint8_t> file(data + 2, size - 2);
    if (file.empty())
        return 0;

    CScanWindow window(chunk, 8);
    window.Attach(
        [&](int64_t at, uint8_t* out, size_t n) {
            FUZZ_CHECK(at >= 0 && static_cast<size_t>(at) + n <= file.size());
            std::memcpy(out, file.data() + at, n);
            return true;
        },
        static_cast<int64_t>(file.size()));
    H264Sps sps;
    int64_t position = 0;
    for (int frames = 0; frames < 4096; ++frames) {
        ScannedFrame f;
        if (ScanRecordFrame(
                window, position,
                [&](const RecordWindow& w, ScannedFrame& out) {
                    H264Sps again = sps;
                    const FrameScanStatus status = Scan(which, sps, w, out);
                    if (status == FrameScanStatus::Found) {
                        FUZZ_CHECK(out.offset + out.length <= w.bytes.size());
                        // The same question over the whole rest of the file.
                        ScannedFrame longer;
                        const RecordWindow whole{file.subspan(static_cast<size_t>(position)), true};
                        FUZZ_CHECK(Scan(which, again, whole, longer) == FrameScanStatus::Found);
                        FUZZ_CHECK(longer.offset == out.offset && longer.length == out.length &&
                                   longer.frameType == out.frameType);
                    }
                    return status;
                },
                f) != RecordScanResult::Found)
            break;
        FUZZ_CHECK(f.length > 0);
        FUZZ_CHECK(f.frameType >= 1 && f.frameType <= 3);
        const int64_t end = position + static_cast<int64_t>(f.offset + f.length);
        FUZZ_CHECK(end > position && end <= static_cast<int64_t>(file.size()));
        position = end;
    }
    return 0;
}
