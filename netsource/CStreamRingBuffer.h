// CStreamRingBuffer: the byte ring between the network source's receive thread
// (and InputData) and the output pin's streaming thread.
//
// The stored bytes are the `count` bytes starting at the read position,
// wrapping at the capacity. Writers choose between cutting what does not fit
// and overwriting the oldest bytes (the receive path always overwrites, so a
// slow consumer loses the oldest bytes, never the newest). Readers choose
// between taking what is there (partial) and all-or-nothing.
//
// Optional text log of every write, read and flush ("ring log"), switched with
// SetLogPath. Every method may be called from any thread; the ring lock is the
// innermost lock of the network source (connection lock, record lock, ring
// lock).
#pragma once

#include "win32/types.h"

#include <wxutil.h>

#include <cstdio>

// What the ring log asks of the filter that owns the ring: the filter's
// current stream time in milliseconds, 0 when it has no reference clock. Called
// with the ring lock held, only while the log is open, so it must not take the
// filter's state lock (a streaming thread is reading the ring while Stop holds
// that lock and waits for it).
class CRingLogClock {
public:
    virtual LONG RingLogStreamTime() = 0;

protected:
    ~CRingLogClock() = default;
};

#define NWSOURCE_LOG_PATH_SIZE 260

class CStreamRingBuffer {
public:
    // clock: may be null (stream time 0 in the log). A negative or unallocatable
    // capacity leaves a ring without storage whose reads and writes fail.
    CStreamRingBuffer(CRingLogClock* clock, LONG capacity);
    virtual ~CStreamRingBuffer();
    CStreamRingBuffer(const CStreamRingBuffer&) = delete;
    CStreamRingBuffer& operator=(const CStreamRingBuffer&) = delete;

    // Appends *length bytes. Without overwrite, what does not fit is cut off
    // (*length becomes the bytes stored). With overwrite, the oldest bytes make
    // room; a block longer than the capacity keeps its last `capacity` bytes.
    // E_FAIL without storage, for a null source or a negative length (*length
    // set to 0); E_POINTER for a null length.
    HRESULT Write(const BYTE* source, LONG* length, BOOL overwrite);
    // Appends several blocks in order, overwriting the oldest bytes, as many
    // Write calls with overwrite would, but under one taking of the ring lock
    // and with at most one signal of the data event: a reader sleeping on it
    // wakes once for the whole batch. E_FAIL without storage; blocks with a
    // null source or a negative length are skipped (as Write refuses them).
    struct Block {
        const BYTE* data;
        LONG length;
    };
    HRESULT WriteBlocks(const Block* blocks, int count);
    // Takes up to *length bytes. With partial, *length becomes what was there;
    // without, a ring holding fewer bytes gives E_FAIL and *length 0. S_OK also
    // for 0 bytes. E_FAIL without storage, for a null destination or a negative
    // length; E_POINTER for a null length.
    HRESULT Read(BYTE* destination, LONG* length, BOOL partial);
    // Empties the ring (and writes the "Flush:" line, flushing the log to disk).
    HRESULT Flush();

    // A manual-reset event that is signalled exactly while the ring holds
    // bytes, so a reader that found it empty can sleep until something comes
    // (WaitForSingleObject or WaitForMultipleObjects; never Set or Reset it).
    // Null when it could not be created.
    HANDLE DataEvent() const { return m_dataEvent; }

    // Opens the ring log at path (truncated if it exists), or closes it for
    // null. E_FAIL when the file cannot be created or the path does not fit in
    // NWSOURCE_LOG_PATH_SIZE bytes; logging is off afterwards.
    HRESULT SetLogPath(const char* path);
    // path: NWSOURCE_LOG_PATH_SIZE bytes; empty when there is no log.
    HRESULT GetLogPath(char* path);

    // For tests and diagnostics (a consistent snapshot under the ring lock).
    struct State {
        LONG capacity, count, readPosition, writePosition;
    };
    State GetState();

private:
    void CopyIn(const BYTE* source, LONG length);
    // Ring lock held: one block of Write (*length becomes the bytes stored),
    // with its log line; the data event is the caller's.
    void AppendLocked(const BYTE* source, LONG* length, BOOL overwrite);
    void CopyOut(BYTE* destination, LONG length);
    LONG LogStreamTime();

    // guarded by m_ringLock
    BYTE* m_pBuffer;
    LONG m_capacity; // constant after construction
    LONG m_count;
    LONG m_readPosition;
    LONG m_writePosition;
    FILE* m_pLogFile;
    char m_logPath[NWSOURCE_LOG_PATH_SIZE];

    CCritSec m_ringLock;
    // Manual reset; set and reset under m_ringLock as m_count leaves or reaches 0.
    HANDLE m_dataEvent;
    CRingLogClock* const m_pClock;
};
