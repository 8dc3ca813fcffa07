// The device side of the control protocol on any request: every payload gets
// an answer of the right shape (a 4-byte status, or data for a get that
// succeeded), never a crash, and a refused request leaves the settings alone.
//
// Input: bytes 0-1 the command (little-endian); the rest is the payload.
#include "FuzzCheck.h"

#include "tvdevice/DeviceModel.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const uint16_t command = static_cast<uint16_t>(data[0] | (data[1] << 8));
    tvdevice::CDeviceModel model;
    const tvdevice::DeviceSettings before = model.Settings();
    const tvdevice::DeviceResponse answer = model.Handle(command, data + 2, size - 2);
    FUZZ_CHECK(answer.kind == 2 || answer.kind == 3);
    if (answer.kind == 3) {
        FUZZ_CHECK(answer.payload.size() == 4);
        const uint32_t status = (static_cast<uint32_t>(answer.payload[0]) << 24) |
                                (answer.payload[1] << 16) | (answer.payload[2] << 8) |
                                answer.payload[3];
        if (status != 0)
            FUZZ_CHECK(!answer.changed && model.Settings() == before);
    } else {
        FUZZ_CHECK(!answer.changed);
    }
    return 0;
}
