// CreateFileParser: the parser class for each stream kind of record file.
#include "CBaseParser.h"
#include "CH264Parser.h"
#include "CHDH264Parser.h"
#include "CHDH264QBoxParser.h"
#include "CJP2KParser.h"
#include "CMjpegQBoxPaser.h"
#include "CMpeg2Parser.h"
#include "CMpeg4Parser.h"
#include "CodecKind.h"
#include "ContainerKind.h"
#include "SequenceHeader.h"
#include "StreamDetect.h"
#include "StreamInfo.h"
#include "TSParser.h"

#include <algorithm>
#include <new>

std::unique_ptr<CBaseParser> CreateFileParser(const ParserStreamSetup& setup)
{
    switch (setup.codecKind) {
    case CodecMpeg2:
        return std::unique_ptr<CBaseParser>(new (std::nothrow) CMpeg2Parser(setup));
    case CodecMpeg4:
        return std::unique_ptr<CBaseParser>(new (std::nothrow) CMpeg4Parser(setup));
    case CodecDeviceH264:
        return std::unique_ptr<CBaseParser>(new (std::nothrow) CH264Parser(setup));
    case CodecJP2K:
        return std::unique_ptr<CBaseParser>(new (std::nothrow) CJP2KParser(setup));
    case CodecHDH264:
        if (setup.containerKind == ContainerQBox)
            return std::unique_ptr<CBaseParser>(new (std::nothrow) CHDH264QBoxParser(setup));
        return std::unique_ptr<CBaseParser>(new (std::nothrow) CHDH264Parser(setup));
    case CodecMjpeg:
        return std::unique_ptr<CBaseParser>(new (std::nothrow) CMjpegQBoxPaser(setup));
    default:
        return nullptr;
    }
}

bool DescribeRecordStart(std::span<const uint8_t> bytes, ParserStreamSetup& setup,
                         std::vector<uint8_t>& sequenceHeader)
{
    const std::span<const uint8_t> window = bytes.first(std::min<size_t>(bytes.size(), 0x400000));
    TSParser ts;
    StreamKinds kinds;
    DetectStream(window, kinds, ts, window.size() == bytes.size());
    if (kinds.codecKind == CodecUnknown)
        return false;
    sequenceHeader.assign(kSequenceHeaderCapacity, 0);
    const size_t n =
        ExtractSequenceHeader(window, kinds.codecKind, kinds.containerKind, sequenceHeader);
    StreamFormat format;
    if (n == 0 || !DescribeStream(window, kinds.codecKind, kinds.containerKind,
                                  std::span<const uint8_t>(sequenceHeader).first(n), format))
        return false;
    sequenceHeader.resize(n);
    setup.codecKind = kinds.codecKind;
    setup.containerKind = kinds.containerKind;
    setup.frameDuration = format.frameDuration;
    setup.width = format.width;
    setup.height = format.height;
    setup.videoPid = ts.VideoPid();
    setup.sequenceHeader = sequenceHeader;
    return true;
}
