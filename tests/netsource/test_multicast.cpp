// The UDP(Brodcast) type: the receiver joins a multicast group. On a machine
// whose only interface is loopback a join needs a multicast route; the second
// test sets one up on lo inside a private network namespace (unshare -rn) and
// runs the first there. Both skip where they cannot run.
#include "CNetReceiver.h"
#include "NWTestUtil.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

using namespace nwtest;

namespace {

constexpr const char* kInNamespace = "TARVO_NWS_IN_NAMESPACE";

bool CanJoin(const char* group)
{
    const int s = socket(AF_INET, SOCK_DGRAM, 0);
    ip_mreq join{};
    join.imr_multiaddr.s_addr = inet_addr(group);
    join.imr_interface.s_addr = htonl(INADDR_ANY);
    const bool ok = setsockopt(s, IPPROTO_IP, IP_ADD_MEMBERSHIP, &join, sizeof(join)) == 0;
    close(s);
    return ok;
}

LONGLONG Length(const CNetReceiver& r)
{
    LONGLONG packets = 0, length = 0;
    r.GetStatistics(&packets, &length);
    return length;
}

sockaddr_in Group(const char* group, unsigned short port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = inet_addr(group);
    a.sin_port = htons(port);
    return a;
}

} // namespace

TEST(NetReceiverMulticast, ReceivesTheGroupAndKeepsItForTheSameAddress)
{
    const char* group = "239.255.42.1";
    if (!CanJoin(group))
        GTEST_SKIP() << "no multicast route here";

    CNetReceiver r(nullptr, 0x500000);
    const unsigned short port = FreePort(SOCK_DGRAM);
    ASSERT_EQ(r.SetConnectParam(NW_CONNECT_UDP_MULTICAST, group, port), S_OK);
    UdpSender s;
    ASSERT_TRUE(s.SendTo(Group(group, port), "group", 5));
    ASSERT_TRUE(WaitFor([&] { return Length(r) == 5; }));

    // The same group, or no address (which keeps the stored group): nothing
    // changes, the group is still heard.
    EXPECT_EQ(r.SetConnectParam(NW_CONNECT_UDP_MULTICAST, group, port), S_OK);
    EXPECT_EQ(r.SetConnectParam(NW_CONNECT_UDP_MULTICAST, nullptr, port), S_OK);
    EXPECT_EQ(Length(r), 5);
    ASSERT_TRUE(s.SendTo(Group(group, port), "again", 5));
    ASSERT_TRUE(WaitFor([&] { return Length(r) == 10; }));

    // Another group: reconnected, counters reset, the old group no longer heard.
    const char* other = "239.255.42.2";
    ASSERT_EQ(r.SetConnectParam(NW_CONNECT_UDP_MULTICAST, other, port), S_OK);
    EXPECT_EQ(Length(r), 0);
    ASSERT_TRUE(s.SendTo(Group(group, port), "old", 3));
    ASSERT_TRUE(s.SendTo(Group(other, port), "other", 5));
    ASSERT_TRUE(WaitFor([&] { return Length(r) >= 5; }));
    std::string out(16, '\0');
    LONG n = 16;
    r.Read(reinterpret_cast<BYTE*>(out.data()), &n, TRUE);
    out.resize(static_cast<size_t>(n));
    EXPECT_EQ(out, "other");

    // A join that cannot work (not a multicast address) fails and is retried.
    EXPECT_EQ(r.SetConnectParam(NW_CONNECT_UDP_MULTICAST, "10.1.2.3", port), E_FAIL);
}

TEST(NetReceiverMulticast, InANamespaceWithOnlyLoopback)
{
    if (getenv(kInNamespace))
        GTEST_SKIP() << "already inside the namespace";
    if (system("command -v ip >/dev/null 2>&1 && unshare -rn true >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "no private network namespace (or no ip tool) here";

    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
    ASSERT_GT(n, 0);
    self[n] = '\0';
    const std::string command =
        std::string(kInNamespace) + "=1 unshare -rn sh -c '" +
        "ip link set lo up && ip route add 224.0.0.0/4 dev lo || exit 77; "
        "exec \"$0\" "
        "--gtest_filter=NetReceiverMulticast.ReceivesTheGroupAndKeepsItForTheSameAddress' '" +
        self + "' > /dev/null 2>&1";
    const int status = system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "no multicast route could be set up in the namespace";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
