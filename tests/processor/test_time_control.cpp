// Time control: the registry settings with their ranges and clamps, the step
// divisor and the duration rules.
#include "TimeControl.h"

#include "win32/registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <unistd.h>

namespace {

struct RegistryCase {
    const char* name;
    std::optional<DWORD> enable, frameBufferCount, maxBufferCount, minBufferCount;
    bool enabled;
    LONG expectFrames, expectMax, expectMin;
};

const RegistryCase kRegistryCases[] = {
    {"nothing set", {}, {}, {}, {}, true, 5, 2, 0},
    {"all accepted", 1, 10, 6, 3, true, 10, 6, 3},
    {"FrameBufferCount 20 is ignored", {}, 20, {}, {}, true, 5, 2, 0},
    {"FrameBufferCount 0 is ignored", {}, 0, {}, {}, true, 5, 2, 0},
    {"FrameBufferCount 19 is the largest", {}, 19, 17, {}, true, 19, 17, 0},
    {"MaxBufferCount 4 above FrameBufferCount 5 - 2 is ignored", {}, 5, 4, {}, true, 5, 2, 0},
    {"MinBufferCount 3 above MaxBufferCount 2 is ignored", {}, {}, {}, 3, true, 5, 2, 0},
    {"a negative MaxBufferCount is a large unsigned one", {}, {}, 0xFFFFFFFFu, {}, true, 5, 2, 0},
    {"the default MaxBufferCount is clamped to FrameBufferCount - 2", {}, 3, {}, {}, true, 3, 1, 0},
    {"one buffer leaves no room above or below", {}, 1, 5, 1, true, 1, 0, 0},
    {"any non-zero value keeps time control on", 7, 8, {}, {}, true, 8, 2, 0},
    {"time control off ignores the counts", 0, 10, 6, 3, false, 5, 2, 0},
};

class TimeControlRegistry : public ::testing::TestWithParam<RegistryCase> {
protected:
    void SetUp() override
    {
        char dir[] = "/tmp/tc_registry_XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        m_dir = dir;
        m_path = m_dir + "/registry.reg";
        TvSetRegistryPath(m_path.c_str());
    }
    void TearDown() override
    {
        TvSetRegistryPath(nullptr);
        std::remove(m_path.c_str());
        std::remove((m_path + ".lock").c_str());
        rmdir(m_dir.c_str());
    }
    void Set(HKEY key, const char* name, const std::optional<DWORD>& value, DWORD type)
    {
        if (!value)
            return;
        ASSERT_EQ(RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(&*value),
                                 sizeof(DWORD)),
                  ERROR_SUCCESS);
    }

    std::string m_dir, m_path;
};

TEST_P(TimeControlRegistry, ReadsValuesWithTheirRangesAndClamps)
{
    const RegistryCase& c = GetParam();
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tarvo", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    // The registry type does not matter: four bytes are four bytes.
    Set(key, "bEnableTimeControl", c.enable, REG_BINARY);
    Set(key, "FrameBufferCount", c.frameBufferCount, REG_DWORD);
    Set(key, "MaxBufferCount", c.maxBufferCount, REG_DWORD);
    Set(key, "MinBufferCount", c.minBufferCount, REG_BINARY);
    RegCloseKey(key);

    const TimeControlSettings s = ReadTimeControlSettings();
    EXPECT_EQ(s.enabled, c.enabled);
    EXPECT_EQ(s.frameBufferCount, c.expectFrames);
    EXPECT_EQ(s.maxBufferCount, c.expectMax);
    EXPECT_EQ(s.minBufferCount, c.expectMin);
}

INSTANTIATE_TEST_SUITE_P(Cases, TimeControlRegistry, ::testing::ValuesIn(kRegistryCases),
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST(TimeControl, MissingKeyLeavesDefaults)
{
    char dir[] = "/tmp/tc_empty_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/none.reg";
    TvSetRegistryPath(path.c_str());
    const TimeControlSettings s = ReadTimeControlSettings();
    TvSetRegistryPath(nullptr);
    rmdir(dir);
    EXPECT_TRUE(s.enabled);
    EXPECT_EQ(s.frameBufferCount, 5);
    EXPECT_EQ(s.maxBufferCount, 2);
    EXPECT_EQ(s.minBufferCount, 0);
}

TEST(TimeControl, DivisorIs13UpTo12BuffersAnd26Above)
{
    const std::pair<LONG, LONG> cases[] = {{1, 13}, {5, 13}, {12, 13}, {13, 26}, {19, 26}};
    for (const auto& [buffers, divisor] : cases)
        EXPECT_EQ(TimeControlDivisor(buffers), divisor) << buffers << " buffers";
}

TEST(TimeControl, DurationsByQueueLength)
{
    struct Case {
        TimeControlSettings settings;
        LONG interval;
        LONG queued;
        LONG duration;
    } cases[] = {
        // Defaults: one or two queued play at 40 ms, three at 37, four at 34, five at 20.
        {{}, 40, 1, 40},
        {{}, 40, 2, 40},
        {{}, 40, 3, 37},
        {{}, 40, 4, 34},
        {{}, 40, 5, 20},
        {{}, 40, 9, 20},
        // An odd interval: the full queue plays I - I / 2.
        {{}, 33, 5, 17},
        // Below MinBufferCount the pictures slow down by I / D per missing one.
        {{true, 10, 6, 3}, 40, 1, 46},
        {{true, 10, 6, 3}, 40, 3, 40},
        {{true, 10, 6, 3}, 40, 8, 34},
        // 13 buffers: D = 26, so a step of 40 / 26 = 1 ms.
        {{true, 13, 4, 0}, 40, 7, 37},
        {{true, 13, 4, 0}, 40, 13, 20},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TimeControlDuration(c.settings, c.interval, c.queued), c.duration)
            << "buffers " << c.settings.frameBufferCount << " queued " << c.queued;
}

} // namespace
