// CJP2KParser: record files of JPEG 2000 fields (CodecKind 4). A frame is a
// field pair (both 144-byte field headers and codestreams, as delivered);
// every frame is a key frame. Times come from the field headers' capture
// times: the frame's timestamp, the position, the duration and seeking.
//
// Threads and locks as for CBaseParserIndex; the capture times of index
// entries are read from the file when first needed and kept under m_lock.
#pragma once

#include "CBaseParserIndex.h"

#include <vector>

class CJP2KParser : public CBaseParserIndex {
public:
    static constexpr size_t kReadBufferSize = 512000;
    // Header search reads; five of them bound the scan past the last frame.
    static constexpr size_t kScanChunk = 0x200000;
    // A frame counts as reached when it lies this close before the target.
    static constexpr int64_t kSeekToleranceUs = 100000;

    explicit CJP2KParser(const ParserStreamSetup& setup);
    ~CJP2KParser() override;

    // The first frame from the first on whose capture time, counted from the
    // first frame's, is within 100 ms of the target or later. -1 while
    // indexing or when no frame qualifies.
    int SeekTime(int64_t microseconds) override;
    // (time of the current frame - time of the first) x 10; the duration (in
    // 100-ns units) at or past the end.
    int64_t GetPosition() override;
    // Time of the last frame minus time of the first, microseconds.
    int64_t GetDuration() override;

    std::unique_ptr<ParsedFrame> ScanFrame(int64_t position) override;

protected:
    void DecodeSpan(std::span<uint8_t> span, bool reverse) override;

private:
    // Capture time of frame i in microseconds (m_lock held); -1 when its header
    // cannot be read.
    int64_t FrameTimeUs(int32_t i);

    std::vector<int64_t> m_times; // guarded by m_lock; -2 = not read yet
};
