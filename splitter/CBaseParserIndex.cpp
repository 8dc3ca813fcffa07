#include "CBaseParserIndex.h"

#include "CodecKind.h"
#include "ContainerKind.h"
#include "ParserTrace.h"

#include "win32/file.h"
#include "win32/path.h"

#include <cstdio>
#include <cstring>

namespace {

// Each reverse-play wait for the GOP length.
constexpr DWORD kGopWaitMs = 40;

void PrintIndexMessage(const char* text)
{
    std::fputs(text, stdout);
    std::fflush(stdout);
}

} // namespace

CBaseParserIndex::CBaseParserIndex(const ParserStreamSetup& setup, size_t readBufferSize,
                                   size_t scanChunk)
    : CBaseParser(setup), m_readBufferSize(readBufferSize), m_window(scanChunk, 5)
{
    m_readBuffer.reset(new (std::nothrow) uint8_t[readBufferSize]);
    m_positions.reset(new (std::nothrow) int64_t[kRecordIndexMaxEntries]);
    m_types.reset(new (std::nothrow) uint8_t[kRecordIndexMaxEntries]);
    // Slice headers are read the way the stream's own SPS lays them out.
    if (IsH264Kind(m_codecKind)) {
        const uint8_t* sh = m_sequenceHeader;
        for (size_t i = 0; i + 4 < m_sequenceHeaderLength; ++i) {
            if (sh[i] == 0 && sh[i + 1] == 0 && sh[i + 2] == 1 && !(sh[i + 3] & 0x80) &&
                (sh[i + 3] & 0x1F) == kNalSps) {
                ParseH264Sps(std::span<const uint8_t>(sh + i + 4, m_sequenceHeaderLength - i - 4),
                             m_scanSps);
                break;
            }
        }
    }
}

CBaseParserIndex::~CBaseParserIndex()
{
    StopIndexing();
}

// ---- opening and the index file ----

int CBaseParserIndex::Open(IAsyncReader* reader)
{
    int result = -1;
    if (reader && m_readBuffer && m_positions && m_types && MakeIndexName(m_fileName) == 0) {
        StopIndexing();
        m_stop = false;
        CBaseParser::Open(reader);
        Reset();
        LoadIndex(m_fileName);
        result = 0;
    }
    PARSERS_TRACE("%s Open(%p) = %d", m_fileName, static_cast<void*>(reader), result);
    return result;
}

int CBaseParserIndex::MakeIndexName(const char* mediaName)
{
    m_indexName = MakeRecordIndexName(mediaName ? mediaName : "");
    return m_indexName.empty() ? -1 : 0;
}

int CBaseParserIndex::LoadIndex(const char* mediaName)
{
    if (MakeIndexName(mediaName) != 0 || !m_reader)
        return BuildIndex();
    FILE* file = TvFopen(m_indexName.c_str(), "rb");
    if (!file)
        return BuildIndex();
    LONGLONG total = 0, available = 0;
    if (FAILED(m_reader->Length(&total, &available)))
        total = -1;
    RecordIndexExpectation expect;
    expect.fileLength = total;
    expect.codecKind = m_codecKind;
    expect.containerKind = m_containerKind;
    auto read = [file](int64_t position, uint8_t* out, size_t length) -> size_t {
        if (std::fseek(file, static_cast<long>(position), SEEK_SET) != 0)
            return 0;
        return std::fread(out, 1, length, file);
    };
    RecordIndexHeader header;
    IndexCheck check = LoadRecordIndex(read, expect, header, m_positions.get(), m_types.get());
    std::fclose(file);
    PARSERS_TRACE("%s LoadIndex(%s) = check %d", m_fileName, m_indexName.c_str(),
                  static_cast<int>(check));
    if (check != IndexCheck::Ok) {
        PrintIndexMessage(IndexCheckMessage(check));
        return BuildIndex();
    }
    m_frameDuration = header.frameDuration;
    m_width = header.width;
    m_height = header.height;
    m_videoPid = header.videoPid;
    m_bFrames.store(header.bFrames, std::memory_order_relaxed);
    m_pFrames.store(header.pFrames, std::memory_order_relaxed);
    m_gopLength.store(header.gopLength, std::memory_order_release);
    m_count.store(header.entryCount - 1, std::memory_order_release);
    m_complete.store(true, std::memory_order_release);
    m_scanTotal.store(total, std::memory_order_relaxed);
    m_scanned.store(total, std::memory_order_relaxed);
    m_source.store(IndexSource::Loaded, std::memory_order_release);
    return 0;
}

