// Recordings that lose nothing: the receiver's record files against the exact
// bytes a device sent over loopback, across the 2 GiB continuation and through
// the death of the recording process.
#include "CNetReceiver.h"
#include "NWTestUtil.h"
#include "TvRecordFrames.h"

#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <signal.h>
#include <sys/statvfs.h>
#include <sys/wait.h>

#include <atomic>
#include <cstdio>
#include <future>
#include <memory>
#include <thread>
#include <vector>

using namespace nwtest;

namespace {

constexpr LONG kRing = 0x500000;

class Sha256 {
public:
    Sha256() : m_ctx(EVP_MD_CTX_new()) { EVP_DigestInit_ex(m_ctx, EVP_sha256(), nullptr); }
    ~Sha256() { EVP_MD_CTX_free(m_ctx); }
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;
    void Update(const void* data, size_t size) { EVP_DigestUpdate(m_ctx, data, size); }
    std::string Hex()
    {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int size = 0;
        EVP_DigestFinal_ex(m_ctx, digest, &size);
        std::string hex;
        char two[3];
        for (unsigned int i = 0; i < size; ++i) {
            std::snprintf(two, sizeof two, "%02x", digest[i]);
            hex += two;
        }
        return hex;
    }

private:
    EVP_MD_CTX* m_ctx;
};

LONGLONG Length(const CNetReceiver& r)
{
    LONGLONG packets = 0, length = 0;
    r.GetStatistics(&packets, &length);
    return length;
}

off_t FileSize(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

bool SendBytes(int s, const uint8_t* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = send(s, data, size, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// The TCP connection to a receiver listening on port ("TCP(Server)"), which
// may still be opening its socket.
int ConnectWhenListening(unsigned short port)
{
    int s = -1;
    WaitFor([&] { return (s = ConnectTcp(port)) >= 0; });
    return s;
}

} // namespace

// A stream of a little more than 2 GiB, sent at the speed of loopback into a
// recording: the first file ends at the first block past 2 GiB, the rest
// continues in "<name>_1.tvx", and the two joined hold exactly the bytes
// sent, by their SHA-256.
TEST(RecordLossless, AStreamAcrossTheTwoGiBSplitKeepsEveryByte)
{
    TempDir dir;
    constexpr size_t kFrame = 1 << 20;
    constexpr uint32_t kFrames = 2048 + 40;
    struct statvfs fs {};
    ASSERT_EQ(statvfs(dir.Path().c_str(), &fs), 0);
    if (uint64_t(fs.f_bavail) * fs.f_frsize < uint64_t(kFrames) * kFrame + (1ull << 30))
        GTEST_SKIP() << "less than 3 GiB free under " << dir.Path();

    CNetReceiver r(nullptr, kRing);
    const unsigned short port = FreePort(SOCK_STREAM);
    ASSERT_EQ(r.SetConnectParam(NW_CONNECT_TCP_SERVER, nullptr, port), S_OK);
    const std::string path = dir / "big.tvx", next = dir / "big_1.tvx", third = dir / "big_2.tvx";
    ASSERT_EQ(r.StartRecord(path.c_str()), S_OK);
    const int s = ConnectWhenListening(port);
    ASSERT_GE(s, 0);

    Sha256 sent;
    std::vector<uint8_t> frame(kFrame);
    for (uint32_t n = 0; n < kFrames; ++n) {
        TvMakeRecordFrame(n, kFrame, frame.data());
        sent.Update(frame.data(), frame.size());
        ASSERT_TRUE(SendBytes(s, frame.data(), frame.size())) << "frame " << n;
    }
    const LONGLONG total = LONGLONG(kFrames) * LONGLONG(kFrame);
    EXPECT_TRUE(WaitFor([&] { return Length(r) >= total; }, 120000))
        << Length(r) << " of " << total << " bytes received";
    r.StopRecord();
    close(s);

    const off_t first = FileSize(path);
    EXPECT_GT(first, off_t(INT32_MAX)) << "the first file ends before 2 GiB";
    EXPECT_LE(first, off_t(INT32_MAX) + CNetReceiver::kRecvBufferSize)
        << "the first file goes on past the block that crossed 2 GiB";
    EXPECT_EQ(first + FileSize(next), total);
    EXPECT_FALSE(FileExists(third));

    Sha256 recorded;
    for (const std::string& file : {path, next}) {
        FILE* in = std::fopen(file.c_str(), "rb");
        ASSERT_NE(in, nullptr) << file;
        for (size_t n; (n = std::fread(frame.data(), 1, frame.size(), in)) > 0;)
            recorded.Update(frame.data(), n);
        std::fclose(in);
    }
    EXPECT_EQ(recorded.Hex(), sent.Hex());
}

// The recording process killed (SIGKILL) while the stream pours in: every
// byte its writes had put in the file before is there, the file is the
// stream's beginning, and it ends at most inside one frame.
TEST(RecordLossless, AKilledRecorderKeepsEveryBlockItWrote)
{
    TempDir dir;
    const std::string path = dir / "killed.tvx";
    const unsigned short port = FreePort(SOCK_STREAM);
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    // Forked before this process has any other thread.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(ready[0]);
        auto* r = new CNetReceiver(nullptr, kRing);
        char ok = r->SetConnectParam(NW_CONNECT_TCP_SERVER, nullptr, port) == S_OK &&
                          r->StartRecord(path.c_str()) == S_OK
                      ? 'y'
                      : 'n';
        if (write(ready[1], &ok, 1) != 1)
            _exit(2);
        for (;;)
            pause();
    }
    close(ready[1]);
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    close(ready[0]);
    ASSERT_EQ(ok, 'y');

    constexpr size_t kFrame = 4096 + 100; // frames straddle the receiver's reads
    const int s = ConnectWhenListening(port);
    ASSERT_GE(s, 0);
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> sentBytes{0};
    std::thread sender([&] {
        std::vector<uint8_t> frame(kFrame);
        for (uint32_t n = 0; !stop; ++n) {
            TvMakeRecordFrame(n, kFrame, frame.data());
            if (!SendBytes(s, frame.data(), frame.size()))
                return;
            sentBytes += kFrame;
        }
    });
    off_t seen = 0;
    EXPECT_TRUE(WaitFor([&] { return (seen = FileSize(path)) >= 8 << 20; }));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    stop = true;
    shutdown(s, SHUT_RDWR);
    sender.join();
    close(s);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

    const std::string bytes = ReadFile(path);
    EXPECT_GE(off_t(bytes.size()), seen) << "bytes written before the kill are gone";
    EXPECT_LE(bytes.size(), sentBytes.load());
    const TvParsedRecord parsed = TvParseRecord(bytes, kFrame);
    EXPECT_TRUE(parsed.clean) << "the record holds bytes that were never sent, after "
                              << parsed.wholeFrames << " whole frames";
    EXPECT_GE(parsed.wholeFrames, size_t(seen) / kFrame);
}
