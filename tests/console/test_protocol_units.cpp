// Framing, response parser, payload layouts and log texts, without sockets.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tvprotocol/CommandCatalogue.h"
#include "tvprotocol/DeviceCommands.h"
#include "tvprotocol/ConsoleLog.h"
#include "tvprotocol/PayloadCodec.h"
#include "tvprotocol/ResponseParser.h"
#include "tvprotocol/Transport.h"
#include "win32/trace.h"

using namespace tvprotocol;
using Bytes = std::vector<uint8_t>;

namespace {

// Bytes handed out in order; the end reads like a closed peer.
class CMemorySource final : public IByteSource {
public:
    explicit CMemorySource(Bytes bytes) : m_bytes(std::move(bytes)) {}
    int Read(uint8_t* buffer, size_t count) override
    {
        if (m_bytes.size() - m_at < count)
            return kResultReceive;
        std::memcpy(buffer, m_bytes.data() + m_at, count);
        m_at += count;
        return kResultOk;
    }
    size_t Consumed() const { return m_at; }

private:
    Bytes m_bytes;
    size_t m_at = 0;
};

Bytes Frame(uint8_t kind, uint16_t command, const Bytes& payload)
{
    Bytes f(kHeaderSize + payload.size());
    BuildFrame(f.data(), kind, command, payload.data(), payload.size());
    return f;
}

Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

Bytes StatusWord(uint32_t s)
{
    return {uint8_t(s >> 24), uint8_t(s >> 16), uint8_t(s >> 8), uint8_t(s)};
}

int Parse(const Bytes& stream, ResponseExpectation expect, Bytes& payload, size_t* length = nullptr)
{
    CMemorySource source(stream);
    payload.assign(kMaxPayload, 0xEE);
    return ReadResponse(source, expect, payload.data(), payload.size(), length);
}

} // namespace

TEST(ProtocolFraming, RequestHeadersAreExactToTheByte)
{
    uint8_t frame[kHeaderSize + 8];
    ASSERT_EQ(BuildHeader(frame, 0x0000, nullptr, 0), 16u);
    const Bytes expected = {0xFF, 0xFF, 0x57, 0x51, 0x58, 0x4E, 0x01, 0x01,
                            0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x4E};
    EXPECT_EQ(Bytes(frame, frame + 16), expected);

    BuildHeader(frame, 0x0100, nullptr, 0);
    EXPECT_EQ(frame[15], 0x4F);

    const uint8_t payload[8] = {0, 0, 0, 0, 0, 0, 0, 2};
    ASSERT_EQ(BuildHeader(frame, 0x0007, payload, sizeof payload), 24u);
    EXPECT_EQ(frame[8], 0x00);
    EXPECT_EQ(frame[9], 0x07);
    EXPECT_EQ(frame[11], 0x08);
    EXPECT_EQ(frame[15], uint8_t(0x4E + 0x07 + 0x08));
    EXPECT_EQ(Bytes(frame + 16, frame + 24), Bytes(payload, payload + 8));
}

TEST(ResponseParser, AcceptsDataAndStatusFrames)
{
    Bytes out;
    const Bytes data(36, 0x41);
    EXPECT_EQ(Parse(Frame(2, 0x0000, data), {0x0000, ResponseKind::Data, 36}, out), 0);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 36), data);
    // Nothing is written past the expected length.
    EXPECT_EQ(out[36], 0xEE);

    // A status where data was expected: the device's error.
    EXPECT_EQ(Parse(Frame(2, 0x0004, StatusWord(3)), {0x0004, ResponseKind::Data, 68}, out), 3);
    EXPECT_EQ(Parse(Frame(3, 0x0004, StatusWord(5)), {0x0004, ResponseKind::Data, 68}, out), 5);
    // Status exchanges.
    EXPECT_EQ(Parse(Frame(3, 0x0001, StatusWord(0)), {0x0001, ResponseKind::Status, 4}, out), 0);
    EXPECT_EQ(Parse(Frame(3, 0x0001, StatusWord(6)), {0x0001, ResponseKind::Status, 4}, out), 6);
}

