// The registry's .reg text reader on any bytes: whatever it keeps must be
// written back in a form it reads again whole, and reading that form gives the
// same text: a registry file the kit wrote is never damaged by reading it back.
//
// Malformed lines are reported on standard error: run with -close_fd_mask=2.
#include "FuzzCheck.h"

#include "registry_model.h"

#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    tv::reg::Tree first;
    tv::reg::Parse(text, "fuzz.reg", &first);
    const std::string written = tv::reg::Serialize(first);

    tv::reg::Tree second;
    FUZZ_CHECK(tv::reg::Parse(written, "written.reg", &second) == 0);
    FUZZ_CHECK(tv::reg::Serialize(second) == written);
    return 0;
}
