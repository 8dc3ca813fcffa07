#include "CH264Parser.h"

#include "ContainerKind.h"
#include "RecordFrameRead.h"

#include "win32/msgbox.h"

CH264Parser::CH264Parser(const ParserStreamSetup& setup)
    : CBaseParserIndex(setup, kReadBufferSize, kReadBufferSize)
{
    if (m_containerKind == ContainerTransport) {
        m_scan.tsPacketSize = TSParser::kPacketSize;
        m_tsParser.SetPacketSize(TSParser::kPacketSize);
    } else {
        m_scan.deviceHeaders = true;
    }
    if (m_voice.ResetFailed())
        MessageBoxA(nullptr, "音频解码初始化失败", "TarvoSplt", MB_OK);
}

CH264Parser::~CH264Parser()
{
    StopIndexing();
}

std::unique_ptr<ParsedFrame> CH264Parser::ScanFrame(int64_t position)
{
    return ScanWith(position, [this](const RecordWindow& w, ScannedFrame& f) {
        return ScanH264Frame(w, m_scan, m_scanSps, f);
    });
}

void CH264Parser::DecodeSpan(std::span<uint8_t> span, bool reverse)
{
    if (m_containerKind == ContainerTransport) {
        TakeTransportPayload(span);
        return;
    }
    VoicePayloadFn voice;
    if (!reverse) {
        voice = [this](std::span<const uint8_t> payload) {
            m_voice.DecodeAppend(payload, m_audio, kAudioBufferSize);
        };
    }
    TakeWholeSpan(span.first(WalkDeviceFrame(span, voice)));
}
