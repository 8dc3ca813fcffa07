// CBaseParser: the operations the splitter's file step and the video pin's
// IMediaPosition use on the parser of a record file, and the frame record they
// read. The parser classes themselves (an indexed base and one class per
// stream kind) are added with record-file playback; until then no CodecKind
// has a parser and the factory answers null.
//
// The virtual operations are declared in the order the parser family keeps
// them (slot 0 is the destructor). All of them run on the application thread
// (Open, SetFileName, SeekTime, SetRate, the position getters) or the delivery
// thread (ReadNextFrame, ReadPrevKeyFrame); the splitter serialises them with
// its parser lock.
//
// Ownership: the splitter owns its parser; the parser owns its ParsedFrame and
// the buffers data and audioData point into, valid until the next read. The
// reader is the input pin's (not add-referenced: the pin outlives the parser's
// use of it).
#pragma once

#include "SequenceHeader.h"

#include <strmif.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <span>

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

// The record-file parsers by CodecKind (and ContainerKind for kind 6). None is
// built yet: every kind gives null, so a record file is refused at connection.
std::unique_ptr<CBaseParser> CreateFileParser(const ParserStreamSetup& setup);
