// The device command catalogue: every command code with its operation name and
// the payload lengths of request and response. Shared by the console's
// operations, the command-line tool and the device side.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tvprotocol {

enum CommandCode : uint16_t {
    kCmdGetDeviceSerialNumber = 0x0000,
    kCmdSetDeviceSerialNumber = 0x0001,
    kCmdGetDeviceNumber = 0x0002,
    kCmdSetDeviceNumber = 0x0003,
    kCmdGetVersions = 0x0004,
    kCmdGetWorkMode = 0x0006,
    kCmdSetWorkMode = 0x0007,
    kCmdRebootDevice = 0x000F,
    kCmdGetNetworkParameters = 0x0100,
    kCmdSetNetworkParameters = 0x0101,
    kCmdGetSerialPortParameters = 0x0102,
    kCmdSetSerialPortParameters = 0x0103,
    kCmdRestoreSerialPortParameters = 0x0105,
    kCmdGetSystemTime = 0x0106,
    kCmdSetSystemTime = 0x0107,
    kCmdGetVideoParameters = 0x0200,
    kCmdSetVideoParameters = 0x0201,
    kCmdGetEncoderParameters = 0x0202,
    kCmdSetEncoderParameters = 0x0203,
    kCmdRestoreEncoderDefaults = 0x0205,
    kCmdGetEncoderOsd = 0x0206,
    kCmdSetEncoderOsd = 0x0207,
    kCmdGetAudioEncodingParameters = 0x0208,
    kCmdSetAudioEncodingParameters = 0x0209,
    kCmdGetDecoderParameters = 0x020A,
    kCmdSetDecoderParameters = 0x020B,
    kCmdRestoreDecoderParameters = 0x020D,
    kCmdGetDecoderOsd = 0x020E,
    kCmdSetDecoderOsd = 0x020F,
    kCmdGetAudioIntercomParameters = 0x0210,
    kCmdSetAudioIntercomParameters = 0x0211,
    kCmdGetAlarmInputParameters = 0x0300,
    kCmdSetAlarmInputParameters = 0x0301,
    kCmdGetAlarmOutputParameters = 0x0302,
    kCmdSetAlarmOutputParameters = 0x0303,
    kCmdGetVideoAlarmParameters = 0x0304,
    kCmdSetVideoAlarmParameters = 0x0305,
    kCmdGetMotionDetectionParameters = 0x0306,
    kCmdSetMotionDetectionParameters = 0x0307,
    kCmdRestoreAlarmParameters = 0x0309,
    kCmdSendAlarmInputState = 0x0310,
    kCmdSendVideoAlarmState = 0x0312,
    kCmdSendMotionDetectionAlarm = 0x0314,
    kCmdGetAlarmCentre = 0x0318,
    kCmdSetAlarmCentre = 0x0319,
    kCmdGetStreamSendingInformation = 0x0400,
    kCmdStartStreamSending = 0x0401,
    kCmdStopStreamSending = 0x0403,
    kCmdGetStreamReceivingInformation = 0x0404,
    kCmdStartStreamReceiving = 0x0405,
    kCmdStopStreamReceiving = 0x0407,
    kCmdPtzControl = 0x0501,
};

enum class ResponseShape {
    Status,     // a status response (set and action commands)
    Data,       // a data response of `responseLength` bytes
    StreamList, // 0x0400: 0 to 10 entries of 24 bytes
};

struct CommandInfo {
    uint16_t code;
    const char* operation; // the protocol operation, e.g. "GetNetworkParameters"
    size_t requestLength;  // payload bytes of the request (0: none)
    ResponseShape response;
    size_t responseLength; // Data: payload bytes of the response
};

// The whole catalogue, in code order; *count receives the number of entries.
const CommandInfo* CommandTable(size_t* count);
// nullptr when the code or name is not in the catalogue. Names compare exactly.
const CommandInfo* FindCommand(uint16_t code);
const CommandInfo* FindCommand(const char* operation);

} // namespace tvprotocol
