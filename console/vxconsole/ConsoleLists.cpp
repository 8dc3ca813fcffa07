#include "ConsoleLists.h"

#include "tvprotocol/ConsoleLog.h"
#include "tvprotocol/Records.h"

namespace consolelists {

namespace {

QStringList Utf8List(std::initializer_list<const char*> texts)
{
    QStringList list;
    for (const char* text : texts)
        list << QString::fromUtf8(text);
    return list;
}

} // namespace

#define CONSOLE_LIST(name, ...)                                                                    \
    const QStringList& name()                                                                      \
    {                                                                                              \
        static const QStringList list = Utf8List({__VA_ARGS__});                                   \
        return list;                                                                               \
    }

CONSOLE_LIST(PageCaptions, "系统配置", "设备配置", "编码参数", "解码参数", "报警参数", "移动侦测",
             "码流信息", "视频播放")
CONSOLE_LIST(PageFileNames, "system", "device", "encoding", "decoding", "alarms", "motion",
             "streams", "playback")
CONSOLE_LIST(WorkModes, "编码", "解码", "编解码")
CONSOLE_LIST(SerialModes, "232", "485", "422")
CONSOLE_LIST(Parities, "无", "奇", "偶")
CONSOLE_LIST(FlowControls, "无", "软", "硬")
CONSOLE_LIST(TransmissionModes, "透明传输模式", "云台直接控制模式")
CONSOLE_LIST(VideoPorts, "HDMI", "VGA", "Ypbpr")
CONSOLE_LIST(RateControls, "CBR", "VBR")
CONSOLE_LIST(OsdColours, "白色", "黑色")
CONSOLE_LIST(OsdShown, "hidden", "show")
CONSOLE_LIST(Switches, "关闭", "打开")
CONSOLE_LIST(AudioSources, "line", "HDMI")
CONSOLE_LIST(AudioCodecs, "PCM", "AAC-LC", "MPEG-I LAYER II", "MPEG-I LAYER III", "G.711 A",
             "G.711 U", "G.723", "MP3", "AMR")
CONSOLE_LIST(ContactAttributes, "OFF", "NO", "NC")
CONSOLE_LIST(Linked, "不关联", "关联")
CONSOLE_LIST(Needed, "不需要", "需要")
CONSOLE_LIST(Uploads, "close", "open")
CONSOLE_LIST(Enables, "OFF", "ON")
CONSOLE_LIST(AlarmStates, "不报警", "报警")
CONSOLE_LIST(OutputTimes, "0", "10", "30", "60", "300", "600", "1800", "3600")
CONSOLE_LIST(DataBits, "5", "6", "7", "8")
CONSOLE_LIST(StopBits, "1", "2")
CONSOLE_LIST(PtzProtocols, "pelco-d", "pelco-p")
CONSOLE_LIST(SampleWidths, "8bit", "16bit", "24bit", "32bit")
CONSOLE_LIST(SampleRates, "8K", "16K", "32K", "48K", "44.1K", "96K")
CONSOLE_LIST(StreamCodecs, "MPEG1", "MPEG2", "MPEG4", "MJPEG", "H264", "JPEG2K")
CONSOLE_LIST(StreamTypes, "自有协议流", "标准流", "TS流")
CONSOLE_LIST(Transports, "TCP", "UDP", "MUTITYCAST")
CONSOLE_LIST(StreamNumbers, "主码流", "从码流")
CONSOLE_LIST(PtzSpeeds, "1", "2", "3", "4", "5")
CONSOLE_LIST(PlayProtocols, "UDP", "TCP")

#undef CONSOLE_LIST

const QStringList& Resolutions()
{
    static const QStringList list = [] {
        QStringList names;
        for (int i = 0; i < tvprotocol::kResolutionCount; ++i)
            names << QString::fromUtf8(tvprotocol::ResolutionName(i)) + QLatin1Char(' ');
        return names;
    }();
    return list;
}

const QStringList& PtzCommands()
{
    static const QStringList list = [] {
        QStringList names;
        for (int i = 1; tvprotocol::PtzCommandName(i); ++i)
            names << QString::fromUtf8(tvprotocol::PtzCommandName(i));
        return names;
    }();
    return list;
}

} // namespace consolelists
