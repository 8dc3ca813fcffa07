#include "CHDH264Parser.h"

#include "ContainerKind.h"

CHDH264Parser::CHDH264Parser(const ParserStreamSetup& setup)
    : CBaseParserIndex(setup, kReadBufferSize, kReadBufferSize)
{
    m_tsParser.SetPacketSize(TSParser::kTimestampedPacketSize);
    if (m_containerKind == ContainerTransport)
        m_scan.tsPacketSize = TSParser::kTimestampedPacketSize;
}

CHDH264Parser::~CHDH264Parser()
{
    StopIndexing();
}

std::unique_ptr<ParsedFrame> CHDH264Parser::ScanFrame(int64_t position)
{
    return ScanWith(position, [this](const RecordWindow& w, ScannedFrame& f) {
        return ScanH264Frame(w, m_scan, m_scanSps, f);
    });
}

void CHDH264Parser::DecodeSpan(std::span<uint8_t> span, bool)
{
    TakeFrameBytes(span);
}
