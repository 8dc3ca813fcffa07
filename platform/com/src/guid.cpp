// GUID text form: printing and strict parsing of "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#include "com/guid.h"

#include <cstring>

#include "com/coapi.h"

namespace {

const char kHexDigits[] = "0123456789ABCDEF";

int HexValue(uint32_t c)
{
    if (c >= '0' && c <= '9')
        return static_cast<int>(c - '0');
    if (c >= 'A' && c <= 'F')
        return static_cast<int>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f')
        return static_cast<int>(c - 'a' + 10);
    return -1;
}

// The 16 bytes in text order: Data1..Data3 are printed as big-endian numbers,
// Data4 byte by byte.
void GuidToTextBytes(const GUID& g, uint8_t bytes[16])
{
    bytes[0] = static_cast<uint8_t>(g.Data1 >> 24);
    bytes[1] = static_cast<uint8_t>(g.Data1 >> 16);
    bytes[2] = static_cast<uint8_t>(g.Data1 >> 8);
    bytes[3] = static_cast<uint8_t>(g.Data1);
    bytes[4] = static_cast<uint8_t>(g.Data2 >> 8);
    bytes[5] = static_cast<uint8_t>(g.Data2);
    bytes[6] = static_cast<uint8_t>(g.Data3 >> 8);
    bytes[7] = static_cast<uint8_t>(g.Data3);
    std::memcpy(bytes + 8, g.Data4, 8);
}

// Writes the 38 characters (no NUL) through put(index, char).
template <typename Put> void FormatGuid(const GUID& g, Put put)
{
    uint8_t bytes[16];
    GuidToTextBytes(g, bytes);
    int pos = 0;
    put(pos++, '{');
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            put(pos++, '-');
        put(pos++, kHexDigits[bytes[i] >> 4]);
        put(pos++, kHexDigits[bytes[i] & 0xF]);
    }
    put(pos++, '}');
}

// Reads exactly the registry form from a NUL-terminated string of CharT.
template <typename CharT> bool ParseGuid(const CharT* text, GUID* out)
{
    // Dashes sit at these positions; everything between the braces else is hex.
    uint8_t bytes[16];
    int byteIndex = 0;
    int nibble = -1;
    for (int pos = 0; pos < TV_GUID_STRING_LENGTH; ++pos) {
        const uint32_t c = static_cast<uint32_t>(text[pos]);
        if (c == 0)
            return false;
        if (pos == 0) {
            if (c != '{')
                return false;
        } else if (pos == TV_GUID_STRING_LENGTH - 1) {
            if (c != '}')
                return false;
        } else if (pos == 9 || pos == 14 || pos == 19 || pos == 24) {
            if (c != '-')
                return false;
        } else {
            const int v = HexValue(c);
            if (v < 0)
                return false;
            if (nibble < 0) {
                nibble = v;
            } else {
                bytes[byteIndex++] = static_cast<uint8_t>((nibble << 4) | v);
                nibble = -1;
            }
        }
    }
    if (text[TV_GUID_STRING_LENGTH] != 0 || byteIndex != 16)
        return false;
    out->Data1 = (uint32_t(bytes[0]) << 24) | (uint32_t(bytes[1]) << 16) |
                 (uint32_t(bytes[2]) << 8) | uint32_t(bytes[3]);
    out->Data2 = static_cast<uint16_t>((bytes[4] << 8) | bytes[5]);
    out->Data3 = static_cast<uint16_t>((bytes[6] << 8) | bytes[7]);
    std::memcpy(out->Data4, bytes + 8, 8);
    return true;
}

HRESULT GuidFromWide(LPCOLESTR text, GUID* out)
{
    if (!out)
        return E_INVALIDARG;
    if (!text) {
        *out = GUID_NULL;
        return S_OK;
    }
    if (!ParseGuid(text, out)) {
        *out = GUID_NULL;
        return CO_E_CLASSSTRING;
    }
    return S_OK;
}

HRESULT GuidToAllocatedString(const GUID& g, LPOLESTR* out)
{
    if (!out)
        return E_POINTER;
    *out = static_cast<LPOLESTR>(CoTaskMemAlloc((TV_GUID_STRING_LENGTH + 1) * sizeof(OLECHAR)));
    if (!*out)
        return E_OUTOFMEMORY;
    StringFromGUID2(g, *out, TV_GUID_STRING_LENGTH + 1);
    return S_OK;
}

} // namespace

extern "C" int StringFromGUID2(REFGUID guid, LPOLESTR buf, int cch)
{
    if (!buf || cch < TV_GUID_STRING_LENGTH + 1)
        return 0;
    FormatGuid(guid, [buf](int i, char c) { buf[i] = static_cast<OLECHAR>(c); });
    buf[TV_GUID_STRING_LENGTH] = 0;
    return TV_GUID_STRING_LENGTH + 1;
}

extern "C" HRESULT CLSIDFromString(LPCOLESTR text, LPCLSID out)
{
    return GuidFromWide(text, out);
}

extern "C" HRESULT IIDFromString(LPCOLESTR text, LPIID out)
{
    return GuidFromWide(text, out);
}

extern "C" HRESULT StringFromCLSID(REFCLSID clsid, LPOLESTR* out)
{
    return GuidToAllocatedString(clsid, out);
}

extern "C" HRESULT StringFromIID(REFIID iid, LPOLESTR* out)
{
    return GuidToAllocatedString(iid, out);
}

bool TvGuidToString(const GUID& guid, char out[TV_GUID_STRING_LENGTH + 1])
{
    if (!out)
        return false;
    FormatGuid(guid, [out](int i, char c) { out[i] = c; });
    out[TV_GUID_STRING_LENGTH] = 0;
    return true;
}

std::string TvGuidToString(const GUID& guid)
{
    char text[TV_GUID_STRING_LENGTH + 1];
    TvGuidToString(guid, text);
    return text;
}

bool TvGuidFromString(const char* text, GUID* out)
{
    if (!text || !out)
        return false;
    if (!ParseGuid(text, out)) {
        *out = GUID_NULL;
        return false;
    }
    return true;
}
