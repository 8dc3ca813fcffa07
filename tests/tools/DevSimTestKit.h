// Helpers for the simulator tests: run a generator, take its streams apart with
// the formats code, decode pictures and sound with libavcodec, and small
// loopback sockets.
#pragma once

#include "tvdevsim/DeviceSimulator.h"
#include "tvdevsim/StreamGenerator.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace devsimtest {

// The whole stream of `frames` video frames (and the audio interleaved up to them).
std::vector<uint8_t> Generate(const tvdevsim::GeneratorConfig& config, int frames,
                              std::vector<tvdevsim::StreamUnit>* units = nullptr);

struct Decoded {
    int pictures = 0;
    int width = 0; // of the last picture
    int height = 0;
    int errors = 0;      // packets the decoder refused
    int64_t samples = 0; // audio: samples per channel
    int sampleRate = 0;
    int channels = 0;
};

// Each packet decoded on its own, then the decoder drained.
Decoded DecodePackets(const char* decoder, const std::vector<std::vector<uint8_t>>& packets);
// An elementary stream cut into packets by libavcodec's parser, then decoded.
Decoded DecodeElementary(const char* decoder, const std::vector<uint8_t>& es);

// The luma plane (width x height, no padding) of the first decoded picture.
std::vector<uint8_t> DecodeFirstLuma(const char* decoder,
                                     const std::vector<std::vector<uint8_t>>& packets, int& width,
                                     int& height);

// One voice frame's codec bytes, 8000 Hz mono, block_align = the byte count.
Decoded DecodeVoice(const char* decoder, std::span<const uint8_t> data);

std::vector<uint8_t> ReadFile(const std::string& path);
std::string TempPath(const std::string& name);

// A UDP socket bound to 127.0.0.1 on a free port.
int BindUdp(int& port);
// A TCP listener on 127.0.0.1 on a free port.
int ListenTcp(int& port);
// Reads a TCP connection until the peer closes it.
std::vector<uint8_t> ReadUntilClosed(int socket);
// Receives datagrams until `bytes` have come or nothing arrives for idleMs.
std::vector<std::vector<uint8_t>> ReceiveDatagrams(int socket, uint64_t bytes, int idleMs);

} // namespace devsimtest
