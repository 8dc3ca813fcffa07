// tvdevsim: a stand-in for the network video encoders, for trying the player
// without a device. See Usage() for what it does.
#include "tvdevsim/DeviceSimulator.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

using namespace tvdevsim;

namespace {

std::atomic<bool> g_stop{false};

void OnSignal(int)
{
    g_stop = true;
}

void Usage(FILE* out)
{
    std::fprintf(out,
                 "usage: tvdevsim [options]\n"
                 "\n"
                 "Acts as a network video encoder: draws a moving test pattern with a frame\n"
                 "counter (and a tone), encodes it as one of the encoders' stream kinds and\n"
                 "sends it to a player, the way the device would. It can also write the same\n"
                 "bytes to a record file, spoil the stream on purpose (faults), and answer the\n"
                 "device control protocol.\n"
                 "\n"
                 "Example: stream to a player listening for UDP on this machine, port 8001:\n"
                 "  tvdevsim --kind dev40 --transport udp --address 127.0.0.1 --port 8001\n"
                 "Example: write a 10-second record file and exit:\n"
                 "  tvdevsim --kind qbox-h264 --transport none --frames 250 --fast --record clip\n"
                 "\n"
                 "What to send:\n"
                 "  --kind KIND          stream kind (default dev40); one of:\n");
    for (SimKind k : kAllKinds)
        std::fprintf(out, "      %-14s %s (record %s)\n", KindName(k), KindDescription(k),
                     RecordExtension(k));
    std::fprintf(
        out, "  --size WxH           picture size (default per kind; dev-d1 is always 704x576)\n"
             "  --fps N              frames per second, 1..30 (default 25)\n"
             "  --gop N              frames from one key frame to the next (default 25)\n"
             "  --bitrate KBPS       video bit rate (default: the encoder's choice)\n"
             "  --no-audio           no voice frames / AAC boxes\n"
             "  --voice CODEC        voice frame codec: mulaw (default), alaw, adpcm\n"
             "  --tone HZ            tone frequency (default 440)\n"
             "  --frame-types        36-byte headers: write the frame type into byte 13\n"
             "  --live               timestamps from the wall clock (default: from 2024-01-01)\n"
             "  --frames N           send N video frames, then exit (default: until Ctrl-C)\n"
             "\n"
             "Where to send it:\n"
             "  --transport T        udp (default; unicast or multicast address),\n"
             "                       tcp-client (connect to a player in TCP(Server) mode),\n"
             "                       tcp-server (a player in TCP(Client) mode connects here),\n"
             "                       none (record file only)\n"
             "  --address A          IPv4 address: UDP destination or multicast group, the\n"
             "                       player to connect to, or the address to listen on\n"
             "                       (default 127.0.0.1; tcp-server default 0.0.0.0)\n"
             "  --port N             stream port (default 8001; tcp-server: 0 picks one)\n"
             "  --datagram BYTES     UDP datagram size (default 1400; transport streams send\n"
             "                       whole packets)\n"
             "  --ttl N              multicast time-to-live (default 1)\n"
             "  --multicast-if A     send multicast through the interface with address A\n"
             "  --fast               send as fast as possible instead of in real time\n"
             "  --record PATH        also write the sent bytes to PATH (the kind's record\n"
             "                       extension is added when missing)\n"
             "  --control PORT|off   answer the device control protocol on PORT (default 9999)\n"
             "\n"
             "Faults (RATE is a probability such as 0.05, or 1/N for every N-th unit):\n"
             "  --seed N             seed for the faults (default 1): same seed, same faults\n"
             "  --loss RATE          UDP datagrams dropped\n"
             "  --reorder RATE       UDP datagrams swapped with the next one\n"
             "  --garbage RATE       random bytes (1..--garbage-max, default 64) before a frame\n"
             "  --garbage-max N\n"
             "  --truncate RATE      frames cut short\n"
             "  --disconnect-every S TCP: drop the connection every S seconds of stream time\n"
             "                       and connect again (server: wait for the player again)\n"
             "  --jump-every S       every S seconds of stream time, shift the timestamps ...\n"
             "  --jump MS            ... by MS milliseconds (negative: back in time)\n"
             "\n"
             "Output:\n"
             "  --stats S            print counters every S seconds (default 5, 0: never)\n"
             "  -q, --quiet          only errors\n"
             "  -h, --help           this text\n");
}

bool ParseInt(const char* text, long long lo, long long hi, long long& value)
{
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(text, &end, 10);
    return end != text && *end == '\0' && errno == 0 && value >= lo && value <= hi;
}

bool ParseDouble(const char* text, double lo, double hi, double& value)
{
    char* end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && value >= lo && value <= hi;
}

bool ParseRate(const char* text, FaultRate& rate)
{
    long long n = 0;
    if (std::strncmp(text, "1/", 2) == 0)
        return ParseInt(text + 2, 1, 1000000000, n) && (rate.every = static_cast<int>(n), true);
    return ParseDouble(text, 0, 1, rate.rate);
}

int Bad(const std::string& what)
{
    std::fprintf(stderr, "tvdevsim: %s (see tvdevsim --help)\n", what.c_str());
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    SimConfig config;
    config.controlPort = 9999;
    config.controlAddress = "0.0.0.0";
    bool addressGiven = false;
    bool quiet = false;
    double statsEvery = 5;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        long long n = 0;
        double d = 0;
        const char* v = nullptr;
        if (arg == "-h" || arg == "--help") {
            Usage(stdout);
            return 0;
        } else if (arg == "-q" || arg == "--quiet") {
            quiet = true;
        } else if (arg == "--no-audio") {
            config.stream.audio = false;
        } else if (arg == "--frame-types") {
            config.stream.frameTypesInHeader = true;
        } else if (arg == "--live") {
            config.stream.live = true;
        } else if (arg == "--fast") {
            config.realTime = false;
        } else if (!(v = value())) {
            return Bad("unknown option or missing value: " + arg);
        } else if (arg == "--kind") {
            if (!ParseKind(v, config.stream.kind))
                return Bad(std::string("unknown kind \"") + v + "\"");
        } else if (arg == "--size") {
            int w = 0, h = 0;
            if (std::sscanf(v, "%dx%d", &w, &h) != 2 || w < 16 || h < 16)
                return Bad("--size takes WIDTHxHEIGHT, e.g. 704x576");
            config.stream.width = w;
            config.stream.height = h;
        } else if (arg == "--fps") {
            if (!ParseInt(v, 1, 30, n))
                return Bad("--fps takes 1..30");
            config.stream.frameRate = static_cast<int>(n);
        } else if (arg == "--gop") {
            if (!ParseInt(v, 1, 1000, n))
                return Bad("--gop takes 1..1000");
            config.stream.gop = static_cast<int>(n);
        } else if (arg == "--bitrate") {
            if (!ParseInt(v, 1, 100000, n))
                return Bad("--bitrate takes kilobits per second");
            config.stream.bitrateKbps = static_cast<int>(n);
        } else if (arg == "--voice") {
            const std::string c = v;
            if (c == "mulaw")
                config.stream.voiceCodec = VoiceCodec::MuLaw;
            else if (c == "alaw")
                config.stream.voiceCodec = VoiceCodec::ALaw;
            else if (c == "adpcm")
                config.stream.voiceCodec = VoiceCodec::ImaAdpcm;
            else
                return Bad("--voice takes mulaw, alaw or adpcm");
        } else if (arg == "--tone") {
            if (!ParseInt(v, 20, 3900, n))
                return Bad("--tone takes 20..3900 Hz");
            config.stream.toneHz = static_cast<int>(n);
        } else if (arg == "--frames") {
            if (!ParseInt(v, 0, INT64_MAX, n))
                return Bad("--frames takes a count");
            config.frames = n;
        } else if (arg == "--transport") {
            if (!ParseTransport(v, config.transport))
                return Bad("--transport takes udp, tcp-client, tcp-server or none");
        } else if (arg == "--address") {
            config.address = v;
            addressGiven = true;
        } else if (arg == "--port") {
            if (!ParseInt(v, 0, 65535, n))
                return Bad("--port takes 0..65535");
            config.port = static_cast<int>(n);
        } else if (arg == "--datagram") {
            if (!ParseInt(v, 188, 65507, n))
                return Bad("--datagram takes 188..65507 bytes");
            config.datagramSize = static_cast<size_t>(n);
        } else if (arg == "--ttl") {
            if (!ParseInt(v, 0, 255, n))
                return Bad("--ttl takes 0..255");
            config.multicastTtl = static_cast<int>(n);
        } else if (arg == "--multicast-if") {
            config.multicastInterface = v;
        } else if (arg == "--record") {
            config.recordPath = v;
        } else if (arg == "--control") {
            if (std::string(v) == "off")
                config.controlPort = -1;
            else if (ParseInt(v, 0, 65535, n))
                config.controlPort = static_cast<int>(n);
            else
                return Bad("--control takes a port or off");
        } else if (arg == "--seed") {
            if (!ParseInt(v, 0, INT64_MAX, n))
                return Bad("--seed takes a number");
            config.faults.seed = static_cast<uint64_t>(n);
        } else if (arg == "--loss" || arg == "--reorder" || arg == "--garbage" ||
                   arg == "--truncate") {
            FaultRate& r = arg == "--loss"      ? config.faults.loss
                           : arg == "--reorder" ? config.faults.reorder
                           : arg == "--garbage" ? config.faults.garbage
                                                : config.faults.truncate;
            if (!ParseRate(v, r))
                return Bad(arg + " takes a probability 0..1 or 1/N");
        } else if (arg == "--garbage-max") {
            if (!ParseInt(v, 1, 65536, n))
                return Bad("--garbage-max takes 1..65536");
            config.faults.garbageMaxBytes = static_cast<int>(n);
        } else if (arg == "--disconnect-every") {
            if (!ParseDouble(v, 0.04, 1e6, d))
                return Bad("--disconnect-every takes seconds");
            config.faults.disconnectEverySec = d;
        } else if (arg == "--jump-every") {
            if (!ParseDouble(v, 0.04, 1e6, d))
                return Bad("--jump-every takes seconds");
            config.faults.jumpEverySec = d;
        } else if (arg == "--jump") {
            if (!ParseInt(v, -86400000LL, 86400000LL, n))
                return Bad("--jump takes milliseconds");
            config.faults.jumpMs = n;
        } else if (arg == "--stats") {
            if (!ParseDouble(v, 0, 86400, d))
                return Bad("--stats takes seconds");
            statsEvery = d;
        } else {
            return Bad("unknown option " + arg);
        }
    }
    if (config.transport == SimTransport::TcpServer && !addressGiven)
        config.address = "0.0.0.0";
    if (config.transport == SimTransport::None && config.recordPath.empty())
        return Bad("--transport none needs --record PATH");

    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGPIPE, SIG_IGN);

    CDeviceSimulator sim;
    if (!quiet)
        sim.SetLogHandler([](const std::string& text) {
            std::printf("tvdevsim: %s\n", text.c_str());
            std::fflush(stdout);
        });
    if (!sim.Start(config)) {
        std::fprintf(stderr, "tvdevsim: %s\n", sim.Error().c_str());
        return 1;
    }
    auto last = std::chrono::steady_clock::now();
    while (!g_stop.load()) {
        if (sim.WaitFinished(100))
            break;
        const SimCounters c = sim.Counters();
        if (c.failed)
            break;
        if (!quiet && statsEvery > 0 &&
            std::chrono::steady_clock::now() - last >= std::chrono::duration<double>(statsEvery)) {
            last = std::chrono::steady_clock::now();
            std::printf(
                "tvdevsim: %llu frames, %llu audio frames, %llu bytes in %llu sends"
                " (lost %llu, reordered %llu, garbage %llu, truncated %llu, disconnects %llu)\n",
                (unsigned long long)c.videoFrames, (unsigned long long)c.audioFrames,
                (unsigned long long)c.bytesSent, (unsigned long long)c.sends,
                (unsigned long long)c.datagramsLost, (unsigned long long)c.datagramsReordered,
                (unsigned long long)c.garbageInserted, (unsigned long long)c.framesTruncated,
                (unsigned long long)c.disconnects);
            std::fflush(stdout);
        }
    }
    sim.Stop();
    const SimCounters c = sim.Counters();
    if (c.failed) {
        std::fprintf(stderr, "tvdevsim: %s\n", sim.Error().c_str());
        return 1;
    }
    return 0;
}
