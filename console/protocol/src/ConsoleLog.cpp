#include "tvprotocol/ConsoleLog.h"

#include <cstdarg>
#include <cstdio>

#include "tvprotocol/CommandCatalogue.h"
#include "tvprotocol/Transport.h"

namespace tvprotocol {

namespace {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text;
    if (n > 0) {
        text.resize(static_cast<size_t>(n) + 1);
        std::vsnprintf(text.data(), text.size(), format, args);
        text.resize(static_cast<size_t>(n));
    }
    va_end(args);
    return text;
}

struct CommandText {
    uint16_t code;
    const char* name;
    const char* success; // set and action commands only
};

constexpr CommandText kTexts[] = {
    {kCmdGetDeviceSerialNumber, "获取序号", nullptr},
    {kCmdSetDeviceSerialNumber, "设置序列号", "设置序列号成功"},
    {kCmdGetDeviceNumber, "获取设备编号", nullptr},
    {kCmdSetDeviceNumber, "设置设备编号", "设置设备编号成功"},
    {kCmdGetVersions, "获取版本号", nullptr},
    {kCmdGetWorkMode, "获取工作模式", nullptr},
    {kCmdSetWorkMode, "设置工作模式", "设置工作模式成功"},
    {kCmdRebootDevice, "设备重启", "设备重启成功"},
    {kCmdGetNetworkParameters, "获取网络参数", nullptr},
    {kCmdSetNetworkParameters, "设备网络参数", "设备网络参数成功"},
    {kCmdGetSerialPortParameters, "获取串口参数", nullptr},
    {kCmdSetSerialPortParameters, "设备串口参数", "设备串口参数成功"},
    {kCmdRestoreSerialPortParameters, "恢复串口参数", "恢复串口参数成功"},
    {kCmdGetSystemTime, "获取系统时间", nullptr},
    {kCmdSetSystemTime, "设置系统时间", "设置系统时间成功"},
    {kCmdGetVideoParameters, "获取视频参数", nullptr},
    {kCmdSetVideoParameters, "设置视频参数", "设置视频参数成功"},
    {kCmdGetEncoderParameters, "获取编码参数", nullptr},
    {kCmdSetEncoderParameters, "设置编码参数", "设置编码参数成功"},
    {kCmdRestoreEncoderDefaults, "恢复编码默认参数", "恢复编码默认参数成功"},
    {kCmdGetEncoderOsd, "获取OSD参数", nullptr},
    {kCmdSetEncoderOsd, "设置OSD参数", "设置OSD参数成功"},
    {kCmdGetAudioEncodingParameters, "获取音频参数", nullptr},
    {kCmdSetAudioEncodingParameters, "设置音频参数", "设置音频参数成功"},
    {kCmdGetDecoderParameters, "获取解码参数", nullptr},
    {kCmdSetDecoderParameters, "设置解码参数", "设置解码参数成功"},
    {kCmdRestoreDecoderParameters, "恢复解码参数", "恢复解码参数成功"},
    {kCmdGetDecoderOsd, "获取OSD参数", nullptr},
    {kCmdSetDecoderOsd, "设置OSD参数", "设置OSD参数成功"},
    {kCmdGetAudioIntercomParameters, "获取音频对讲参数", nullptr},
    {kCmdSetAudioIntercomParameters, "设置音频对讲参数", "设置音频对讲参数成功"},
    {kCmdGetAlarmInputParameters, "获取报警输入参数", nullptr},
    {kCmdSetAlarmInputParameters, "设置报警输入参数", "设置报警输入参数成功"},
    {kCmdGetAlarmOutputParameters, "获取报警输出", nullptr},
    {kCmdSetAlarmOutputParameters, "设置报警输出参数", "设置报警输出参数成功"},
    {kCmdGetVideoAlarmParameters, "获取视频报警参数", nullptr},
    {kCmdSetVideoAlarmParameters, "", "成功"},
    {kCmdGetMotionDetectionParameters, "获取移动侦测报警", nullptr},
    {kCmdSetMotionDetectionParameters, "设置移动侦测报警", "设置移动侦测报警成功"},
    {kCmdRestoreAlarmParameters, "恢复报警参数", "恢复报警参数成功"},
    {kCmdSendAlarmInputState, "发送外部报警", "发送外部报警成功"},
    {kCmdSendVideoAlarmState, "发送视频报警报警", "发送视频报警成功"},
    {kCmdSendMotionDetectionAlarm, "发送移动侦测报警", "发送移动侦测报警成功"},
    {kCmdGetAlarmCentre, "获取报警中心", nullptr},
    {kCmdSetAlarmCentre, "设置报警中心参数", "设置报警中心参数成功"},
    {kCmdGetStreamSendingInformation, "获取码流发送信息", nullptr},
    {kCmdStartStreamSending, "启动码流发送", "启动码流发送成功"},
    {kCmdStopStreamSending, "停止码流发送", "停止码流发送成功"},
    {kCmdGetStreamReceivingInformation, "获取码流接收信息", nullptr},
    {kCmdStartStreamReceiving, "启动码流接收", "启动码流接收成功"},
    {kCmdStopStreamReceiving, "停止码流接收", "停止码流接收成功"},
    {kCmdPtzControl, "云台控制", "云台控制成功"},
};

const CommandText* FindText(uint16_t code)
{
    for (const CommandText& t : kTexts)
        if (t.code == code)
            return &t;
    return nullptr;
}

// Picks names[value - first] when value is in the list, else `unknown`.
template <size_t N>
const char* Pick(const char* const (&names)[N], int32_t value, int32_t first, const char* unknown)
{
    const int64_t i = int64_t(value) - first;
    return (i >= 0 && i < int64_t(N)) ? names[i] : unknown;
}

const char* OnOff(int32_t v)
{
    return v ? "打开" : "关闭";
}
const char* Needed(int32_t v)
{
    return v ? "需要" : "不需要";
}
const char* Upload(int32_t v)
{
    return v ? "open" : "close";
}
const char* Enabled(int32_t v)
{
    return v ? "ON" : "OFF";
}
const char* Contact(int32_t v)
{
    static const char* const kNames[] = {"OFF", "NO", "NC"};
    return Pick(kNames, v, 0, "未知");
}

LogEntry Success(std::string report)
{
    LogEntry entry;
    entry.success = true;
    entry.text = std::move(report) + "\r\n";
    return entry;
}

} // namespace

