// The one-picture grab between the streaming thread and an application
// thread: the size call, the copy call, a held picture, a grab that sees no
// picture, and a buffer that is too small.
#include "CFrameGrab.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace {

// Offers pictures (each filled with its number) until stopped, as the
// streaming thread does.
class Streamer {
public:
    Streamer(CFrameGrab& grab, size_t bytes)
        : m_thread([this, &grab, bytes] {
              std::vector<BYTE> picture(bytes);
              for (BYTE n = 1; !m_stop; ++n) {
                  std::fill(picture.begin(), picture.end(), n);
                  grab.Offer(picture.data(), picture.size());
                  std::this_thread::yield();
              }
          })
    {
    }
    ~Streamer()
    {
        m_stop = true;
        m_thread.join();
    }

private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

TEST(FrameGrab, SizeThenCopyOfTheSamePicture)
{
    CFrameGrab grab;
    ASSERT_TRUE(grab.Ok());
    Streamer streamer(grab, 1000);
    LONG size = 0;
    ASSERT_EQ(grab.GetCurrentBuffer(&size, nullptr), S_OK);
    EXPECT_EQ(size, 1000);
    std::vector<BYTE> first(size_t(size), 0);
    ASSERT_EQ(grab.GetCurrentBuffer(&size, first.data()), S_OK);
    EXPECT_EQ(std::count(first.begin(), first.end(), first[0]), 1000); // one whole picture
    EXPECT_NE(first[0], 0);
    // Without a held picture a call with a buffer grabs a new one.
    std::vector<BYTE> second(1000, 0);
    ASSERT_EQ(grab.GetCurrentBuffer(&size, second.data()), S_OK);
    EXPECT_EQ(std::count(second.begin(), second.end(), second[0]), 1000);
}

TEST(FrameGrab, TooSmallBufferFails)
{
    CFrameGrab grab;
    Streamer streamer(grab, 64);
    LONG size = 63;
    std::vector<BYTE> buffer(64, 0xEE);
    EXPECT_EQ(grab.GetCurrentBuffer(&size, buffer.data()), E_FAIL);
    EXPECT_EQ(buffer, std::vector<BYTE>(64, 0xEE));
    EXPECT_EQ(grab.GetCurrentBuffer(nullptr, buffer.data()), E_POINTER);
}

TEST(FrameGrab, NoPictureWithinTheWaitFails)
{
    CFrameGrab grab;
    LONG size = 0;
    EXPECT_EQ(grab.GetCurrentBuffer(&size, nullptr, 50), E_FAIL);
    // The request stays: the next picture is kept for it, and the next call
    // does not take that stale one but one offered after it asked.
    const BYTE old[4] = {1, 1, 1, 1};
    grab.Offer(old, 4);
    Streamer fresh(grab, 8);
    EXPECT_EQ(grab.GetCurrentBuffer(&size, nullptr, 10000), S_OK);
    EXPECT_EQ(size, 8);
}

} // namespace
