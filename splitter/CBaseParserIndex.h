// CBaseParserIndex: the frame index of a record file and everything that uses
// it (seeking, positions, trick play, the choice of the frame to read), for
// the seven parsers built on it. A parser knows two things of its stream
// family: where frames start and what type they are (ScanFrame, used while the
// index is built) and what a frame's bytes become for delivery (DecodeSpan).
//
// The index: the start position and type of every frame, and the file's end
// after the last frame. It comes from the ".idx" file beside the record file
// (LoadIndex) or, when that is missing or does not match, is built by the
// index thread (BuildIndex), which writes the ".idx" file once it has scanned
// the whole file. Playback starts at once: readers use the frames indexed so
// far.
//
// Threads:
//   application thread  Open, SetFileName, SeekTime, SetRate, Reset, the
//                       position getters, StopIndexing, the destructor
//   delivery thread     ReadNextFrame, ReadPrevKeyFrame, GetCurrentFrame
//   index thread        IndexThreadProc and the ScanFrame calls it makes
//   any thread          IsIndexing, GetDuration, FrameCount, IndexProgress
//
// Sharing the tables with the index thread: the index thread alone writes an
// entry, and only above the published count; it then publishes the entry by
// storing the count with release ordering. Readers load the count with acquire
// ordering and touch only entries below it, so every entry they read was
// completely written before they read it. The end entry (position of the
// file's end after the last frame) is published the same way through
// m_complete, and the GOP figures through m_gopLength (B and P counts are
// stored before it). No lock is shared with the index thread, so a reader
// never waits for a scan and the scan never waits for a reader's file I/O.
//
// m_lock (this parser's own) guards the play state: the current index, the
// rate and trick-play mode with its counters, the read buffer and the frame
// record. The splitter serialises its calls with its own parser lock as well;
// m_lock keeps the parser sound on its own.
//
// Ownership: the reader is add-referenced by Open and released after the index
// thread has ended. The ParsedFrame and the buffers its pointers lead into
// belong to the parser and stay valid until the next read.
#pragma once

#include "CBaseParser.h"
#include "RecordIndexFile.h"
#include "RecordScanWindow.h"
#include "TSParser.h"
#include "TrickPlay.h"

#include <streams.h>

#include "win32/msgbox.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

class CBaseParserIndex : public CBaseParser {
public:
    // Where the index a parser uses came from.
    enum class IndexSource { None, Loaded, Built };

    ~CBaseParserIndex() override;

    // 1: attaches the reader, Reset, then LoadIndex with the file name. 0, or -1
    // without a reader, without the tables or when no index name can be made.
    int Open(IAsyncReader* reader) override;
    // 3: the next frame the rate keeps, or null (none indexed yet, the end, the
    // GOP length still unknown, indexing stopped).
    ParsedFrame* ReadNextFrame() override;
    // 4
    ParsedFrame* GetCurrentFrame() override;
    // 5: the key frame before the current index (reverse play), or null once
    // the start of the file is passed.
    ParsedFrame* ReadPrevKeyFrame() override;
    // 6: the current index becomes the key frame at or before the time (else the
    // first one after it). -1 while indexing, without a frame duration or GOP
    // length, or when the time lies beyond the indexed frames.
    int SeekTime(int64_t microseconds) override;
    // 10: current index x frame duration (100-ns units).
    int64_t GetPosition() override;
    // 11: frame duration x frames / 10 (microseconds).
    int64_t GetDuration() override;
    // 15: rate 1.0, times 0, trick-play mode and counters cleared.
    void Reset() override;
    // 17: see TrickPlay.h; ignored while the GOP length is unknown and for
    // rates in (-0.5, 0.1).
    void SetRate(double rate) override;
    // 19: the index thread runs.
    bool IsIndexing() override;

    // 20: stops the index thread (nothing is written) and waits for it.
    virtual void StopIndexing();
    // 21: takes the index file when it passes its checks; otherwise prints why
    // and builds the index. 0 when loaded, else what BuildIndex returns.
    virtual int LoadIndex(const char* mediaName);
    // 22: the index file's name for the record file; 0, or -1 when none.
    virtual int MakeIndexName(const char* mediaName);
    // 23: starts the index thread; 1 (also when the thread cannot be made: the
    // parser then has no frames).
    virtual int BuildIndex();
    // 24
    virtual bool StartIndexThread();
    // 25: the index thread's body.
    virtual DWORD IndexThreadProc();
    // 26: the frame starting at or after the position, or null at the end of the
    // index (the end of the file, a read error, no frame within the scan limit).
    virtual std::unique_ptr<ParsedFrame> ScanFrame(int64_t position) = 0;

    // ---- beyond the family's slots ----

