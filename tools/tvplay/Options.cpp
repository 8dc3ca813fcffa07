#include "Options.h"

#include <cstdlib>
#include <cstring>

namespace {

bool ParseInt(const std::string& text, int& value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 0);
    if (*end != '\0' || v < -2147483647L - 1 || v > 2147483647L)
        return false;
    value = int(v);
    return true;
}

// "a,b,c" into exactly `count` integers (hex with 0x).
bool ParseInts(const std::string& text, int* values, size_t count)
{
    size_t start = 0;
    for (size_t i = 0; i < count; ++i) {
        size_t comma = text.find(',', start);
        bool last = i + 1 == count;
        if (last != (comma == std::string::npos))
            return false;
        if (!ParseInt(text.substr(start, last ? std::string::npos : comma - start), values[i]))
            return false;
        start = comma + 1;
    }
    return true;
}

// "HOST:PORT".
bool ParseHostPort(const std::string& text, std::string& host, int& port)
{
    size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0)
        return false;
    host = text.substr(0, colon);
    return ParseInt(text.substr(colon + 1), port) && port > 0 && port < 65536;
}

} // namespace

void PrintUsage(FILE* out)
{
    std::fprintf(
        out,
        "Usage: tvplay SOURCE [OPTIONS]     play a live stream or a record file\n"
        "       tvplay --demo [--offscreen] [--out DIR]\n"
        "       tvplay --index FILE\n"
        "       tvplay --help\n"
        "\n"
        "The player library's command-line player. With a display it plays in an X11\n"
        "window (keys below); without one, or with --offscreen, into memory.\n"
        "\n"
        "Sources (one):\n"
        "  --udp PORT              a device sending UDP datagrams to this port\n"
        "                          e.g. tvplay --udp 8001\n"
        "  --multicast GROUP:PORT  join the multicast group, receive on the port\n"
        "                          e.g. tvplay --multicast 239.1.1.1:8001\n"
        "  --tcp-client HOST:PORT  connect to a device that listens\n"
        "                          e.g. tvplay --tcp-client 192.168.1.20:8000\n"
        "  --tcp-server PORT       listen; the device connects\n"
        "                          e.g. tvplay --tcp-server 8002\n"
        "  FILE                    a record file (.tvx .tvx2 .tvx4 .t264 .tmj2 .tavc)\n"
        "                          e.g. tvplay /tmp/clip.t264\n"
        "\n"
        "Live streams:\n"
        "  --format N              the stream's codec kind (default 3, device H.264;\n"
        "                          1 MPEG-2, 2 MPEG-4, 4 JPEG 2000, 6 HD H.264, 7 Motion\n"
        "                          JPEG), e.g. --format 6\n"
        "  --play-mode N           0 (default) or 1, e.g. --play-mode 1\n"
        "  --record PATH           record the received stream (the extension becomes\n"
        "                          \"tvx\"), e.g. --record /tmp/rec/cam1.tvx\n"
        "\n"
        "Picture:\n"
        "  --text X,Y,TEXT         a white text overlay, e.g. --text 16,16,Gate\n"
        "  --time X,Y              the current time as an overlay, e.g. --time 16,420\n"
        "  --rect L,T,R,B[,COLOUR] a rectangle, colour 0xBBGGRR (default red),\n"
        "                          e.g. --rect 100,100,300,250,0x00FF00\n"
        "  --color B,C,S,H         brightness, contrast, saturation, hue,\n"
        "                          e.g. --color 10,0,20,0\n"
        "  --crop L,T,R,B          show only this part of the picture,\n"
        "                          e.g. --crop 0,0,176,144\n"
        "  --rate R                playback rate of a file, e.g. --rate 2\n"
        "  --size WxH              window size (default 640x480), e.g. --size 704x576\n"
        "  --fullscreen            start in full-screen mode\n"
        "  --pages                 open the property pages of the player's filters\n"
        "                          (source, decoder, colour adjuster) once the\n"
        "                          picture plays; offscreen, only name those filters\n"
        "\n"
        "Output and ending:\n"
        "  --capture FILE          save the picture as a 24-bit BMP once it plays,\n"
        "                          e.g. --capture /tmp/cap.bmp\n"
        "  --snapshot FILE         save the window's picture as a PNG at the end,\n"
        "                          e.g. --snapshot /tmp/win.png\n"
        "  --frames N              stop once the window showed N pictures, e.g. --frames 50\n"
        "  --seconds S             stop after S seconds, e.g. --seconds 10\n"
        "  --offscreen             no X11 window, even with a display\n"
        "  --quiet                 no statistics once a second\n"
        "\n"
        "Keys in the window: space pause/play, s step, + faster, - slower, c capture\n"
        "(tvplay-N.bmp), f full screen on/off, p the filters' property pages, q or\n"
        "Escape quit.\n"
        "\n"
        "Other modes:\n"
        "  --demo                  start a simulated device in this process, play its\n"
        "                          stream with overlays, record, capture, then play the\n"
        "                          recording back; ends by itself within a minute.\n"
        "                          --out DIR puts its files there (default: a new folder\n"
        "                          under /tmp), e.g. tvplay --demo --offscreen --out /tmp/d\n"
        "  --index FILE            build the frame index of a record file (its \".idx\"\n"
        "                          beside it) and print frames, GOP and duration,\n"
        "                          e.g. tvplay --index /tmp/clip.t264\n"
        "\n"
        "The registry is $TARVO_REGISTRY, else the build tree's or the installation's.\n"
        "Exit status: 0 when every step worked, 1 when one failed, 2 for a bad command line.\n");
}

