// The ANSI code page: UTF-8 unless a legacy code page (GBK captions from the
// devices) is set, which iconv converts.
#include "gdi_internal.h"

#include <iconv.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

#include "win32/text.h"

namespace tvgdi {
namespace {

std::atomic<UINT> g_acp{CP_UTF8};

void DecodeUtf8(const unsigned char* s, size_t n, std::u32string& out)
{
    size_t i = 0;
    while (i < n) {
        unsigned c = s[i];
        int len = c < 0x80           ? 1
                  : (c >> 5) == 0x6  ? 2
                  : (c >> 4) == 0xE  ? 3
                  : (c >> 3) == 0x1E ? 4
                                     : 0;
        char32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
        bool ok = len > 0 && i + size_t(len) <= n;
        for (int k = 1; ok && k < len; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not characters.
        static const char32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (ok && (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)))
            ok = false;
        if (ok) {
            out.push_back(cp);
            i += size_t(len);
        } else {
            out.push_back(0xFFFD);
            ++i;
        }
    }
}

} // namespace

std::u32string DecodeAnsi(const char* text, size_t count)
{
    std::u32string out;
    if (!text || count == 0)
        return out;
    UINT cp = g_acp.load(std::memory_order_relaxed);
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    if (cp == CP_UTF8) {
        DecodeUtf8(bytes, count, out);
        return out;
    }
    iconv_t cd = iconv_open("UTF-32LE", TvCodePageName(cp).c_str());
    if (cd == iconv_t(-1)) {
        DecodeUtf8(bytes, count, out);
        return out;
    }
    out.reserve(count);
    char* in = const_cast<char*>(text);
    size_t inLeft = count;
    while (inLeft > 0) {
        char32_t buf[256];
        char* o = reinterpret_cast<char*>(buf);
        size_t oLeft = sizeof(buf);
        size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
        size_t got = (sizeof(buf) - oLeft) / sizeof(char32_t);
        out.append(buf, got);
        if (r == size_t(-1) && errno != E2BIG) {
            // An invalid or cut-off sequence: one replacement character per bad byte.
            out.push_back(0xFFFD);
            ++in;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return out;
}

} // namespace tvgdi

UINT GetACP(void)
{
    return tvgdi::g_acp.load(std::memory_order_relaxed);
}

BOOL TvSetAnsiCodePage(UINT codePage)
{
    if (codePage == CP_ACP)
        return FALSE;
    if (codePage != CP_UTF8) {
        iconv_t cd = iconv_open("UTF-32LE", TvCodePageName(codePage).c_str());
        if (cd == iconv_t(-1))
            return FALSE;
        iconv_close(cd);
    }
    tvgdi::g_acp.store(codePage, std::memory_order_relaxed);
    return TRUE;
}
