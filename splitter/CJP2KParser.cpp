#include "CJP2KParser.h"

#include "JP2KFieldHeader.h"
#include "ParserTrace.h"
#include "RecordFrameRead.h"
#include "RecordFrameScan.h"

namespace {

constexpr int64_t kTimeNotRead = -2;

} // namespace

CJP2KParser::CJP2KParser(const ParserStreamSetup& setup)
    : CBaseParserIndex(setup, kReadBufferSize, kScanChunk)
{
}

CJP2KParser::~CJP2KParser()
{
    StopIndexing();
}

std::unique_ptr<ParsedFrame> CJP2KParser::ScanFrame(int64_t position)
{
    return ScanWith(position,
                    [](const RecordWindow& w, ScannedFrame& f) { return ScanJP2KFrame(w, f); });
}

void CJP2KParser::DecodeSpan(std::span<uint8_t> span, bool)
{
    int64_t timeUs = 0;
    const size_t length = JP2KFrameExtent(span, timeUs);
    m_frame.data = length > 0 ? span.data() : nullptr;
    m_frame.videoLength = static_cast<int32_t>(length);
    m_frame.timestamp = timeUs * 10;
    if (length > 6 && (span[6] & 0x1F) != 0)
        m_frame.frameRate = span[6] & 0x1F;
}

int64_t CJP2KParser::FrameTimeUs(int32_t i)
{
    if (i < 0 || i >= FrameCount())
        return -1;
    if (m_times.size() <= static_cast<size_t>(i))
        m_times.resize(static_cast<size_t>(FrameCount()), kTimeNotRead);
    if (m_times[i] == kTimeNotRead) {
        uint8_t header[kJP2KFieldHeaderSize];
        JP2KFieldHeader field;
        m_times[i] =
            ReadAt(FramePosition(i), header, sizeof header) && ReadJP2KFieldHeader(header, field)
                ? field.CaptureTimeUs()
                : -1;
    }
    return m_times[i];
}

int CJP2KParser::SeekTime(int64_t microseconds)
{
    int result = -1;
    {
        CAutoLock lock(&m_lock);
        const int32_t count = FrameCount();
        const int64_t first = FrameTimeUs(0);
        if (!IsIndexing() && first >= 0) {
            for (int32_t i = 0; i < count; ++i) {
                const int64_t t = FrameTimeUs(i);
                if (t >= 0 && t - first >= microseconds - kSeekToleranceUs) {
                    m_current = i;
                    m_counter.Reset();
                    result = 0;
                    break;
                }
            }
        }
    }
    PARSERS_TRACE("%s SeekTime(%lld) = %d", FileName(), static_cast<long long>(microseconds),
                  result);
    return result;
}

int64_t CJP2KParser::GetPosition()
{
    CAutoLock lock(&m_lock);
    const int32_t count = FrameCount();
    const int64_t first = FrameTimeUs(0);
    if (first < 0)
        return 0;
    if (m_current >= count) {
        const int64_t last = FrameTimeUs(count - 1);
        return last >= first ? (last - first) * 10 : 0;
    }
    const int64_t now = FrameTimeUs(std::max(m_current, 0));
    return now >= first ? (now - first) * 10 : 0;
}

int64_t CJP2KParser::GetDuration()
{
    CAutoLock lock(&m_lock);
    const int64_t first = FrameTimeUs(0);
    const int64_t last = FrameTimeUs(FrameCount() - 1);
    return first >= 0 && last >= first ? last - first : 0;
}
