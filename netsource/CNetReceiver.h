// CNetReceiver: takes the device stream off the network into the ring buffer it
// derives from and, while recording, into the record file.
//
// Threads:
//  - the receive thread, from construction to destruction. While there is no
//    data socket it runs the open step again every 10 ms (the whole
//    reconnection policy, for every connect type whose open step can give a
//    socket); when the open step cannot give one (type "UnKnown", or a
//    TCP(Server) listener already waiting for the device) it sleeps until it is
//    woken. With a data socket it waits in poll for data or a wake-up and
//    reads: for the UDP types up to kBatchDatagrams datagrams in one recvmmsg,
//    each a block of its own; for TCP what the stream has, as one block. The
//    blocks of a read, in arrival order, go to the timing log, the record file
//    and the ring (overwriting its oldest bytes when full; one taking of the
//    ring lock and at most one data-event signal a read). A read that filled
//    the buffer is followed by the next read at once, without waiting; after
//    any other read that gave datagrams it waits kGatherMs (for a wake-up
//    only) before reading again, and after one that found nothing it waits
//    for data;
//  - the accept thread of a TCP(Server) listener: the latest connection
//    replaces the data socket;
//  - caller threads (INWSource, the property page, the output pin).
//
// Locks nest in one order only: connection lock, record lock, ring lock. The
// receive thread takes the connection lock only to read the data socket and to
// run the open step (which swaps a new one in); it waits and reads outside it,
// having marked the socket as in use. Whoever closes or replaces the data
// socket (SetConnectParam, the accept thread) wakes the receive thread through
// the wake-up eventfd and waits, holding the connection lock, until it has let
// go of the socket: at most the block being delivered. A connect attempt of
// the receive thread's own open step ends at a wake-up too, so SetConnectParam
// and destruction never wait for it; a TCP(Client) connect attempt is bounded
// by kConnectTimeoutMs.
#pragma once

#include "CNWTimingLog.h"
#include "CStreamRingBuffer.h"
#include "INWSource.h"

#include <wxutil.h>

#include <atomic>

class CNetReceiver : public CStreamRingBuffer {
public:
    // filter: the stream time of the ring log (may be null); capacity of the
    // ring in bytes. Starts the receive thread; the receiver stays idle
    // ("UnKnown") until SetConnectParam gives it a type.
    CNetReceiver(CRingLogClock* filter, LONG capacity);
    ~CNetReceiver() override;

    // Sets the connect parameters and (re)opens the socket. S_OK without any
    // change when type and port (low 16 bits) are the current ones and, for
    // the UDP(Brodcast) and TCP(Client) types, the address too (a null address
    // keeps the stored one, so it is the same); otherwise the
    // parameters are stored (the address only when not null), the data socket
    // closed, the counters and ring reset, and the open step's result returned
    // (E_FAIL when it cannot open; the receive thread keeps retrying).
    // E_INVALIDARG for an address of NWSOURCE_ADDRESS_SIZE bytes or more
    // (nothing changes). Any thread.
    HRESULT SetConnectParam(NWConnectType type, const char* address, LONG port);
    // address: NWSOURCE_ADDRESS_SIZE bytes. S_OK (E_POINTER for a null pointer).
    HRESULT GetConnectParam(NWConnectType* type, char* address, USHORT* port);
    // Zeroes the receive counters and flushes the ring.
    HRESULT Reset();
    // The receive counters (read without a lock: one may be a block ahead).
    void GetStatistics(LONGLONG* recvPackets, LONGLONG* recvLength) const;

    // Recording of exactly the received bytes. StartRecord with the path being
    // recorded changes nothing; otherwise the current file is closed and path
    // created (truncated). E_FAIL, and nothing recording, when it cannot be,
    // for a null path and for one of NWSOURCE_PATH_SIZE bytes or more. A file
    // that reaches
    // 2 GiB continues in "<path without extension>_<n>.tvx", n = 1, 2, ...;
    // the extension is the last "." of the file name and what follows, and a
    // file name without "." keeps the whole path ("D:\rec\cam1" continues in
    // "D:\rec\cam1_1.tvx").
    HRESULT StartRecord(const char* path);
    HRESULT StopRecord();
    // path: NWSOURCE_PATH_SIZE bytes; the first file's path, empty when not
    // recording.
    HRESULT GetRecordPath(char* path);

    // The kernel id of the receive thread (0 when it did not start), for
    // measurements.
    DWORD ReceiveThreadId() const { return m_recvThreadId; }

    // How the receive thread reads, for diagnostics and measurements (read
    // without a lock).
    struct ReadStatistics {
        // SO_RCVBUF of the last data socket as getsockopt reports it (Linux
        // gives twice what it accepted; kSocketBufferSize is asked), 0 before
        // the first socket.
        int socketBuffer;
        // Reads that gave data, and the most datagrams one read gave (1 for TCP).
        LONGLONG reads;
        int largestRead;
        // Waits of kGatherMs that let datagrams gather before a read.
        LONGLONG gatherWaits;
    };
    ReadStatistics GetReadStatistics() const;

