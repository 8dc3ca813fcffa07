// Recordings through TP_StartRecord that end without TP_StopRecord: the player
// deleted under a running stream, and the disk filling up. Each keeps every
// whole block written before, checked by parsing the record file against the
// numbered frames the test sent.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "NWTestUtil.h"
#include "TvRecordFrames.h"
#include "PlayerFixture.h"

using nwtest::FreePort;
using nwtest::Loopback;
using nwtest::ReadFile;
using nwtest::WaitFor;

namespace {

constexpr int kConnectUdp = 2;
constexpr int kConnectTcpServer = 3;

class PlayerRecords : public TvPlayerFixture {
protected:
    // A live player of connect type `connectType` on port, recording into
    // TempDir()/cam.tvx. The handle, or -1 after adding a failure.
    int OpenRecording(int connectType, int port)
    {
        const int handle =
            TP_Initialize(NewWindow(), 1, TvFormatTypeFor(tvdevsim::SimKind::Device40), 0, 0);
        if (handle < 0) {
            ADD_FAILURE() << "TP_Initialize";
            return -1;
        }
        EXPECT_EQ(TP_OpenStream(handle, "127.0.0.1", port, connectType, 0), 0);
        EXPECT_EQ(TP_StartRecord(handle, TempDir().c_str(), "cam.avi"), 0);
        return handle;
    }
    std::string RecordPath() const { return TempDir() + "/cam.tvx"; }
};

} // namespace

// TP_Uninitialize while a TCP stream pours in: the player goes, its record
// file is closed, and everything the player had received before is in it.
TEST_F(PlayerRecords, UninitializeKeepsEveryBlockReceived)
{
    const int port = FreePort(SOCK_STREAM);
    const int handle = OpenRecording(kConnectTcpServer, port);
    ASSERT_GE(handle, 0);
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in to = Loopback(port);
    ASSERT_TRUE(WaitFor(
        [&] { return connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof(to)) == 0; }));

    constexpr size_t kFrame = 3000; // frames straddle the player's reads
    std::atomic<bool> stop{false};
    std::thread sender([&] {
        std::vector<uint8_t> frame(kFrame);
        for (uint32_t n = 0; !stop; ++n) {
            TvMakeRecordFrame(n, kFrame, frame.data());
            for (size_t at = 0; at < kFrame;) {
                const ssize_t sent = send(s, frame.data() + at, kFrame - at, MSG_NOSIGNAL);
                if (sent <= 0)
                    return;
                at += size_t(sent);
            }
            // A device's pace, not loopback's: the player's pictures are junk
            // to its splitter, and nothing needs gigabytes here.
            if (n % 64 == 63)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    int64_t received = 0;
    EXPECT_TRUE(WaitFor([&] { return (received = Statistics(handle).recvLength) >= 2 << 20; }))
        << StatisticsText(handle);
    EXPECT_EQ(TP_Uninitialize(handle), 0);
    stop = true;
    shutdown(s, SHUT_RDWR);
    sender.join();
    close(s);

    const std::string bytes = ReadFile(RecordPath());
    EXPECT_GE(int64_t(bytes.size()), received) << "received bytes missing from the record";
    const TvParsedRecord parsed = TvParseRecord(bytes, kFrame);
    EXPECT_TRUE(parsed.clean) << "bytes never sent after " << parsed.wholeFrames << " frames";
    EXPECT_GE(parsed.wholeFrames, size_t(received) / kFrame);
}

// The disk fills up mid-recording. An unprivileged test can neither mount a
// small file system nor fill the real one, so a file size limit stands in:
// RLIMIT_FSIZE, with SIGXFSZ ignored, makes writes past it fail with EFBIG as
// a full disk fails them with ENOSPC. Datagrams of one frame each, the limit
// ten and a half frames: the record holds the ten whole frames and nothing of
// the eleventh, and the stream goes on playing.
TEST_F(PlayerRecords, AFullDiskKeepsEveryWholeBlockBefore)
{
    const int port = FreePort(SOCK_DGRAM);
    const int handle = OpenRecording(kConnectUdp, port);
    ASSERT_GE(handle, 0);
    constexpr size_t kFrame = 1000;
    constexpr int kFrames = 20;

    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto* oldHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit limited = old;
    limited.rlim_cur = 10 * kFrame + kFrame / 2;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const int s = socket(AF_INET, SOCK_DGRAM, 0);
    const sockaddr_in to = Loopback(port);
    std::vector<uint8_t> frame(kFrame);
    bool all = true;
    for (uint32_t n = 0; n < kFrames && all; ++n) {
        TvMakeRecordFrame(n, kFrame, frame.data());
        sendto(s, frame.data(), kFrame, 0, reinterpret_cast<const sockaddr*>(&to), sizeof(to));
        // One at a time: each is one block of the receiver.
        all = WaitFor([&] { return Statistics(handle).recvPackets >= int64_t(n) + 1; });
    }
    close(s);
    TP_StopRecord(handle);
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    ASSERT_TRUE(all) << StatisticsText(handle);

    const std::string bytes = ReadFile(RecordPath());
    const TvParsedRecord parsed = TvParseRecord(bytes, kFrame);
    EXPECT_TRUE(parsed.clean);
    EXPECT_EQ(parsed.wholeFrames, 10u);
    EXPECT_EQ(bytes.size(), 10 * kFrame) << "a partial block was left at the end";
    EXPECT_EQ(Statistics(handle).recvLength, int64_t(kFrames * kFrame))
        << "the stream stopped with the recording";
}
