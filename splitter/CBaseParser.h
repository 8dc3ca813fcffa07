// CBaseParser: the operations the splitter's file step and the video pin's
// IMediaPosition use on the parser of a record file, and the frame record they
// read. CBaseParserIndex adds the frame index; one class per stream kind
// derives from it (CreateFileParser picks it).
//
// The virtual operations are declared in the order the parser family keeps
// them (slot 0 is the destructor). All of them run on the application thread
// (Open, SetFileName, SeekTime, SetRate, the position getters) or the delivery
// thread (ReadNextFrame, ReadPrevKeyFrame); the splitter serialises them with
// its parser lock.
//
// Ownership: the splitter owns its parser; the parser owns its ParsedFrame and
// the buffers data and audioData point into, valid until the next read. The
// reader is the input pin's; Open add-references it and the destructor
// releases it (a parser's index thread may read the file after the pin let go
// of the reader).
#pragma once

#include "SequenceHeader.h"

#include <strmif.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

// One frame of a record file.
struct ParsedFrame {
    BYTE* data = nullptr;      // video bytes
    BYTE* audioData = nullptr; // decoded voice (CodecKind 3) or ADTS frames; may be empty
    int32_t videoLength = 0;
    int32_t audioLength = 0;
    int32_t frameType = 0; // 1 key (I), 2 P, 3 B
    int32_t codecKind = 0;
    int32_t containerKind = 0;
    int32_t frameRate = 0;
    int64_t timestamp = 0; // 100-ns units
    int32_t frameNumber = 0;
    int64_t filePosition = 0;
};

// What the splitter knows of the stream when it creates a parser.
struct ParserStreamSetup {
    int32_t codecKind = 0;
    int32_t containerKind = 0;
    int32_t frameDuration = 0; // 100-ns units
    int32_t width = 0;
    int32_t height = 0;
    int32_t videoPid = -1;
    std::span<const uint8_t> sequenceHeader; // copied (at most 256 bytes)
};

class CBaseParser {
public:
    static constexpr size_t kMaxFileName = 256;
    static constexpr size_t kMaxSequenceHeader = 256;

    explicit CBaseParser(const ParserStreamSetup& setup);
    // 0
    virtual ~CBaseParser();
    CBaseParser(const CBaseParser&) = delete;
    CBaseParser& operator=(const CBaseParser&) = delete;

    // 1: attaches the reader; 0, or -1 without one.
    virtual int Open(IAsyncReader* reader);
    // 2: copies a name of 1 to 256 characters; 0 or -1.
    virtual int SetFileName(const char* name);
    // 3: the next frame in play order, or null.
    virtual ParsedFrame* ReadNextFrame() = 0;
    // 4: the parser's frame record.
    virtual ParsedFrame* GetCurrentFrame() = 0;
    // 5: the previous key frame (reverse play), or null.
    virtual ParsedFrame* ReadPrevKeyFrame() = 0;
    // 6: positions at a time in microseconds; 0 or -1.
    virtual int SeekTime(int64_t microseconds) = 0;
    // 7, 8: kept by the family for its own use; 0.
    virtual int ReservedSlot7();
    virtual int ReservedSlot8();
    // 9: the start time.
    virtual int64_t GetStartTime();
    // 10: the position, 100-ns units (0 here).
    virtual int64_t GetPosition();
    // 11: the duration, microseconds (0 here).
    virtual int64_t GetDuration();
    // 12: the last time minus the start time, 0 when negative.
    virtual int64_t GetElapsedTime();
    // 13, 14
    virtual int32_t GetCodecKind();
    virtual int32_t GetContainerKind();
    // 15: rate 1.0, times 0, trick-play counters 0.
    virtual void Reset() = 0;
    // 16: 0.
    virtual int ReservedSlot16();
    // 17: the playback rate (the indexed parsers pick the frames it implies).
    virtual void SetRate(double rate);
    // 18: a value the family stores for its own use.
    virtual int32_t GetStoredValue();
    // 19: whether the frame index is being built (true here: nothing is known).
    virtual bool IsIndexing();

    double GetRate() const { return m_rate; }
    IAsyncReader* Reader() const { return m_reader; }
    const char* FileName() const { return m_fileName; }

protected:
    char m_fileName[kMaxFileName + 1] = {};
    IAsyncReader* m_reader = nullptr;
    double m_rate = 1.0;
    int32_t m_codecKind;
    int32_t m_containerKind;
    int32_t m_frameDuration;
    int32_t m_width;
    int32_t m_height;
    int32_t m_videoPid;
    uint8_t m_sequenceHeader[kMaxSequenceHeader] = {};
    size_t m_sequenceHeaderLength = 0;
    int64_t m_startTime = 0;
    int64_t m_lastTime = 0;
    int32_t m_storedValue = 0;
};

// Creates the parser for a stream (null when the kind has none).
using ParserFactory = std::function<std::unique_ptr<CBaseParser>(const ParserStreamSetup&)>;

// The record-file parser for a stream: CMpeg2Parser (CodecKind 1), CMpeg4Parser
// (2), CH264Parser (3), CJP2KParser (4), CHDH264QBoxParser (6 in QBox) or
// CHDH264Parser (6 otherwise), CMjpegQBoxPaser (7); null for other kinds.
std::unique_ptr<CBaseParser> CreateFileParser(const ParserStreamSetup& setup);

// The stream set-up for a record file from its first bytes (up to 4 MiB are
// looked at; when they are the whole file, a single sequence header is enough
// to tell its kind): stream kinds, sequence header, stream format,
// transport-stream video PID. setup.sequenceHeader points into sequenceHeader. False when the
// bytes do not tell. Any thread.
bool DescribeRecordStart(std::span<const uint8_t> bytes, ParserStreamSetup& setup,
                         std::vector<uint8_t>& sequenceHeader);
