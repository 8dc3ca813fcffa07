// Payload layouts of the command catalogue, field by field.
//
// Encode writes a record as the request payload of its set command (or as the
// response payload of its get command: the layouts are the same) and returns
// the number of bytes written; unlisted bytes, the 4-byte prefix included, are
// zero. `out` holds the catalogue's length for the command.
// Decode reads a received payload; it never reads past `length` and returns
// false when the payload is shorter than the layout.
// Check returns 0, or -2 for a value that the layout cannot carry or that the
// catalogue refuses locally: every enumeration outside its values (work mode,
// boot protocol, video port, codec 1..6, resolution 0..13, rate control, audio
// codec, sample width 1..4 and rate 1..6, switches 0/1, contact attribute,
// stream type, transport, stream number), the serial port's mode, data bits
// 5..8, parity, stop bits 1..2, flow control and PTZ protocol 1..2, the PTZ
// command 1..31 and speed 1..5, a year outside 2000..2037, a weekday outside
// 1..7, byte fields above 255, 16-bit durations above 65535 and unparsable
// addresses. Values the console derives (codec 5, transmission port = serial
// port + 1200) are not rules of the layout and are not checked.
//
// Texts are UTF-8 here and code page 936 (GBK) on the wire; a text longer than
// its field is cut on a whole character.
//
// Conventions: 32-bit words and 16-bit fields big-endian; IPv4 addresses in
// network order; channel words carry channel 4, 3, 2, 1 in that byte order.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tvprotocol/Records.h"

namespace tvprotocol {

// One 32-bit word (reboot and restore commands: 0; 0x0102 and 0x0105: the
// serial port number).
size_t EncodeWord(int32_t value, uint8_t* out);
bool DecodeWord(const uint8_t* in, size_t length, int32_t& value);

#define TVPROTOCOL_CODEC(Record)                                                                   \
    size_t Encode(const Record& record, uint8_t* out);                                             \
    bool Decode(const uint8_t* in, size_t length, Record& record);                                 \
    int Check(const Record& record);

TVPROTOCOL_CODEC(DeviceSerialNumber)
TVPROTOCOL_CODEC(DeviceNumber)
TVPROTOCOL_CODEC(DeviceVersions)
TVPROTOCOL_CODEC(WorkModeParameters)
TVPROTOCOL_CODEC(NetworkParameters)
TVPROTOCOL_CODEC(SerialPortParameters)
TVPROTOCOL_CODEC(DeviceTime)
TVPROTOCOL_CODEC(VideoParameters)
TVPROTOCOL_CODEC(EncoderParameters)
TVPROTOCOL_CODEC(OsdParameters)
TVPROTOCOL_CODEC(AudioEncodingParameters)
TVPROTOCOL_CODEC(DecoderParameters)
TVPROTOCOL_CODEC(AudioIntercomParameters)
TVPROTOCOL_CODEC(AlarmInputParameters)
TVPROTOCOL_CODEC(AlarmOutputParameters)
TVPROTOCOL_CODEC(VideoAlarmParameters)
TVPROTOCOL_CODEC(MotionDetectionParameters)
TVPROTOCOL_CODEC(AlarmInputState)
TVPROTOCOL_CODEC(VideoAlarmState)
TVPROTOCOL_CODEC(MotionAlarmState)
TVPROTOCOL_CODEC(AlarmCentre)
TVPROTOCOL_CODEC(StreamSendingParameters)
TVPROTOCOL_CODEC(StreamSendingInformation) // count entries of 24 bytes
TVPROTOCOL_CODEC(StreamReceivingParameters)
TVPROTOCOL_CODEC(StreamReceivingInformation)
TVPROTOCOL_CODEC(PtzParameters)

#undef TVPROTOCOL_CODEC

} // namespace tvprotocol
