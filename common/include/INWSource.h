// INWSource: the network source filter's private interface. The player library
// and the filter's property page set the connection, record what is received,
// switch the ring-buffer log, push bytes of their own and read the counters.
//
// The slot order after the three IUnknown slots is binding. Every method returns an
// HRESULT; each gives E_FAIL when the filter has no output pin (and so no
// receiver). Text is NUL-terminated UTF-8 ("ANSI"). Any thread; recording
// start/stop and the receive thread's writes serialise on the record lock.
#pragma once

#include <objbase.h>

#include "win32/types.h"

// {99C9B6AF-65D3-4E80-AECB-0D7ABBE1DAA2}
DEFINE_GUID(IID_INWSource, 0x99c9b6af, 0x65d3, 0x4e80, 0xae, 0xcb, 0x0d, 0x7a, 0xbb, 0xe1, 0xda,
            0xa2);

// How the network source reaches the device (texts as the property page shows them).
typedef int32_t NWConnectType;
#define NW_CONNECT_UNKNOWN 0 // "UnKnown": opening always fails
#define NW_CONNECT_UDP_MULTICAST                                                                   \
    1                           // "UDP(Brodcast)": joins the multicast group given as the address
#define NW_CONNECT_UDP 2        // "UDP": bound to the port on all interfaces
#define NW_CONNECT_TCP_SERVER 3 // "TCP(Server)": listens on the port; the device connects
#define NW_CONNECT_TCP_CLIENT 4 // "TCP(Client)": connects to address:port

// Buffer sizes the out parameters below must have.
#define NWSOURCE_ADDRESS_SIZE 256
#define NWSOURCE_PATH_SIZE 260

struct INWSource : public IUnknown {
    // Slot 3. Sets the connection; the receive thread (re)opens its socket with it.
    virtual HRESULT SetConnectParam(NWConnectType type, const char* address, LONG port) = 0;
    // Slot 4. address: NWSOURCE_ADDRESS_SIZE bytes.
    virtual HRESULT GetConnectParam(NWConnectType* type, char* address, USHORT* port) = 0;
    // Slot 5. Starts recording the received bytes into path (created or truncated);
    // the same path while recording changes nothing.
    virtual HRESULT StartRecord(const char* path) = 0;
    // Slot 6.
    virtual HRESULT StopRecord() = 0;
    // Slot 7. path: NWSOURCE_PATH_SIZE bytes; empty when not recording.
    virtual HRESULT GetRecordPath(char* path) = 0;
    // Slot 8. Always E_NOTIMPL.
    virtual HRESULT ReservedMethod(void* reserved) = 0;
    // Slot 9. Opens the ring-buffer log at path, or closes it for null.
    virtual HRESULT SetLogPath(const char* path) = 0;
    // Slot 10. path: NWSOURCE_PATH_SIZE bytes; empty when there is no log.
    virtual HRESULT GetLogPath(char* path) = 0;
    // Slot 11. Writes the bytes into the ring buffer (overwrite mode), joining the
    // received stream.
    virtual HRESULT InputData(const BYTE* data, LONG length) = 0;
    // Slot 12. The receive counters and the delivery counters.
    virtual HRESULT GetStatistics(LONGLONG* recvPackets, LONGLONG* recvLength,
                                  LONGLONG* deliverSamples, LONGLONG* deliverLength) = 0;
};
