// CReceiveRing: the splitter's receive buffer in push mode. Samples from the
// upstream filter are appended behind the write position; the delivery thread
// cuts units from the read position on. The unread bytes always lie in one
// piece ([read, write)): when the room behind the write position runs out,
// they move to the start first, so the live cutting rules see a plain span and
// never a wrapped one.
//
// Not thread-safe: the filter guards it with its ring lock (Receive, the
// delivery step, Stop, BreakConnect and the file probe, which uses the storage
// as its read window).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

class CReceiveRing {
public:
    static constexpr size_t kDefaultSize = 0x400000; // 4 MB

    explicit CReceiveRing(size_t size = kDefaultSize);
    CReceiveRing(const CReceiveRing&) = delete;
    CReceiveRing& operator=(const CReceiveRing&) = delete;

    enum class AppendResult {
        Appended,  // behind the unread bytes
        Compacted, // the unread bytes moved to the start first
        Overflow,  // too little free room: everything unread was dropped, the
                   // bytes now start the ring
        Refused,   // empty, or not smaller than the ring: nothing changed
    };
    // The push-mode rule: when the free room (read + size - write) is smaller
    // than the bytes, both positions reset and the bytes are stored at the
    // start; otherwise, when the room behind the write position is too small,
    // the unread bytes move to the start; then the bytes are appended.
    AppendResult Append(std::span<const uint8_t> bytes);

    size_t Size() const { return m_size; }
    size_t ReadPosition() const { return m_read; }
    size_t WritePosition() const { return m_write; }
    // Unread bytes.
    size_t Buffered() const { return m_write - m_read; }
    std::span<const uint8_t> Unread() const { return {m_data.get() + m_read, Buffered()}; }
    // Everything from the ring's start to the write position (what stream
    // detection looks at before anything is consumed).
    std::span<const uint8_t> Content() const { return {m_data.get(), m_write}; }

    // The ring operations, relative to the read position. With fewer than n
    // bytes buffered they do nothing and return 0, unless acceptLess asks them
    // to work on what there is; otherwise they return the bytes handled.
    size_t Peek(uint8_t* destination, size_t n, bool acceptLess = false) const;
    size_t Read(uint8_t* destination, size_t n, bool acceptLess = false);
    size_t Skip(size_t n, bool acceptLess = false);

    // Both positions to 0 (Stop, BreakConnect).
    void Reset();

    // The file probe reads its windows straight into the storage, then makes
    // the first `length` bytes the content (read 0, write length).
    std::span<uint8_t> Storage() { return {m_data.get(), m_size}; }
    void SetContent(size_t length);

private:
    std::unique_ptr<uint8_t[]> m_data;
    size_t m_size;
    size_t m_read = 0;
    size_t m_write = 0;
};
