// The configuration file "C:\KVRConfig.xml": the prebuffer threshold it gives.
#include "SplitterConfig.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

constexpr size_t kRing = 0x400000;

TEST(SplitterConfig, ThresholdFromTheNumberAfterTheFirstEqualsSign)
{
    struct Case {
        std::string text;
        size_t threshold;
    };
    const Case cases[] = {
        {"<prebuffer value=512/>", 524288},
        {"=0", 102400},
        {"=10000", 0x400000},
        {"=-3", 102400},
        {"= 64 ", 65536},
        {"<config/>", 256000},                  // no equals sign
        {"=abc", 256000},                       // no number after it
        {"a=b=7", 256000},                      // the first one counts
        {"x=99999999999999999999", kRing},      // beyond any ring
        {std::string(259, ' ') + "=5", 256000}, // only the first 260 bytes are read
        {std::string(258, ' ') + "=5", 5120},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PrebufferThresholdFromText(c.text, kRing), c.threshold) << c.text;
}

TEST(SplitterConfig, ReadThroughDriveC)
{
    std::string pattern =
        (std::filesystem::temp_directory_path() / "splitter-config-XXXXXX").string();
    const std::string root = mkdtemp(pattern.data());
    setenv("TARVO_DRIVE_C", root.c_str(), 1);
    EXPECT_EQ(ReadPrebufferThreshold(kSplitterConfigPath, kRing), 256000u); // no file
    std::ofstream(root + "/KVRConfig.xml") << "<KVR prebuffer=512 />";
    EXPECT_EQ(ReadPrebufferThreshold(kSplitterConfigPath, kRing), 524288u);
    unsetenv("TARVO_DRIVE_C");
    std::filesystem::remove_all(root);
}

} // namespace
