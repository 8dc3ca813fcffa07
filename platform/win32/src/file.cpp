// File handles: CreateFileA and the calls that work on an open file. A handle is
// the file's descriptor, so the data path is plain read/write/lseek.
#include "win32/file.h"

#include "file_common.h"
#include "win32/path.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tv::file {

BOOL Fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

DWORD ErrorForPath(const std::string& mappedPath, int err)
{
    if (err == EISDIR)
        return ERROR_ACCESS_DENIED;
    if (err != ENOENT)
        return TvWin32ErrorFromErrno(err);
    std::string parent = mappedPath;
    while (parent.size() > 1 && parent.back() == '/')
        parent.pop_back();
    size_t slash = parent.find_last_of('/');
    if (slash == std::string::npos)
        return ERROR_FILE_NOT_FOUND; // the current folder is there
    parent.resize(slash == 0 ? 1 : slash);
    struct stat st;
    if (stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return ERROR_FILE_NOT_FOUND;
    return ERROR_PATH_NOT_FOUND;
}

int MakeDirectories(const std::string& path)
{
    struct stat st;
    if (path.empty() || (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)))
        return 0;
    size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0) {
        if (int err = MakeDirectories(path.substr(0, slash)))
            return err;
    }
    if (mkdir(path.c_str(), 0777) != 0 && errno != EEXIST)
        return errno;
    return 0;
}

std::string MapForCreate(const char* path)
{
    const char* p = path;
    if (TvIsPathSeparator(p[0]) && TvIsPathSeparator(p[1]) && p[2] == '?' &&
        TvIsPathSeparator(p[3]))
        p += 4;
    if (((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z')) && p[1] == ':')
        MakeDirectories(TvDriveRoot(p[0]));
    return TvMapPath(path);
}

} // namespace tv::file

using tv::file::ErrorForPath;
using tv::file::Fail;

namespace {

// The descriptor of a file handle, setting ERROR_INVALID_HANDLE when there is none.
int FdOrFail(HANDLE file)
{
    int fd = TvFdFromHandle(file);
    if (fd < 0)
        SetLastError(ERROR_INVALID_HANDLE);
    return fd;
}

// EBADF on a descriptor that is open means it lacks the access asked for.
DWORD IoError(int fd, int err, DWORD ioFault)
{
    if ((err == EBADF || err == EINVAL) && fcntl(fd, F_GETFD) != -1)
        return ERROR_ACCESS_DENIED;
    if (err == EISDIR)
        return ERROR_INVALID_FUNCTION;
    if (err == EIO)
        return static_cast<DWORD>(ioFault);
    if (err == EFBIG)
        return ERROR_DISK_FULL;
    if (err == EPIPE)
        return ERROR_BROKEN_PIPE;
    return TvWin32ErrorFromErrno(err);
}

// Moves the descriptor's position by move from method's origin. Returns false
// with *error set when the method is unknown, the result would be negative or
// the descriptor cannot seek; the position then stays where it was.
bool Seek(int fd, int64_t move, DWORD method, int64_t maxPosition, int64_t* result, DWORD* error)
{
    int64_t base = 0;
    if (method == FILE_CURRENT) {
        off_t now = lseek(fd, 0, SEEK_CUR);
        if (now < 0) {
            *error = TvWin32ErrorFromErrno(errno);
            return false;
        }
        base = now;
    } else if (method == FILE_END) {
        struct stat st;
        if (fstat(fd, &st) != 0) {
            *error = TvWin32ErrorFromErrno(errno);
            return false;
        }
        base = st.st_size;
    } else if (method != FILE_BEGIN) {
        *error = ERROR_INVALID_PARAMETER;
        return false;
    }
    int64_t target = 0;
    if (__builtin_add_overflow(base, move, &target)) {
        *error = ERROR_INVALID_PARAMETER;
        return false;
    }
    if (target < 0) {
        *error = ERROR_NEGATIVE_SEEK;
        return false;
    }
    if (target > maxPosition) {
        *error = ERROR_INVALID_PARAMETER;
        return false;
    }
    if (lseek(fd, static_cast<off_t>(target), SEEK_SET) < 0) {
        *error = TvWin32ErrorFromErrno(errno);
        return false;
    }
    *result = target;
    return true;
}

} // namespace

int TvFdFromHandle(HANDLE handle)
{
    uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    if (handle == INVALID_HANDLE_VALUE || value == 0 || value > static_cast<uintptr_t>(INT_MAX))
        return -1;
    return static_cast<int>(value);
}

HANDLE TvHandleFromFd(int fd)
{
    if (fd < 0)
        return INVALID_HANDLE_VALUE;
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd));
}

