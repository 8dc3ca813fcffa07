// Calls on paths rather than open files: delete, folders, attributes, move, and
// temporary files.
#include "win32/file.h"

#include "file_common.h"
#include "win32/path.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using tv::file::ErrorForPath;
using tv::file::Fail;

extern "C" BOOL DeleteFileA(LPCSTR path)
{
    if (!path)
        return Fail(ERROR_INVALID_PARAMETER);
    std::string mapped = TvMapPath(path);
    if (unlink(mapped.c_str()) != 0)
        return Fail(ErrorForPath(mapped, errno)); // a folder: EISDIR, access denied
    return TRUE;
}

extern "C" BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES /*security*/)
{
    if (!path)
        return Fail(ERROR_INVALID_PARAMETER);
    if (!*path)
        return Fail(ERROR_PATH_NOT_FOUND);
    std::string mapped = tv::file::MapForCreate(path);
    if (mkdir(mapped.c_str(), 0777) != 0) {
        if (errno == EEXIST)
            return Fail(ERROR_ALREADY_EXISTS);
        if (errno == ENOENT)
            return Fail(ERROR_PATH_NOT_FOUND);
        return Fail(TvWin32ErrorFromErrno(errno));
    }
    return TRUE;
}

extern "C" BOOL RemoveDirectoryA(LPCSTR path)
{
    if (!path)
        return Fail(ERROR_INVALID_PARAMETER);
    std::string mapped = TvMapPath(path);
    if (rmdir(mapped.c_str()) != 0) {
        if (errno == ENOTEMPTY || errno == EEXIST)
            return Fail(ERROR_DIR_NOT_EMPTY);
        if (errno == ENOTDIR) {
            struct stat st;
            if (stat(mapped.c_str(), &st) == 0)
                return Fail(ERROR_DIRECTORY); // it is a file
            return Fail(ERROR_PATH_NOT_FOUND);
        }
        return Fail(ErrorForPath(mapped, errno));
    }
    return TRUE;
}

extern "C" DWORD GetFileAttributesA(LPCSTR path)
{
    if (!path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_FILE_ATTRIBUTES;
    }
    std::string mapped = TvMapPath(path);
    struct stat st;
    if (stat(mapped.c_str(), &st) != 0) {
        SetLastError(errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : ErrorForPath(mapped, errno));
        return INVALID_FILE_ATTRIBUTES;
    }
    DWORD attributes = 0;
    if (S_ISDIR(st.st_mode))
        attributes |= FILE_ATTRIBUTE_DIRECTORY;
    if (!(st.st_mode & S_IWUSR))
        attributes |= FILE_ATTRIBUTE_READONLY;
    std::string name = TvPathFindFileName(mapped.c_str());
    if (!name.empty() && name[0] == '.' && name != "." && name != "..")
        attributes |= FILE_ATTRIBUTE_HIDDEN;
    return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

namespace {

// Moves a regular file to another file system: copy, then remove the original.
// Returns 0 or an errno; a partial copy is removed.
int CopyAcrossDevices(const std::string& from, const std::string& to)
{
    int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return errno;
    struct stat st;
    if (fstat(in, &st) != 0) {
        int err = errno;
        close(in);
        return err;
    }
    if (!S_ISREG(st.st_mode)) {
        close(in);
        return EXDEV; // only plain files are copied
    }
    int out = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 07777);
    if (out < 0) {
        int err = errno;
        close(in);
        return err;
    }
    int err = 0;
    char buf[65536];
    while (!err) {
        ssize_t n = read(in, buf, sizeof buf);
        if (n < 0) {
            if (errno != EINTR)
                err = errno;
            continue;
        }
        if (n == 0)
            break;
        for (ssize_t done = 0; done < n && !err;) {
            ssize_t w = write(out, buf + done, static_cast<size_t>(n - done));
            if (w < 0) {
                if (errno != EINTR)
                    err = errno;
                continue;
            }
            done += w;
        }
    }
    if (!err && fsync(out) != 0)
        err = errno;
    if (close(out) != 0 && !err)
        err = errno;
    close(in);
    if (err) {
        unlink(to.c_str());
        return err;
    }
    unlink(from.c_str());
    return 0;
}

} // namespace