int CBaseParserIndex::BuildIndex()
{
    m_count.store(0, std::memory_order_release);
    m_complete.store(false, std::memory_order_release);
    m_gopLength.store(0, std::memory_order_release);
    m_scanned.store(0, std::memory_order_relaxed);
    m_source.store(IndexSource::Built, std::memory_order_release);
    m_stop = false;
    m_indexing = true;
    if (!StartIndexThread())
        m_indexing = false;
    PARSERS_TRACE("%s BuildIndex() = 1 (thread %s)", m_fileName,
                  m_indexing ? "started" : "not started");
    return 1;
}

bool CBaseParserIndex::StartIndexThread()
{
    m_thread = CreateThread(nullptr, 0, ThreadEntry, this, 0, nullptr);
    return m_thread != nullptr;
}

DWORD CBaseParserIndex::ThreadEntry(LPVOID param)
{
    return static_cast<CBaseParserIndex*>(param)->IndexThreadProc();
}

void CBaseParserIndex::StopIndexing()
{
    m_stop = true;
    if (m_thread) {
        WaitForSingleObject(m_thread, INFINITE);
        CloseHandle(m_thread);
        m_thread = nullptr;
    }
    m_indexing = false;
}

bool CBaseParserIndex::IsIndexing()
{
    return m_indexing.load();
}

DWORD CBaseParserIndex::IndexThreadProc()
{
    LONGLONG total = 0, available = 0;
    if (!m_reader || !m_positions || !m_types || FAILED(m_reader->Length(&total, &available))) {
        PrintIndexMessage("invalid param");
        m_indexing = false;
        return 0;
    }
    PARSERS_TRACE("%s index thread: scanning %lld bytes", m_fileName,
                  static_cast<long long>(total));
    // A recording in progress grows: the index covers the bytes there were when
    // it started, and its file records that length.
    m_scanTotal.store(total, std::memory_order_relaxed);
    m_window.Attach([this](int64_t position, uint8_t* out,
                           size_t length) { return ReadAt(position, out, length); },
                    total);
    int32_t count = 0;
    int32_t firstKey = -1;
    int32_t bCount = 0, pCount = 0;
    int64_t position = 0;
    bool stopped = false;
    while (count < kRecordIndexMaxFrames) {
        std::unique_ptr<ParsedFrame> frame = ScanFrame(position);
        if (!frame)
            break;
        if (m_stop) {
            stopped = true;
            break;
        }
        if (m_gopLength.load(std::memory_order_relaxed) <= 0) {
            if (frame->frameType == 1) {
                if (firstKey < 0) {
                    firstKey = count;
                    bCount = pCount = 0;
                } else {
                    m_bFrames.store(bCount, std::memory_order_relaxed);
                    m_pFrames.store(pCount, std::memory_order_relaxed);
                    m_gopLength.store(count - firstKey, std::memory_order_release);
                }
            } else if (firstKey >= 0) {
                pCount += frame->frameType == 2 ? 1 : 0;
                bCount += frame->frameType == 3 ? 1 : 0;
            }
        }
        m_positions[count] = frame->filePosition;
        m_types[count] = static_cast<uint8_t>(frame->frameType);
        ++count;
        m_count.store(count, std::memory_order_release);
        position = frame->filePosition + frame->videoLength;
        m_scanned.store(position, std::memory_order_relaxed);
    }
    if (m_stop)
        stopped = true;
    if (stopped) {
        PARSERS_TRACE("%s index thread: stopped after %d frames", m_fileName, count);
    } else {
        // A scan that reached the end of the file ends the last frame there (what
        // follows the last frame, such as audio boxes, belongs to it); a scan
        // that stopped early ends it where it was found to end.
        const bool atEnd = m_scanEnd == RecordScanResult::End && count < kRecordIndexMaxFrames;
        if (m_gopLength.load(std::memory_order_relaxed) <= 0) {
            // A file that ends before its second key frame is one GOP long.
            m_bFrames.store(bCount, std::memory_order_relaxed);
            m_pFrames.store(pCount, std::memory_order_relaxed);
        }
        FinishIndex(atEnd ? total : position, firstKey);
        RecordIndexHeader header;
        header.fileLength = total;
        header.frameDuration = m_frameDuration;
        header.entryCount = count + 1;
        header.gopLength = GopLength();
        header.bFrames = BFramesPerGop();
        header.pFrames = PFramesPerGop();
        header.width = m_width;
        header.height = m_height;
        header.containerKind = m_containerKind;
        header.codecKind = m_codecKind;
        header.videoPid = m_videoPid;
        const bool saved = SaveIndex(header);
        PARSERS_TRACE("%s index thread: %d frames, GOP %d (B %d, P %d), index file %s", m_fileName,
                      count, header.gopLength, header.bFrames, header.pFrames,
                      saved ? "written" : "not written");
    }
    m_indexing = false;
    return 0;
}

