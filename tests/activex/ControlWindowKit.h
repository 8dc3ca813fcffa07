// What the player control window's tests share: the Qt application, a
// recording host standing in for the control's COM object, the message boxes
// the platform hands over, and records written by the device simulator.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "CFilePlayer.h"
#include "ControlHost.h"
#include "ocidl.h"
#include "oleauto.h"
#include "tvdevsim/StreamGenerator.h"
#include "win32/msgbox.h"

// Creates the QApplication for the test run on the given platform
// ("offscreen", or "xcb" when a display is there, else offscreen) unless
// QT_QPA_PLATFORM chooses, and deletes it before the process's static objects
// go.
class TvQtEnvironment : public ::testing::Environment {
public:
    explicit TvQtEnvironment(const char* platform) : m_platform(platform) {}
    void SetUp() override;
    void TearDown() override;

private:
    const char* m_platform;
    int m_argc = 1;
    char m_name[16] = "control_window";
    char* m_argv[2] = {m_name, nullptr};
    void* m_app = nullptr; // the QApplication
};

// A record of the simulator's device H.264 at 704 x 576, of `frames` frames,
// at dir/name (with the kind's extension). Empty on failure, which is added to
// the running test, or put in *error when given: a failure added in
// SetUpTestSuite makes GoogleTest skip the suite's tests, and CTest then
// counts them as skipped, not failed.
std::string TvWriteControlRecord(const std::string& dir, const std::string& name, int frames,
                                 std::string* error = nullptr);
// The same for any of the simulator's stream kinds at its own picture size,
// with its sound when the kind has any. A failure is added to the running
// test and gives an empty path.
std::string TvWriteKindRecord(const std::string& dir, tvdevsim::SimKind kind, int frames);

// One call of the window on its host: the event or method and its values.
struct HostCall {
    std::string name;
    LONG a = 0, b = 0, c = 0;
    bool operator==(const HostCall&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const HostCall& c)
{
    return os << c.name << "(" << c.a << ", " << c.b << ", " << c.c << ")";
}

// The control as the window sees it: it keeps one file player on the
// window's video window and records every call and event.
class CRecordingHost : public IControlHost {
public:
    void SetWindow(HWND hWnd) { m_hWnd = hWnd; }
    void SetBackColor(OLE_COLOR colour) { m_colour = colour; }

    // As the control's OpenLocalFile with only the graph file player.
    LONG Open(const std::string& path)
    {
        m_player.reset();
        auto player = std::make_unique<CFilePlayer>(m_hWnd);
        const int result = player->OpenLocalFile(path.c_str());
        if (result == 0)
            m_player = std::move(player);
        return result;
    }
    void DropPlayer() { m_player.reset(); }

    // References the window holds, counted; the host itself lives as long as
    // the test's object.
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override { return --m_refs; }
    ULONG Refs() const { return m_refs; }
    CPlayerBase* Player() override { return m_player.get(); }
    LONG OpenLocalFile(const char* path) override
    {
        m_opened.push_back(path);
        const LONG result = Open(path);
        Record({"OpenLocalFile", result});
        return result;
    }
    LONG PlayControl(LONG code, LONG in, LONG* out) override
    {
        if (out)
            *out = 0;
        Record({"PlayControl", code, in});
        return 0;
    }
    OLE_COLOR BackColor() override { return m_colour; }
    void FirePTZEvent(LONG direction, LONG rate) override { Record({"PTZEvent", direction, rate}); }
    void FireFileEndEvent(LONG w, LONG l) override { Record({"FileEndEvent", w, l}); }
    void FireWindowProc(LONG msg, LONG w, LONG l) override { Record({"WindowProc", msg, w, l}); }
    void FireActiveWindow(LONG x, LONG y) override { Record({"ActiveWindow", x, y}); }
    void FireFirstSampleDelivered(LONG w, LONG l) override
    {
        Record({"FirstSampleDelivered", w, l});
    }

    // The calls named name (all but WindowProc when name is empty).
    std::vector<HostCall> Calls(const std::string& name = {}) const
    {
        std::vector<HostCall> out;
        for (const HostCall& c : m_calls)
            if (name.empty() ? c.name != "WindowProc" : c.name == name)
                out.push_back(c);
        return out;
    }
    bool HasWindowProc(LONG msg) const
    {
        for (const HostCall& c : m_calls)
            if (c.name == "WindowProc" && c.a == msg)
                return true;
        return false;
    }
    int Index(const HostCall& call) const
    {
        for (size_t i = 0; i < m_calls.size(); ++i)
            if (m_calls[i] == call)
                return static_cast<int>(i);
        return -1;
    }
    // The references held on the host when call was first made (0: never).
    ULONG RefsAt(const HostCall& call) const
    {
        const int i = Index(call);
        return i < 0 ? 0 : m_refsAt[static_cast<size_t>(i)];
    }
    void Clear()
    {
        m_calls.clear();
        m_refsAt.clear();
    }
    const std::vector<std::string>& Opened() const { return m_opened; }

private:
    void Record(const HostCall& call)
    {
        m_calls.push_back(call);
        m_refsAt.push_back(m_refs);
    }

    HWND m_hWnd = nullptr;
    ULONG m_refs = 1;
    OLE_COLOR m_colour = 255;
    std::unique_ptr<CPlayerBase> m_player;
    std::vector<HostCall> m_calls;
    std::vector<ULONG> m_refsAt; // m_refs at each of m_calls
    std::vector<std::string> m_opened;
};

// An event sink for the control's connection point that passes each event
// (its DISPID and its arguments in written order) to a function, on whatever
// thread the control fires it. Lives on the test's stack: its count only
// tells who still holds it.
class CFunctionSink : public IDispatch {
public:
    std::function<void(DISPID, const std::vector<LONG>&)> onEvent;
    std::atomic<ULONG> refs{1};

    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IUnknown || riid == IID_IDispatch) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    HRESULT GetTypeInfoCount(UINT* n) override { return *n = 0, S_OK; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override
    {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT*, EXCEPINFO*,
                   UINT*) override
    {
        std::vector<LONG> args;
        for (UINT i = p->cArgs; i-- > 0;)
            args.push_back(p->rgvarg[i].lVal);
        if (onEvent)
            onEvent(id, args);
        return S_OK;
    }
};

// Advises sink on the control's connection point (control: its IDispatch).
// False when that fails.
bool TvAdviseSink(IDispatch* control, IDispatch* sink);

// Message boxes, as the platform hands them over.
struct BoxLog {
    std::mutex lock;
    std::vector<std::pair<std::string, std::string>> boxes; // text, caption
    static int Handler(HWND, LPCSTR text, LPCSTR caption, UINT, void* user)
    {
        auto* self = static_cast<BoxLog*>(user);
        std::lock_guard<std::mutex> guard(self->lock);
        self->boxes.emplace_back(text ? text : "", caption ? caption : "");
        return IDOK;
    }
    size_t Count()
    {
        std::lock_guard<std::mutex> guard(lock);
        return boxes.size();
    }
};

// A player's source rectangle.
