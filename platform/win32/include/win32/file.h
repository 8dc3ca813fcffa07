// Files through the Win32 calls. A file HANDLE is a POSIX file descriptor in
// pointer form ((HANDLE)(intptr_t)fd, opened close-on-exec); CloseHandle
// (win32/sync.h) closes it. Descriptor 0 is never handed out as a file handle,
// since a NULL HANDLE means "no handle" to most Windows code. Every path goes
// through TvMapPath (win32/path.h), so "C:\dir\file" works as it does on
// Windows. Failures set the last error (GetLastError) to the Windows number.
//
// Share modes are accepted but not enforced: POSIX has no mandatory sharing
// locks, so a second open of a file succeeds where Windows could refuse it.
#pragma once

#include "win32/types.h"

#include <cstdio>

// fopen on the mapped path, close-on-exec; for the system's text logs.
FILE* TvFopen(const char* path, const char* mode);

// The descriptor of a file handle, or -1 for NULL, INVALID_HANDLE_VALUE and
// handles that are not descriptors (kernel objects).
int TvFdFromHandle(HANDLE handle);
// The handle for a descriptor (INVALID_HANDLE_VALUE for a negative one).
HANDLE TvHandleFromFd(int fd);

// A second handle to the same open file (a descriptor of its own,
// close-on-exec, sharing the file position), which the caller closes with
// CloseHandle; INVALID_HANDLE_VALUE with ERROR_INVALID_HANDLE when the handle
// is not an open file.
HANDLE TvDuplicateFileHandle(HANDLE file);

#ifndef GENERIC_READ
#define GENERIC_READ 0x80000000u
#endif
#ifndef GENERIC_WRITE
#define GENERIC_WRITE 0x40000000u
#endif
#ifndef GENERIC_EXECUTE
#define GENERIC_EXECUTE 0x20000000u
#endif
#ifndef GENERIC_ALL
#define GENERIC_ALL 0x10000000u
#endif
#define FILE_READ_DATA 0x0001u
#define FILE_WRITE_DATA 0x0002u
#define FILE_APPEND_DATA 0x0004u

#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u

#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define TRUNCATE_EXISTING 5u

#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_HIDDEN 0x00000002u
#define FILE_ATTRIBUTE_SYSTEM 0x00000004u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_ATTRIBUTE_TEMPORARY 0x00000100u
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu

// Flags accepted by CreateFileA. WRITE_THROUGH makes writes synchronous;
// DELETE_ON_CLOSE removes the name at once (the open handle keeps the data, as
// with a Windows temporary file no one else opens); the others are hints.
#define FILE_FLAG_WRITE_THROUGH 0x80000000u
#define FILE_FLAG_OVERLAPPED 0x40000000u
#define FILE_FLAG_NO_BUFFERING 0x20000000u
#define FILE_FLAG_RANDOM_ACCESS 0x10000000u
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000u
#define FILE_FLAG_DELETE_ON_CLOSE 0x04000000u
#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000u

#define FILE_BEGIN 0u
#define FILE_CURRENT 1u
#define FILE_END 2u
#define INVALID_SET_FILE_POINTER 0xFFFFFFFFu
#define INVALID_FILE_SIZE 0xFFFFFFFFu

#ifndef ERROR_INVALID_FUNCTION
#define ERROR_INVALID_FUNCTION 1L
#endif
#ifndef ERROR_NOT_SAME_DEVICE
#define ERROR_NOT_SAME_DEVICE 17L
#endif
#ifndef ERROR_BROKEN_PIPE
#define ERROR_BROKEN_PIPE 109L
#endif
#ifndef ERROR_BUFFER_OVERFLOW
#define ERROR_BUFFER_OVERFLOW 111L
#endif
#ifndef ERROR_NEGATIVE_SEEK
#define ERROR_NEGATIVE_SEEK 131L
#endif
#ifndef ERROR_DIRECTORY
#define ERROR_DIRECTORY 267L
#endif

