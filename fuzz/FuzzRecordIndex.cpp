// The ".idx" loader over arbitrary index files: it never reads outside the
// tables it is given, and an index it takes points only inside the record file,
// in order, with known frame types and the end entry last.
//
// The first 8 input bytes give the record file's length the loader expects.
#include "FuzzCheck.h"

#include "ByteOrder.h"
#include "RecordIndexFile.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const auto positions = std::make_unique<int64_t[]>(kRecordIndexMaxEntries);
    static const auto types = std::make_unique<uint8_t[]>(kRecordIndexMaxEntries);
    if (size < 8)
        return 0;
    RecordIndexExpectation expect;
    expect.fileLength = static_cast<int64_t>(ReadLE64(data) & 0xFFFFFFFFFFFFULL);
    const uint8_t* file = data + 8;
    const size_t length = size - 8;
    if (length >= 48) {
        // Let the loader get past the kind checks as often as not.
        expect.containerKind = static_cast<int32_t>(ReadLE32(file + 40));
        expect.codecKind = static_cast<int32_t>(ReadLE32(file + 44) ^ (data[0] & 1));
    }

    RecordIndexHeader header;
    const IndexCheck check = LoadRecordIndex(
        [&](int64_t at, uint8_t* out, size_t n) -> size_t {
            FUZZ_CHECK(at >= 0);
            if (static_cast<uint64_t>(at) >= length)
                return 0;
            const size_t count = std::min(n, length - static_cast<size_t>(at));
            std::memcpy(out, file + at, count);
            return count;
        },
        expect, header, positions.get(), types.get());
    FUZZ_CHECK((check == IndexCheck::Ok) == (IndexCheckMessage(check) == nullptr));
    if (check != IndexCheck::Ok)
        return 0;
    FUZZ_CHECK(header.entryCount >= 1 && header.entryCount <= kRecordIndexMaxEntries);
    FUZZ_CHECK(header.gopLength > 0 && header.fileLength == expect.fileLength);
    const size_t n = static_cast<size_t>(header.entryCount);
    FUZZ_CHECK(types[n - 1] == 0);
    for (size_t i = 0; i < n; ++i) {
        FUZZ_CHECK(positions[i] >= 0 && positions[i] <= expect.fileLength);
        FUZZ_CHECK(types[i] <= 3);
        if (i > 0)
            FUZZ_CHECK(positions[i] >= positions[i - 1]);
    }
    return 0;
}
