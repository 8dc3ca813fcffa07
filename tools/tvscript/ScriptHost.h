// The script's world: the player control as the global object `control`,
// its events as callbacks, and args, print, setTimeout and quit.
//
// Calls: `control.Name(a, b, ...)` asks the control for Name's DISPID
// (GetIDsOfNames) and invokes it with the arguments converted as
// ScriptVariant.h describes; the call returns the method's result. An
// argument by reference is a one-element array ([0], ['']): after the call
// its element holds what the method wrote. A failed dispatch (an unknown
// name, a wrong argument count or type) throws an Error whose message names
// the HRESULT, e.g. "control.Initialize: DISP_E_BADPARAMCOUNT (0x8002000E)".
//
// Events: an IDispatch sink advised on the control's connection point posts
// each event to the GUI thread, where `control.onEventName(...)` is called
// with the event's arguments when the script has set it (onPTZEvent,
// onFileEndEvent, onErrorEvent, onWindowProc, onActiveWindow,
// onFirstSampleDelivered).
//
// font(height, bold, face) gives the overlay methods their lpFont argument
// (a script has no other way to make a LOGFONT).
//
// An exception the script does not catch (at load, in a callback or a timer)
// ends the run with exit code 2. Threads: the Qt GUI thread only.
#pragma once

#include <QJSEngine>
#include <QJSValue>
#include <QObject>
#include <QString>
#include <QStringList>

#include <deque>

#include "oaidl.h"
#include "ocidl.h"
#include "wingdi.h"

class CEventSink;

class CScriptHost : public QObject {
    Q_OBJECT
public:
    static constexpr int kExitScriptError = 2;

    // control: the control's IDispatch (the host keeps a reference).
    CScriptHost(IDispatch* control, const QStringList& args);
    ~CScriptHost() override;

    // Advises the event sink. False when the control has no event point.
    bool Connect();
    // Runs the script's top level. False when it threw (reported).
    bool Run(const QString& source, const QString& fileName);
    // Whether quit was called, and its code.
    bool QuitRequested() const { return m_quit; }
    int ExitCode() const { return m_exitCode; }

    // For the script (through the bootstrap in ScriptHost.cpp).
    Q_INVOKABLE QJSValue invoke(const QString& name, const QJSValue& args);
    Q_INVOKABLE void print(const QString& line);
    Q_INVOKABLE void setTimeout(const QJSValue& fn, int ms);
    Q_INVOKABLE void quit(int code);
    // A font for the overlay methods' lpFont: the address of a LOGFONTA the
    // host keeps until the run ends.
    Q_INVOKABLE double font(int height, bool bold, const QString& face);

    // An event from the sink (queued to the GUI thread).
    void DeliverEvent(DISPID id, const QList<QJSValue>& args);

private:
    // Calls fn; an uncaught exception is reported and ends the run.
    void CallScript(QJSValue fn, const QJSValueList& args, const QString& what);
    void Fail(const QJSValue& error, const QString& what);

    QJSEngine m_engine;
    IDispatch* m_control;
    QJSValue m_controlObject;
    CEventSink* m_sink = nullptr;
    IConnectionPoint* m_point = nullptr;
    DWORD m_cookie = 0;
    std::deque<LOGFONTA> m_fonts; // never moved: the control holds their addresses
    bool m_quit = false;
    int m_exitCode = 0;
};