HANDLE TvDuplicateFileHandle(HANDLE file)
{
    int fd = FdOrFail(file);
    if (fd < 0)
        return INVALID_HANDLE_VALUE;
    // Above the standard streams, like every descriptor CreateFileA hands out.
    int copy = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    if (copy < 0) {
        SetLastError(errno == EBADF ? ERROR_INVALID_HANDLE : TvWin32ErrorFromErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    return TvHandleFromFd(copy);
}

FILE* TvFopen(const char* path, const char* mode)
{
    if (!path || !mode) {
        errno = EINVAL;
        return nullptr;
    }
    bool creates = std::strchr(mode, 'w') || std::strchr(mode, 'a');
    std::string mapped = creates ? tv::file::MapForCreate(path) : TvMapPath(path);
    std::string fullMode(mode);
    if (fullMode.find('e') == std::string::npos)
        fullMode += 'e'; // close-on-exec
    return std::fopen(mapped.c_str(), fullMode.c_str());
}

extern "C" HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD /*share*/,
                              LPSECURITY_ATTRIBUTES /*security*/, DWORD disposition, DWORD flags,
                              HANDLE /*templateFile*/)
{
    if (!path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (!*path) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (flags & FILE_FLAG_OVERLAPPED) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return INVALID_HANDLE_VALUE;
    }
    const bool wantRead = access & (GENERIC_READ | GENERIC_EXECUTE | GENERIC_ALL | FILE_READ_DATA);
    const bool wantWrite = access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA);
    const bool appendOnly = !wantWrite && (access & FILE_APPEND_DATA);
    int oflags = O_CLOEXEC;
    if ((wantWrite || appendOnly) && wantRead)
        oflags |= O_RDWR;
    else if (wantWrite || appendOnly)
        oflags |= O_WRONLY;
    else
        oflags |= O_RDONLY;
    if (appendOnly)
        oflags |= O_APPEND;
    if (flags & FILE_FLAG_WRITE_THROUGH)
        oflags |= O_DSYNC;
    const mode_t mode = (flags & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;

    const bool creates =
        disposition == CREATE_NEW || disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
    const std::string mapped = creates ? tv::file::MapForCreate(path) : TvMapPath(path);
    const char* p = mapped.c_str();
    int fd = -1;
    bool existed = false;
    DWORD error = ERROR_SUCCESS;
    switch (disposition) {
    case CREATE_NEW:
        fd = open(p, oflags | O_CREAT | O_EXCL, mode);
        if (fd < 0)
            error = errno == EEXIST ? ERROR_FILE_EXISTS : ErrorForPath(mapped, errno);
        break;
    case CREATE_ALWAYS:
    case OPEN_ALWAYS:
        // Create-or-open in two steps to learn whether the file was there; retry
        // when another process creates or deletes it in between.
        for (int attempt = 0; attempt < 100 && fd < 0 && error == ERROR_SUCCESS; ++attempt) {
            fd = open(p, oflags | O_CREAT | O_EXCL, mode);
            if (fd >= 0)
                break;
            if (errno != EEXIST) {
                error = ErrorForPath(mapped, errno);
                break;
            }
            fd = open(p, oflags | (disposition == CREATE_ALWAYS ? O_TRUNC : 0));
            if (fd >= 0)
                existed = true;
            else if (errno != ENOENT)
                error = ErrorForPath(mapped, errno);
        }
        if (fd < 0 && error == ERROR_SUCCESS)
            error = ERROR_ACCESS_DENIED;
        break;
    case OPEN_EXISTING:
        fd = open(p, oflags);
        if (fd < 0)
            error = ErrorForPath(mapped, errno);
        break;
    case TRUNCATE_EXISTING:
        if (!wantWrite) {
            error = ERROR_INVALID_PARAMETER;
            break;
        }
        fd = open(p, oflags | O_TRUNC);
        if (fd < 0)
            error = ErrorForPath(mapped, errno);
        break;
    default:
        error = ERROR_INVALID_PARAMETER;
        break;
    }
    if (fd < 0) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }

    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && !(flags & FILE_FLAG_BACKUP_SEMANTICS)) {
        close(fd);
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if (fd <= STDERR_FILENO) {
        // Keep clear of the standard streams (and of a NULL handle for fd 0).
        int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
        close(fd);
        if (moved < 0) {
            SetLastError(TvWin32ErrorFromErrno(errno));
            return INVALID_HANDLE_VALUE;
        }
        fd = moved;
    }
    if (flags & FILE_FLAG_DELETE_ON_CLOSE)
        unlink(p);
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return TvHandleFromFd(fd);
}

