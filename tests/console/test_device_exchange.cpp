// The command operations over real TCP on 127.0.0.1 against the device side.
#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <fcntl.h>
#include <functional>
#include <netinet/in.h>
#include <set>
#include <sys/socket.h>
#include <unistd.h>

#include "tvdevice/DeviceControlServer.h"
#include "tvdevice/DeviceModel.h"
#include "tvprotocol/CommandCatalogue.h"
#include "tvprotocol/ConsoleLog.h"
#include "tvprotocol/DeviceCommands.h"
#include "tvprotocol/PayloadCodec.h"

using namespace tvprotocol;
using tvdevice::CDeviceControlServer;
using tvdevice::DeviceFault;
using tvdevice::FaultPlan;
using Bytes = std::vector<uint8_t>;

namespace {

constexpr const char* kLocal = "127.0.0.1";

class DeviceExchange : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetProtocolTimeouts(ProtocolTimeouts{});
        ASSERT_EQ(m_device.Start(0, kLocal), 0);
        m_port = m_device.Port();
        ASSERT_GT(m_port, 0);
    }
    void TearDown() override { SetProtocolTimeouts(ProtocolTimeouts{}); }

    void Fault(DeviceFault fault, int command, int count = 1)
    {
        FaultPlan plan;
        plan.fault = fault;
        plan.command = command;
        plan.count = count;
        m_device.SetFault(plan);
    }

    // A raw status exchange for a command the catalogue may not have.
    int RawStatusExchange(uint16_t command, const Bytes& payload)
    {
        const int s = Connect(kLocal, m_port);
        if (s < 0)
            return s;
        uint8_t frame[kHeaderSize + kMaxPayload];
        const size_t n = BuildHeader(frame, command, payload.data(), payload.size());
        int r = SendFrame(s, frame, n) == 0 ? ReadStatusResponse(s, command) : kResultSend;
        CloseSocket(s);
        return r;
    }

    CDeviceControlServer m_device;
    int m_port = 0;
};

// A port on 127.0.0.1 where nothing listens: bound, never listening, kept
// bound so no one else takes it during the test.
class CDeadPort {
public:
    CDeadPort()
    {
        m_socket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_socket, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&a), &len);
        m_port = ntohs(a.sin_port);
    }
    ~CDeadPort() { ::close(m_socket); }
    int Port() const { return m_port; }

private:
    int m_socket = -1;
    int m_port = 0;
};

} // namespace

