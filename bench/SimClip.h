// The stream the splitter and record-file benchmarks share: 1080p device
// H.264 (40-byte frame headers, voice frames between the pictures) at
// 8 Mbit/s from the device simulator's encoder, 25 frames a second.
#pragma once

#include "tvdevsim/StreamGenerator.h"

#include <cstdint>
#include <vector>

// The first videoFrames pictures as the simulator's units, with the voice
// frames between them; empty when the encoder cannot be opened.
std::vector<tvdevsim::StreamUnit> DeviceUnits1080p(int videoFrames);

// The same units' bytes end to end.
struct DeviceClip {
    std::vector<uint8_t> bytes;
    int videoFrames = 0;
};
DeviceClip DeviceClip1080p(int videoFrames);
