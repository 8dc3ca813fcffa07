#include "Jp2kFieldPair.h"

#include <algorithm>

bool SplitJp2kFieldPair(std::span<const uint8_t> sample, Jp2kFieldPair* out)
{
    Jp2kFieldPair pair;
    if (!ReadJP2KFieldHeader(sample, pair.first) || pair.first.secondField)
        return false;
    const size_t firstEnd = kJP2KFieldHeaderSize + pair.first.codestreamLength;
    if (sample.size() <= kJP2KFieldHeaderSize || pair.first.codestreamLength == 0)
        return false;
    pair.infoPacket = sample.first(kJp2kInfoPacketSize);
    pair.firstCodestream = sample.subspan(kJP2KFieldHeaderSize)
                               .first(std::min<size_t>(pair.first.codestreamLength,
                                                       sample.size() - kJP2KFieldHeaderSize));
    if (firstEnd < sample.size()) {
        const std::span<const uint8_t> rest = sample.subspan(firstEnd);
        JP2KFieldHeader second;
        if (ReadJP2KFieldHeader(rest, second) && second.secondField &&
            second.frameNumber == pair.first.frameNumber && second.codestreamLength > 0 &&
            rest.size() > kJP2KFieldHeaderSize) {
            pair.hasSecond = true;
            pair.second = second;
            pair.secondCodestream =
                rest.subspan(kJP2KFieldHeaderSize)
                    .first(std::min<size_t>(second.codestreamLength,
                                            rest.size() - kJP2KFieldHeaderSize));
        }
    }
    *out = pair;
    return true;
}
