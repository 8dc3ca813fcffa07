#include "CMpeg4Parser.h"

#include "CodecKind.h"
#include "ContainerKind.h"

CMpeg4Parser::CMpeg4Parser(const ParserStreamSetup& setup)
    : CBaseParserIndex(setup, kReadBufferSize, kReadBufferSize)
{
    m_tsParser.SetPacketSize(TSParser::kPacketSize);
    m_scan.codecKind = CodecMpeg4;
    if (m_containerKind == ContainerTransport)
        m_scan.tsPacketSize = TSParser::kPacketSize;
}

CMpeg4Parser::~CMpeg4Parser()
{
    StopIndexing();
}

std::unique_ptr<ParsedFrame> CMpeg4Parser::ScanFrame(int64_t position)
{
    return ScanWith(position, [this](const RecordWindow& w, ScannedFrame& f) {
        return ScanMpegFrame(w, m_scan, f);
    });
}

void CMpeg4Parser::DecodeSpan(std::span<uint8_t> span, bool)
{
    TakeFrameBytes(span);
}
