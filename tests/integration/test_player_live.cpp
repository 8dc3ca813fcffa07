// Live players through the TP_ interface against the device simulator: every
// way the network source reaches a device plays, and the statistics counters
// of every stage grow while it does.

#include <gtest/gtest.h>

#include "PlayerFixture.h"

using tvdevsim::SimKind;

namespace {

class LivePlayer : public TvPlayerFixture, public ::testing::WithParamInterface<TvLink> {};

TEST_P(LivePlayer, PlaysAndTheStatisticsGrow)
{
    bool skipped = false;
    const int handle = OpenLive(SimKind::Device40, GetParam(), &skipped);
    if (skipped)
        GTEST_SKIP() << "this machine does not deliver multicast to itself";
    ASSERT_GE(handle, 0);
    ASSERT_TRUE(WaitFramesDrawn(handle, 5)) << "no pictures drawn";

    int result = -1;
    const TvPlayerStats first = Statistics(handle, &result);
    EXPECT_EQ(result, 0);
    ASSERT_TRUE(WaitFramesDrawn(handle, first.drawn + 10));
    const TvPlayerStats later = Statistics(handle);
    EXPECT_GT(later.recvPackets, first.recvPackets);
    EXPECT_GT(later.recvLength, first.recvLength);
    EXPECT_GT(later.deliverSamples, first.deliverSamples);
    EXPECT_GT(later.deliverLength, first.deliverLength);
    EXPECT_GT(later.decodedSamples, first.decodedSamples);
    EXPECT_GT(later.decodedLength, first.decodedLength);
    EXPECT_GT(later.drawn, first.drawn);
    // What the source delivered it received first.
    EXPECT_LE(later.deliverLength, later.recvLength);
    // 320 x 240 YUY2 pictures leave the decoder.
    EXPECT_EQ(later.decodedLength, later.decodedSamples * 320 * 240 * 2);
    // Rendering succeeded: no render failure reached the window.
    EXPECT_EQ(CountMessages(0x401), 0);
}

INSTANTIATE_TEST_SUITE_P(Links, LivePlayer,
                         ::testing::Values(TvLink::Udp, TvLink::Multicast, TvLink::TcpServer,
                                           TvLink::TcpClient),
                         [](const ::testing::TestParamInfo<TvLink>& info) {
                             return std::string(TvLinkName(info.param));
                         });

} // namespace
