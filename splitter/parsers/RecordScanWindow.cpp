#include "RecordScanWindow.h"

#include <algorithm>
#include <cstring>

CScanWindow::CScanWindow(size_t chunkSize, size_t maxChunks)
    : m_chunk(std::max<size_t>(chunkSize, 1)), m_maxChunks(std::max<size_t>(maxChunks, 1))
{
}

void CScanWindow::Attach(RecordReadFn read, int64_t fileLength)
{
    m_read = std::move(read);
    m_fileLength = std::max<int64_t>(fileLength, 0);
    m_base = 0;
    m_fill = 0;
}

bool CScanWindow::Fetch(int64_t position, size_t want, RecordWindow& out)
{
    if (!m_read || position < 0 || position >= m_fileLength)
        return false;
    if (m_buffer.empty())
        m_buffer.resize((m_maxChunks + 1) * m_chunk);
    want = std::min(want, m_maxChunks * m_chunk);
    const int64_t end = std::min<int64_t>(position + static_cast<int64_t>(want), m_fileLength);
    // Keep what is buffered from position on; drop the rest.
    if (position < m_base || position > m_base + static_cast<int64_t>(m_fill)) {
        m_base = position;
        m_fill = 0;
    } else if (end > m_base + static_cast<int64_t>(m_buffer.size())) {
        const size_t drop = static_cast<size_t>(position - m_base);
        std::memmove(m_buffer.data(), m_buffer.data() + drop, m_fill - drop);
        m_fill -= drop;
        m_base = position;
    }
    while (m_base + static_cast<int64_t>(m_fill) < end) {
        const int64_t at = m_base + static_cast<int64_t>(m_fill);
        const size_t n = static_cast<size_t>(
            std::min<int64_t>({static_cast<int64_t>(m_chunk),
                               static_cast<int64_t>(m_buffer.size() - m_fill), m_fileLength - at}));
        if (n == 0 || !m_read(at, m_buffer.data() + m_fill, n))
            return false;
        m_fill += n;
    }
    const size_t from = static_cast<size_t>(position - m_base);
    out.bytes =
        std::span<const uint8_t>(m_buffer.data() + from, static_cast<size_t>(end - position));
    out.reachesEnd = end >= m_fileLength;
    return true;
}
