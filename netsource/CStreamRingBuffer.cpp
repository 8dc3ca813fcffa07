#include "CStreamRingBuffer.h"

#include "win32/file.h"
#include "win32/sync.h"
#include "win32/timefn.h"

#include <cstring>
#include <new>

CStreamRingBuffer::CStreamRingBuffer(CRingLogClock* clock, LONG capacity)
    : m_pBuffer(nullptr), m_capacity(0), m_count(0), m_readPosition(0), m_writePosition(0),
      m_pLogFile(nullptr), m_logPath{}, m_dataEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      m_pClock(clock)
{
    if (capacity > 0) {
        m_pBuffer = new (std::nothrow) BYTE[capacity];
        if (m_pBuffer)
            m_capacity = capacity;
    }
}

CStreamRingBuffer::~CStreamRingBuffer()
{
    delete[] m_pBuffer;
    if (m_pLogFile)
        fclose(m_pLogFile);
    if (m_dataEvent)
        CloseHandle(m_dataEvent);
}

LONG CStreamRingBuffer::LogStreamTime()
{
    return m_pClock ? m_pClock->RingLogStreamTime() : 0;
}

void CStreamRingBuffer::CopyIn(const BYTE* source, LONG length)
{
    // At most two copies: up to the end of the storage, then from its start.
    const LONG first =
        length < m_capacity - m_writePosition ? length : m_capacity - m_writePosition;
    memcpy(m_pBuffer + m_writePosition, source, static_cast<size_t>(first));
    if (length > first)
        memcpy(m_pBuffer, source + first, static_cast<size_t>(length - first));
    m_writePosition =
        static_cast<LONG>((static_cast<LONGLONG>(m_writePosition) + length) % m_capacity);
}

void CStreamRingBuffer::CopyOut(BYTE* destination, LONG length)
{
    const LONG first = length < m_capacity - m_readPosition ? length : m_capacity - m_readPosition;
    memcpy(destination, m_pBuffer + m_readPosition, static_cast<size_t>(first));
    if (length > first)
        memcpy(destination + first, m_pBuffer, static_cast<size_t>(length - first));
    m_readPosition =
        static_cast<LONG>((static_cast<LONGLONG>(m_readPosition) + length) % m_capacity);
}

void CStreamRingBuffer::AppendLocked(const BYTE* source, LONG* length, BOOL overwrite)
{
    int cover = 0;
    LONG stored = *length;
    if (static_cast<LONGLONG>(m_count) + stored > m_capacity) {
        if (overwrite) {
            cover = 1;
            // A block longer than the whole ring: only its newest bytes can stay.
            if (stored > m_capacity) {
                source += stored - m_capacity;
                stored = m_capacity;
            }
        } else {
            stored = m_capacity - m_count;
            *length = stored;
        }
    }
    if (stored > 0)
        CopyIn(source, stored);
    if (cover) {
        m_readPosition = m_writePosition;
        m_count = m_capacity;
    } else {
        m_count += stored;
    }

    if (m_pLogFile) {
        SYSTEMTIME now;
        GetLocalTime(&now);
        fprintf(m_pLogFile,
                "Write:%02d-%02d %02d:%02d:%02d, StreamTime:%d, Length:%d, Total:%d, "
                "WritePostion:%d, Cover:%d\n",
                now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                static_cast<int>(LogStreamTime()), static_cast<int>(*length),
                static_cast<int>(m_count), static_cast<int>(m_writePosition), cover);
    }
}

HRESULT CStreamRingBuffer::Write(const BYTE* source, LONG* length, BOOL overwrite)
{
    if (!length)
        return E_POINTER;
    if (!m_pBuffer)
        return E_FAIL;
    if (!source || *length < 0) {
        *length = 0;
        return E_FAIL;
    }

    CAutoLock lock(&m_ringLock);
    const bool wasEmpty = m_count == 0;
    AppendLocked(source, length, overwrite);
    if (wasEmpty && m_count > 0 && m_dataEvent)
        SetEvent(m_dataEvent);
    return S_OK;
}

HRESULT CStreamRingBuffer::WriteBlocks(const Block* blocks, int count)
{
    if (!m_pBuffer)
        return E_FAIL;
    CAutoLock lock(&m_ringLock);
    const bool wasEmpty = m_count == 0;
    for (int i = 0; i < count; ++i) {
        LONG length = blocks[i].length;
        if (blocks[i].data && length >= 0)
            AppendLocked(blocks[i].data, &length, TRUE);
    }
    if (wasEmpty && m_count > 0 && m_dataEvent)
        SetEvent(m_dataEvent);
    return S_OK;
}

HRESULT CStreamRingBuffer::Read(BYTE* destination, LONG* length, BOOL partial)
{
    if (!length)
        return E_POINTER;
    if (!m_pBuffer)
        return E_FAIL;
    if (!destination || *length < 0) {
        *length = 0;
        return E_FAIL;
    }

    CAutoLock lock(&m_ringLock);
    if (m_count < *length) {
        if (!partial) {
            *length = 0;
            return E_FAIL;
        }
        *length = m_count;
    }
    if (*length > 0) {
        CopyOut(destination, *length);
        m_count -= *length;
        if (m_count == 0 && m_dataEvent)
            ResetEvent(m_dataEvent);
    }

    if (m_pLogFile) {
        SYSTEMTIME now;
        GetLocalTime(&now);
        fprintf(
            m_pLogFile,
            "Read:%02d-%02d %02d:%02d:%02d, StreamTime:%d, Length:%d, Total:%d, ReadPostion:%d\n",
            now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
            static_cast<int>(LogStreamTime()), static_cast<int>(*length), static_cast<int>(m_count),
            static_cast<int>(m_readPosition));
    }
    return S_OK;
}

HRESULT CStreamRingBuffer::Flush()
{
    CAutoLock lock(&m_ringLock);
    m_readPosition = m_writePosition = m_count = 0;
    if (m_dataEvent)
        ResetEvent(m_dataEvent);
    if (m_pLogFile) {
        SYSTEMTIME now;
        GetLocalTime(&now);
        fprintf(m_pLogFile,
                "Flush:%02d-%02d %02d:%02d:%02d, StreamTime:%d, ReadPosition %d, WritePostion:%d\n",
                now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                static_cast<int>(LogStreamTime()), static_cast<int>(m_readPosition),
                static_cast<int>(m_writePosition));
        fflush(m_pLogFile);
    }
    return S_OK;
}

HRESULT CStreamRingBuffer::SetLogPath(const char* path)
{
    CAutoLock lock(&m_ringLock);
    m_logPath[0] = '\0';
    if (m_pLogFile) {
        fclose(m_pLogFile);
        m_pLogFile = nullptr;
    }
    if (!path)
        return S_OK;
    // The stored path must fit the callers' buffers of GetLogPath.
    if (strlen(path) >= sizeof(m_logPath))
        return E_FAIL;
    m_pLogFile = TvFopen(path, "wb");
    if (!m_pLogFile)
        return E_FAIL;
    strcpy(m_logPath, path);
    return S_OK;
}

HRESULT CStreamRingBuffer::GetLogPath(char* path)
{
    if (!path)
        return E_POINTER;
    CAutoLock lock(&m_ringLock);
    strcpy(path, m_logPath);
    return S_OK;
}

CStreamRingBuffer::State CStreamRingBuffer::GetState()
{
    CAutoLock lock(&m_ringLock);
    return State{m_capacity, m_count, m_readPosition, m_writePosition};
}
