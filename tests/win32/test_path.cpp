// Windows paths mapped onto the POSIX file system, and the separator helpers.
#include "win32/path.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>

namespace {

// Sets environment variables for one test and puts the old values back after.
class EnvGuard {
public:
    ~EnvGuard()
    {
        for (const auto& [name, old] : m_saved) {
            if (old.first)
                setenv(name.c_str(), old.second.c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }
    void Set(const char* name, const char* value)
    {
        if (!m_saved.count(name)) {
            const char* old = std::getenv(name);
            m_saved[name] = {old != nullptr, old ? old : ""};
        }
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }

private:
    std::map<std::string, std::pair<bool, std::string>> m_saved;
};

TEST(PathSeparators, BothSlashesSeparate)
{
    EXPECT_TRUE(TvIsPathSeparator('\\'));
    EXPECT_TRUE(TvIsPathSeparator('/'));
    EXPECT_FALSE(TvIsPathSeparator(':'));
    EXPECT_FALSE(TvIsPathSeparator('\0'));

    const char* mixed = "C:\\logs/today\\file.txt";
    EXPECT_EQ(TvFindLastSeparator(mixed), mixed + 13);
    const char* forward = "a\\b/c";
    EXPECT_EQ(TvFindLastSeparator(forward), forward + 3);
    EXPECT_EQ(TvFindLastSeparator("plain"), nullptr);
    EXPECT_EQ(TvFindLastSeparator(static_cast<const char*>(nullptr)), nullptr);
    char writable[] = "dir\\name";
    char* sep = TvFindLastSeparator(writable);
    ASSERT_NE(sep, nullptr);
    *sep = '\0'; // cutting the folder off works on a writable buffer
    EXPECT_STREQ(writable, "dir");
}

TEST(PathSeparators, FileNamePartLikeWindows)
{
    EXPECT_STREQ(TvPathFindFileName("C:\\dir\\file.txt"), "file.txt");
    EXPECT_STREQ(TvPathFindFileName("C:/dir/file.txt"), "file.txt");
    EXPECT_STREQ(TvPathFindFileName("dir\\sub/"), "sub/"); // a trailing separator stays
    EXPECT_STREQ(TvPathFindFileName("C:file"), "file");
    EXPECT_STREQ(TvPathFindFileName("file"), "file");
    EXPECT_STREQ(TvPathFindFileName("/var/log/x.log"), "x.log");
    EXPECT_STREQ(TvPathFindFileName(""), "");
    EXPECT_EQ(TvPathFindFileName(static_cast<const char*>(nullptr)), nullptr);
}

TEST(PathMapping, DrivePathsMapBelowTheDriveRoot)
{
    EnvGuard env;
    env.Set("TARVO_DRIVE_C", "/srv/drive-c/");
    EXPECT_EQ(TvDriveRoot('C'), "/srv/drive-c");
    EXPECT_EQ(TvDriveRoot('c'), "/srv/drive-c");
    EXPECT_EQ(TvMapPath("C:\\SoftDecLog\\nwsource_time_0.txt"),
              "/srv/drive-c/SoftDecLog/nwsource_time_0.txt");
    EXPECT_EQ(TvMapPath("c:/SoftDecLog/x.txt"), "/srv/drive-c/SoftDecLog/x.txt");
    EXPECT_EQ(TvMapPath("C:\\\\tvxvr416\\\\time.log"), "/srv/drive-c/tvxvr416/time.log");
    EXPECT_EQ(TvMapPath("C:"), "/srv/drive-c");
    EXPECT_EQ(TvMapPath("C:\\"), "/srv/drive-c");
    EXPECT_EQ(TvMapPath("C:\\dir\\"), "/srv/drive-c/dir/");
    EXPECT_EQ(TvMapPath("C:\\a\\.\\b\\..\\c"), "/srv/drive-c/a/c");
    EXPECT_EQ(TvMapPath("\\\\?\\C:\\long\\name"), "/srv/drive-c/long/name");
}

TEST(PathMapping, DotDotNeverLeavesTheDrive)
{
    EnvGuard env;
    env.Set("TARVO_DRIVE_C", "/srv/drive-c");
    EXPECT_EQ(TvMapPath("C:\\..\\..\\etc\\passwd"), "/srv/drive-c/etc/passwd");
    EXPECT_EQ(TvMapPath("C:\\a\\..\\..\\..\\b"), "/srv/drive-c/b");
    EXPECT_EQ(TvMapPath("C:.."), "/srv/drive-c");
}

TEST(PathMapping, DefaultDriveRootsFollowXdg)
{
    EnvGuard env;
    env.Set("TARVO_DRIVE_D", nullptr);
    env.Set("XDG_DATA_HOME", "/xdg/data");
    EXPECT_EQ(TvDriveRoot('D'), "/xdg/data/tarvo/drive_d");
    EXPECT_EQ(TvDriveRoot('d'), "/xdg/data/tarvo/drive_d");
    EXPECT_EQ(TvMapPath("d:\\Video\\a.tvx"), "/xdg/data/tarvo/drive_d/Video/a.tvx");

    env.Set("TARVO_DRIVE_D", ""); // empty counts as unset
    EXPECT_EQ(TvDriveRoot('D'), "/xdg/data/tarvo/drive_d");

    env.Set("XDG_DATA_HOME", nullptr);
    env.Set("HOME", "/home/viewer");
    EXPECT_EQ(TvDriveRoot('D'), "/home/viewer/.local/share/tarvo/drive_d");
    env.Set("XDG_DATA_HOME", "relative/ignored");
    EXPECT_EQ(TvDriveRoot('D'), "/home/viewer/.local/share/tarvo/drive_d");

    env.Set("TARVO_DRIVE_E", "/mnt/e");
    EXPECT_EQ(TvMapPath("E:\\x"), "/mnt/e/x");
    EXPECT_EQ(TvDriveRoot('1'), "");
}

TEST(PathMapping, OtherPathsKeepTheirShape)
{
    EXPECT_EQ(TvMapPath("/var/lib/tarvo/a\\b"), "/var/lib/tarvo/a\\b"); // POSIX: untouched
    EXPECT_EQ(TvMapPath("logs\\today\\a.txt"), "logs/today/a.txt");
    EXPECT_EQ(TvMapPath("..\\up/x"), "../up/x");
    EXPECT_EQ(TvMapPath("\\rooted\\x"), "/rooted/x");
    EXPECT_EQ(TvMapPath("file.tvx"), "file.tvx");
    EXPECT_EQ(TvMapPath(""), "");
    EXPECT_EQ(TvMapPath(nullptr), "");
    // A colon later in the name is no drive.
    EXPECT_EQ(TvMapPath("ab:c\\d"), "ab:c/d");
}

} // namespace
