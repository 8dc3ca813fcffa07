#include "tvprotocol/DeviceCommands.h"

#include "tvprotocol/CommandCatalogue.h"
#include "tvprotocol/PayloadCodec.h"
#include "win32/trace.h"

#include <string>

namespace tvprotocol {

namespace {

// Closes the exchange's socket exactly once, whatever path the exchange takes.
class CExchangeSocket {
public:
    explicit CExchangeSocket(int socket) : m_socket(socket) {}
    ~CExchangeSocket() { CloseSocket(m_socket); }
    CExchangeSocket(const CExchangeSocket&) = delete;
    CExchangeSocket& operator=(const CExchangeSocket&) = delete;
    int Get() const { return m_socket; }

private:
    int m_socket;
};

bool AddressGiven(const char* address)
{
    return address != nullptr && address[0] != '\0';
}

// Payload bytes as hex pairs, for a trace line.
std::string Hex(const uint8_t* bytes, size_t length)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(length * 2);
    for (size_t i = 0; i < length; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 15];
    }
    return text;
}

// Every command is traced on the "protocol" channel: its operation and code,
// the device address and port, the request payload or (get commands, on
// success) the response payload, and the result code. label names the payload.
int Traced(uint16_t command, const char* address, int port, const char* label,
           const uint8_t* payload, size_t length, int result)
{
    if (TvTraceEnabled("protocol")) {
        const CommandInfo* info = FindCommand(command);
        const std::string bytes =
            length ? " " + std::string(label) + " " + Hex(payload, length) : std::string();
        TvTrace("protocol", "%s(0x%04X) %s:%d%s -> %d", info ? info->operation : "?",
                static_cast<unsigned>(command), TvTraceText(address), port, bytes.c_str(), result);
    }
    return result;
}

// One exchange: connect, send the request, read the response with `read`,
// close once. `read` receives the connected socket.
template <typename Reader>
int Exchange(const char* address, int port, uint16_t command, const uint8_t* payload, size_t length,
             Reader read)
{
    const int s = Connect(address, port);
    if (s < 0)
        return s;
    CExchangeSocket socket(s);
    uint8_t frame[kHeaderSize + kMaxPayload];
    const size_t size = BuildHeader(frame, command, payload, length);
    if (SendFrame(socket.Get(), frame, size) != kResultOk)
        return kResultSend;
    return read(socket.Get());
}

int StatusCommand(const char* address, int port, uint16_t command, const uint8_t* payload,
                  size_t length)
{
    const int r = !AddressGiven(address)
                      ? kResultBadParameter
                      : Exchange(address, port, command, payload, length,
                                 [command](int s) { return ReadStatusResponse(s, command); });
    return Traced(command, address, port, "request", payload, length, r);
}

template <typename Record>
int GetCommand(const char* address, int port, uint16_t command, Record* record,
               const uint8_t* request = nullptr, size_t requestLength = 0)
{
    if (!AddressGiven(address) || record == nullptr)
        return Traced(command, address, port, "request", request, requestLength,
                      kResultBadParameter);
    const CommandInfo* info = FindCommand(command);
    uint8_t payload[kMaxPayload];
    const size_t expected = info->responseLength;
    const int r = Exchange(address, port, command, request, requestLength,
                           [&](int s) { return ReadDataResponse(s, payload, command, expected); });
    if (r == kResultOk)
        Decode(payload, expected, *record);
    return Traced(command, address, port, "response", payload, r == kResultOk ? expected : 0, r);
}

template <typename Record>
int SetCommand(const char* address, int port, uint16_t command, const Record* record)
{
    if (!AddressGiven(address) || record == nullptr || Check(*record) != kResultOk)
        return Traced(command, address, port, "", nullptr, 0, kResultBadParameter);
    uint8_t payload[kMaxPayload];
    const size_t length = Encode(*record, payload);
    return StatusCommand(address, port, command, payload, length);
}

int ZeroWordCommand(const char* address, int port, uint16_t command)
{
    uint8_t payload[4];
    EncodeWord(0, payload);
    return StatusCommand(address, port, command, payload, sizeof payload);
}

} // namespace

int GetDeviceSerialNumber(const char* address, DeviceSerialNumber* record, int port)
{
    return GetCommand(address, port, kCmdGetDeviceSerialNumber, record);
}

int SetDeviceSerialNumber(const char* address, const DeviceSerialNumber* record, int port)
{
    return SetCommand(address, port, kCmdSetDeviceSerialNumber, record);
}

