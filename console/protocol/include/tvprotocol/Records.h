// Records of the device commands: the fields of each payload in host order,
// IPv4 addresses as dotted text, the year as a full year. Get operations fill
// them, set operations read them. A default-constructed record is "all zero"
// (addresses "0.0.0.0", texts empty).
//
// Per-channel arrays are indexed by channel - 1 (element 0 is channel 1).
#pragma once

#include <cstdint>
#include <string>

namespace tvprotocol {

constexpr int kChannelCount = 4;
constexpr int kMaxStreamEntries = 10;

// Value encodings shared by several commands.
enum VideoPort : int32_t { kVideoHdmi = 0, kVideoVga = 1, kVideoYpbpr = 2 };
// Video codec as reported (1 MPEG1 ... 6 JPEG2K); settings always send H264.
enum VideoCodec : int32_t {
    kCodecMpeg1 = 1,
    kCodecMpeg2 = 2,
    kCodecMpeg3 = 3,
    kCodecMpeg4 = 4,
    kCodecH264 = 5,
    kCodecJpeg2k = 6,
};
enum WorkMode : int32_t { kWorkEncode = 0, kWorkDecode = 1, kWorkEncodeDecode = 2 };
enum BootProtocol : int32_t { kBootStatic = 0, kBootDhcp = 1 };
enum SerialMode : int32_t { kSerialRs232 = 0, kSerialRs485 = 1, kSerialRs422 = 2 };
enum ContactAttribute : int32_t { kContactOff = 0, kContactNo = 1, kContactNc = 2 };
constexpr int kResolutionCount = 14;
constexpr int kAudioCodecCount = 9;

// 0x0000 / 0x0001: at most 31 characters go out (a longer text is cut).
struct DeviceSerialNumber {
    bool operator==(const DeviceSerialNumber&) const = default;
    std::string serialNumber;
};

// 0x0002 / 0x0003.
struct DeviceNumber {
    bool operator==(const DeviceNumber&) const = default;
    std::string deviceNumber;
};

// 0x0004.
struct DeviceVersions {
    bool operator==(const DeviceVersions&) const = default;
    std::string hardwareVersion;
    std::string softwareVersion;
    std::string fpgaVersion;
};

// 0x0006 / 0x0007: 0 encode, 1 decode, 2 both; a set outside 0..2 gives -2.
struct WorkModeParameters {
    bool operator==(const WorkModeParameters&) const = default;
    int32_t workMode = 0;
};

// 0x000F, 0x0105, 0x0205, 0x020D, 0x0309 carry no record (0x0105: a port).

// 0x0100 / 0x0101. Boot protocol 0 static, 1 dhcp (others give -2 on set).
// The MAC text is at most 31 characters.
struct NetworkParameters {
    bool operator==(const NetworkParameters&) const = default;
    int32_t bootProtocol = 0;
    std::string ipAddress = "0.0.0.0";
    std::string netmask = "0.0.0.0";
    std::string gateway = "0.0.0.0";
    std::string primaryDns = "0.0.0.0";
    std::string secondaryDns = "0.0.0.0";
    std::string macAddress;
};

// 0x0102 (the request carries portNumber) / 0x0103.
struct SerialPortParameters {
    bool operator==(const SerialPortParameters&) const = default;
    int32_t portNumber = 0;
    int32_t serialMode = 0; // 0..2, checked on set
    int32_t baudRate = 0;
    int32_t dataBits = 0;
    int32_t parity = 0;
    int32_t stopBits = 0;
    int32_t flowControl = 0;
    int32_t ptzProtocol = 0;
    int32_t ptzAddress = 0;
    int32_t transmissionMode = 0;
    int32_t transmissionPort = 0;
};

// 0x0106 / 0x0107. Year 2000..2037 on set; weekday 1 = Monday .. 7 = Sunday
// (WeekdayFromDayOfWeek converts a SYSTEMTIME-style day). Every other field is
// one byte on the wire: 0..255.
struct DeviceTime {
    bool operator==(const DeviceTime&) const = default;
    int32_t year = 0;
    int32_t month = 0;
    int32_t day = 0;
    int32_t weekday = 0;
    int32_t hour = 0;
    int32_t minute = 0;
    int32_t second = 0;
};

// Sunday = 0 .. Saturday = 6 (as SYSTEMTIME's wDayOfWeek) to the device's
// 1 = Monday .. 7 = Sunday. Other values are returned unchanged.
int32_t WeekdayFromDayOfWeek(int32_t dayOfWeek);

// 0x0200 / 0x0201: one byte each (0..255).
struct VideoParameters {
    bool operator==(const VideoParameters&) const = default;
    int32_t brightness = 0;
    int32_t contrast = 0;
    int32_t hue = 0;
    int32_t saturation = 0;
    int32_t sharpness = 0;
};

// 0x0202 / 0x0203.
struct EncoderParameters {
    bool operator==(const EncoderParameters&) const = default;
    int32_t videoInput = 0;
    int32_t codec = 0;
    int32_t resolution = 0;
    int32_t frameRate = 0;
    int32_t bitRate = 0;
    int32_t gop = 0;
    int32_t gopM = 0;
    int32_t rateControl = 0; // 0 CBR, 1 VBR
    int32_t qp = 0;
};

// 0x0206 / 0x0207 and 0x020E / 0x020F. A text of up to 64 bytes goes out
// whole (NUL-terminated when shorter); a longer one as its first 63 bytes.
struct OsdParameters {
    bool operator==(const OsdParameters&) const = default;
    int32_t colour = 0; // 0 white, 1 black
    int32_t timeShown = 0;
    int32_t timeX = 0;
    int32_t timeY = 0;
    int32_t textShown = 0;
    int32_t textX = 0;
    int32_t textY = 0;
    std::string text;
};

// 0x0208 / 0x0209.
struct AudioEncodingParameters {
    bool operator==(const AudioEncodingParameters&) const = default;
    int32_t audioOn = 0;
    int32_t audioSource = 0; // 0 line, 1 HDMI
    int32_t audioCodec = 0;
    int32_t sampleWidth = 0; // 1..4 = 8..32 bit
    int32_t sampleRate = 0;  // 1..6
};

// 0x020A / 0x020B.
struct DecoderParameters {
    bool operator==(const DecoderParameters&) const = default;
    int32_t videoOutput = 0;
    int32_t codec = 0;
    int32_t resolution = 0;
    int32_t audioOn = 0;
    int32_t audioOutput = 0;
};

// 0x0210 / 0x0211.
struct AudioIntercomParameters {
    bool operator==(const AudioIntercomParameters&) const = default;
    int32_t intercomOn = 0;
    int32_t audioCodec = 0;
    std::string calledAddress = "0.0.0.0";
    int32_t port = 0;
};

// 0x0300 / 0x0301: channel words, one byte per channel (0..255).
struct AlarmInputParameters {
    bool operator==(const AlarmInputParameters&) const = default;
    int32_t contactAttribute[kChannelCount] = {};
    int32_t linkedOutput[kChannelCount] = {};
    int32_t ptzAddress[kChannelCount] = {};
    int32_t screenPrompt[kChannelCount] = {};
    int32_t networkUpload[kChannelCount] = {};
};

// 0x0302 / 0x0303: durations are 16-bit (0..65535 seconds).
struct AlarmOutputParameters {
    bool operator==(const AlarmOutputParameters&) const = default;
    int32_t contactAttribute[kChannelCount] = {};
    int32_t outputDuration[kChannelCount] = {};
};

// 0x0304 / 0x0305.
struct VideoAlarmParameters {
    bool operator==(const VideoAlarmParameters&) const = default;
    int32_t videoLossEnable[kChannelCount] = {};
    int32_t videoOcclusionEnable[kChannelCount] = {};
    int32_t linkedOutput[kChannelCount] = {};
    int32_t screenPrompt[kChannelCount] = {};
    int32_t speaker[kChannelCount] = {};
    int32_t networkUpload[kChannelCount] = {};
};

// 0x0306 / 0x0307.
struct MotionDetectionParameters {
    bool operator==(const MotionDetectionParameters&) const = default;
    int32_t motionEnable[kChannelCount] = {};
    int32_t linkedOutput[kChannelCount] = {};
    int32_t screenPrompt[kChannelCount] = {};
    int32_t speaker[kChannelCount] = {};
    int32_t networkUpload[kChannelCount] = {};
};

// 0x0310.
struct AlarmInputState {
    bool operator==(const AlarmInputState&) const = default;
    int32_t alarm[kChannelCount] = {};
};

// 0x0312.
struct VideoAlarmState {
    bool operator==(const VideoAlarmState&) const = default;
    int32_t videoLoss[kChannelCount] = {};
    int32_t videoOcclusion[kChannelCount] = {};
};

// 0x0314.
struct MotionAlarmState {
    bool operator==(const MotionAlarmState&) const = default;
    int32_t motionAlarm[kChannelCount] = {};
};

// 0x0318 / 0x0319.
struct AlarmCentre {
    bool operator==(const AlarmCentre&) const = default;
    std::string address = "0.0.0.0";
    int32_t port = 0;
};

// 0x0401 / 0x0403, and one entry of 0x0400.
// Codec is the stream page's combo index + 1 (1 MPEG1, 2 MPEG2, 3 MPEG4,
// 4 MJPEG, 5 H264, 6 JPEG2K); the device stores whatever number it gets.
struct StreamSendingParameters {
    bool operator==(const StreamSendingParameters&) const = default;
    int32_t codec = 0;
    int32_t streamType = 0; // 1 own protocol, 2 standard, 3 TS
    int32_t transport = 0;  // 1 TCP, 2 UDP, 3 multicast
    std::string peerAddress = "0.0.0.0";
    int32_t peerPort = 0;
};

// 0x0400.
struct StreamSendingInformation {
    bool operator==(const StreamSendingInformation&) const = default;
    int32_t count = 0;
    StreamSendingParameters entries[kMaxStreamEntries];
};

// 0x0405 / 0x0407.
struct StreamReceivingParameters {
    bool operator==(const StreamReceivingParameters&) const = default;
    int32_t codec = 0;
    int32_t streamNumber = 0; // 1 main, 2 sub
    int32_t transport = 0;
    std::string peerAddress = "0.0.0.0";
    int32_t peerPort = 0;
};

// One stream of 0x0404.
struct StreamReceivingEntry {
    bool operator==(const StreamReceivingEntry&) const = default;
    int32_t codec = 0;
    int32_t streamType = 0;
    int32_t transport = 0;
    std::string address = "0.0.0.0";
    int32_t port = 0;
};

// 0x0404.
struct StreamReceivingInformation {
    bool operator==(const StreamReceivingInformation&) const = default;
    StreamReceivingEntry mainStream;
    StreamReceivingEntry subStream;
};

// 0x0501: one byte each (0..255); the commands are 1..31 (see PtzCommandName).
struct PtzParameters {
    bool operator==(const PtzParameters&) const = default;
    int32_t command = 0;
    int32_t preset = 0;
    int32_t speed = 0;
};

} // namespace tvprotocol
