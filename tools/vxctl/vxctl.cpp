// vxctl [--port N] ADDRESS COMMAND [FIELD=VALUE ...]
//
// Runs one command of the encoder command catalogue and prints the console's
// log text for its result: the success text or data report, or the command's
// console name followed by the failure text. Set commands take their record's
// fields as FIELD=VALUE (fields not given are 0; per-channel fields are named
// with the channel number appended, e.g. contactAttribute1). Exit status: 0 on
// success, 1 on a failure result, 2 on bad usage. The protocol library's local
// checks apply as in the console; the console's own derived values (codec 5,
// transmission port = serial port + 1200) do not, and --help says so.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tvprotocol/CommandCatalogue.h"
#include "tvprotocol/ConsoleLog.h"
#include "tvprotocol/DeviceCommands.h"

using namespace tvprotocol;

namespace {

// ---- record fields by name ----

// Visits every field of a record with its name.
template <typename V> void Fields(DeviceSerialNumber& r, V& v)
{
    v("serialNumber", r.serialNumber);
}
template <typename V> void Fields(DeviceNumber& r, V& v)
{
    v("deviceNumber", r.deviceNumber);
}
template <typename V> void Fields(WorkModeParameters& r, V& v)
{
    v("workMode", r.workMode);
}
template <typename V> void Fields(NetworkParameters& r, V& v)
{
    v("bootProtocol", r.bootProtocol);
    v("ipAddress", r.ipAddress);
    v("netmask", r.netmask);
    v("gateway", r.gateway);
    v("primaryDns", r.primaryDns);
    v("secondaryDns", r.secondaryDns);
    v("macAddress", r.macAddress);
}
template <typename V> void Fields(SerialPortParameters& r, V& v)
{
    v("portNumber", r.portNumber);
    v("serialMode", r.serialMode);
    v("baudRate", r.baudRate);
    v("dataBits", r.dataBits);
    v("parity", r.parity);
    v("stopBits", r.stopBits);
    v("flowControl", r.flowControl);
    v("ptzProtocol", r.ptzProtocol);
    v("ptzAddress", r.ptzAddress);
    v("transmissionMode", r.transmissionMode);
    v("transmissionPort", r.transmissionPort);
}
template <typename V> void Fields(DeviceTime& r, V& v)
{
    v("year", r.year);
    v("month", r.month);
    v("day", r.day);
    v("weekday", r.weekday);
    v("hour", r.hour);
    v("minute", r.minute);
    v("second", r.second);
}
template <typename V> void Fields(VideoParameters& r, V& v)
{
    v("brightness", r.brightness);
    v("contrast", r.contrast);
    v("hue", r.hue);
    v("saturation", r.saturation);
    v("sharpness", r.sharpness);
}
template <typename V> void Fields(EncoderParameters& r, V& v)
{
    v("videoInput", r.videoInput);
    v("codec", r.codec);
    v("resolution", r.resolution);
    v("frameRate", r.frameRate);
    v("bitRate", r.bitRate);
    v("gop", r.gop);
    v("gopM", r.gopM);
    v("rateControl", r.rateControl);
    v("qp", r.qp);
}
template <typename V> void Fields(OsdParameters& r, V& v)
{
    v("colour", r.colour);
    v("timeShown", r.timeShown);
    v("timeX", r.timeX);
    v("timeY", r.timeY);
    v("textShown", r.textShown);
    v("textX", r.textX);
    v("textY", r.textY);
    v("text", r.text);
}
template <typename V> void Fields(AudioEncodingParameters& r, V& v)
{
    v("audioOn", r.audioOn);
    v("audioSource", r.audioSource);
    v("audioCodec", r.audioCodec);
    v("sampleWidth", r.sampleWidth);
    v("sampleRate", r.sampleRate);
}
template <typename V> void Fields(DecoderParameters& r, V& v)
{
    v("videoOutput", r.videoOutput);
    v("codec", r.codec);
    v("resolution", r.resolution);
    v("audioOn", r.audioOn);
    v("audioOutput", r.audioOutput);
}
template <typename V> void Fields(AudioIntercomParameters& r, V& v)
{
    v("intercomOn", r.intercomOn);
    v("audioCodec", r.audioCodec);
    v("calledAddress", r.calledAddress);
    v("port", r.port);
}
template <typename V> void Fields(AlarmInputParameters& r, V& v)
{
    v("contactAttribute", r.contactAttribute);
    v("linkedOutput", r.linkedOutput);
    v("ptzAddress", r.ptzAddress);
    v("screenPrompt", r.screenPrompt);
    v("networkUpload", r.networkUpload);
}
template <typename V> void Fields(AlarmOutputParameters& r, V& v)
{
    v("contactAttribute", r.contactAttribute);
    v("outputDuration", r.outputDuration);
}
template <typename V> void Fields(VideoAlarmParameters& r, V& v)
{
    v("videoLossEnable", r.videoLossEnable);
    v("videoOcclusionEnable", r.videoOcclusionEnable);
    v("linkedOutput", r.linkedOutput);
    v("screenPrompt", r.screenPrompt);
    v("speaker", r.speaker);
    v("networkUpload", r.networkUpload);
}
template <typename V> void Fields(MotionDetectionParameters& r, V& v)
{
    v("motionEnable", r.motionEnable);
    v("linkedOutput", r.linkedOutput);
    v("screenPrompt", r.screenPrompt);
    v("speaker", r.speaker);
    v("networkUpload", r.networkUpload);
}
template <typename V> void Fields(AlarmInputState& r, V& v)
{
    v("alarm", r.alarm);
}
template <typename V> void Fields(VideoAlarmState& r, V& v)
{
    v("videoLoss", r.videoLoss);
    v("videoOcclusion", r.videoOcclusion);
}
template <typename V> void Fields(MotionAlarmState& r, V& v)
{
    v("motionAlarm", r.motionAlarm);
}
template <typename V> void Fields(AlarmCentre& r, V& v)
{
    v("address", r.address);
    v("port", r.port);
}
template <typename V> void Fields(StreamSendingParameters& r, V& v)
{
    v("codec", r.codec);
    v("streamType", r.streamType);
    v("transport", r.transport);
    v("peerAddress", r.peerAddress);
    v("peerPort", r.peerPort);
}
template <typename V> void Fields(StreamReceivingParameters& r, V& v)
{
    v("codec", r.codec);
    v("streamNumber", r.streamNumber);
    v("transport", r.transport);
    v("peerAddress", r.peerAddress);
    v("peerPort", r.peerPort);
}
template <typename V> void Fields(PtzParameters& r, V& v)
{
    v("command", r.command);
    v("preset", r.preset);
    v("speed", r.speed);
}

bool ParseInt(const std::string& text, int32_t& value)
{
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v < INT32_MIN || v > INT32_MAX)
        return false;
    value = static_cast<int32_t>(v);
    return true;
}

