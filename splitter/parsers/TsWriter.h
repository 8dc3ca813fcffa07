// Builds transport-stream packets: PAT and PMT sections with their CRC, and PES
// packets split over TS packets. Used by the tests and the device simulator to
// produce streams the TSParser reads. 192-byte packets carry a 4-byte arrival
// timestamp in front of the 188-byte packet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

struct TsElementaryStream {
    uint8_t streamType = 27;
    uint16_t pid = 0x100;
};

struct TsProgram {
    uint16_t programNumber = 1;
    uint16_t pmtPid = 0x1000;
};

// CRC-32 of MPEG-2 sections (polynomial 0x04C11DB7, initial value 0xFFFFFFFF).
uint32_t TsCrc32(std::span<const uint8_t> bytes);

// Section bytes (table_id through CRC).
std::vector<uint8_t> BuildPatSection(std::span<const TsProgram> programs);
std::vector<uint8_t> BuildPmtSection(uint16_t programNumber, uint16_t pcrPid,
                                     std::span<const TsElementaryStream> streams);

class TsWriter {
public:
    explicit TsWriter(size_t packetSize = 188) : m_packetSize(packetSize == 192 ? 192 : 188) {}

    // One packet carrying a PSI section (pointer field 0); the section must fit 183 bytes.
    bool AppendSection(std::vector<uint8_t>& out, uint16_t pid, std::span<const uint8_t> section);
    // A PES packet (stream id 0xE0, no PTS) around es, split over as many TS packets
    // as needed; the last one is padded with adaptation-field stuffing.
    void AppendPes(std::vector<uint8_t>& out, uint16_t pid, std::span<const uint8_t> es);
    // One packet with the given payload (at most 184 bytes; shorter ones are stuffed).
    bool AppendPacket(std::vector<uint8_t>& out, uint16_t pid, bool unitStart,
                      std::span<const uint8_t> payload);

    // Next continuity counter the writer will use for pid.
    uint8_t& Continuity(uint16_t pid) { return m_continuity[pid & 0x1FFF]; }

private:
    size_t m_packetSize;
    uint32_t m_timestamp = 0;
    uint8_t m_continuity[0x2000] = {};
};
