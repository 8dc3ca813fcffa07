// One operation per command of the catalogue.
//
// Each takes the device address as dotted IPv4 text and, for set operations,
// the record to send or, for get operations, the record to fill; `port` is the
// device's command port. Each runs one exchange (connect, request, response,
// one close) on the calling thread and returns a result code (Transport.h):
// 0, a negative local failure or a positive device status. A missing address
// or record, or a value the command refuses (PayloadCodec.h, Check), gives -2
// before any connection. Get records are written only on success. Each call is
// logged with its address, port, payload and result on the "protocol" debug
// channel (TARVO_TRACE=protocol).
#pragma once

#include <cstdint>

#include "tvprotocol/Records.h"
#include "tvprotocol/Transport.h"

namespace tvprotocol {

// System.
int GetDeviceSerialNumber(const char* address, DeviceSerialNumber* record, int port = kDevicePort);
int SetDeviceSerialNumber(const char* address, const DeviceSerialNumber* record,
                          int port = kDevicePort);
int GetDeviceNumber(const char* address, DeviceNumber* record, int port = kDevicePort);
int SetDeviceNumber(const char* address, const DeviceNumber* record, int port = kDevicePort);
int GetVersions(const char* address, DeviceVersions* record, int port = kDevicePort);
int GetWorkMode(const char* address, WorkModeParameters* record, int port = kDevicePort);
int SetWorkMode(const char* address, const WorkModeParameters* record, int port = kDevicePort);
int RebootDevice(const char* address, int port = kDevicePort);

// Network, serial ports, time.
int GetNetworkParameters(const char* address, NetworkParameters* record, int port = kDevicePort);
int SetNetworkParameters(const char* address, const NetworkParameters* record,
                         int port = kDevicePort);
// record->portNumber selects the serial port; the rest is filled.
int GetSerialPortParameters(const char* address, SerialPortParameters* record,
                            int port = kDevicePort);
int SetSerialPortParameters(const char* address, const SerialPortParameters* record,
                            int port = kDevicePort);
int RestoreSerialPortParameters(const char* address, int32_t portNumber, int port = kDevicePort);
int GetSystemTime(const char* address, DeviceTime* record, int port = kDevicePort);
int SetSystemTime(const char* address, const DeviceTime* record, int port = kDevicePort);

// Encoding and decoding.
int GetVideoParameters(const char* address, VideoParameters* record, int port = kDevicePort);
int SetVideoParameters(const char* address, const VideoParameters* record, int port = kDevicePort);
int GetEncoderParameters(const char* address, EncoderParameters* record, int port = kDevicePort);
int SetEncoderParameters(const char* address, const EncoderParameters* record,
                         int port = kDevicePort);
int RestoreEncoderDefaults(const char* address, int port = kDevicePort);
int GetEncoderOsd(const char* address, OsdParameters* record, int port = kDevicePort);
int SetEncoderOsd(const char* address, const OsdParameters* record, int port = kDevicePort);
int GetAudioEncodingParameters(const char* address, AudioEncodingParameters* record,
                               int port = kDevicePort);
int SetAudioEncodingParameters(const char* address, const AudioEncodingParameters* record,
                               int port = kDevicePort);
int GetDecoderParameters(const char* address, DecoderParameters* record, int port = kDevicePort);
int SetDecoderParameters(const char* address, const DecoderParameters* record,
                         int port = kDevicePort);
int RestoreDecoderParameters(const char* address, int port = kDevicePort);
int GetDecoderOsd(const char* address, OsdParameters* record, int port = kDevicePort);
int SetDecoderOsd(const char* address, const OsdParameters* record, int port = kDevicePort);
int GetAudioIntercomParameters(const char* address, AudioIntercomParameters* record,
                               int port = kDevicePort);
int SetAudioIntercomParameters(const char* address, const AudioIntercomParameters* record,
                               int port = kDevicePort);

// Alarms.
int GetAlarmInputParameters(const char* address, AlarmInputParameters* record,
                            int port = kDevicePort);
int SetAlarmInputParameters(const char* address, const AlarmInputParameters* record,
                            int port = kDevicePort);
int GetAlarmOutputParameters(const char* address, AlarmOutputParameters* record,
                             int port = kDevicePort);
int SetAlarmOutputParameters(const char* address, const AlarmOutputParameters* record,
                             int port = kDevicePort);
int GetVideoAlarmParameters(const char* address, VideoAlarmParameters* record,
                            int port = kDevicePort);
int SetVideoAlarmParameters(const char* address, const VideoAlarmParameters* record,
                            int port = kDevicePort);
int GetMotionDetectionParameters(const char* address, MotionDetectionParameters* record,
                                 int port = kDevicePort);
int SetMotionDetectionParameters(const char* address, const MotionDetectionParameters* record,
                                 int port = kDevicePort);
int RestoreAlarmParameters(const char* address, int port = kDevicePort);
int SendAlarmInputState(const char* address, const AlarmInputState* record, int port = kDevicePort);
int SendVideoAlarmState(const char* address, const VideoAlarmState* record, int port = kDevicePort);
int SendMotionDetectionAlarm(const char* address, const MotionAlarmState* record,
                             int port = kDevicePort);
int GetAlarmCentre(const char* address, AlarmCentre* record, int port = kDevicePort);
int SetAlarmCentre(const char* address, const AlarmCentre* record, int port = kDevicePort);

// Streams and PTZ.
// -20 when the device has no entries.
int GetStreamSendingInformation(const char* address, StreamSendingInformation* record,
                                int port = kDevicePort);
int StartStreamSending(const char* address, const StreamSendingParameters* record,
                       int port = kDevicePort);
int StopStreamSending(const char* address, const StreamSendingParameters* record,
                      int port = kDevicePort);
int GetStreamReceivingInformation(const char* address, StreamReceivingInformation* record,
                                  int port = kDevicePort);
int StartStreamReceiving(const char* address, const StreamReceivingParameters* record,
                         int port = kDevicePort);
int StopStreamReceiving(const char* address, const StreamReceivingParameters* record,
                        int port = kDevicePort);
int PtzControl(const char* address, const PtzParameters* record, int port = kDevicePort);

} // namespace tvprotocol
