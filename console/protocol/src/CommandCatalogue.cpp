#include "tvprotocol/CommandCatalogue.h"

#include <cstring>

namespace tvprotocol {

namespace {

constexpr ResponseShape S = ResponseShape::Status;
constexpr ResponseShape D = ResponseShape::Data;

constexpr CommandInfo kCatalogue[] = {
    {kCmdGetDeviceSerialNumber, "GetDeviceSerialNumber", 0, D, 36},
    {kCmdSetDeviceSerialNumber, "SetDeviceSerialNumber", 36, S, 0},
    {kCmdGetDeviceNumber, "GetDeviceNumber", 0, D, 36},
    {kCmdSetDeviceNumber, "SetDeviceNumber", 36, S, 0},
    {kCmdGetVersions, "GetVersions", 0, D, 68},
    {kCmdGetWorkMode, "GetWorkMode", 0, D, 8},
    {kCmdSetWorkMode, "SetWorkMode", 8, S, 0},
    {kCmdRebootDevice, "RebootDevice", 4, S, 0},
    {kCmdGetNetworkParameters, "GetNetworkParameters", 0, D, 64},
    {kCmdSetNetworkParameters, "SetNetworkParameters", 64, S, 0},
    {kCmdGetSerialPortParameters, "GetSerialPortParameters", 4, D, 48},
    {kCmdSetSerialPortParameters, "SetSerialPortParameters", 48, S, 0},
    {kCmdRestoreSerialPortParameters, "RestoreSerialPortParameters", 4, S, 0},
    {kCmdGetSystemTime, "GetSystemTime", 0, D, 12},
    {kCmdSetSystemTime, "SetSystemTime", 12, S, 0},
    {kCmdGetVideoParameters, "GetVideoParameters", 0, D, 12},
    {kCmdSetVideoParameters, "SetVideoParameters", 12, S, 0},
    {kCmdGetEncoderParameters, "GetEncoderParameters", 0, D, 44},
    {kCmdSetEncoderParameters, "SetEncoderParameters", 44, S, 0},
    {kCmdRestoreEncoderDefaults, "RestoreEncoderDefaults", 4, S, 0},
    {kCmdGetEncoderOsd, "GetEncoderOsd", 0, D, 100},
    {kCmdSetEncoderOsd, "SetEncoderOsd", 100, S, 0},
    {kCmdGetAudioEncodingParameters, "GetAudioEncodingParameters", 0, D, 28},
    {kCmdSetAudioEncodingParameters, "SetAudioEncodingParameters", 28, S, 0},
    {kCmdGetDecoderParameters, "GetDecoderParameters", 0, D, 28},
    {kCmdSetDecoderParameters, "SetDecoderParameters", 28, S, 0},
    {kCmdRestoreDecoderParameters, "RestoreDecoderParameters", 4, S, 0},
    {kCmdGetDecoderOsd, "GetDecoderOsd", 0, D, 100},
    {kCmdSetDecoderOsd, "SetDecoderOsd", 100, S, 0},
    {kCmdGetAudioIntercomParameters, "GetAudioIntercomParameters", 0, D, 24},
    {kCmdSetAudioIntercomParameters, "SetAudioIntercomParameters", 24, S, 0},
    {kCmdGetAlarmInputParameters, "GetAlarmInputParameters", 0, D, 28},
    {kCmdSetAlarmInputParameters, "SetAlarmInputParameters", 28, S, 0},
    {kCmdGetAlarmOutputParameters, "GetAlarmOutputParameters", 0, D, 20},
    {kCmdSetAlarmOutputParameters, "SetAlarmOutputParameters", 20, S, 0},
    {kCmdGetVideoAlarmParameters, "GetVideoAlarmParameters", 0, D, 32},
    {kCmdSetVideoAlarmParameters, "SetVideoAlarmParameters", 32, S, 0},
    {kCmdGetMotionDetectionParameters, "GetMotionDetectionParameters", 0, D, 28},
    {kCmdSetMotionDetectionParameters, "SetMotionDetectionParameters", 28, S, 0},
    {kCmdRestoreAlarmParameters, "RestoreAlarmParameters", 4, S, 0},
    {kCmdSendAlarmInputState, "SendAlarmInputState", 12, S, 0},
    {kCmdSendVideoAlarmState, "SendVideoAlarmState", 16, S, 0},
    {kCmdSendMotionDetectionAlarm, "SendMotionDetectionAlarm", 12, S, 0},
    {kCmdGetAlarmCentre, "GetAlarmCentre", 0, D, 12},
    {kCmdSetAlarmCentre, "SetAlarmCentre", 12, S, 0},
    {kCmdGetStreamSendingInformation, "GetStreamSendingInformation", 0, ResponseShape::StreamList,
     0},
    {kCmdStartStreamSending, "StartStreamSending", 20, S, 0},
    {kCmdStopStreamSending, "StopStreamSending", 20, S, 0},
    {kCmdGetStreamReceivingInformation, "GetStreamReceivingInformation", 0, D, 44},
    {kCmdStartStreamReceiving, "StartStreamReceiving", 20, S, 0},
    {kCmdStopStreamReceiving, "StopStreamReceiving", 20, S, 0},
    {kCmdPtzControl, "PtzControl", 8, S, 0},
};

} // namespace

const CommandInfo* CommandTable(size_t* count)
{
    if (count)
        *count = sizeof kCatalogue / sizeof kCatalogue[0];
    return kCatalogue;
}

const CommandInfo* FindCommand(uint16_t code)
{
    for (const CommandInfo& c : kCatalogue)
        if (c.code == code)
            return &c;
    return nullptr;
}

const CommandInfo* FindCommand(const char* operation)
{
    if (operation == nullptr)
        return nullptr;
    for (const CommandInfo& c : kCatalogue)
        if (std::strcmp(c.operation, operation) == 0)
            return &c;
    return nullptr;
}

} // namespace tvprotocol
