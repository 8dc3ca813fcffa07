// tvplay's command line: what to play, and what to do while it plays.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

struct TextOverlayOption {
    int x = 0;
    int y = 0;
    std::string text;
};

struct PointOption {
    int x = 0;
    int y = 0;
};

struct RectOverlayOption {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int colour = 0x0000FF; // 0x00BBGGRR
};

enum class RunMode { Play, Demo, Index, Help };

struct PlayOptions {
    RunMode mode = RunMode::Play;

    // The source: a live stream (connectType 1 multicast, 2 UDP, 3 TCP server,
    // 4 TCP client, as TP_OpenStream takes them) or a record file.
    int connectType = 0; // 0: a file
    std::string address;
    int port = 0;
    std::string file;
    int formatType = 3; // CodecKind of the live stream
    int playMode = 0;

    // The window.
    int width = 640;
    int height = 480;
    bool offscreen = false;
    bool fullScreen = false;

    // On the picture, once it plays.
    std::vector<TextOverlayOption> texts;
    std::vector<PointOption> times;
    std::vector<RectOverlayOption> rects;
    bool colourSet = false;
    int colour[4] = {0, 0, 0, 0}; // brightness, contrast, saturation, hue
    bool cropSet = false;
    int crop[4] = {0, 0, 0, 0}; // left, top, right, bottom
    double rate = 0;            // 0: unchanged
    bool pages = false;         // open the filters' property pages

    // Output.
    std::string recordPath; // live: the record file
    std::string capturePath;
    std::string snapshotPath;
    long frames = 0;    // stop once the window showed this many pictures (0: no limit)
    double seconds = 0; // stop after this long (0: no limit)
    bool statistics = true;

    std::string outDir; // --demo: where the files go
};

// Parses argv. False with a message in `error` for a command line that does not
// make sense.
bool ParseOptions(int argc, char** argv, PlayOptions& options, std::string& error);
void PrintUsage(FILE* out);