TEST(ResponseParser, SkipsNoiseAndBrokenHeadersAndFindsTheTrueOne)
{
    Bytes out;
    const ResponseExpectation status{0x0101, ResponseKind::Status, 4};
    const Bytes good = Frame(3, 0x0101, StatusWord(4));

    // Plain noise, noise ending in 0xFF and a partial header right before it.
    EXPECT_EQ(Parse(Cat({{0x00, 0x12, 0x34}, good}), status, out), 4);
    EXPECT_EQ(Parse(Cat({{0x00, 0xFF}, good}), status, out), 4);
    EXPECT_EQ(Parse(Cat({{0xFF, 0xFF, 0x57, 0xFF}, good}), status, out), 4);
    EXPECT_EQ(Parse(Cat({{0xFF, 0xFF, 0x57, 0x51, 0x58, 0x4E, 0x01}, good}), status, out), 4);

    // Wrong checksum, wrong echo, wrong kind (2 in a status exchange), wrong
    // length: each skipped, the following true frame is taken.
    Bytes badSum = good;
    badSum[15] ^= 0x01;
    EXPECT_EQ(Parse(Cat({badSum, good}), status, out), 4);
    EXPECT_EQ(Parse(Cat({Frame(3, 0x0102, StatusWord(9)), good}), status, out), 4);
    EXPECT_EQ(Parse(Cat({Frame(2, 0x0101, StatusWord(9)), good}), status, out), 4);
    EXPECT_EQ(Parse(Cat({Frame(3, 0x0101, Bytes(8, 0)), good}), status, out), 4);

    // A header cut short by the start of the true one.
    Bytes cut(good.begin(), good.begin() + 10);
    EXPECT_EQ(Parse(Cat({cut, good}), status, out), 4);

    // Only broken frames: the stream ends like a closed peer.
    EXPECT_EQ(Parse(badSum, status, out), kResultReceive);
    EXPECT_EQ(Parse({}, status, out), kResultReceive);
    EXPECT_EQ(Parse(Bytes(good.begin(), good.begin() + 18), status, out), kResultReceive);
}

TEST(ResponseParser, StatusWordsNeverPoseAsLocalCodesOrAsData)
{
    Bytes out;
    // 0xFFFFFFFC would read as -4 ("connection timed out").
    EXPECT_EQ(
        Parse(Frame(3, 0x0001, StatusWord(0xFFFFFFFC)), {0x0001, ResponseKind::Status, 4}, out),
        kStatusUnrepresentable);
    EXPECT_STREQ(ResultText(kStatusUnrepresentable), "失败:未知\r\n");
    // Status 0 where data was asked for leaves the caller without data.
    EXPECT_EQ(Parse(Frame(2, 0x0100, StatusWord(0)), {0x0100, ResponseKind::Data, 64}, out),
              kResultReceive);
    EXPECT_EQ(Parse(Frame(2, 0x0400, StatusWord(0)), {0x0400, ResponseKind::StreamList, 0}, out),
              kResultReceive);
}

TEST(ResponseParser, StreamListLengthRule)
{
    Bytes out;
    size_t length = 99;
    const ResponseExpectation list{0x0400, ResponseKind::StreamList, 0};
    EXPECT_EQ(Parse(Frame(2, 0x0400, Bytes(48, 0x11)), list, out, &length), 0);
    EXPECT_EQ(length, 48u);
    EXPECT_EQ(Parse(Frame(2, 0x0400, Bytes(240, 0x11)), list, out, &length), 0);
    EXPECT_EQ(length, 240u);
    EXPECT_EQ(Parse(Frame(2, 0x0400, {}), list, out, &length), kResultNoStreams);
    EXPECT_EQ(Parse(Frame(3, 0x0400, StatusWord(3)), list, out), 3);
    // 25 bytes and 264 bytes (11 entries) are not accepted lengths.
    const Bytes good = Frame(2, 0x0400, Bytes(24, 0x22));
    EXPECT_EQ(Parse(Cat({Frame(2, 0x0400, Bytes(25, 0)), good}), list, out, &length), 0);
    EXPECT_EQ(length, 24u);
    EXPECT_EQ(Parse(Cat({Frame(2, 0x0400, Bytes(264, 0)), good}), list, out, &length), 0);
    EXPECT_EQ(length, 24u);

    StreamSendingInformation info;
    EXPECT_TRUE(Decode(out.data(), 24, info));
    EXPECT_EQ(info.count, 1);
}