// Assigns FIELD=VALUE pairs; records every field it used and any bad value.
class CAssigner {
public:
    explicit CAssigner(const std::map<std::string, std::string>& values) : m_values(values) {}

    void operator()(const char* name, int32_t& field) { Assign(name, field); }
    void operator()(const char* name, std::string& field)
    {
        auto it = m_values.find(name);
        if (it == m_values.end())
            return;
        field = it->second;
        m_used.push_back(name);
    }
    void operator()(const char* name, int32_t (&fields)[kChannelCount])
    {
        for (int ch = 0; ch < kChannelCount; ++ch)
            Assign(std::string(name) + std::to_string(ch + 1), fields[ch]);
    }

    // The first problem (unknown field or bad value), or "" when all is well.
    std::string Problem() const
    {
        if (!m_bad.empty())
            return "bad value for " + m_bad;
        for (const auto& [name, value] : m_values) {
            bool used = false;
            for (const std::string& u : m_used)
                used = used || u == name;
            if (!used)
                return "unknown field " + name;
        }
        return "";
    }

private:
    void Assign(const std::string& name, int32_t& field)
    {
        auto it = m_values.find(name);
        if (it == m_values.end())
            return;
        if (!ParseInt(it->second, field) && m_bad.empty())
            m_bad = name;
        m_used.push_back(name);
    }

