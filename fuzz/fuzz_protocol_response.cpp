// libFuzzer target: the device command response parser and the payload
// decoding and reports behind it, fed untrusted bytes as a device would send.
//
// The first input byte picks the command whose response is expected (and so
// the exchange kind and payload length); the rest is the byte stream.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "tvprotocol/CommandCatalogue.h"
#include "tvprotocol/ConsoleLog.h"
#include "tvprotocol/PayloadCodec.h"
#include "tvprotocol/ResponseParser.h"
#include "tvprotocol/Transport.h"

using namespace tvprotocol;

namespace {

class CFuzzSource final : public IByteSource {
public:
    CFuzzSource(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    int Read(uint8_t* buffer, size_t count) override
    {
        if (m_size - m_at < count)
            return kResultReceive;
        std::memcpy(buffer, m_data + m_at, count);
        m_at += count;
        return kResultOk;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_at = 0;
};

template <typename Record> void Report(int result, const uint8_t* payload, size_t length)
{
    Record record;
    if (result == kResultOk && !Decode(payload, length, record))
        __builtin_trap(); // the parser handed over fewer bytes than the layout
    volatile size_t sink = DataLog(result, record).text.size();
    (void)sink;
}

void ReportFor(uint16_t code, int result, const uint8_t* payload, size_t length)
{
    switch (code) {
    case kCmdGetDeviceSerialNumber:
        Report<DeviceSerialNumber>(result, payload, length);
        break;
    case kCmdGetDeviceNumber:
        Report<DeviceNumber>(result, payload, length);
        break;
    case kCmdGetVersions:
        Report<DeviceVersions>(result, payload, length);
        break;
    case kCmdGetWorkMode:
        Report<WorkModeParameters>(result, payload, length);
        break;
    case kCmdGetNetworkParameters:
        Report<NetworkParameters>(result, payload, length);
        break;
    case kCmdGetSerialPortParameters:
        Report<SerialPortParameters>(result, payload, length);
        break;
    case kCmdGetSystemTime:
        Report<DeviceTime>(result, payload, length);
        break;
    case kCmdGetVideoParameters:
        Report<VideoParameters>(result, payload, length);
        break;
    case kCmdGetEncoderParameters:
        Report<EncoderParameters>(result, payload, length);
        break;
    case kCmdGetEncoderOsd:
    case kCmdGetDecoderOsd:
        Report<OsdParameters>(result, payload, length);
        break;
    case kCmdGetAudioEncodingParameters:
        Report<AudioEncodingParameters>(result, payload, length);
        break;
    case kCmdGetDecoderParameters:
        Report<DecoderParameters>(result, payload, length);
        break;
    case kCmdGetAudioIntercomParameters:
        Report<AudioIntercomParameters>(result, payload, length);
        break;
    case kCmdGetAlarmInputParameters:
        Report<AlarmInputParameters>(result, payload, length);
        break;
    case kCmdGetAlarmOutputParameters:
        Report<AlarmOutputParameters>(result, payload, length);
        break;
    case kCmdGetVideoAlarmParameters:
        Report<VideoAlarmParameters>(result, payload, length);
        break;
    case kCmdGetMotionDetectionParameters:
        Report<MotionDetectionParameters>(result, payload, length);
        break;
    case kCmdGetAlarmCentre:
        Report<AlarmCentre>(result, payload, length);
        break;
    case kCmdGetStreamSendingInformation:
        Report<StreamSendingInformation>(result, payload, length);
        break;
    case kCmdGetStreamReceivingInformation:
        Report<StreamReceivingInformation>(result, payload, length);
        break;
    default:
        (void)StatusLog(code, result);
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    size_t count = 0;
    const CommandInfo* table = CommandTable(&count);
    const CommandInfo& command = table[data[0] % count];

    ResponseExpectation expect;
    expect.command = command.code;
    expect.kind = command.response == ResponseShape::Status       ? ResponseKind::Status
                  : command.response == ResponseShape::StreamList ? ResponseKind::StreamList
                                                                  : ResponseKind::Data;
    expect.length = command.responseLength;

    // Exactly as large as the exchange needs, so ASan sees any overrun.
    const size_t capacity = expect.kind == ResponseKind::StreamList ? kMaxPayload : expect.length;
    std::vector<uint8_t> payload(capacity);
    size_t length = 0;
    CFuzzSource source(data + 1, size - 1);
    const int result = ReadResponse(source, expect, payload.data(), capacity, &length);
    if (result == kResultOk && length > capacity)
        __builtin_trap();
    ReportFor(command.code, result, payload.data(), length);
    return 0;
}
