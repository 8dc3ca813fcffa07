// The file behind the async reader: positioned reads of a regular file that
// never move a shared file offset, so any number of threads may read at once.
// Reads are bounds-checked against the length found at Open.
#pragma once

#include <string>
#include <utility>

#include "win32/types.h"

class CAsyncFile {
public:
    CAsyncFile() = default;
    ~CAsyncFile();
    CAsyncFile(const CAsyncFile&) = delete;
    CAsyncFile& operator=(const CAsyncFile&) = delete;

    // Opens a POSIX path for reading (not thread-safe against reads). Failures as
    // HRESULT_FROM_WIN32 of the Win32 error for the errno (file not found, access
    // denied, ...); a folder gives E_INVALIDARG. Closes any file open before.
    HRESULT Open(const std::string& path);
    void Close();
    // Exchanges the open files of two objects (not thread-safe against reads).
    void Swap(CAsyncFile& other) noexcept
    {
        std::swap(m_fd, other.m_fd);
        std::swap(m_length, other.m_length);
    }
    bool IsOpen() const { return m_fd >= 0; }
    // Bytes in the file when it was opened.
    LONGLONG Length() const { return m_length; }

    // Any thread. Reads up to length bytes at position into buffer; *read (may be
    // null) gets the count. S_OK when all length bytes were read; S_FALSE when the
    // file ended first (the short count is in *read, 0 at or past the end);
    // E_INVALIDARG for a negative position or length, E_POINTER for a null buffer
    // with a length, E_UNEXPECTED when no file is open, else the I/O error.
    HRESULT Read(LONGLONG position, LONG length, BYTE* buffer, LONG* read) const;

private:
    int m_fd = -1;
    LONGLONG m_length = 0;
};