TEST_F(DeviceExchange, SetThenGetRoundTripsEveryCommandOfTheCatalogue)
{
    std::set<uint16_t> covered;
    auto ok = [&](uint16_t code, int result) {
        covered.insert(code);
        EXPECT_EQ(result, 0) << "command 0x" << std::hex << code;
    };
    const char* a = kLocal;
    const int p = m_port;

    DeviceSerialNumber sn{"SN-2024-77"}, sn2;
    ok(kCmdSetDeviceSerialNumber, SetDeviceSerialNumber(a, &sn, p));
    ok(kCmdGetDeviceSerialNumber, GetDeviceSerialNumber(a, &sn2, p));
    EXPECT_EQ(sn2, sn);

    DeviceNumber dn{"CAM-7"}, dn2;
    ok(kCmdSetDeviceNumber, SetDeviceNumber(a, &dn, p));
    ok(kCmdGetDeviceNumber, GetDeviceNumber(a, &dn2, p));
    EXPECT_EQ(dn2, dn);

    DeviceVersions versions;
    ok(kCmdGetVersions, GetVersions(a, &versions, p));
    EXPECT_EQ(versions, m_device.Settings().versions);

    WorkModeParameters mode{kWorkEncodeDecode}, mode2;
    ok(kCmdSetWorkMode, SetWorkMode(a, &mode, p));
    ok(kCmdGetWorkMode, GetWorkMode(a, &mode2, p));
    EXPECT_EQ(mode2, mode);

    NetworkParameters net{kBootDhcp, "10.0.0.5", "255.255.0.0",      "10.0.0.1",
                          "8.8.8.8", "8.8.4.4",  "AA:BB:CC:DD:EE:FF"};
    NetworkParameters net2;
    ok(kCmdSetNetworkParameters, SetNetworkParameters(a, &net, p));
    ok(kCmdGetNetworkParameters, GetNetworkParameters(a, &net2, p));
    EXPECT_EQ(net2, net);

    SerialPortParameters serial{2, kSerialRs422, 115200, 7, 2, 2, 1, 2, 12, 1, 1202};
    SerialPortParameters serial2;
    serial2.portNumber = 2;
    ok(kCmdSetSerialPortParameters, SetSerialPortParameters(a, &serial, p));
    ok(kCmdGetSerialPortParameters, GetSerialPortParameters(a, &serial2, p));
    EXPECT_EQ(serial2, serial);
    ok(kCmdRestoreSerialPortParameters, RestoreSerialPortParameters(a, 2, p));
    ASSERT_EQ(GetSerialPortParameters(a, &serial2, p), 0);
    EXPECT_EQ(serial2, tvdevice::DefaultSerialPort(2));

    DeviceTime time{2037, 12, 31, 4, 23, 59, 58}, time2;
    ok(kCmdSetSystemTime, SetSystemTime(a, &time, p));
    ok(kCmdGetSystemTime, GetSystemTime(a, &time2, p));
    EXPECT_EQ(time2, time);

    VideoParameters video{1, 2, 3, 4, 255}, video2;
    ok(kCmdSetVideoParameters, SetVideoParameters(a, &video, p));
    ok(kCmdGetVideoParameters, GetVideoParameters(a, &video2, p));
    EXPECT_EQ(video2, video);

    EncoderParameters enc{2, 5, 13, 30, 8000, 50, 2, 1, 30}, enc2;
    ok(kCmdSetEncoderParameters, SetEncoderParameters(a, &enc, p));
    ok(kCmdGetEncoderParameters, GetEncoderParameters(a, &enc2, p));
    EXPECT_EQ(enc2, enc);
    ok(kCmdRestoreEncoderDefaults, RestoreEncoderDefaults(a, p));
    ASSERT_EQ(GetEncoderParameters(a, &enc2, p), 0);
    EXPECT_EQ(enc2, tvdevice::DefaultDeviceSettings().encoder);

    OsdParameters osd{1, 1, 10, 20, 1, 30, 40, "Gate 3 东门"}, osd2;
    ok(kCmdSetEncoderOsd, SetEncoderOsd(a, &osd, p));
    ok(kCmdGetEncoderOsd, GetEncoderOsd(a, &osd2, p));
    EXPECT_EQ(osd2, osd);
    OsdParameters dosd{0, 1, 5, 6, 0, 7, 8, std::string(64, 'x')}, dosd2;
    ok(kCmdSetDecoderOsd, SetDecoderOsd(a, &dosd, p));
    ok(kCmdGetDecoderOsd, GetDecoderOsd(a, &dosd2, p));
    EXPECT_EQ(dosd2, dosd);

    AudioEncodingParameters audio{1, 1, 8, 3, 6}, audio2;
    ok(kCmdSetAudioEncodingParameters, SetAudioEncodingParameters(a, &audio, p));
    ok(kCmdGetAudioEncodingParameters, GetAudioEncodingParameters(a, &audio2, p));
    EXPECT_EQ(audio2, audio);

    DecoderParameters dec{1, 5, 9, 1, 1}, dec2;
    ok(kCmdSetDecoderParameters, SetDecoderParameters(a, &dec, p));
    ok(kCmdGetDecoderParameters, GetDecoderParameters(a, &dec2, p));
    EXPECT_EQ(dec2, dec);
    ok(kCmdRestoreDecoderParameters, RestoreDecoderParameters(a, p));
    ASSERT_EQ(GetDecoderParameters(a, &dec2, p), 0);
    EXPECT_EQ(dec2, tvdevice::DefaultDeviceSettings().decoder);

    AudioIntercomParameters talk{1, 5, "192.168.9.9", 7000}, talk2;
    ok(kCmdSetAudioIntercomParameters, SetAudioIntercomParameters(a, &talk, p));
    ok(kCmdGetAudioIntercomParameters, GetAudioIntercomParameters(a, &talk2, p));
    EXPECT_EQ(talk2, talk);

    AlarmInputParameters in{{2, 1, 0, 2}, {1, 0, 1, 0}, {7, 8, 9, 255}, {0, 1, 1, 0}, {1, 1, 0, 0}};
    AlarmInputParameters in2;
    ok(kCmdSetAlarmInputParameters, SetAlarmInputParameters(a, &in, p));
    ok(kCmdGetAlarmInputParameters, GetAlarmInputParameters(a, &in2, p));
    EXPECT_EQ(in2, in);

    AlarmOutputParameters out{{1, 2, 0, 1}, {0, 10, 3600, 65535}}, out2;
    ok(kCmdSetAlarmOutputParameters, SetAlarmOutputParameters(a, &out, p));
    ok(kCmdGetAlarmOutputParameters, GetAlarmOutputParameters(a, &out2, p));
    EXPECT_EQ(out2, out);

    VideoAlarmParameters va{{1, 0, 1, 0}, {0, 1, 0, 1}, {4, 3, 2, 1},
                            {1, 1, 0, 0}, {0, 0, 1, 1}, {1, 0, 0, 1}};
    VideoAlarmParameters va2;
    ok(kCmdSetVideoAlarmParameters, SetVideoAlarmParameters(a, &va, p));
    ok(kCmdGetVideoAlarmParameters, GetVideoAlarmParameters(a, &va2, p));
    EXPECT_EQ(va2, va);

    MotionDetectionParameters md{
        {1, 1, 0, 0}, {2, 2, 3, 3}, {0, 1, 0, 1}, {1, 0, 1, 0}, {0, 0, 0, 1}};
    MotionDetectionParameters md2;
    ok(kCmdSetMotionDetectionParameters, SetMotionDetectionParameters(a, &md, p));
    ok(kCmdGetMotionDetectionParameters, GetMotionDetectionParameters(a, &md2, p));
    EXPECT_EQ(md2, md);

    AlarmCentre centre{"172.16.0.3", 6000}, centre2;
    ok(kCmdSetAlarmCentre, SetAlarmCentre(a, &centre, p));
    ok(kCmdGetAlarmCentre, GetAlarmCentre(a, &centre2, p));
    EXPECT_EQ(centre2, centre);

    ok(kCmdRestoreAlarmParameters, RestoreAlarmParameters(a, p));
    ASSERT_EQ(GetAlarmInputParameters(a, &in2, p), 0);
    EXPECT_EQ(in2, AlarmInputParameters{});

    AlarmInputState ais{{1, 0, 0, 1}};
    VideoAlarmState vas{{0, 1, 0, 0}, {1, 0, 0, 0}};
    MotionAlarmState mas{{0, 0, 1, 0}};
    ok(kCmdSendAlarmInputState, SendAlarmInputState(a, &ais, p));
    ok(kCmdSendVideoAlarmState, SendVideoAlarmState(a, &vas, p));
    ok(kCmdSendMotionDetectionAlarm, SendMotionDetectionAlarm(a, &mas, p));
    EXPECT_EQ(m_device.Settings().alarmInputState, ais);
    EXPECT_EQ(m_device.Settings().videoAlarmState, vas);
    EXPECT_EQ(m_device.Settings().motionAlarmState, mas);

    // Two streams sent: the 0x0400 answer has length 48 and two entries.
    StreamSendingParameters s1{5, 1, 2, "10.0.0.20", 8001}, s2{4, 3, 3, "239.1.1.1", 8002};
    ok(kCmdStartStreamSending, StartStreamSending(a, &s1, p));
    ASSERT_EQ(StartStreamSending(a, &s2, p), 0);
    StreamSendingInformation list;
    ok(kCmdGetStreamSendingInformation, GetStreamSendingInformation(a, &list, p));
    ASSERT_EQ(list.count, 2);
    EXPECT_EQ(list.entries[0], s1);
    EXPECT_EQ(list.entries[1], s2);
    ok(kCmdStopStreamSending, StopStreamSending(a, &s1, p));
    ASSERT_EQ(GetStreamSendingInformation(a, &list, p), 0);
    ASSERT_EQ(list.count, 1);
    EXPECT_EQ(list.entries[0], s2);

    StreamReceivingParameters r1{5, 1, 1, "10.0.0.30", 9001}, r2{2, 2, 2, "10.0.0.31", 9002};
    ok(kCmdStartStreamReceiving, StartStreamReceiving(a, &r1, p));
    ASSERT_EQ(StartStreamReceiving(a, &r2, p), 0);
    StreamReceivingInformation rx;
    ok(kCmdGetStreamReceivingInformation, GetStreamReceivingInformation(a, &rx, p));
    EXPECT_EQ(rx.mainStream.codec, 5);
    EXPECT_EQ(rx.mainStream.address, "10.0.0.30");
    EXPECT_EQ(rx.mainStream.port, 9001);
    EXPECT_EQ(rx.subStream.transport, 2);
    EXPECT_EQ(rx.subStream.address, "10.0.0.31");
    ok(kCmdStopStreamReceiving, StopStreamReceiving(a, &r2, p));
    ASSERT_EQ(GetStreamReceivingInformation(a, &rx, p), 0);
    EXPECT_EQ(rx.subStream.address, "0.0.0.0");
    EXPECT_EQ(rx.mainStream.port, 9001);

    PtzParameters ptz{24, 17, 5};
    ok(kCmdPtzControl, PtzControl(a, &ptz, p));
    EXPECT_EQ(m_device.Settings().lastPtz, ptz);
    ok(kCmdRebootDevice, RebootDevice(a, p));
    EXPECT_EQ(m_device.Settings().rebootCount, 1);

    size_t count = 0;
    const CommandInfo* table = CommandTable(&count);
    for (size_t i = 0; i < count; ++i)
        EXPECT_TRUE(covered.count(table[i].code)) << table[i].operation << " not exercised";
}

