// vxconsole: configures an encoder over its command protocol and plays its
// stream or a record file.
//
//   vxconsole                     the window
//   vxconsole --screenshots DIR   saves a picture of each page into DIR, exits
//   vxconsole --port N            sends the commands to port N instead of 9999
#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "CConsoleWindow.h"
#include "ConsoleScreenshots.h"
#include "win32/msgbox.h"

namespace {

void Usage(FILE* out)
{
    std::fputs("usage: vxconsole [--screenshots DIR] [--port N]\n"
               "  --screenshots DIR  save the main window with each of its eight pages\n"
               "                     selected as DIR/console-<n>-<name>.png, then exit\n"
               "  --port N           the devices' command port (default 9999)\n",
               out);
}

// The library's message boxes as Qt boxes. A box asked for on another thread
// (a streaming thread of the player) is shown without blocking that thread:
// it may hold what the window thread waits for.
int ShowMessageBox(HWND, LPCSTR text, LPCSTR caption, UINT, void*)
{
    const QString body = QString::fromUtf8(text ? text : "");
    const QString title = QString::fromUtf8(caption ? caption : "vxconsole");
    if (QThread::currentThread() == qApp->thread()) {
        QMessageBox::information(QApplication::activeWindow(), title, body);
        return IDOK;
    }
    std::fprintf(stderr, "%s: %s\n", title.toLocal8Bit().constData(),
                 body.toLocal8Bit().constData());
    QMetaObject::invokeMethod(
        qApp,
        [title, body] {
            auto* box = new QMessageBox(QMessageBox::Information, title, body, QMessageBox::Ok,
                                        QApplication::activeWindow());
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->show();
        },
        Qt::QueuedConnection);
    return IDOK;
}

} // namespace

int main(int argc, char** argv)
{
    const char* screenshots = nullptr;
    int port = 0;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--screenshots") && i + 1 < argc) {
            screenshots = argv[++i];
        } else if (!std::strcmp(argv[i], "--port") && i + 1 < argc) {
            port = std::atoi(argv[++i]);
            if (port <= 0 || port > 65535) {
                std::fprintf(stderr, "vxconsole: bad port %s\n", argv[i]);
                return 2;
            }
        } else if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            Usage(stdout);
            return 0;
        } else {
            Usage(stderr);
            return 2;
        }
    }

    QApplication app(argc, argv);
    TvSetMessageBoxHandler(ShowMessageBox, nullptr);
    int result = 0;
    {
        CConsoleWindow window;
        if (port)
            window.SetDevicePort(port);
        if (screenshots) {
            int failed = 0;
            const QStringList written = SaveConsoleScreenshots(window, screenshots, &failed);
            for (const QString& path : written)
                std::printf("%s\n", path.toLocal8Bit().constData());
            result = failed ? 1 : 0;
        } else {
            window.show();
            result = app.exec();
        }
    }
    TvSetMessageBoxHandler(nullptr, nullptr);
    return result;
}
