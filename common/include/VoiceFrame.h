// The payload of a device voice frame: what follows a DeviceFrameHeader whose
// voice flag is set (40-byte layout: byte 5 bit 3; 36-byte layout: byte 4 bit 0).
// The device simulator writes it; the voice decoder stand-in reads it and hands
// the codec bytes to libavcodec. Every frame decodes to 16-bit PCM, 8000 Hz mono,
// at most kVoiceMaxSamples samples (the live path decodes into 800 samples).
//
//  off  size
//   0    1   marker 'V' (0x56)
//   1    1   codec: 1 G.711 mu-law, 2 G.711 A-law, 3 IMA ADPCM (one WAV block)
//   2    2   number of samples the frame decodes to (little-endian, 1..800)
//   4    2   length of the codec bytes that follow (little-endian)
//   6    2   sequence number (little-endian, +1 per voice frame, wraps)
//   8    n   codec bytes
//
// Codec bytes: G.711 one byte per sample (n = samples). IMA ADPCM: one mono
// block as WAV stores it (libavcodec "adpcm_ima_wav" with block_align = n and
// bits_per_coded_sample = 4, 8000 Hz mono): a
// 4-byte head (predictor int16 LE, step index 0..88, a zero byte), then two
// samples per byte, low nibble first; the head's predictor is the first sample,
// so samples = 2 x (n - 4) + 1.
//
// Pure inline functions over caller-owned bytes; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

inline constexpr uint8_t kVoiceFrameMarker = 0x56;
inline constexpr size_t kVoiceFrameHeaderSize = 8;
inline constexpr uint32_t kVoiceSampleRate = 8000;
inline constexpr uint16_t kVoiceMaxSamples = 800;

enum class VoiceCodec : uint8_t {
    MuLaw = 1,
    ALaw = 2,
    ImaAdpcm = 3,
};

struct VoiceFrameInfo {
    VoiceCodec codec = VoiceCodec::MuLaw;
    uint16_t samples = 0;
    uint16_t dataLength = 0;
    uint16_t sequence = 0;
};

// Codec-byte count that carries `samples` samples; 0 when the count cannot be
// carried (ADPCM needs an odd count of at least 3).
inline size_t VoiceDataLength(VoiceCodec codec, uint16_t samples)
{
    switch (codec) {
    case VoiceCodec::MuLaw:
    case VoiceCodec::ALaw:
        return samples;
    case VoiceCodec::ImaAdpcm:
        return (samples >= 3 && (samples & 1) == 1) ? 4 + (samples - 1) / 2 : 0;
    }
    return 0;
}

// Reads and checks the header: marker, a known codec, 1..800 samples, a data
// length that matches the codec and the sample count and lies within bytes.
inline bool ReadVoiceFrame(std::span<const uint8_t> bytes, VoiceFrameInfo& out,
                           std::span<const uint8_t>* data = nullptr)
{
    if (bytes.size() < kVoiceFrameHeaderSize || bytes[0] != kVoiceFrameMarker)
        return false;
    if (bytes[1] < 1 || bytes[1] > 3)
        return false;
    VoiceFrameInfo info;
    info.codec = static_cast<VoiceCodec>(bytes[1]);
    info.samples = static_cast<uint16_t>(bytes[2] | (bytes[3] << 8));
    info.dataLength = static_cast<uint16_t>(bytes[4] | (bytes[5] << 8));
    info.sequence = static_cast<uint16_t>(bytes[6] | (bytes[7] << 8));
    if (info.samples == 0 || info.samples > kVoiceMaxSamples)
        return false;
    if (VoiceDataLength(info.codec, info.samples) != info.dataLength)
        return false;
    if (bytes.size() - kVoiceFrameHeaderSize < info.dataLength)
        return false;
    out = info;
    if (data)
        *data = bytes.subspan(kVoiceFrameHeaderSize, info.dataLength);
    return true;
}

// Appends header and codec bytes; false (nothing appended) when the data length
// does not match the codec and sample count.
inline bool AppendVoiceFramePayload(std::vector<uint8_t>& out, VoiceCodec codec, uint16_t samples,
                                    uint16_t sequence, std::span<const uint8_t> data)
{
    if (samples == 0 || samples > kVoiceMaxSamples ||
        VoiceDataLength(codec, samples) != data.size())
        return false;
    const uint8_t head[kVoiceFrameHeaderSize] = {
        kVoiceFrameMarker,
        static_cast<uint8_t>(codec),
        static_cast<uint8_t>(samples),
        static_cast<uint8_t>(samples >> 8),
        static_cast<uint8_t>(data.size()),
        static_cast<uint8_t>(data.size() >> 8),
        static_cast<uint8_t>(sequence),
        static_cast<uint8_t>(sequence >> 8),
    };
    out.insert(out.end(), head, head + kVoiceFrameHeaderSize);
    out.insert(out.end(), data.begin(), data.end());
    return true;
}
