// The encoder as the command protocol sees it: every setting of the command
// catalogue kept in memory, and the answer to each request.
//
// Pure and single-threaded: CDeviceControlServer serialises the calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "tvprotocol/Records.h"

namespace tvdevice {

// Serial port numbers the device accepts (0 .. kSerialPortLimit - 1).
constexpr int32_t kSerialPortLimit = 16;

struct DeviceSettings {
    tvprotocol::DeviceSerialNumber serialNumber;
    tvprotocol::DeviceNumber deviceNumber;
    tvprotocol::DeviceVersions versions;
    tvprotocol::WorkModeParameters workMode;
    tvprotocol::NetworkParameters network;
    std::map<int32_t, tvprotocol::SerialPortParameters> serialPorts; // by port number
    tvprotocol::DeviceTime time;
    tvprotocol::VideoParameters video;
    tvprotocol::EncoderParameters encoder;
    tvprotocol::OsdParameters encoderOsd;
    tvprotocol::AudioEncodingParameters audioEncoding;
    tvprotocol::DecoderParameters decoder;
    tvprotocol::OsdParameters decoderOsd;
    tvprotocol::AudioIntercomParameters audioIntercom;
    tvprotocol::AlarmInputParameters alarmInputs;
    tvprotocol::AlarmOutputParameters alarmOutputs;
    tvprotocol::VideoAlarmParameters videoAlarms;
    tvprotocol::MotionDetectionParameters motionDetection;
    tvprotocol::AlarmCentre alarmCentre;
    tvprotocol::StreamSendingInformation streamSending;
    tvprotocol::StreamReceivingInformation streamReceiving;
    // What the device was last told (action commands without a get).
    tvprotocol::AlarmInputState alarmInputState;
    tvprotocol::VideoAlarmState videoAlarmState;
    tvprotocol::MotionAlarmState motionAlarmState;
    tvprotocol::PtzParameters lastPtz;
    int rebootCount = 0;

    bool operator==(const DeviceSettings&) const = default;
};

// The factory settings: what a fresh device reports, and what the restore
// commands bring back.
DeviceSettings DefaultDeviceSettings();
tvprotocol::SerialPortParameters DefaultSerialPort(int32_t portNumber);

// The device's answer to one request.
struct DeviceResponse {
    uint8_t kind = 3;             // 2 data, 3 status
    std::vector<uint8_t> payload; // data, or the 4-byte status word
    bool changed = false;         // a set or action command was applied
};

class CDeviceModel {
public:
    CDeviceModel();

    // Answers a request whose header was valid. Unknown commands get status
    // 3, a payload of the wrong length status 2, values the device refuses
    // status 5; a set that succeeds changes the settings and answers 0.
    DeviceResponse Handle(uint16_t command, const uint8_t* payload, size_t length);

    // A status answer (the device's parse errors use it too).
    static DeviceResponse Status(uint32_t status);

    const DeviceSettings& Settings() const { return m_settings; }
    void SetSettings(const DeviceSettings& settings) { m_settings = settings; }

private:
    DeviceResponse HandleGet(uint16_t command, const uint8_t* payload, size_t length);
    DeviceResponse HandleSet(uint16_t command, const uint8_t* payload, size_t length);

    DeviceSettings m_settings;
};

} // namespace tvdevice
