// CHDH264Parser: record files of HD H.264 (CodecKind 6) as an elementary
// stream or a 192-byte transport stream. Frames are cut at SPSs and picture
// slices; in a transport stream they start and end at packet starts and are
// read as the video PID's reassembled payload.
//
// Threads and locks as for CBaseParserIndex.
#pragma once

#include "CBaseParserIndex.h"
#include "RecordFrameScan.h"

class CHDH264Parser : public CBaseParserIndex {
public:
    static constexpr size_t kReadBufferSize = 0x100000;

    explicit CHDH264Parser(const ParserStreamSetup& setup);
    ~CHDH264Parser() override;

    std::unique_ptr<ParsedFrame> ScanFrame(int64_t position) override;

protected:
    void DecodeSpan(std::span<uint8_t> span, bool reverse) override;

private:
    H264ScanOptions m_scan;
};
