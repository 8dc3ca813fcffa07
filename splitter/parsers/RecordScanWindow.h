// The window the index builder scans a record file through: the bytes from a
// position on, read in chunks through the caller's read function and kept, so
// that the next frame's scan (which starts where this frame ended) finds most
// of its bytes already there. Every byte of the file is read once while the
// index is built frame after frame.
//
// ScanRecordFrame asks a frame scanner (RecordFrameScan.h) about a window of
// one chunk and, while the scanner needs more, of two, three ... up to the
// window's chunk limit.
//
// Not thread-safe: one window per index thread.
#pragma once

#include "RecordFrameScan.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

// Reads length bytes at position into out; false on any failure (a short read
// included).
using RecordReadFn = std::function<bool(int64_t position, uint8_t* out, size_t length)>;

class CScanWindow {
public:
    CScanWindow(size_t chunkSize, size_t maxChunks);

    // A new file: nothing kept. fileLength bounds every read.
    void Attach(RecordReadFn read, int64_t fileLength);
    int64_t FileLength() const { return m_fileLength; }
    size_t ChunkSize() const { return m_chunk; }
    size_t MaxChunks() const { return m_maxChunks; }

    // The bytes from position on: want bytes, fewer where the file ends. False
    // when a read fails or position is outside the file.
    bool Fetch(int64_t position, size_t want, RecordWindow& out);

private:
    RecordReadFn m_read;
    int64_t m_fileLength = 0;
    size_t m_chunk;
    size_t m_maxChunks;
    std::vector<uint8_t> m_buffer; // room for maxChunks + 1 chunks
    int64_t m_base = 0;            // file position of m_buffer[0]
    size_t m_fill = 0;
};

enum class RecordScanResult { Found, End, Oversize, ReadError, Limit };

// One frame from position on: the scanner sees a window of one chunk, then of
// more chunks while it answers NeedMore, up to the window's limit (Limit).
// frame.offset is made relative to position... the caller adds it.
template <typename Scanner>
RecordScanResult ScanRecordFrame(CScanWindow& window, int64_t position, Scanner&& scan,
                                 ScannedFrame& frame)
{
    if (position < 0 || position >= window.FileLength())
        return RecordScanResult::End;
    for (size_t chunks = 1; chunks <= window.MaxChunks(); ++chunks) {
        RecordWindow w;
        if (!window.Fetch(position, chunks * window.ChunkSize(), w))
            return RecordScanResult::ReadError;
        switch (scan(w, frame)) {
        case FrameScanStatus::Found:
            return RecordScanResult::Found;
        case FrameScanStatus::End:
            return RecordScanResult::End;
        case FrameScanStatus::Oversize:
            return RecordScanResult::Oversize;
        case FrameScanStatus::NeedMore:
            if (w.reachesEnd)
                return RecordScanResult::End;
            break;
        }
    }
    return RecordScanResult::Limit;
}
