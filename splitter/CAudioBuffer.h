// CAudioBuffer: what the audio pin buffers between the delivery thread, which
// hands it audio (Add), and the audio thread, which takes one sample's worth
// per turn (Take). Two kinds of input: 16-bit PCM (decoded voice frames),
// moved out as it is, and AAC as ADTS frames, decoded frame by frame into a
// work buffer that goes out once it holds more than 239 bytes, so that frames
// decoding to little are gathered into one sample.
//
// Not thread-safe: the audio pin guards it with its audio lock.
#pragma once

#include "CAacDecoder.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

enum class AudioKind { Pcm = 0, Aac = 1 };

class CAudioBuffer {
public:
    static constexpr size_t kInputSize = 512000;
    static constexpr size_t kWorkSize = 102400;
    // The work buffer goes out once it holds more than this.
    static constexpr size_t kWorkThreshold = 239;

    // decoder: the AAC decoder (tests give their own); null makes a faad2 one
    // when AAC first arrives.
    explicit CAudioBuffer(std::unique_ptr<CAacDecoder> decoder = nullptr);

    // Stores a block of the kind. One longer than the input buffer empties it;
    // one that fits behind what is buffered is appended; otherwise, and when
    // the kind changes (PCM and ADTS bytes never mix), it replaces what is
    // buffered.
    void Add(std::span<const uint8_t> bytes, AudioKind kind);

    // One turn of the audio thread: fills out with what goes into the next
    // sample and returns its length. PCM: min(out.size(), buffered) bytes
    // from the front. AAC: frames are decoded until the work buffer holds
    // more than kWorkThreshold bytes (which then move to out, when they fit),
    // a frame gives nothing, or the input runs dry.
    size_t Take(std::span<uint8_t> out);

    // Empties both buffers and starts a fresh AAC decoder on the next AAC
    // (a stopped stream's audio does not play when the graph runs again, and
    // a decoder that failed its initialisation gets another chance).
    void Clear();

    size_t Buffered() const { return m_inputFill; }
    size_t WorkBuffered() const { return m_workFill; }
    AudioKind Kind() const { return m_kind; }

private:
    void Drop(size_t n);
    size_t TakeAac(std::span<uint8_t> out);

    std::vector<uint8_t> m_input;
    size_t m_inputFill = 0;
    AudioKind m_kind = AudioKind::Pcm;
    std::vector<uint8_t> m_work;
    size_t m_workFill = 0;
    std::unique_ptr<CAacDecoder> m_decoder;
    bool m_ownDecoder;
};
