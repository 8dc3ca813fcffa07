// CBaseVideoRenderer: frame statistics, dropping of very late frames and
// quality messages upstream. The rules are in renbase.h.
#include <chrono>
#include <cmath>

#include "renbase.h"

namespace {

int RoundToInt(double v)
{
    if (v > 2147483647.0)
        return 2147483647;
    if (v < -2147483647.0)
        return -2147483647;
    return int(std::lround(v));
}

double StandardDeviation(double sum, double squares, int count)
{
    if (count < 2)
        return 0;
    double mean = sum / count;
    double variance = squares / count - mean * mean;
    return variance > 0 ? std::sqrt(variance) : 0;
}

} // namespace

CBaseVideoRenderer::CBaseVideoRenderer(REFCLSID RenderClass, LPCTSTR pName, LPUNKNOWN pUnk,
                                       HRESULT* phr)
    : CBaseRenderer(RenderClass, pName, pUnk, phr)
{
}

CBaseVideoRenderer::~CBaseVideoRenderer() = default;

STDMETHODIMP CBaseVideoRenderer::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    CheckPointer(ppv, E_POINTER);
    if (riid == IID_IQualProp)
        return GetInterface(static_cast<IQualProp*>(this), ppv);
    return CBaseRenderer::NonDelegatingQueryInterface(riid, ppv);
}

REFERENCE_TIME CBaseVideoRenderer::Now()
{
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count() / 100;
}

void CBaseVideoRenderer::ResetStatistics()
{
    std::lock_guard<std::mutex> guard(m_statsLock);
    m_cFramesDrawn = 0;
    m_cFramesDropped = 0;
    m_cConsecutiveDrops = 0;
    m_tFirstDrawn = 0;
    m_tLastDrawn = 0;
    m_intervalSum = m_intervalSquares = 0;
    m_cIntervals = 0;
    m_syncSum = m_syncSquares = 0;
    m_cSync = 0;
    m_avgDrawTime = 0;
    m_avgFrameSpacing = 0;
    m_bHaveLastStart = false;
    m_bLateReported = false;
}

void CBaseVideoRenderer::OnStreamingSessionStart()
{
    ResetStatistics();
}

HRESULT CBaseVideoRenderer::ShouldDrawSampleNow(IMediaSample*, REFERENCE_TIME* ptrStart,
                                                REFERENCE_TIME*)
{
    REFERENCE_TIME now = 0;
    if (FAILED(GetStreamTime(&now)))
        return S_FALSE;
    REFERENCE_TIME late = now - *ptrStart;
    if (late <= kDropThreshold)
        return S_FALSE;
    std::lock_guard<std::mutex> guard(m_statsLock);
    bool starving = m_cFramesDrawn == 0 || m_cConsecutiveDrops >= kMaxConsecutiveDrops ||
                    Now() - m_tLastDrawn >= kMaxDropSpan;
    if (starving)
        return S_OK; // late, but something must be shown: draw it now
    return E_FAIL;
}

void CBaseVideoRenderer::OnRenderStart(IMediaSample* pMediaSample)
{
    m_tRenderStart = Now();
    m_bCurrentTimed = false;
    REFERENCE_TIME start = 0, end = 0;
    REFERENCE_TIME now = 0;
    if (SUCCEEDED(pMediaSample->GetTime(&start, &end)) && SUCCEEDED(GetStreamTime(&now))) {
        m_bCurrentTimed = true;
        m_currentStart = start;
        m_currentLate = now - start;
    }
}

void CBaseVideoRenderer::OnRenderEnd(IMediaSample* pMediaSample)
{
    (void)pMediaSample;
    REFERENCE_TIME end = Now();
    {
        std::lock_guard<std::mutex> guard(m_statsLock);
        ++m_cFramesDrawn;
        m_cConsecutiveDrops = 0;
        if (m_cFramesDrawn == 1) {
            m_tFirstDrawn = m_tRenderStart;
        } else {
            double interval = double(m_tRenderStart - m_tLastDrawn) / 10000.0;
            m_intervalSum += interval;
            m_intervalSquares += interval * interval;
            ++m_cIntervals;
        }
        m_tLastDrawn = m_tRenderStart;
        double drawTime = double(end - m_tRenderStart);
        m_avgDrawTime = m_cFramesDrawn == 1 ? drawTime : 0.875 * m_avgDrawTime + 0.125 * drawTime;
        if (m_bCurrentTimed) {
            double late = double(m_currentLate) / 10000.0;
            m_syncSum += late;
            m_syncSquares += late * late;
            ++m_cSync;
        }
    }
    if (m_bCurrentTimed)
        NoteLateness(m_currentLate, m_currentStart);
}

