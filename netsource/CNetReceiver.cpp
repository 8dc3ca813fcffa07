#include "CNetReceiver.h"

#include "win32/file.h"
#include "win32/path.h"
#include "win32/timefn.h"
#include "win32/trace.h"

#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <new>
#include <poll.h>
#include <pthread.h>
#include <string>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr int INVALID_SOCKET = -1;
// The pause between two open attempts while there is no data socket.
constexpr DWORD kReopenIntervalMs = 10;

struct AcceptArgs {
    CNetReceiver* receiver;
    int listenSocket;
};

// Asks for the socket receive buffer and gives back what the kernel granted
// (getsockopt's figure: Linux doubles the size it accepts, for its own
// bookkeeping, and caps what it accepts at net.core.rmem_max unless the
// process may pass that cap, CAP_NET_ADMIN, so the forced request comes
// first). A grant below the request is written to standard error once per
// process, with the hint.
int SetReceiveBuffer(int s)
{
    int size = CNetReceiver::kSocketBufferSize;
    if (setsockopt(s, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof(size)) != 0)
        setsockopt(s, SOL_SOCKET, SO_RCVBUF, &size, sizeof(size));
    int granted = 0;
    socklen_t length = sizeof(granted);
    if (getsockopt(s, SOL_SOCKET, SO_RCVBUF, &granted, &length) != 0)
        return 0;
    TV_TRACE("nwsource", "socket %d: receive buffer %d bytes asked, %d granted", s, size, granted);
    static std::atomic<bool> warned{false};
    if (granted / 2 < size && !warned.exchange(true)) {
        std::fprintf(stderr,
                     "Tarvo NWSource: socket receive buffer %d bytes, %d asked: bursts may be "
                     "lost; raise net.core.rmem_max (sysctl -w net.core.rmem_max=%d)\n",
                     granted / 2, size, size);
        std::fflush(stderr);
    }
    return granted;
}

sockaddr_in AnyAddress(USHORT port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    a.sin_port = htons(port);
    return a;
}

// A blocking connect bounded by `timeoutMs` that also ends, failing, as soon
// as cancelFd (when not -1) becomes readable; the socket is blocking again
// afterwards.
bool ConnectWithin(int s, const sockaddr_in& to, DWORD timeoutMs, int cancelFd)
{
    const int flags = fcntl(s, F_GETFL);
    fcntl(s, F_SETFL, flags | O_NONBLOCK);
    int rc = connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof(to));
    if (rc != 0 && errno == EINPROGRESS) {
        pollfd p[2] = {{s, POLLOUT, 0}, {cancelFd, POLLIN, 0}};
        rc = -1;
        if (poll(p, cancelFd >= 0 ? 2 : 1, static_cast<int>(timeoutMs)) > 0 && p[1].revents == 0 &&
            p[0].revents != 0) {
            int err = 0;
            socklen_t len = sizeof(err);
            if (getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0)
                rc = 0;
        }
    }
    fcntl(s, F_SETFL, flags);
    return rc == 0;
}

// The continuation file name: the record path without the extension of its
// file name, then "_<n>.tvx".
std::string ContinuationPath(const char* recordPath, LONG split)
{
    std::string base(recordPath);
    const char* name = TvPathFindFileName(recordPath);
    const char* dot = strrchr(name, '.');
    if (dot)
        base.resize(static_cast<size_t>(dot - recordPath));
    char suffix[32];
    snprintf(suffix, sizeof(suffix), "_%d.tvx", static_cast<int>(split));
    return base + suffix;
}

HANDLE CreateRecordFile(const char* path)
{
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    return file == INVALID_HANDLE_VALUE ? nullptr : file;
}

} // namespace

