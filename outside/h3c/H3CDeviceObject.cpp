// The simulated H3C device object: a model of one device behind the
// IH3CDevice calls, logging every call.
#include "H3CDeviceObject.h"

#include <atomic>
#include <cstdio>
#include <mutex>

#include "H3CDevice.h"
#include "H3CSim.h"
#include "win32/text.h"

namespace {

std::mutex g_deviceLock;
H3cSimDevice g_device; // guarded by g_deviceLock
std::atomic<int> g_liveDevices{0};

std::string Text(BSTR text)
{
    return text ? TvWideToUtf8(text) : std::string("(null)");
}

std::string WindowText(HWND window)
{
    return SdkArg(static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window)));
}

H3cSimDevice Device()
{
    std::lock_guard<std::mutex> lock(g_deviceLock);
    return g_device;
}

bool IsTime(const std::string& text)
{
    int y, mo, d, h, mi, s;
    char rest;
    return std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &s,
                       &rest) == 6;
}

class CH3CDeviceObject : public CUnknown, public IH3CDevice {
public:
    CH3CDeviceObject(LPUNKNOWN outer, HRESULT* phr) : CUnknown("H3C device", outer, phr)
    {
        ++g_liveDevices;
    }
    ~CH3CDeviceObject() override { --g_liveDevices; }

    DECLARE_IUNKNOWN

    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, LPVOID* ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IH3CDevice) {
            int error = 0;
            if (H3cSimDeviceCalls().TakeFailure("QueryInterface", &error)) {
                *ppv = nullptr;
                return E_NOINTERFACE;
            }
            return GetInterface(static_cast<IH3CDevice*>(this), ppv);
        }
        return CUnknown::NonDelegatingQueryInterface(riid, ppv);
    }

    STDMETHODIMP_(LONG) Initialize() override
    {
        return Call("Initialize", {}, [&] {
            m_initialised = true;
            return 0;
        });
    }
    STDMETHODIMP_(LONG) Login(BSTR address, LONG port, BSTR userName, BSTR password) override
    {
        return Call("Login", {Text(address), SdkArg(port), Text(userName), Text(password)}, [&] {
            if (!m_initialised)
                return int(kH3cErrOrder);
            const H3cSimDevice device = Device();
            if (Text(address) != device.address || port != device.port ||
                Text(userName) != device.userName || Text(password) != device.password)
                return int(kH3cErrLogin);
            m_loggedIn = true;
            return 0;
        });
    }
    STDMETHODIMP_(LONG) Logout() override
    {
        return Call("Logout", {}, [&] {
            if (!m_loggedIn)
                return int(kH3cErrOrder);
            m_loggedIn = false;
            m_open = false;
            return 0;
        });
    }
    STDMETHODIMP_(LONG) OpenRealPlay(LONG channel, HWND window, LONG* failed) override
    {
        const LONG answer =
            Call("OpenRealPlay", {SdkArg(channel), WindowText(window), SdkArgPointer(failed)}, [&] {
                if (!m_loggedIn)
                    return int(kH3cErrOrder);
                if (channel < 0 || channel >= Device().channelCount)
                    return int(kH3cErrChannel);
                Open();
                return 0;
            });
        if (failed)
            *failed = answer != 0 ? 1 : 0;
        return answer;
    }
    STDMETHODIMP_(LONG) OpenPlayback(LONG channel, BSTR start, BSTR end, HWND window) override
    {
        return Call("OpenPlayback", {SdkArg(channel), Text(start), Text(end), WindowText(window)},
                    [&] {
                        if (!m_loggedIn)
                            return int(kH3cErrOrder);
                        if (channel < 0 || channel >= Device().channelCount)
                            return int(kH3cErrChannel);
                        if (!IsTime(Text(start)) || !IsTime(Text(end)) || Text(start) >= Text(end))
                            return int(kH3cErrNoRecord);
                        Open();
                        return 0;
                    });
    }
    STDMETHODIMP_(LONG) OpenPlaybackByName(BSTR name, HWND window) override
    {
        return Call("OpenPlaybackByName", {Text(name), WindowText(window)}, [&] {
            if (!m_loggedIn)
                return int(kH3cErrOrder);
            if (!name || !*name)
                return int(kH3cErrNoRecord);
            Open();
            return 0;
        });
    }
    STDMETHODIMP_(LONG) Pause() override
    {
        return WhileOpen("Pause", {}, [&] { m_paused = true; });
    }
    STDMETHODIMP_(LONG) Play() override
    {
        return WhileOpen("Play", {}, [&] { m_paused = false; });
    }
    STDMETHODIMP_(LONG) Stop() override
    {
        return WhileOpen("Stop", {}, [&] { m_open = false; });
    }
    STDMETHODIMP_(LONG) SetSpeed(LONG code) override
    {
        return Call("SetSpeed", {SdkArg(code)}, [&] {
            if (!m_open)
                return int(kH3cErrOrder);
            if (code < 0 || code > 6)
                return int(kH3cErrArgument);
            m_speed = code;
            return 0;
        });
    }
    STDMETHODIMP_(LONG) GetSpeed(LONG* code) override
    {
        return Call("GetSpeed", {SdkArgPointer(code)}, [&] {
            if (!m_open || !code)
                return int(kH3cErrOrder);
            *code = m_speed;
            return 0;
        });
    }
    STDMETHODIMP_(LONG) StartRecord(BSTR directory, BSTR name) override
    {
        return Call("StartRecord", {Text(directory), Text(name)}, [&] {
            if (!m_open)
                return int(kH3cErrOrder);
            if (!directory || !*directory || !name || !*name)
                return int(kH3cErrArgument);
            m_recording = true;
            return 0;
        });
    }
    STDMETHODIMP_(LONG) StopRecord() override
    {
        return Call("StopRecord", {}, [&] {
            if (!m_recording)
                return int(kH3cErrOrder);
            m_recording = false;
            return 0;
        });
    }
    STDMETHODIMP_(LONG) DownloadByTime(LONG channel, BSTR start, BSTR end, BSTR path) override
    {
        const LONG answer =
            Call("DownloadByTime", {SdkArg(channel), Text(start), Text(end), Text(path)}, [&] {
                if (!m_loggedIn)
                    return int(kH3cErrOrder);
                if (channel < 0 || channel >= Device().channelCount || !path)
                    return int(kH3cErrArgument);
                return 0;
            });
        return answer == 0 ? m_nextDownload++ : -1;
    }
    STDMETHODIMP_(LONG) GetDownloadPosition(LONG handle, LONG* position) override
    {
        return Call("GetDownloadPosition", {SdkArg(handle), SdkArgPointer(position)}, [&] {
            if (handle < 0 || handle >= m_nextDownload || !position)
                return int(kH3cErrArgument);
            *position = 100;
            return 0;
        });
    }
    STDMETHODIMP_(LONG) StopDownload(LONG handle) override
    {
        return Call("StopDownload", {SdkArg(handle)}, [&] {
            return handle < 0 || handle >= m_nextDownload ? int(kH3cErrArgument) : 0;
        });
    }

