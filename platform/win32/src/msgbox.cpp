#include "win32/msgbox.h"

#include <cstdio>
#include <mutex>
#include <string>

namespace {

std::mutex g_handlerLock;
TvMessageBoxHandler g_handler = nullptr; // guarded by g_handlerLock
void* g_user = nullptr;                  // guarded by g_handlerLock

// The button a user gets by pressing Enter: the default button of the box's set.
int defaultButton(UINT type)
{
    static const int kButtons[][3] = {
        {IDOK, IDOK, IDOK},           // MB_OK
        {IDOK, IDCANCEL, IDOK},       // MB_OKCANCEL
        {IDABORT, IDRETRY, IDIGNORE}, // MB_ABORTRETRYIGNORE
        {IDYES, IDNO, IDCANCEL},      // MB_YESNOCANCEL
        {IDYES, IDNO, IDYES},         // MB_YESNO
        {IDRETRY, IDCANCEL, IDRETRY}, // MB_RETRYCANCEL
    };
    UINT set = type & MB_TYPEMASK;
    if (set >= sizeof(kButtons) / sizeof(kButtons[0]))
        return IDOK;
    UINT which = (type & MB_DEFMASK) >> 8;
    if (which > 2)
        which = 0;
    return kButtons[set][which];
}

// Line breaks would split the one line a reader (or a log scanner) expects: trailing
// ones are dropped ("Error! the Code is:%d\n" is such a text), inner ones become spaces.
void appendOneLine(std::string& line, const char* text)
{
    std::string flat(text);
    while (!flat.empty() && (flat.back() == '\n' || flat.back() == '\r'))
        flat.pop_back();
    for (char c : flat)
        line += (c == '\n' || c == '\r') ? ' ' : c;
}

int defaultHandler(HWND, LPCSTR text, LPCSTR caption, UINT type, void*)
{
    // Windows titles a box without a caption "Error".
    std::string line;
    appendOneLine(line, caption ? caption : "Error");
    line += ": ";
    if (text)
        appendOneLine(line, text);
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
    return defaultButton(type);
}

} // namespace

extern "C" int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    TvMessageBoxHandler handler;
    void* user;
    {
        std::lock_guard<std::mutex> guard(g_handlerLock);
        handler = g_handler ? g_handler : defaultHandler;
        user = g_user;
    }
    return handler(owner, text, caption, type, user);
}

void TvSetMessageBoxHandler(TvMessageBoxHandler handler, void* user)
{
    std::lock_guard<std::mutex> guard(g_handlerLock);
    g_handler = handler;
    g_user = handler ? user : nullptr;
}
