#include "tvprotocol/ResponseParser.h"

#include <cstring>

#include "tvprotocol/Transport.h"

namespace tvprotocol {

namespace {

constexpr uint8_t kMagic[6] = {0xFF, 0xFF, 0x57, 0x51, 0x58, 0x4E};
constexpr size_t kStreamEntrySize = 24;

uint16_t Be16(const uint8_t* p)
{
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

} // namespace

int StatusFromWord(const uint8_t* word)
{
    const uint32_t value = (uint32_t(word[0]) << 24) | (uint32_t(word[1]) << 16) |
                           (uint32_t(word[2]) << 8) | uint32_t(word[3]);
    if (value > 0x7FFFFFFFu)
        return kStatusUnrepresentable;
    return static_cast<int>(value);
}

CHeaderScanner::CHeaderScanner(const ResponseExpectation& expect) : m_expect(expect) {}

uint16_t CHeaderScanner::Length() const
{
    return Be16(m_window + 10);
}

bool CHeaderScanner::LengthAccepted(uint16_t length) const
{
    switch (m_expect.kind) {
    case ResponseKind::Status:
        return length == 4;
    case ResponseKind::Data:
        return length == 4 || length == m_expect.length;
    case ResponseKind::StreamList:
        return length == 0 || length == 4 ||
               (length % kStreamEntrySize == 0 && length <= kMaxPayload);
    }
    return false;
}

// Checks every field whose bytes have all arrived.
bool CHeaderScanner::Consistent() const
{
    const size_t n = m_count;
    for (size_t i = 0; i < n && i < sizeof kMagic; ++i)
        if (m_window[i] != kMagic[i])
            return false;
    if (n > 6 && m_window[6] != 0x01)
        return false;
    if (n > 7) {
        const uint8_t kind = m_window[7];
        const bool ok = m_expect.kind == ResponseKind::Status
                            ? kind == kFrameStatus
                            : (kind == kFrameData || kind == kFrameStatus);
        if (!ok)
            return false;
    }
    if (n > 9 && Be16(m_window + 8) != m_expect.command)
        return false;
    if (n > 11 && !LengthAccepted(Be16(m_window + 10)))
        return false;
    if (n == 16 && HeaderChecksum(m_window) != m_window[15])
        return false;
    return true;
}

bool CHeaderScanner::Feed(uint8_t byte)
{
    if (m_count == sizeof m_window) {
        // A header was already reported; start over.
        m_count = 0;
    }
    m_window[m_count++] = byte;
    // Drop leading bytes until what is kept could still begin a header.
    while (m_count > 0 && !Consistent()) {
        std::memmove(m_window, m_window + 1, m_count - 1);
        --m_count;
    }
    return m_count == sizeof m_window;
}

int ReadResponse(IByteSource& source, const ResponseExpectation& expect, uint8_t* payload,
                 size_t capacity, size_t* payloadLength)
{
    if (payloadLength)
        *payloadLength = 0;
    const size_t needed = expect.kind == ResponseKind::Data         ? expect.length
                          : expect.kind == ResponseKind::StreamList ? kMaxPayload
                                                                    : 0;
    if ((needed > 0 && payload == nullptr) || capacity < needed)
        return kResultBadParameter;

    CHeaderScanner scanner(expect);
    for (;;) {
        uint8_t byte = 0;
        const int r = source.Read(&byte, 1);
        if (r != 0)
            return r;
        if (scanner.Feed(byte))
            break;
    }

    const uint16_t length = scanner.Length();
    if (length == 4) {
        uint8_t word[4];
        const int r = source.Read(word, sizeof word);
        if (r != 0)
            return r;
        const int status = StatusFromWord(word);
        // A status of 0 acknowledges a set; where data was asked for it
        // leaves the caller without data, so it cannot count as success.
        if (status == 0 && expect.kind != ResponseKind::Status)
            return kResultReceive;
        return status;
    }
    if (expect.kind == ResponseKind::StreamList && length == 0)
        return kResultNoStreams;

    // Data: the expected length; stream list: a checked multiple of 24 <= 240.
    const size_t count = expect.kind == ResponseKind::Data ? expect.length : length;
    if (count > capacity)
        return kResultReceive; // cannot happen after the length checks above
    if (count > 0) {
        const int r = source.Read(payload, count);
        if (r != 0)
            return r;
    }
    if (payloadLength)
        *payloadLength = count;
    return kResultOk;
}

} // namespace tvprotocol