const char* ResultText(int result)
{
    switch (result) {
    case -1:
        return "失败:由于调用系统函数失败所致\r\n";
    case -2:
        return "失败:参数错误\r\n";
    case -3:
        return "失败:socket创建失败 \r\n";
    case -4:
        return "失败:连接超时\r\n";
    case -5:
        return "失败:数据发送失败\r\n";
    case -6:
    case -7:
        return "失败:设置socket属性失败\r\n";
    case -8:
        return "失败:select 失败\r\n";
    case -9:
        return "失败:接收数据超时\r\n";
    case -10:
        return "失败:接收数据失败\r\n";
    case -20:
        return "失败:无码流发送信息\r\n";
    case 2:
        return "失败:协议头解析出错\r\n";
    case 3:
        return "失败:命令不支持\r\n";
    case 4:
        return "失败:模式不支持\r\n";
    case 5:
        return "失败:参数范围出错\r\n";
    case 6:
        return "失败:未知错误\r\n";
    default:
        return "失败:未知\r\n";
    }
}

const char* OperationName(uint16_t command)
{
    const CommandText* t = FindText(command);
    return t ? t->name : "";
}

const char* SuccessText(uint16_t command)
{
    const CommandText* t = FindText(command);
    return t ? t->success : nullptr;
}

LogEntry FailureLog(uint16_t command, int result)
{
    LogEntry entry;
    entry.success = false;
    entry.text = std::string(OperationName(command)) + ResultText(result);
    return entry;
}

LogEntry StatusLog(uint16_t command, int result)
{
    if (result != kResultOk)
        return FailureLog(command, result);
    const char* success = SuccessText(command);
    return Success(success ? success : "");
}

// ---- shared report lines ----

std::string InputTypeLine(int32_t v)
{
    static const char* const kNames[] = {"HDMI", "VGA", "Ypbpr"};
    return Format("输入类型:%s\r\n", Pick(kNames, v, 0, "未知"));
}

std::string CodecLine(int32_t v)
{
    static const char* const kNames[] = {"MPEG1", "MPEG2", "MPEG3", "MPEG4", "H264", "JPEG2K"};
    return Format("编码标准:%s\r\n", Pick(kNames, v, 1, "未知"));
}

const char* ResolutionName(int32_t v)
{
    static const char* const kNames[kResolutionCount] = {
        "V_1024_768P60",  "V_1024_768P75",  "V_1024_768P85",  "V_1280_720P50",  "V_1280_720P60",
        "V_1280_1024P60", "V_1920_1080I50", "V_1920_1080P25", "V_1920_1080I60", "V_1920_1080P30",
        "V_800_600P60",   "V_1440_900P60",  "V_1920_1080I59", "V_1920_1080P29"};
    return Pick(kNames, v, 0, nullptr);
}

