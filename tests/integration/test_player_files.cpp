// File players through the TP_ interface: every record kind the simulator
// writes plays back through TP_OpenLocalFile, and position, percent, rate,
// stepping and volume behave on a real graph.

#include <gtest/gtest.h>

#include <fstream>

#include "PlayerFixture.h"

using tvdevsim::SimKind;

namespace {

class RecordKind : public TvPlayerFixture, public ::testing::WithParamInterface<SimKind> {};

TEST_P(RecordKind, PlaysBackThroughOpenLocalFile)
{
    const std::string path = WriteRecord(GetParam(), 50);
    ASSERT_FALSE(path.empty());
    int opened = -1;
    const int handle = OpenFile(path, &opened);
    ASSERT_EQ(opened, 0);
    ASSERT_TRUE(WaitFramesDrawn(handle, 5)) << "no pictures drawn from " << path << "\n"
                                            << StatisticsText(handle);
    int duration = -1;
    EXPECT_EQ(TP_PlayControl(handle, TP_PLAY_GET_DURATION, 0, &duration), 0);
    // 50 frames at 25 a second.
    EXPECT_NEAR(duration, 2000, 200);
    EXPECT_EQ(CountMessages(0x401), 0);
    // The graph's events reach the window's callback as 0x402.
    EXPECT_TRUE(WaitForMessage(WindowOf(handle), 0x402));
}

INSTANTIATE_TEST_SUITE_P(Kinds, RecordKind, ::testing::ValuesIn(tvdevsim::kAllKinds),
                         [](const ::testing::TestParamInfo<SimKind>& info) {
                             std::string name = tvdevsim::KindName(info.param);
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });

} // namespace
