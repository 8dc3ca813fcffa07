// tvscript: runs a JavaScript file against the player control.
//
//   tvscript [--timeout SECONDS] FILE.js [ARGS...]
//
// The control is created by its ProgID from the registry (the build's
// registry.reg in a build tree, TARVO_REGISTRY to choose another) and its
// widget is shown in a window; the script then runs on Qt's QJSEngine and the
// event loop runs until the script calls quit(code).
//
// The script sees:
//   control        the control: control.Name(...) calls the method Name
//                  through IDispatch by name and returns its result. A
//                  by-reference (out) argument is a one-element array:
//                    var b = [0], c = [0], s = [0], h = [0];
//                    control.GetColor(b, c, s, h, 0);  // b[0] ... h[0]
//                  A dispatch error (unknown name, wrong argument count or
//                  type) throws an Error naming the HRESULT.
//   control.onEventName = function (...) {...}
//                  called on the GUI thread for the control's events
//                  (onFirstSampleDelivered(w, l), onFileEndEvent(w, l),
//                  onPTZEvent(direction, rate), onErrorEvent(...),
//                  onWindowProc(msg, w, l), onActiveWindow(x, y)).
//   args           the ARGS after the file name, as strings.
//   print(...)     its arguments on one line of standard output.
//   setTimeout(fn, ms), quit(code)
//   font(height, bold, face)
//                  a font for the overlay methods' lpFont argument.
//
// Exit codes: the script's quit code; 2 a usage error, an unreadable file or
// an exception the script did not catch; 3 the --timeout passed; 4 the
// control could not be created.
#include <QApplication>
#include <QFile>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ITvQtControl.h"
#include "ScriptHost.h"
#include "objbase.h"
#include "oleauto.h"

namespace {

constexpr int kExitTimeout = 3;
constexpr int kExitNoControl = 4;
constexpr wchar_t kProgID[] = L"TARVOPLAYEROCX.TarvoPlayerOCXCtrl.1";

constexpr char kHelp[] =
    "usage: tvscript [--timeout SECONDS] FILE.js [ARGS...]\n"
    "\n"
    "Runs FILE.js (JavaScript, Qt's QJSEngine) against the player control\n"
    "TARVOPLAYEROCX.TarvoPlayerOCXCtrl.1, shown in a window, until the script\n"
    "calls quit(code).\n"
    "\n"
    "The script sees:\n"
    "  control              control.Name(a, b, ...) calls the control's method Name\n"
    "                       through IDispatch by name and returns its result.\n"
    "                       Numbers pass as VT_I4 (whole, 32 bits), VT_I8 or VT_R8,\n"
    "                       strings as BSTR, booleans as VT_BOOL.\n"
    "                       Out and by-reference arguments: a one-element array,\n"
    "                       which holds what the method wrote after the call:\n"
    "                         var b = [0], c = [0], s = [0], h = [0];\n"
    "                         control.GetColor(b, c, s, h, 0);  // b[0] ... h[0]\n"
    "                       A dispatch error (DISP_E_UNKNOWNNAME, DISP_E_BADPARAMCOUNT,\n"
    "                       DISP_E_TYPEMISMATCH, ...) throws an Error whose message\n"
    "                       names the HRESULT.\n"
    "  control.onEventName  set to a function to receive an event on the GUI thread:\n"
    "                       onPTZEvent, onFileEndEvent, onErrorEvent, onWindowProc,\n"
    "                       onActiveWindow, onFirstSampleDelivered (the event's\n"
    "                       arguments as numbers).\n"
    "  args                 the ARGS, as strings\n"
    "  print(...)           prints its arguments on one line\n"
    "  setTimeout(fn, ms)   calls fn once after ms milliseconds\n"
    "  quit(code)           ends the run with exit code code\n"
    "  font(height, bold, face)\n"
    "                       a font for the overlay methods' lpFont argument\n"
    "                       (defaults 24, true, 'Arial')\n"
    "\n"
    "Options:\n"
    "  --timeout SECONDS    end with exit code 3 when the script has not quit by then\n"
    "  --help               this text\n"
    "\n"
    "Exit codes: the script's quit code; 2 usage error, unreadable file or uncaught\n"
    "exception; 3 timeout; 4 the control could not be created.\n";

int Usage(const char* why)
{
    std::fprintf(stderr, "tvscript: %s\n\n%s", why, kHelp);
    return CScriptHost::kExitScriptError;
}

IDispatch* CreateControl()
{
    CLSID clsid = GUID_NULL;
    HRESULT hr = CLSIDFromProgID(kProgID, &clsid);
    if (FAILED(hr)) {
        std::fprintf(stderr,
                     "tvscript: TARVOPLAYEROCX.TarvoPlayerOCXCtrl.1 is not registered "
                     "(0x%08X); see TARVO_REGISTRY\n",
                     unsigned(hr));
        return nullptr;
    }
    IDispatch* control = nullptr;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                          reinterpret_cast<void**>(&control));
    if (FAILED(hr)) {
        std::fprintf(stderr, "tvscript: cannot create the control (0x%08X)\n", unsigned(hr));
        return nullptr;
    }
    return control;
}

