// JPEG 2000 codestreams (SOC, SIZ, ... EOC; no JP2 box wrapper) of one field
// picture with OpenJPEG: three components, chroma halved horizontally (4:2:2),
// lossy at a fixed compression ratio.
#pragma once

#include "TestPattern.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tvdevsim {

// False with a message in error when OpenJPEG fails.
bool EncodeJp2kCodestream(const YuvPicture& field, int compressionRatio, std::vector<uint8_t>& out,
                          std::string& error);

} // namespace tvdevsim
