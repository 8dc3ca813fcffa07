// tvplay: command-line player over TarvoPlayLib.
//
//   tvplay --demo   the library's main job, as far as it goes: players created on
//                   virtual windows, the player table as the library reports it,
//                   and the results of calls on it.
//   tvplay --index FILE
//                   the frame index of a record file as a player opening it
//                   builds it (the file read through the platform's "File
//                   Async Reader"), with its progress in percent when it takes
//                   longer than a second. The player opens no local files yet;
//                   this is the same parser it will use.
//   tvplay --help

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>

#include "CBaseParserIndex.h"
#include "TarvoPlayLib.h"
#include "win32/text.h"

namespace {

void PrintUsage(FILE* out)
{
    std::fprintf(out,
                 "Usage: tvplay --demo | --index FILE | --help\n"
                 "\n"
                 "  --demo   Create players through TarvoPlayLib on virtual windows, print the\n"
                 "           player table and the results of calls on it, then shut down.\n"
                 "  --index FILE\n"
                 "           Build the frame index of a record file (its \".idx\" file is written\n"
                 "           beside it), printing the progress in percent while it takes\n"
                 "           longer than a second; then the frames, GOP and duration.\n"
                 "  --help   Show this text.\n"
                 "\n"
                 "The registry is $TARVO_REGISTRY, else the build tree's registry.\n");
}

// "0", "-1", "10004 TP_ERR_UNSUPPORTED", "0x80004001 E_NOTIMPL".
std::string Describe(int result)
{
    char text[96];
    const char* name = TpResultName(result);
    if (result < -1)
        std::snprintf(text, sizeof text, "0x%08X %s", static_cast<unsigned>(result),
                      name ? name : "");
    else if (result > 1 && name)
        std::snprintf(text, sizeof text, "%d %s", result, name);
    else
        std::snprintf(text, sizeof text, "%d", result);
    return text;
}

std::atomic<int> g_messages{0};

intptr_t PrintMessage(HWND hWnd, unsigned int msg, uintptr_t wParam, intptr_t lParam, void*)
{
    ++g_messages;
    std::printf("  [message] window %p: 0x%X wParam=0x%llX lParam=%lld\n", static_cast<void*>(hWnd),
                msg, static_cast<unsigned long long>(wParam), static_cast<long long>(lParam));
    return 0;
}

// Message boxes the library shows (a filter it could not create, say) are
// printed in line with the rest of the demo's output.
int PrintMessageBox(HWND, LPCSTR text, LPCSTR caption, UINT, void*)
{
    std::printf("  [message box] %s: %s\n", caption ? caption : "Error", text ? text : "");
    return IDOK;
}

struct DemoWindow {
    const char* name;
    HWND hWnd;
};

struct Created {
    int handle;
    const char* window;
    int deviceType;
    int formatType;
    int playMode;
};

int RunDemo()
{
    TvSetMessageBoxHandler(PrintMessageBox, nullptr);
    std::printf("TarvoPlayLib demo: the player table and the exported frame\n");
    std::printf("Registry: %s\n\n", TvGetRegistryPath());

    std::printf("TP_Init() = %s\n", Describe(TP_Init()).c_str());

    DemoWindow windows[] = {{"A", TvCreateVirtualWindow(640, 480)},
                            {"B", TvCreateVirtualWindow(352, 288)}};
    for (const DemoWindow& w : windows) {
        if (!w.hWnd) {
            std::fprintf(stderr, "tvplay: cannot create a virtual window\n");
            return 1;
        }
        RECT rc = {0, 0, 0, 0};
        GetClientRect(w.hWnd, &rc);
        TP_SetMessageCallback(w.hWnd, PrintMessage, nullptr);
        std::printf("Window %s: virtual, %ldx%ld client area\n", w.name,
                    static_cast<long>(rc.right), static_cast<long>(rc.bottom));
    }

    std::printf("\nCreating players (device type, format type, play mode):\n");
    struct Request {
        int window;
        int deviceType;
        int formatType;
        int playMode;
        const char* note;
    };
    const Request requests[] = {
        {0, 3, 3, 0, "live stream, device H.264"},
        {1, 1, 6, 1, "live stream, HD H.264"},
        {0, 2, 3, 2, "no player yet: for TP_OpenLocalFile"},
        {1, 6, 3, 0, "device type 6 is not for this library"},
        {1, 8, 3, 0, "device type 8 is not for this library"},
        {1, 0, 3, 0, "no such device type"},
        {1, 15, 3, 0, "no such device type"},
        {0, 14, 7, 1, "live stream, Motion JPEG"},
    };
    std::vector<Created> created;
    int firstPlayer = -1;
    for (const Request& r : requests) {
        const DemoWindow& w = windows[r.window];
        int handle = TP_Initialize(w.hWnd, r.deviceType, r.formatType, r.playMode, 0);
        std::printf("  TP_Initialize(%s, %2d, %d, %d, 0) = %-3d  %s", w.name, r.deviceType,
                    r.formatType, r.playMode, handle, r.note);
        if (handle < 0) {
            int seenAs = firstPlayer >= 0 ? TP_GetLastError(firstPlayer) : 0;
            std::printf("; last error %s", Describe(seenAs).c_str());
        } else {
            created.push_back({handle, w.name, r.deviceType, r.formatType, r.playMode});
            if (firstPlayer < 0 && r.playMode <= 1 && r.playMode >= 0)
                firstPlayer = handle;
        }
        std::printf("\n");
    }

    std::printf("\nPlayer table as the library reports it (TP_GetLastError per handle):\n");
    std::printf("  handle  window  device  format  mode  TP_GetLastError              holds\n");
    for (const Created& c : created) {
        int r = TP_GetLastError(c.handle);
        const char* holds = r == TP_ERR_NO_PLAYER        ? "no player"
                            : r == TP_ERR_INVALID_HANDLE ? "(gone)"
                                                         : "a player";
        std::printf("  %6d  %6s  %6d  %6d  %4d  %-28s %s\n", c.handle, c.window, c.deviceType,
                    c.formatType, c.playMode, Describe(r).c_str(), holds);
    }
    const int unknown = 99;
    std::printf("  %6d  %6s  %6s  %6s  %4s  %-28s %s\n", unknown, "-", "-", "-", "-",
                Describe(TP_GetLastError(unknown)).c_str(), "unknown handle");

    if (firstPlayer < 0) {
        std::printf("\nNo handle holds a player.\n");
    } else {
        const int p = firstPlayer;
        const int empty = created.size() > 2 ? created[2].handle : -1;
        std::printf("\nCalls on handle %d (a live stream player):\n", p);
        char versions[64] = "";
        int versionsLength = sizeof versions;
        std::printf("  TP_SetLoginHandle(%d, 7)                 = %s\n", p,
                    Describe(TP_SetLoginHandle(p, 7)).c_str());
        std::printf("  TP_GetVersions(%d, buf, &len)            = %s\n", p,
                    Describe(TP_GetVersions(p, versions, &versionsLength)).c_str());
        std::printf("  TP_OpenPeriod(%d, 1, 0, 3600)            = %s\n", p,
                    Describe(TP_OpenPeriod(p, 1, 0, 3600)).c_str());
        int percent = -1;
        int r = TP_PlayControl(p, TP_PLAY_GET_PLAYED_PERCENT, 0, &percent);
        std::printf("  TP_PlayControl(%d, 10 played percent)    = %s, percent %d\n", p,
                    Describe(r).c_str(), percent);
        std::printf("  TP_PlayControl(%d, 4)                    = %s\n", p,
                    Describe(TP_PlayControl(p, 4, 0, nullptr)).c_str());
        std::printf("  TP_PlayControl(%d, 21)                   = %s\n", p,
                    Describe(TP_PlayControl(p, 21, 0, nullptr)).c_str());
        std::printf("  TP_VideoCutControl(%d, 3)                = %s\n", p,
                    Describe(TP_VideoCutControl(p, 3, 0, nullptr)).c_str());
        r = TP_DownloadByTime(p, 1, 0, 3600, "/tmp/download.tvx");
        std::printf("  TP_DownloadByTime(%d, ...)               = %s, last error %s\n", p,
                    Describe(r).c_str(), Describe(TP_GetLastError(p)).c_str());
        POINT topLeft = {10, 10}, bottomRight = {100, 80};
        r = TP_AddRectangleOverlay(p, &topLeft, &bottomRight, 0x0000FF, 0, 0);
        std::printf("  TP_AddRectangleOverlay(%d, ...)          = %s, last error %s\n", p,
                    Describe(r).c_str(), Describe(TP_GetLastError(p)).c_str());

        if (empty >= 0) {
            std::printf("\nCalls on handle %d (an entry without player):\n", empty);
            std::printf("  TP_PlayControl(%d, 0 play)               = %s\n", empty,
                        Describe(TP_PlayControl(empty, TP_PLAY_PLAY, 0, nullptr)).c_str());
            r = TP_AddRectangleOverlay(empty, &topLeft, &bottomRight, 0x0000FF, 0, 0);
            std::printf("  TP_AddRectangleOverlay(%d, ...)          = %s, last error %s (seen "
                        "through %d)\n",
                        empty, Describe(r).c_str(), Describe(TP_GetLastError(p)).c_str(), p);
            std::printf("  TP_OpenLocalFile(%d, \"missing.tvx\")      = %s\n", empty,
                        Describe(TP_OpenLocalFile(empty, "missing.tvx")).c_str());
            std::printf("  TP_PlayControl(%d, 0 play)               = %s\n", empty,
                        Describe(TP_PlayControl(empty, TP_PLAY_PLAY, 0, nullptr)).c_str());
        }

        std::printf("\nCalls on handle %d (unknown):\n", unknown);
        std::printf("  TP_PlayControl(%d, 0 play)              = %s\n", unknown,
                    Describe(TP_PlayControl(unknown, TP_PLAY_PLAY, 0, nullptr)).c_str());
        r = TP_AddTextOverlay(unknown, 0, 0, "text", 0xFFFFFF, nullptr, 0, 0);
        std::printf("  TP_AddTextOverlay(%d, ...)              = %s, last error %s\n", unknown,
                    Describe(r).c_str(), Describe(TP_GetLastError(p)).c_str());
    }

    std::printf("\nShutting down:\n");
    if (!created.empty()) {
        int h = created.back().handle;
        std::printf("  TP_Uninitialize(%d)  = %s\n", h, Describe(TP_Uninitialize(h)).c_str());
        std::printf("  TP_GetLastError(%d)  = %s\n", h, Describe(TP_GetLastError(h)).c_str());
    }
    std::printf("  TP_Uninitialize(%d) = %s (unknown handle)\n", unknown,
                Describe(TP_Uninitialize(unknown)).c_str());
    std::printf("  TP_Exit()            = %s\n", Describe(TP_Exit()).c_str());
    std::printf("  next TP_Initialize   = %d (numbering restarts)\n",
                TP_Initialize(windows[0].hWnd, 1, 3, 2, 0));
    TP_Exit();
    for (const DemoWindow& w : windows) {
        TP_SetMessageCallback(w.hWnd, nullptr, nullptr);
        DestroyWindow(w.hWnd);
    }
    std::printf("Window messages received: %d\n", g_messages.load());
    return 0;
}

// The "File Async Reader" on path, and the IAsyncReader of its output pin.
IAsyncReader* OpenFileReader(const char* path, IBaseFilter*& source)
{
    source = nullptr;
    if (FAILED(CoCreateInstance(CLSID_AsyncReader, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                reinterpret_cast<void**>(&source))))
        return nullptr;
    IFileSourceFilter* file = nullptr;
    IEnumPins* pins = nullptr;
    IPin* pin = nullptr;
    IAsyncReader* reader = nullptr;
    if (SUCCEEDED(source->QueryInterface(IID_IFileSourceFilter, reinterpret_cast<void**>(&file))) &&
        SUCCEEDED(file->Load(TvUtf8ToWide(path).c_str(), nullptr)) &&
        SUCCEEDED(source->EnumPins(&pins)) && pins->Next(1, &pin, nullptr) == S_OK)
        pin->QueryInterface(IID_IAsyncReader, reinterpret_cast<void**>(&reader));
    for (IUnknown* u : {static_cast<IUnknown*>(pin), static_cast<IUnknown*>(pins),
                        static_cast<IUnknown*>(file)}) {
        if (u)
            u->Release();
    }
    return reader;
}

int RunIndex(const char* path)
{
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
        std::fprintf(stderr, "tvplay: COM could not be initialised\n");
        return 1;
    }
    int result = 1;
    IBaseFilter* source = nullptr;
    IAsyncReader* reader = OpenFileReader(path, source);
    std::vector<uint8_t> start;
    LONGLONG total = 0, available = 0;
    if (reader && SUCCEEDED(reader->Length(&total, &available))) {
        start.resize(static_cast<size_t>(std::min<LONGLONG>(total, 0x400000)));
        if (reader->SyncRead(0, static_cast<LONG>(start.size()), start.data()) != S_OK)
            start.clear();
    }
    ParserStreamSetup setup;
    std::vector<uint8_t> header;
    std::unique_ptr<CBaseParser> parser;
    if (!reader)
        std::fprintf(stderr, "tvplay: %s cannot be read\n", path);
    else if (!DescribeRecordStart(start, setup, header) || !(parser = CreateFileParser(setup)))
        std::fprintf(stderr, "tvplay: %s is not a record file of a known kind\n", path);
    else if (parser->SetFileName(path) != 0 || parser->Open(reader) != 0)
        std::fprintf(stderr, "tvplay: the parser did not open %s\n", path);
    else {
        auto& index = static_cast<CBaseParserIndex&>(*parser);
        const auto began = std::chrono::steady_clock::now();
        int shown = -1;
        while (index.IsIndexing()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            const int percent = index.IndexProgress();
            if (std::chrono::steady_clock::now() - began >= std::chrono::seconds(1) &&
                percent != shown) {
                std::printf("\rindexing: %3d%%", percent);
                std::fflush(stdout);
                shown = percent;
            }
        }
        if (shown >= 0)
            std::printf("%s\n", shown == 100 ? "" : "\rindexing: 100%");
        const char* from =
            index.Source() == CBaseParserIndex::IndexSource::Loaded ? "loaded from" : "written to";
        std::printf("%d frames, GOP %d (B %d, P %d), %lld ms; index %s %s\n", index.FrameCount(),
                    index.GopLength(), index.BFramesPerGop(), index.PFramesPerGop(),
                    static_cast<long long>(index.GetDuration() / 1000), from,
                    index.IndexName().c_str());
        result = 0;
    }
    parser.reset();
    if (reader)
        reader->Release();
    if (source)
        source->Release();
    CoUninitialize();
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--demo") == 0)
        return RunDemo();
    if (argc == 3 && std::strcmp(argv[1], "--index") == 0)
        return RunIndex(argv[2]);
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        PrintUsage(stdout);
        return 0;
    }
    PrintUsage(stderr);
    return 2;
}
