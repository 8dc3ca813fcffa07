// tvplay --index FILE: the frame index of a record file as a player opening it
// builds it (the file read through the platform's "File Async Reader"), with its
// progress in percent when it takes longer than a second.
#include "RecordIndex.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include <windows.h>

#include "CBaseParserIndex.h"
#include "win32/text.h"

namespace {

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

} // namespace

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
