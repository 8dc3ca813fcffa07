// The receive ring's push-mode rules (append, compaction, overflow) and its
// read operations.
#include "CReceiveRing.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using Result = CReceiveRing::AppendResult;

Bytes Counting(size_t n, uint8_t first)
{
    Bytes b(n);
    std::iota(b.begin(), b.end(), first);
    return b;
}

Bytes Unread(const CReceiveRing& ring)
{
    return Bytes(ring.Unread().begin(), ring.Unread().end());
}

// Each case: a ring of 16 bytes holding `held` bytes of which `consumed` were
// read, then one append.
TEST(ReceiveRing, AppendRules)
{
    struct Case {
        const char* name;
        size_t held;
        size_t consumed;
        size_t appended;
        Result result;
        size_t read, write; // positions afterwards
    };
    const Case cases[] = {
        {"fits behind the write position", 4, 0, 8, Result::Appended, 0, 12},
        {"fills the ring exactly", 10, 0, 6, Result::Appended, 0, 16},
        {"moves the unread bytes to the start", 12, 8, 8, Result::Compacted, 0, 12},
        {"free room exactly enough", 12, 8, 12, Result::Compacted, 0, 16},
        {"less free room than the sample", 12, 2, 7, Result::Overflow, 0, 7},
        {"a sample of the ring's size", 0, 0, 16, Result::Refused, 0, 0},
        {"an empty sample", 3, 1, 0, Result::Refused, 1, 3},
    };
    for (const Case& c : cases) {
        CReceiveRing ring(16);
        if (c.held) {
            ASSERT_EQ(ring.Append(Counting(c.held, 100)), Result::Appended);
        }
        ring.Skip(c.consumed);
        Bytes before = Unread(ring);
        Bytes sample = Counting(c.appended, 1);
        EXPECT_EQ(ring.Append(sample), c.result) << c.name;
        EXPECT_EQ(ring.ReadPosition(), c.read) << c.name;
        EXPECT_EQ(ring.WritePosition(), c.write) << c.name;
        Bytes expected = before;
        if (c.result == Result::Overflow) {
            expected = sample; // only the new sample is kept
        } else if (c.result != Result::Refused) {
            expected.insert(expected.end(), sample.begin(), sample.end());
        }
        EXPECT_EQ(Unread(ring), expected) << c.name;
    }
}

TEST(ReceiveRing, PeekReadSkipAllOrNothingUnlessAskedForLess)
{
    CReceiveRing ring(64);
    ring.Append(Counting(10, 0));
    uint8_t out[16] = {};
    EXPECT_EQ(ring.Peek(out, 11), 0u);
    EXPECT_EQ(ring.Read(out, 11), 0u);
    EXPECT_EQ(ring.Skip(11), 0u);
    EXPECT_EQ(ring.Buffered(), 10u);

    EXPECT_EQ(ring.Peek(out, 4), 4u);
    EXPECT_EQ(Bytes(out, out + 4), Counting(4, 0));
    EXPECT_EQ(ring.Buffered(), 10u);
    EXPECT_EQ(ring.Read(out, 4), 4u);
    EXPECT_EQ(ring.Skip(2), 2u);
    EXPECT_EQ(ring.Read(out, 16, true), 4u);
    EXPECT_EQ(Bytes(out, out + 4), Counting(4, 6));
    EXPECT_EQ(ring.Buffered(), 0u);
    EXPECT_EQ(ring.Skip(5, true), 0u);
}

// Detection looks at everything from the ring's start; after a reset or an
// overflow that is the newest data only.
TEST(ReceiveRing, ContentRunsFromTheStart)
{
    CReceiveRing ring(32);
    ring.Append(Counting(20, 0));
    ring.Skip(5);
    EXPECT_EQ(ring.Content().size(), 20u);
    ring.Append(Counting(20, 50)); // overflows: 15 + 20 > 32
    EXPECT_EQ(Bytes(ring.Content().begin(), ring.Content().end()), Counting(20, 50));
    ring.Reset();
    EXPECT_TRUE(ring.Content().empty());
}

} // namespace