// Opens or creates a file. access: GENERIC_READ and/or GENERIC_WRITE (or
// GENERIC_ALL, FILE_*_DATA). disposition as on Windows: CREATE_NEW fails with
// ERROR_FILE_EXISTS on an existing file; CREATE_ALWAYS and OPEN_ALWAYS succeed
// on one but set the last error to ERROR_ALREADY_EXISTS (else to 0). A missing
// folder gives ERROR_PATH_NOT_FOUND, a missing file ERROR_FILE_NOT_FOUND.
// A folder opens only with FILE_FLAG_BACKUP_SEMANTICS. The security attributes
// and template are ignored; FILE_ATTRIBUTE_READONLY on a new file makes it
// read-only. Returns INVALID_HANDLE_VALUE on failure.
extern "C" HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share,
                              LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                              HANDLE templateFile);
// Reads up to toRead bytes: from a regular file all of them unless the file
// ends first (TRUE with fewer, or 0, bytes at its end). Asynchronous
// (overlapped) reads are not supported: ERROR_INVALID_PARAMETER.
extern "C" BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, void* overlapped);
// Writes all bytes or fails; *written tells how many made it. ERROR_DISK_FULL
// when the disk fills up.
extern "C" BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written,
                          void* overlapped);
// Moves the file pointer. With high null the move is the signed 32-bit
// distance and the new position must stay below 4 GiB; with high given the
// distance is the signed 64-bit *high:distance and *high receives the upper
// half of the new position. Returns the lower half, or INVALID_SET_FILE_POINTER
// with the last error set (the last error is 0 on success, so that a position
// whose lower half is 0xFFFFFFFF can be told apart).
extern "C" DWORD SetFilePointer(HANDLE file, LONG distance, PLONG high, DWORD method);
extern "C" BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER newPosition,
                                 DWORD method);
// The lower half of the size (upper half in *high); INVALID_FILE_SIZE with the
// last error set on failure (0 on success).
extern "C" DWORD GetFileSize(HANDLE file, LPDWORD high);
extern "C" BOOL GetFileSizeEx(HANDLE file, PLARGE_INTEGER size);
extern "C" BOOL FlushFileBuffers(HANDLE file);
// Cuts or extends the file at the current file pointer.
extern "C" BOOL SetEndOfFile(HANDLE file);
extern "C" BOOL DeleteFileA(LPCSTR path);
// One folder; its parent must exist (ERROR_PATH_NOT_FOUND), and it must not
// (ERROR_ALREADY_EXISTS).
extern "C" BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES security);
// An empty folder (ERROR_DIR_NOT_EMPTY otherwise, ERROR_DIRECTORY for a file).
extern "C" BOOL RemoveDirectoryA(LPCSTR path);
// FILE_ATTRIBUTE_DIRECTORY for folders, FILE_ATTRIBUTE_NORMAL for plain files,
// READONLY when the owner may not write, HIDDEN for names starting with '.';
// INVALID_FILE_ATTRIBUTES with the last error when the path does not exist.
extern "C" DWORD GetFileAttributesA(LPCSTR path);
// Renames a file or folder; fails with ERROR_ALREADY_EXISTS when newPath
// exists. A file moves to another file system by copying.
extern "C" BOOL MoveFileA(LPCSTR existingPath, LPCSTR newPath);
// $TMPDIR or "/tmp", ending with '/'. Returns its length without the NUL, or,
// when the buffer is too small, the size needed including the NUL.
extern "C" DWORD GetTempPathA(DWORD bufferLength, LPSTR buffer);
// Forms "<dir><separator><up to 3 chars of prefix><hex number>.tmp" in out
// (MAX_PATH characters). unique 0: picks a free number, creates the empty file
// and returns the number; otherwise uses the lower 16 bits of unique, creates
// nothing and returns unique. The folder keeps the caller's form (a Windows
// path stays one). 0 on failure.
extern "C" UINT GetTempFileNameA(LPCSTR dir, LPCSTR prefix, UINT unique, LPSTR out);

#define CreateFile CreateFileA
#define DeleteFile DeleteFileA
#define CreateDirectory CreateDirectoryA
#define RemoveDirectory RemoveDirectoryA
#define GetFileAttributes GetFileAttributesA
#define MoveFile MoveFileA
#define GetTempPath GetTempPathA
#define GetTempFileName GetTempFileNameA