bool ParseOptions(int argc, char** argv, PlayOptions& o, std::string& error)
{
    int sources = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        // The options that take a value.
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        auto bad = [&](const std::string& v) {
            error = "bad value for " + arg + ": \"" + v + "\"";
            return false;
        };
        std::string v;
        if (arg == "--help" || arg == "-h") {
            o.mode = RunMode::Help;
        } else if (arg == "--demo") {
            o.mode = RunMode::Demo;
        } else if (arg == "--index") {
            if (!value(o.file))
                return false;
            o.mode = RunMode::Index;
        } else if (arg == "--udp" || arg == "--tcp-server") {
            if (!value(v))
                return false;
            if (!ParseInt(v, o.port) || o.port <= 0 || o.port > 65535)
                return bad(v);
            o.connectType = arg == "--udp" ? 2 : 3;
            o.address = "0.0.0.0";
            ++sources;
        } else if (arg == "--multicast" || arg == "--tcp-client") {
            if (!value(v))
                return false;
            if (!ParseHostPort(v, o.address, o.port))
                return bad(v);
            o.connectType = arg == "--multicast" ? 1 : 4;
            ++sources;
        } else if (arg == "--format" || arg == "--play-mode") {
            if (!value(v))
                return false;
            if (!ParseInt(v, arg == "--format" ? o.formatType : o.playMode))
                return bad(v);
        } else if (arg == "--record" || arg == "--capture" || arg == "--snapshot" ||
                   arg == "--out") {
            if (!value(v))
                return false;
            (arg == "--record"    ? o.recordPath
             : arg == "--capture" ? o.capturePath
             : arg == "--out"     ? o.outDir
                                  : o.snapshotPath) = v;
        } else if (arg == "--text") {
            if (!value(v))
                return false;
            // X,Y,TEXT: the text may hold commas itself.
            size_t first = v.find(','),
                   second = first == std::string::npos ? std::string::npos : v.find(',', first + 1);
            TextOverlayOption t;
            if (second == std::string::npos || !ParseInt(v.substr(0, first), t.x) ||
                !ParseInt(v.substr(first + 1, second - first - 1), t.y) || second + 1 >= v.size())
                return bad(v);
            t.text = v.substr(second + 1);
            o.texts.push_back(t);
        } else if (arg == "--time") {
            if (!value(v))
                return false;
            int xy[2];
            if (!ParseInts(v, xy, 2))
                return bad(v);
            o.times.push_back({xy[0], xy[1]});
        } else if (arg == "--rect") {
            if (!value(v))
                return false;
            int r[5] = {0, 0, 0, 0, 0x0000FF};
            if (!ParseInts(v, r, 4) && !ParseInts(v, r, 5))
                return bad(v);
            o.rects.push_back({r[0], r[1], r[2], r[3], r[4]});
        } else if (arg == "--color" || arg == "--crop") {
            if (!value(v))
                return false;
            if (!ParseInts(v, arg == "--color" ? o.colour : o.crop, 4))
                return bad(v);
            (arg == "--color" ? o.colourSet : o.cropSet) = true;
        } else if (arg == "--rate" || arg == "--seconds") {
            if (!value(v))
                return false;
            char* end = nullptr;
            double d = std::strtod(v.c_str(), &end);
            if (v.empty() || *end != '\0' || !(d > 0))
                return bad(v);
            (arg == "--rate" ? o.rate : o.seconds) = d;
        } else if (arg == "--frames") {
            if (!value(v))
                return false;
            int n = 0;
            if (!ParseInt(v, n) || n <= 0)
                return bad(v);
            o.frames = n;
        } else if (arg == "--size") {
            if (!value(v))
                return false;
            size_t x = v.find('x');
            if (x == std::string::npos || !ParseInt(v.substr(0, x), o.width) ||
                !ParseInt(v.substr(x + 1), o.height) || o.width <= 0 || o.height <= 0 ||
                o.width > 8192 || o.height > 8192)
                return bad(v);
        } else if (arg == "--offscreen") {
            o.offscreen = true;
        } else if (arg == "--fullscreen") {
            o.fullScreen = true;
        } else if (arg == "--pages") {
            o.pages = true;
        } else if (arg == "--quiet") {
            o.statistics = false;
        } else if (!arg.empty() && arg[0] == '-') {
            error = "unknown option " + arg;
            return false;
        } else {
            o.file = arg;
            ++sources;
        }
    }
    if (o.mode == RunMode::Play && sources != 1) {
        error =
            sources == 0 ? "nothing to play: give a live source or a file" : "give only one source";
        return false;
    }
    if (o.mode == RunMode::Play && o.connectType == 0 && !o.recordPath.empty()) {
        error = "--record records a live stream; a file is already a recording";
        return false;
    }
    return true;
}
