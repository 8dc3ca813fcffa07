// File calls: dispositions and their last errors, reading, writing and seeking
// (beyond 4 GiB), folders, attributes, moves and temporary files, all through
// drive-letter paths mapped into a temporary drive root.
#include "win32/file.h"
#include "win32/path.h"
#include "win32/sync.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class FileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "tvfile-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
        m_driveC = m_dir + "/drive_c"; // not created: the calls must make it
        const char* old = std::getenv("TARVO_DRIVE_C");
        m_hadDriveC = old != nullptr;
        m_oldDriveC = old ? old : "";
        setenv("TARVO_DRIVE_C", m_driveC.c_str(), 1);
    }
    void TearDown() override
    {
        if (m_hadDriveC)
            setenv("TARVO_DRIVE_C", m_oldDriveC.c_str(), 1);
        else
            unsetenv("TARVO_DRIVE_C");
        fs::remove_all(m_dir);
    }

    static HANDLE Open(const std::string& path, DWORD access, DWORD disposition, DWORD flags = 0)
    {
        return CreateFileA(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                           flags ? flags : FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    static void Write(HANDLE h, const std::string& text)
    {
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
        ASSERT_EQ(written, text.size());
    }
    static std::string Read(HANDLE h, DWORD max)
    {
        std::string buf(max, '\0');
        DWORD got = 0;
        EXPECT_TRUE(ReadFile(h, buf.data(), max, &got, nullptr));
        buf.resize(got);
        return buf;
    }
    static std::string Contents(const std::string& posixPath)
    {
        std::ifstream in(posixPath, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    void MakeFile(const std::string& posixPath, const std::string& text)
    {
        fs::create_directories(fs::path(posixPath).parent_path());
        std::ofstream(posixPath, std::ios::binary) << text;
    }

    std::string m_dir;
    std::string m_driveC;
    bool m_hadDriveC = false;
    std::string m_oldDriveC;
};

TEST_F(FileTest, DispositionsAndTheirLastErrors)
{
    ASSERT_TRUE(CreateDirectoryA("C:\\data", nullptr)); // also creates the drive root
    const std::string path = "C:\\data\\a.bin";
    const std::string posix = m_driveC + "/data/a.bin";

    HANDLE h = Open(path, GENERIC_READ, OPEN_EXISTING);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    h = Open("C:\\nowhere\\a.bin", GENERIC_READ, OPEN_EXISTING);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    h = Open("C:\\nowhere\\a.bin", GENERIC_WRITE, CREATE_ALWAYS);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    SetLastError(1234);
    h = Open(path, GENERIC_WRITE, CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    Write(h, "first contents");
    EXPECT_TRUE(CloseHandle(h));

    EXPECT_EQ(Open(path, GENERIC_WRITE, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));

    h = Open(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(Read(h, 100), "first contents"); // kept
    EXPECT_TRUE(CloseHandle(h));

    h = Open(path, GENERIC_WRITE, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(GetFileSize(h, nullptr), 0u); // truncated
    Write(h, "second");
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_EQ(Contents(posix), "second");

    h = Open("C:\\data\\b.bin", GENERIC_WRITE, OPEN_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_TRUE(CloseHandle(h));
    h = Open("C:\\data\\c.bin", GENERIC_WRITE, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_TRUE(CloseHandle(h));

    EXPECT_EQ(Open(path, GENERIC_READ, TRUNCATE_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    h = Open(path, GENERIC_WRITE, TRUNCATE_EXISTING);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_EQ(Contents(posix), "");
    EXPECT_EQ(Open("C:\\data\\missing", GENERIC_WRITE, TRUNCATE_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    EXPECT_EQ(Open(path, GENERIC_READ, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(CreateFileA(nullptr, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    // A folder opens only with backup semantics.
    EXPECT_EQ(Open("C:\\data", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Open("C:\\data", GENERIC_WRITE, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    h = Open("C:\\data", GENERIC_READ, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(h));
}

TEST_F(FileTest, ReadWriteAndSeek)
{
    HANDLE h = Open(m_dir + "/rw.bin", GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    Write(h, "hello world");
    EXPECT_EQ(SetFilePointer(h, 6, nullptr, FILE_BEGIN), 6u);
    EXPECT_EQ(Read(h, 100), "world");
    EXPECT_EQ(Read(h, 100), ""); // at the end: TRUE with nothing
    EXPECT_EQ(SetFilePointer(h, -5, nullptr, FILE_CURRENT), 6u);
    EXPECT_EQ(SetFilePointer(h, -1, nullptr, FILE_END), 10u);
    EXPECT_EQ(Read(h, 1), "d");

    EXPECT_EQ(SetFilePointer(h, -100, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));
    EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_CURRENT), 11u); // unmoved
    EXPECT_EQ(SetFilePointer(h, 0, nullptr, 7), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    // Cut at the pointer, then grow with a gap of zeros.
    EXPECT_EQ(SetFilePointer(h, 5, nullptr, FILE_BEGIN), 5u);
    EXPECT_TRUE(SetEndOfFile(h));
    EXPECT_EQ(GetFileSize(h, nullptr), 5u);
    EXPECT_EQ(SetFilePointer(h, 8, nullptr, FILE_BEGIN), 8u);
    Write(h, "!");
    EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_BEGIN), 0u);
    EXPECT_EQ(Read(h, 100), std::string("hello\0\0\0!", 9));
    EXPECT_TRUE(FlushFileBuffers(h));
    EXPECT_TRUE(CloseHandle(h));

    // Handles without the access asked for, and no handle at all.
    h = Open(m_dir + "/rw.bin", GENERIC_WRITE, OPEN_EXISTING);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    char c;
    DWORD got = 77;
    EXPECT_FALSE(ReadFile(h, &c, 1, &got, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(got, 0u);
    EXPECT_TRUE(CloseHandle(h));
    h = Open(m_dir + "/rw.bin", GENERIC_READ, OPEN_EXISTING);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 77;
    EXPECT_FALSE(WriteFile(h, "x", 1, &written, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(written, 0u);
    EXPECT_FALSE(SetEndOfFile(h));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(CloseHandle(h));

    for (HANDLE bad : {INVALID_HANDLE_VALUE, static_cast<HANDLE>(nullptr)}) {
        EXPECT_FALSE(ReadFile(bad, &c, 1, &got, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_FALSE(WriteFile(bad, "x", 1, &written, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_EQ(GetFileSize(bad, nullptr), INVALID_FILE_SIZE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
}

TEST_F(FileTest, SparseFileBeyondFourGigabytes)
{
    HANDLE h = Open(m_dir + "/big.bin", GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    const int64_t fiveGiB = 5LL << 30;
    LARGE_INTEGER to;
    LARGE_INTEGER now;
    to.QuadPart = fiveGiB + 3;
    ASSERT_TRUE(SetFilePointerEx(h, to, &now, FILE_BEGIN));
    EXPECT_EQ(now.QuadPart, fiveGiB + 3);
    if (!SetEndOfFile(h)) {
        CloseHandle(h);
        GTEST_SKIP() << "this file system cannot hold a 5 GiB file (error " << GetLastError()
                     << ")";
    }
    LARGE_INTEGER size;
    ASSERT_TRUE(GetFileSizeEx(h, &size));
    EXPECT_EQ(size.QuadPart, fiveGiB + 3);
    DWORD high = 0;
    EXPECT_EQ(GetFileSize(h, &high), (1u << 30) + 3u); // 5 GiB = 1 * 4 GiB + 1 GiB
    EXPECT_EQ(high, 1u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));

    // Write at 5 GiB, read back through the 32-bit call with its high half.
    to.QuadPart = fiveGiB;
    ASSERT_TRUE(SetFilePointerEx(h, to, nullptr, FILE_BEGIN));
    Write(h, "xyz");
    LONG moveHigh = 1;
    EXPECT_EQ(SetFilePointer(h, 1 << 30, &moveHigh, FILE_BEGIN), 1u << 30);
    EXPECT_EQ(moveHigh, 1);
    EXPECT_EQ(Read(h, 10), "xyz");
    to.QuadPart = -3;
    ASSERT_TRUE(SetFilePointerEx(h, to, &now, FILE_END));
    EXPECT_EQ(now.QuadPart, fiveGiB);

    // A lower half of 0xFFFFFFFF is a position, told apart by the last error.
    moveHigh = 0;
    EXPECT_EQ(SetFilePointer(h, -1, &moveHigh, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(moveHigh, 0);
    // Without the high half the position must stay below 4 GiB.
    EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_END), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(CloseHandle(h));
}

TEST_F(FileTest, FoldersAndAttributes)
{
    EXPECT_FALSE(CreateDirectoryA("C:\\a\\b", nullptr)); // no parents are made
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_TRUE(CreateDirectoryA("C:\\a", nullptr));
    EXPECT_TRUE(fs::is_directory(m_driveC + "/a"));
    EXPECT_FALSE(CreateDirectoryA("c:/a", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_TRUE(CreateDirectoryA("C:\\a\\b", nullptr));
    MakeFile(m_driveC + "/a/b/file.txt", "x");
    MakeFile(m_driveC + "/a/.hidden", "x");

    EXPECT_EQ(GetFileAttributesA("C:\\a\\b"), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(GetFileAttributesA("C:\\a\\b\\file.txt"), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(GetFileAttributesA("C:\\a\\.hidden"), FILE_ATTRIBUTE_HIDDEN);
    chmod((m_driveC + "/a/b/file.txt").c_str(), 0444);
    EXPECT_EQ(GetFileAttributesA("C:\\a\\b\\file.txt"), FILE_ATTRIBUTE_READONLY);
    chmod((m_driveC + "/a/b/file.txt").c_str(), 0644);
    EXPECT_EQ(GetFileAttributesA("C:\\a\\missing"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(GetFileAttributesA("C:\\none\\missing"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    EXPECT_FALSE(RemoveDirectoryA("C:\\a\\b"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
    EXPECT_FALSE(RemoveDirectoryA("C:\\a\\b\\file.txt"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY));
    EXPECT_FALSE(DeleteFileA("C:\\a\\b"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(DeleteFileA("C:\\a\\b\\file.txt"));
    EXPECT_FALSE(DeleteFileA("C:\\a\\b\\file.txt"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(RemoveDirectoryA("C:\\a\\b"));
    EXPECT_FALSE(RemoveDirectoryA("C:\\a\\b"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(FileTest, MoveNeverReplaces)
{
    MakeFile(m_driveC + "/m/one.txt", "one");
    MakeFile(m_driveC + "/m/two.txt", "two");
    EXPECT_FALSE(MoveFileA("C:\\m\\one.txt", "C:\\m\\two.txt"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(Contents(m_driveC + "/m/two.txt"), "two");
    EXPECT_TRUE(MoveFileA("C:\\m\\one.txt", "C:\\m\\three.txt"));
    EXPECT_EQ(Contents(m_driveC + "/m/three.txt"), "one");
    EXPECT_FALSE(fs::exists(m_driveC + "/m/one.txt"));
    EXPECT_FALSE(MoveFileA("C:\\m\\one.txt", "C:\\m\\four.txt"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(MoveFileA("C:\\m\\three.txt", "C:\\none\\four.txt"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    // Folders move too.
    EXPECT_TRUE(MoveFileA("C:\\m", "C:\\moved"));
    EXPECT_EQ(Contents(m_driveC + "/moved/two.txt"), "two");
}

TEST_F(FileTest, TempPathAndTempFileNames)
{
    const char* oldTmp = std::getenv("TMPDIR");
    std::string savedTmp = oldTmp ? oldTmp : "";
    setenv("TMPDIR", m_dir.c_str(), 1); // no trailing slash
    char buf[MAX_PATH];
    const std::string expected = m_dir + "/";
    EXPECT_EQ(GetTempPathA(MAX_PATH, buf), expected.size());
    EXPECT_EQ(buf, expected);
    char small[4] = "abc";
    EXPECT_EQ(GetTempPathA(sizeof small, small), expected.size() + 1);
    EXPECT_STREQ(small, "abc"); // untouched
    EXPECT_EQ(GetTempPathA(static_cast<DWORD>(expected.size()), buf), expected.size() + 1);
    EXPECT_EQ(GetTempPathA(static_cast<DWORD>(expected.size() + 1), buf), expected.size());
    if (oldTmp)
        setenv("TMPDIR", savedTmp.c_str(), 1);
    else
        unsetenv("TMPDIR");

    char first[MAX_PATH];
    char second[MAX_PATH];
    UINT n1 = GetTempFileNameA(m_dir.c_str(), "b_", 0, first);
    UINT n2 = GetTempFileNameA(m_dir.c_str(), "b_", 0, second);
    ASSERT_NE(n1, 0u);
    ASSERT_NE(n2, 0u);
    EXPECT_NE(std::string(first), std::string(second));
    EXPECT_LE(n1, 0xFFFFu);
    char hex[16];
    std::snprintf(hex, sizeof hex, "%X", n1);
    EXPECT_EQ(std::string(first), m_dir + "/b_" + hex + ".tmp");
    std::string name = TvPathFindFileName(second);
    ASSERT_GE(name.size(), 7u);
    EXPECT_EQ(name.substr(0, 2), "b_");
    EXPECT_EQ(name.substr(name.size() - 4), ".tmp");
    std::string number = name.substr(2, name.size() - 6);
    EXPECT_LE(number.size(), 4u);
    EXPECT_EQ(number.find_first_not_of("0123456789ABCDEF"), std::string::npos) << name;
    EXPECT_TRUE(fs::is_regular_file(first));
    EXPECT_EQ(fs::file_size(first), 0u);

    // A given number only forms the name; the prefix keeps three characters.
    EXPECT_EQ(GetTempFileNameA(m_dir.c_str(), "longprefix", 0x12345, buf), 0x12345u);
    EXPECT_EQ(std::string(buf), m_dir + "/lon2345.tmp");
    EXPECT_FALSE(fs::exists(buf));

    // A Windows folder stays a Windows path; the file lands below the drive root.
    ASSERT_TRUE(CreateDirectoryA("C:\\Temp", nullptr));
    UINT n3 = GetTempFileNameA("C:\\Temp", "ov", 0, buf);
    ASSERT_NE(n3, 0u);
    EXPECT_EQ(std::string(buf).rfind("C:\\Temp\\ov", 0), 0u) << buf;
    EXPECT_TRUE(fs::is_regular_file(TvMapPath(buf)));

    EXPECT_EQ(GetTempFileNameA((m_dir + "/missing").c_str(), "x", 0, buf), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY));
    EXPECT_EQ(GetTempFileNameA(std::string(MAX_PATH, 'd').c_str(), "x", 1, buf), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BUFFER_OVERFLOW));
}

TEST_F(FileTest, HandlesAreDescriptors)
{
    EXPECT_EQ(TvFdFromHandle(nullptr), -1);
    EXPECT_EQ(TvFdFromHandle(INVALID_HANDLE_VALUE), -1);
    EXPECT_EQ(TvFdFromHandle(reinterpret_cast<HANDLE>(uintptr_t(1) << 40)), -1);
    EXPECT_EQ(TvFdFromHandle(TvHandleFromFd(42)), 42);
    EXPECT_EQ(TvHandleFromFd(-1), INVALID_HANDLE_VALUE);

    HANDLE h = Open(m_dir + "/fd.bin", GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    int fd = TvFdFromHandle(h);
    ASSERT_GE(fd, 3);
    EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
    ASSERT_EQ(write(fd, "abc", 3), 3);
    EXPECT_EQ(GetFileSize(h, nullptr), 3u);
    EXPECT_TRUE(CloseHandle(h));

    // With standard input closed, a new file still never gets handle NULL.
    int savedStdin = dup(STDIN_FILENO);
    ASSERT_GE(savedStdin, 0);
    close(STDIN_FILENO);
    h = Open(m_dir + "/fd.bin", GENERIC_READ, OPEN_EXISTING);
    dup2(savedStdin, STDIN_FILENO);
    close(savedStdin);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_NE(h, nullptr);
    EXPECT_GT(TvFdFromHandle(h), STDERR_FILENO);

    // A duplicate is a handle of its own to the same file: it outlives the
    // original and is closed on its own.
    HANDLE copy = TvDuplicateFileHandle(h);
    ASSERT_NE(copy, INVALID_HANDLE_VALUE);
    EXPECT_NE(TvFdFromHandle(copy), TvFdFromHandle(h));
    EXPECT_GT(TvFdFromHandle(copy), STDERR_FILENO);
    EXPECT_NE(fcntl(TvFdFromHandle(copy), F_GETFD) & FD_CLOEXEC, 0);
    EXPECT_TRUE(CloseHandle(h));
    char buf[4] = {};
    DWORD got = 0;
    EXPECT_TRUE(ReadFile(copy, buf, 3, &got, nullptr));
    EXPECT_EQ(std::string(buf, got), "abc");
    EXPECT_TRUE(CloseHandle(copy));
    for (HANDLE bad : {static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE, copy}) {
        SetLastError(0);
        EXPECT_EQ(TvDuplicateFileHandle(bad), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    }
}

TEST_F(FileTest, PipesDeleteOnCloseAndFullDisks)
{
    // A pipe hands back what it has without waiting for the full count.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], "abc", 3), 3);
    char buf[100];
    DWORD got = 0;
    EXPECT_TRUE(ReadFile(TvHandleFromFd(fds[0]), buf, sizeof buf, &got, nullptr));
    EXPECT_EQ(got, 3u);
    close(fds[0]);
    close(fds[1]);

    HANDLE h = Open(m_dir + "/gone.bin", GENERIC_READ | GENERIC_WRITE, CREATE_NEW,
                    FILE_FLAG_DELETE_ON_CLOSE);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(fs::exists(m_dir + "/gone.bin"));
    Write(h, "still here");
    EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_BEGIN), 0u);
    EXPECT_EQ(Read(h, 100), "still here");
    EXPECT_TRUE(CloseHandle(h));

    h = Open("/dev/full", GENERIC_WRITE, OPEN_EXISTING);
    if (h == INVALID_HANDLE_VALUE)
        GTEST_SKIP() << "no /dev/full";
    DWORD written = 9;
    EXPECT_FALSE(WriteFile(h, "data", 4, &written, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
    EXPECT_EQ(written, 0u);
    EXPECT_TRUE(CloseHandle(h));
}

TEST_F(FileTest, FopenUsesMappedPaths)
{
    // The folder must exist, as for the logs that appear only when it does.
    EXPECT_EQ(TvFopen("C:\\SoftDecLog\\log_0.txt", "w"), nullptr);
    ASSERT_TRUE(CreateDirectoryA("C:\\SoftDecLog", nullptr));
    FILE* f = TvFopen("C:\\SoftDecLog\\log_0.txt", "w");
    ASSERT_NE(f, nullptr);
    EXPECT_NE(fcntl(fileno(f), F_GETFD) & FD_CLOEXEC, 0);
    std::fputs("line\n", f);
    std::fclose(f);
    EXPECT_EQ(Contents(m_driveC + "/SoftDecLog/log_0.txt"), "line\n");
    f = TvFopen("c:/SoftDecLog/log_0.txt", "r+");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_EQ(TvFopen("C:\\SoftDecLog\\log_1.txt", "r+"), nullptr);
    EXPECT_EQ(TvFopen(nullptr, "r"), nullptr);
}

} // namespace