std::string ResolutionLine(int32_t v)
{
    const char* name = ResolutionName(v);
    return Format("编码分辨率:%s\r\n", name ? name : "未知");
}

std::string AudioCodecLine(int32_t v)
{
    static const char* const kNames[kAudioCodecCount] = {
        "PCM",   "AAC", "MPEG-I LAYER II", "MPEG-I LAYER III ", "G.711 A", "G.711 U", "G.723",
        "MP3  ", "AMR"};
    return Format("音频编码类型:%s\r\n", Pick(kNames, v, 0, "未知"));
}

std::string SampleWidthLine(int32_t v)
{
    static const char* const kNames[] = {"8bit", "16bit", "24bit", "32bit"};
    return Format("音频采样位宽:%s\r\n", Pick(kNames, v, 1, "未知"));
}

std::string SampleRateLine(int32_t v)
{
    static const char* const kNames[] = {"8KB", "16KB", "32KB", "48KB", "44.1KB", "96KB"};
    return Format("音频采样频率:%s\r\n", Pick(kNames, v, 1, "未知"));
}

std::string StreamTypeLine(int32_t v)
{
    static const char* const kNames[] = {"自有协议流", "标准流", "TS"};
    return Format("码流类型:%s\r\n", Pick(kNames, v, 1, "未知"));
}

std::string TransportLine(int32_t v)
{
    static const char* const kNames[] = {"TCP", "UDP", "MUTITYCAST"};
    return Format("传输类型:%s\r\n", Pick(kNames, v, 1, "未知"));
}

const char* PtzCommandName(int32_t v)
{
    static const char* const kNames[] = {"Up",
                                         "StopUp",
                                         "Down",
                                         "StopDown",
                                         "Left",
                                         "StopLeft",
                                         "Right",
                                         "StopRight",
                                         "ZoomTele",
                                         "StopZoomTele",
                                         "ZoomWide",
                                         "StopZoomWide",
                                         "FocusNear",
                                         "StopFocusNear",
                                         "FocusFar",
                                         "StopFocusFar",
                                         "IrisOpen",
                                         "StopIrisOpen",
                                         "IrisClose",
                                         "StopIrisClose",
                                         "RainBrush",
                                         "StopRainBrush",
                                         "SetPtzPre",
                                         "GotoPtzPre",
                                         "ClearPtzPre",
                                         "Vidicon",
                                         "StopVidicon",
                                         "AssistantSwitch",
                                         "StopAssistantSwitch",
                                         "Water",
                                         "StopWater"};
    return Pick(kNames, v, 1, nullptr);
}

// ---- data reports ----

LogEntry DataLog(int result, const DeviceSerialNumber& r)
{
    if (result != kResultOk)
        return FailureLog(kCmdGetDeviceSerialNumber, result);
    return Success(Format("序列号:%s", r.serialNumber.c_str()));
}

LogEntry DataLog(int result, const DeviceNumber& r)
{
    if (result != kResultOk)
        return FailureLog(kCmdGetDeviceNumber, result);
    return Success(Format("设备编号:%s", r.deviceNumber.c_str()));
}

LogEntry DataLog(int result, const DeviceVersions& r)
{
    if (result != kResultOk)
        return FailureLog(kCmdGetVersions, result);
    return Success(Format("硬件版本号:%s\r\n软件版本号:%s\r\nfpga版本:%s",
                          r.hardwareVersion.c_str(), r.softwareVersion.c_str(),
                          r.fpgaVersion.c_str()));
}

LogEntry DataLog(int result, const WorkModeParameters& r)
{
    if (result != kResultOk)
        return FailureLog(kCmdGetWorkMode, result);
    static const char* const kNames[] = {"编码", "解码", "编解码"};
    return Success(Format("工作模式:%s", Pick(kNames, r.workMode, 0, "未知")));
}

LogEntry DataLog(int result, const NetworkParameters& r)
{
    if (result != kResultOk)
        return FailureLog(kCmdGetNetworkParameters, result);
    return Success(Format(
        "bootproto:%s\r\nipaddr:%s\r\nnetamsk:%s\r\ngateway:%s\r\n主dns:%s\r\n从dns:%s\r\nmac:%s",
        r.bootProtocol == kBootDhcp ? "dhcp" : "static", r.ipAddress.c_str(), r.netmask.c_str(),
        r.gateway.c_str(), r.primaryDns.c_str(), r.secondaryDns.c_str(), r.macAddress.c_str()));
}

