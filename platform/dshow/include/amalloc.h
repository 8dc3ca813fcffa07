// Media samples and allocators: CMediaSample (IMediaSample2 over a buffer that
// an allocator owns), CBaseAllocator (the pool, commit/decommit and the
// blocking GetBuffer) and CMemAllocator (buffers in ordinary memory).
//
// The pool contract:
//   - SetProperties only while decommitted with every buffer back in the pool
//     (VFW_E_ALREADY_COMMITTED, VFW_E_BUFFERS_OUTSTANDING otherwise).
//   - Commit allocates (VFW_E_SIZENOTSET without a count and size).
//   - GetBuffer hands out a free sample with a reference count of 1, or blocks
//     while every buffer is out; with AM_GBF_NOWAIT it gives VFW_E_TIMEOUT
//     instead. Decommitted it gives VFW_E_NOT_COMMITTED, and Decommit wakes
//     every thread blocked in it with that result.
//   - A sample whose last reference is released goes back to the pool (its
//     times, flags and media type cleared) and wakes one blocked GetBuffer.
//   - Decommit with buffers out defers freeing until the last one comes back.
//     While committed (or while a deferred decommit waits) the allocator holds
//     a reference on itself, so samples that are still out keep it alive.
// Every call may come from any thread; the pool's state is guarded by the
// allocator's own lock (it is a CCritSec), which is never held while waiting.
#pragma once

#include <vector>

#include "mtype.h"
#include "wxutil.h"

class CBaseAllocator;

// A sample in an allocator's pool. Its reference count and the data it
// carries are used by one thread at a time (whoever holds it), as in
// DirectShow; the count itself is atomic.
class CMediaSample : public IMediaSample2, public CBaseObject {
public:
    // pBuffer/length: the memory the sample describes (owned by the allocator).
    CMediaSample(LPCTSTR pName, CBaseAllocator* pAllocator, HRESULT* phr, LPBYTE pBuffer = nullptr,
                 LONG length = 0);
    ~CMediaSample() override;

    // IUnknown: IMediaSample, IMediaSample2, IUnknown. The last Release hands
    // the sample back to its allocator (it is not deleted); a sample made
    // without an allocator deletes itself.
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // Points the sample at other memory (length >= 0); the actual data length
    // becomes 0. E_INVALIDARG for a negative length.
    HRESULT SetPointer(BYTE* ptr, LONG cBytes);

    // IMediaSample. Null out-pointers give E_POINTER.
    STDMETHODIMP GetPointer(BYTE** ppBuffer) override;
    STDMETHODIMP_(LONG) GetSize() override;
    STDMETHODIMP GetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) override;
    STDMETHODIMP SetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) override;
    STDMETHODIMP IsSyncPoint() override;
    STDMETHODIMP SetSyncPoint(BOOL bIsSyncPoint) override;
    STDMETHODIMP IsPreroll() override;
    STDMETHODIMP SetPreroll(BOOL bIsPreroll) override;
    STDMETHODIMP_(LONG) GetActualDataLength() override;
    // VFW_E_BUFFER_OVERFLOW outside 0..GetSize().
    STDMETHODIMP SetActualDataLength(LONG lActual) override;
    STDMETHODIMP GetMediaType(AM_MEDIA_TYPE** ppMediaType) override;
    // Null clears the type.
    STDMETHODIMP SetMediaType(AM_MEDIA_TYPE* pMediaType) override;
    STDMETHODIMP IsDiscontinuity() override;
    STDMETHODIMP SetDiscontinuity(BOOL bDiscontinuity) override;
    // VFW_E_MEDIA_TIME_NOT_SET when none is set.
    STDMETHODIMP GetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) override;
    // A null pTimeStart clears the media times; otherwise pTimeEnd is required.
    STDMETHODIMP SetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) override;

    // IMediaSample2: the first cbProperties bytes of an AM_SAMPLE2_PROPERTIES.
    // GetProperties: pMediaType points at the sample's own type (valid while
    // the caller holds the sample). SetProperties cannot move the buffer or
    // change its size; E_INVALIDARG for unknown flags, a different buffer or
    // size, an actual length outside the buffer or more than the record.
    STDMETHODIMP GetProperties(DWORD cbProperties, BYTE* pbProperties) override;
    STDMETHODIMP SetProperties(DWORD cbProperties, const BYTE* pbProperties) override;

protected:
    friend class CBaseAllocator;

    // m_dwFlags bits; those shared with AM_SAMPLE2_PROPERTIES have its values.
    enum : DWORD {
        Sample_SyncPoint = AM_SAMPLE_SPLICEPOINT,
        Sample_Preroll = AM_SAMPLE_PREROLL,
        Sample_Discontinuity = AM_SAMPLE_DATADISCONTINUITY,
        Sample_TypeChanged = AM_SAMPLE_TYPECHANGED,
        Sample_TimeValid = AM_SAMPLE_TIMEVALID,
        Sample_MediaTimeValid = 0x20,
        Sample_TimeDiscontinuity = AM_SAMPLE_TIMEDISCONTINUITY,
        Sample_StopValid = AM_SAMPLE_STOPVALID,
        Sample_ValidFlags = 0x1FF,
    };

    // Clears what a returning sample must not carry into its next use.
    void ResetForReuse();

    DWORD m_dwFlags = 0;
    DWORD m_dwTypeSpecificFlags = 0;
    LPBYTE m_pBuffer;
    LONG m_lActual = 0;
    LONG m_cbBuffer;
    CBaseAllocator* m_pAllocator;
    REFERENCE_TIME m_Start = 0;
    REFERENCE_TIME m_End = 0;
    LONGLONG m_MediaStart = 0;
    LONGLONG m_MediaEnd = 0;
    AM_MEDIA_TYPE* m_pMediaType = nullptr;
    DWORD m_dwStreamId = AM_STREAM_MEDIA;

