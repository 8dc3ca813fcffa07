// CMpeg2Parser: record files of MPEG-2 video (CodecKind 1), elementary or in a
// 188-byte transport stream. A frame is a picture with the sequence header in
// front of it, if any (which makes it a key frame).
//
// Threads and locks as for CBaseParserIndex.
#pragma once

#include "CBaseParserIndex.h"
#include "RecordFrameScan.h"

class CMpeg2Parser : public CBaseParserIndex {
public:
    static constexpr size_t kReadBufferSize = 512000;

    explicit CMpeg2Parser(const ParserStreamSetup& setup);
    ~CMpeg2Parser() override;

    std::unique_ptr<ParsedFrame> ScanFrame(int64_t position) override;

protected:
    void DecodeSpan(std::span<uint8_t> span, bool reverse) override;

private:
    MpegScanOptions m_scan;
};
