// CTestLendingSink: a sink filter with one input pin ("In", any type) that
// lends a buffer for every picture it is asked for (IPictureBufferSource, as
// the frame processor does) and records each sample it receives: its bytes,
// whether it came in the buffer lent last, and the type it carried if any.
// Not in a graph: the test connects it and sets its state.
#pragma once

#include "IPictureBufferSource.h"

#include <streams.h>

#include <deque>
#include <mutex>
#include <optional>
#include <vector>

class CTestLendingSink : public CBaseFilter, public IPictureBufferSource {
public:
    struct Received {
        std::vector<BYTE> bytes;
        bool lent = false;
        std::optional<CMediaType> type; // the type the sample carried
    };

    CTestLendingSink() : CBaseFilter("lending sink", nullptr, &m_lock, CLSID_NULL), m_pin(this) {}

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IPictureBufferSource)
            return GetInterface(static_cast<IPictureBufferSource*>(this), ppv);
        return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
    }
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override { return n == 0 ? &m_pin : nullptr; }

    // A buffer of width * 2 * height bytes, filled with 0xEE.
    STDMETHODIMP GetPictureBuffer(LONG width, LONG height, IMediaSample** sample) override
    {
        CheckPointer(sample, E_POINTER);
        std::lock_guard<std::mutex> guard(m_recordLock);
        ++m_lends;
        m_buffers.emplace_back(static_cast<size_t>(width) * static_cast<size_t>(height) * 2,
                               BYTE(0xEE));
        HRESULT hr = S_OK;
        auto* lent = new CMediaSample("lent picture", nullptr, &hr, m_buffers.back().data(),
                                      static_cast<LONG>(m_buffers.back().size()));
        lent->AddRef(); // the caller's; its last release deletes the sample
        m_lent = lent;
        *sample = lent;
        return S_OK;
    }

    std::vector<Received> Samples()
    {
        std::lock_guard<std::mutex> guard(m_recordLock);
        return m_received;
    }
    int Lends()
    {
        std::lock_guard<std::mutex> guard(m_recordLock);
        return m_lends;
    }

private:
    class CPin : public CBaseInputPin {
    public:
        explicit CPin(CTestLendingSink* f)
            : CBaseInputPin("lending sink input", f, &f->m_lock, &m_hr, L"In"), m_f(f)
        {
        }
        HRESULT CheckMediaType(const CMediaType*) override { return S_OK; }
        STDMETHODIMP Receive(IMediaSample* sample) override
        {
            const HRESULT hr = CBaseInputPin::Receive(sample);
            if (hr != S_OK)
                return hr;
            BYTE* data = nullptr;
            sample->GetPointer(&data);
            Received r;
            r.bytes.assign(data, data + sample->GetActualDataLength());
            if (m_SampleProps.dwSampleFlags & AM_SAMPLE_TYPECHANGED)
                r.type = *static_cast<const CMediaType*>(m_SampleProps.pMediaType);
            std::lock_guard<std::mutex> guard(m_f->m_recordLock);
            r.lent = sample == m_f->m_lent;
            m_f->m_received.push_back(std::move(r));
            return S_OK;
        }

    private:
        HRESULT m_hr = S_OK;
        CTestLendingSink* m_f;
    };

    CCritSec m_lock;
    CPin m_pin;
    std::mutex m_recordLock; // guards the four below
    std::deque<std::vector<BYTE>> m_buffers;
    IMediaSample* m_lent = nullptr; // compared only
    std::vector<Received> m_received;
    int m_lends = 0;
};
