// The receiver's batch reads on UDP: many queued datagrams taken in one read
// stay whole, in order, one block each, in the ring (across its wrap, and when
// it overflows) and in the record file; datagrams that come while the receive
// thread lets them gather are all delivered in order, and a new port or the
// end of the receiver in that wait are taken at once; and the socket receive
// buffer it got.
#include "CNetReceiver.h"
#include "NWTestUtil.h"

#include <gtest/gtest.h>

#include <sys/ioctl.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <memory>

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

// Sends datagrams numbered from *next onwards, a burst of `count` in one
// sendmmsg (so the receive thread finds more than one waiting), appending
// them to *sent.
bool SendBurst(const UdpSender& s, unsigned short port, int count, int* next, std::string* sent)
{
    std::vector<std::string> data;
    std::vector<iovec> slots(static_cast<size_t>(count));
    std::vector<mmsghdr> messages(static_cast<size_t>(count));
    sockaddr_in to = Loopback(port);
    for (int i = 0; i < count; ++i)
        data.push_back(Datagram((*next)++, 1000 + static_cast<size_t>(i % 7) * 50));
    for (size_t i = 0; i < data.size(); ++i) {
        slots[i] = {data[i].data(), data[i].size()};
        messages[i] = {};
        messages[i].msg_hdr.msg_name = &to;
        messages[i].msg_hdr.msg_namelen = sizeof(to);
        messages[i].msg_hdr.msg_iov = &slots[i];
        messages[i].msg_hdr.msg_iovlen = 1;
    }
    if (sendmmsg(s.Socket(), messages.data(), static_cast<unsigned>(count), 0) != count)
        return false;
    for (const std::string& d : data)
        sent->append(d);
    return true;
}

// Datagrams one at a time, each soon after the last (a stream paced finely
// enough to wake the receive thread thousands of times a second), until the
// thread waits to let them gather.
bool StartGathering(CNetReceiver& r, const UdpSender& s, unsigned short port, int* next,
                    std::string* sent)
{
    const LONGLONG before = r.GetReadStatistics().gatherWaits;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kDeadlineMs);
    while (r.GetReadStatistics().gatherWaits == before) {
        if (std::chrono::steady_clock::now() > end || !SendBurst(s, port, 1, next, sent))
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return true;
}

// A receiver on a UDP port of its own, with what was sent to it.
struct UdpStream {
    UdpStream() : port(FreePort(SOCK_DGRAM))
    {
        EXPECT_EQ(r.SetConnectParam(NW_CONNECT_UDP, nullptr, port), S_OK);
    }
    bool Send(int count) { return SendBurst(s, port, count, &next, &sent); }
    bool Gather() { return StartGathering(r, s, port, &next, &sent); }

    CNetReceiver r{nullptr, 0x1000000};
    unsigned short port;
    UdpSender s;
    int next = 0;
    std::string sent;
};