int GetDeviceNumber(const char* address, DeviceNumber* record, int port)
{
    return GetCommand(address, port, kCmdGetDeviceNumber, record);
}

int SetDeviceNumber(const char* address, const DeviceNumber* record, int port)
{
    return SetCommand(address, port, kCmdSetDeviceNumber, record);
}

int GetVersions(const char* address, DeviceVersions* record, int port)
{
    return GetCommand(address, port, kCmdGetVersions, record);
}

int GetWorkMode(const char* address, WorkModeParameters* record, int port)
{
    return GetCommand(address, port, kCmdGetWorkMode, record);
}

int SetWorkMode(const char* address, const WorkModeParameters* record, int port)
{
    return SetCommand(address, port, kCmdSetWorkMode, record);
}

int RebootDevice(const char* address, int port)
{
    return ZeroWordCommand(address, port, kCmdRebootDevice);
}

int GetNetworkParameters(const char* address, NetworkParameters* record, int port)
{
    return GetCommand(address, port, kCmdGetNetworkParameters, record);
}

int SetNetworkParameters(const char* address, const NetworkParameters* record, int port)
{
    return SetCommand(address, port, kCmdSetNetworkParameters, record);
}

int GetSerialPortParameters(const char* address, SerialPortParameters* record, int port)
{
    if (record == nullptr)
        return Traced(kCmdGetSerialPortParameters, address, port, "", nullptr, 0,
                      kResultBadParameter);
    uint8_t request[4];
    EncodeWord(record->portNumber, request);
    return GetCommand(address, port, kCmdGetSerialPortParameters, record, request, sizeof request);
}

int SetSerialPortParameters(const char* address, const SerialPortParameters* record, int port)
{
    return SetCommand(address, port, kCmdSetSerialPortParameters, record);
}

int RestoreSerialPortParameters(const char* address, int32_t portNumber, int port)
{
    uint8_t payload[4];
    EncodeWord(portNumber, payload);
    return StatusCommand(address, port, kCmdRestoreSerialPortParameters, payload, sizeof payload);
}

int GetSystemTime(const char* address, DeviceTime* record, int port)
{
    return GetCommand(address, port, kCmdGetSystemTime, record);
}

int SetSystemTime(const char* address, const DeviceTime* record, int port)
{
    return SetCommand(address, port, kCmdSetSystemTime, record);
}

int GetVideoParameters(const char* address, VideoParameters* record, int port)
{
    return GetCommand(address, port, kCmdGetVideoParameters, record);
}

int SetVideoParameters(const char* address, const VideoParameters* record, int port)
{
    return SetCommand(address, port, kCmdSetVideoParameters, record);
}

int GetEncoderParameters(const char* address, EncoderParameters* record, int port)
{
    return GetCommand(address, port, kCmdGetEncoderParameters, record);
}

int SetEncoderParameters(const char* address, const EncoderParameters* record, int port)
{
    return SetCommand(address, port, kCmdSetEncoderParameters, record);
}

int RestoreEncoderDefaults(const char* address, int port)
{
    return ZeroWordCommand(address, port, kCmdRestoreEncoderDefaults);
}

int GetEncoderOsd(const char* address, OsdParameters* record, int port)
{
    return GetCommand(address, port, kCmdGetEncoderOsd, record);
}

int SetEncoderOsd(const char* address, const OsdParameters* record, int port)
{
    return SetCommand(address, port, kCmdSetEncoderOsd, record);
}

int GetAudioEncodingParameters(const char* address, AudioEncodingParameters* record, int port)
{
    return GetCommand(address, port, kCmdGetAudioEncodingParameters, record);
}

int SetAudioEncodingParameters(const char* address, const AudioEncodingParameters* record, int port)
{
    return SetCommand(address, port, kCmdSetAudioEncodingParameters, record);
}

int GetDecoderParameters(const char* address, DecoderParameters* record, int port)
{
    return GetCommand(address, port, kCmdGetDecoderParameters, record);
}

int SetDecoderParameters(const char* address, const DecoderParameters* record, int port)
{
    return SetCommand(address, port, kCmdSetDecoderParameters, record);
}

int RestoreDecoderParameters(const char* address, int port)
{
    return ZeroWordCommand(address, port, kCmdRestoreDecoderParameters);
}

int GetDecoderOsd(const char* address, OsdParameters* record, int port)
{
    return GetCommand(address, port, kCmdGetDecoderOsd, record);
}

int SetDecoderOsd(const char* address, const OsdParameters* record, int port)
{
    return SetCommand(address, port, kCmdSetDecoderOsd, record);
}

