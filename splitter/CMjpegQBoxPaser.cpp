#include "CMjpegQBoxPaser.h"

#include "RecordFrameRead.h"
#include "RecordFrameScan.h"

CMjpegQBoxPaser::CMjpegQBoxPaser(const ParserStreamSetup& setup)
    : CBaseParserIndex(setup, kReadBufferSize, kReadBufferSize)
{
}

CMjpegQBoxPaser::~CMjpegQBoxPaser()
{
    StopIndexing();
}

std::unique_ptr<ParsedFrame> CMjpegQBoxPaser::ScanFrame(int64_t position)
{
    QBoxScanOptions options;
    options.motionJpeg = true;
    options.maxBoxSize = kReadBufferSize;
    return ScanWith(position, [&options](const RecordWindow& w, ScannedFrame& f) {
        return ScanQBoxFrame(w, options, f);
    });
}

void CMjpegQBoxPaser::DecodeSpan(std::span<uint8_t> span, bool reverse)
{
    size_t offset = 0, length = 0;
    const QBoxSpanContents contents =
        UnpackQBoxMjpegSpan(span, offset, length, m_audio, reverse ? 0 : kAudioBufferSize);
    m_frame.data = length > 0 ? span.data() + offset : nullptr;
    m_frame.videoLength = static_cast<int32_t>(length);
    m_frame.timestamp = contents.timestamp;
}
