// Seeds for fuzz_mjpeg_frame, fuzz_audio_buffer and fuzz_voice_frame, in the
// input layouts those targets read: fuzz_seed_writer OUTDIR writes
// OUTDIR/mjpeg, OUTDIR/aac and OUTDIR/voice.
#include "Adts.h"
#include "DeviceFrameHeader.h"
#include "JpegTestImages.h"
#include "QBox.h"
#include "VoiceFrame.h"
#include "tvdevsim/StreamGenerator.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

namespace {

void Write(const std::filesystem::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

std::vector<tvdevsim::StreamUnit> AudioUnits(tvdevsim::SimKind kind, VoiceCodec codec, size_t count)
{
    tvdevsim::GeneratorConfig config;
    config.kind = kind;
    config.width = 64;
    config.height = 64;
    config.voiceCodec = codec;
    tvdevsim::CStreamGenerator generator;
    std::vector<tvdevsim::StreamUnit> units;
    if (!generator.Open(config))
        return units;
    tvdevsim::StreamUnit unit;
    while (units.size() < count && generator.Next(unit))
        if (!unit.video)
            units.push_back(unit);
    return units;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: fuzz_seed_writer OUTDIR\n";
        return 2;
    }
    const std::filesystem::path out = argv[1];
    for (const char* dir : {"mjpeg", "aac", "voice"})
        std::filesystem::create_directories(out / dir);

    // Byte 0 the size index of FuzzMjpegFrame.cpp, byte 1 0 (the whole picture).
    const struct {
        int index, width, height;
        JpegKind kind;
    } jpegs[] = {{0, 16, 16, JpegKind::Colour}, {1, 64, 48, JpegKind::Colour},
                 {2, 101, 37, JpegKind::Grey},  {3, 176, 144, JpegKind::Progressive},
                 {1, 64, 48, JpegKind::Cmyk},   {5, 320, 240, JpegKind::Colour}};
    int n = 0;
    for (const auto& j : jpegs) {
        std::vector<uint8_t> seed = {static_cast<uint8_t>(j.index), 0};
        const std::vector<uint8_t> jpeg = EncodeJpeg(j.width, j.height, j.kind, 50);
        seed.insert(seed.end(), jpeg.begin(), jpeg.end());
        Write(out / "mjpeg" / ("jpeg" + std::to_string(n++)), seed);
    }

    // AAC blocks of one to four ADTS frames each, behind the 3-byte block head.
    std::vector<uint8_t> aac;
    const auto aacUnits = AudioUnits(tvdevsim::SimKind::QBoxH264, VoiceCodec::MuLaw, 8);
    for (size_t i = 0; i < aacUnits.size();) {
        std::vector<uint8_t> block;
        for (size_t k = 0; k <= i % 4 && i < aacUnits.size(); ++k, ++i) {
            QBoxWalker walker(aacUnits[i].bytes);
            QBoxRef box;
            while (walker.Next(box))
                AppendQBoxAacAsAdts(box, block);
        }
        aac.push_back(static_cast<uint8_t>(block.size() >> 8));
        aac.push_back(static_cast<uint8_t>(block.size()));
        aac.push_back(static_cast<uint8_t>(i % 3 == 0 ? 0 : 40));
        aac.insert(aac.end(), block.begin(), block.end());
    }
    Write(out / "aac" / "adts", aac);

    // Voice frames of each codec, with room for 800 samples.
    n = 0;
    for (VoiceCodec codec : {VoiceCodec::MuLaw, VoiceCodec::ALaw, VoiceCodec::ImaAdpcm}) {
        for (const auto& unit : AudioUnits(tvdevsim::SimKind::Device40, codec, 2)) {
            DeviceFrameHeader header;
            if (!ReadDeviceFrameHeader(unit.bytes, header))
                continue;
            std::vector<uint8_t> seed = {0x20, 0x03};
            seed.insert(seed.end(),
                        unit.bytes.begin() + static_cast<ptrdiff_t>(header.HeaderSize()),
                        unit.bytes.end());
            Write(out / "voice" / ("voice" + std::to_string(n++)), seed);
        }
    }
    std::cout << "seeds written to " << out << "\n";
    return 0;
}