void CBaseParserIndex::FinishIndex(int64_t endPosition, int32_t firstKey)
{
    const int32_t count = m_count.load(std::memory_order_relaxed);
    m_positions[count] = endPosition;
    m_types[count] = 0;
    if (m_gopLength.load(std::memory_order_relaxed) <= 0)
        m_gopLength.store(std::max(count - std::max(firstKey, 0), 1), std::memory_order_release);
    m_scanned.store(m_scanTotal.load(std::memory_order_relaxed), std::memory_order_relaxed);
    m_complete.store(true, std::memory_order_release);
}

bool CBaseParserIndex::SaveIndex(const RecordIndexHeader& header)
{
    // Written under another name and renamed when complete, so that a reader of
    // the index never sees half of one.
    const std::string temporary = m_indexName + ".part";
    FILE* file = TvFopen(temporary.c_str(), "wb");
    if (!file)
        return false;
    auto write = [file](const uint8_t* bytes, size_t length) {
        return std::fwrite(bytes, 1, length, file) == length;
    };
    bool ok = WriteRecordIndex(write, header, m_positions.get(), m_types.get());
    ok = std::fclose(file) == 0 && ok;
    const std::string from = TvMapPath(temporary.c_str());
    if (ok)
        ok = std::rename(from.c_str(), TvMapPath(m_indexName.c_str()).c_str()) == 0;
    if (!ok)
        std::remove(from.c_str());
    return ok;
}

// ---- positions and rates ----

int32_t CBaseParserIndex::BFramesPerGop() const
{
    return GopLength() > 0 ? m_bFrames.load(std::memory_order_relaxed) : 0;
}

int32_t CBaseParserIndex::PFramesPerGop() const
{
    return GopLength() > 0 ? m_pFrames.load(std::memory_order_relaxed) : 0;
}

int CBaseParserIndex::IndexProgress() const
{
    if (m_complete.load(std::memory_order_acquire))
        return 100;
    const int64_t total = m_scanTotal.load(std::memory_order_relaxed);
    const int64_t done = m_scanned.load(std::memory_order_relaxed);
    if (total <= 0)
        return 0;
    return static_cast<int>(std::clamp<int64_t>(done * 100 / total, 0, 99));
}

int32_t CBaseParserIndex::ReadableFrames() const
{
    if (m_complete.load(std::memory_order_acquire))
        return m_count.load(std::memory_order_acquire);
    return std::max(m_count.load(std::memory_order_acquire) - 1, 0);
}

int CBaseParserIndex::SeekTime(int64_t microseconds)
{
    int result = -1;
    {
        CAutoLock lock(&m_lock);
        const int32_t count = FrameCount();
        const int32_t gop = GopLength();
        if (!IsIndexing() && m_frameDuration > 0 && gop > 0 && count > 0) {
            const int64_t target = microseconds * 10 / m_frameDuration;
            if (target <= count) {
                int32_t i = static_cast<int32_t>(std::clamp<int64_t>(target, 0, count - 1));
                int32_t key = i;
                while (key >= 0 && m_types[key] != 1)
                    --key;
                if (key < 0) {
                    key = i;
                    while (key < count && m_types[key] != 1)
                        ++key;
                }
                if (key < count) {
                    m_current = key;
                    m_counter.Reset();
                }
                result = 0;
            }
        }
    }
    PARSERS_TRACE("%s SeekTime(%lld) = %d", m_fileName, static_cast<long long>(microseconds),
                  result);
    return result;
}

int64_t CBaseParserIndex::GetPosition()
{
    CAutoLock lock(&m_lock);
    return static_cast<int64_t>(std::max(m_current, 0)) * m_frameDuration;
}

int64_t CBaseParserIndex::GetDuration()
{
    return static_cast<int64_t>(m_frameDuration) * FrameCount() / 10;
}

void CBaseParserIndex::Reset()
{
    CAutoLock lock(&m_lock);
    m_rate = 1.0;
    m_startTime = 0;
    m_lastTime = 0;
    m_mode = TrickPlayMode{};
    m_counter.Reset();
}

void CBaseParserIndex::SetRate(double rate)
{
    bool taken = false;
    {
        CAutoLock lock(&m_lock);
        TrickPlayMode mode;
        if (ComputeTrickPlayMode(rate, GopLength(), BFramesPerGop(), mode)) {
            m_rate = rate;
            m_mode = mode;
            m_counter.Reset();
            taken = true;
        }
    }
    PARSERS_TRACE("%s SetRate(%g): %s", m_fileName, rate, taken ? "taken" : "ignored");
}