    const std::map<std::string, std::string>& m_values;
    std::vector<std::string> m_used;
    std::string m_bad;
};

// Collects the field names for --help.
class CNamer {
public:
    void operator()(const char* name, int32_t&) { Add(name); }
    void operator()(const char* name, std::string&) { Add(name); }
    void operator()(const char* name, int32_t (&)[kChannelCount])
    {
        Add(std::string(name) + "1..4");
    }
    std::string text;

private:
    void Add(const std::string& name) { text += (text.empty() ? "" : " ") + name; }
};

// ---- operations ----

struct Request {
    std::string address;
    int port = kDevicePort;
    std::map<std::string, std::string> fields;
};

struct Operation {
    std::function<std::string()> fieldNames;
    // Returns false (with a message) for bad usage; otherwise runs and fills entry.
    std::function<bool(const Request&, LogEntry&, std::string&)> run;
};

template <typename Record> bool Fill(const Request& request, Record& record, std::string& problem)
{
    CAssigner assign(request.fields);
    Fields(record, assign);
    problem = assign.Problem();
    return problem.empty();
}

bool NoFields(const Request& request, std::string& problem)
{
    if (request.fields.empty())
        return true;
    problem = "this command takes no fields";
    return false;
}

template <typename Record> Operation Get(int (*call)(const char*, Record*, int))
{
    return {[] { return std::string(); },
            [call](const Request& req, LogEntry& entry, std::string& problem) {
                if (!NoFields(req, problem))
                    return false;
                Record record;
                entry = DataLog(call(req.address.c_str(), &record, req.port), record);
                return true;
            }};
}

template <typename Record>
Operation Set(uint16_t code, int (*call)(const char*, const Record*, int))
{
    return {[] {
                Record r;
                CNamer namer;
                Fields(r, namer);
                return namer.text;
            },
            [code, call](const Request& req, LogEntry& entry, std::string& problem) {
                Record record;
                if (!Fill(req, record, problem))
                    return false;
                entry = StatusLog(code, call(req.address.c_str(), &record, req.port));
                return true;
            }};
}

Operation Action(uint16_t code, int (*call)(const char*, int))
{
    return {[] { return std::string(); },
            [code, call](const Request& req, LogEntry& entry, std::string& problem) {
                if (!NoFields(req, problem))
                    return false;
                entry = StatusLog(code, call(req.address.c_str(), req.port));
                return true;
            }};
}

// Operations that take one port number.
Operation SerialGet()
{
    return {[] { return std::string("portNumber"); },
            [](const Request& req, LogEntry& entry, std::string& problem) {
                SerialPortParameters record;
                for (const auto& [name, value] : req.fields)
                    if (name != "portNumber") {
                        problem = "unknown field " + name;
                        return false;
                    }
                auto it = req.fields.find("portNumber");
                if (it != req.fields.end() && !ParseInt(it->second, record.portNumber)) {
                    problem = "bad value for portNumber";
                    return false;
                }
                entry = DataLog(GetSerialPortParameters(req.address.c_str(), &record, req.port),
                                record);
                return true;
            }};
}

Operation SerialRestore()
{
    return {[] { return std::string("portNumber"); },
            [](const Request& req, LogEntry& entry, std::string& problem) {
                int32_t portNumber = 0;
                for (const auto& [name, value] : req.fields)
                    if (name != "portNumber" || !ParseInt(value, portNumber)) {
                        problem = name != "portNumber" ? "unknown field " + name
                                                       : "bad value for portNumber";
                        return false;
                    }
                entry = StatusLog(
                    kCmdRestoreSerialPortParameters,
                    RestoreSerialPortParameters(req.address.c_str(), portNumber, req.port));
                return true;
            }};
}