TEST_F(DeviceExchange, RequestPayloadsAreExactOnTheWire)
{
    AlarmInputParameters in;
    in.contactAttribute[0] = kContactNc;
    ASSERT_EQ(SetAlarmInputParameters(kLocal, &in, m_port), 0);
    Bytes wire = m_device.LastRequest(kCmdSetAlarmInputParameters);
    ASSERT_EQ(wire.size(), 28u);
    EXPECT_EQ(Bytes(wire.begin() + 4, wire.begin() + 8), (Bytes{0x00, 0x00, 0x00, 0x02}));

    // Year 2000 goes out as 0; Sunday as weekday 7.
    DeviceTime t{2000, 6, 4, WeekdayFromDayOfWeek(0), 8, 9, 10};
    ASSERT_EQ(SetSystemTime(kLocal, &t, m_port), 0);
    EXPECT_EQ(m_device.LastRequest(kCmdSetSystemTime),
              (Bytes{0, 0, 0, 0, 0, 6, 4, 7, 8, 9, 10, 0}));

    OsdParameters osd;
    osd.text = std::string(60, 'a') + "0123456789";
    ASSERT_EQ(SetEncoderOsd(kLocal, &osd, m_port), 0);
    wire = m_device.LastRequest(kCmdSetEncoderOsd);
    ASSERT_EQ(wire.size(), 100u);
    EXPECT_EQ(std::string(wire.begin() + 32, wire.begin() + 96),
              std::string(60, 'a') + "012" + std::string(1, '\0'));
    OsdParameters back;
    ASSERT_EQ(GetEncoderOsd(kLocal, &back, m_port), 0);
    EXPECT_EQ(back.text, osd.text.substr(0, 63));

    SerialPortParameters serial;
    serial.portNumber = 3;
    ASSERT_EQ(GetSerialPortParameters(kLocal, &serial, m_port), 0);
    EXPECT_EQ(m_device.LastRequest(kCmdGetSerialPortParameters), (Bytes{0, 0, 0, 3}));
    ASSERT_EQ(RebootDevice(kLocal, m_port), 0);
    EXPECT_EQ(m_device.LastRequest(kCmdRebootDevice), (Bytes{0, 0, 0, 0}));
}

