#include "CReceiveRing.h"

#include <algorithm>
#include <cstring>

CReceiveRing::CReceiveRing(size_t size) : m_data(new uint8_t[size]), m_size(size) {}

CReceiveRing::AppendResult CReceiveRing::Append(std::span<const uint8_t> bytes)
{
    const size_t n = bytes.size();
    if (n == 0 || n >= m_size)
        return AppendResult::Refused;
    AppendResult result = AppendResult::Appended;
    if (m_read + m_size - m_write < n) {
        m_read = 0;
        m_write = 0;
        result = AppendResult::Overflow;
    } else if (m_size - m_write < n) {
        std::memmove(m_data.get(), m_data.get() + m_read, Buffered());
        m_write -= m_read;
        m_read = 0;
        result = AppendResult::Compacted;
    }
    std::memcpy(m_data.get() + m_write, bytes.data(), n);
    m_write += n;
    return result;
}

size_t CReceiveRing::Peek(uint8_t* destination, size_t n, bool acceptLess) const
{
    if (Buffered() < n) {
        if (!acceptLess)
            return 0;
        n = Buffered();
    }
    if (n > 0)
        std::memcpy(destination, m_data.get() + m_read, n);
    return n;
}

size_t CReceiveRing::Read(uint8_t* destination, size_t n, bool acceptLess)
{
    n = Peek(destination, n, acceptLess);
    m_read += n;
    return n;
}

size_t CReceiveRing::Skip(size_t n, bool acceptLess)
{
    if (Buffered() < n) {
        if (!acceptLess)
            return 0;
        n = Buffered();
    }
    m_read += n;
    return n;
}

void CReceiveRing::Reset()
{
    m_read = 0;
    m_write = 0;
}

void CReceiveRing::SetContent(size_t length)
{
    m_read = 0;
    m_write = std::min(length, m_size);
}
