#include "win32/text.h"

#include <cerrno>
#include <cstdint>
#include <iconv.h>

std::string TvWideToUtf8(const WCHAR* text)
{
    std::string out;
    if (!text)
        return out;
    for (; *text; ++text) {
        uint32_t c = static_cast<uint32_t>(*text);
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            c = 0xFFFD;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::wstring TvUtf8ToWide(const char* text)
{
    std::wstring out;
    if (!text)
        return out;
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (*p) {
        const unsigned char lead = *p;
        int extra;
        uint32_t c;
        if (lead < 0x80) {
            c = lead;
            extra = 0;
        } else if ((lead & 0xE0) == 0xC0) {
            c = lead & 0x1F;
            extra = 1;
        } else if ((lead & 0xF0) == 0xE0) {
            c = lead & 0x0F;
            extra = 2;
        } else if ((lead & 0xF8) == 0xF0) {
            c = lead & 0x07;
            extra = 3;
        } else {
            out += static_cast<wchar_t>(0xFFFD);
            ++p;
            continue;
        }
        ++p;
        int taken = 0;
        while (taken < extra && (*p & 0xC0) == 0x80) {
            c = (c << 6) | (*p & 0x3F);
            ++p;
            ++taken;
        }
        // Truncated sequences, overlong forms, surrogates and values past
        // U+10FFFF are all replaced, never passed on.
        static const uint32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
        if (taken < extra || c < kMinimum[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            c = 0xFFFD;
        out += static_cast<wchar_t>(c);
    }
    return out;
}

std::string TvCodePageName(UINT cp)
{
    switch (cp) {
    case 20127:
        return "ASCII";
    case 20936:
        return "GB2312";
    case 54936:
        return "GB18030";
    case 950:
        return "BIG5";
    default:
        if (cp >= 28591 && cp <= 28599)
            return "ISO-8859-" + std::to_string(cp - 28590);
        return "CP" + std::to_string(cp);
    }
}

namespace {

// One iconv descriptor for the length of a conversion.
class CIconv {
public:
    CIconv(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~CIconv()
    {
        if (Valid())
            iconv_close(m_cd);
    }
    CIconv(const CIconv&) = delete;
    CIconv& operator=(const CIconv&) = delete;
    bool Valid() const { return m_cd != iconv_t(-1); }
    // Converts [in, in + n) into out up to the first invalid or cut-off
    // sequence and returns the bytes consumed (n when all converted); the
    // converter is left in its initial state.
    size_t Convert(const char* in, size_t n, std::string& out)
    {
        char* src = const_cast<char*>(in);
        size_t left = n;
        while (left > 0) {
            char buf[256];
            char* dst = buf;
            size_t room = sizeof buf;
            const size_t r = iconv(m_cd, &src, &left, &dst, &room);
            out.append(buf, sizeof buf - room);
            if (r == size_t(-1) && errno != E2BIG)
                break;
        }
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        return n - left;
    }

private:
    iconv_t m_cd;
};

} // namespace

bool TvUtf8ToCodePage(const std::string& text, UINT codePage, size_t maxBytes, std::string& out)
{
    out.clear();
    CIconv cd(TvCodePageName(codePage).c_str(), "UTF-32LE");
    if (codePage != CP_UTF8 && !cd.Valid())
        return false;
    const std::wstring wide = TvUtf8ToWide(text.c_str());
    for (wchar_t c : wide) {
        std::string one;
        if (codePage == CP_UTF8) {
            one = TvWideToUtf8(std::wstring(1, c).c_str());
        } else {
            const uint32_t v = static_cast<uint32_t>(c);
            const char in[4] = {char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF),
                                char(v >> 24)};
            if (cd.Convert(in, sizeof in, one) != sizeof in)
                one = "?";
        }
        if (out.size() + one.size() > maxBytes)
            break;
        out += one;
    }
    return true;
}

std::string TvCodePageToUtf8(const char* bytes, size_t count, UINT codePage)
{
    if (!bytes || count == 0)
        return std::string();
    CIconv cd("UTF-8", TvCodePageName(codePage).c_str());
    if (codePage == CP_UTF8 || !cd.Valid()) {
        // Valid UTF-8 passes unchanged; anything else is replaced.
        return TvWideToUtf8(TvUtf8ToWide(std::string(bytes, count).c_str()).c_str());
    }
    std::string out;
    size_t at = 0;
    while (at < count) {
        at += cd.Convert(bytes + at, count - at, out);
        if (at < count) {
            out += "\xEF\xBF\xBD"; // U+FFFD for the byte that starts no character
            ++at;
        }
    }
    return out;
}