    // Upper bound of one TCP(Client) connect attempt.
    static constexpr DWORD kConnectTimeoutMs = 3000;
    static constexpr LONG kRecvBufferSize = 0x200000;
    static constexpr int kSocketBufferSize = 0xA00000;
    // The receive buffer holds this many datagrams of one read, each in a
    // slot of its own.
    static constexpr int kBatchDatagrams = 32;
    static constexpr size_t kDatagramSlot = kRecvBufferSize / kBatchDatagrams;
    // After a read that gave datagrams the receive thread lets more gather
    // for kGatherMs before it reads again. A device sends each picture as a
    // burst of datagrams; read as they came, the thread (and the source pin
    // and the splitter after it, one wake-up each per read) woke for nearly
    // every datagram of a burst. Gathered, a burst takes a few reads, and its
    // end reaches the ring at most kGatherMs later, against a jitter buffer
    // of several pictures. A finely paced stream is read in batches the same
    // way. A read that finds nothing makes the next wait one for data, so a
    // stream that pauses or ends costs one empty read, and a lone datagram
    // two wake-ups instead of one.
    static constexpr int kGatherMs = 2;

private:
    // How one pass of the receive loop over the data socket ends.
    enum class PassEnd {
        Next,        // go on with the next pass
        CloseSocket, // the socket failed: close it and start the next pass
        PeerClosed,  // the read gave 0 bytes or an error: close it, pause 1 ms
    };

    static DWORD RecvThreadProc(LPVOID self);
    static DWORD AcceptThreadProc(LPVOID args);
    // Receive thread.
    void ReceiveLoop();
    PassEnd ReceivePass(int dataSocket, bool datagrams);
    PassEnd ReceiveDatagrams(int dataSocket);
    PassEnd ReceiveStream(int dataSocket);
    // Record lock held. The blocks of one read, in order, to the timing log,
    // the record file and the ring (one taking of the ring lock for them all).
    void StoreBlocks(const Block* blocks, int count);
    // Record lock held. A read that gave `read` datagrams (or one TCP block).
    void CountReceived(int read, LONG blocks, LONGLONG bytes);
    // Accept thread.
    void AcceptLoop(int listenSocket);

    // Connection lock held. cancelFd: a descriptor whose readability ends a
    // connect attempt early (the wake-up eventfd on the receive thread), or -1.
    HRESULT OpenStep(int cancelFd);
    // Connection lock held. Whether running the open step again can give a
    // data socket.
    bool OpenCanGiveSocket() const;
    // Connection lock held. Waits until the receive thread no longer uses the
    // data socket, then closes it.
    void CloseDataSocket();
    // Connection lock held. The new data socket; wakes the receive thread.
    void SetDataSocket(int s);

    // Any thread: makes the receive thread look at the connection again.
    void Wake();
    // Receive thread: waits up to timeoutMs (-1: without limit) for a wake-up;
    // true when one came (it is consumed).
    bool WaitForWake(int timeoutMs);
    void DrainWake();

    void WriteRecordBlock(const BYTE* block, LONG length);

    HANDLE m_hAcceptThread;
    DWORD m_acceptThreadId;

    // guarded by m_connectionLock (the listening socket is also read by the
    // accept thread, which exits once it is no longer its own)
    NWConnectType m_connectType;
    std::atomic<int> m_listenSocket;
    USHORT m_listenPort;
    int m_dataSocket;
    unsigned m_socketGeneration; // counts changes of m_dataSocket
    char m_address[NWSOURCE_ADDRESS_SIZE];
    USHORT m_port;
    CCritSec m_connectionLock;

    // Set by the receive thread under the connection lock when it takes the
    // data socket out of it, cleared (and notified) without the lock when it
    // lets go; a thread that closes the socket waits for that.
    std::atomic<bool> m_socketInUse;
    int m_wakeFd; // eventfd: wakes the receive thread; -1 when none

    HANDLE m_hRecvThread;
    DWORD m_recvThreadId;
    std::atomic<LONG> m_stop;
    BYTE* m_pRecvBuffer; // receive thread only
    bool m_readAgain;    // receive thread only: the last read filled the buffer
    // receive thread only: the last read of datagrams gave some, so the next
    // wait lets more gather; otherwise it is for data
    bool m_lastReadGave;

    // guarded by m_recordLock
    HANDLE m_hRecordFile;
    char m_recordPath[NWSOURCE_PATH_SIZE];
    LONG m_splitCount;
    CCritSec m_recordLock;

    // written under the record lock, read without one
    std::atomic<LONGLONG> m_recvPackets;
    std::atomic<LONGLONG> m_recvLength;
    std::atomic<LONGLONG> m_reads{0};
    std::atomic<int> m_largestRead{0};
    std::atomic<LONGLONG> m_gatherWaits{0}; // written by the receive thread
    // written under the connection lock, read without one
    std::atomic<int> m_socketBuffer{0};

    CNWTimingLog m_timingLog; // receive thread only (opened before it starts)
};
