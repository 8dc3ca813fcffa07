#include "TsWriter.h"

#include "ByteOrder.h"

#include <cstring>

uint32_t TsCrc32(std::span<const uint8_t> bytes)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (uint8_t b : bytes) {
        crc ^= uint32_t{b} << 24;
        for (int i = 0; i < 8; ++i)
            crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

namespace {

// Finishes a long-form section: section_length and CRC.
std::vector<uint8_t> FinishSection(std::vector<uint8_t> s)
{
    size_t length = s.size() - 3 + 4;
    s[1] = static_cast<uint8_t>(0xB0 | ((length >> 8) & 0x0F));
    s[2] = static_cast<uint8_t>(length);
    uint32_t crc = TsCrc32(s);
    uint8_t c[4];
    WriteBE32(c, crc);
    s.insert(s.end(), c, c + 4);
    return s;
}

} // namespace

std::vector<uint8_t> BuildPatSection(std::span<const TsProgram> programs)
{
    std::vector<uint8_t> s = {0x00, 0, 0, 0x00, 0x01, 0xC1, 0x00, 0x00};
    for (const TsProgram& p : programs) {
        uint8_t e[4];
        WriteBE16(e, p.programNumber);
        WriteBE16(e + 2, static_cast<uint16_t>(0xE000 | (p.pmtPid & 0x1FFF)));
        s.insert(s.end(), e, e + 4);
    }
    return FinishSection(std::move(s));
}

std::vector<uint8_t> BuildPmtSection(uint16_t programNumber, uint16_t pcrPid,
                                     std::span<const TsElementaryStream> streams)
{
    std::vector<uint8_t> s = {0x02, 0, 0, 0, 0, 0xC1, 0x00, 0x00, 0, 0, 0xF0, 0x00};
    WriteBE16(&s[3], programNumber);
    WriteBE16(&s[8], static_cast<uint16_t>(0xE000 | (pcrPid & 0x1FFF)));
    for (const TsElementaryStream& es : streams) {
        uint8_t e[5] = {es.streamType, 0, 0, 0xF0, 0x00};
        WriteBE16(e + 1, static_cast<uint16_t>(0xE000 | (es.pid & 0x1FFF)));
        s.insert(s.end(), e, e + 5);
    }
    return FinishSection(std::move(s));
}

bool TsWriter::AppendPacket(std::vector<uint8_t>& out, uint16_t pid, bool unitStart,
                            std::span<const uint8_t> payload)
{
    if (payload.size() > 184)
        return false;
    if (m_packetSize == 192) {
        uint8_t ts[4];
        WriteBE32(ts, m_timestamp);
        m_timestamp += 3600;
        out.insert(out.end(), ts, ts + 4);
    }
    uint8_t p[188];
    std::memset(p, 0xFF, sizeof p);
    p[0] = 0x47;
    p[1] = static_cast<uint8_t>((unitStart ? 0x40 : 0) | ((pid >> 8) & 0x1F));
    p[2] = static_cast<uint8_t>(pid);
    uint8_t& cc = Continuity(pid);
    size_t stuffing = 184 - payload.size();
    size_t at = 4;
    if (stuffing == 0) {
        p[3] = static_cast<uint8_t>(0x10 | cc);
    } else {
        p[3] = static_cast<uint8_t>(0x30 | cc);
        p[4] = static_cast<uint8_t>(stuffing - 1); // adaptation_field_length
        if (stuffing >= 2)
            p[5] = 0x00; // no flags
        at = 4 + stuffing;
    }
    cc = static_cast<uint8_t>((cc + 1) & 0x0F);
    if (!payload.empty())
        std::memcpy(p + at, payload.data(), payload.size());
    out.insert(out.end(), p, p + 188);
    return true;
}

bool TsWriter::AppendSection(std::vector<uint8_t>& out, uint16_t pid,
                             std::span<const uint8_t> section)
{
    if (section.size() > 183)
        return false;
    std::vector<uint8_t> payload(184, 0xFF);
    payload[0] = 0; // pointer_field
    std::memcpy(payload.data() + 1, section.data(), section.size());
    return AppendPacket(out, pid, true, payload);
}

void TsWriter::AppendPes(std::vector<uint8_t>& out, uint16_t pid, std::span<const uint8_t> es)
{
    std::vector<uint8_t> pes = {0x00, 0x00, 0x01, 0xE0, 0x00, 0x00, 0x80, 0x00, 0x00};
    pes.insert(pes.end(), es.begin(), es.end());
    size_t at = 0;
    bool first = true;
    while (at < pes.size() || first) {
        size_t n = pes.size() - at < 184 ? pes.size() - at : 184;
        AppendPacket(out, pid, first, std::span<const uint8_t>(pes).subspan(at, n));
        at += n;
        first = false;
    }
}
