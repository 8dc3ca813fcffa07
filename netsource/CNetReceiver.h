// CNetReceiver: takes the device stream off the network into the ring buffer it
// derives from and, while recording, into the record file.
//
// Threads:
//  - the receive thread, from construction to destruction: while there is no
//    data socket it sleeps 10 ms and runs the open step again (the whole
//    reconnection policy, for every connect type); otherwise it waits up to
//    1 ms for data and reads one block (one datagram, or what the TCP stream
//    has), which goes to the timing log, the record file and the ring;
//  - the accept thread of a TCP(Server) listener: the latest connection
//    replaces the data socket;
//  - caller threads (INWSource, the property page, the output pin).
//
// Locks nest in one order only: connection lock, record lock, ring lock. The
// receive thread holds the connection lock for a whole pass (including the
// open step), and hands it over to a waiting caller between passes, so a
// caller waits at most one pass: SetConnectParam returns within one pass plus
// its own open step. A TCP(Client) connect attempt is bounded by
// kConnectTimeoutMs.
#pragma once

#include "CNWTimingLog.h"
#include "CStreamRingBuffer.h"
#include "INWSource.h"

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
    // the UDP(Brodcast) and TCP(Client) types, the address too; otherwise the
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
    // created (truncated): E_FAIL when it cannot be (then not recording), for a
    // null path or one of NWSOURCE_PATH_SIZE bytes or more. A file that reaches
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

    // Upper bound of one TCP(Client) connect attempt.
    static constexpr DWORD kConnectTimeoutMs = 3000;
    static constexpr LONG kRecvBufferSize = 0x200000;
    static constexpr int kSocketBufferSize = 0xA00000;

private:
    static DWORD RecvThreadProc(LPVOID self);
    static DWORD AcceptThreadProc(LPVOID args);
    void ReceiveLoop();
    void AcceptLoop(int listenSocket);
    HRESULT OpenStep();
    void CloseDataSocket();
    void EnterConnectionLock(); // for every thread but the receive thread
    void YieldToWaitingCallers();
    void WriteRecordBlock(const BYTE* block, LONG length);

    HANDLE m_hAcceptThread;
    DWORD m_acceptThreadId;

    // guarded by m_connectionLock (the listening socket is also read by the
    // accept thread, which exits once it is no longer its own)
    NWConnectType m_connectType;
    std::atomic<int> m_listenSocket;
    USHORT m_listenPort;
    int m_dataSocket;
    char m_address[NWSOURCE_ADDRESS_SIZE];
    USHORT m_port;

    HANDLE m_hRecvThread;
    DWORD m_recvThreadId;
    std::atomic<LONG> m_stop;
    BYTE* m_pRecvBuffer; // receive thread only

    // guarded by m_recordLock
    HANDLE m_hRecordFile;
    char m_recordPath[NWSOURCE_PATH_SIZE];
    LONG m_splitCount;
    CRITICAL_SECTION m_recordLock;

    CRITICAL_SECTION m_connectionLock;
    std::atomic<LONG> m_callersWaiting;

    // written under the record lock, read without one
    std::atomic<LONGLONG> m_recvPackets;
    std::atomic<LONGLONG> m_recvLength;

    CNWTimingLog m_timingLog; // receive thread only (opened before it starts)
};
