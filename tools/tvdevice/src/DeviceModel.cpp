#include "tvdevice/DeviceModel.h"

#include "tvprotocol/CommandCatalogue.h"
#include "tvprotocol/PayloadCodec.h"
#include "tvprotocol/Transport.h"

namespace tvdevice {

using namespace tvprotocol;

DeviceSettings DefaultDeviceSettings()
{
    DeviceSettings s;
    s.serialNumber.serialNumber = "TV4K-000001";
    s.deviceNumber.deviceNumber = "ENC-01";
    s.versions = {"HW 1.2", "SW 2.0.3", "FPGA 0.9"};
    s.workMode.workMode = kWorkEncode;
    s.network.bootProtocol = kBootStatic;
    s.network.ipAddress = "192.168.2.103";
    s.network.netmask = "255.255.255.0";
    s.network.gateway = "192.168.2.1";
    s.network.primaryDns = "192.168.2.1";
    s.network.secondaryDns = "0.0.0.0";
    s.network.macAddress = "00:1A:2B:3C:4D:5E";
    s.time = {2011, 3, 5, 6, 14, 7, 9};
    s.video = {128, 128, 128, 128, 128};
    s.encoder = {kVideoHdmi, kCodecH264, 7, 25, 4000, 25, 1, 0, 26};
    s.encoderOsd = {0, 1, 16, 16, 0, 16, 48, ""};
    s.audioEncoding = {1, 0, 1, 2, 4};
    s.decoder = {kVideoHdmi, kCodecH264, 7, 1, 0};
    s.decoderOsd = s.encoderOsd;
    s.audioIntercom = {0, 4, "0.0.0.0", 0};
    s.alarmCentre = {"0.0.0.0", 0};
    s.streamReceiving.mainStream.streamType = 1;
    s.streamReceiving.subStream.streamType = 1;
    return s;
}

SerialPortParameters DefaultSerialPort(int32_t portNumber)
{
    SerialPortParameters p;
    p.portNumber = portNumber;
    p.serialMode = kSerialRs485;
    p.baudRate = 9600;
    p.dataBits = 8;
    p.parity = 0;
    p.stopBits = 1;
    p.flowControl = 0;
    p.ptzProtocol = 1;
    p.ptzAddress = 1;
    p.transmissionMode = 0;
    p.transmissionPort = portNumber + 1200;
    return p;
}

CDeviceModel::CDeviceModel() : m_settings(DefaultDeviceSettings()) {}

DeviceResponse CDeviceModel::Status(uint32_t status)
{
    DeviceResponse r;
    r.kind = kFrameStatus;
    r.payload = {uint8_t(status >> 24), uint8_t(status >> 16), uint8_t(status >> 8),
                 uint8_t(status)};
    return r;
}

namespace {

template <typename Record> DeviceResponse Data(const Record& record)
{
    DeviceResponse r;
    r.kind = kFrameData;
    r.payload.resize(kMaxPayload);
    r.payload.resize(Encode(record, r.payload.data()));
    return r;
}

// Decodes a set request into `target`, refusing what the console would
// refuse locally (status 5).
template <typename Record>
DeviceResponse Store(const uint8_t* payload, size_t length, Record& target)
{
    Record record;
    if (!Decode(payload, length, record))
        return CDeviceModel::Status(kStatusHeaderError);
    if (Check(record) != kResultOk)
        return CDeviceModel::Status(kStatusOutOfRange);
    target = record;
    DeviceResponse r = CDeviceModel::Status(0);
    r.changed = true;
    return r;
}

bool SamePeer(const StreamSendingParameters& a, const StreamSendingParameters& b)
{
    return a.peerAddress == b.peerAddress && a.peerPort == b.peerPort;
}

} // namespace

DeviceResponse CDeviceModel::Handle(uint16_t command, const uint8_t* payload, size_t length)
{
    const CommandInfo* info = FindCommand(command);
    if (info == nullptr)
        return Status(kStatusUnsupportedCommand);
    if (length != info->requestLength)
        return Status(kStatusHeaderError);
    if (info->response == ResponseShape::Status)
        return HandleSet(command, payload, length);
    return HandleGet(command, payload, length);
}

DeviceResponse CDeviceModel::HandleGet(uint16_t command, const uint8_t* payload, size_t length)
{
    DeviceSettings& s = m_settings;
    switch (command) {
    case kCmdGetDeviceSerialNumber:
        return Data(s.serialNumber);
    case kCmdGetDeviceNumber:
        return Data(s.deviceNumber);
    case kCmdGetVersions:
        return Data(s.versions);
    case kCmdGetWorkMode:
        return Data(s.workMode);
    case kCmdGetNetworkParameters:
        return Data(s.network);
    case kCmdGetSerialPortParameters: {
        int32_t port = 0;
        DecodeWord(payload, length, port);
        if (port < 0 || port >= kSerialPortLimit)
            return Status(kStatusOutOfRange);
        auto it = s.serialPorts.find(port);
        return Data(it != s.serialPorts.end() ? it->second : DefaultSerialPort(port));
    }
    case kCmdGetSystemTime:
        return Data(s.time);
    case kCmdGetVideoParameters:
        return Data(s.video);
    case kCmdGetEncoderParameters:
        return Data(s.encoder);
    case kCmdGetEncoderOsd:
        return Data(s.encoderOsd);
    case kCmdGetAudioEncodingParameters:
        return Data(s.audioEncoding);
    case kCmdGetDecoderParameters:
        return Data(s.decoder);
    case kCmdGetDecoderOsd:
        return Data(s.decoderOsd);
    case kCmdGetAudioIntercomParameters:
        return Data(s.audioIntercom);
    case kCmdGetAlarmInputParameters:
        return Data(s.alarmInputs);
    case kCmdGetAlarmOutputParameters:
        return Data(s.alarmOutputs);
    case kCmdGetVideoAlarmParameters:
        return Data(s.videoAlarms);
    case kCmdGetMotionDetectionParameters:
        return Data(s.motionDetection);
    case kCmdGetAlarmCentre:
        return Data(s.alarmCentre);
    case kCmdGetStreamSendingInformation:
        return Data(s.streamSending);
    case kCmdGetStreamReceivingInformation:
        return Data(s.streamReceiving);
    default:
        return Status(kStatusUnsupportedCommand);
    }
}

DeviceResponse CDeviceModel::HandleSet(uint16_t command, const uint8_t* payload, size_t length)
{
    DeviceSettings& s = m_settings;
    const DeviceSettings factory = DefaultDeviceSettings();
    DeviceResponse ok = Status(0);
    ok.changed = true;
    switch (command) {
    case kCmdSetDeviceSerialNumber:
        return Store(payload, length, s.serialNumber);
    case kCmdSetDeviceNumber:
        return Store(payload, length, s.deviceNumber);
    case kCmdSetWorkMode:
        return Store(payload, length, s.workMode);
    case kCmdRebootDevice:
        ++s.rebootCount;
        return ok;
    case kCmdSetNetworkParameters:
        return Store(payload, length, s.network);
    case kCmdSetSerialPortParameters: {
        SerialPortParameters port;
        Decode(payload, length, port);
        if (port.portNumber < 0 || port.portNumber >= kSerialPortLimit)
            return Status(kStatusOutOfRange);
        // Stored only when accepted: a refused request must not leave a
        // zeroed port behind for the next get to report.
        SerialPortParameters stored = DefaultSerialPort(port.portNumber);
        DeviceResponse r = Store(payload, length, stored);
        if (r.changed)
            s.serialPorts[port.portNumber] = stored;
        return r;
    }
    case kCmdRestoreSerialPortParameters: {
        int32_t port = 0;
        DecodeWord(payload, length, port);
        if (port < 0 || port >= kSerialPortLimit)
            return Status(kStatusOutOfRange);
        s.serialPorts.erase(port);
        return ok;
    }
    case kCmdSetSystemTime:
        return Store(payload, length, s.time);
    case kCmdSetVideoParameters:
        return Store(payload, length, s.video);
    case kCmdSetEncoderParameters:
        return Store(payload, length, s.encoder);
    case kCmdRestoreEncoderDefaults:
        s.encoder = factory.encoder;
        return ok;
    case kCmdSetEncoderOsd:
        return Store(payload, length, s.encoderOsd);
    case kCmdSetAudioEncodingParameters:
        return Store(payload, length, s.audioEncoding);
    case kCmdSetDecoderParameters:
        return Store(payload, length, s.decoder);
    case kCmdRestoreDecoderParameters:
        s.decoder = factory.decoder;
        return ok;
    case kCmdSetDecoderOsd:
        return Store(payload, length, s.decoderOsd);
    case kCmdSetAudioIntercomParameters:
        return Store(payload, length, s.audioIntercom);
    case kCmdSetAlarmInputParameters:
        return Store(payload, length, s.alarmInputs);
    case kCmdSetAlarmOutputParameters:
        return Store(payload, length, s.alarmOutputs);
    case kCmdSetVideoAlarmParameters:
        return Store(payload, length, s.videoAlarms);
    case kCmdSetMotionDetectionParameters:
        return Store(payload, length, s.motionDetection);
    case kCmdRestoreAlarmParameters:
        s.alarmInputs = factory.alarmInputs;
        s.alarmOutputs = factory.alarmOutputs;
        s.videoAlarms = factory.videoAlarms;
        s.motionDetection = factory.motionDetection;
        s.alarmCentre = factory.alarmCentre;
        return ok;
    case kCmdSendAlarmInputState:
        return Store(payload, length, s.alarmInputState);
    case kCmdSendVideoAlarmState:
        return Store(payload, length, s.videoAlarmState);
    case kCmdSendMotionDetectionAlarm:
        return Store(payload, length, s.motionAlarmState);
    case kCmdSetAlarmCentre:
        return Store(payload, length, s.alarmCentre);
    case kCmdStartStreamSending: {
        StreamSendingParameters p;
        Decode(payload, length, p);
        StreamSendingInformation& list = s.streamSending;
        for (int i = 0; i < list.count; ++i)
            if (SamePeer(list.entries[i], p)) {
                list.entries[i] = p;
                return ok;
            }
        if (list.count >= kMaxStreamEntries)
            return Status(kStatusOutOfRange);
        list.entries[list.count++] = p;
        return ok;
    }
    case kCmdStopStreamSending: {
        StreamSendingParameters p;
        Decode(payload, length, p);
        StreamSendingInformation& list = s.streamSending;
        for (int i = 0; i < list.count; ++i)
            if (SamePeer(list.entries[i], p)) {
                for (int j = i + 1; j < list.count; ++j)
                    list.entries[j - 1] = list.entries[j];
                list.entries[--list.count] = StreamSendingParameters{};
                return ok;
            }
        return ok; // nothing was being sent there: already stopped
    }
    case kCmdStartStreamReceiving:
    case kCmdStopStreamReceiving: {
        StreamReceivingParameters p;
        Decode(payload, length, p);
        if (p.streamNumber != 1 && p.streamNumber != 2)
            return Status(kStatusOutOfRange);
        StreamReceivingEntry& e =
            p.streamNumber == 1 ? s.streamReceiving.mainStream : s.streamReceiving.subStream;
        if (command == kCmdStartStreamReceiving) {
            e.codec = p.codec;
            e.transport = p.transport;
            e.address = p.peerAddress;
            e.port = p.peerPort;
        } else {
            e = StreamReceivingEntry{};
            e.streamType = 1;
        }
        return ok;
    }
    case kCmdPtzControl:
        return Store(payload, length, s.lastPtz);
    default:
        return Status(kStatusUnsupportedCommand);
    }
}

} // namespace tvdevice
