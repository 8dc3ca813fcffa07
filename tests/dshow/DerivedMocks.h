// Small stand-ins for the derived base-class tests: a counted media sample and
// a downstream input pin that records what reaches it. They implement the
// interfaces directly (no base classes), so the classes under test are checked
// against the bare contracts.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "dshow.h"
#include "vfwmsgs.h"

namespace tvtest {

// Live MockSample objects in the process (a leak check for the tests).
inline std::atomic<int>& LiveSamples()
{
    static std::atomic<int> live{0};
    return live;
}

// A media sample that only carries an id and optional media times; it deletes
// itself when the last reference goes.
class MockSample final : public IMediaSample {
public:
    explicit MockSample(int id) : m_id(id) { ++LiveSamples(); }

    int Id() const { return m_id; }
    void SetMediaTimes(LONGLONG start, LONGLONG end)
    {
        m_mediaStart = start;
        m_mediaEnd = end;
        m_hasMediaTime = true;
    }

    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IMediaSample) {
            *ppv = static_cast<IMediaSample*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++m_ref; }
    ULONG Release() override
    {
        const ULONG left = --m_ref;
        if (left == 0) {
            --LiveSamples();
            delete this;
        }
        return left;
    }

    HRESULT GetPointer(BYTE** pp) override
    {
        *pp = nullptr;
        return E_NOTIMPL;
    }
    LONG GetSize() override { return 0; }
    HRESULT GetTime(REFERENCE_TIME*, REFERENCE_TIME*) override { return VFW_E_SAMPLE_TIME_NOT_SET; }
    HRESULT SetTime(REFERENCE_TIME*, REFERENCE_TIME*) override { return S_OK; }
    HRESULT IsSyncPoint() override { return S_FALSE; }
    HRESULT SetSyncPoint(BOOL) override { return S_OK; }
    HRESULT IsPreroll() override { return S_FALSE; }
    HRESULT SetPreroll(BOOL) override { return S_OK; }
    LONG GetActualDataLength() override { return 0; }
    HRESULT SetActualDataLength(LONG) override { return S_OK; }
    HRESULT GetMediaType(AM_MEDIA_TYPE** pp) override
    {
        *pp = nullptr;
        return S_FALSE;
    }
    HRESULT SetMediaType(AM_MEDIA_TYPE*) override { return S_OK; }
    HRESULT IsDiscontinuity() override { return S_FALSE; }
    HRESULT SetDiscontinuity(BOOL) override { return S_OK; }
    HRESULT GetMediaTime(LONGLONG* start, LONGLONG* end) override
    {
        if (!m_hasMediaTime)
            return VFW_E_MEDIA_TIME_NOT_SET;
        *start = m_mediaStart;
        *end = m_mediaEnd;
        return S_OK;
    }
    HRESULT SetMediaTime(LONGLONG*, LONGLONG*) override { return S_OK; }

private:
    ~MockSample() = default;

    const int m_id;
    std::atomic<ULONG> m_ref{1};
    bool m_hasMediaTime = false;
    LONGLONG m_mediaStart = 0;
    LONGLONG m_mediaEnd = 0;
};

