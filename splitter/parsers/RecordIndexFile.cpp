#include "RecordIndexFile.h"

#include "ByteOrder.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <vector>

namespace {

// Table bytes go through this much staging at a time.
constexpr size_t kStagingEntries = 8192;

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

} // namespace

std::string MakeRecordIndexName(const std::string& mediaName)
{
    if (mediaName.empty())
        return {};
    size_t nameStart = 0;
    for (size_t i = mediaName.size(); i > 0; --i) {
        if (IsSeparator(mediaName[i - 1])) {
            nameStart = i;
            break;
        }
    }
    size_t dot = mediaName.rfind('.');
    if (dot == std::string::npos || dot < nameStart)
        return mediaName + ".idx";
    return mediaName.substr(0, dot) + ".idx";
}

const char* IndexCheckMessage(IndexCheck check)
{
    switch (check) {
    case IndexCheck::Ok:
        return nullptr;
    case IndexCheck::HeaderShort:
        return "索引文件长度太短";
    case IndexCheck::BadMagic:
    case IndexCheck::Inconsistent:
        return "非法的索引";
    case IndexCheck::LengthMismatch:
    case IndexCheck::TablesShort:
        return "视频文件与索引文件长度不对应";
    case IndexCheck::BadEntryCount:
        return "索引文件帧数错误";
    case IndexCheck::BadGop:
        return "GOP 大小错误";
    }
    return nullptr;
}

void WriteRecordIndexHeader(const RecordIndexHeader& h, uint8_t out[kRecordIndexHeaderSize])
{
    std::memcpy(out, kRecordIndexMagic, 4);
    WriteLE64(out + 4, static_cast<uint64_t>(h.fileLength));
    const int32_t fields[] = {h.frameDuration, h.entryCount, h.gopLength, h.bFrames,
                              h.pFrames,       h.width,      h.height,    h.containerKind,
                              h.codecKind,     h.videoPid};
    for (size_t i = 0; i < std::size(fields); ++i)
        WriteLE32(out + 12 + 4 * i, static_cast<uint32_t>(fields[i]));
}

IndexCheck LoadRecordIndex(const IndexReadFn& read, const RecordIndexExpectation& expect,
                           RecordIndexHeader& header, int64_t* positions, uint8_t* types)
{
    uint8_t raw[kRecordIndexHeaderSize];
    if (read(0, raw, sizeof raw) != sizeof raw)
        return IndexCheck::HeaderShort;
    if (std::memcmp(raw, kRecordIndexMagic, 4) != 0)
        return IndexCheck::BadMagic;
    RecordIndexHeader h;
    h.fileLength = static_cast<int64_t>(ReadLE64(raw + 4));
    int32_t* fields[] = {&h.frameDuration, &h.entryCount, &h.gopLength, &h.bFrames,
                         &h.pFrames,       &h.width,      &h.height,    &h.containerKind,
                         &h.codecKind,     &h.videoPid};
    for (size_t i = 0; i < std::size(fields); ++i)
        *fields[i] = static_cast<int32_t>(ReadLE32(raw + 12 + 4 * i));
    if (h.fileLength != expect.fileLength)
        return IndexCheck::LengthMismatch;
    if (h.entryCount <= 0 || h.entryCount > kRecordIndexMaxEntries)
        return IndexCheck::BadEntryCount;
    if (h.gopLength <= 0)
        return IndexCheck::BadGop;

    const size_t n = static_cast<size_t>(h.entryCount);
    std::vector<uint8_t> staging(kStagingEntries * 8);
    int64_t at = kRecordIndexHeaderSize;
    for (size_t done = 0; done < n;) {
        const size_t count = std::min(kStagingEntries, n - done);
        if (read(at, staging.data(), count * 8) != count * 8)
            return IndexCheck::TablesShort;
        for (size_t i = 0; i < count; ++i)
            positions[done + i] = static_cast<int64_t>(ReadLE64(staging.data() + 8 * i));
        done += count;
        at += static_cast<int64_t>(count * 8);
    }
    if (read(at, types, n) != n)
        return IndexCheck::TablesShort;

    // A damaged or foreign index must not send reads outside the file.
    if (h.codecKind != expect.codecKind || h.containerKind != expect.containerKind ||
        types[n - 1] != 0 || positions[0] < 0 || positions[n - 1] > expect.fileLength)
        return IndexCheck::Inconsistent;
    for (size_t i = 0; i + 1 < n; ++i) {
        if (positions[i + 1] < positions[i] || types[i] > 3)
            return IndexCheck::Inconsistent;
    }
    header = h;
    return IndexCheck::Ok;
}

bool WriteRecordIndex(const IndexWriteFn& write, const RecordIndexHeader& header,
                      const int64_t* positions, const uint8_t* types)
{
    uint8_t raw[kRecordIndexHeaderSize];
    WriteRecordIndexHeader(header, raw);
    if (!write(raw, sizeof raw))
        return false;
    const size_t n = header.entryCount > 0 ? static_cast<size_t>(header.entryCount) : 0;
    std::vector<uint8_t> staging(kStagingEntries * 8);
    for (size_t done = 0; done < n;) {
        const size_t count = std::min(kStagingEntries, n - done);
        for (size_t i = 0; i < count; ++i)
            WriteLE64(staging.data() + 8 * i, static_cast<uint64_t>(positions[done + i]));
        if (!write(staging.data(), count * 8))
            return false;
        done += count;
    }
    return n == 0 || write(types, n);
}
