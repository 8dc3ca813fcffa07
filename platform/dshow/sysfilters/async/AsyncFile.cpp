#include "async/AsyncFile.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

CAsyncFile::~CAsyncFile()
{
    Close();
}

HRESULT CAsyncFile::Open(const std::string& path)
{
    Close();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return HRESULT_FROM_WIN32(TvWin32ErrorFromErrno(errno));
    struct stat st;
    if (fstat(fd, &st) != 0) {
        int error = errno;
        ::close(fd);
        return HRESULT_FROM_WIN32(TvWin32ErrorFromErrno(error));
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return E_INVALIDARG;
    }
    m_fd = fd;
    m_length = LONGLONG(st.st_size);
    return S_OK;
}

void CAsyncFile::Close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_length = 0;
}

HRESULT CAsyncFile::Read(LONGLONG position, LONG length, BYTE* buffer, LONG* read) const
{
    if (read)
        *read = 0;
    if (position < 0 || length < 0)
        return E_INVALIDARG;
    if (!buffer && length > 0)
        return E_POINTER;
    if (m_fd < 0)
        return E_UNEXPECTED;
    if (position >= m_length)
        return length == 0 ? S_OK : S_FALSE;
    LONGLONG wanted = std::min<LONGLONG>(length, m_length - position);
    LONGLONG done = 0;
    while (done < wanted) {
        ssize_t n = ::pread(m_fd, buffer + done, size_t(wanted - done), off_t(position + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (read)
                *read = LONG(done);
            return HRESULT_FROM_WIN32(TvWin32ErrorFromErrno(errno));
        }
        if (n == 0)
            break; // the file shrank since Open
        done += n;
    }
    if (read)
        *read = LONG(done);
    return done == length ? S_OK : S_FALSE;
}