public:
    std::atomic<LONG> m_cRef{0};
};

class CBaseAllocator : public CUnknown, public IMemAllocator, public CCritSec {
public:
    // bEvent is accepted for source compatibility; waiting always uses the
    // allocator's semaphore. *phr receives E_OUTOFMEMORY when that cannot be
    // created.
    CBaseAllocator(LPCTSTR pName, LPUNKNOWN pUnk, HRESULT* phr, BOOL bEvent = TRUE,
                   BOOL fEnableReleaseCallback = FALSE);
    ~CBaseAllocator() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // Records the request as given (after validation: counts and sizes not
    // negative, cbAlign a power of two). *pActual receives what was recorded.
    STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* pRequest,
                               ALLOCATOR_PROPERTIES* pActual) override;
    STDMETHODIMP GetProperties(ALLOCATOR_PROPERTIES* pProps) override;
    STDMETHODIMP Commit() override;
    STDMETHODIMP Decommit() override;
    STDMETHODIMP GetBuffer(IMediaSample** ppBuffer, REFERENCE_TIME* pStartTime,
                           REFERENCE_TIME* pEndTime, DWORD dwFlags) override;
    // Called by CMediaSample on its last Release; returns it to the pool.
    STDMETHODIMP ReleaseBuffer(IMediaSample* pBuffer) override;

    // Diagnostics and tests: samples that exist, and those in the pool.
    LONG AllocatedCount();
    LONG FreeCount();

protected:
    // The pool of free samples (guarded by the allocator's lock). Last in,
    // first out: the buffer handed out next is the one used most recently.
    class CSampleList {
    public:
        int GetCount() const { return (int)m_List.size(); }
        void Add(CMediaSample* pSample) { m_List.push_back(pSample); }
        // The most recently added sample, taken out of the list; null when empty.
        CMediaSample* RemoveHead();
        // Removes pSample wherever it is (nothing when it is not in the list).
        void Remove(CMediaSample* pSample);
        CMediaSample* Head() const { return m_List.empty() ? nullptr : m_List.back(); }

    private:
        std::vector<CMediaSample*> m_List;
    };

    // Creates the samples for the recorded properties. The base checks them:
    // VFW_E_SIZENOTSET without a count and size; S_FALSE when nothing changed
    // since the last allocation (the samples are still there); S_OK when the
    // derived class must (re)allocate. Called with the lock held.
    virtual HRESULT Alloc();
    // Called (with the lock held) when a decommit completes: every sample is
    // back in the pool. A derived class may free its memory here or keep it
    // until the properties change.
    virtual void Free() = 0;

    // Wakes the threads blocked in GetBuffer (lock held).
    void NotifySample();
    // Counts the caller as a waiter before it waits (lock held).
    void SetWaiting() { m_lWaiting++; }

    // Guarded by the allocator's lock.
    CSampleList m_lFree;
    LONG m_lWaiting = 0;   // threads about to wait or waiting on m_hSem
    LONG m_lCount = 0;     // buffers asked for
    LONG m_lAllocated = 0; // samples that exist
    LONG m_lSize = 0;      // bytes per buffer (after the prefix)
    LONG m_lAlignment = 0;
    LONG m_lPrefix = 0;
    BOOL m_bChanged = FALSE; // properties changed since the last Alloc
    BOOL m_bCommitted = FALSE;
    BOOL m_bDecommitInProgress = FALSE;

    HANDLE m_hSem; // released once per waiter to wake it
};

// Buffers in one block of ordinary memory: each buffer's prefix starts on a
// multiple of cbAlign, and SetProperties rounds cbBuffer up so that prefix
// plus buffer fill whole alignment units. The memory is kept across
// decommit/commit and freed when the properties change or the allocator goes.
class CMemAllocator : public CBaseAllocator {
public:
    CMemAllocator(LPCTSTR pName, LPUNKNOWN pUnk, HRESULT* phr);
    // Named "CMemAllocator".
    CMemAllocator(LPUNKNOWN pUnk, HRESULT* phr);
    ~CMemAllocator() override;

    // For a class factory table (CLSID_MemoryAllocator).
    static CUnknown* CreateInstance(LPUNKNOWN pUnk, HRESULT* phr);

    // As CBaseAllocator, plus: cbAlign must be a power of two of at least 1
    // (VFW_E_BADALIGN), and the whole pool must fit in memory (E_OUTOFMEMORY).
    STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* pRequest,
                               ALLOCATOR_PROPERTIES* pActual) override;

protected:
    HRESULT Alloc() override;
    void Free() override;
    // Deletes the samples and the memory.
    void ReallyFree();

    LPBYTE m_pBuffer = nullptr; // guarded by the allocator's lock
};

// A new CMemAllocator, add-referenced, in *ppAllocator.
HRESULT CreateMemoryAllocator(IMemAllocator** ppAllocator);
