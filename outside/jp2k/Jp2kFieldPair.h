// A JPEG 2000 sample as the splitter delivers it: the first field's 144-byte
// header and codestream, then the second field's header and codestream with
// the same frame number. The first 128 bytes of the first header are the
// frame information packet the decoder passes on.
//
// Pure functions over caller-owned bytes; any thread.
#pragma once

#include "JP2KFieldHeader.h"

#include <cstddef>
#include <cstdint>
#include <span>

inline constexpr size_t kJp2kInfoPacketSize = 128;

struct Jp2kFieldPair {
    JP2KFieldHeader first;
    std::span<const uint8_t> firstCodestream;
    // The second field, when the sample holds a valid one right behind the
    // first (its header's markers, second-field bit and frame number).
    bool hasSecond = false;
    JP2KFieldHeader second;
    std::span<const uint8_t> secondCodestream;
    std::span<const uint8_t> infoPacket; // 128 bytes
};

// False unless the sample starts with a first field's header and holds some
// of its codestream. A codestream the sample cuts short is taken as far as it
// goes (the decoder decides what it can make of it).
bool SplitJp2kFieldPair(std::span<const uint8_t> sample, Jp2kFieldPair* out);
