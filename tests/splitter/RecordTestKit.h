// Helpers for the record-file tests: record files of every kind from the
// device simulator with the frames it wrote, a file reader with the
// IAsyncReader calls the parsers use (with faults on request), the stream
// set-up the splitter would hand a parser, and a stand-in voice decoder.
#pragma once

#include "CBaseParser.h"
#include "CodecKind.h"
#include "ContainerKind.h"
#include "tvdevsim/StreamGenerator.h"

#include <strmif.h>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace rectest {

// Every kind of record file the simulator writes, with the extension the
// splitter's input pin accepts for it and the kinds the parser reports.
struct RecordKind {
    tvdevsim::SimKind kind;
    const char* extension;
    int32_t codecKind;
    int32_t containerKind;
};
extern const RecordKind kRecordKinds[14];
// A test name for a kind ("dev40", "ts192_h264").
std::string RecordKindName(const testing::TestParamInfo<RecordKind>& info);

// What the simulator wrote, frame by frame.
struct RecordedStream {
    std::vector<uint8_t> bytes;                    // the record file
    std::vector<std::vector<uint8_t>> frames;      // the video bytes a decoder gets
    std::vector<bool> keys;                        // key frame per frame
    std::vector<std::vector<uint8_t>> audioFrames; // voice payloads or raw AAC frames
    std::vector<int> audioAfterFrame;              // the video frame before each (-1: none)
};

// Generates `frames` video frames of a kind (small pictures, GOP `gop`) and
// takes the simulator's units apart independently of the parsers.
RecordedStream Record(tvdevsim::SimKind kind, int frames, int gop = 25, bool audio = true);

// An elementary MPEG-2 stream of pictures of the given types (1 I, 2 P, 3 B) in
// coded order, each I picture behind a sequence header, its extension and a GOP
// header, at 25 frames per second; each picture carries pictureBytes bytes of
// slice data (or the size bigPictureBytes for the picture at index bigPicture).
// frameStarts gets the position of each frame.
std::vector<uint8_t> BuildMpeg2Stream(const std::vector<int>& types, size_t pictureBytes,
                                      std::vector<int64_t>* frameStarts = nullptr,
                                      int bigPicture = -1, size_t bigPictureBytes = 0);
// Types of `gops` GOPs of 25 in coded order: I, then (P B B) eight times.
std::vector<int> IbbpTypes(int gops);

// A folder of its own under $TMPDIR, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    std::string Path(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes);
bool AppendToFile(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadWholeFile(const std::string& path);

// IAsyncReader over a file: Length as it was at Open (or what SetLength says),
// SyncRead with pread. Reads fail from the failAfter-th on when set. Only
// Length and SyncRead do anything.
class CTestFileReader final : public IAsyncReader {
public:
    static CTestFileReader* Open(const std::string& path);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP RequestAllocator(IMemAllocator*, ALLOCATOR_PROPERTIES*, IMemAllocator**) override;
    STDMETHODIMP Request(IMediaSample*, DWORD_PTR) override;
    STDMETHODIMP WaitForNext(DWORD, IMediaSample**, DWORD_PTR*) override;
    STDMETHODIMP SyncReadAligned(IMediaSample*) override;
    STDMETHODIMP SyncRead(LONGLONG position, LONG length, BYTE* buffer) override;
    STDMETHODIMP Length(LONGLONG* total, LONGLONG* available) override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;

    void SetLength(LONGLONG length) { m_length = length; }
    void FailReadsFrom(int64_t n) { m_failAfter = n; }
    int64_t Reads() const { return m_reads; }
    LONG References() const { return m_refs; }
    // Reads of at least minLength bytes (the index thread's chunks) after the
    // first `pass` of them wait until OpenGate.
    void CloseGate(LONG minLength, int pass);
    void OpenGate();
    // Reads waiting at the gate now.
    int Waiting();

private:
    CTestFileReader() = default;
    ~CTestFileReader();

    std::atomic<LONG> m_refs{1};
    int m_fd = -1;
    std::atomic<LONGLONG> m_length{0};
    std::atomic<int64_t> m_reads{0};
    std::atomic<int64_t> m_failAfter{-1};

    std::mutex m_gateLock;
    std::condition_variable m_gateChanged;
    // guarded by m_gateLock
    bool m_gateClosed = false;
    LONG m_gateMin = 0;
    int m_gatePass = 0;
    int m_waiting = 0;
};

// A parser for the file at path, opened with reader (the caller releases it);
// prepare runs on the reader before the parser opens it.
std::unique_ptr<CBaseParser> OpenParser(const std::string& path, CTestFileReader*& reader,
                                        const std::function<void(CTestFileReader&)>& prepare = {});

// Until the parser's index is complete.
void WaitForIndex(CBaseParser& parser);

// Every frame ReadNextFrame gives, video and audio bytes.
struct ReadFrames {
    std::vector<std::vector<uint8_t>> video;
    std::vector<std::vector<uint8_t>> audio;
    std::vector<int32_t> types;
    std::vector<int64_t> timestamps;
};
ReadFrames ReadAll(CBaseParser& parser, bool forward = true);

// The stand-in voice decoder, installed while an object lives: a voice payload
// (VoiceFrame.h) decodes to its sample count of samples, each the frame's
// sequence number.
class ScopedTestVoiceDecoder {
public:
    ScopedTestVoiceDecoder();
    ~ScopedTestVoiceDecoder();
};

// The PCM the stand-in decoder makes of a voice payload.
std::vector<uint8_t> TestVoicePcm(const std::vector<uint8_t>& payload);

} // namespace rectest
