#include "TSParser.h"

#include "ByteSearch.h"
#include "CodecKind.h"
#include "win32/trace.h"

#include <cstdio>
#include <cstring>

namespace {

int32_t PacketPid(const uint8_t* p)
{
    return ((p[1] & 0x1F) << 8) | p[2];
}

// The payload of a packet after its adaptation field; false when there is none.
bool PacketBody(std::span<const uint8_t> packet, size_t& offset, size_t& length)
{
    if (packet.size() < TSParser::kPacketSize || packet[0] != 0x47)
        return false;
    int afc = (packet[3] >> 4) & 3;
    size_t start = 4;
    if (afc == 3)
        start = 5 + size_t{packet[4]};
    else if (afc != 1)
        return false;
    if (start > TSParser::kPacketSize)
        return false;
    offset = start;
    length = TSParser::kPacketSize - start;
    return true;
}

// Skips a PES header at the start of a unit's first payload.
bool SkipPesHeader(const uint8_t* payload, size_t& offset, size_t& length)
{
    if (length < 3 || payload[offset] != 0 || payload[offset + 1] != 0 || payload[offset + 2] != 1)
        return true;
    if (length < 9)
        return false;
    size_t header = 9 + size_t{payload[offset + 8]};
    if (header > length)
        return false;
    offset += header;
    length -= header;
    return true;
}

// The section a PSI packet starts (pointer field applied), limited to the packet.
std::span<const uint8_t> PsiSection(std::span<const uint8_t> packet)
{
    size_t offset = 0, length = 0;
    if (!PacketBody(packet, offset, length) || length < 1)
        return {};
    size_t pointer = packet[offset];
    if (1 + pointer >= length)
        return {};
    std::span<const uint8_t> section = packet.subspan(offset + 1 + pointer, length - 1 - pointer);
    if (section.size() < 3)
        return {};
    size_t sectionLength = ((section[1] & 0x0F) << 8) | section[2];
    // A section running past the packet is cut at the packet end; its entries
    // beyond that end are not read.
    size_t total = 3 + sectionLength;
    return section.first(total < section.size() ? total : section.size());
}

int32_t KindForStreamType(uint8_t type, size_t packetSize)
{
    int32_t kind = 0;
    switch (type) {
    case 2:
        kind = CodecMpeg2;
        break;
    case 16:
        kind = CodecMpeg4;
        break;
    case 27:
        kind = CodecDeviceH264;
        break;
    default:
        return 0;
    }
    return packetSize == TSParser::kTimestampedPacketSize ? CodecHDH264 : kind;
}

} // namespace

TSParser::TSParser() : m_payload(kReassemblyBufferSize) {}

bool TSParser::SetPacketSize(size_t size)
{
    const bool known = size == kPacketSize || size == kTimestampedPacketSize;
    if (known) {
        m_packetSize = size;
        m_packetSizeFixed = true;
    }
    TV_TRACE("parsers", "TSParser::SetPacketSize(%zu) -> %s", size, known ? "true" : "false");
    return known;
}

int TSParser::InitParser(const uint8_t* buffer, size_t length)
{
    if (!buffer) {
        std::fputs("TSParsert initparser error: pbuffer = NULL.\n", stdout);
        TV_TRACE("parsers", "TSParser::InitParser(null, %zu) -> -1", length);
        return -1;
    }
    m_buffer = buffer;
    m_length = length;
    m_position = 0;
    m_payloadFill = 0;
    m_lastContinuity = -1;
    m_continuityValid = false;
    if (!m_packetSizeFixed) {
        m_packetSize = FindTsSync({buffer, length}, kTimestampedPacketSize) >= 0
                           ? kTimestampedPacketSize
                           : kPacketSize;
    }
    TV_TRACE("parsers", "TSParser::InitParser(%zu bytes) -> 0: %zu-byte packets", length,
             m_packetSize);
    return 0;
}

int32_t TSParser::ProgramMapPid(int index) const
{
    return index >= 0 && index < m_programMapCount ? m_programMapPids[index] : -1;
}

bool TSParser::IsProgramMapPid(int32_t pid) const
{
    for (int i = 0; i < m_programMapCount; ++i) {
        if (m_programMapPids[i] == pid)
            return true;
    }
    return false;
}

void TSParser::ParsePat(std::span<const uint8_t> s)
{
    // table_id 0, then 5 header bytes after the length; 4-byte entries up to the CRC.
    if (s.size() < 8 || s[0] != 0x00)
        return;
    size_t end = s.size();
    size_t declared = 3 + (((s[1] & 0x0F) << 8) | s[2]);
    if (declared >= 4 && declared - 4 < end)
        end = declared - 4;
    for (size_t at = 8; at + 4 <= end && m_programMapCount < kMaxProgramMaps; at += 4) {
        uint16_t program = static_cast<uint16_t>((s[at] << 8) | s[at + 1]);
        int32_t pid = ((s[at + 2] & 0x1F) << 8) | s[at + 3];
        if (program == 0 || IsProgramMapPid(pid))
            continue; // network information PID
        m_programMapPids[m_programMapCount++] = pid;
    }
}