    // Frames indexed so far (any thread).
    int32_t FrameCount() const { return m_count.load(std::memory_order_acquire); }
    // Bytes of the file scanned so far in percent, 100 once the index is complete.
    int IndexProgress() const;
    int32_t GopLength() const { return m_gopLength.load(std::memory_order_acquire); }
    int32_t BFramesPerGop() const;
    int32_t PFramesPerGop() const;
    IndexSource Source() const { return m_source.load(std::memory_order_acquire); }
    // StopIndexing was called (the index thread ends at its next frame).
    bool StopRequested() const { return m_stop.load(); }
    // Application thread, after Open.
    const std::string& IndexName() const { return m_indexName; }
    // The start position and type of frame i (i below FrameCount()).
    int64_t FramePosition(int32_t i) const { return m_positions[i]; }
    uint8_t FrameType(int32_t i) const { return m_types[i]; }
    size_t ReadBufferSize() const { return m_readBufferSize; }

protected:
    // readBufferSize: the longest frame span read (longer ones are skipped);
    // scanChunk: the reads of the scan (up to five of them per frame).
    CBaseParserIndex(const ParserStreamSetup& setup, size_t readBufferSize, size_t scanChunk);

    // Runs scan over the scan window from position (index thread): the
    // concrete ScanFrame's body. Oversize shows the QBox message.
    template <typename Scanner>
    std::unique_ptr<ParsedFrame> ScanWith(int64_t position, Scanner&& scan);

    // Turns the span just read (at its start m_readBuffer) into m_frame's video
    // and audio and, where the stream has one, its timestamp. reverse: for
    // reverse play (no audio). Delivery thread, m_lock held.
    virtual void DecodeSpan(std::span<uint8_t> span, bool reverse) = 0;

    // The whole span as the frame's video.
    void TakeWholeSpan(std::span<uint8_t> span);
    // The video PID's payload of a transport-stream span as the frame's video
    // (none when the span has no complete one).
    void TakeTransportPayload(std::span<uint8_t> span);

    // The transport payload in a transport stream, else the whole span.
    void TakeFrameBytes(std::span<uint8_t> span);

    // Frames whose span is known: all of them once the end entry is there.
    int32_t ReadableFrames() const;
    // Reads frame i (i below ReadableFrames()) into m_frame; m_lock held.
    ParsedFrame* ReadFrameAt(int32_t i, bool reverse);
    // The span of frame i in bytes.
    int64_t FrameSpan(int32_t i) const { return m_positions[i + 1] - m_positions[i]; }
    // Reads at a file position through the reader (any thread).
    bool ReadAt(int64_t position, uint8_t* out, size_t length) const;

    // guarded by m_lock
    CCritSec m_lock;
    int32_t m_current = 0;
    TrickPlayMode m_mode;
    CTrickPlayCounter m_counter;
    std::unique_ptr<uint8_t[]> m_readBuffer;
    ParsedFrame m_frame;
    std::vector<uint8_t> m_audio;

    // Delivery thread, m_lock held: reassembles transport-stream frames.
    TSParser m_tsParser;

    // Index thread only (and the constructor).
    H264Sps m_scanSps;

private:
    static DWORD ThreadEntry(LPVOID param);
    void FinishIndex(int64_t endPosition, int32_t firstKey);
    bool SaveIndex(const RecordIndexHeader& header);

    const size_t m_readBufferSize;
    std::string m_indexName;

    // The tables: written by the index thread (or LoadIndex before it could
    // start) above the published count only.
    std::unique_ptr<int64_t[]> m_positions;
    std::unique_ptr<uint8_t[]> m_types;
    std::atomic<int32_t> m_count{0};
    std::atomic<bool> m_complete{false};
    std::atomic<int32_t> m_gopLength{0};
    std::atomic<int32_t> m_bFrames{0};
    std::atomic<int32_t> m_pFrames{0};
    std::atomic<IndexSource> m_source{IndexSource::None};

    // The index thread.
    HANDLE m_thread = nullptr; // application thread only
    std::atomic<bool> m_indexing{false};
    std::atomic<bool> m_stop{false};
    std::atomic<int64_t> m_scanned{0};
    std::atomic<int64_t> m_scanTotal{0};
    CScanWindow m_window;                               // index thread only
    RecordScanResult m_scanEnd = RecordScanResult::End; // index thread only
};

template <typename Scanner>
std::unique_ptr<ParsedFrame> CBaseParserIndex::ScanWith(int64_t position, Scanner&& scan)
{
    ScannedFrame found;
    m_scanEnd = ScanRecordFrame(m_window, position, scan, found);
    if (m_scanEnd == RecordScanResult::Oversize)
        MessageBoxA(nullptr, "HD264_QBox 缓存设置过小.", "TarvoSplt", MB_OK);
    if (m_scanEnd != RecordScanResult::Found)
        return nullptr;
    auto frame = std::make_unique<ParsedFrame>();
    frame->filePosition = position + static_cast<int64_t>(found.offset);
    frame->videoLength = static_cast<int32_t>(std::min<size_t>(found.length, INT32_MAX));
    frame->frameType = found.frameType;
    frame->codecKind = m_codecKind;
    frame->containerKind = m_containerKind;
    frame->timestamp = found.timestamp;
    frame->frameNumber = found.frameNumber;
    frame->frameRate = found.frameRate;
    return frame;
}
