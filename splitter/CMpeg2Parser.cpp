#include "CMpeg2Parser.h"

#include "CodecKind.h"
#include "ContainerKind.h"

CMpeg2Parser::CMpeg2Parser(const ParserStreamSetup& setup)
    : CBaseParserIndex(setup, kReadBufferSize, kReadBufferSize)
{
    m_tsParser.SetPacketSize(TSParser::kPacketSize);
    m_scan.codecKind = CodecMpeg2;
    if (m_containerKind == ContainerTransport)
        m_scan.tsPacketSize = TSParser::kPacketSize;
}

CMpeg2Parser::~CMpeg2Parser()
{
    StopIndexing();
}

std::unique_ptr<ParsedFrame> CMpeg2Parser::ScanFrame(int64_t position)
{
    return ScanWith(position, [this](const RecordWindow& w, ScannedFrame& f) {
        return ScanMpegFrame(w, m_scan, f);
    });
}

void CMpeg2Parser::DecodeSpan(std::span<uint8_t> span, bool)
{
    TakeFrameBytes(span);
}