int GetAudioIntercomParameters(const char* address, AudioIntercomParameters* record, int port)
{
    return GetCommand(address, port, kCmdGetAudioIntercomParameters, record);
}

int SetAudioIntercomParameters(const char* address, const AudioIntercomParameters* record, int port)
{
    return SetCommand(address, port, kCmdSetAudioIntercomParameters, record);
}

int GetAlarmInputParameters(const char* address, AlarmInputParameters* record, int port)
{
    return GetCommand(address, port, kCmdGetAlarmInputParameters, record);
}

int SetAlarmInputParameters(const char* address, const AlarmInputParameters* record, int port)
{
    return SetCommand(address, port, kCmdSetAlarmInputParameters, record);
}

int GetAlarmOutputParameters(const char* address, AlarmOutputParameters* record, int port)
{
    return GetCommand(address, port, kCmdGetAlarmOutputParameters, record);
}

int SetAlarmOutputParameters(const char* address, const AlarmOutputParameters* record, int port)
{
    return SetCommand(address, port, kCmdSetAlarmOutputParameters, record);
}

int GetVideoAlarmParameters(const char* address, VideoAlarmParameters* record, int port)
{
    return GetCommand(address, port, kCmdGetVideoAlarmParameters, record);
}

int SetVideoAlarmParameters(const char* address, const VideoAlarmParameters* record, int port)
{
    return SetCommand(address, port, kCmdSetVideoAlarmParameters, record);
}

int GetMotionDetectionParameters(const char* address, MotionDetectionParameters* record, int port)
{
    return GetCommand(address, port, kCmdGetMotionDetectionParameters, record);
}

int SetMotionDetectionParameters(const char* address, const MotionDetectionParameters* record,
                                 int port)
{
    return SetCommand(address, port, kCmdSetMotionDetectionParameters, record);
}

int RestoreAlarmParameters(const char* address, int port)
{
    return ZeroWordCommand(address, port, kCmdRestoreAlarmParameters);
}

int SendAlarmInputState(const char* address, const AlarmInputState* record, int port)
{
    return SetCommand(address, port, kCmdSendAlarmInputState, record);
}

int SendVideoAlarmState(const char* address, const VideoAlarmState* record, int port)
{
    return SetCommand(address, port, kCmdSendVideoAlarmState, record);
}

int SendMotionDetectionAlarm(const char* address, const MotionAlarmState* record, int port)
{
    return SetCommand(address, port, kCmdSendMotionDetectionAlarm, record);
}

int GetAlarmCentre(const char* address, AlarmCentre* record, int port)
{
    return GetCommand(address, port, kCmdGetAlarmCentre, record);
}

int SetAlarmCentre(const char* address, const AlarmCentre* record, int port)
{
    return SetCommand(address, port, kCmdSetAlarmCentre, record);
}

int GetStreamSendingInformation(const char* address, StreamSendingInformation* record, int port)
{
    if (!AddressGiven(address) || record == nullptr)
        return Traced(kCmdGetStreamSendingInformation, address, port, "", nullptr, 0,
                      kResultBadParameter);
    uint8_t payload[kMaxPayload];
    size_t length = 0;
    const int r = Exchange(address, port, kCmdGetStreamSendingInformation, nullptr, 0,
                           [&](int s) { return ReadStreamListResponse(s, payload, &length); });
    if (r == kResultOk)
        Decode(payload, length, *record);
    return Traced(kCmdGetStreamSendingInformation, address, port, "response", payload,
                  r == kResultOk ? length : 0, r);
}

int StartStreamSending(const char* address, const StreamSendingParameters* record, int port)
{
    return SetCommand(address, port, kCmdStartStreamSending, record);
}

int StopStreamSending(const char* address, const StreamSendingParameters* record, int port)
{
    return SetCommand(address, port, kCmdStopStreamSending, record);
}

int GetStreamReceivingInformation(const char* address, StreamReceivingInformation* record, int port)
{
    return GetCommand(address, port, kCmdGetStreamReceivingInformation, record);
}

int StartStreamReceiving(const char* address, const StreamReceivingParameters* record, int port)
{
    return SetCommand(address, port, kCmdStartStreamReceiving, record);
}

int StopStreamReceiving(const char* address, const StreamReceivingParameters* record, int port)
{
    return SetCommand(address, port, kCmdStopStreamReceiving, record);
}

int PtzControl(const char* address, const PtzParameters* record, int port)
{
    return SetCommand(address, port, kCmdPtzControl, record);
}

} // namespace tvprotocol