extern "C" BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, void* overlapped)
{
    if (read)
        *read = 0;
    int fd = FdOrFail(file);
    if (fd < 0)
        return FALSE;
    if (overlapped || (!buffer && toRead))
        return Fail(ERROR_INVALID_PARAMETER);
    struct stat st;
    const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    DWORD done = 0;
    while (done < toRead) {
        ssize_t n = ::read(fd, static_cast<char*>(buffer) + done, toRead - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (read)
                *read = done;
            return Fail(IoError(fd, errno, ERROR_READ_FAULT));
        }
        if (n == 0)
            break;
        done += static_cast<DWORD>(n);
        if (!regular)
            break; // a pipe or socket returns what it has
    }
    if (read)
        *read = done;
    return TRUE;
}

extern "C" BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written,
                          void* overlapped)
{
    if (written)
        *written = 0;
    int fd = FdOrFail(file);
    if (fd < 0)
        return FALSE;
    if (overlapped || (!buffer && toWrite))
        return Fail(ERROR_INVALID_PARAMETER);
    DWORD done = 0;
    while (done < toWrite) {
        ssize_t n = ::write(fd, static_cast<const char*>(buffer) + done, toWrite - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (written)
                *written = done;
            return Fail(n == 0 ? ERROR_WRITE_FAULT : IoError(fd, errno, ERROR_WRITE_FAULT));
        }
        done += static_cast<DWORD>(n);
    }
    if (written)
        *written = done;
    return TRUE;
}

extern "C" DWORD SetFilePointer(HANDLE file, LONG distance, PLONG high, DWORD method)
{
    int fd = FdOrFail(file);
    if (fd < 0)
        return INVALID_SET_FILE_POINTER;
    int64_t move =
        high ? static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*high)) << 32) |
                                    static_cast<uint32_t>(distance))
             : static_cast<int64_t>(distance);
    int64_t limit = high ? INT64_MAX : static_cast<int64_t>(0xFFFFFFFFu);
    int64_t position = 0;
    DWORD error = ERROR_SUCCESS;
    if (!Seek(fd, move, method, limit, &position, &error)) {
        SetLastError(error);
        return INVALID_SET_FILE_POINTER;
    }
    if (high)
        *high = static_cast<LONG>(static_cast<uint64_t>(position) >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(position);
}

extern "C" BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER newPosition,
                                 DWORD method)
{
    int fd = FdOrFail(file);
    if (fd < 0)
        return FALSE;
    int64_t position = 0;
    DWORD error = ERROR_SUCCESS;
    if (!Seek(fd, distance.QuadPart, method, INT64_MAX, &position, &error))
        return Fail(error);
    if (newPosition)
        newPosition->QuadPart = position;
    return TRUE;
}

extern "C" DWORD GetFileSize(HANDLE file, LPDWORD high)
{
    int fd = FdOrFail(file);
    if (fd < 0)
        return INVALID_FILE_SIZE;
    struct stat st;
    if (fstat(fd, &st) != 0) {
        SetLastError(TvWin32ErrorFromErrno(errno));
        return INVALID_FILE_SIZE;
    }
    uint64_t size = static_cast<uint64_t>(st.st_size);
    if (high)
        *high = static_cast<DWORD>(size >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size);
}

extern "C" BOOL GetFileSizeEx(HANDLE file, PLARGE_INTEGER size)
{
    int fd = FdOrFail(file);
    if (fd < 0)
        return FALSE;
    if (!size)
        return Fail(ERROR_INVALID_PARAMETER);
    struct stat st;
    if (fstat(fd, &st) != 0)
        return Fail(TvWin32ErrorFromErrno(errno));
    size->QuadPart = st.st_size;
    return TRUE;
}

extern "C" BOOL FlushFileBuffers(HANDLE file)
{
    int fd = FdOrFail(file);
    if (fd < 0)
        return FALSE;
    if (fsync(fd) != 0)
        return Fail(errno == EINVAL ? ERROR_INVALID_HANDLE : IoError(fd, errno, ERROR_WRITE_FAULT));
    return TRUE;
}

extern "C" BOOL SetEndOfFile(HANDLE file)
{
    int fd = FdOrFail(file);
    if (fd < 0)
        return FALSE;
    off_t position = lseek(fd, 0, SEEK_CUR);
    if (position < 0)
        return Fail(TvWin32ErrorFromErrno(errno));
    if (ftruncate(fd, position) != 0)
        return Fail(IoError(fd, errno, ERROR_WRITE_FAULT));
    return TRUE;
}
