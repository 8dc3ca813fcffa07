// Writes seed inputs for fuzz_jp2k_fields: the simulator's JPEG 2000 field
// pairs as the splitter cuts them, each behind the byte that picks the reduce
// level and the path, at two picture sizes. Usage: fuzz_jp2k_seeds DIR
#include "LiveCutter.h"
#include "tvdevsim/StreamGenerator.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    int written = 0;
    const int sizes[][2] = {{176, 144}, {704, 576}};
    for (const auto& size : sizes) {
        tvdevsim::GeneratorConfig config;
        config.kind = tvdevsim::SimKind::Jp2kFields;
        config.width = size[0];
        config.height = size[1];
        config.audio = false;
        tvdevsim::CStreamGenerator generator;
        if (!generator.Open(config)) {
            std::fprintf(stderr, "%s\n", generator.Error().c_str());
            return 1;
        }
        std::vector<uint8_t> stream;
        tvdevsim::StreamUnit unit;
        for (int frames = 0; frames < 4 && generator.Next(unit); ++frames)
            stream.insert(stream.end(), unit.bytes.begin(), unit.bytes.end());
        size_t at = 0;
        while (at < stream.size()) {
            const JP2KFrameCut cut = CutJP2KFrame(std::span<const uint8_t>(stream).subspan(at));
            if (cut.result == LiveCut::Video) {
                const std::string name =
                    std::string(argv[1]) + "/jp2k_" + std::to_string(written) + ".bin";
                FILE* f = std::fopen(name.c_str(), "wb");
                if (!f)
                    return 1;
                // Reduce levels 0 to 2; every other seed takes the decoder-alone path.
                const uint8_t first = static_cast<uint8_t>(written % 3 | (written & 1) << 7);
                std::fwrite(&first, 1, 1, f);
                std::fwrite(stream.data() + at + cut.frameOffset, 1, cut.frameLength, f);
                std::fclose(f);
                ++written;
            }
            if (cut.consumed == 0)
                break;
            at += cut.consumed;
        }
    }
    std::printf("%d seeds\n", written);
    return written ? 0 : 1;
}
