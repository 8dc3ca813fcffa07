// CHDH264QBoxParser: record files of HD H.264 in QBox (CodecKind 6,
// ContainerKind 3). Each H.264 box is a frame; what follows it up to the next
// H.264 box (AAC boxes, the encoder's format headers) belongs to it. Reading a
// frame turns its H.264 boxes into start-code form and its AAC boxes into ADTS
// frames; the frame's timestamp is its (last) H.264 box's.
//
// Threads and locks as for CBaseParserIndex.
#pragma once

#include "CBaseParserIndex.h"

#include <vector>

class CHDH264QBoxParser : public CBaseParserIndex {
public:
    static constexpr size_t kReadBufferSize = 0x100000;
    static constexpr size_t kAudioBufferSize = 512000;

    explicit CHDH264QBoxParser(const ParserStreamSetup& setup);
    ~CHDH264QBoxParser() override;

    // A box larger than the read buffer shows "HD264_QBox 缓存设置过小." and
    // ends the index.
    std::unique_ptr<ParsedFrame> ScanFrame(int64_t position) override;

protected:
    void DecodeSpan(std::span<uint8_t> span, bool reverse) override;

private:
    std::vector<uint8_t> m_video; // guarded by m_lock
};