// An IPin whose every pin method answers E_NOTIMPL; stand-ins derive from it
// and override what they play (IUnknown stays theirs).
class StubPin : public IPin {
public:
    HRESULT Connect(IPin*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    HRESULT ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    HRESULT Disconnect() override { return E_NOTIMPL; }
    HRESULT ConnectedTo(IPin** pp) override
    {
        *pp = nullptr;
        return VFW_E_NOT_CONNECTED;
    }
    HRESULT ConnectionMediaType(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    HRESULT QueryPinInfo(PIN_INFO*) override { return E_NOTIMPL; }
    HRESULT QueryDirection(PIN_DIRECTION*) override { return E_NOTIMPL; }
    HRESULT QueryId(LPWSTR*) override { return E_NOTIMPL; }
    HRESULT QueryAccept(const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    HRESULT EnumMediaTypes(IEnumMediaTypes**) override { return E_NOTIMPL; }
    HRESULT QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
    HRESULT EndOfStream() override { return E_NOTIMPL; }
    HRESULT BeginFlush() override { return E_NOTIMPL; }
    HRESULT EndFlush() override { return E_NOTIMPL; }
    HRESULT NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override { return E_NOTIMPL; }
};

// A downstream input pin (IPin + IMemInputPin) that records, in order, every
// call that reaches it: "S<id>" per sample ("F<id>" for one refused because
// the pin is flushing), "EOS", "BF", "EF" and
// "NS<start>,<stop>,<rate>". It can refuse samples, fail from a given sample
// on, or hold the first Receive until BeginFlush (as a renderer waiting in
// pause does) or until Unblock.
class MockInputPin final : public StubPin, public IMemInputPin {
public:
    MockInputPin() = default;

    // Configuration (before use).
    HRESULT receiveCanBlock = S_FALSE;
    int failFromId = -1; // samples with this id and later get E_FAIL
    bool blockFirstReceive = false;

    std::vector<std::string> Log()
    {
        std::lock_guard lk(m_lock);
        return m_log;
    }
    std::vector<int> BatchSizes()
    {
        std::lock_guard lk(m_lock);
        return m_batches;
    }
    std::vector<std::thread::id> ReceiveThreads()
    {
        std::lock_guard lk(m_lock);
        return m_receiveThreads;
    }
    // Waits (bounded, so a fault shows as a failed check, not a hang) until the
    // log has at least n entries.
    bool WaitForLog(size_t n)
    {
        std::unique_lock lk(m_lock);
        return m_changed.wait_for(lk, std::chrono::seconds(10), [&] { return m_log.size() >= n; });
    }
    bool WaitUntilBlocked()
    {
        std::unique_lock lk(m_lock);
        return m_changed.wait_for(lk, std::chrono::seconds(10), [&] { return m_blocked; });
    }
    void Unblock()
    {
        std::lock_guard lk(m_lock);
        m_release = true;
        m_changed.notify_all();
    }
    ULONG Refs() const { return m_ref; }

    // IUnknown (not deleted on the last release: the test owns it).
    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IPin)
            *ppv = static_cast<IPin*>(this);
        else if (riid == IID_IMemInputPin)
            *ppv = static_cast<IMemInputPin*>(this);
        else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++m_ref; }
    ULONG Release() override { return --m_ref; }

    // IPin: only the stream calls matter here.
    HRESULT EndOfStream() override
    {
        Record("EOS");
        return S_OK;
    }
    HRESULT BeginFlush() override
    {
        std::lock_guard lk(m_lock);
        m_flushing = true;
        m_log.push_back("BF");
        m_changed.notify_all();
        return S_OK;
    }
    HRESULT EndFlush() override
    {
        std::lock_guard lk(m_lock);
        m_flushing = false;
        m_log.push_back("EF");
        m_changed.notify_all();
        return S_OK;
    }
    HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override
    {
        Record("NS" + std::to_string(start) + "," + std::to_string(stop) + "," +
               std::to_string(static_cast<int>(rate * 100)));
        return S_OK;
    }

    // IMemInputPin
    HRESULT GetAllocator(IMemAllocator** pp) override
    {
        *pp = nullptr;
        return VFW_E_NO_ALLOCATOR;
    }
    HRESULT NotifyAllocator(IMemAllocator*, BOOL) override { return S_OK; }
    HRESULT GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) override { return E_NOTIMPL; }
    HRESULT Receive(IMediaSample* sample) override
    {
        {
            std::lock_guard lk(m_lock);
            m_batches.push_back(1);
        }
        return ReceiveOne(sample);
    }
    HRESULT ReceiveMultiple(IMediaSample** samples, LONG n, LONG* done) override
    {
        {
            std::lock_guard lk(m_lock);
            m_batches.push_back(n);
        }
        *done = 0;
        HRESULT hr = S_OK;
        for (LONG i = 0; i < n && hr == S_OK; ++i) {
            hr = ReceiveOne(samples[i]);
            if (hr == S_OK)
                ++*done;
        }
        return hr;
    }
    HRESULT ReceiveCanBlock() override { return receiveCanBlock; }

private:
    void Record(const std::string& entry)
    {
        std::lock_guard lk(m_lock);
        m_log.push_back(entry);
        m_changed.notify_all();
    }

    HRESULT ReceiveOne(IMediaSample* sample)
    {
        const int id = static_cast<MockSample*>(sample)->Id();
        std::unique_lock lk(m_lock);
        m_receiveThreads.push_back(std::this_thread::get_id());
        if (blockFirstReceive && !m_blockedOnce) {
            m_blockedOnce = true;
            m_blocked = true;
            m_changed.notify_all();
            m_changed.wait(lk, [&] { return m_flushing || m_release; });
            m_blocked = false;
        }
        if (m_flushing) {
            // Refused, but recorded: a queue must not send samples into a flush.
            m_log.push_back("F" + std::to_string(id));
            m_changed.notify_all();
            return S_FALSE;
        }
        m_log.push_back("S" + std::to_string(id));
        m_changed.notify_all();
        if (failFromId >= 0 && id >= failFromId)
            return E_FAIL;
        return S_OK;
    }

    std::atomic<ULONG> m_ref{1};
    std::mutex m_lock;
    std::condition_variable m_changed;
    // guarded by m_lock
    std::vector<std::string> m_log;
    std::vector<int> m_batches;
    std::vector<std::thread::id> m_receiveThreads;
    bool m_flushing = false;
    bool m_blocked = false;
    bool m_blockedOnce = false;
    bool m_release = false;
};

} // namespace tvtest
