// Framing and transport of the encoder command protocol.
//
// Every command is one short TCP exchange: connect, send one request frame,
// read one response frame, close. All calls block the calling thread; none of
// them keeps state between exchanges, so any thread may call them, and several
// threads may run exchanges at the same time (each has its own socket).
//
// Frame header (16 bytes, both directions):
//   FF FF 'W' 'Q' 'X' 'N' 01 kind  command(BE16)  length(BE16)  00 00 00  checksum
// where kind is 1 (request), 2 (data response) or 3 (status response) and the
// checksum is the low 8 bits of the sum of bytes 0 to 14.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tvprotocol {

// Result codes of every exchange: 0 is success, negative values are local
// failures, positive values are statuses reported by the device.
enum : int {
    kResultOk = 0,
    kResultSystemCall = -1,     // a system call failed
    kResultBadParameter = -2,   // refused locally, before any connection
    kResultSocket = -3,         // socket could not be created
    kResultConnectTimeout = -4, // connection not established in time (or refused)
    kResultSend = -5,           // sending failed
    kResultNonBlocking = -6,    // switching to non-blocking mode failed
    kResultBlocking = -7,       // switching back to blocking mode failed
    kResultWait = -8,           // waiting on the socket failed
    kResultReceiveTimeout = -9, // no data within the receive time-out
    kResultReceive = -10,       // reading failed or the peer closed the connection
    kResultNoStreams = -20,     // 0x0400: the device has no stream-sending entries
    // Device statuses.
    kStatusHeaderError = 2,
    kStatusUnsupportedCommand = 3,
    kStatusUnsupportedMode = 4,
    kStatusOutOfRange = 5,
    kStatusUnknownError = 6,
};

// A device status that does not fit a positive int (the word is untrusted) is
// reported as this value, so it can never pose as one of the local codes.
constexpr int kStatusUnrepresentable = 0x7FFFFFFF;

constexpr int kDevicePort = 9999;
constexpr size_t kHeaderSize = 16;
constexpr uint8_t kFrameRequest = 1;
constexpr uint8_t kFrameData = 2;
constexpr uint8_t kFrameStatus = 3;
// The largest payload any command of the catalogue carries (0x0400: 10 x 24).
constexpr size_t kMaxPayload = 240;

// Time limits of one exchange, in milliseconds. The protocol fixes connect and
// receive at 2 seconds; `response` bounds the whole reading of one response, so
// a device that trickles noise can hold the caller no longer than that.
struct ProtocolTimeouts {
    int connectMs = 2000;
    int receiveMs = 2000;
    int responseMs = 10000;
};
// Process-wide; meant for tools and tests. Values below 1 are raised to 1.
void SetProtocolTimeouts(const ProtocolTimeouts& timeouts);
ProtocolTimeouts GetProtocolTimeouts();

// Initialises the socket layer once per process. POSIX sockets need no start-up
// (sends use MSG_NOSIGNAL, so a closed peer never raises SIGPIPE); kept so the
// console's start-up reads the same everywhere. Always returns 0.
int StartNetworking();

// Opens a TCP connection to address:port (dotted IPv4 text) within the connect
// time-out. Returns the connected socket (>= 0, blocking mode) or -2 (bad
// address or port), -3, -4, -6, -7 or -8. The caller closes the socket.
int Connect(const char* address, int port = kDevicePort);

// Writes the 16-byte request header (frame kind 1) for `command` into `buffer`
// and copies `length` payload bytes behind it. `buffer` holds at least
// kHeaderSize + length bytes; length is at most 0xFFFF. Returns the frame size.
size_t BuildHeader(uint8_t* buffer, uint16_t command, const uint8_t* payload, size_t length);

// Same layout with any frame kind; the device side uses it for its responses.
size_t BuildFrame(uint8_t* buffer, uint8_t kind, uint16_t command, const uint8_t* payload,
                  size_t length);

// The checksum of a header: low 8 bits of the sum of bytes 0 to 14.
uint8_t HeaderChecksum(const uint8_t* header);

// Sends the frame with at most two send calls (the second for a remainder).
// Returns 0, or -1 when the frame did not go out whole.
int SendFrame(int socket, const uint8_t* bytes, size_t length);

// Reads exactly `count` bytes, waiting up to the receive time-out before each
// read. Returns 0, -8 (wait failed), -9 (time-out) or -10 (read failed or peer
// closed). The socket stays open in every case: the exchange closes it once.
int ReceiveExact(int socket, uint8_t* buffer, size_t count);

// Reads the response to a get command. Returns 0 with `expectedLength` payload
// bytes in `buffer`, a positive device status (the device answered with a
// status instead of data), or a receive result code. A status of 0 where data
// was asked for is not success (no data came): it gives -10.
int ReadDataResponse(int socket, uint8_t* buffer, uint16_t command, size_t expectedLength);

// Reads the status response to a set or action command: the device status
// (0 = success) or a receive result code.
int ReadStatusResponse(int socket, uint16_t command);

// Reads the response of 0x0400 (stream sending information): 0 with
// *length = payload bytes (a multiple of 24, at most 240) in `buffer`, -20 when
// the device reports no entries, a device status or a receive result code.
// `buffer` holds kMaxPayload bytes.
int ReadStreamListResponse(int socket, uint8_t* buffer, size_t* length);

// Closes an exchange's socket. Safe with a negative value.
void CloseSocket(int socket);

} // namespace tvprotocol
