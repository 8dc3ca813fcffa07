#include "StreamBuilders.h"

#include "CodecKind.h"
#include "TSParser.h"
#include "TsWriter.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Bytes = std::vector<uint8_t>;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

constexpr uint16_t kVideoPid = 0x100;

Bytes Program(TsWriter& w, uint8_t type = 27)
{
    Bytes out;
    TsProgram programs[] = {{1, 0x1000}};
    w.AppendSection(out, 0, BuildPatSection(programs));
    TsElementaryStream streams[] = {{type, kVideoPid}};
    w.AppendSection(out, 0x1000, BuildPmtSection(1, kVideoPid, streams));
    return out;
}

Bytes Es(size_t n, uint8_t seed)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<uint8_t>(seed + i * 7);
    return b;
}

TEST(TsWriter, SectionsCarryAValidCrc)
{
    TsProgram programs[] = {{1, 0x1000}};
    Bytes pat = BuildPatSection(programs);
    // The CRC over a section including its own CRC is 0.
    EXPECT_EQ(TsCrc32(pat), 0u);
    EXPECT_EQ(pat.size(), 16u);
}

TEST(TSParser, NullBufferIsReportedAndChangesNothing)
{
    TSParser ts;
    TsWriter w;
    Bytes stream = Program(w);
    ASSERT_EQ(ts.InitParser(stream.data(), stream.size()), 0);
    CaptureStdout();
    EXPECT_EQ(ts.InitParser(nullptr, 100), -1);
    EXPECT_EQ(GetCapturedStdout(), "TSParsert initparser error: pbuffer = NULL.\n");
    // Still reading the earlier buffer.
    EXPECT_TRUE(ts.FindProgram());
    EXPECT_EQ(ts.VideoPid(), kVideoPid);
}

TEST(TSParser, PacketSizeIsProbedUnlessFixed)
{
    TsWriter w192(192);
    Bytes s192 = Program(w192);
    for (int i = 0; i < 3; ++i)
        w192.AppendPes(s192, kVideoPid, Es(100, 1));
    TSParser ts;
    ts.InitParser(s192.data(), s192.size());
    EXPECT_EQ(ts.PacketSize(), 192u);
    ASSERT_TRUE(ts.FindProgram());
    EXPECT_EQ(ts.GetCodecKind(), CodecHDH264);

    TsWriter w188;
    Bytes s188 = Program(w188, 2);
    for (int i = 0; i < 3; ++i)
        w188.AppendPes(s188, kVideoPid, Es(100, 1));
    ts.InitParser(s188.data(), s188.size());
    EXPECT_EQ(ts.PacketSize(), 188u);
    ASSERT_TRUE(ts.FindProgram());
    EXPECT_EQ(ts.GetCodecKind(), CodecMpeg2);

    TSParser fixed;
    EXPECT_FALSE(fixed.SetPacketSize(204));
    ASSERT_TRUE(fixed.SetPacketSize(188));
    fixed.InitParser(s192.data(), s192.size());
    EXPECT_EQ(fixed.PacketSize(), 188u);
}

TEST(TSParser, UpToTwentyProgramMaps)
{
    TsWriter w;
    Bytes out;
    std::vector<TsProgram> programs;
    programs.push_back({0, 0x10}); // network PID: not a program map
    for (int i = 0; i < 25; ++i)
        programs.push_back({static_cast<uint16_t>(i + 1), static_cast<uint16_t>(0x200 + i)});
    w.AppendSection(out, 0, BuildPatSection(programs));
    // The 21st program's PMT lists video but is never read.
    TsElementaryStream video[] = {{27, kVideoPid}};
    w.AppendSection(out, 0x200 + 20, BuildPmtSection(21, kVideoPid, video));
    TSParser ts;
    ts.InitParser(out.data(), out.size());
    EXPECT_FALSE(ts.FindProgram());
    EXPECT_EQ(ts.ProgramMapCount(), 20);
    EXPECT_EQ(ts.ProgramMapPid(0), 0x200);
    EXPECT_EQ(ts.ProgramMapPid(19), 0x200 + 19);
    EXPECT_EQ(ts.ProgramMapPid(20), -1);
    EXPECT_EQ(ts.VideoPid(), -1);
    // The 20th is read.
    w.AppendSection(out, 0x200 + 19, BuildPmtSection(20, kVideoPid, video));
    ts.InitParser(out.data(), out.size());
    EXPECT_TRUE(ts.FindProgram());
    EXPECT_EQ(ts.VideoPid(), kVideoPid);
}