TEST(ResponseParser, RefusesABufferTooSmallForTheExpectedPayload)
{
    CMemorySource source(Frame(2, 0x0000, Bytes(36, 0)));
    uint8_t small[8];
    EXPECT_EQ(ReadResponse(source, {0x0000, ResponseKind::Data, 36}, small, sizeof small, nullptr),
              kResultBadParameter);
    EXPECT_EQ(source.Consumed(), 0u);
}

TEST(PayloadLayout, ChannelWordsAndSixteenBitDurations)
{
    uint8_t out[kMaxPayload];
    AlarmInputParameters in;
    in.contactAttribute[0] = kContactNc;
    ASSERT_EQ(Encode(in, out), 28u);
    EXPECT_EQ(Bytes(out, out + 8), (Bytes{0, 0, 0, 0, 0x00, 0x00, 0x00, 0x02}));

    AlarmOutputParameters o;
    o.contactAttribute[3] = 1;
    o.outputDuration[0] = 3600;
    o.outputDuration[3] = 65535;
    ASSERT_EQ(Encode(o, out), 20u);
    EXPECT_EQ(Bytes(out + 4, out + 16), (Bytes{0x01, 0, 0, 0, 0x0E, 0x10, 0, 0, 0, 0, 0xFF, 0xFF}));
    o.outputDuration[1] = 65536;
    EXPECT_EQ(Check(o), kResultBadParameter);
}

TEST(PayloadLayout, TimeTextsAndAddresses)
{
    uint8_t out[kMaxPayload];
    DeviceTime t{2000, 1, 2, WeekdayFromDayOfWeek(0), 3, 4, 5};
    ASSERT_EQ(Encode(t, out), 12u);
    EXPECT_EQ(Bytes(out, out + 12), (Bytes{0, 0, 0, 0, 0, 1, 2, 7, 3, 4, 5, 0}));
    EXPECT_EQ(WeekdayFromDayOfWeek(1), 1);
    t.year = 2038;
    EXPECT_EQ(Check(t), kResultBadParameter);
    t.year = 2037;
    EXPECT_EQ(Check(t), kResultOk);
    t.hour = 256;
    EXPECT_EQ(Check(t), kResultBadParameter);

    // OSD text: 64 bytes fill the field, 70 are cut to 63 and a NUL.
    OsdParameters osd;
    osd.text = std::string(64, 'a');
    Encode(osd, out);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out + 32), 64), osd.text);
    osd.text = std::string(70, 'b');
    Encode(osd, out);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out + 32), 63), std::string(63, 'b'));
    EXPECT_EQ(out[95], 0);

    // 32-byte texts keep 31 characters; a field without NUL reads to its end.
    DeviceSerialNumber sn{std::string(40, 'c')};
    Encode(sn, out);
    EXPECT_EQ(out[35], 0);
    std::memset(out + 4, 'd', 32);
    ASSERT_TRUE(Decode(out, 36, sn));
    EXPECT_EQ(sn.serialNumber, std::string(32, 'd'));
    EXPECT_FALSE(Decode(out, 35, sn));

    NetworkParameters net;
    net.ipAddress = "10.1.2.3";
    Encode(net, out);
    EXPECT_EQ(Bytes(out + 8, out + 12), (Bytes{10, 1, 2, 3}));
    net.bootProtocol = 2;
    EXPECT_EQ(Check(net), kResultBadParameter);
    net.bootProtocol = kBootDhcp;
    net.gateway = "10.1.2";
    EXPECT_EQ(Check(net), kResultBadParameter);

    EXPECT_EQ(Check(WorkModeParameters{3}), kResultBadParameter);
    EXPECT_EQ(Check(WorkModeParameters{2}), kResultOk);
    SerialPortParameters serial;
    serial.serialMode = 3;
    EXPECT_EQ(Check(serial), kResultBadParameter);
    EXPECT_EQ(Check(VideoParameters{0, 0, 300, 0, 0}), kResultBadParameter);
}