// Runs with COM initialised; the control and the host are gone on return.
int RunScript(const QString& path, const QByteArray& source, const QStringList& scriptArgs,
              int timeoutSeconds)
{
    IDispatch* control = CreateControl();
    if (!control)
        return kExitNoControl;

    QWidget window;
    window.setWindowTitle(QStringLiteral("tvscript: %1").arg(path));
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    ITvQtControl* qt = nullptr;
    if (SUCCEEDED(control->QueryInterface(IID_ITvQtControl, reinterpret_cast<void**>(&qt)))) {
        QWidget* widget = nullptr;
        if (SUCCEEDED(qt->GetWidget(&widget)) && widget)
            layout->addWidget(widget);
        qt->Release();
    }
    window.resize(704, 576);
    window.show();

    int code = 0;
    {
        CScriptHost host(control, scriptArgs);
        control->Release(); // the host holds it now
        if (!host.Connect())
            std::fprintf(stderr, "tvscript: the control's events are not available\n");
        bool timedOut = false;
        QTimer timeout;
        if (timeoutSeconds > 0) {
            timeout.setSingleShot(true);
            QObject::connect(&timeout, &QTimer::timeout, [&] {
                timedOut = true;
                std::fprintf(stderr, "tvscript: no quit within %d s\n", timeoutSeconds);
                QCoreApplication::exit(kExitTimeout);
            });
            timeout.start(timeoutSeconds * 1000);
        }
        if (!host.Run(QString::fromUtf8(source), path))
            return host.ExitCode();
        if (!host.QuitRequested())
            QApplication::exec();
        code = timedOut && !host.QuitRequested() ? kExitTimeout : host.ExitCode();
    }
    return code;
}

} // namespace

int main(int argc, char** argv)
{
    int timeoutSeconds = 0;
    int i = 1;
    for (; i < argc && argv[i][0] == '-' && argv[i][1] == '-'; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--timeout") == 0 && i + 1 < argc) {
            char* end = nullptr;
            const long seconds = std::strtol(argv[++i], &end, 10);
            if (!end || *end || seconds <= 0 || seconds > 86400)
                return Usage("--timeout takes a number of seconds (1 to 86400)");
            timeoutSeconds = int(seconds);
            continue;
        }
        return Usage("unknown option");
    }
    if (i >= argc)
        return Usage("no script file");
    const QString path = QString::fromLocal8Bit(argv[i]);
    QStringList scriptArgs;
    for (int a = i + 1; a < argc; ++a)
        scriptArgs << QString::fromLocal8Bit(argv[a]);

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "tvscript: cannot read %s\n", argv[i]);
        return CScriptHost::kExitScriptError;
    }
    const QByteArray source = file.readAll();

    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication app(qtArgc, qtArgv);
    if (FAILED(CoInitialize(nullptr))) {
        std::fprintf(stderr, "tvscript: COM cannot be initialised\n");
        return kExitNoControl;
    }
    const int code = RunScript(path, source, scriptArgs, timeoutSeconds);
    CoUninitialize();
    return code;
}
