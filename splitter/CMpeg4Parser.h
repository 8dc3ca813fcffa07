// CMpeg4Parser: record files of MPEG-4 video (CodecKind 2), elementary or in a
// 188-byte transport stream. A frame is a VOP with the visual object sequence
// and video object layer headers in front of it, if any (which make it a key
// frame).
//
// Threads and locks as for CBaseParserIndex.
#pragma once

#include "CBaseParserIndex.h"
#include "RecordFrameScan.h"

class CMpeg4Parser : public CBaseParserIndex {
public:
    static constexpr size_t kReadBufferSize = 512000;

    explicit CMpeg4Parser(const ParserStreamSetup& setup);
    ~CMpeg4Parser() override;

    std::unique_ptr<ParsedFrame> ScanFrame(int64_t position) override;

protected:
    void DecodeSpan(std::span<uint8_t> span, bool reverse) override;

private:
    MpegScanOptions m_scan;
};