TEST(TSParser, PmtPointingPastThePacketIsSkipped)
{
    TsWriter w;
    Bytes out;
    TsProgram programs[] = {{1, 0x1000}};
    w.AppendSection(out, 0, BuildPatSection(programs));
    // program_info_length far beyond the packet.
    TsElementaryStream video[] = {{27, kVideoPid}};
    Bytes pmt = BuildPmtSection(1, kVideoPid, video);
    pmt[10] = 0xFF;
    pmt[11] = 0xFF;
    w.AppendSection(out, 0x1000, pmt);
    // A section length beyond the packet: entries past the packet end are not read.
    Bytes longPmt = BuildPmtSection(1, kVideoPid, video);
    longPmt[1] = 0xBF;
    longPmt[2] = 0xFF;
    w.AppendSection(out, 0x1000, longPmt);
    TSParser ts;
    ts.InitParser(out.data(), out.size());
    EXPECT_TRUE(ts.FindProgram()); // the second PMT still holds its entry
    // Pointer field past the packet.
    Bytes bad;
    TsWriter w2;
    w2.AppendSection(bad, 0, BuildPatSection(programs));
    w2.AppendSection(bad, 0x1000, BuildPmtSection(1, kVideoPid, video));
    bad[188 + 4] = 200;
    ts.InitParser(bad.data(), bad.size());
    EXPECT_FALSE(ts.FindProgram());
    // A PMT whose table id is wrong.
    Bytes wrongTable;
    TsWriter w3;
    w3.AppendSection(wrongTable, 0, BuildPatSection(programs));
    Bytes pmt3 = BuildPmtSection(1, kVideoPid, video);
    pmt3[0] = 0x42;
    w3.AppendSection(wrongTable, 0x1000, pmt3);
    ts.InitParser(wrongTable.data(), wrongTable.size());
    EXPECT_FALSE(ts.FindProgram());
}

TEST(TSParser, DiscoveryResyncsOverGarbage)
{
    TsWriter w;
    Bytes prog = Program(w);
    Bytes out = Bytes(50, 0x11);
    Append(out, Bytes(prog.begin(), prog.begin() + 188)); // PAT
    for (int i = 0; i < 3; ++i)
        w.AppendPes(out, 0x300, Es(10, 0));
    Append(out, Bytes(33, 0x22));                       // garbage between packets
    Append(out, Bytes(prog.begin() + 188, prog.end())); // PMT
    for (int i = 0; i < 3; ++i)
        w.AppendPes(out, 0x300, Es(10, 0));
    TSParser ts;
    ts.InitParser(out.data(), out.size());
    EXPECT_TRUE(ts.FindProgram());
    EXPECT_EQ(ts.VideoPid(), kVideoPid);
}

TEST(TSParser, ReassemblesOnePidAfterAdaptationAndPesHeaders)
{
    TsWriter w;
    Bytes stream = Program(w);
    Bytes first = Es(500, 3), second = Es(37, 9);
    w.AppendPes(stream, kVideoPid, first);
    w.AppendPes(stream, 0x101, Es(400, 100)); // another PID in between
    w.AppendPes(stream, kVideoPid, second);
    TSParser ts;
    ts.InitParser(stream.data(), stream.size());
    ASSERT_TRUE(ts.FindProgram());
    ASSERT_TRUE(ts.ReassembleSpan());
    Bytes expected = first;
    Append(expected, second);
    EXPECT_EQ(Bytes(ts.Payload().begin(), ts.Payload().end()), expected);
}

TEST(TSParser, ContinuityErrorFailsA188ByteSpan)
{
    TsWriter w;
    Bytes stream;
    w.AppendPes(stream, kVideoPid, Es(500, 3));               // 3 packets
    stream.erase(stream.begin() + 188, stream.begin() + 376); // lose the middle one
    TSParser ts;
    ts.SetVideoPid(kVideoPid);
    ts.InitParser(stream.data(), stream.size());
    CaptureStdout();
    EXPECT_FALSE(ts.ReassembleSpan());
    EXPECT_EQ(GetCapturedStdout(), "4\n");

    // The same loss in 192-byte packets is not checked.
    TsWriter w192(192);
    Bytes s192;
    w192.AppendPes(s192, kVideoPid, Es(2000, 3));
    s192.erase(s192.begin() + 192, s192.begin() + 384);
    TSParser ts192;
    ts192.SetPacketSize(192);
    ts192.SetVideoPid(kVideoPid);
    ts192.InitParser(s192.data(), s192.size());
    CaptureStdout();
    EXPECT_TRUE(ts192.ReassembleSpan());
    EXPECT_EQ(GetCapturedStdout(), "");
    EXPECT_EQ(ts192.Payload().size(), 2000u - 184);
}

