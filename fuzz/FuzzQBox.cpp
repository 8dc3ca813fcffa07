// QBox box walking with payload location, NAL rewriting, the "qmed"/AAC checks and
// ADTS framing, and the device and JPEG 2000 header readers.
#include "FuzzCheck.h"

#include "DeviceFrameHeader.h"
#include "JP2KFieldHeader.h"
#include "QBox.h"

#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::span<const uint8_t> buffer(data, size);
    QBoxWalker walker(buffer);
    QBoxRef box;
    size_t last = 0;
    int boxes = 0;
    while (walker.Next(box)) {
        FUZZ_CHECK(boxes == 0 || box.offset > last);
        last = box.offset;
        ++boxes;
        FUZZ_CHECK(box.offset + box.bytes.size() <= size);
        FUZZ_CHECK(box.complete ? box.bytes.size() == box.header.boxSize
                                : box.bytes.size() >= kQBoxHeaderSize);
        QBoxPayloadLength(box.header, box.bytes);
        QBoxTimeTo100ns(box.header.compositionTime);
        size_t offset = 0, length = 0;
        if (LocateQBoxMedia(box.header, box.bytes, offset, length)) {
            FUZZ_CHECK(offset + length <= box.bytes.size());
            std::span<const uint8_t> media = box.bytes.subspan(offset, length);
            std::vector<uint8_t> out;
            size_t units = AppendNalUnitsAsStartCodes(media, out);
            FUZZ_CHECK(out.size() <= media.size());
            std::vector<uint8_t> copy(media.begin(), media.end());
            FUZZ_CHECK(RewriteNalLengthsInPlace(copy) == units);
            QmedAacConfig config;
            if (ReadQmedHeader(media, config))
                FUZZ_CHECK(config.headerSize <= media.size() && config.samplingIndex <= 12);
        }
        std::vector<uint8_t> adts;
        if (AppendQBoxAacAsAdts(box, adts))
            FUZZ_CHECK(adts.size() >= 7 && adts.size() <= 0x1FFF);
    }
    for (size_t at = 0; at < size && at < 4096; ++at) {
        std::span<const uint8_t> rest = buffer.subspan(at);
        DeviceFrameHeader header;
        if (ReadDeviceFrameHeader(rest, header))
            DeviceHeaderGeometry(header);
        JP2KFieldHeader field;
        if (ReadJP2KFieldHeader(rest, field))
            FUZZ_CHECK(field.codestreamLength <= kJP2KMaxCodestreamLength);
        int32_t w = 0, h = 0;
        ReadJP2KPictureSize(rest, w, h);
    }
    return 0;
}