CNetReceiver::CNetReceiver(CRingLogClock* filter, LONG capacity)
    : CStreamRingBuffer(filter, capacity), m_hAcceptThread(nullptr), m_acceptThreadId(0),
      m_connectType(0), m_listenSocket(INVALID_SOCKET), m_listenPort(0),
      m_dataSocket(INVALID_SOCKET), m_socketGeneration(0), m_address{}, m_port(8001),
      m_socketInUse(false), m_wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      m_hRecvThread(nullptr), m_recvThreadId(0), m_stop(0), m_pRecvBuffer(nullptr),
      m_readAgain(false), m_lastReadGave(false), m_hRecordFile(nullptr), m_recordPath{},
      m_splitCount(0), m_recvPackets(0), m_recvLength(0)
{
    // The timing log is opened before the receive thread starts, which is
    // then its only user.
    m_timingLog.Open(GetTickCount());

    m_pRecvBuffer = new (std::nothrow) BYTE[kRecvBufferSize];
    if (m_pRecvBuffer)
        m_hRecvThread = CreateThread(nullptr, 0, RecvThreadProc, this, 0, &m_recvThreadId);
}

CNetReceiver::~CNetReceiver()
{
    StopRecord();

    m_stop = 1;
    Wake();
    if (m_hRecvThread) {
        WaitForSingleObject(m_hRecvThread, INFINITE);
        CloseHandle(m_hRecvThread);
        m_hRecvThread = nullptr;
    }

    const int listenSocket = m_listenSocket.exchange(INVALID_SOCKET);
    if (listenSocket != INVALID_SOCKET) {
        // Wakes the accept thread out of accept(); the socket is closed only
        // once the thread is gone, so its number cannot be reused under it.
        shutdown(listenSocket, SHUT_RDWR);
        if (m_hAcceptThread) {
            WaitForSingleObject(m_hAcceptThread, INFINITE);
            CloseHandle(m_hAcceptThread);
            m_hAcceptThread = nullptr;
        }
        close(listenSocket);
    }
    {
        // After the accept thread, which could still have handed over a socket.
        CAutoLock lock(&m_connectionLock);
        CloseDataSocket();
    }

    delete[] m_pRecvBuffer;
    m_timingLog.Close();
    if (m_wakeFd >= 0)
        close(m_wakeFd);
}

void CNetReceiver::Wake()
{
    if (m_wakeFd >= 0) {
        const uint64_t one = 1;
        // Fails only when the counter is full, which wakes the thread as well.
        [[maybe_unused]] const ssize_t n = write(m_wakeFd, &one, sizeof(one));
    }
}

void CNetReceiver::DrainWake()
{
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = read(m_wakeFd, &count, sizeof(count));
}

bool CNetReceiver::WaitForWake(int timeoutMs)
{
    if (m_wakeFd < 0) {
        // Without the eventfd nothing wakes the thread: look again at least
        // every reopen interval.
        Sleep(timeoutMs < 0 ? kReopenIntervalMs : static_cast<DWORD>(timeoutMs));
        return timeoutMs < 0;
    }
    pollfd wake{m_wakeFd, POLLIN, 0};
    if (poll(&wake, 1, timeoutMs) <= 0)
        return false;
    DrainWake();
    return true;
}

void CNetReceiver::CloseDataSocket()
{
    if (m_dataSocket == INVALID_SOCKET)
        return;
    while (m_socketInUse.load()) {
        Wake();
        m_socketInUse.wait(true);
    }
    close(m_dataSocket);
    m_dataSocket = INVALID_SOCKET;
    ++m_socketGeneration;
}

void CNetReceiver::SetDataSocket(int s)
{
    m_dataSocket = s;
    ++m_socketGeneration;
    Wake();
}

bool CNetReceiver::OpenCanGiveSocket() const
{
    switch (m_connectType) {
    case NW_CONNECT_UDP_MULTICAST:
    case NW_CONNECT_UDP:
    case NW_CONNECT_TCP_CLIENT:
        return true;
    case NW_CONNECT_TCP_SERVER:
        // With a listener the data socket comes from the accept thread.
        return m_listenSocket.load() == INVALID_SOCKET;
    default:
        // "UnKnown" always fails, other types open nothing.
        return false;
    }
}

