#include "tvprotocol/PayloadCodec.h"

#include <arpa/inet.h>
#include <cstring>

#include "tvprotocol/Transport.h"
#include "win32/text.h"

namespace tvprotocol {

namespace {

// ---- wire helpers ----

void PutW(uint8_t* out, size_t at, int32_t value)
{
    const uint32_t v = static_cast<uint32_t>(value);
    out[at] = static_cast<uint8_t>(v >> 24);
    out[at + 1] = static_cast<uint8_t>(v >> 16);
    out[at + 2] = static_cast<uint8_t>(v >> 8);
    out[at + 3] = static_cast<uint8_t>(v);
}

int32_t GetW(const uint8_t* in, size_t at)
{
    const uint32_t v = (uint32_t(in[at]) << 24) | (uint32_t(in[at + 1]) << 16) |
                       (uint32_t(in[at + 2]) << 8) | uint32_t(in[at + 3]);
    return static_cast<int32_t>(v);
}

void Put16(uint8_t* out, size_t at, int32_t value)
{
    out[at] = static_cast<uint8_t>(value >> 8);
    out[at + 1] = static_cast<uint8_t>(value);
}

int32_t Get16(const uint8_t* in, size_t at)
{
    return (in[at] << 8) | in[at + 1];
}

// Channel word: channel 1 in the least significant byte of the BE word.
void PutCW(uint8_t* out, size_t at, const int32_t (&channels)[kChannelCount])
{
    for (int ch = 0; ch < kChannelCount; ++ch)
        out[at + 3 - ch] = static_cast<uint8_t>(channels[ch]);
}

void GetCW(const uint8_t* in, size_t at, int32_t (&channels)[kChannelCount])
{
    for (int ch = 0; ch < kChannelCount; ++ch)
        channels[ch] = in[at + 3 - ch];
}

bool AddressValid(const std::string& text)
{
    in_addr a{};
    return ::inet_pton(AF_INET, text.c_str(), &a) == 1;
}

// Invalid text has been refused by Check; it would go out as 0.0.0.0.
void PutAddr(uint8_t* out, size_t at, const std::string& text)
{
    in_addr a{};
    if (::inet_pton(AF_INET, text.c_str(), &a) != 1)
        a.s_addr = 0;
    std::memcpy(out + at, &a.s_addr, 4);
}

std::string GetAddr(const uint8_t* in, size_t at)
{
    in_addr a{};
    std::memcpy(&a.s_addr, in + at, 4);
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

// Device texts are code page 936 (GBK) on the wire and UTF-8 here.
constexpr UINT kDeviceCodePage = 936;

// The text in the device's code page, at most maxBytes of it, cut on a whole
// character.
std::string WireText(const std::string& text, size_t maxBytes)
{
    std::string wire;
    TvUtf8ToCodePage(text, kDeviceCodePage, maxBytes, wire);
    return wire;
}

// Writes wire text into a NUL-padded field of `size` bytes.
void PutWire(uint8_t* out, size_t at, size_t size, const std::string& wire)
{
    std::memset(out + at, 0, size);
    std::memcpy(out + at, wire.data(), wire.size() < size ? wire.size() : size);
}

// Copies the text, converted and cut to at most `maxBytes`, into a NUL-padded
// field of `size`.
void PutText(uint8_t* out, size_t at, size_t size, const std::string& text, size_t maxBytes)
{
    PutWire(out, at, size, WireText(text, maxBytes));
}

// The device's text may fill its field without a NUL: stop at the field's end.
std::string GetText(const uint8_t* in, size_t at, size_t size)
{
    const void* nul = std::memchr(in + at, 0, size);
    const size_t n = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - (in + at)) : size;
    return TvCodePageToUtf8(reinterpret_cast<const char*>(in + at), n, kDeviceCodePage);
}

bool InRange(int32_t v, int32_t low, int32_t high)
{
    return v >= low && v <= high;
}

// Every channel of a channel word within [low, high].
bool AllInRange(const int32_t (&channels)[kChannelCount], int32_t low, int32_t high)
{
    for (int32_t v : channels)
        if (!InRange(v, low, high))
            return false;
    return true;
}

bool IsByte(int32_t v)
{
    return InRange(v, 0, 255);
}

bool AllBytes(const int32_t (&channels)[kChannelCount])
{
    return AllInRange(channels, 0, 255);
}

// The value encodings of the catalogue, as ranges.
bool IsSwitch(int32_t v) // on/off, shown/hidden, linked, needed, open, alarm
{
    return InRange(v, 0, 1);
}
bool AllSwitches(const int32_t (&channels)[kChannelCount])
{
    return AllInRange(channels, 0, 1);
}
bool IsVideoPort(int32_t v)
{
    return InRange(v, kVideoHdmi, kVideoYpbpr);
}
bool IsVideoCodec(int32_t v)
{
    return InRange(v, kCodecMpeg1, kCodecJpeg2k);
}
bool IsResolution(int32_t v)
{
    return InRange(v, 0, kResolutionCount - 1);
}
bool IsAudioCodec(int32_t v)
{
    return InRange(v, 0, kAudioCodecCount - 1);
}
bool IsTransport(int32_t v) // 1 TCP, 2 UDP, 3 multicast
{
    return InRange(v, 1, 3);
}

int Verdict(bool ok)
{
    return ok ? kResultOk : kResultBadParameter;
}

// The 32-byte texts of 0x0000..0x0003: at most 31 characters and a NUL.
constexpr size_t kShortText = 32;
// The OSD text field.
constexpr size_t kOsdText = 64;

} // namespace

int32_t WeekdayFromDayOfWeek(int32_t dayOfWeek)
{
    if (dayOfWeek == 0)
        return 7;
    return dayOfWeek;
}

size_t EncodeWord(int32_t value, uint8_t* out)
{
    PutW(out, 0, value);
    return 4;
}

bool DecodeWord(const uint8_t* in, size_t length, int32_t& value)
{
    if (length < 4)
        return false;
    value = GetW(in, 0);
    return true;
}

// ---- 0x0000 / 0x0001, 0x0002 / 0x0003 ----

size_t Encode(const DeviceSerialNumber& r, uint8_t* out)
{
    std::memset(out, 0, 36);
    PutText(out, 4, kShortText, r.serialNumber, kShortText - 1);
    return 36;
}
bool Decode(const uint8_t* in, size_t length, DeviceSerialNumber& r)
{
    if (length < 36)
        return false;
    r.serialNumber = GetText(in, 4, kShortText);
    return true;
}
int Check(const DeviceSerialNumber&)
{
    return kResultOk;
}

size_t Encode(const DeviceNumber& r, uint8_t* out)
{
    std::memset(out, 0, 36);
    PutText(out, 4, kShortText, r.deviceNumber, kShortText - 1);
    return 36;
}
bool Decode(const uint8_t* in, size_t length, DeviceNumber& r)
{
    if (length < 36)
        return false;
    r.deviceNumber = GetText(in, 4, kShortText);
    return true;
}
int Check(const DeviceNumber&)
{
    return kResultOk;
}

// ---- 0x0004 ----

size_t Encode(const DeviceVersions& r, uint8_t* out)
{
    std::memset(out, 0, 68);
    PutText(out, 4, 16, r.hardwareVersion, 16);
    PutText(out, 20, 16, r.softwareVersion, 16);
    PutText(out, 36, 16, r.fpgaVersion, 16);
    return 68;
}
bool Decode(const uint8_t* in, size_t length, DeviceVersions& r)
{
    if (length < 68)
        return false;
    r.hardwareVersion = GetText(in, 4, 16);
    r.softwareVersion = GetText(in, 20, 16);
    r.fpgaVersion = GetText(in, 36, 16);
    return true;
}
int Check(const DeviceVersions&)
{
    return kResultOk;
}

// ---- 0x0006 / 0x0007 ----

size_t Encode(const WorkModeParameters& r, uint8_t* out)
{
    std::memset(out, 0, 8);
    PutW(out, 4, r.workMode);
    return 8;
}
bool Decode(const uint8_t* in, size_t length, WorkModeParameters& r)
{
    if (length < 8)
        return false;
    r.workMode = GetW(in, 4);
    return true;
}
int Check(const WorkModeParameters& r)
{
    return Verdict(r.workMode >= 0 && r.workMode <= 2);
}

// ---- 0x0100 / 0x0101 ----

size_t Encode(const NetworkParameters& r, uint8_t* out)
{
    std::memset(out, 0, 64);
    PutW(out, 4, r.bootProtocol);
    PutAddr(out, 8, r.ipAddress);
    PutAddr(out, 12, r.netmask);
    PutAddr(out, 16, r.gateway);
    PutAddr(out, 20, r.primaryDns);
    PutAddr(out, 24, r.secondaryDns);
    PutText(out, 28, kShortText, r.macAddress, kShortText - 1);
    return 64;
}
bool Decode(const uint8_t* in, size_t length, NetworkParameters& r)
{
    if (length < 64)
        return false;
    r.bootProtocol = GetW(in, 4);
    r.ipAddress = GetAddr(in, 8);
    r.netmask = GetAddr(in, 12);
    r.gateway = GetAddr(in, 16);
    r.primaryDns = GetAddr(in, 20);
    r.secondaryDns = GetAddr(in, 24);
    r.macAddress = GetText(in, 28, kShortText);
    return true;
}
int Check(const NetworkParameters& r)
{
    return Verdict((r.bootProtocol == kBootStatic || r.bootProtocol == kBootDhcp) &&
                   AddressValid(r.ipAddress) && AddressValid(r.netmask) &&
                   AddressValid(r.gateway) && AddressValid(r.primaryDns) &&
                   AddressValid(r.secondaryDns));
}

// ---- 0x0102 / 0x0103 ----

size_t Encode(const SerialPortParameters& r, uint8_t* out)
{
    std::memset(out, 0, 48);
    const int32_t words[] = {r.portNumber, r.serialMode,       r.baudRate,        r.dataBits,
                             r.parity,     r.stopBits,         r.flowControl,     r.ptzProtocol,
                             r.ptzAddress, r.transmissionMode, r.transmissionPort};
    for (size_t i = 0; i < sizeof words / sizeof words[0]; ++i)
        PutW(out, 4 + 4 * i, words[i]);
    return 48;
}
bool Decode(const uint8_t* in, size_t length, SerialPortParameters& r)
{
    if (length < 48)
        return false;
    int32_t* fields[] = {&r.portNumber, &r.serialMode,       &r.baudRate,        &r.dataBits,
                         &r.parity,     &r.stopBits,         &r.flowControl,     &r.ptzProtocol,
                         &r.ptzAddress, &r.transmissionMode, &r.transmissionPort};
    for (size_t i = 0; i < sizeof fields / sizeof fields[0]; ++i)
        *fields[i] = GetW(in, 4 + 4 * i);
    return true;
}
int Check(const SerialPortParameters& r)
{
    return Verdict(InRange(r.serialMode, kSerialRs232, kSerialRs422) && InRange(r.dataBits, 5, 8) &&
                   InRange(r.parity, 0, 2) && InRange(r.stopBits, 1, 2) &&
                   InRange(r.flowControl, 0, 2) && InRange(r.ptzProtocol, 1, 2) &&
                   IsSwitch(r.transmissionMode));
}

// ---- 0x0106 / 0x0107 ----

size_t Encode(const DeviceTime& r, uint8_t* out)
{
    std::memset(out, 0, 12);
    out[4] = static_cast<uint8_t>(r.year - 2000);
    out[5] = static_cast<uint8_t>(r.month);
    out[6] = static_cast<uint8_t>(r.day);
    out[7] = static_cast<uint8_t>(r.weekday);
    out[8] = static_cast<uint8_t>(r.hour);
    out[9] = static_cast<uint8_t>(r.minute);
    out[10] = static_cast<uint8_t>(r.second);
    return 12;
}
bool Decode(const uint8_t* in, size_t length, DeviceTime& r)
{
    if (length < 12)
        return false;
    r.year = 2000 + in[4];
    r.month = in[5];
    r.day = in[6];
    r.weekday = in[7];
    r.hour = in[8];
    r.minute = in[9];
    r.second = in[10];
    return true;
}
int Check(const DeviceTime& r)
{
    return Verdict(InRange(r.year, 2000, 2037) && IsByte(r.month) && IsByte(r.day) &&
                   InRange(r.weekday, 1, 7) && IsByte(r.hour) && IsByte(r.minute) &&
                   IsByte(r.second));
}

// ---- 0x0200 / 0x0201 ----

size_t Encode(const VideoParameters& r, uint8_t* out)
{
    std::memset(out, 0, 12);
    out[5] = static_cast<uint8_t>(r.brightness);
    out[6] = static_cast<uint8_t>(r.contrast);
    out[7] = static_cast<uint8_t>(r.hue);
    out[8] = static_cast<uint8_t>(r.saturation);
    out[9] = static_cast<uint8_t>(r.sharpness);
    return 12;
}
bool Decode(const uint8_t* in, size_t length, VideoParameters& r)
{
    if (length < 12)
        return false;
    r.brightness = in[5];
    r.contrast = in[6];
    r.hue = in[7];
    r.saturation = in[8];
    r.sharpness = in[9];
    return true;
}
int Check(const VideoParameters& r)
{
    return Verdict(IsByte(r.brightness) && IsByte(r.contrast) && IsByte(r.hue) &&
                   IsByte(r.saturation) && IsByte(r.sharpness));
}

// ---- 0x0202 / 0x0203 ----

size_t Encode(const EncoderParameters& r, uint8_t* out)
{
    std::memset(out, 0, 44);
    const int32_t words[] = {r.videoInput, r.codec, r.resolution,  r.frameRate, r.bitRate,
                             r.gop,        r.gopM,  r.rateControl, r.qp};
    for (size_t i = 0; i < sizeof words / sizeof words[0]; ++i)
        PutW(out, 4 + 4 * i, words[i]);
    return 44;
}
bool Decode(const uint8_t* in, size_t length, EncoderParameters& r)
{
    if (length < 44)
        return false;
    int32_t* fields[] = {&r.videoInput, &r.codec, &r.resolution,  &r.frameRate, &r.bitRate,
                         &r.gop,        &r.gopM,  &r.rateControl, &r.qp};
    for (size_t i = 0; i < sizeof fields / sizeof fields[0]; ++i)
        *fields[i] = GetW(in, 4 + 4 * i);
    return true;
}
int Check(const EncoderParameters& r)
{
    return Verdict(IsVideoPort(r.videoInput) && IsVideoCodec(r.codec) &&
                   IsResolution(r.resolution) && IsSwitch(r.rateControl));
}

// ---- 0x0206 / 0x0207, 0x020E / 0x020F ----

size_t Encode(const OsdParameters& r, uint8_t* out)
{
    std::memset(out, 0, 100);
    const int32_t words[] = {r.colour,    r.timeShown, r.timeX, r.timeY,
                             r.textShown, r.textX,     r.textY};
    for (size_t i = 0; i < sizeof words / sizeof words[0]; ++i)
        PutW(out, 4 + 4 * i, words[i]);
    // Up to 64 bytes fill the field (no NUL needed); a longer text is cut to
    // at most 63 bytes of whole characters, so that it stays terminated.
    const std::string whole = WireText(r.text, SIZE_MAX);
    PutWire(out, 32, kOsdText, whole.size() <= kOsdText ? whole : WireText(r.text, kOsdText - 1));
    return 100;
}
bool Decode(const uint8_t* in, size_t length, OsdParameters& r)
{
    if (length < 100)
        return false;
    int32_t* fields[] = {&r.colour,    &r.timeShown, &r.timeX, &r.timeY,
                         &r.textShown, &r.textX,     &r.textY};
    for (size_t i = 0; i < sizeof fields / sizeof fields[0]; ++i)
        *fields[i] = GetW(in, 4 + 4 * i);
    r.text = GetText(in, 32, kOsdText);
    return true;
}
int Check(const OsdParameters& r)
{
    return Verdict(IsSwitch(r.colour) && IsSwitch(r.timeShown) && IsSwitch(r.textShown));
}

// ---- 0x0208 / 0x0209 ----

size_t Encode(const AudioEncodingParameters& r, uint8_t* out)
{
    std::memset(out, 0, 28);
    PutW(out, 4, r.audioOn);
    PutW(out, 8, r.audioSource);
    PutW(out, 12, r.audioCodec);
    PutW(out, 16, r.sampleWidth);
    PutW(out, 20, r.sampleRate);
    return 28;
}
bool Decode(const uint8_t* in, size_t length, AudioEncodingParameters& r)
{
    if (length < 28)
        return false;
    r.audioOn = GetW(in, 4);
    r.audioSource = GetW(in, 8);
    r.audioCodec = GetW(in, 12);
    r.sampleWidth = GetW(in, 16);
    r.sampleRate = GetW(in, 20);
    return true;
}
int Check(const AudioEncodingParameters& r)
{
    return Verdict(IsSwitch(r.audioOn) && IsSwitch(r.audioSource) && IsAudioCodec(r.audioCodec) &&
                   InRange(r.sampleWidth, 1, 4) && InRange(r.sampleRate, 1, 6));
}

// ---- 0x020A / 0x020B ----

size_t Encode(const DecoderParameters& r, uint8_t* out)
{
    std::memset(out, 0, 28);
    PutW(out, 4, r.videoOutput);
    PutW(out, 8, r.codec);
    PutW(out, 12, r.resolution);
    PutW(out, 16, r.audioOn);
    PutW(out, 20, r.audioOutput);
    return 28;
}
bool Decode(const uint8_t* in, size_t length, DecoderParameters& r)
{
    if (length < 28)
        return false;
    r.videoOutput = GetW(in, 4);
    r.codec = GetW(in, 8);
    r.resolution = GetW(in, 12);
    r.audioOn = GetW(in, 16);
    r.audioOutput = GetW(in, 20);
    return true;
}
int Check(const DecoderParameters& r)
{
    return Verdict(IsVideoPort(r.videoOutput) && IsVideoCodec(r.codec) &&
                   IsResolution(r.resolution) && IsSwitch(r.audioOn) && IsSwitch(r.audioOutput));
}

// ---- 0x0210 / 0x0211 ----

size_t Encode(const AudioIntercomParameters& r, uint8_t* out)
{
    std::memset(out, 0, 24);
    PutW(out, 4, r.intercomOn);
    PutW(out, 8, r.audioCodec);
    PutAddr(out, 12, r.calledAddress);
    PutW(out, 16, r.port);
    return 24;
}
bool Decode(const uint8_t* in, size_t length, AudioIntercomParameters& r)
{
    if (length < 24)
        return false;
    r.intercomOn = GetW(in, 4);
    r.audioCodec = GetW(in, 8);
    r.calledAddress = GetAddr(in, 12);
    r.port = GetW(in, 16);
    return true;
}
int Check(const AudioIntercomParameters& r)
{
    return Verdict(IsSwitch(r.intercomOn) && IsAudioCodec(r.audioCodec) &&
                   AddressValid(r.calledAddress));
}

// ---- 0x0300 / 0x0301 ----

size_t Encode(const AlarmInputParameters& r, uint8_t* out)
{
    std::memset(out, 0, 28);
    PutCW(out, 4, r.contactAttribute);
    PutCW(out, 8, r.linkedOutput);
    PutCW(out, 12, r.ptzAddress);
    PutCW(out, 16, r.screenPrompt);
    PutCW(out, 20, r.networkUpload);
    return 28;
}
bool Decode(const uint8_t* in, size_t length, AlarmInputParameters& r)
{
    if (length < 28)
        return false;
    GetCW(in, 4, r.contactAttribute);
    GetCW(in, 8, r.linkedOutput);
    GetCW(in, 12, r.ptzAddress);
    GetCW(in, 16, r.screenPrompt);
    GetCW(in, 20, r.networkUpload);
    return true;
}
int Check(const AlarmInputParameters& r)
{
    return Verdict(AllInRange(r.contactAttribute, kContactOff, kContactNc) &&
                   AllSwitches(r.linkedOutput) && AllBytes(r.ptzAddress) &&
                   AllSwitches(r.screenPrompt) && AllSwitches(r.networkUpload));
}

// ---- 0x0302 / 0x0303 ----

size_t Encode(const AlarmOutputParameters& r, uint8_t* out)
{
    std::memset(out, 0, 20);
    PutCW(out, 4, r.contactAttribute);
    for (int ch = 0; ch < kChannelCount; ++ch)
        Put16(out, 8 + 2 * ch, r.outputDuration[ch]);
    return 20;
}
bool Decode(const uint8_t* in, size_t length, AlarmOutputParameters& r)
{
    if (length < 20)
        return false;
    GetCW(in, 4, r.contactAttribute);
    for (int ch = 0; ch < kChannelCount; ++ch)
        r.outputDuration[ch] = Get16(in, 8 + 2 * ch);
    return true;
}
int Check(const AlarmOutputParameters& r)
{
    bool ok = AllInRange(r.contactAttribute, kContactOff, kContactNc);
    for (int32_t d : r.outputDuration)
        ok = ok && d >= 0 && d <= 0xFFFF;
    return Verdict(ok);
}

// ---- 0x0304 / 0x0305 ----

size_t Encode(const VideoAlarmParameters& r, uint8_t* out)
{
    std::memset(out, 0, 32);
    PutCW(out, 4, r.videoLossEnable);
    PutCW(out, 8, r.videoOcclusionEnable);
    PutCW(out, 12, r.linkedOutput);
    PutCW(out, 16, r.screenPrompt);
    PutCW(out, 20, r.speaker);
    PutCW(out, 24, r.networkUpload);
    return 32;
}
bool Decode(const uint8_t* in, size_t length, VideoAlarmParameters& r)
{
    if (length < 32)
        return false;
    GetCW(in, 4, r.videoLossEnable);
    GetCW(in, 8, r.videoOcclusionEnable);
    GetCW(in, 12, r.linkedOutput);
    GetCW(in, 16, r.screenPrompt);
    GetCW(in, 20, r.speaker);
    GetCW(in, 24, r.networkUpload);
    return true;
}
int Check(const VideoAlarmParameters& r)
{
    return Verdict(AllSwitches(r.videoLossEnable) && AllSwitches(r.videoOcclusionEnable) &&
                   AllBytes(r.linkedOutput) && AllSwitches(r.screenPrompt) &&
                   AllSwitches(r.speaker) && AllSwitches(r.networkUpload));
}

// ---- 0x0306 / 0x0307 ----

size_t Encode(const MotionDetectionParameters& r, uint8_t* out)
{
    std::memset(out, 0, 28);
    PutCW(out, 4, r.motionEnable);
    PutCW(out, 8, r.linkedOutput);
    PutCW(out, 12, r.screenPrompt);
    PutCW(out, 16, r.speaker);
    PutCW(out, 20, r.networkUpload);
    return 28;
}
bool Decode(const uint8_t* in, size_t length, MotionDetectionParameters& r)
{
    if (length < 28)
        return false;
    GetCW(in, 4, r.motionEnable);
    GetCW(in, 8, r.linkedOutput);
    GetCW(in, 12, r.screenPrompt);
    GetCW(in, 16, r.speaker);
    GetCW(in, 20, r.networkUpload);
    return true;
}
int Check(const MotionDetectionParameters& r)
{
    return Verdict(AllSwitches(r.motionEnable) && AllBytes(r.linkedOutput) &&
                   AllSwitches(r.screenPrompt) && AllSwitches(r.speaker) &&
                   AllSwitches(r.networkUpload));
}

// ---- 0x0310, 0x0312, 0x0314 ----

size_t Encode(const AlarmInputState& r, uint8_t* out)
{
    std::memset(out, 0, 12);
    PutCW(out, 4, r.alarm);
    return 12;
}
bool Decode(const uint8_t* in, size_t length, AlarmInputState& r)
{
    if (length < 12)
        return false;
    GetCW(in, 4, r.alarm);
    return true;
}
int Check(const AlarmInputState& r)
{
    return Verdict(AllSwitches(r.alarm));
}

size_t Encode(const VideoAlarmState& r, uint8_t* out)
{
    std::memset(out, 0, 16);
    PutCW(out, 4, r.videoLoss);
    PutCW(out, 8, r.videoOcclusion);
    return 16;
}
bool Decode(const uint8_t* in, size_t length, VideoAlarmState& r)
{
    if (length < 16)
        return false;
    GetCW(in, 4, r.videoLoss);
    GetCW(in, 8, r.videoOcclusion);
    return true;
}
int Check(const VideoAlarmState& r)
{
    return Verdict(AllSwitches(r.videoLoss) && AllSwitches(r.videoOcclusion));
}

size_t Encode(const MotionAlarmState& r, uint8_t* out)
{
    std::memset(out, 0, 12);
    PutCW(out, 4, r.motionAlarm);
    return 12;
}
bool Decode(const uint8_t* in, size_t length, MotionAlarmState& r)
{
    if (length < 12)
        return false;
    GetCW(in, 4, r.motionAlarm);
    return true;
}
int Check(const MotionAlarmState& r)
{
    return Verdict(AllSwitches(r.motionAlarm));
}

// ---- 0x0318 / 0x0319 ----

size_t Encode(const AlarmCentre& r, uint8_t* out)
{
    std::memset(out, 0, 12);
    PutAddr(out, 4, r.address);
    PutW(out, 8, r.port);
    return 12;
}
bool Decode(const uint8_t* in, size_t length, AlarmCentre& r)
{
    if (length < 12)
        return false;
    r.address = GetAddr(in, 4);
    r.port = GetW(in, 8);
    return true;
}
int Check(const AlarmCentre& r)
{
    return Verdict(AddressValid(r.address));
}

// ---- 0x0401 / 0x0403 (no prefix) and the 0x0400 entries ----

size_t Encode(const StreamSendingParameters& r, uint8_t* out)
{
    std::memset(out, 0, 20);
    PutW(out, 0, r.codec);
    PutW(out, 4, r.streamType);
    PutW(out, 8, r.transport);
    PutAddr(out, 12, r.peerAddress);
    PutW(out, 16, r.peerPort);
    return 20;
}
bool Decode(const uint8_t* in, size_t length, StreamSendingParameters& r)
{
    if (length < 20)
        return false;
    r.codec = GetW(in, 0);
    r.streamType = GetW(in, 4);
    r.transport = GetW(in, 8);
    r.peerAddress = GetAddr(in, 12);
    r.peerPort = GetW(in, 16);
    return true;
}
int Check(const StreamSendingParameters& r)
{
    return Verdict(IsVideoCodec(r.codec) && InRange(r.streamType, 1, 3) &&
                   IsTransport(r.transport) && AddressValid(r.peerAddress));
}

// Each entry: 4 bytes not interpreted, then the 20 bytes of the layout above.
size_t Encode(const StreamSendingInformation& r, uint8_t* out)
{
    const int count = r.count < 0 ? 0 : (r.count > kMaxStreamEntries ? kMaxStreamEntries : r.count);
    for (int i = 0; i < count; ++i) {
        std::memset(out + 24 * i, 0, 4);
        Encode(r.entries[i], out + 24 * i + 4);
    }
    return 24 * static_cast<size_t>(count);
}
bool Decode(const uint8_t* in, size_t length, StreamSendingInformation& r)
{
    if (length % 24 != 0 || length > kMaxPayload)
        return false;
    r.count = static_cast<int32_t>(length / 24);
    for (int i = 0; i < r.count; ++i)
        Decode(in + 24 * i + 4, 20, r.entries[i]);
    return true;
}
int Check(const StreamSendingInformation& r)
{
    bool ok = r.count >= 0 && r.count <= kMaxStreamEntries;
    for (int i = 0; ok && i < r.count; ++i)
        ok = Check(r.entries[i]) == kResultOk;
    return Verdict(ok);
}

// ---- 0x0405 / 0x0407 (no prefix) ----

size_t Encode(const StreamReceivingParameters& r, uint8_t* out)
{
    std::memset(out, 0, 20);
    PutW(out, 0, r.codec);
    PutW(out, 4, r.streamNumber);
    PutW(out, 8, r.transport);
    PutAddr(out, 12, r.peerAddress);
    PutW(out, 16, r.peerPort);
    return 20;
}
bool Decode(const uint8_t* in, size_t length, StreamReceivingParameters& r)
{
    if (length < 20)
        return false;
    r.codec = GetW(in, 0);
    r.streamNumber = GetW(in, 4);
    r.transport = GetW(in, 8);
    r.peerAddress = GetAddr(in, 12);
    r.peerPort = GetW(in, 16);
    return true;
}
int Check(const StreamReceivingParameters& r)
{
    return Verdict(IsVideoCodec(r.codec) && InRange(r.streamNumber, 1, 2) &&
                   IsTransport(r.transport) && AddressValid(r.peerAddress));
}

// ---- 0x0404 ----

namespace {
void PutStream(uint8_t* out, size_t at, const StreamReceivingEntry& e)
{
    PutW(out, at, e.codec);
    PutW(out, at + 4, e.streamType);
    PutW(out, at + 8, e.transport);
    PutAddr(out, at + 12, e.address);
    PutW(out, at + 16, e.port);
}
void GetStream(const uint8_t* in, size_t at, StreamReceivingEntry& e)
{
    e.codec = GetW(in, at);
    e.streamType = GetW(in, at + 4);
    e.transport = GetW(in, at + 8);
    e.address = GetAddr(in, at + 12);
    e.port = GetW(in, at + 16);
}
} // namespace

size_t Encode(const StreamReceivingInformation& r, uint8_t* out)
{
    std::memset(out, 0, 44);
    PutStream(out, 4, r.mainStream);
    PutStream(out, 24, r.subStream);
    return 44;
}
bool Decode(const uint8_t* in, size_t length, StreamReceivingInformation& r)
{
    if (length < 44)
        return false;
    GetStream(in, 4, r.mainStream);
    GetStream(in, 24, r.subStream);
    return true;
}
int Check(const StreamReceivingInformation& r)
{
    return Verdict(AddressValid(r.mainStream.address) && AddressValid(r.subStream.address));
}

// ---- 0x0501 ----

size_t Encode(const PtzParameters& r, uint8_t* out)
{
    std::memset(out, 0, 8);
    out[4] = static_cast<uint8_t>(r.command);
    out[5] = static_cast<uint8_t>(r.preset);
    out[6] = static_cast<uint8_t>(r.speed);
    return 8;
}
bool Decode(const uint8_t* in, size_t length, PtzParameters& r)
{
    if (length < 8)
        return false;
    r.command = in[4];
    r.preset = in[5];
    r.speed = in[6];
    return true;
}
int Check(const PtzParameters& r)
{
    return Verdict(InRange(r.command, 1, 31) && IsByte(r.preset) && InRange(r.speed, 1, 5));
}

} // namespace tvprotocol