TEST(ConsoleLogTexts, ResultTextsAndFailureEntries)
{
    EXPECT_STREQ(ResultText(-1), "失败:由于调用系统函数失败所致\r\n");
    EXPECT_STREQ(ResultText(-3), "失败:socket创建失败 \r\n");
    EXPECT_STREQ(ResultText(-6), ResultText(-7));
    EXPECT_STREQ(ResultText(-8), "失败:select 失败\r\n");
    EXPECT_STREQ(ResultText(-20), "失败:无码流发送信息\r\n");
    EXPECT_STREQ(ResultText(2), "失败:协议头解析出错\r\n");
    EXPECT_STREQ(ResultText(6), "失败:未知错误\r\n");
    EXPECT_STREQ(ResultText(1), "失败:未知\r\n");
    EXPECT_STREQ(ResultText(-11), "失败:未知\r\n");

    LogEntry e = DataLog(kResultConnectTimeout, NetworkParameters{});
    EXPECT_FALSE(e.success);
    EXPECT_EQ(e.text, "获取网络参数失败:连接超时\r\n");
    EXPECT_EQ(StatusLog(kCmdSetVideoAlarmParameters, 3).text, "失败:命令不支持\r\n");
    EXPECT_EQ(StatusLog(kCmdSetVideoAlarmParameters, 0).text, "成功\r\n");
    e = StatusLog(kCmdSetSystemTime, 0);
    EXPECT_TRUE(e.success);
    EXPECT_EQ(e.text, "设置系统时间成功\r\n");
    EXPECT_EQ(DataLog(-9, DeviceSerialNumber{}).text, "获取序号失败:接收数据超时\r\n");
    EXPECT_EQ(DataLog(3, OsdParameters{}).text, "获取OSD参数失败:命令不支持\r\n");

    // Every catalogue command has a console name; set and action commands a
    // success text.
    size_t count = 0;
    const CommandInfo* table = CommandTable(&count);
    ASSERT_EQ(count, 52u);
    for (size_t i = 0; i < count; ++i) {
        if (table[i].code != kCmdSetVideoAlarmParameters) {
            EXPECT_STRNE(OperationName(table[i].code), "") << table[i].operation;
        }
        EXPECT_EQ(SuccessText(table[i].code) != nullptr, table[i].response == ResponseShape::Status)
            << table[i].operation;
        EXPECT_EQ(FindCommand(table[i].operation), &table[i]);
    }
}

