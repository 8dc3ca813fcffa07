// The console's log texts: what each command's outcome looks like in the log.
//
// A success entry is the command's success text or data report followed by
// "\r\n" (shown in blue); a failure entry is the command's console name
// directly followed by the failure text of the result code (shown in red).
// The console pages and vxctl only call these. All texts are UTF-8.
#pragma once

#include <cstdint>
#include <string>

#include "tvprotocol/Records.h"

namespace tvprotocol {

struct LogEntry {
    bool success = false;
    std::string text;
};

// The failure text of a result code, e.g. "失败:连接超时\r\n" for -4.
const char* ResultText(int result);

// The console's name of a command (the failure prefix), e.g. "获取网络参数"
// for 0x0100; "" for codes outside the catalogue (and for 0x0305, whose
// console name is empty).
const char* OperationName(uint16_t command);

// The success text of a set or action command, e.g. "设置系统时间成功";
// nullptr for get commands and codes outside the catalogue.
const char* SuccessText(uint16_t command);

// name + ResultText(result).
LogEntry FailureLog(uint16_t command, int result);

// Set and action commands: the success text, or the failure entry.
LogEntry StatusLog(uint16_t command, int result);

// Get commands: the data report of the record, or the failure entry.
LogEntry DataLog(int result, const DeviceSerialNumber& record);
LogEntry DataLog(int result, const DeviceNumber& record);
LogEntry DataLog(int result, const DeviceVersions& record);
LogEntry DataLog(int result, const WorkModeParameters& record);
LogEntry DataLog(int result, const NetworkParameters& record);
LogEntry DataLog(int result, const SerialPortParameters& record);
LogEntry DataLog(int result, const DeviceTime& record);
LogEntry DataLog(int result, const VideoParameters& record);
LogEntry DataLog(int result, const EncoderParameters& record);
LogEntry DataLog(int result, const OsdParameters& record); // encoder and decoder OSD
LogEntry DataLog(int result, const AudioEncodingParameters& record);
LogEntry DataLog(int result, const DecoderParameters& record);
LogEntry DataLog(int result, const AudioIntercomParameters& record);
LogEntry DataLog(int result, const AlarmInputParameters& record);
LogEntry DataLog(int result, const AlarmOutputParameters& record);
LogEntry DataLog(int result, const VideoAlarmParameters& record);
LogEntry DataLog(int result, const MotionDetectionParameters& record);
LogEntry DataLog(int result, const AlarmCentre& record);
LogEntry DataLog(int result, const StreamSendingInformation& record);
LogEntry DataLog(int result, const StreamReceivingInformation& record);

// Report lines shared by several pages (each ends in "\r\n").
std::string InputTypeLine(int32_t videoPort);     // "输入类型:HDMI\r\n" ...
std::string CodecLine(int32_t codec);             // "编码标准:MPEG1\r\n" ...
std::string ResolutionLine(int32_t resolution);   // "编码分辨率:V_1024_768P60\r\n" ...
std::string AudioCodecLine(int32_t audioCodec);   // "音频编码类型:PCM\r\n" ...
std::string SampleWidthLine(int32_t sampleWidth); // "音频采样位宽:8bit\r\n" ...
std::string SampleRateLine(int32_t sampleRate);   // "音频采样频率:8KB\r\n" ...
std::string StreamTypeLine(int32_t streamType);   // "码流类型:自有协议流\r\n" ...
std::string TransportLine(int32_t transport);     // "传输类型:TCP\r\n" ...

// The resolution names (0 .. kResolutionCount - 1), e.g. "V_1024_768P60";
// nullptr outside the list. The console's combo shows each with a trailing blank.
const char* ResolutionName(int32_t resolution);
// The PTZ command names (1 .. 31), e.g. "Up"; nullptr outside the list.
const char* PtzCommandName(int32_t command);

} // namespace tvprotocol
