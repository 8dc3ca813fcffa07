// The receiver's batch reads on UDP: many queued datagrams taken in one read
// stay whole, in order, one block each, in the ring (across its wrap, and when
// it overflows) and in the record file; and the socket receive buffer it got.
#include "CNetReceiver.h"
#include "NWTestUtil.h"

#include <gtest/gtest.h>

#include <sys/ioctl.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <climits>

using namespace nwtest;

namespace {

// Datagram i of the given size: bytes that name the datagram and the offset,
// so a cut, a lost or a swapped datagram shows in the joined bytes.
std::string Datagram(int index, size_t size)
{
    std::string d(size, '\0');
    for (size_t k = 0; k < size; ++k)
        d[k] = static_cast<char>(index * 31 + k * 7 + (k >> 8));
    return d;
}

// Reads what the pipe has without blocking, appending to out.
void ReadPipe(int fd, std::string* out)
{
    char chunk[65536];
    for (;;) {
        const ssize_t n = read(fd, chunk, sizeof(chunk));
        if (n <= 0)
            return;
        out->append(chunk, static_cast<size_t>(n));
    }
}

int PipeBytes(int fd)
{
    int n = 0;
    return ioctl(fd, FIONREAD, &n) == 0 ? n : -1;
}

} // namespace

// The receive thread is held inside the record write of a first datagram (the
// record file is a pipe that the test has let fill up) while the test queues
// a batch in the socket; once the pipe is drained, one read takes the whole
// batch. The ring's write position sits near its end, so the batch wraps.
TEST(NetReceiverBatch, QueuedDatagramsComeInOneReadWholeAndInOrder)
{
    constexpr LONG kRingSize = 300000;
    constexpr LONG kBefore = 280000; // where the first datagram lands
    struct Case {
        const char* name;
        std::vector<size_t> sizes; // the batch after the first datagram
        bool overflows;            // more than the ring holds: the oldest bytes go
    };
    const Case cases[] = {
        {"wraps", {1400, 65507, 1, 7000, 1400, 300, 1400}, false},
        {"overflows", {65507, 65507, 65507, 65507, 65507, 1400, 9}, true},
        {"full batch", std::vector<size_t>(CNetReceiver::kBatchDatagrams, 1400), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string fifo = dir / "record.fifo";
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        const int pipe = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(pipe, 0);
        const int pipeSize = fcntl(pipe, F_SETPIPE_SZ, 4096);
        ASSERT_GE(pipeSize, 4096);

        CNetReceiver r(nullptr, kRingSize);
        const unsigned short port = FreePort(SOCK_DGRAM);
        ASSERT_EQ(r.SetConnectParam(NW_CONNECT_UDP, nullptr, port), S_OK);
        // The ring's positions moved near its end (after the flush of the
        // new parameters).
        std::string filler(kBefore, 'f');
        LONG n = kBefore;
        ASSERT_EQ(r.Write(reinterpret_cast<const BYTE*>(filler.data()), &n, TRUE), S_OK);
        ASSERT_EQ(r.Read(reinterpret_cast<BYTE*>(filler.data()), &n, FALSE), S_OK);

        ASSERT_EQ(r.StartRecord(fifo.c_str()), S_OK);
        UdpSender s;
        const std::string first = Datagram(0, static_cast<size_t>(pipeSize) + 1000);
        ASSERT_TRUE(s.Send(port, first));
        // The pipe is full: the receive thread waits in the write of `first`.
        ASSERT_TRUE(WaitFor([&] { return PipeBytes(pipe) == pipeSize; }));

        std::string all = first;
        for (size_t i = 0; i < c.sizes.size(); ++i) {
            const std::string d = Datagram(static_cast<int>(i) + 1, c.sizes[i]);
            ASSERT_TRUE(s.Send(port, d));
            all += d;
        }
        std::string recorded;
        ASSERT_TRUE(WaitFor([&] {
            ReadPipe(pipe, &recorded);
            return recorded.size() >= all.size();
        }));
        EXPECT_TRUE(recorded == all) << "the record file differs from what was sent";

        LONGLONG packets = 0, length = 0;
        r.GetStatistics(&packets, &length);
        EXPECT_EQ(packets, static_cast<LONGLONG>(c.sizes.size()) + 1);
        EXPECT_EQ(length, static_cast<LONGLONG>(all.size()));
        const CNetReceiver::ReadStatistics reads = r.GetReadStatistics();
        EXPECT_EQ(reads.reads, 2);
        EXPECT_EQ(reads.largestRead, static_cast<int>(c.sizes.size()));

        const CStreamRingBuffer::State state = r.GetState();
        const std::string kept = c.overflows ? all.substr(all.size() - kRingSize) : all;
        EXPECT_EQ(state.count, static_cast<LONG>(kept.size()));
        EXPECT_EQ(state.writePosition,
                  static_cast<LONG>((kBefore + static_cast<LONGLONG>(all.size())) % kRingSize));
        std::string ring(kept.size(), '\0');
        n = static_cast<LONG>(ring.size());
        ASSERT_EQ(r.Read(reinterpret_cast<BYTE*>(ring.data()), &n, FALSE), S_OK);
        EXPECT_TRUE(ring == kept) << "the ring differs from what was sent";

        r.StopRecord();
        close(pipe);
    }
}

// Linux caps SO_RCVBUF at net.core.rmem_max and reports twice what it
// accepted. The receiver reports the figure it got and, when that is less
// than it asked for, writes one warning per process with the hint.
TEST(NetReceiverBatch, ReportsTheSocketBufferItGotAndWarnsOnce)
{
    // The child writes the figures it got into the file the variable names.
    if (const char* child = getenv("TARVO_NWS_BUFFER_CHILD")) {
        std::ofstream figures(child);
        // Two receivers, two sockets each (the second port replaces the first).
        for (int i = 0; i < 2; ++i) {
            CNetReceiver r(nullptr, 0x10000);
            for (int k = 0; k < 2; ++k) {
                const unsigned short port = FreePort(SOCK_DGRAM);
                ASSERT_EQ(r.SetConnectParam(NW_CONNECT_UDP, nullptr, port), S_OK);
                figures << r.GetReadStatistics().socketBuffer << "\n";
            }
        }
        return;
    }

    const int probe = socket(AF_INET, SOCK_DGRAM, 0);
    int size = CNetReceiver::kSocketBufferSize;
    ASSERT_EQ(setsockopt(probe, SOL_SOCKET, SO_RCVBUF, &size, sizeof(size)), 0);
    int granted = 0;
    socklen_t len = sizeof(granted);
    ASSERT_EQ(getsockopt(probe, SOL_SOCKET, SO_RCVBUF, &granted, &len), 0);
    close(probe);

    // In a process of its own, so no earlier socket of this one has warned.
    TempDir dir;
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
    ASSERT_GT(length, 0);
    self[length] = '\0';
    const std::string out = dir / "out", err = dir / "err";
    const std::string command = "TARVO_NWS_BUFFER_CHILD='" + out + "' '" + self +
                                "' --gtest_filter=NetReceiverBatch.ReportsTheSocketBuffer* "
                                ">/dev/null 2>'" +
                                err + "'";
    const int status = system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);

    const std::string expected = std::to_string(granted) + "\n";
    EXPECT_EQ(ReadFile(out), expected + expected + expected + expected);
    const std::string warnings = ReadFile(err);
    if (granted / 2 < CNetReceiver::kSocketBufferSize) {
        EXPECT_EQ(std::count(warnings.begin(), warnings.end(), '\n'), 1) << warnings;
        EXPECT_NE(warnings.find("net.core.rmem_max"), std::string::npos) << warnings;
        EXPECT_NE(warnings.find(std::to_string(granted / 2)), std::string::npos) << warnings;
    } else {
        EXPECT_EQ(warnings, "");
    }
}