TEST(ConsoleLogTexts, DataReports)
{
    EXPECT_EQ(DataLog(0, WorkModeParameters{2}).text, "工作模式:编解码\r\n");
    EXPECT_EQ(DataLog(0, WorkModeParameters{7}).text, "工作模式:未知\r\n");
    EXPECT_EQ(DataLog(0, DeviceSerialNumber{"SN1"}).text, "序列号:SN1\r\n");
    EXPECT_EQ(DataLog(0, DeviceVersions{"a", "b", "c"}).text,
              "硬件版本号:a\r\n软件版本号:b\r\nfpga版本:c\r\n");

    NetworkParameters net;
    net.bootProtocol = kBootDhcp;
    net.ipAddress = "1.2.3.4";
    net.macAddress = "m";
    EXPECT_EQ(DataLog(0, net).text,
              "bootproto:dhcp\r\nipaddr:1.2.3.4\r\nnetamsk:0.0.0.0\r\ngateway:0.0.0.0\r\n"
              "主dns:0.0.0.0\r\n从dns:0.0.0.0\r\nmac:m\r\n");

    // Any non-zero mode reads "485", RS-422 included; only 0 reads "232".
    SerialPortParameters sp{1, kSerialRs422, 9600, 8, 0, 1, 0, 1, 3, 1, 1201};
    EXPECT_EQ(DataLog(0, sp).text,
              "编号:1\r\n模式:485\r\n波特率:9600\r\n数据位:8\r\n停止位:1\r\n流控:0\r\n"
              "云台控制协议:1\r\n云台地址:3\r\n传输模式:直接控制\r\n传输端口:1201\r\n\r\n");
    sp.serialMode = kSerialRs232;
    EXPECT_EQ(DataLog(0, sp).text.rfind("编号:1\r\n模式:232\r\n", 0), 0u);

    EXPECT_EQ(DataLog(0, DeviceTime{2011, 3, 5, 6, 14, 7, 9}).text,
              "年:2011\r\n月:3\r\n日:5\r\n星期:6\r\n时:14\r\n分:7\r\n秒:9\r\n\r\n");

    EncoderParameters enc{1, 5, 3, 25, 4000, 25, 1, 1, 26};
    EXPECT_EQ(DataLog(0, enc).text,
              "输入类型:VGA\r\n编码标准:H264\r\n编码分辨率:V_1280_720P50\r\n帧率:25\r\n"
              "码率:4000\r\ngop:25\r\ngop_m:1\r\ncbrvbr:VBR\r\nqp:26\r\n\r\n");
    EXPECT_EQ(ResolutionLine(14), "编码分辨率:未知\r\n");
    EXPECT_EQ(ResolutionLine(-1), "编码分辨率:未知\r\n");

    AudioEncodingParameters audio{1, 1, 3, 4, 5};
    EXPECT_EQ(DataLog(0, audio).text,
              "音频开关:打开\r\n输入源:HDMI\r\n音频编码类型:MPEG-I LAYER III \r\n"
              "音频采样位宽:32bit\r\n音频采样频率:44.1KB\r\n\r\n");
    EXPECT_EQ(AudioCodecLine(7), "音频编码类型:MP3  \r\n");
    EXPECT_EQ(AudioCodecLine(9), "音频编码类型:未知\r\n");

    AlarmInputParameters alarms;
    alarms.contactAttribute[0] = 2;
    alarms.contactAttribute[1] = 9;
    alarms.networkUpload[0] = 1;
    const std::string report = DataLog(0, alarms).text;
    EXPECT_EQ(report.substr(0, report.find("通道2")),
              "通道1 输入属性:NC\r\n通道1 关联报警输出:不需要\r\n通道1 云台地址:0\r\n"
              "通道1 屏幕提示:不需要\r\n通道1 网络上传:open\r\n");
    EXPECT_NE(report.find("通道2 输入属性:未知\r\n"), std::string::npos);

    StreamSendingInformation list;
    list.count = 1;
    list.entries[0] = {5, 1, 3, "10.0.0.9", 8001};
    EXPECT_EQ(DataLog(0, list).text,
              "第 1路码流\r\n编码标准:H264\r\n码流类型:自有协议流\r\n传输类型:MUTITYCAST\r\n"
              "对端ip:10.0.0.9\r\n对端port:8001\r\n\r\n");
    EXPECT_EQ(DataLog(kResultNoStreams, list).text, "获取码流发送信息失败:无码流发送信息\r\n");

    AudioIntercomParameters talk{1, 4, "10.0.0.2", 5000};
    EXPECT_EQ(DataLog(0, talk).text,
              "音频:启动\r\n音频编码类型:G.711 A\r\n被叫IP:10.0.0.2\r\nport:5000\r\n\r\n");
    EXPECT_STREQ(PtzCommandName(1), "Up");
    EXPECT_STREQ(PtzCommandName(31), "StopWater");
    EXPECT_EQ(PtzCommandName(32), nullptr);
}

TEST(ProtocolTrace, CommandsRefusedLocallyAreTracedOnTheProtocolChannel)
{
    // Refused before any connection, so no socket is needed.
    const auto commands = [] {
        RestoreSerialPortParameters("", 2, 9999);
        GetNetworkParameters("10.0.0.5", nullptr, 7000);
        RebootDevice(nullptr);
    };
    EXPECT_EQ(TvTraceCapture("protocol", commands),
              (std::vector<std::string>{
                  "protocol: RestoreSerialPortParameters(0x0105) :9999 request 00000002 -> -2",
                  "protocol: GetNetworkParameters(0x0100) 10.0.0.5:7000 -> -2",
                  "protocol: RebootDevice(0x000F) (null):9999 request 00000000 -> -2"}));
    EXPECT_TRUE(TvTraceCapture("parsers,nwsource", commands).empty());
}