HRESULT CNetReceiver::OpenStep(int cancelFd)
{
    switch (m_connectType) {
    case NW_CONNECT_UNKNOWN:
        return E_FAIL;

    case NW_CONNECT_UDP_MULTICAST: {
        const int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (s < 0)
            return E_FAIL;
        const sockaddr_in local = AnyAddress(m_port);
        ip_mreq join{};
        join.imr_multiaddr.s_addr = inet_addr(m_address);
        join.imr_interface.s_addr = htonl(INADDR_ANY);
        if (bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof(local)) != 0 ||
            setsockopt(s, IPPROTO_IP, IP_ADD_MEMBERSHIP, &join, sizeof(join)) != 0) {
            close(s);
            return E_FAIL;
        }
        m_socketBuffer = SetReceiveBuffer(s);
        SetDataSocket(s);
        return S_OK;
    }

    case NW_CONNECT_UDP: {
        const int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (s < 0)
            return E_FAIL;
        const sockaddr_in local = AnyAddress(m_port);
        if (bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof(local)) != 0) {
            close(s);
            return E_FAIL;
        }
        m_socketBuffer = SetReceiveBuffer(s);
        SetDataSocket(s);
        return S_OK;
    }

    case NW_CONNECT_TCP_SERVER: {
        if (m_listenSocket.load() != INVALID_SOCKET)
            return S_OK;
        const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (s < 0)
            return E_FAIL;
        // Lets a restarted server bind while connections of the previous
        // one linger in TIME_WAIT (what binding a port means on Windows).
        int on = 1;
        setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
        const sockaddr_in local = AnyAddress(m_port);
        if (bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof(local)) != 0 ||
            listen(s, 5) != 0) {
            close(s);
            return E_FAIL;
        }
        // The accept thread runs while this is the listening socket, so it is
        // stored before the thread starts.
        m_listenSocket = s;
        m_listenPort = m_port;
        auto* args = new (std::nothrow) AcceptArgs{this, s};
        m_hAcceptThread =
            args ? CreateThread(nullptr, 0, AcceptThreadProc, args, 0, &m_acceptThreadId) : nullptr;
        if (!m_hAcceptThread) {
            delete args;
            m_listenSocket = INVALID_SOCKET;
            close(s);
            return E_FAIL;
        }
        return S_OK;
    }

    case NW_CONNECT_TCP_CLIENT: {
        const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (s < 0)
            return E_FAIL;
        sockaddr_in remote{};
        remote.sin_family = AF_INET;
        remote.sin_addr.s_addr = inet_addr(m_address);
        remote.sin_port = htons(m_port);
        if (!ConnectWithin(s, remote, kConnectTimeoutMs, cancelFd)) {
            close(s);
            return E_FAIL;
        }
        m_socketBuffer = SetReceiveBuffer(s);
        SetDataSocket(s);
        return S_OK;
    }

    default:
        return S_OK;
    }
}

DWORD CNetReceiver::RecvThreadProc(LPVOID self)
{
    static_cast<CNetReceiver*>(self)->ReceiveLoop();
    return 0;
}

void CNetReceiver::ReceiveLoop()
{
    // Named so measurements and debuggers find it among the graph's threads.
    pthread_setname_np(pthread_self(), "tv-nwrecv");
    // When the next open attempt is due while there is no data socket.
    bool reopenPending = false;
    DWORD reopenAt = 0;
    while (!m_stop.load()) {
        int dataSocket = INVALID_SOCKET;
        unsigned generation = 0;
        bool datagrams = false;
        bool canOpen = false;
        {
            CAutoLock lock(&m_connectionLock);
            dataSocket = m_dataSocket;
            generation = m_socketGeneration;
            datagrams =
                m_connectType == NW_CONNECT_UDP || m_connectType == NW_CONNECT_UDP_MULTICAST;
            if (dataSocket != INVALID_SOCKET)
                m_socketInUse = true;
            else
                canOpen = OpenCanGiveSocket();
        }

        if (dataSocket == INVALID_SOCKET) {
            if (!canOpen) {
                // Nothing to retry: sleep until the connection changes.
                reopenPending = false;
                WaitForWake(-1);
                continue;
            }
            // The open step runs every 10 ms while there is no socket; a
            // wake-up in between only makes the thread look again.
            const DWORD now = GetTickCount();
            if (!reopenPending) {
                reopenPending = true;
                reopenAt = now + kReopenIntervalMs;
            }
            const LONG left = static_cast<LONG>(reopenAt - now);
            if (left > 0) {
                WaitForWake(static_cast<int>(left));
                continue;
            }
            reopenPending = false;
            CAutoLock lock(&m_connectionLock);
            if (m_dataSocket == INVALID_SOCKET)
                OpenStep(m_wakeFd);
            continue;
        }

        reopenPending = false;
        const PassEnd end = ReceivePass(dataSocket, datagrams);
        m_socketInUse = false;
        m_socketInUse.notify_all();
        if (end == PassEnd::Next)
            continue;
        {
            CAutoLock lock(&m_connectionLock);
            // Unless another thread has closed or replaced it meanwhile.
            if (m_socketGeneration == generation)
                CloseDataSocket();
        }
        if (end == PassEnd::PeerClosed)
            Sleep(1);
    }
}