const std::map<std::string, Operation>& Operations()
{
    static const std::map<std::string, Operation> table = {
        {"GetDeviceSerialNumber", Get(&GetDeviceSerialNumber)},
        {"SetDeviceSerialNumber", Set(kCmdSetDeviceSerialNumber, &SetDeviceSerialNumber)},
        {"GetDeviceNumber", Get(&GetDeviceNumber)},
        {"SetDeviceNumber", Set(kCmdSetDeviceNumber, &SetDeviceNumber)},
        {"GetVersions", Get(&GetVersions)},
        {"GetWorkMode", Get(&GetWorkMode)},
        {"SetWorkMode", Set(kCmdSetWorkMode, &SetWorkMode)},
        {"RebootDevice", Action(kCmdRebootDevice, &RebootDevice)},
        {"GetNetworkParameters", Get(&GetNetworkParameters)},
        {"SetNetworkParameters", Set(kCmdSetNetworkParameters, &SetNetworkParameters)},
        {"GetSerialPortParameters", SerialGet()},
        {"SetSerialPortParameters", Set(kCmdSetSerialPortParameters, &SetSerialPortParameters)},
        {"RestoreSerialPortParameters", SerialRestore()},
        {"GetSystemTime", Get(&GetSystemTime)},
        {"SetSystemTime", Set(kCmdSetSystemTime, &SetSystemTime)},
        {"GetVideoParameters", Get(&GetVideoParameters)},
        {"SetVideoParameters", Set(kCmdSetVideoParameters, &SetVideoParameters)},
        {"GetEncoderParameters", Get(&GetEncoderParameters)},
        {"SetEncoderParameters", Set(kCmdSetEncoderParameters, &SetEncoderParameters)},
        {"RestoreEncoderDefaults", Action(kCmdRestoreEncoderDefaults, &RestoreEncoderDefaults)},
        {"GetEncoderOsd", Get(&GetEncoderOsd)},
        {"SetEncoderOsd", Set(kCmdSetEncoderOsd, &SetEncoderOsd)},
        {"GetAudioEncodingParameters", Get(&GetAudioEncodingParameters)},
        {"SetAudioEncodingParameters",
         Set(kCmdSetAudioEncodingParameters, &SetAudioEncodingParameters)},
        {"GetDecoderParameters", Get(&GetDecoderParameters)},
        {"SetDecoderParameters", Set(kCmdSetDecoderParameters, &SetDecoderParameters)},
        {"RestoreDecoderParameters",
         Action(kCmdRestoreDecoderParameters, &RestoreDecoderParameters)},
        {"GetDecoderOsd", Get(&GetDecoderOsd)},
        {"SetDecoderOsd", Set(kCmdSetDecoderOsd, &SetDecoderOsd)},
        {"GetAudioIntercomParameters", Get(&GetAudioIntercomParameters)},
        {"SetAudioIntercomParameters",
         Set(kCmdSetAudioIntercomParameters, &SetAudioIntercomParameters)},
        {"GetAlarmInputParameters", Get(&GetAlarmInputParameters)},
        {"SetAlarmInputParameters", Set(kCmdSetAlarmInputParameters, &SetAlarmInputParameters)},
        {"GetAlarmOutputParameters", Get(&GetAlarmOutputParameters)},
        {"SetAlarmOutputParameters", Set(kCmdSetAlarmOutputParameters, &SetAlarmOutputParameters)},
        {"GetVideoAlarmParameters", Get(&GetVideoAlarmParameters)},
        {"SetVideoAlarmParameters", Set(kCmdSetVideoAlarmParameters, &SetVideoAlarmParameters)},
        {"GetMotionDetectionParameters", Get(&GetMotionDetectionParameters)},
        {"SetMotionDetectionParameters",
         Set(kCmdSetMotionDetectionParameters, &SetMotionDetectionParameters)},
        {"RestoreAlarmParameters", Action(kCmdRestoreAlarmParameters, &RestoreAlarmParameters)},
        {"SendAlarmInputState", Set(kCmdSendAlarmInputState, &SendAlarmInputState)},
        {"SendVideoAlarmState", Set(kCmdSendVideoAlarmState, &SendVideoAlarmState)},
        {"SendMotionDetectionAlarm", Set(kCmdSendMotionDetectionAlarm, &SendMotionDetectionAlarm)},
        {"GetAlarmCentre", Get(&GetAlarmCentre)},
        {"SetAlarmCentre", Set(kCmdSetAlarmCentre, &SetAlarmCentre)},
        {"GetStreamSendingInformation", Get(&GetStreamSendingInformation)},
        {"StartStreamSending", Set(kCmdStartStreamSending, &StartStreamSending)},
        {"StopStreamSending", Set(kCmdStopStreamSending, &StopStreamSending)},
        {"GetStreamReceivingInformation", Get(&GetStreamReceivingInformation)},
        {"StartStreamReceiving", Set(kCmdStartStreamReceiving, &StartStreamReceiving)},
        {"StopStreamReceiving", Set(kCmdStopStreamReceiving, &StopStreamReceiving)},
        {"PtzControl", Set(kCmdPtzControl, &PtzControl)},
    };
    return table;
}

