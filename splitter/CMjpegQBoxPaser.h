// CMjpegQBoxPaser: record files of Motion JPEG in QBox (CodecKind 7). Each
// JPEG box is a key frame; reading it gives the box's JPEG and its timestamp,
// and the AAC boxes that follow it as ADTS frames.
//
// Threads and locks as for CBaseParserIndex.
#pragma once

#include "CBaseParserIndex.h"

class CMjpegQBoxPaser : public CBaseParserIndex {
public:
    static constexpr size_t kReadBufferSize = 0x100000;
    static constexpr size_t kAudioBufferSize = 512000;

    explicit CMjpegQBoxPaser(const ParserStreamSetup& setup);
    ~CMjpegQBoxPaser() override;

    // A box larger than the read buffer shows "HD264_QBox 缓存设置过小." and
    // ends the index.
    std::unique_ptr<ParsedFrame> ScanFrame(int64_t position) override;

protected:
    void DecodeSpan(std::span<uint8_t> span, bool reverse) override;
};
