// "File Async Reader" (CLSID_AsyncReader): a source filter that offers a file
// to the filter downstream through IAsyncReader on its one output pin
// ("Output", media type MEDIATYPE_Stream), and takes the file through
// IFileSourceFilter.
//
// The downstream pin pulls: it asks for an allocator (RequestAllocator), then
// reads with Request/WaitForNext (queued requests, completed here at once on
// the requesting thread: the file is local, a read does not wait on anything
// but the disk), SyncReadAligned or SyncRead. A sample's time stamps give the
// byte range, in units of 10^7 per byte (REFERENCE_TIME units per byte, as
// DirectShow has it). Reads that reach past the end of the file are cut at the
// end and answer S_FALSE with the short count; a request wholly past the end
// completes with no data.
//
// Connection: as DirectShow's reader does, the pin connects only to a pin that
// asks it for IAsyncReader while connecting (VFW_E_NO_TRANSPORT otherwise), and
// only once a file is loaded (there is no media type before).
//
// Threads: IAsyncReader may be called from any number of threads at once;
// Load, GetCurFile and the connection calls take the filter lock.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <shared_mutex>
#include <string>

#include "async/AsyncFile.h"
#include "streams.h"

class CAsyncReader;

class CAsyncOutputPin final : public CBasePin, public IAsyncReader {
public:
    CAsyncOutputPin(CAsyncReader* pReader, CCritSec* pLock, HRESULT* phr);
    ~CAsyncOutputPin() override;

    DECLARE_IUNKNOWN
    // IAsyncReader besides the pin's interfaces (asking for it while
    // connecting is what lets the connection complete).
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // CBasePin (filter lock held).
    STDMETHODIMP Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) override;
    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) override;
    HRESULT CompleteConnect(IPin* pReceivePin) override;

    // IAsyncReader.
    // The preferred allocator when it takes the properties (alignment 0 counts
    // as 1), else a new memory allocator with them. E_POINTER for null
    // pProps/ppActual.
    STDMETHODIMP RequestAllocator(IMemAllocator* pPreferred, ALLOCATOR_PROPERTIES* pProps,
                                  IMemAllocator** ppActual) override;
    // Queues the read the sample's times describe; E_POINTER, E_INVALIDARG for a
    // negative start, a stop before the start or more bytes than the sample
    // holds, VFW_E_SAMPLE_TIME_NOT_SET, VFW_E_WRONG_STATE while flushing.
    STDMETHODIMP Request(IMediaSample* pSample, DWORD_PTR dwUser) override;
    // The next completed request (in completion order) with its result: S_OK,
    // S_FALSE for a short read, or the read's error. VFW_E_TIMEOUT when none
    // completed within dwTimeout ms; VFW_E_WRONG_STATE (null sample) while
    // flushing with none left.
    STDMETHODIMP WaitForNext(DWORD dwTimeout, IMediaSample** ppSample, DWORD_PTR* pdwUser) override;
    STDMETHODIMP SyncReadAligned(IMediaSample* pSample) override;
    STDMETHODIMP SyncRead(LONGLONG llPosition, LONG lLength, BYTE* pBuffer) override;
    // The file length, all of it available.
    STDMETHODIMP Length(LONGLONG* pTotal, LONGLONG* pAvailable) override;
    // IAsyncReader and IPin share these two (an output pin gets no flush from
    // upstream): flushing makes WaitForNext return at once and refuses new
    // requests until EndFlush.
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;

private:
    // Reads the byte range of the sample's times into it (the stop time is
    // moved to the end of the file when the range reaches past it).
    HRESULT ReadIntoSample(IMediaSample* pSample);

    CAsyncReader* const m_pReader;
    std::atomic<bool> m_bQueriedForAsyncReader{false};

    struct Completed {
        IMediaSample* sample; // add-referenced
        DWORD_PTR user;
        HRESULT hr;
    };
    std::mutex m_queueLock;
    std::condition_variable m_queueWake;
    // guarded by m_queueLock
    std::deque<Completed> m_completed;
    bool m_bFlushing = false;
};

class CAsyncReader final : public CBaseFilter, public IFileSourceFilter, public IAMFilterMiscFlags {
public:
    ~CAsyncReader() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override { return n == 0 ? &m_pin : nullptr; }

    // IFileSourceFilter. Load: the wide path (UTF-8 converted, mapped with
    // TvMapPath) and an optional media type for the output (default
    // MEDIATYPE_Stream, MEDIASUBTYPE_NULL). E_POINTER for a null name,
    // VFW_E_ALREADY_CONNECTED while the pin is connected, else the open error
    // (HRESULT_FROM_WIN32 of the Win32 code: file not found, access denied...).
    // GetCurFile: a CoTaskMemAlloc copy of the name (null and S_OK when no file
    // is loaded) and, when pmt is given, a copy of the output type.
    STDMETHODIMP Load(LPCOLESTR pszFileName, const AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP GetCurFile(LPOLESTR* ppszFileName, AM_MEDIA_TYPE* pmt) override;

    // IAMFilterMiscFlags: a source.
    STDMETHODIMP_(ULONG) GetMiscFlags() override { return AM_FILTER_MISC_FLAGS_IS_SOURCE; }

    // For the pin: reads hold the file lock shared, Load holds it exclusive.
    const CAsyncFile& File() const { return m_file; }
    std::shared_mutex& FileLock() { return m_fileLock; }
    // The output type (filter lock held); false when no file is loaded.
    bool OutputType(CMediaType* pmt);

private:
    template <class T, auto... Args> friend CUnknown* CreateComInstance(LPUNKNOWN, HRESULT*);
    CAsyncReader(LPUNKNOWN pUnk, HRESULT* phr);

    CCritSec m_lock; // the filter lock
    CAsyncOutputPin m_pin;
    // m_file: written under m_lock and m_fileLock (exclusive), read under
    // m_fileLock (shared); the rest guarded by m_lock
    std::shared_mutex m_fileLock;
    CAsyncFile m_file;
    std::wstring m_fileName;
    CMediaType m_outputType;
    bool m_bLoaded = false;
};
