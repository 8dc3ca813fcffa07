#include "DeviceFrameAssembler.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kCandidateBytes = 6; // magic and layout byte

// First offset from which the bytes could still begin a candidate header: the
// magic matches as far as it is there, and so does byte 5 when it is there.
// A prefix of a candidate at the end counts (more bytes may complete it).
size_t CandidateStart(std::span<const uint8_t> bytes)
{
    const size_t n = bytes.size();
    for (size_t i = 0; i < n; ++i) {
        const void* hit = std::memchr(bytes.data() + i, kDeviceFrameMagic[0], n - i);
        if (!hit)
            return n;
        i = static_cast<const uint8_t*>(hit) - bytes.data();
        const size_t avail = n - i;
        if (avail >= kCandidateBytes) {
            if (DeviceFrameAssembler::IsCandidateHeader(bytes.data() + i))
                return i;
            continue;
        }
        const size_t magic = std::min<size_t>(avail, sizeof(kDeviceFrameMagic));
        if (std::memcmp(bytes.data() + i, kDeviceFrameMagic, magic) == 0)
            return i;
    }
    return n;
}

} // namespace

bool DeviceFrameAssembler::IsCandidateHeader(const uint8_t* p)
{
    return std::memcmp(p, kDeviceFrameMagic, sizeof(kDeviceFrameMagic)) == 0 && (p[5] >> 4) == 2;
}

void DeviceFrameAssembler::Reset()
{
    m_fill = 0;
    m_expected = 0;
    m_checked = 0;
}

void DeviceFrameAssembler::Push(std::span<const uint8_t> bytes, const FrameSink& sink)
{
    while (!bytes.empty()) {
        if (m_fill == 0) {
            // Skip what cannot start a frame without copying it.
            bytes = bytes.subspan(CandidateStart(bytes));
            if (bytes.empty())
                break;
        }
        if (!m_buffer)
            m_buffer = std::make_unique_for_overwrite<uint8_t[]>(kCapacity);
        // Take no more than the current step needs: the header, or the rest of
        // the frame. Both are at most kCapacity - m_fill.
        const size_t need = m_expected ? m_expected - m_fill : kDeviceHeader36Size - m_fill;
        const size_t take = std::min(need, bytes.size());
        std::memcpy(m_buffer.get() + m_fill, bytes.data(), take);
        m_fill += take;
        bytes = bytes.subspan(take);
        Process(sink);
    }
}

void DeviceFrameAssembler::Process(const FrameSink& sink)
{
    for (;;) {
        if (m_expected == 0) {
            Drop(CandidateStart({m_buffer.get(), m_fill}));
            if (m_fill < kDeviceHeader36Size)
                return;
            DeviceFrameHeader header;
            const bool read = ReadDeviceFrameHeader({m_buffer.get(), m_fill}, header);
            if (!read || header.totalLength < static_cast<int64_t>(kDeviceHeader36Size) ||
                header.totalLength > static_cast<int64_t>(kCapacity)) {
                Drop(1);
                continue;
            }
            m_expected = static_cast<size_t>(header.totalLength);
            m_checked = 1;
        }
        // A candidate header whole inside the frame's bytes ends the frame early.
        // Positions up to m_expected - 36 are searched, each once all 6 of its
        // bytes are here.
        const size_t last = m_expected - kDeviceHeader36Size;
        const size_t decidable = m_fill >= kCandidateBytes ? m_fill - kCandidateBytes : 0;
        const size_t end = std::min(last, decidable); // inclusive
        bool cut = false;
        for (size_t j = m_checked; j <= end; ++j) {
            const void* hit = std::memchr(m_buffer.get() + j, kDeviceFrameMagic[0], end + 1 - j);
            if (!hit)
                break;
            j = static_cast<const uint8_t*>(hit) - m_buffer.get();
            if (IsCandidateHeader(m_buffer.get() + j)) {
                Drop(j);
                cut = true;
                break;
            }
        }
        if (cut) {
            m_expected = 0;
            continue;
        }
        m_checked = std::max(m_checked, end + 1);
        if (m_fill < m_expected)
            return;
        Commit(sink);
    }
}

void DeviceFrameAssembler::Drop(size_t count)
{
    count = std::min(count, m_fill);
    if (count == 0)
        return;
    std::memmove(m_buffer.get(), m_buffer.get() + count, m_fill - count);
    m_fill -= count;
}

void DeviceFrameAssembler::Commit(const FrameSink& sink)
{
    DeviceFrameHeader header;
    ReadDeviceFrameHeader({m_buffer.get(), m_fill}, header);
    const size_t length = m_expected;
    m_expected = 0;
    m_checked = 0;
    sink({m_buffer.get(), length}, header);
    // Bytes that followed the frame start the next one.
    Drop(length);
}
