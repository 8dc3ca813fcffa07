// The diagnostic logs' first-free-index probe.
#include "DiagLog.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

class DiagLogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char dir[] = "/tmp/diaglog_XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        m_root = dir;
        setenv("TARVO_DRIVE_C", m_root.c_str(), 1);
    }
    void TearDown() override
    {
        unsetenv("TARVO_DRIVE_C");
        std::filesystem::remove_all(m_root);
    }
    std::filesystem::path Log(int i) const
    {
        return std::filesystem::path(m_root) / "SoftDecLog" /
               ("probe_" + std::to_string(i) + ".txt");
    }

    std::string m_root;
};

TEST_F(DiagLogTest, TakesTheFirstIndexWhoseFileDoesNotExist)
{
    const char* pattern = "C:\\SoftDecLog\\probe_%d.txt";
    // Without the folder there is no log.
    EXPECT_EQ(OpenFirstFreeLog(pattern), nullptr);
    std::filesystem::create_directory(std::filesystem::path(m_root) / "SoftDecLog");
    for (int expected = 0; expected < 10; ++expected) {
        FILE* f = OpenFirstFreeLog(pattern);
        ASSERT_NE(f, nullptr) << expected;
        std::fputs("x", f);
        std::fclose(f);
        EXPECT_TRUE(std::filesystem::exists(Log(expected)));
        EXPECT_FALSE(std::filesystem::exists(Log(expected + 1)));
    }
    // All ten names taken: no log.
    EXPECT_EQ(OpenFirstFreeLog(pattern), nullptr);
    // A gap is taken first, and an existing log is never truncated.
    std::filesystem::remove(Log(4));
    FILE* f = OpenFirstFreeLog(pattern);
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_TRUE(std::filesystem::exists(Log(4)));
    EXPECT_EQ(std::filesystem::file_size(Log(3)), 1u);
}

} // namespace
