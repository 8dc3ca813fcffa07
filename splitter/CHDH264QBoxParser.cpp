#include "CHDH264QBoxParser.h"

#include "RecordFrameRead.h"
#include "RecordFrameScan.h"

CHDH264QBoxParser::CHDH264QBoxParser(const ParserStreamSetup& setup)
    : CBaseParserIndex(setup, kReadBufferSize, kReadBufferSize)
{
    m_video.reserve(kReadBufferSize);
}

CHDH264QBoxParser::~CHDH264QBoxParser()
{
    StopIndexing();
}

std::unique_ptr<ParsedFrame> CHDH264QBoxParser::ScanFrame(int64_t position)
{
    QBoxScanOptions options;
    options.maxBoxSize = kReadBufferSize;
    return ScanWith(position, [&options](const RecordWindow& w, ScannedFrame& f) {
        return ScanQBoxFrame(w, options, f);
    });
}

void CHDH264QBoxParser::DecodeSpan(std::span<uint8_t> span, bool reverse)
{
    m_video.clear();
    const QBoxSpanContents contents =
        UnpackQBoxH264Span(span, m_video, m_audio, reverse ? 0 : kAudioBufferSize);
    m_frame.data = m_video.data();
    m_frame.videoLength = static_cast<int32_t>(m_video.size());
    m_frame.timestamp = contents.timestamp;
}