std::string TakeRing(CNetReceiver& r)
{
    std::string out(static_cast<size_t>(r.GetState().count), '\0');
    LONG n = static_cast<LONG>(out.size());
    r.Read(reinterpret_cast<BYTE*>(out.data()), &n, FALSE);
    out.resize(static_cast<size_t>(n));
    return out;
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

        // The read is counted once its blocks are in the record file and the
        // ring.
        LONGLONG packets = 0, length = 0;
        EXPECT_TRUE(WaitFor([&] {
            r.GetStatistics(&packets, &length);
            return packets >= static_cast<LONGLONG>(c.sizes.size()) + 1;
        }));
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

// Once the thread gathers, datagrams sent one at a time and in bursts, while
// it waits and while it reads, all reach the ring whole and in order; when
// the stream pauses it goes back to sleeping until data comes (its gather
// waits stop), and the next datagram still arrives.
TEST(NetReceiverBatch, DatagramsThatComeWhileItGathersAreAllDeliveredInOrder)
{
    UdpStream u;
    CNetReceiver& r = u.r;
    ASSERT_TRUE(u.Gather());

    for (int round = 0; round < 200; ++round) {
        ASSERT_TRUE(u.Send(round % 5 == 0 ? 40 : 1));
        if (round % 3 == 0)
            std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
    const auto received = [&] {
        LONGLONG packets = 0, length = 0;
        r.GetStatistics(&packets, &length);
        return packets;
    };
    ASSERT_TRUE(WaitFor([&] { return received() == u.next; })) << received() << " of " << u.next;

    // The stream pauses: the gather waits end.
    EXPECT_TRUE(WaitFor([&] {
        const LONGLONG before = r.GetReadStatistics().gatherWaits;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return r.GetReadStatistics().gatherWaits == before;
    }));
    ASSERT_TRUE(u.Send(1));
    ASSERT_TRUE(WaitFor([&] { return received() == u.next; }));
    EXPECT_TRUE(TakeRing(r) == u.sent) << "the ring differs from what was sent";
}

// A new port, and the end of the receiver, while the thread lets datagrams
// gather: both are taken without waiting for data, and the new port's
// datagrams arrive.
TEST(NetReceiverBatch, ANewPortOrTheEndDuringTheGatherWaitIsTakenAtOnce)
{
    auto r = std::make_unique<CNetReceiver>(nullptr, 0x1000000);
    UdpSender s;
    int next = 0;
    std::string sent;
    const unsigned short first = FreePort(SOCK_DGRAM);
    ASSERT_EQ(r->SetConnectParam(NW_CONNECT_UDP, nullptr, first), S_OK);
    ASSERT_TRUE(StartGathering(*r, s, first, &next, &sent));

    // The parameters flush the ring: only the new port's datagrams count.
    const unsigned short second = FreePort(SOCK_DGRAM);
    ASSERT_EQ(r->SetConnectParam(NW_CONNECT_UDP, nullptr, second), S_OK);
    sent.clear();
    ASSERT_TRUE(StartGathering(*r, s, second, &next, &sent));
    ASSERT_TRUE(WaitFor([&] { return r->GetState().count == static_cast<LONG>(sent.size()); }));
    EXPECT_TRUE(TakeRing(*r) == sent) << "the ring differs from what was sent";

    // Ends while it gathers (a stream still coming).
    ASSERT_TRUE(SendBurst(s, second, 16, &next, &sent));
    r.reset();
}

// A stream that comes a picture at a time, as a camera sends it: each picture
// a burst of datagrams sent one after another, 25 pictures a second. Read as
// each datagram comes, the thread woke for nearly every one (and the source
// pin and the splitter after it); it now takes a picture in a few reads, and
// every datagram still arrives whole and in order.
TEST(NetReceiverBatch, APictureBurstIsTakenInAFewReads)
{
    UdpStream u;
    CNetReceiver& r = u.r;
    constexpr int kPictures = 15, kDatagrams = 30;
    for (int picture = 0; picture < kPictures; ++picture) {
        for (int i = 0; i < kDatagrams; ++i) {
            ASSERT_TRUE(u.Send(1));
            std::this_thread::sleep_for(std::chrono::microseconds(20));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
    ASSERT_TRUE(WaitFor([&] { return r.GetState().count == static_cast<LONG>(u.sent.size()); }));
    EXPECT_TRUE(TakeRing(r) == u.sent) << "the ring differs from what was sent";
    // A burst that a busy machine stretches takes a read or two more.
    EXPECT_LE(r.GetReadStatistics().reads, 5 * kPictures);
}

// Linux caps SO_RCVBUF at net.core.rmem_max (unless the process holds
// CAP_NET_ADMIN, which may force a larger one) and reports twice what it
// accepted. The receiver reports the figure it got and, when that is less
// than it asked for, writes one warning per process with the hint. Run as the
// test runs and again without CAP_NET_ADMIN (the same when it had none).
TEST(NetReceiverBatch, ReportsTheSocketBufferItGotAndWarnsOnce)
{
    // The child writes the figures it got into the file the variable names.
    if (const char* child = getenv("TARVO_NWS_BUFFER_CHILD")) {
        if (getenv("TARVO_NWS_BUFFER_PLAIN"))
            SetNetAdminEffective(false);
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

    // What this process may get: forced when it is allowed, else capped.
    const auto probe = [](int option) {
        const int s = socket(AF_INET, SOCK_DGRAM, 0);
        int size = CNetReceiver::kSocketBufferSize;
        if (setsockopt(s, SOL_SOCKET, option, &size, sizeof(size)) != 0) {
            close(s);
            return 0;
        }
        int granted = 0;
        socklen_t len = sizeof(granted);
        getsockopt(s, SOL_SOCKET, SO_RCVBUF, &granted, &len);
        close(s);
        return granted;
    };
    const int capped = probe(SO_RCVBUF);
    ASSERT_GT(capped, 0);
    const int forced = probe(SO_RCVBUFFORCE);
    struct Case {
        const char* name;
        bool plain;
        int granted;
    };
    const Case cases[] = {
        {"as the process is", false, forced > 0 ? forced : capped},
        {"without CAP_NET_ADMIN", true, capped},
    };

    TempDir dir;
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
    ASSERT_GT(length, 0);
    self[length] = '\0';
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // In a process of its own, so no earlier socket of this one has warned.
        const std::string out = dir / "out", err = dir / "err";
        const std::string command =
            std::string("TARVO_NWS_BUFFER_CHILD='") + out + "' " +
            (c.plain ? "TARVO_NWS_BUFFER_PLAIN=1 " : "") + "'" + self +
            "' --gtest_filter=NetReceiverBatch.ReportsTheSocketBuffer* >/dev/null 2>'" + err + "'";
        const int status = system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_EQ(WEXITSTATUS(status), 0);

        const std::string expected = std::to_string(c.granted) + "\n";
        EXPECT_EQ(ReadFile(out), expected + expected + expected + expected);
        const std::string warnings = ReadFile(err);
        if (c.granted / 2 < CNetReceiver::kSocketBufferSize) {
            EXPECT_EQ(std::count(warnings.begin(), warnings.end(), '\n'), 1) << warnings;
            EXPECT_NE(warnings.find("net.core.rmem_max"), std::string::npos) << warnings;
            EXPECT_NE(warnings.find(std::to_string(c.granted / 2)), std::string::npos) << warnings;
        } else {
            EXPECT_EQ(warnings, "");
        }
    }
}