LogEntry DataLog(int result, const SerialPortParameters& r)
{
    if (result != kResultOk)
        return FailureLog(kCmdGetSerialPortParameters, result);
    // The report knows two modes: any non-zero mode (RS-422 too) reads "485".
    const char* mode = r.serialMode != kSerialRs232 ? "485" : "232";
    return Success(Format("编号:%d\r\n模式:%s\r\n波特率:%d\r\n数据位:%d\r\n停止位:%d\r\n流控:%d\r\n"
                          "云台控制协议:%d\r\n云台地址:%d\r\n传输模式:%s\r\n传输端口:%d\r\n",
                          r.portNumber, mode, r.baudRate, r.dataBits, r.stopBits, r.flowControl,
                          r.ptzProtocol, r.ptzAddress, r.transmissionMode ? "直接控制" : "透明",
                          r.transmissionPort));
}

LogEntry DataLog(int result, const DeviceTime& r)
{
    if (result != kResultOk)
        return FailureLog(kCmdGetSystemTime, result);
    return Success(Format("年:%d\r\n月:%d\r\n日:%d\r\n星期:%d\r\n时:%d\r\n分:%d\r\n秒:%d\r\n",
                          r.year, r.month, r.day, r.weekday, r.hour, r.minute, r.second));
}

LogEntry DataLog(int result, const VideoParameters& r)
{
    if (result != kResultOk)
        return FailureLog(kCmdGetVideoParameters, result);
    return Success(Format("亮度:%d\r\n对比度:%d\r\n色度:%d\r\n饱和度:%d\r\n锐度:%d", r.brightness,
                          r.contrast, r.hue, r.saturation, r.sharpness));
}

LogEntry DataLog(int result, const EncoderParameters& r)
{
    if (result != kResultOk)
        return FailureLog(kCmdGetEncoderParameters, result);
    return Success(InputTypeLine(r.videoInput) + CodecLine(r.codec) + ResolutionLine(r.resolution) +
                   Format("帧率:%d\r\n码率:%d\r\ngop:%d\r\ngop_m:%d\r\ncbrvbr:%s\r\nqp:%d\r\n",
                          r.frameRate, r.bitRate, r.gop, r.gopM, r.rateControl == 0 ? "CBR" : "VBR",
                          r.qp));
}

LogEntry DataLog(int result, const OsdParameters& r)
{
    if (result != kResultOk)
        return FailureLog(kCmdGetEncoderOsd, result);
    return Success(Format("osd颜色:%s\r\n时间:%s\r\n时间X:%d\r\n时间Y:%d\r\n文字:%s\r\n文字X:%"
                          "d\r\n文字Y:%d\r\n文字:%s\r\n",
                          r.colour ? "黑色" : "白色", r.timeShown ? "show" : "hidden", r.timeX,
                          r.timeY, r.textShown ? "show" : "hidden", r.textX, r.textY,
                          r.text.c_str()));
}

LogEntry DataLog(int result, const AudioEncodingParameters& r)
{
    if (result != kResultOk)
        return FailureLog(kCmdGetAudioEncodingParameters, result);
    return Success(
        Format("音频开关:%s\r\n输入源:%s\r\n", OnOff(r.audioOn), r.audioSource ? "HDMI" : "line") +
        AudioCodecLine(r.audioCodec) + SampleWidthLine(r.sampleWidth) +
        SampleRateLine(r.sampleRate));
}

LogEntry DataLog(int result, const DecoderParameters& r)
{
    if (result != kResultOk)
        return FailureLog(kCmdGetDecoderParameters, result);
    return Success(
        InputTypeLine(r.videoOutput) + CodecLine(r.codec) + ResolutionLine(r.resolution) +
        Format("音频开关:%s\r\n音频源:%s\r\n", OnOff(r.audioOn), r.audioOutput ? "hdmi" : "line"));
}

LogEntry DataLog(int result, const AudioIntercomParameters& r)
{
    if (result != kResultOk)
        return FailureLog(kCmdGetAudioIntercomParameters, result);
    return Success(Format("音频:%s\r\n", r.intercomOn ? "启动" : "关闭") +
                   AudioCodecLine(r.audioCodec) +
                   Format("被叫IP:%s\r\nport:%d\r\n", r.calledAddress.c_str(), r.port));
}

LogEntry DataLog(int result, const AlarmInputParameters& r)
{
    if (result != kResultOk)
        return FailureLog(kCmdGetAlarmInputParameters, result);
    std::string report;
    for (int i = 0; i < kChannelCount; ++i) {
        const int ch = i + 1;
        report += Format("通道%d 输入属性:%s\r\n", ch, Contact(r.contactAttribute[i]));
        report += Format("通道%d 关联报警输出:%s\r\n", ch, Needed(r.linkedOutput[i]));
        report += Format("通道%d 云台地址:%d\r\n", ch, r.ptzAddress[i]);
        report += Format("通道%d 屏幕提示:%s\r\n", ch, Needed(r.screenPrompt[i]));
        report += Format("通道%d 网络上传:%s\r\n", ch, Upload(r.networkUpload[i]));
    }
    return Success(report);
}

