// Seeds for fuzz_mjpeg_frame, fuzz_audio_buffer, fuzz_voice_frame,
// fuzz_device_request, fuzz_protocol_response, fuzz_overlay_records and
// fuzz_overlay_packet, in the input layouts those targets read:
// fuzz_seed_writer OUTDIR writes one folder of each under OUTDIR.
#include "Adts.h"
#include "DeviceFrameHeader.h"
#include "JpegTestImages.h"
#include "COverlayList.h"
#include "OverlayRecord.h"
#include "QBox.h"
#include "VoiceFrame.h"
#include "tvdevice/DeviceModel.h"
#include "tvprotocol/CommandCatalogue.h"
#include "tvprotocol/Transport.h"
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
    for (const char* dir : {"mjpeg", "aac", "voice", "request", "response", "records", "packet"})
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
    // Interlaced frames: a top and a bottom field of 64 x 24 woven into 64 x 48,
    // and a lone top field of 101 x 19 (the larger half of 37 rows), which is
    // line-doubled.
    {
        std::vector<uint8_t> seed = {1, 0};
        const std::vector<uint8_t> field = EncodeJpeg(64, 24, JpegKind::Colour, 50);
        for (int i = 0; i < 2; ++i)
            seed.insert(seed.end(), field.begin(), field.end());
        Write(out / "mjpeg" / ("jpeg" + std::to_string(n++)), seed);
        seed = {2, 0};
        const std::vector<uint8_t> top = EncodeJpeg(101, 19, JpegKind::Colour, 50);
        seed.insert(seed.end(), top.begin(), top.end());
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
    // Device requests: each get the device answers with data, and the set
    // beside it (the next command code) carrying those data back, as the
    // console sends them.
    tvdevice::CDeviceModel model;
    for (uint16_t command = 0; command < 0x0600; ++command) {
        const tvdevice::DeviceResponse answer = model.Handle(command, nullptr, 0);
        if (answer.kind != 2)
            continue;
        Write(out / "request" / ("get" + std::to_string(command)),
              {static_cast<uint8_t>(command), static_cast<uint8_t>(command >> 8)});
        std::vector<uint8_t> set = {static_cast<uint8_t>(command + 1),
                                    static_cast<uint8_t>((command + 1) >> 8)};
        set.insert(set.end(), answer.payload.begin(), answer.payload.end());
        Write(out / "request" / ("set" + std::to_string(command + 1)), set);
    }
    // Device responses, behind the command's index in the catalogue: what a
    // fresh device answers to each command.
    size_t commandCount = 0;
    const tvprotocol::CommandInfo* table = tvprotocol::CommandTable(&commandCount);
    for (size_t i = 0; i < commandCount; ++i) {
        const tvdevice::DeviceResponse answer = model.Handle(table[i].code, nullptr, 0);
        std::vector<uint8_t> frame(answer.payload.size() + 64);
        frame.resize(tvprotocol::BuildFrame(frame.data(), answer.kind, table[i].code,
                                            answer.payload.data(), answer.payload.size()));
        std::vector<uint8_t> seed = {static_cast<uint8_t>(i)};
        seed.insert(seed.end(), frame.begin(), frame.end());
        Write(out / "response" / ("command" + std::to_string(table[i].code)), seed);
    }

    // Overlay records of every shape the application can add.
    COverlayList list;
    LOGFONTA font{};
    font.lfHeight = 16;
    LONG id = 0;
    list.AddTextOverlay("Gate 3", 6, 255, 255, 255, font, 8, 8, &id);
    list.AddSysTimeOverlay(255, 255, 0, font, 8, 40, &id);
    list.AddRectangleOverlay(255, 0, 0, 10, 10, 60, 40, &id);
    list.AddCircleOverlay(0, 255, 0, 80, 80, 20, &id);
    list.AddEllipseOverlay(0, 0, 255, 20, 60, 90, 100, &id);
    const POINT points[] = {{5, 5}, {50, 10}, {30, 60}};
    list.AddPolygonOverlay(255, 0, 255, points, 3, &id);
    std::vector<BYTE> records;
    list.ForEach([&](const COverlayItem& item) { OverlayWriteRecord(item, &records); });
    Write(out / "records" / "shapes", records);

    // One overlay packet: the output size (176 x 144) and the 128 bytes.
    std::vector<uint8_t> packet = {0x57, 0x00, 0x8F, 0x00, '>', '>', '>', '>'};
    packet.resize(4 + 128, 0);
    Write(out / "packet" / "empty", packet);
    std::cout << "seeds written to " << out << "\n";
    return 0;
}