extern "C" BOOL MoveFileA(LPCSTR existingPath, LPCSTR newPath)
{
    if (!existingPath || !newPath)
        return Fail(ERROR_INVALID_PARAMETER);
    std::string from = TvMapPath(existingPath);
    std::string to = tv::file::MapForCreate(newPath);
    struct stat st;
    if (stat(from.c_str(), &st) != 0)
        return Fail(ErrorForPath(from, errno));
    int r = renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
    if (r != 0 && (errno == EINVAL || errno == ENOSYS)) {
        // The file system cannot refuse to replace by itself.
        struct stat target;
        if (lstat(to.c_str(), &target) == 0)
            return Fail(ERROR_ALREADY_EXISTS);
        r = rename(from.c_str(), to.c_str());
    }
    if (r == 0)
        return TRUE;
    int err = errno;
    if (err == EXDEV) {
        if (S_ISDIR(st.st_mode))
            return Fail(ERROR_NOT_SAME_DEVICE);
        err = CopyAcrossDevices(from, to);
        if (err == 0)
            return TRUE;
    }
    if (err == EEXIST || err == ENOTEMPTY)
        return Fail(ERROR_ALREADY_EXISTS);
    if (err == ENOENT)
        return Fail(ERROR_PATH_NOT_FOUND); // the source is there, so the target's folder is not
    return Fail(TvWin32ErrorFromErrno(err));
}

extern "C" DWORD GetTempPathA(DWORD bufferLength, LPSTR buffer)
{
    const char* env = std::getenv("TMPDIR");
    std::string dir = (env && *env) ? env : "/tmp";
    if (dir.back() != '/')
        dir += '/';
    if (!buffer || bufferLength <= dir.size())
        return static_cast<DWORD>(dir.size() + 1);
    std::memcpy(buffer, dir.c_str(), dir.size() + 1);
    return static_cast<DWORD>(dir.size());
}

extern "C" UINT GetTempFileNameA(LPCSTR dir, LPCSTR prefix, UINT unique, LPSTR out)
{
    if (!dir || !out) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string base(dir);
    if (!base.empty() && !TvIsPathSeparator(base.back()))
        base += base.find('\\') != std::string::npos ? '\\' : '/';
    base.append(prefix ? prefix : "", prefix ? strnlen(prefix, 3) : 0);
    auto nameFor = [&](unsigned number) {
        char tail[16];
        std::snprintf(tail, sizeof tail, "%X.tmp", number);
        return base + tail;
    };

    if (unique != 0) {
        std::string name = nameFor(unique & 0xFFFFu);
        if (name.size() >= MAX_PATH) {
            SetLastError(ERROR_BUFFER_OVERFLOW);
            return 0;
        }
        std::memcpy(out, name.c_str(), name.size() + 1);
        return unique;
    }

    // Start somewhere different in every process and call, then take the first
    // number whose file can be created anew.
    static std::atomic<unsigned> s_sequence{static_cast<unsigned>(getpid()) * 7919u +
                                            static_cast<unsigned>(std::time(nullptr))};
    unsigned start = s_sequence.fetch_add(1);
    for (unsigned attempt = 0; attempt < 0xFFFFu; ++attempt) {
        unsigned number = (start + attempt) % 0xFFFFu + 1; // 1..0xFFFF
        std::string name = nameFor(number);
        if (name.size() >= MAX_PATH) {
            SetLastError(ERROR_BUFFER_OVERFLOW);
            return 0;
        }
        std::string mapped = tv::file::MapForCreate(name.c_str());
        int fd = open(mapped.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            close(fd);
            std::memcpy(out, name.c_str(), name.size() + 1);
            SetLastError(ERROR_SUCCESS);
            return number;
        }
        if (errno != EEXIST) {
            SetLastError(errno == ENOENT || errno == ENOTDIR ? ERROR_DIRECTORY
                                                             : TvWin32ErrorFromErrno(errno));
            return 0;
        }
    }
    SetLastError(ERROR_FILE_EXISTS);
    return 0;
}