bool TSParser::ParsePmt(std::span<const uint8_t> s)
{
    if (s.size() < 12 || s[0] != 0x02)
        return false;
    size_t end = s.size();
    size_t declared = 3 + (((s[1] & 0x0F) << 8) | s[2]);
    if (declared >= 4 && declared - 4 < end)
        end = declared - 4;
    size_t at = 12 + (((s[10] & 0x0F) << 8) | s[11]);
    while (at + 5 <= end) {
        uint8_t type = s[at];
        int32_t pid = ((s[at + 1] & 0x1F) << 8) | s[at + 2];
        size_t infoLength = ((s[at + 3] & 0x0F) << 8) | s[at + 4];
        int32_t kind = KindForStreamType(type, m_packetSize);
        if (kind != 0) {
            m_videoPid = pid;
            m_codecKind = kind;
            return true;
        }
        at += 5 + infoLength;
    }
    return false;
}

bool TSParser::FindProgram()
{
    const bool found = SearchProgram();
    TV_TRACE(
        "parsers",
        "TSParser::FindProgram() over %zu bytes -> %s: %d program maps, video PID %d, codec %d",
        m_length, found ? "true" : "false", m_programMapCount, static_cast<int>(m_videoPid),
        static_cast<int>(m_codecKind));
    return found;
}

bool TSParser::SearchProgram()
{
    if (!m_buffer)
        return false;
    std::span<const uint8_t> all(m_buffer, m_length);
    m_programMapCount = 0;
    size_t pos = 0;
    while (pos < m_length && m_length - pos >= kPacketSize) {
        if (m_buffer[pos] != 0x47) {
            ptrdiff_t sync = FindTsSync(all.subspan(pos), m_packetSize);
            if (sync < 0)
                return false;
            pos += static_cast<size_t>(sync);
            continue;
        }
        std::span<const uint8_t> packet = all.subspan(pos, kPacketSize);
        int32_t pid = PacketPid(packet.data());
        bool unitStart = (packet[1] & 0x40) != 0;
        if (unitStart) {
            if (pid == 0)
                ParsePat(PsiSection(packet));
            else if (IsProgramMapPid(pid) && ParsePmt(PsiSection(packet)))
                return true;
        }
        pos += m_packetSize;
    }
    return false;
}

bool TSParser::ReassembleSpan()
{
    m_payloadFill = 0;
    m_lastContinuity = -1;
    m_continuityValid = false;
    if (!m_buffer || m_videoPid < 0)
        return false;
    std::span<const uint8_t> all(m_buffer, m_length);
    size_t pos = 0;
    if (m_length == 0 || m_buffer[0] != 0x47) {
        ptrdiff_t sync = FindTsSync(all, m_packetSize);
        if (sync < 0) {
            std::fputs("5\n", stdout);
            return true;
        }
        pos = static_cast<size_t>(sync);
    }
    while (pos < m_length && m_length - pos >= kPacketSize) {
        if (m_buffer[pos] != 0x47) {
            std::fputs("5\n", stdout);
            return true;
        }
        std::span<const uint8_t> packet = all.subspan(pos, kPacketSize);
        pos += m_packetSize;
        if (PacketPid(packet.data()) != m_videoPid)
            continue;
        size_t offset = 0, length = 0;
        if (!PacketBody(packet, offset, length))
            continue;
        int32_t continuity = packet[3] & 0x0F;
        if (m_continuityValid && continuity != ((m_lastContinuity + 1) & 0x0F) &&
            m_packetSize == kPacketSize) {
            std::fputs("4\n", stdout);
            return false;
        }
        m_lastContinuity = continuity;
        m_continuityValid = true;
        if ((packet[1] & 0x40) && !SkipPesHeader(packet.data(), offset, length))
            continue;
        if (length > m_payload.size() - m_payloadFill)
            return false;
        std::memcpy(m_payload.data() + m_payloadFill, packet.data() + offset, length);
        m_payloadFill += length;
    }
    m_position = pos;
    return true;
}

bool TSParser::ExtractPacketPayload(std::span<const uint8_t> packet, TsPacketPayload& out)
{
    size_t offset = 0, length = 0;
    if (!PacketBody(packet, offset, length))
        return false;
    bool unitStart = (packet[1] & 0x40) != 0;
    if (unitStart && !SkipPesHeader(packet.data(), offset, length))
        return false;
    out.pid = PacketPid(packet.data());
    out.unitStart = unitStart;
    out.offset = offset;
    out.length = length;
    return true;
}
