#include "CAudioBuffer.h"

#include <algorithm>
#include <cstring>

CAudioBuffer::CAudioBuffer(std::unique_ptr<CAacDecoder> decoder)
    : m_input(kInputSize), m_work(kWorkSize), m_decoder(std::move(decoder)),
      m_ownDecoder(m_decoder == nullptr)
{
}

void CAudioBuffer::Add(std::span<const uint8_t> bytes, AudioKind kind)
{
    if (kind != m_kind) {
        m_inputFill = 0;
        m_workFill = 0;
    }
    m_kind = kind;
    if (bytes.size() > kInputSize) {
        m_inputFill = 0;
        return;
    }
    if (bytes.size() > kInputSize - m_inputFill)
        m_inputFill = 0;
    if (!bytes.empty())
        std::memcpy(m_input.data() + m_inputFill, bytes.data(), bytes.size());
    m_inputFill += bytes.size();
}

void CAudioBuffer::Drop(size_t n)
{
    n = std::min(n, m_inputFill);
    std::memmove(m_input.data(), m_input.data() + n, m_inputFill - n);
    m_inputFill -= n;
}

size_t CAudioBuffer::Take(std::span<uint8_t> out)
{
    if (m_inputFill == 0)
        return 0;
    if (m_kind == AudioKind::Aac)
        return TakeAac(out);
    const size_t n = std::min(out.size(), m_inputFill);
    std::memcpy(out.data(), m_input.data(), n);
    Drop(n);
    return n;
}

size_t CAudioBuffer::TakeAac(std::span<uint8_t> out)
{
    if (!m_decoder)
        m_decoder = std::make_unique<CAacDecoder>();
    while (m_inputFill > 0) {
        const CAacDecoder::Step step = m_decoder->Decode(
            std::span<const uint8_t>(m_input.data(), m_inputFill),
            std::span<uint8_t>(m_work.data() + m_workFill, kWorkSize - m_workFill));
        // What the decoder is done with goes, whatever came of it: a frame that
        // decodes to nothing or is refused must not hold up the frames behind it.
        Drop(step.consumed);
        if (step.produced == 0) {
            if (step.consumed == 0)
                Drop(m_inputFill); // a decoder that takes nothing would stall here
            return 0;
        }
        m_workFill += std::min(step.produced, kWorkSize - m_workFill);
        if (m_workFill > kWorkThreshold) {
            const size_t n = std::min(m_workFill, out.size());
            std::memcpy(out.data(), m_work.data(), n);
            m_workFill = 0;
            return n;
        }
    }
    return 0;
}

void CAudioBuffer::Clear()
{
    m_inputFill = 0;
    m_workFill = 0;
    if (m_ownDecoder)
        m_decoder.reset();
}
