#include "AvcFormat.h"

namespace {

constexpr uint8_t kStartCode[4] = {0, 0, 0, 1};

} // namespace

bool StartsWithStartCode(std::span<const uint8_t> b)
{
    if (b.size() >= 3 && b[0] == 0 && b[1] == 0 && b[2] == 1)
        return true;
    return b.size() >= 4 && b[0] == 0 && b[1] == 0 && b[2] == 0 && b[3] == 1;
}

bool LengthPrefixedToAnnexB(std::span<const uint8_t> bytes, int lengthSize,
                            std::vector<uint8_t>* out)
{
    out->clear();
    if (lengthSize != 1 && lengthSize != 2 && lengthSize != 4)
        return false;
    const size_t n = static_cast<size_t>(lengthSize);
    size_t at = 0;
    while (at < bytes.size()) {
        if (bytes.size() - at < n) {
            out->clear();
            return false;
        }
        size_t length = 0;
        for (size_t i = 0; i < n; ++i)
            length = (length << 8) | bytes[at + i];
        at += n;
        if (length == 0 || length > bytes.size() - at) {
            out->clear();
            return false;
        }
        out->insert(out->end(), kStartCode, kStartCode + 4);
        out->insert(out->end(), bytes.begin() + static_cast<ptrdiff_t>(at),
                    bytes.begin() + static_cast<ptrdiff_t>(at + length));
        at += length;
    }
    return true;
}

bool AvcSequenceHeaderToAnnexB(std::span<const uint8_t> header, std::vector<uint8_t>* out)
{
    if (StartsWithStartCode(header)) {
        out->assign(header.begin(), header.end());
        return true;
    }
    return !header.empty() && LengthPrefixedToAnnexB(header, 2, out);
}