// ---- reading ----

bool CBaseParserIndex::ReadAt(int64_t position, uint8_t* out, size_t length) const
{
    if (!m_reader || length > static_cast<size_t>(INT32_MAX))
        return false;
    return m_reader->SyncRead(position, static_cast<LONG>(length), out) == S_OK;
}

ParsedFrame* CBaseParserIndex::GetCurrentFrame()
{
    return &m_frame;
}

void CBaseParserIndex::TakeWholeSpan(std::span<uint8_t> span)
{
    m_frame.data = span.data();
    m_frame.videoLength = static_cast<int32_t>(span.size());
}

void CBaseParserIndex::TakeTransportPayload(std::span<uint8_t> span)
{
    m_frame.data = nullptr;
    m_frame.videoLength = 0;
    if (m_tsParser.InitParser(span.data(), span.size()) != 0)
        return;
    m_tsParser.SetVideoPid(m_videoPid);
    if (!m_tsParser.ReassembleSpan())
        return;
    const std::span<const uint8_t> payload = m_tsParser.Payload();
    m_frame.data = const_cast<BYTE*>(payload.data());
    m_frame.videoLength = static_cast<int32_t>(payload.size());
}

void CBaseParserIndex::TakeFrameBytes(std::span<uint8_t> span)
{
    if (m_containerKind == ContainerTransport)
        TakeTransportPayload(span);
    else
        TakeWholeSpan(span);
}

ParsedFrame* CBaseParserIndex::ReadFrameAt(int32_t i, bool reverse)
{
    const int64_t span = FrameSpan(i);
    if (span < 1 || span > static_cast<int64_t>(m_readBufferSize) ||
        !ReadAt(m_positions[i], m_readBuffer.get(), static_cast<size_t>(span)))
        return nullptr;
    int32_t duration = m_frameDuration >= 1 ? m_frameDuration : 400000;
    m_frame = ParsedFrame{};
    m_frame.frameType = m_types[i];
    m_frame.codecKind = m_codecKind;
    m_frame.containerKind = m_containerKind;
    m_frame.filePosition = m_positions[i];
    m_frame.frameRate = 10000000 / duration;
    m_frame.timestamp = static_cast<int64_t>(i) * m_frameDuration;
    m_audio.clear();
    DecodeSpan(std::span<uint8_t>(m_readBuffer.get(), static_cast<size_t>(span)), reverse);
    if (!m_audio.empty()) {
        m_frame.audioData = m_audio.data();
        m_frame.audioLength = static_cast<int32_t>(m_audio.size());
    }
    return &m_frame;
}

ParsedFrame* CBaseParserIndex::ReadNextFrame()
{
    ParsedFrame* frame = nullptr;
    int32_t index = -1;
    {
        CAutoLock lock(&m_lock);
        if (GopLength() <= 0 || m_stop)
            return nullptr;
        const int32_t readable = ReadableFrames();
        const int32_t pFrames = PFramesPerGop();
        m_current = std::max(m_current, 0);
        while (!frame && m_current < readable) {
            const int32_t i = m_current++;
            const int64_t span = FrameSpan(i);
            if (span < 1 || span > static_cast<int64_t>(m_readBufferSize))
                continue;
            if (!m_counter.Take(m_mode, m_types[i], pFrames))
                continue;
            // A frame that cannot be read is passed over like one too long to read.
            frame = ReadFrameAt(i, false);
            index = i;
        }
    }
    PARSERS_TRACE("%s ReadNextFrame() = frame %d", m_fileName, index);
    return frame;
}

ParsedFrame* CBaseParserIndex::ReadPrevKeyFrame()
{
    {
        CAutoLock lock(&m_lock);
        if (m_current < 0)
            return nullptr;
    }
    // Until the index thread knows the GOP length, or gives up.
    while (GopLength() <= 0) {
        if (m_stop || !IsIndexing())
            return nullptr;
        Sleep(kGopWaitMs);
    }
    ParsedFrame* frame = nullptr;
    int32_t index = -1;
    {
        CAutoLock lock(&m_lock);
        int32_t i = std::min(m_current, ReadableFrames() - 1);
        for (; i >= 0 && !frame; --i) {
            const int64_t span = FrameSpan(i);
            if (m_types[i] != 1 || span < 1 || span > static_cast<int64_t>(m_readBufferSize))
                continue;
            if (!m_counter.TakeKey(m_mode))
                continue;
            frame = ReadFrameAt(i, true);
            index = i;
        }
        m_current = i; // one before the frame read, or -1 at the start
    }
    PARSERS_TRACE("%s ReadPrevKeyFrame() = frame %d", m_fileName, index);
    return frame;
}
