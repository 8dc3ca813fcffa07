// The overlay record parser on the path of IProcesserOverlay's
// AddOverlaysFromByte: every record that passes is built into an item (a
// bitmap through a temporary file of its own); the items then write their
// records, which must read back into the same items and the same bytes; and
// the items are drawn into a CIF picture and a tiny one, wherever their
// coordinates put them.
#include "FuzzCheck.h"
#include "FuzzOverlayDraw.h"

#include "COverlayList.h"
#include "OverlayRecord.h"

#include <cstdint>
#include <vector>

namespace {

std::vector<BYTE> WriteAll(const COverlayList& list, size_t* items)
{
    std::vector<BYTE> bytes;
    *items = 0;
    list.ForEach([&](const COverlayItem& item) {
        ++*items;
        // Every item built from a record has a record again (its bitmap file
        // is still there to be read).
        FUZZ_CHECK(OverlayWriteRecord(item, &bytes));
    });
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > size_t(INT32_MAX))
        return 0;
    COverlayList list;
    LONG count = -1;
    FUZZ_CHECK(list.AddOverlaysFromByte(data, LONG(size), &count) == S_OK);
    FUZZ_CHECK(count >= 0 && size_t(count) == list.Count());

    size_t items = 0;
    const std::vector<BYTE> first = WriteAll(list, &items);
    FUZZ_CHECK(items == size_t(count));
    if (first.empty())
        return 0;
    FuzzDrawYuy2(list, 352, 288);
    FuzzDrawYuy2(list, 6, 3);

    COverlayList copy;
    LONG again = -1;
    FUZZ_CHECK(copy.AddOverlaysFromByte(first.data(), LONG(first.size()), &again) == S_OK);
    FUZZ_CHECK(again == count);
    const std::vector<BYTE> second = WriteAll(copy, &items);
    FUZZ_CHECK(second == first);

    // The buffer form: one byte short of an ID's records fails and reports
    // the whole records that did fit.
    {
        LONG id = 0;
        list.ForEach([&](const COverlayItem& item) { id = item.id; });
        std::vector<BYTE> buffer(first.size());
        LONG bytes = LONG(buffer.size()), written = -1;
        FUZZ_CHECK(list.GetItemsByIndex(id, buffer.data(), &bytes, &written) == S_OK);
        FUZZ_CHECK(written >= 1 && bytes > 0);
        const LONG all = bytes;
        bytes = all - 1;
        LONG untouched = -1;
        FUZZ_CHECK(list.GetItemsByIndex(id, buffer.data(), &bytes, &untouched) == E_FAIL);
        FUZZ_CHECK(untouched == -1 && bytes >= 0 && bytes < all);
        LONG whole = OverlayParseRecords(buffer.data(), size_t(bytes),
                                         [](const OverlayRecord&) { return true; });
        FUZZ_CHECK(whole < written);
    }
    return 0;
}