// One ranged field of a set command: `send` sends a record that is valid
// except for that field, which it sets to the value given.
struct RangeCase {
    const char* field;
    std::function<int(int port, int32_t value)> send;
    int32_t low, high; // the values accepted
};

template <typename Record, typename Setter>
RangeCase Ranged(const char* field, int (*call)(const char*, const Record*, int), Record base,
                 Setter set, int32_t low, int32_t high)
{
    return {field,
            [=](int port, int32_t value) {
                Record r = base;
                set(r, value);
                return call(kLocal, &r, port);
            },
            low, high};
}

TEST_F(DeviceExchange, EveryRangeOfTheCatalogueIsCheckedBeforeConnecting)
{
    const tvdevice::DeviceSettings d = tvdevice::DefaultDeviceSettings();
    const SerialPortParameters serial = tvdevice::DefaultSerialPort(1);
    const StreamSendingParameters sending{kCodecH264, 1, 1, "127.0.0.1", 8001};
    const StreamReceivingParameters receiving{kCodecH264, 1, 1, "127.0.0.1", 8001};
    const PtzParameters ptz{1, 0, 1};
    const AlarmInputParameters alarmIn;
    const AlarmOutputParameters alarmOut;
    const VideoAlarmParameters videoAlarm;
    const MotionDetectionParameters motion;
    using SP = SerialPortParameters;
    using EP = EncoderParameters;
    using AP = AudioEncodingParameters;
    using DP = DecoderParameters;
    const RangeCase cases[] = {
        Ranged(
            "workMode", &SetWorkMode, d.workMode,
            [](WorkModeParameters& r, int32_t v) { r.workMode = v; }, 0, 2),
        Ranged(
            "bootProtocol", &SetNetworkParameters, d.network,
            [](NetworkParameters& r, int32_t v) { r.bootProtocol = v; }, 0, 1),
        Ranged(
            "serialMode", &SetSerialPortParameters, serial,
            [](SP& r, int32_t v) { r.serialMode = v; }, 0, 2),
        Ranged(
            "dataBits", &SetSerialPortParameters, serial, [](SP& r, int32_t v) { r.dataBits = v; },
            5, 8),
        Ranged(
            "parity", &SetSerialPortParameters, serial, [](SP& r, int32_t v) { r.parity = v; }, 0,
            2),
        Ranged(
            "stopBits", &SetSerialPortParameters, serial, [](SP& r, int32_t v) { r.stopBits = v; },
            1, 2),
        Ranged(
            "flowControl", &SetSerialPortParameters, serial,
            [](SP& r, int32_t v) { r.flowControl = v; }, 0, 2),
        Ranged(
            "ptzProtocol", &SetSerialPortParameters, serial,
            [](SP& r, int32_t v) { r.ptzProtocol = v; }, 1, 2),
        Ranged(
            "transmissionMode", &SetSerialPortParameters, serial,
            [](SP& r, int32_t v) { r.transmissionMode = v; }, 0, 1),
        Ranged(
            "year", &SetSystemTime, d.time, [](DeviceTime& r, int32_t v) { r.year = v; }, 2000,
            2037),
        Ranged(
            "weekday", &SetSystemTime, d.time, [](DeviceTime& r, int32_t v) { r.weekday = v; }, 1,
            7),
        Ranged(
            "videoInput", &SetEncoderParameters, d.encoder,
            [](EP& r, int32_t v) { r.videoInput = v; }, 0, 2),
        Ranged(
            "encoder codec", &SetEncoderParameters, d.encoder,
            [](EP& r, int32_t v) { r.codec = v; }, 1, 6),
        Ranged(
            "encoder resolution", &SetEncoderParameters, d.encoder,
            [](EP& r, int32_t v) { r.resolution = v; }, 0, 13),
        Ranged(
            "rateControl", &SetEncoderParameters, d.encoder,
            [](EP& r, int32_t v) { r.rateControl = v; }, 0, 1),
        Ranged(
            "OSD colour", &SetEncoderOsd, d.encoderOsd,
            [](OsdParameters& r, int32_t v) { r.colour = v; }, 0, 1),
        Ranged(
            "OSD timeShown", &SetDecoderOsd, d.decoderOsd,
            [](OsdParameters& r, int32_t v) { r.timeShown = v; }, 0, 1),
        Ranged(
            "OSD textShown", &SetEncoderOsd, d.encoderOsd,
            [](OsdParameters& r, int32_t v) { r.textShown = v; }, 0, 1),
        Ranged(
            "audioOn", &SetAudioEncodingParameters, d.audioEncoding,
            [](AP& r, int32_t v) { r.audioOn = v; }, 0, 1),
        Ranged(
            "audioSource", &SetAudioEncodingParameters, d.audioEncoding,
            [](AP& r, int32_t v) { r.audioSource = v; }, 0, 1),
        Ranged(
            "audioCodec", &SetAudioEncodingParameters, d.audioEncoding,
            [](AP& r, int32_t v) { r.audioCodec = v; }, 0, 8),
        Ranged(
            "sampleWidth", &SetAudioEncodingParameters, d.audioEncoding,
            [](AP& r, int32_t v) { r.sampleWidth = v; }, 1, 4),
        Ranged(
            "sampleRate", &SetAudioEncodingParameters, d.audioEncoding,
            [](AP& r, int32_t v) { r.sampleRate = v; }, 1, 6),
        Ranged(
            "videoOutput", &SetDecoderParameters, d.decoder,
            [](DP& r, int32_t v) { r.videoOutput = v; }, 0, 2),
        Ranged(
            "decoder codec", &SetDecoderParameters, d.decoder,
            [](DP& r, int32_t v) { r.codec = v; }, 1, 6),
        Ranged(
            "decoder resolution", &SetDecoderParameters, d.decoder,
            [](DP& r, int32_t v) { r.resolution = v; }, 0, 13),
        Ranged(
            "audioOutput", &SetDecoderParameters, d.decoder,
            [](DP& r, int32_t v) { r.audioOutput = v; }, 0, 1),
        Ranged(
            "intercomOn", &SetAudioIntercomParameters, d.audioIntercom,
            [](AudioIntercomParameters& r, int32_t v) { r.intercomOn = v; }, 0, 1),
        Ranged(
            "intercom audioCodec", &SetAudioIntercomParameters, d.audioIntercom,
            [](AudioIntercomParameters& r, int32_t v) { r.audioCodec = v; }, 0, 8),
        Ranged(
            "contactAttribute3", &SetAlarmInputParameters, alarmIn,
            [](AlarmInputParameters& r, int32_t v) { r.contactAttribute[2] = v; }, 0, 2),
        Ranged(
            "linkedOutput1", &SetAlarmInputParameters, alarmIn,
            [](AlarmInputParameters& r, int32_t v) { r.linkedOutput[0] = v; }, 0, 1),
        Ranged(
            "ptzAddress4", &SetAlarmInputParameters, alarmIn,
            [](AlarmInputParameters& r, int32_t v) { r.ptzAddress[3] = v; }, 0, 255),
        Ranged(
            "screenPrompt2", &SetAlarmInputParameters, alarmIn,
            [](AlarmInputParameters& r, int32_t v) { r.screenPrompt[1] = v; }, 0, 1),
        Ranged(
            "networkUpload4", &SetAlarmInputParameters, alarmIn,
            [](AlarmInputParameters& r, int32_t v) { r.networkUpload[3] = v; }, 0, 1),
        Ranged(
            "output contactAttribute1", &SetAlarmOutputParameters, alarmOut,
            [](AlarmOutputParameters& r, int32_t v) { r.contactAttribute[0] = v; }, 0, 2),
        Ranged(
            "outputDuration2", &SetAlarmOutputParameters, alarmOut,
            [](AlarmOutputParameters& r, int32_t v) { r.outputDuration[1] = v; }, 0, 65535),
        Ranged(
            "videoLossEnable1", &SetVideoAlarmParameters, videoAlarm,
            [](VideoAlarmParameters& r, int32_t v) { r.videoLossEnable[0] = v; }, 0, 1),
        Ranged(
            "videoOcclusionEnable2", &SetVideoAlarmParameters, videoAlarm,
            [](VideoAlarmParameters& r, int32_t v) { r.videoOcclusionEnable[1] = v; }, 0, 1),
        Ranged(
            "video linkedOutput3", &SetVideoAlarmParameters, videoAlarm,
            [](VideoAlarmParameters& r, int32_t v) { r.linkedOutput[2] = v; }, 0, 255),
        Ranged(
            "speaker4", &SetVideoAlarmParameters, videoAlarm,
            [](VideoAlarmParameters& r, int32_t v) { r.speaker[3] = v; }, 0, 1),
        Ranged(
            "motionEnable1", &SetMotionDetectionParameters, motion,
            [](MotionDetectionParameters& r, int32_t v) { r.motionEnable[0] = v; }, 0, 1),
        Ranged(
            "motion networkUpload2", &SetMotionDetectionParameters, motion,
            [](MotionDetectionParameters& r, int32_t v) { r.networkUpload[1] = v; }, 0, 1),
        Ranged(
            "alarm state3", &SendAlarmInputState, AlarmInputState{},
            [](AlarmInputState& r, int32_t v) { r.alarm[2] = v; }, 0, 1),
        Ranged(
            "videoOcclusion state4", &SendVideoAlarmState, VideoAlarmState{},
            [](VideoAlarmState& r, int32_t v) { r.videoOcclusion[3] = v; }, 0, 1),
        Ranged(
            "motionAlarm1", &SendMotionDetectionAlarm, MotionAlarmState{},
            [](MotionAlarmState& r, int32_t v) { r.motionAlarm[0] = v; }, 0, 1),
        Ranged(
            "sending codec", &StartStreamSending, sending,
            [](StreamSendingParameters& r, int32_t v) { r.codec = v; }, 1, 6),
        Ranged(
            "streamType", &StopStreamSending, sending,
            [](StreamSendingParameters& r, int32_t v) { r.streamType = v; }, 1, 3),
        Ranged(
            "sending transport", &StartStreamSending, sending,
            [](StreamSendingParameters& r, int32_t v) { r.transport = v; }, 1, 3),
        Ranged(
            "receiving codec", &StartStreamReceiving, receiving,
            [](StreamReceivingParameters& r, int32_t v) { r.codec = v; }, 1, 6),
        Ranged(
            "streamNumber", &StopStreamReceiving, receiving,
            [](StreamReceivingParameters& r, int32_t v) { r.streamNumber = v; }, 1, 2),
        Ranged(
            "receiving transport", &StartStreamReceiving, receiving,
            [](StreamReceivingParameters& r, int32_t v) { r.transport = v; }, 1, 3),
        Ranged(
            "PTZ command", &PtzControl, ptz, [](PtzParameters& r, int32_t v) { r.command = v; }, 1,
            31),
        Ranged(
            "PTZ preset", &PtzControl, ptz, [](PtzParameters& r, int32_t v) { r.preset = v; }, 0,
            255),
        Ranged(
            "PTZ speed", &PtzControl, ptz, [](PtzParameters& r, int32_t v) { r.speed = v; }, 1, 5),
    };
    for (const RangeCase& c : cases) {
        SCOPED_TRACE(c.field);
        const uint64_t before = m_device.ConnectionCount();
        EXPECT_EQ(c.send(m_port, c.low - 1), kResultBadParameter);
        EXPECT_EQ(c.send(m_port, c.high + 1), kResultBadParameter);
        // The edges of the range go through: the device takes them.
        EXPECT_EQ(c.send(m_port, c.low), kResultOk);
        EXPECT_EQ(c.send(m_port, c.high), kResultOk);
        // Served in arrival order: a refused value would have been counted
        // before the two that went out.
        EXPECT_EQ(m_device.ConnectionCount(), before + 2);
    }
}