LogEntry DataLog(int result, const AlarmOutputParameters& r)
{
    if (result != kResultOk)
        return FailureLog(kCmdGetAlarmOutputParameters, result);
    std::string report;
    for (int i = 0; i < kChannelCount; ++i) {
        const int ch = i + 1;
        report += Format("通道%d 报警输出属性:%s\r\n", ch, Contact(r.contactAttribute[i]));
        report += Format("通道%d 报警输出时间:%d\r\n", ch, r.outputDuration[i]);
    }
    return Success(report);
}

LogEntry DataLog(int result, const VideoAlarmParameters& r)
{
    if (result != kResultOk)
        return FailureLog(kCmdGetVideoAlarmParameters, result);
    std::string report;
    for (int i = 0; i < kChannelCount; ++i) {
        const int ch = i + 1;
        report += Format("通道%d 视频丢失使能:%s\r\n", ch, Enabled(r.videoLossEnable[i]));
        report += Format("通道%d 视频遮挡使能:%s\r\n", ch, Enabled(r.videoOcclusionEnable[i]));
        report += Format("通道%d 关联输出:%d\r\n", ch, r.linkedOutput[i]);
        report += Format("通道%d 屏幕提示:%s\r\n", ch, Needed(r.screenPrompt[i]));
        report += Format("通道%d 扬声器:%s\r\n", ch, Needed(r.speaker[i]));
        report += Format("通道%d 网络上传:%s\r\n", ch, Upload(r.networkUpload[i]));
    }
    return Success(report);
}

LogEntry DataLog(int result, const MotionDetectionParameters& r)
{
    if (result != kResultOk)
        return FailureLog(kCmdGetMotionDetectionParameters, result);
    std::string report;
    for (int i = 0; i < kChannelCount; ++i) {
        const int ch = i + 1;
        report += Format("通道%d 移动侦测报警:%s\r\n", ch, Enabled(r.motionEnable[i]));
        report += Format("通道%d 关联输出:%d\r\n", ch, r.linkedOutput[i]);
        report += Format("通道%d 屏幕提示:%s\r\n", ch, Needed(r.screenPrompt[i]));
        report += Format("通道%d 扬声器:%s\r\n", ch, Needed(r.speaker[i]));
        report += Format("通道%d 网络上传:%s\r\n", ch, Upload(r.networkUpload[i]));
    }
    return Success(report);
}

LogEntry DataLog(int result, const AlarmCentre& r)
{
    if (result != kResultOk)
        return FailureLog(kCmdGetAlarmCentre, result);
    return Success(Format("报警中心ip:%s\r\n端口:%d\r\n", r.address.c_str(), r.port));
}

LogEntry DataLog(int result, const StreamSendingInformation& r)
{
    if (result != kResultOk)
        return FailureLog(kCmdGetStreamSendingInformation, result);
    std::string report;
    const int count = r.count < 0 ? 0 : (r.count > kMaxStreamEntries ? kMaxStreamEntries : r.count);
    for (int i = 0; i < count; ++i) {
        const StreamSendingParameters& e = r.entries[i];
        report += Format("第 %d路码流\r\n", i + 1);
        report += CodecLine(e.codec) + StreamTypeLine(e.streamType) + TransportLine(e.transport);
        report += Format("对端ip:%s\r\n对端port:%d\r\n", e.peerAddress.c_str(), e.peerPort);
    }
    return Success(report);
}

LogEntry DataLog(int result, const StreamReceivingInformation& r)
{
    if (result != kResultOk)
        return FailureLog(kCmdGetStreamReceivingInformation, result);
    const StreamReceivingEntry& m = r.mainStream;
    const StreamReceivingEntry& s = r.subStream;
    std::string report = "主码流参数:\r\n";
    report += CodecLine(m.codec) + StreamTypeLine(m.streamType) + TransportLine(m.transport);
    report += Format("对端ip:%s\r\n对端port:%d\r\n", m.address.c_str(), m.port);
    report += "从码流参数:\r\n";
    report += StreamTypeLine(s.streamType) + TransportLine(s.transport);
    report += Format("对端ip:%s\r\n对端port:%d\r\n", s.address.c_str(), s.port);
    return Success(report);
}

} // namespace tvprotocol
