// The two forms H.264 comes in on an AVC1 type: start-code form (each NAL
// unit behind 00 00 01 or 00 00 00 01), which the splitter delivers, and the
// length-prefixed form of MPEG2VIDEOINFO (the sequence header as NAL units
// behind 2-byte big-endian lengths; samples as NAL units behind lengths of
// dwFlags bytes). libavcodec's parser reads start-code form.
//
// Pure functions over caller-owned bytes; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// True when the bytes begin with 00 00 01 or 00 00 00 01.
bool StartsWithStartCode(std::span<const uint8_t> bytes);

// The parameter sets of an AVC1 sequence header in start-code form: copied
// when they already are, else read as 2-byte-length NAL units, which must
// fill the header exactly. False for anything else.
bool AvcSequenceHeaderToAnnexB(std::span<const uint8_t> header, std::vector<uint8_t>* out);

// NAL units behind big-endian lengths of lengthSize bytes (1, 2 or 4) in
// start-code form. False, with out cleared, when a length is 0 or runs past
// the end, or lengthSize is none of the three.
bool LengthPrefixedToAnnexB(std::span<const uint8_t> bytes, int lengthSize,
                            std::vector<uint8_t>* out);