TEST_F(DeviceExchange, MissingArgumentsAreRefusedWithoutConnecting)
{
    const uint64_t before = m_device.ConnectionCount();
    WorkModeParameters mode{1};
    EXPECT_EQ(SetWorkMode(kLocal, nullptr, m_port), kResultBadParameter);
    EXPECT_EQ(GetWorkMode(nullptr, &mode, m_port), kResultBadParameter);
    EXPECT_EQ(GetWorkMode("", &mode, m_port), kResultBadParameter);
    EXPECT_EQ(GetWorkMode("192.168.2", &mode, m_port), kResultBadParameter);
    EXPECT_EQ(RebootDevice(kLocal, 70000), kResultBadParameter);
    NetworkParameters net;
    net.gateway = "10.0.0";
    EXPECT_EQ(SetNetworkParameters(kLocal, &net, m_port), kResultBadParameter);
    EXPECT_EQ(DataLog(kResultBadParameter, mode).text, "获取工作模式失败:参数错误\r\n");
    EXPECT_EQ(mode.workMode, 1);
    ASSERT_EQ(RebootDevice(kLocal, m_port), kResultOk);
    EXPECT_EQ(m_device.ConnectionCount(), before + 1);
}

// Texts go out in code page 936, cut on whole characters, and come back as
// UTF-8.
TEST_F(DeviceExchange, TextFieldsTravelInCodePage936)
{
    auto repeat = [](const std::string& unit, int n) {
        std::string t;
        for (int i = 0; i < n; ++i)
            t += unit;
        return t;
    };
    const Bytes tongDao{0xCD, 0xA8, 0xB5, 0xC0}; // 通道
    auto gbk = [&](int pairs) {
        Bytes b;
        for (int i = 0; i < pairs; ++i)
            b.insert(b.end(), tongDao.begin(), tongDao.end());
        return b;
    };
    auto plus = [](Bytes a, const Bytes& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    enum Field { Number, Osd };
    struct Case {
        const char* name;
        Field field;
        std::string text;
        Bytes wire;       // the field's bytes before its first NUL
        std::string back; // what a get reads back
    };
    const Case cases[] = {
        {"plain", Number, "摄像机1", Bytes{0xC9, 0xE3, 0xCF, 0xF1, 0xBB, 0xFA, '1'}, "摄像机1"},
        // 32 bytes would leave no NUL: 31 allowed, the 16th character is dropped whole.
        {"number cut", Number, repeat("通道", 8), plus(gbk(7), {0xCD, 0xA8}),
         repeat("通道", 7) + "通"},
        // "ab" and 14 characters make 30 bytes; the 15th would end at byte 32.
        {"number cut after ascii", Number, "ab" + repeat("通道", 8), plus({'a', 'b'}, gbk(7)),
         "ab" + repeat("通道", 7)},
        // 64 bytes exactly fill the OSD field.
        {"osd whole", Osd, repeat("通道", 16), gbk(16), repeat("通道", 16)},
        // 65 bytes: cut to at most 63 of whole characters.
        {"osd cut", Osd, "a" + repeat("通道", 16), plus(plus({'a'}, gbk(15)), {0xCD, 0xA8}),
         "a" + repeat("通道", 15) + "通"},
        // A character the code page lacks goes out as '?'.
        {"outside GBK", Osd, "x\xF0\x9F\x98\x80y", Bytes{'x', '?', 'y'}, "x?y"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes wire;
        std::string back;
        if (c.field == Number) {
            DeviceNumber dn{c.text}, got;
            ASSERT_EQ(SetDeviceNumber(kLocal, &dn, m_port), kResultOk);
            wire = m_device.LastRequest(kCmdSetDeviceNumber);
            wire = Bytes(wire.begin() + 4, wire.begin() + 36);
            ASSERT_EQ(GetDeviceNumber(kLocal, &got, m_port), kResultOk);
            back = got.deviceNumber;
        } else {
            OsdParameters osd, got;
            osd.text = c.text;
            ASSERT_EQ(SetEncoderOsd(kLocal, &osd, m_port), kResultOk);
            wire = m_device.LastRequest(kCmdSetEncoderOsd);
            wire = Bytes(wire.begin() + 32, wire.begin() + 96);
            ASSERT_EQ(GetEncoderOsd(kLocal, &got, m_port), kResultOk);
            back = got.text;
        }
        const auto nul = std::find(wire.begin(), wire.end(), 0);
        EXPECT_EQ(Bytes(wire.begin(), nul), c.wire);
        EXPECT_TRUE(std::all_of(nul, wire.end(), [](uint8_t b) { return b == 0; }));
        EXPECT_EQ(back, c.back);
    }
}

// A serial port the device never stored keeps reporting its factory
// settings after a set it refused.
TEST(DeviceModel, RefusedSerialSetLeavesThePortAsItWas)
{
    tvdevice::CDeviceModel model;
    SerialPortParameters bad = tvdevice::DefaultSerialPort(3);
    bad.dataBits = 9;
    Bytes payload(kMaxPayload);
    payload.resize(Encode(bad, payload.data()));
    const tvdevice::DeviceResponse answer =
        model.Handle(kCmdSetSerialPortParameters, payload.data(), payload.size());
    EXPECT_FALSE(answer.changed);
    EXPECT_EQ(answer.payload, (Bytes{0, 0, 0, 5}));
    EXPECT_TRUE(model.Settings() == tvdevice::CDeviceModel().Settings());
}

TEST_F(DeviceExchange, DeviceStatusesAndUnknownCommands)
{
    // A data response of length 4: the device's status instead of data.
    Fault(DeviceFault::StatusError, kCmdGetVersions);
    DeviceVersions v;
    const int r = GetVersions(kLocal, &v, m_port);
    EXPECT_EQ(r, kStatusUnsupportedCommand);
    EXPECT_EQ(DataLog(r, v).text, "获取版本号失败:命令不支持\r\n");
    EXPECT_EQ(GetVersions(kLocal, &v, m_port), 0); // the fault was for one exchange

    // Unknown commands: status 3.
    EXPECT_EQ(RawStatusExchange(0x0999, {}), kStatusUnsupportedCommand);
    // A known command with a payload of the wrong length: status 2.
    EXPECT_EQ(RawStatusExchange(kCmdSetWorkMode, Bytes(4, 0)), kStatusHeaderError);
    // Values the device itself refuses: status 5.
    EXPECT_EQ(RawStatusExchange(kCmdSetWorkMode, {0, 0, 0, 0, 0, 0, 0, 9}), kStatusOutOfRange);

    // The device's status 0 on a get is not data.
    FaultPlan plan;
    plan.fault = DeviceFault::StatusError;
    plan.command = kCmdGetWorkMode;
    plan.status = 0;
    plan.count = 1;
    m_device.SetFault(plan);
    WorkModeParameters mode{1};
    EXPECT_EQ(GetWorkMode(kLocal, &mode, m_port), kResultReceive);
    EXPECT_EQ(mode.workMode, 1);

    // A status error on a set leaves the setting alone.
    Fault(DeviceFault::StatusError, kCmdSetWorkMode);
    mode.workMode = 2;
    EXPECT_EQ(SetWorkMode(kLocal, &mode, m_port), 3);
    EXPECT_EQ(m_device.Settings().workMode.workMode, kWorkEncode);
}

TEST_F(DeviceExchange, NoiseBrokenFramesAndWrongEchoesAreSkipped)
{
    DeviceNumber dn;
    Fault(DeviceFault::NoiseBeforeResponse, kCmdGetDeviceNumber);
    EXPECT_EQ(GetDeviceNumber(kLocal, &dn, m_port), 0);
    EXPECT_EQ(dn.deviceNumber, m_device.Settings().deviceNumber.deviceNumber);

    Fault(DeviceFault::WrongChecksum, kCmdGetDeviceNumber);
    dn = {};
    EXPECT_EQ(GetDeviceNumber(kLocal, &dn, m_port), 0);
    EXPECT_EQ(dn.deviceNumber, m_device.Settings().deviceNumber.deviceNumber);

    Fault(DeviceFault::WrongCommandEcho, kCmdSetDeviceNumber);
    DeviceNumber next{"N-2"};
    EXPECT_EQ(SetDeviceNumber(kLocal, &next, m_port), 0);
    EXPECT_EQ(m_device.Settings().deviceNumber, next);
}

TEST_F(DeviceExchange, PeersThatCloseEarlyOrFloodNoise)
{
    Fault(DeviceFault::CloseEarly, -1);
    WorkModeParameters mode;
    EXPECT_EQ(GetWorkMode(kLocal, &mode, m_port), kResultReceive);
    EXPECT_EQ(DataLog(kResultReceive, mode).text, "获取工作模式失败:接收数据失败\r\n");

    // A device that never stops sending noise is ended by the response limit.
    ProtocolTimeouts t;
    t.responseMs = 300;
    SetProtocolTimeouts(t);
    FaultPlan plan;
    plan.fault = DeviceFault::RawResponse;
    plan.raw.assign(1u << 20, 0xFF); // 1 MiB of start bytes, no header
    plan.count = 1;
    m_device.SetFault(plan);
    EXPECT_EQ(RebootDevice(kLocal, m_port), kResultReceiveTimeout);

    // A wrong checksum and nothing after it: the peer closes, -10.
    plan = FaultPlan{};
    plan.fault = DeviceFault::WrongChecksum;
    plan.answerAfter = false;
    plan.count = 1;
    m_device.SetFault(plan);
    EXPECT_EQ(RebootDevice(kLocal, m_port), kResultReceive);
}

TEST_F(DeviceExchange, SilentDeviceEndsWithReceiveTimeout)
{
    // The protocol's own 2-second receive time-out.
    Fault(DeviceFault::Silence, kCmdGetNetworkParameters);
    NetworkParameters net;
    const int r = GetNetworkParameters(kLocal, &net, m_port);
    EXPECT_EQ(r, kResultReceiveTimeout);
    EXPECT_EQ(DataLog(r, net).text, "获取网络参数失败:接收数据超时\r\n");
    // The device serves the next exchange normally.
    EXPECT_EQ(GetNetworkParameters(kLocal, &net, m_port), 0);
}

TEST_F(DeviceExchange, NothingListeningGivesConnectTimeout)
{
    CDeadPort dead;
    NetworkParameters net;
    const int r = GetNetworkParameters(kLocal, &net, dead.Port());
    EXPECT_EQ(r, kResultConnectTimeout);
    EXPECT_EQ(DataLog(r, net).text, "获取网络参数失败:连接超时\r\n");
    EXPECT_EQ(Connect(kLocal, dead.Port()), kResultConnectTimeout);
}

TEST_F(DeviceExchange, StreamListWithoutEntriesGivesMinusTwenty)
{
    StreamSendingInformation list;
    list.count = 4;
    EXPECT_EQ(GetStreamSendingInformation(kLocal, &list, m_port), kResultNoStreams);
    EXPECT_EQ(list.count, 4); // untouched on failure
}

TEST(TransportSockets, ReceiveExactKeepsTheSocketForItsSingleClose)
{
    CDeviceControlServer device;
    ASSERT_EQ(device.Start(0, kLocal), 0);
    FaultPlan plan;
    plan.fault = DeviceFault::Silence;
    device.SetFault(plan);

    ProtocolTimeouts t;
    t.receiveMs = 50;
    SetProtocolTimeouts(t);
    const int s = Connect(kLocal, device.Port());
    ASSERT_GE(s, 0);
    uint8_t frame[kHeaderSize];
    BuildHeader(frame, kCmdGetWorkMode, nullptr, 0);
    ASSERT_EQ(SendFrame(s, frame, sizeof frame), 0);
    uint8_t buffer[4];
    EXPECT_EQ(ReceiveExact(s, buffer, sizeof buffer), kResultReceiveTimeout);
    // Still open: the exchange, not the read, closes it.
    EXPECT_NE(::fcntl(s, F_GETFD), -1);
    CloseSocket(s);
    SetProtocolTimeouts(ProtocolTimeouts{});
    device.Stop();
    device.Stop();
    EXPECT_FALSE(device.Running());
    EXPECT_EQ(device.Port(), 0);
}

TEST(TransportSockets, ChangeHandlerSeesAppliedSetsOnly)
{
    CDeviceControlServer device;
    std::atomic<int> changes{0};
    std::atomic<int> lastCommand{-1};
    device.SetChangeHandler([&](uint16_t command) {
        ++changes;
        lastCommand = command;
    });
    ASSERT_EQ(device.Start(0, kLocal), 0);
    EXPECT_EQ(device.Start(0, kLocal), EALREADY);
    StreamSendingParameters s{5, 1, 2, "10.0.0.1", 8001};
    ASSERT_EQ(StartStreamSending(kLocal, &s, device.Port()), 0);
    WorkModeParameters mode;
    ASSERT_EQ(GetWorkMode(kLocal, &mode, device.Port()), 0);
    device.Stop(); // joins the server thread: the handler has run by now
    EXPECT_EQ(changes.load(), 1);
    EXPECT_EQ(lastCommand.load(), kCmdStartStreamSending);
}
