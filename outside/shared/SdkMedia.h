// The media of the simulated device SDKs: the file the network SDK records
// and downloads into and the file player plays (a small header: the pictures
// themselves are drawn again from the device simulator's test pattern when
// they are shown), the YV12 pictures they show, and BMP files of them.
//
// Paths are the callers' (Windows or POSIX); they go through TvMapPath.
// Threads: pure functions, any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Display type of the pictures the SDKs hand out: planar 4:2:0, Y then V then U.
inline constexpr int kSdkPictureYv12 = 3;

struct SdkMediaInfo {
    int width = 352;
    int height = 288;
    int frameRate = 25;
    int frameCount = 250;
};

// The magic of the network SDK's and PlayM4's files, and of the H3C control's.
inline constexpr char kSdkMediaMagic[] = "TVSM";
inline constexpr char kH3cMediaMagic[] = "H3CM";

// 24 bytes: the 4-byte magic, version 1, width, height, frame rate, frame
// count (LE 32-bit).
bool SdkWriteMediaFile(const char* path, const SdkMediaInfo& info,
                       const char* magic = kSdkMediaMagic);
// False when the file is missing, too short, of another magic or holds an
// impossible size or rate.
bool SdkReadMediaFile(const char* path, SdkMediaInfo* info, const char* magic = kSdkMediaMagic);

// Frame `frame` of the test pattern as YV12 (width x height, both even).
std::vector<uint8_t> SdkDrawYv12(int width, int height, int64_t frame);
// A 24-bit bottom-up BMP file of a YV12 picture; false when the size does not
// match the buffer or the file cannot be written.
bool SdkWriteYv12Bmp(const uint8_t* yv12, size_t size, int width, int height, const char* path);
