// MPEG transport-stream demultiplexer of the splitter: packet size, sync,
// program discovery (PAT, then up to 20 PMTs), reassembly of one PID's payload
// over a span of packets, and single-packet payload extraction for live delivery.
//
// A TSParser reads the buffer given to InitParser and never writes it; the
// caller keeps that buffer alive while it uses the parser. Not thread-safe: the
// splitter owns one for detection and live delivery, each file parser another.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// Where one packet's payload lies, as live delivery takes it.
struct TsPacketPayload {
    int32_t pid = -1;
    bool unitStart = false;
    size_t offset = 0; // into the packet
    size_t length = 0;
};

class TSParser {
public:
    static constexpr size_t kReassemblyBufferSize = 0x200000; // 2 MB
    static constexpr int kMaxProgramMaps = 20;
    static constexpr size_t kPacketSize = 188;
    static constexpr size_t kTimestampedPacketSize = 192;

    TSParser();

    // Fixes the packet size (188 or 192); initialisations then keep it instead of
    // probing for 192-byte packets. False for any other size.
    bool SetPacketSize(size_t size);
    size_t PacketSize() const { return m_packetSize; }

    // Takes a new buffer: resets the read position, the reassembly fill and the
    // continuity state, and (unless SetPacketSize fixed it) picks 192-byte packets
    // when four sync bytes are found at a 192-byte stride, else 188. A null buffer
    // prints "TSParsert initparser error: pbuffer = NULL.\n", changes nothing and
    // returns -1; otherwise 0.
    int InitParser(const uint8_t* buffer, size_t length);

    // Program discovery over the buffer: reads the PAT for up to 20 program map
    // PIDs and each PMT for the first elementary stream of type 2, 16 or 27. True
    // when one was found; VideoPid and GetCodecKind then give it (CodecKind 1, 2, 3
    // for 188-byte packets, 6 for 192-byte packets whatever the type).
    bool FindProgram();

    int32_t VideoPid() const { return m_videoPid; }
    void SetVideoPid(int32_t pid) { m_videoPid = pid; }
    int32_t GetCodecKind() const { return m_codecKind; }
    int ProgramMapCount() const { return m_programMapCount; }
    int32_t ProgramMapPid(int index) const;

    // Collects the video PID's payload (after adaptation fields and PES headers)
    // over the whole buffer into the 2 MB reassembly buffer. Lost sync prints "5\n"
    // and ends the span with what was collected (true); a continuity error in a
    // 188-byte stream prints "4\n" and fails the span (false), as do an unknown
    // video PID and payload beyond 2 MB.
    bool ReassembleSpan();
    std::span<const uint8_t> Payload() const { return {m_payload.data(), m_payloadFill}; }

    // One packet alone (live delivery): sync byte 0x47, adaptation_field_control 1
    // or 3, payload after the adaptation field and, when payload_unit_start is set
    // and the payload starts with 00 00 01, after the PES header (9 bytes plus
    // PES_header_data_length). Needs 188 bytes. False when the packet carries no
    // payload this way.
    static bool ExtractPacketPayload(std::span<const uint8_t> packet, TsPacketPayload& out);

private:
    bool SearchProgram();
    void ParsePat(std::span<const uint8_t> section);
    bool ParsePmt(std::span<const uint8_t> section);
    bool IsProgramMapPid(int32_t pid) const;

    size_t m_packetSize = kPacketSize;
    bool m_packetSizeFixed = false;
    int32_t m_programMapPids[kMaxProgramMaps] = {};
    int m_programMapCount = 0;
    int32_t m_videoPid = -1;
    int32_t m_codecKind = 0;
    int32_t m_lastContinuity = -1;
    bool m_continuityValid = false;

    const uint8_t* m_buffer = nullptr;
    size_t m_length = 0;
    size_t m_position = 0;

    std::vector<uint8_t> m_payload;
    size_t m_payloadFill = 0;
};
