// TSParser program discovery, span reassembly and single-packet extraction.
#include "FuzzCheck.h"

#include "TSParser.h"

#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    SilenceStdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Kept across runs: each owns a 2 MB reassembly buffer.
    static TSParser probing;
    static TSParser fixed;
    if (size < 1)
        return 0;
    uint8_t control = data[0];
    std::span<const uint8_t> buffer(data + 1, size - 1);

    fixed.SetPacketSize((control & 1) ? 192 : 188);
    for (TSParser* ts : {&probing, &fixed}) {
        ts->SetVideoPid(-1);
        FUZZ_CHECK(ts->InitParser(buffer.data(), buffer.size()) == 0);
        bool found = ts->FindProgram();
        FUZZ_CHECK(ts->ProgramMapCount() <= TSParser::kMaxProgramMaps);
        if (found) {
            FUZZ_CHECK(ts->VideoPid() >= 0 && ts->VideoPid() < 0x2000);
            int32_t kind = ts->GetCodecKind();
            FUZZ_CHECK(kind == 1 || kind == 2 || kind == 3 || kind == 6);
        } else {
            ts->SetVideoPid(((control >> 1) & 0x1F) << 8 | (size > 2 ? data[1] : 0));
        }
        if (ts->ReassembleSpan())
            FUZZ_CHECK(ts->Payload().size() <= TSParser::kReassemblyBufferSize &&
                       ts->Payload().size() <= buffer.size());
    }
    for (size_t at = 0; at < buffer.size(); at += 188) {
        TsPacketPayload payload;
        std::span<const uint8_t> packet = buffer.subspan(at);
        if (TSParser::ExtractPacketPayload(packet, payload))
            FUZZ_CHECK(payload.offset + payload.length <= 188 && payload.offset >= 4);
    }
    return 0;
}
