// CCommandRunner: runs the console's device commands, one at a time, on one
// worker thread, so that a device that never answers cannot freeze the window.
//
// How the window stays responsive with the same order and results as running
// each command on the user-interface thread:
//   - A button handler (UI thread) reads the device address and every control
//     it needs into plain values, then calls Start() with a work function that
//     captures only those values. Widgets are never touched off the UI thread.
//   - The worker runs the work function: one exchange of the protocol library,
//     bounded by the exchange's own time limits (connect 2 s, 2 s per read).
//     It returns a completion, which is queued back to the UI thread; there it
//     logs the outcome and, for a get, writes the received values into the
//     controls.
//   - From Start() until the completion has run, Busy() is true and the busy
//     handler has been told so; the window disables every command button then.
//     Start() refuses a second command while one runs, so a second press can
//     never start a second exchange, and commands keep the order of the presses.
//   - The UI thread never waits on the worker while a command runs, so the
//     window keeps painting, resizing and scrolling its log.
//
// Threads: every method on the UI thread (the thread that made the runner);
// work functions on the worker; completions and the busy handler on the UI
// thread. The destructor waits for a running command (at most its time
// limits) and drops its completion.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class QObject;

class CCommandRunner {
public:
    using Completion = std::function<void()>;
    using Work = std::function<Completion()>;

    CCommandRunner();
    ~CCommandRunner();
    CCommandRunner(const CCommandRunner&) = delete;
    CCommandRunner& operator=(const CCommandRunner&) = delete;

    // Starts work on the worker. False (and nothing runs) while a command is
    // running.
    bool Start(Work work);
    // From Start() until the completion has run.
    bool Busy() const { return m_busy; }
    // Called with true when a command starts and false after its completion.
    void SetBusyHandler(std::function<void(bool busy)> handler) { m_onBusy = std::move(handler); }

private:
    void Run();
    void Finish(const Completion& completion);

    QObject* m_context; // completions are queued to it; deleted with the runner
    std::function<void(bool)> m_onBusy;
    bool m_busy = false; // UI thread only

    std::mutex m_lock;
    std::condition_variable m_wake;
    // guarded by m_lock
    Work m_pending;
    bool m_stop = false;

    std::thread m_worker;
};