void PrintHelp(FILE* out)
{
    std::fprintf(out,
                 "usage: vxctl [--port N] ADDRESS COMMAND [FIELD=VALUE ...]\n"
                 "Runs one encoder command and prints the console's log text.\n"
                 "Fields not given are 0; per-channel fields take the channel number\n"
                 "1 to 4 as a suffix. Exit status: 0 success, 1 failure, 2 bad usage.\n"
                 "The port defaults to %d.\n\n"
                 "Values are checked as the console checks them: a value outside its\n"
                 "range (PTZ command 1-31, speed 1-5, serial data bits 5-8, stop bits 1-2,\n"
                 "parity, flow control, PTZ protocol, each enumeration, year 2000-2037)\n"
                 "fails with the parameter error before any connection. Texts are sent\n"
                 "in code page 936 (GBK), cut on whole characters.\n"
                 "Two console rules are not applied; the fields go out as given:\n"
                 "  codec             the console always sends 5 (H264) in\n"
                 "                    SetEncoderParameters and SetDecoderParameters\n"
                 "  transmissionPort  the console sends portNumber + 1200 in\n"
                 "                    SetSerialPortParameters\n\n"
                 "Commands (code, fields):\n",
                 kDevicePort);
    size_t count = 0;
    const CommandInfo* table = CommandTable(&count);
    for (size_t i = 0; i < count; ++i) {
        auto it = Operations().find(table[i].operation);
        const std::string fields = it != Operations().end() ? it->second.fieldNames() : "";
        std::fprintf(out, "  %-30s 0x%04X  %s\n", table[i].operation, table[i].code,
                     fields.c_str());
    }
}

int BadUsage(const std::string& message)
{
    std::fprintf(stderr, "vxctl: %s\n(vxctl --help lists the commands and their fields)\n",
                 message.c_str());
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    Request request;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            PrintHelp(stdout);
            return 0;
        }
        if (arg == "--port") {
            int32_t port = 0;
            if (i + 1 >= argc || !ParseInt(argv[++i], port) || port < 1 || port > 65535)
                return BadUsage("--port needs a port number from 1 to 65535");
            request.port = port;
        } else if (positional.size() >= 2) {
            const size_t eq = arg.find('=');
            if (eq == std::string::npos || eq == 0)
                return BadUsage("expected FIELD=VALUE, got \"" + arg + "\"");
            const std::string name = arg.substr(0, eq);
            if (request.fields.count(name))
                return BadUsage("field " + name + " given twice");
            request.fields[name] = arg.substr(eq + 1);
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() < 2)
        return BadUsage("missing ADDRESS or COMMAND");
    request.address = positional[0];
    auto it = Operations().find(positional[1]);
    if (it == Operations().end())
        return BadUsage("unknown command " + positional[1]);

    StartNetworking();
    LogEntry entry;
    std::string problem;
    if (!it->second.run(request, entry, problem))
        return BadUsage(problem);
    std::fwrite(entry.text.data(), 1, entry.text.size(), stdout);
    return entry.success ? 0 : 1;
}