CNetReceiver::PassEnd CNetReceiver::ReceivePass(int dataSocket, bool datagrams)
{
    // After a read that filled the buffer there is most likely more: read on
    // without waiting. After one that gave datagrams, let more come for
    // kGatherMs (woken early only by a wake-up) and read what came, without
    // asking poll. Otherwise wait in poll for data or a wake-up (poll, not
    // select: a process with many channels open may number the socket beyond
    // what an fd_set can hold); without data the thread sleeps there.
    if (m_readAgain) {
        // Read on.
    } else if (datagrams && m_lastReadGave) {
        m_gatherWaits.fetch_add(1, std::memory_order_relaxed);
        if (WaitForWake(kGatherMs))
            return PassEnd::Next;
    } else {
        pollfd fds[2] = {{dataSocket, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        const bool wakeable = m_wakeFd >= 0;
        const int ready =
            poll(fds, wakeable ? 2 : 1, wakeable ? -1 : static_cast<int>(kReopenIntervalMs));
        if (ready < 0)
            return errno == EINTR ? PassEnd::Next : PassEnd::CloseSocket;
        if (wakeable && fds[1].revents != 0) {
            // Someone waits for the socket, or the receiver is ending: let go
            // of it before reading.
            DrainWake();
            return PassEnd::Next;
        }
        if (fds[0].revents == 0)
            return PassEnd::Next;
    }
    m_readAgain = false;
    return datagrams ? ReceiveDatagrams(dataSocket) : ReceiveStream(dataSocket);
}

CNetReceiver::PassEnd CNetReceiver::ReceiveDatagrams(int dataSocket)
{
    // One call takes up to kBatchDatagrams datagrams, each into a slot of its
    // own in the receive buffer, large enough for any IPv4 datagram: each stays
    // one whole block. The sender's address is not asked for.
    static_assert(kDatagramSlot >= 65535, "a slot holds the largest datagram");
    mmsghdr messages[kBatchDatagrams];
    iovec slots[kBatchDatagrams];
    for (int i = 0; i < kBatchDatagrams; ++i) {
        slots[i] = {m_pRecvBuffer + static_cast<size_t>(i) * kDatagramSlot, kDatagramSlot};
        messages[i] = {};
        messages[i].msg_hdr.msg_iov = &slots[i];
        messages[i].msg_hdr.msg_iovlen = 1;
    }
    // Never blocks: a datagram reported readable may have been dropped since.
    const int got = recvmmsg(dataSocket, messages, kBatchDatagrams, MSG_DONTWAIT, nullptr);
    m_lastReadGave = got > 0;
    if (got < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? PassEnd::Next
                                                                         : PassEnd::PeerClosed;
    m_readAgain = got == kBatchDatagrams;

    Block blocks[kBatchDatagrams];
    int count = 0;
    LONGLONG bytes = 0;
    for (int i = 0; i < got; ++i) {
        // An empty datagram is not an end of stream, and not a block.
        const LONG length = static_cast<LONG>(messages[i].msg_len);
        if (length == 0)
            continue;
        blocks[count++] = {static_cast<const BYTE*>(slots[i].iov_base), length};
        bytes += length;
    }
    CAutoLock record(&m_recordLock);
    StoreBlocks(blocks, count);
    CountReceived(got, count, bytes);
    return PassEnd::Next;
}

CNetReceiver::PassEnd CNetReceiver::ReceiveStream(int dataSocket)
{
    const ssize_t got = recv(dataSocket, m_pRecvBuffer, kRecvBufferSize, MSG_DONTWAIT);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return PassEnd::Next;
    if (got <= 0)
        return PassEnd::PeerClosed;
    m_readAgain = got == kRecvBufferSize;
    const Block block{m_pRecvBuffer, static_cast<LONG>(got)};
    CAutoLock record(&m_recordLock);
    StoreBlocks(&block, 1);
    CountReceived(1, 1, block.length);
    return PassEnd::Next;
}

void CNetReceiver::StoreBlocks(const Block* blocks, int count)
{
    if (m_timingLog.IsOpen()) {
        const DWORD now = GetTickCount();
        for (int i = 0; i < count; ++i)
            m_timingLog.OnBlock(blocks[i].data, blocks[i].length, now);
    }
    if (m_hRecordFile) {
        for (int i = 0; i < count; ++i)
            WriteRecordBlock(blocks[i].data, blocks[i].length);
    }
    WriteBlocks(blocks, count);
}

void CNetReceiver::CountReceived(int read, LONG blocks, LONGLONG bytes)
{
    m_recvPackets.fetch_add(blocks);
    m_recvLength.fetch_add(bytes);
    m_reads.fetch_add(1, std::memory_order_relaxed);
    if (read > m_largestRead.load(std::memory_order_relaxed))
        m_largestRead.store(read, std::memory_order_relaxed);
}

DWORD CNetReceiver::AcceptThreadProc(LPVOID argsPointer)
{
    const AcceptArgs args = *static_cast<AcceptArgs*>(argsPointer);
    delete static_cast<AcceptArgs*>(argsPointer);
    args.receiver->AcceptLoop(args.listenSocket);
    return 0;
}

void CNetReceiver::AcceptLoop(int listenSocket)
{
    // Runs while its socket is the receiver's listening socket; a retired
    // listener is shut down, which ends the accept() in progress.
    while (m_listenSocket.load() == listenSocket) {
        const int accepted = accept4(listenSocket, nullptr, nullptr, SOCK_CLOEXEC);
        if (accepted < 0) {
            // A failed accept (a peer that reset before it was taken, no
            // descriptors left, a retired listener) keeps the connection we
            // have.
            Sleep(1);
            continue;
        }
        {
            CAutoLock lock(&m_connectionLock);
            if (m_listenSocket.load() != listenSocket) {
                close(accepted);
                break;
            }
            CloseDataSocket();
            m_socketBuffer = SetReceiveBuffer(accepted);
            SetDataSocket(accepted);
        }
        Sleep(1);
    }
}

HRESULT CNetReceiver::SetConnectParam(NWConnectType type, const char* address, LONG port)
{
    if (address && strlen(address) >= sizeof(m_address))
        return E_INVALIDARG;
    const USHORT port16 = static_cast<USHORT>(port & 0xFFFF);

    // Ends a connect attempt of the receive thread's own open step, so that it
    // lets go of the connection lock at once.
    Wake();

    int retiredListener = INVALID_SOCKET;
    HANDLE retiredAcceptThread = nullptr;
    HRESULT hr;
    {
        CAutoLock lock(&m_connectionLock);
        if (type == m_connectType && port16 == m_port) {
            if (type == NW_CONNECT_UDP || type == NW_CONNECT_TCP_SERVER)
                return S_OK;
            // A null address keeps the stored one, so it names the same
            // group or device: a working connection must not be dropped for it.
            if ((type == NW_CONNECT_UDP_MULTICAST || type == NW_CONNECT_TCP_CLIENT) &&
                (!address || strcmp(address, m_address) == 0))
                return S_OK;
        }

        m_connectType = type;
        if (address)
            strcpy(m_address, address);
        m_port = port16;
        CloseDataSocket();

        // A listener that no longer matches the parameters is retired: left
        // alone, a connection on the old port would replace the data socket of
        // whatever type is current.
        if (m_listenSocket.load() != INVALID_SOCKET &&
            (type != NW_CONNECT_TCP_SERVER || m_listenPort != port16)) {
            retiredListener = m_listenSocket.exchange(INVALID_SOCKET);
            shutdown(retiredListener, SHUT_RDWR);
            retiredAcceptThread = m_hAcceptThread;
            m_hAcceptThread = nullptr;
        }

        Reset();
        hr = OpenStep(INVALID_SOCKET);
        // The receive thread takes up the new socket, or the retrying of the
        // new parameters.
        Wake();
    }

    // Outside the lock: the accept thread may be waiting for it.
    if (retiredAcceptThread) {
        WaitForSingleObject(retiredAcceptThread, INFINITE);
        CloseHandle(retiredAcceptThread);
    }
    if (retiredListener != INVALID_SOCKET)
        close(retiredListener);
    return hr;
}

HRESULT CNetReceiver::GetConnectParam(NWConnectType* type, char* address, USHORT* port)
{
    if (!type || !address || !port)
        return E_POINTER;
    CAutoLock lock(&m_connectionLock);
    *type = m_connectType;
    strcpy(address, m_address);
    *port = m_port;
    return S_OK;
}

HRESULT CNetReceiver::Reset()
{
    m_recvPackets = 0;
    m_recvLength = 0;
    return Flush();
}

void CNetReceiver::GetStatistics(LONGLONG* recvPackets, LONGLONG* recvLength) const
{
    if (recvPackets)
        *recvPackets = m_recvPackets.load();
    if (recvLength)
        *recvLength = m_recvLength.load();
}

CNetReceiver::ReadStatistics CNetReceiver::GetReadStatistics() const
{
    return ReadStatistics{m_socketBuffer.load(), m_reads.load(), m_largestRead.load(),
                          m_gatherWaits.load()};
}

HRESULT CNetReceiver::StartRecord(const char* path)
{
    // Held throughout, so that no block is split between the old and the new
    // file and two callers cannot interleave.
    CAutoLock record(&m_recordLock);
    if (path && m_hRecordFile && strcmp(path, m_recordPath) == 0)
        return S_OK;
    // A start that fails leaves nothing recording: a caller that asked for
    // another file must not find the old one still growing.
    StopRecord();
    if (!path || strlen(path) >= sizeof(m_recordPath))
        return E_FAIL;
    m_splitCount = 0;
    m_hRecordFile = CreateRecordFile(path);
    if (!m_hRecordFile)
        return E_FAIL;
    strcpy(m_recordPath, path);
    return S_OK;
}

HRESULT CNetReceiver::StopRecord()
{
    CAutoLock record(&m_recordLock);
    if (m_hRecordFile) {
        CloseHandle(m_hRecordFile);
        m_hRecordFile = nullptr;
    }
    m_recordPath[0] = '\0';
    return S_OK;
}

HRESULT CNetReceiver::GetRecordPath(char* path)
{
    if (!path)
        return E_POINTER;
    CAutoLock record(&m_recordLock);
    strcpy(path, m_recordPath);
    return S_OK;
}

void CNetReceiver::WriteRecordBlock(const BYTE* block, LONG length)
{
    LARGE_INTEGER zero{};
    LARGE_INTEGER end{};
    const bool positioned = SetFilePointerEx(m_hRecordFile, zero, &end, FILE_END) != FALSE;
    if (positioned && end.QuadPart > INT32_MAX) {
        // 2 GiB reached: continue in the next file. If it cannot be created,
        // recording ends here (the path stays set until Start/StopRecord).
        CloseHandle(m_hRecordFile);
        ++m_splitCount;
        m_hRecordFile = CreateRecordFile(ContinuationPath(m_recordPath, m_splitCount).c_str());
        end.QuadPart = 0;
    }
    if (!m_hRecordFile)
        return;
    DWORD written = 0;
    if (!WriteFile(m_hRecordFile, block, static_cast<DWORD>(length), &written, nullptr) &&
        positioned) {
        // Disk full (or another write failure): cut the partial block off, so
        // the file holds whole blocks only; later blocks try again.
        SetFilePointerEx(m_hRecordFile, end, nullptr, FILE_BEGIN);
        SetEndOfFile(m_hRecordFile);
    }
}
