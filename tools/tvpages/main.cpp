// tvpages: the filters' property pages on screen, each in a property frame,
// without a player: tvpages shows them one after another; tvpages
// --screenshots DIR writes a PNG of each frame into DIR instead (run it under
// Xvfb, or with QT_QPA_PLATFORM=offscreen).
#include <QApplication>
#include <QDir>
#include <QPixmap>

#include <cstdio>
#include <cstring>

#include <strmif.h>

#include "CPropertyFrame.h"
#include "TarvoGuids.h"

namespace {

struct PagedFilter {
    const CLSID* clsid;
    const char* name; // as the player's graph names it
    const char* file; // the screenshot's name
};

const PagedFilter kFilters[] = {
    {&CLSID_TarvoNWSource, "Tarvo NWSource", "page-connect-parameter.png"},
    {&CLSID_TarvoProcesser, "Tarvo Processer Filter", "page-adjuster.png"},
    {&CLSID_TarvoH264Decoder, "Tarvo H264 Decoder", "page-h264-decoder.png"},
};

void Usage(FILE* out)
{
    std::fprintf(out, "Usage: tvpages [--screenshots DIR]\n"
                      "Shows the property pages of the network source, the frame processor\n"
                      "and the H.264 decoder, each in its property frame; with --screenshots\n"
                      "writes a PNG of each frame into DIR and shows nothing.\n");
}

} // namespace

int main(int argc, char** argv)
{
    QString shots;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--screenshots") == 0 && i + 1 < argc) {
            shots = QString::fromLocal8Bit(argv[++i]);
        } else {
            Usage(std::strcmp(argv[i], "--help") == 0 ? stdout : stderr);
            return std::strcmp(argv[i], "--help") == 0 ? 0 : 2;
        }
    }
    QApplication app(argc, argv);
    CoInitialize(nullptr);
    if (!shots.isEmpty() && !QDir().mkpath(shots)) {
        std::fprintf(stderr, "tvpages: cannot make %s\n", qPrintable(shots));
        return 1;
    }
    int failures = 0;
    for (const PagedFilter& f : kFilters) {
        IBaseFilter* filter = nullptr;
        if (FAILED(CoCreateInstance(*f.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                    reinterpret_cast<void**>(&filter)))) {
            std::fprintf(stderr, "tvpages: %s cannot be created (is it registered?)\n", f.name);
            ++failures;
            continue;
        }
        {
            CPropertyFrame frame(filter, QString::fromUtf8(f.name));
            if (shots.isEmpty()) {
                frame.exec();
            } else {
                frame.show();
                QApplication::processEvents();
                const QString path = QDir(shots).filePath(f.file);
                const bool saved = frame.PageCount() > 0 && frame.grab().save(path);
                std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(path));
                failures += saved ? 0 : 1;
            }
        }
        filter->Release();
    }
    CoUninitialize();
    return failures == 0 ? 0 : 1;
}
