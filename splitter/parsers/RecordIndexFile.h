// The frame index stored beside a record file (".idx"): a 52-byte header, the
// start position of every frame and the file's end (int64 each), then one
// type byte per entry (1 key, 2 P, 3 B, 0 for the end entry). Integers are
// little-endian.
//
//  off  size
//    0   4   "idx0"
//    4   8   length of the record file
//   12   4   frame duration, 100-ns units
//   16   4   entry count n (frames + 1), 1..512000
//   20   4   GOP length (> 0)
//   24   4   B frames per GOP
//   28   4   P frames per GOP
//   32   4   width
//   36   4   height
//   40   4   ContainerKind
//   44   4   CodecKind
//   48   4   transport-stream video PID (-1 without one)
//   52  8n   positions
// 52+8n  n   types
//
// Pure functions; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

inline constexpr uint8_t kRecordIndexMagic[4] = {'i', 'd', 'x', '0'};
inline constexpr size_t kRecordIndexHeaderSize = 52;
// Entries the tables hold: frames plus the end entry.
inline constexpr int32_t kRecordIndexMaxEntries = 512000;
inline constexpr int32_t kRecordIndexMaxFrames = kRecordIndexMaxEntries - 1;

struct RecordIndexHeader {
    int64_t fileLength = 0;
    int32_t frameDuration = 0;
    int32_t entryCount = 0;
    int32_t gopLength = 0;
    int32_t bFrames = 0;
    int32_t pFrames = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t containerKind = 0;
    int32_t codecKind = 0;
    int32_t videoPid = -1;
};

// The index file's name: the record file's name with its last extension (after
// the last '.' of the last path part) replaced by ".idx", or ".idx" appended
// when it has none. Empty for an empty name.
std::string MakeRecordIndexName(const std::string& mediaName);

// Why an index is not taken, in the order the loader checks.
enum class IndexCheck {
    Ok,
    HeaderShort,    // fewer than 52 bytes
    BadMagic,       // not "idx0"
    LengthMismatch, // stored file length differs from the record file's
    BadEntryCount,  // n outside 1..512000
    BadGop,         // GOP length not above 0
    TablesShort,    // fewer than 8n + n table bytes
    Inconsistent,   // positions out of order or outside the file, unknown types,
                    // or made for another kind of stream
};

// The message the loader prints (to standard output, as the whole output) when
// it rebuilds the index; null for Ok.
const char* IndexCheckMessage(IndexCheck check);

// Reads up to length bytes of the index file at position; returns the count.
using IndexReadFn = std::function<size_t(int64_t position, uint8_t* out, size_t length)>;

// What the loader expects of an index for this record file.
struct RecordIndexExpectation {
    int64_t fileLength = 0;
    int32_t codecKind = 0;
    int32_t containerKind = 0;
};

// Checks and reads an index. positions and types must hold 512000 entries; on
// Ok they and header hold the index (the last entry is the end entry). Other
// results leave the tables' contents unspecified.
IndexCheck LoadRecordIndex(const IndexReadFn& read, const RecordIndexExpectation& expect,
                           RecordIndexHeader& header, int64_t* positions, uint8_t* types);

// The 52 header bytes.
void WriteRecordIndexHeader(const RecordIndexHeader& header, uint8_t out[kRecordIndexHeaderSize]);

// Writes a whole index through write (false on any failure): header, n
// positions, n types, n = header.entryCount.
using IndexWriteFn = std::function<bool(const uint8_t* bytes, size_t length)>;
bool WriteRecordIndex(const IndexWriteFn& write, const RecordIndexHeader& header,
                      const int64_t* positions, const uint8_t* types);