TEST(TSParser, LostSyncEndsTheSpanWithWhatWasCollected)
{
    TsWriter w;
    Bytes stream;
    Bytes es = Es(400, 5);
    w.AppendPes(stream, kVideoPid, es);
    stream[188] = 0x00; // second packet loses its sync byte
    TSParser ts;
    ts.SetVideoPid(kVideoPid);
    ts.InitParser(stream.data(), stream.size());
    CaptureStdout();
    EXPECT_TRUE(ts.ReassembleSpan());
    EXPECT_EQ(GetCapturedStdout(), "5\n");
    EXPECT_EQ(Bytes(ts.Payload().begin(), ts.Payload().end()), Bytes(es.begin(), es.begin() + 175));

    // No sync at all.
    Bytes garbage(1000, 0x12);
    ts.InitParser(garbage.data(), garbage.size());
    CaptureStdout();
    EXPECT_TRUE(ts.ReassembleSpan());
    EXPECT_EQ(GetCapturedStdout(), "5\n");
    EXPECT_TRUE(ts.Payload().empty());
}

TEST(TSParser, ReassemblyNeedsAVideoPid)
{
    TsWriter w;
    Bytes stream;
    w.AppendPes(stream, kVideoPid, Es(10, 5));
    TSParser ts;
    ts.InitParser(stream.data(), stream.size());
    EXPECT_FALSE(ts.ReassembleSpan());
}

Bytes Packet(uint8_t b1, uint8_t b3, const Bytes& body)
{
    Bytes p(188, 0xFF);
    p[0] = 0x47;
    p[1] = b1;
    p[2] = 0x00;
    p[3] = b3;
    std::copy(body.begin(), body.end(), p.begin() + 4);
    return p;
}

TEST(TSParser, SinglePacketPayload)
{
    TsPacketPayload out;
    // Payload only, no unit start.
    Bytes p = Packet(0x01, 0x10, {0xAA});
    ASSERT_TRUE(TSParser::ExtractPacketPayload(p, out));
    EXPECT_EQ(out.pid, 0x100);
    EXPECT_EQ(out.offset, 4u);
    EXPECT_EQ(out.length, 184u);
    // Adaptation field of 10 bytes, then a PES header with 5 bytes of header data.
    Bytes body(11, 0);
    body[0] = 10;
    Append(body, Bytes{0, 0, 1, 0xE0, 0, 0, 0x80, 0x80, 5, 1, 2, 3, 4, 5, 0x77});
    p = Packet(0x41, 0x30, body);
    ASSERT_TRUE(TSParser::ExtractPacketPayload(p, out));
    EXPECT_TRUE(out.unitStart);
    EXPECT_EQ(out.offset, 4u + 11 + 14);
    EXPECT_EQ(p[out.offset], 0x77);
    // Unit start without 00 00 01: the payload stays whole.
    p = Packet(0x41, 0x10, {0x12, 0x34});
    ASSERT_TRUE(TSParser::ExtractPacketPayload(p, out));
    EXPECT_EQ(out.offset, 4u);
    // Adaptation only, reserved control value, wrong sync, short packet.
    EXPECT_FALSE(TSParser::ExtractPacketPayload(Packet(0x01, 0x20, {}), out));
    EXPECT_FALSE(TSParser::ExtractPacketPayload(Packet(0x01, 0x00, {}), out));
    Bytes bad = Packet(0x01, 0x10, {});
    bad[0] = 0x48;
    EXPECT_FALSE(TSParser::ExtractPacketPayload(bad, out));
    Bytes whole = Packet(0x01, 0x10, {});
    EXPECT_FALSE(TSParser::ExtractPacketPayload(std::span(whole).first(187), out));
    // Adaptation field longer than the packet; PES header data beyond the packet.
    EXPECT_FALSE(TSParser::ExtractPacketPayload(Packet(0x01, 0x30, {184}), out));
    EXPECT_TRUE(TSParser::ExtractPacketPayload(Packet(0x01, 0x30, {183}), out));
    EXPECT_EQ(out.length, 0u);
    EXPECT_FALSE(TSParser::ExtractPacketPayload(
        Packet(0x41, 0x10, {0, 0, 1, 0xE0, 0, 0, 0x80, 0x80, 200}), out));
}

} // namespace
