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
