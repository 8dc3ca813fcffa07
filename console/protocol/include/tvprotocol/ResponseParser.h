// The response parser: finds the device's answer in an untrusted byte stream.
//
// It reads byte by byte and keeps the bytes of the header it is trying to
// match (at most 16). At the first byte that does not fit (magic, the fixed
// 0x01, the frame kind, the command echo, the length or the checksum) it drops
// the first kept byte and re-scans the rest, so a true header that starts
// inside noise or inside a broken header is still found. Nothing is read past
// the frame it accepts, and payload bytes go only into the caller's buffer up
// to its capacity.
//
// Pure code over an IByteSource: the socket exchange and the fuzz target use
// the same path.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tvprotocol {

enum class ResponseKind {
    Data,       // frame kind 2 or 3; length = expected length, or 4 for a status
    Status,     // frame kind 3; length 4
    StreamList, // 0x0400: kind 2 or 3; length 0, 4, or a multiple of 24 up to 240
};

struct ResponseExpectation {
    uint16_t command = 0;
    ResponseKind kind = ResponseKind::Status;
    size_t length = 0; // Data: the payload length of the command
};

// Where the parser's bytes come from.
class IByteSource {
public:
    // Fills exactly `count` bytes, or returns a negative result code (-8, -9,
    // -10) and the parse ends with it.
    virtual int Read(uint8_t* buffer, size_t count) = 0;

protected:
    ~IByteSource() = default;
};

// Matches one 16-byte header; fed one byte at a time.
class CHeaderScanner {
public:
    explicit CHeaderScanner(const ResponseExpectation& expect);

    // Returns true when the bytes fed so far end in a complete, acceptable
    // header; Header() then holds it.
    bool Feed(uint8_t byte);
    const uint8_t* Header() const { return m_window; }
    uint16_t Length() const;
    uint8_t Kind() const { return m_window[7]; }

private:
    bool Consistent() const;
    bool LengthAccepted(uint16_t length) const;

    ResponseExpectation m_expect;
    uint8_t m_window[16] = {};
    size_t m_count = 0;
};

// Reads one response. Returns:
//   0 with *payloadLength bytes in `payload` (Data: the expected length;
//     StreamList: the length of the frame);
//   a positive device status (any frame of length 4 with a non-zero status);
//   -10 when a data or stream-list exchange got the status 0 instead of data;
//   -20 for a stream list of length 0;
//   or the source's negative code.
// `capacity` must hold the expected length (Data) or kMaxPayload (StreamList);
// a smaller buffer gives -2 before reading.
int ReadResponse(IByteSource& source, const ResponseExpectation& expect, uint8_t* payload,
                 size_t capacity, size_t* payloadLength);

// Converts a big-endian status word into a result: 0, or a positive device
// status; words above 0x7FFFFFFF become kStatusUnrepresentable.
int StatusFromWord(const uint8_t* word);

} // namespace tvprotocol
