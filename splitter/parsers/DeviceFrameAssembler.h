// Collects the device frames (36-byte headers) that an application pushes in
// pieces of any size, as the frame queue of CodecKind 512 receives them.
//
// The pushed bytes are one stream: what comes out depends only on the bytes,
// never on how they were cut into pushes. A frame starts at ">>>>" whose byte 5
// has the high nibble 2 (a candidate header) and whose total length (offset 20)
// lies in 36..kCapacity; its bytes are the next total-length bytes. A candidate
// header lying whole inside those bytes means the frame was cut short: it is
// dropped and assembly restarts at that header. Bytes between frames that start
// no candidate are skipped. A frame is handed out as soon as its last byte
// arrives.
//
// Never writes past its buffer, never reads outside the pushed bytes. Not
// thread-safe: the owner serialises Push and Reset.
#pragma once

#include "DeviceFrameHeader.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

class DeviceFrameAssembler {
public:
    // The assembly buffer; frames with a larger total length are rejected.
    static constexpr size_t kCapacity = 307200;

    // Receives each complete frame: its total-length bytes (header first) and
    // its header. The bytes are valid only during the call.
    using FrameSink =
        std::function<void(std::span<const uint8_t> frame, const DeviceFrameHeader& header)>;

    // Appends bytes to the stream and hands every frame they complete to sink,
    // in stream order.
    void Push(std::span<const uint8_t> bytes, const FrameSink& sink);
    // Forgets a partly collected frame.
    void Reset();
    // Bytes held for a frame not yet complete.
    size_t Pending() const { return m_fill; }

    // True when the 6 bytes at p are ">>>>" with a byte 5 of high nibble 2.
    static bool IsCandidateHeader(const uint8_t* p);

private:
    void Process(const FrameSink& sink);
    void Drop(size_t count);
    void Commit(const FrameSink& sink);

    std::unique_ptr<uint8_t[]> m_buffer; // kCapacity bytes, allocated on first use
    size_t m_fill = 0;
    size_t m_expected = 0; // total length of the frame being collected, 0 while none
    size_t m_checked = 0;  // inner positions already searched for a candidate header
};
