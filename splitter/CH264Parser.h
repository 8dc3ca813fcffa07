// CH264Parser: record files of the device H.264 streams (CodecKind 3): frames
// behind DeviceFrameHeaders with voice frames between them, or the same H.264
// as an elementary or 188-byte transport stream. Frames are cut at SPSs and
// picture slices (a field pair is one frame); voice payloads inside a frame are
// decoded into the frame's audio (16-bit PCM, 8000 Hz mono).
//
// Threads and locks as for CBaseParserIndex; the voice decoder is used on the
// delivery thread under m_lock.
#pragma once

#include "CBaseParserIndex.h"
#include "RecordFrameScan.h"
#include "VoiceDecoder.h"

class CH264Parser : public CBaseParserIndex {
public:
    static constexpr size_t kReadBufferSize = 512000;
    static constexpr size_t kAudioBufferSize = 512000;

    // Resets the voice decoder; a failure shows "音频解码初始化失败" (the parser
    // works on, and voice that fails to decode is dropped).
    explicit CH264Parser(const ParserStreamSetup& setup);
    ~CH264Parser() override;

    std::unique_ptr<ParsedFrame> ScanFrame(int64_t position) override;

protected:
    void DecodeSpan(std::span<uint8_t> span, bool reverse) override;

private:
    H264ScanOptions m_scan;
    CVoiceDecoder m_voice;
};
