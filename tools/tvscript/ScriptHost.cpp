#include "ScriptHost.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "ScriptVariant.h"
#include "TarvoPlayerOCXEvents.h"
#include "oleauto.h"

namespace {

struct EventName {
    DISPID id;
    const char* name;
};
constexpr EventName kEvents[] = {
    {DISPID_OCX_PTZEVENT, "PTZEvent"},
    {DISPID_OCX_FILEENDEVENT, "FileEndEvent"},
    {DISPID_OCX_ERROREVENT, "ErrorEvent"},
    {DISPID_OCX_WINDOWPROC, "WindowProc"},
    {DISPID_OCX_ACTIVEWINDOW, "ActiveWindow"},
    {DISPID_OCX_FIRSTSAMPLEDELIVERED, "FirstSampleDelivered"},
};

// The script's globals. `control` is a proxy: a name the script has set
// (its on... callbacks) is an own property, any other name is a method of
// the control called through the host. print takes any values. The
// function returns the globals, which the host installs.
constexpr char kBootstrap[] = R"js(
(function (host, args) {
    var control = new Proxy({}, {
        get: function (target, name) {
            if (typeof name !== 'string' || name in target)
                return target[name];
            if (name.length > 2 && name.substring(0, 2) === 'on')
                return undefined;
            return function () {
                return host.invoke(name, Array.prototype.slice.call(arguments));
            };
        },
        set: function (target, name, value) {
            target[name] = value;
            return true;
        }
    });
    return {
        control: control,
        args: args,
        print: function () {
            host.print(Array.prototype.map.call(arguments, String).join(' '));
        },
        setTimeout: function (fn, ms) { host.setTimeout(fn, ms === undefined ? 0 : ms); },
        quit: function (code) { host.quit(code === undefined ? 0 : code); },
        font: function (height, bold, face) {
            return host.font(height === undefined ? 24 : height, bold === undefined ? true : bold,
                             face === undefined ? 'Arial' : face);
        }
    };
})
)js";

} // namespace

// The control's events, posted to the host on the GUI thread: the control
// fires them from inside its own calls, and the script may call the control
// again from a callback.
class CEventSink : public IDispatch {
public:
    explicit CEventSink(CScriptHost* host) : m_host(host) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID__DTarvoPlayerOCXEvents) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override
    {
        const ULONG left = --m_refs;
        if (left == 0)
            delete this;
        return left;
    }
    HRESULT GetTypeInfoCount(UINT* count) override
    {
        if (!count)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override
    {
        if (info)
            *info = nullptr;
        return E_NOTIMPL;
    }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) override
    {
        for (UINT i = 0; ids && i < count; ++i)
            ids[i] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                   UINT*) override
    {
        QList<QJSValue> args;
        if (params && params->rgvarg) {
            for (UINT i = params->cArgs; i-- > 0;)
                args.append(VariantToScript(params->rgvarg[i]));
        }
        // The host may be gone by the time the event is taken off the queue:
        // the call is then dropped with its context object.
        if (m_host)
            QMetaObject::invokeMethod(
                m_host.data(), [host = m_host, id, args] { host->DeliverEvent(id, args); },
                Qt::QueuedConnection);
        return S_OK;
    }

private:
    virtual ~CEventSink() = default;
    std::atomic<ULONG> m_refs{1};
    QPointer<CScriptHost> m_host;
};

CScriptHost::CScriptHost(IDispatch* control, const QStringList& args) : m_control(control)
{
    m_control->AddRef();
    QJSValue jsArgs = m_engine.newArray(quint32(args.size()));
    for (int i = 0; i < args.size(); ++i)
        jsArgs.setProperty(quint32(i), args[i]);
    const QJSValue make = m_engine.evaluate(QString::fromLatin1(kBootstrap));
    const QJSValue globals = make.call({m_engine.newQObject(this), jsArgs});
    QJSValue global = m_engine.globalObject();
    for (const char* name : {"control", "args", "print", "setTimeout", "quit", "font"})
        global.setProperty(QLatin1String(name), globals.property(QLatin1String(name)));
    m_controlObject = globals.property(QStringLiteral("control"));
    // The engine must not delete the host it was given.
    QJSEngine::setObjectOwnership(this, QJSEngine::CppOwnership);
}

CScriptHost::~CScriptHost()
{
    if (m_point) {
        m_point->Unadvise(m_cookie);
        m_point->Release();
    }
    if (m_sink)
        m_sink->Release();
    m_control->Release();
}