private:
    // Logs the call, then answers a requested failure or runs body.
    template <class F> LONG Call(const char* name, std::vector<std::string> args, F body)
    {
        H3cSimDeviceCalls().Record(name, std::move(args));
        int error = 0;
        if (H3cSimDeviceCalls().TakeFailure(name, &error))
            return error;
        return body();
    }
    template <class F> LONG WhileOpen(const char* name, std::vector<std::string> args, F change)
    {
        return Call(name, std::move(args), [&] {
            if (!m_open)
                return int(kH3cErrOrder);
            change();
            return 0;
        });
    }
    void Open()
    {
        m_open = true;
        m_paused = false;
        m_speed = 0;
    }

    bool m_initialised = false;
    bool m_loggedIn = false;
    bool m_open = false;
    bool m_paused = false;
    bool m_recording = false;
    LONG m_speed = 0;
    LONG m_nextDownload = 0;
};

} // namespace

CUnknown* H3cCreateDevice(LPUNKNOWN outer, HRESULT* phr)
{
    return CreateComInstance<CH3CDeviceObject>(outer, phr);
}

CSdkCallLog& H3cSimDeviceCalls()
{
    static CSdkCallLog log;
    return log;
}

void H3cSimReset()
{
    H3cSimDeviceCalls().Clear();
    H3cSimControlCalls().Clear();
    H3cSimSetLoadQueries(2);
    std::lock_guard<std::mutex> lock(g_deviceLock);
    g_device = H3cSimDevice();
}

void H3cSimSetDevice(const H3cSimDevice& device)
{
    std::lock_guard<std::mutex> lock(g_deviceLock);
    g_device = device;
}

int H3cSimLiveDevices()
{
    return g_liveDevices.load();
}