void CBaseVideoRenderer::OnSampleDropped(IMediaSample* pMediaSample)
{
    {
        std::lock_guard<std::mutex> guard(m_statsLock);
        ++m_cFramesDropped;
        ++m_cConsecutiveDrops;
    }
    REFERENCE_TIME start = 0, end = 0, now = 0;
    if (SUCCEEDED(pMediaSample->GetTime(&start, &end)) && SUCCEEDED(GetStreamTime(&now)))
        NoteLateness(now - start, start);
}

void CBaseVideoRenderer::NoteLateness(REFERENCE_TIME late, REFERENCE_TIME timeStamp)
{
    bool send = false;
    {
        std::lock_guard<std::mutex> guard(m_statsLock);
        if (m_bHaveLastStart && timeStamp > m_tLastStart) {
            double spacing = double(timeStamp - m_tLastStart);
            m_avgFrameSpacing =
                m_avgFrameSpacing == 0 ? spacing : 0.875 * m_avgFrameSpacing + 0.125 * spacing;
        }
        m_tLastStart = timeStamp;
        m_bHaveLastStart = true;
        if (late > kLateThreshold) {
            send = true;
            m_bLateReported = true;
        } else if (m_bLateReported) {
            send = true; // on time again: say so once
            m_bLateReported = false;
        }
    }
    if (send)
        SendQuality(late, timeStamp);
}

HRESULT CBaseVideoRenderer::SendQuality(REFERENCE_TIME late, REFERENCE_TIME timeStamp)
{
    Quality q;
    q.Late = late;
    q.TimeStamp = timeStamp;
    q.Type = Famine;
    q.Proportion = 1000;
    {
        std::lock_guard<std::mutex> guard(m_statsLock);
        if (late > 0 && m_avgFrameSpacing > 0 && m_avgDrawTime > m_avgFrameSpacing) {
            // Drawing is slower than the frames come: ask for fewer.
            q.Type = Flood;
            q.Proportion = LONG(std::max(1.0, 1000.0 * m_avgFrameSpacing / m_avgDrawTime));
        }
    }
    return PassNotify(q);
}

template <class F> HRESULT CBaseVideoRenderer::ReadStatistic(int* pValue, F compute)
{
    CheckPointer(pValue, E_POINTER);
    std::lock_guard<std::mutex> guard(m_statsLock);
    *pValue = compute();
    return S_OK;
}

STDMETHODIMP CBaseVideoRenderer::get_FramesDroppedInRenderer(int* pcFrames)
{
    return ReadStatistic(pcFrames, [&] { return m_cFramesDropped; });
}

STDMETHODIMP CBaseVideoRenderer::get_FramesDrawn(int* pcFramesDrawn)
{
    return ReadStatistic(pcFramesDrawn, [&] { return m_cFramesDrawn; });
}

STDMETHODIMP CBaseVideoRenderer::get_AvgFrameRate(int* piAvgFrameRate)
{
    return ReadStatistic(piAvgFrameRate, [&] {
        REFERENCE_TIME span = m_tLastDrawn - m_tFirstDrawn;
        if (m_cFramesDrawn < 2 || span <= 0)
            return 0;
        // (frames - 1) intervals over the span, in frames per second x 100.
        return RoundToInt(double(m_cFramesDrawn - 1) * 100.0 * 1e7 / double(span));
    });
}

STDMETHODIMP CBaseVideoRenderer::get_Jitter(int* piJitter)
{
    return ReadStatistic(piJitter, [&] {
        return RoundToInt(StandardDeviation(m_intervalSum, m_intervalSquares, m_cIntervals));
    });
}

STDMETHODIMP CBaseVideoRenderer::get_AvgSyncOffset(int* piAvg)
{
    return ReadStatistic(piAvg, [&] { return m_cSync ? RoundToInt(m_syncSum / m_cSync) : 0; });
}

STDMETHODIMP CBaseVideoRenderer::get_DevSyncOffset(int* piDev)
{
    return ReadStatistic(
        piDev, [&] { return RoundToInt(StandardDeviation(m_syncSum, m_syncSquares, m_cSync)); });
}