bool CScriptHost::Connect()
{
    IConnectionPointContainer* container = nullptr;
    if (FAILED(m_control->QueryInterface(IID_IConnectionPointContainer,
                                         reinterpret_cast<void**>(&container))))
        return false;
    const HRESULT found = container->FindConnectionPoint(DIID__DTarvoPlayerOCXEvents, &m_point);
    container->Release();
    if (FAILED(found))
        return false;
    m_sink = new CEventSink(this);
    if (FAILED(m_point->Advise(m_sink, &m_cookie))) {
        m_point->Release();
        m_point = nullptr;
        return false;
    }
    return true;
}

bool CScriptHost::Run(const QString& source, const QString& fileName)
{
    const QJSValue result = m_engine.evaluate(source, fileName);
    if (result.isError()) {
        Fail(result, QStringLiteral("script"));
        return false;
    }
    return true;
}

QJSValue CScriptHost::invoke(const QString& name, const QJSValue& args)
{
    const QString where = QStringLiteral("control.") + name;
    std::wstring wide = name.toStdWString();
    LPOLESTR names[] = {wide.data()};
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = m_control->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
    if (FAILED(hr)) {
        m_engine.throwError(QJSValue::ReferenceError,
                            QStringLiteral("%1: %2").arg(where, DescribeHResult(hr)));
        return {};
    }
    CScriptArgs call;
    QString error;
    if (!call.Convert(args, error)) {
        m_engine.throwError(QJSValue::TypeError, QStringLiteral("%1: %2").arg(where, error));
        return {};
    }
    VARIANT result;
    VariantInit(&result);
    UINT argErr = 0;
    hr = m_control->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, call.Params(), &result, nullptr,
                           &argErr);
    if (FAILED(hr)) {
        QString message = QStringLiteral("%1: %2").arg(where, DescribeHResult(hr));
        if ((hr == DISP_E_TYPEMISMATCH || hr == DISP_E_PARAMNOTFOUND ||
             hr == DISP_E_PARAMNOTOPTIONAL) &&
            argErr < call.Params()->cArgs)
            message += QStringLiteral(" at argument %1").arg(call.Position(argErr) + 1);
        VariantClear(&result);
        m_engine.throwError(QJSValue::GenericError, message);
        return {};
    }
    call.WriteBack();
    const QJSValue value = VariantToScript(result);
    VariantClear(&result);
    return value;
}

void CScriptHost::print(const QString& line)
{
    std::fputs(line.toLocal8Bit().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void CScriptHost::setTimeout(const QJSValue& fn, int ms)
{
    if (!fn.isCallable()) {
        m_engine.throwError(QJSValue::TypeError, QStringLiteral("setTimeout: not a function"));
        return;
    }
    QTimer::singleShot(ms < 0 ? 0 : ms, this,
                       [this, fn] { CallScript(fn, {}, QStringLiteral("setTimeout callback")); });
}

void CScriptHost::quit(int code)
{
    if (m_quit)
        return;
    m_quit = true;
    m_exitCode = code;
    QCoreApplication::exit(code);
}

double CScriptHost::font(int height, bool bold, const QString& face)
{
    LOGFONTA& f = m_fonts.emplace_back();
    f.lfHeight = height;
    f.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    f.lfCharSet = DEFAULT_CHARSET;
    const QByteArray name = face.toLatin1().left(int(sizeof f.lfFaceName) - 1);
    std::memcpy(f.lfFaceName, name.constData(), size_t(name.size()));
    return double(reinterpret_cast<uintptr_t>(&f));
}

void CScriptHost::DeliverEvent(DISPID id, const QList<QJSValue>& args)
{
    for (const EventName& e : kEvents) {
        if (e.id != id)
            continue;
        const QString name = QStringLiteral("on") + QLatin1String(e.name);
        const QJSValue fn = m_controlObject.property(name);
        if (fn.isCallable())
            CallScript(fn, args, QStringLiteral("control.") + name);
        return;
    }
}

void CScriptHost::CallScript(QJSValue fn, const QJSValueList& args, const QString& what)
{
    if (m_quit)
        return; // the run is over: nothing more reaches the script
    const QJSValue result = fn.call(args);
    if (result.isError())
        Fail(result, what);
}

void CScriptHost::Fail(const QJSValue& error, const QString& what)
{
    const QString file = error.property(QStringLiteral("fileName")).toString();
    const int line = error.property(QStringLiteral("lineNumber")).toInt();
    std::fprintf(stderr, "tvscript: uncaught exception in %s: %s (%s:%d)\n",
                 what.toLocal8Bit().constData(), error.toString().toLocal8Bit().constData(),
                 file.toLocal8Bit().constData(), line);
    if (!m_quit) {
        m_quit = true;
        m_exitCode = kExitScriptError;
        QCoreApplication::exit(kExitScriptError);
    }
}
