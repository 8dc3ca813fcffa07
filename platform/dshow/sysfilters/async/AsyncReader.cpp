#include "async/AsyncReader.h"

#include <climits>
#include <new>

#include "com/register.h"
#include "win32/path.h"

// ---- CAsyncOutputPin ----

CAsyncOutputPin::CAsyncOutputPin(CAsyncReader* pReader, CCritSec* pLock, HRESULT* phr)
    : CBasePin("Async reader output pin", pReader, pLock, phr, L"Output", PINDIR_OUTPUT),
      m_pReader(pReader)
{
}

CAsyncOutputPin::~CAsyncOutputPin()
{
    for (Completed& c : m_completed)
        c.sample->Release();
}

STDMETHODIMP CAsyncOutputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    CheckPointer(ppv, E_POINTER);
    if (riid == IID_IAsyncReader) {
        m_bQueriedForAsyncReader = true;
        return GetInterface(static_cast<IAsyncReader*>(this), ppv);
    }
    return CBasePin::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CAsyncOutputPin::Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt)
{
    CAutoLock lock(m_pLock);
    m_bQueriedForAsyncReader = false;
    return CBasePin::Connect(pReceivePin, pmt);
}

HRESULT CAsyncOutputPin::CheckMediaType(const CMediaType* pmt)
{
    CMediaType ours;
    if (!m_pReader->OutputType(&ours))
        return VFW_E_NOT_CONNECTED;
    if (!IsEqualGUID(pmt->majortype, ours.majortype))
        return S_FALSE;
    if (!IsEqualGUID(ours.subtype, MEDIASUBTYPE_NULL) && !IsEqualGUID(pmt->subtype, ours.subtype))
        return S_FALSE;
    return S_OK;
}

HRESULT CAsyncOutputPin::GetMediaType(int iPosition, CMediaType* pMediaType)
{
    if (iPosition < 0)
        return E_INVALIDARG;
    if (iPosition > 0 || !m_pReader->OutputType(pMediaType))
        return VFW_S_NO_MORE_ITEMS;
    return S_OK;
}

HRESULT CAsyncOutputPin::CompleteConnect(IPin* pReceivePin)
{
    // A pin that never asked for IAsyncReader cannot read us: it expected to
    // be pushed to.
    if (!m_bQueriedForAsyncReader)
        return VFW_E_NO_TRANSPORT;
    return CBasePin::CompleteConnect(pReceivePin);
}

STDMETHODIMP CAsyncOutputPin::RequestAllocator(IMemAllocator* pPreferred,
                                               ALLOCATOR_PROPERTIES* pProps,
                                               IMemAllocator** ppActual)
{
    CheckPointer(ppActual, E_POINTER);
    *ppActual = nullptr;
    CheckPointer(pProps, E_POINTER);
    ALLOCATOR_PROPERTIES wanted = *pProps;
    // Reads need no alignment of their own; the caller's stays as asked.
    if (wanted.cbAlign <= 0)
        wanted.cbAlign = 1;
    ALLOCATOR_PROPERTIES actual{};
    if (pPreferred && SUCCEEDED(pPreferred->SetProperties(&wanted, &actual))) {
        pPreferred->AddRef();
        *ppActual = pPreferred;
        return S_OK;
    }
    IMemAllocator* allocator = nullptr;
    HRESULT hr = CreateMemoryAllocator(&allocator);
    if (FAILED(hr))
        return hr;
    hr = allocator->SetProperties(&wanted, &actual);
    if (FAILED(hr)) {
        allocator->Release();
        return hr;
    }
    *ppActual = allocator;
    return S_OK;
}

HRESULT CAsyncOutputPin::ReadIntoSample(IMediaSample* pSample)
{
    REFERENCE_TIME start = 0, stop = 0;
    HRESULT hr = pSample->GetTime(&start, &stop);
    if (FAILED(hr))
        return hr;
    if (hr == VFW_S_NO_STOP_TIME || start < 0 || stop < start)
        return E_INVALIDARG;
    LONGLONG position = start / UNITS;
    LONGLONG length = (stop - start) / UNITS;
    if (length > pSample->GetSize())
        return E_INVALIDARG;
    BYTE* buffer = nullptr;
    hr = pSample->GetPointer(&buffer);
    if (FAILED(hr))
        return hr;

    std::shared_lock<std::shared_mutex> file(m_pReader->FileLock());
    LONGLONG total = m_pReader->File().Length();
    if (position + length > total) {
        // Cut at the end of the file, and say so in the sample's times.
        LONGLONG end = std::max(total, position);
        REFERENCE_TIME newStop = end * UNITS;
        pSample->SetTime(&start, &newStop);
    }
    LONG read = 0;
    hr = m_pReader->File().Read(position, LONG(length), buffer, &read);
    pSample->SetActualDataLength(read);
    return hr;
}

STDMETHODIMP CAsyncOutputPin::Request(IMediaSample* pSample, DWORD_PTR dwUser)
{
    CheckPointer(pSample, E_POINTER);
    {
        std::lock_guard<std::mutex> guard(m_queueLock);
        if (m_bFlushing)
            return VFW_E_WRONG_STATE;
    }
    REFERENCE_TIME start = 0, stop = 0;
    HRESULT hr = pSample->GetTime(&start, &stop);
    if (FAILED(hr))
        return hr;
    if (hr == VFW_S_NO_STOP_TIME || start < 0 || stop < start ||
        (stop - start) / UNITS > pSample->GetSize())
        return E_INVALIDARG;
    // Local files are read at once; the result waits for WaitForNext.
    hr = ReadIntoSample(pSample);
    std::lock_guard<std::mutex> guard(m_queueLock);
    pSample->AddRef();
    m_completed.push_back(Completed{pSample, dwUser, hr});
    m_queueWake.notify_one();
    return S_OK;
}

STDMETHODIMP CAsyncOutputPin::WaitForNext(DWORD dwTimeout, IMediaSample** ppSample,
                                          DWORD_PTR* pdwUser)
{
    CheckPointer(ppSample, E_POINTER);
    *ppSample = nullptr;
    std::unique_lock<std::mutex> lock(m_queueLock);
    auto ready = [this] { return !m_completed.empty() || m_bFlushing; };
    if (dwTimeout == INFINITE)
        m_queueWake.wait(lock, ready);
    else
        m_queueWake.wait_for(lock, std::chrono::milliseconds(dwTimeout), ready);
    if (m_completed.empty())
        return m_bFlushing ? VFW_E_WRONG_STATE : VFW_E_TIMEOUT;
    Completed c = m_completed.front();
    m_completed.pop_front();
    *ppSample = c.sample; // the queue's reference goes to the caller
    if (pdwUser)
        *pdwUser = c.user;
    return c.hr;
}

STDMETHODIMP CAsyncOutputPin::SyncReadAligned(IMediaSample* pSample)
{
    CheckPointer(pSample, E_POINTER);
    return ReadIntoSample(pSample);
}

STDMETHODIMP CAsyncOutputPin::SyncRead(LONGLONG llPosition, LONG lLength, BYTE* pBuffer)
{
    std::shared_lock<std::shared_mutex> file(m_pReader->FileLock());
    return m_pReader->File().Read(llPosition, lLength, pBuffer, nullptr);
}

STDMETHODIMP CAsyncOutputPin::Length(LONGLONG* pTotal, LONGLONG* pAvailable)
{
    CheckPointer(pTotal, E_POINTER);
    CheckPointer(pAvailable, E_POINTER);
    std::shared_lock<std::shared_mutex> file(m_pReader->FileLock());
    if (!m_pReader->File().IsOpen())
        return E_UNEXPECTED;
    *pTotal = *pAvailable = m_pReader->File().Length();
    return S_OK;
}

STDMETHODIMP CAsyncOutputPin::BeginFlush()
{
    std::lock_guard<std::mutex> guard(m_queueLock);
    m_bFlushing = true;
    m_queueWake.notify_all();
    return S_OK;
}

STDMETHODIMP CAsyncOutputPin::EndFlush()
{
    std::lock_guard<std::mutex> guard(m_queueLock);
    m_bFlushing = false;
    return S_OK;
}

// ---- CAsyncReader ----

CAsyncReader::CAsyncReader(LPUNKNOWN pUnk, HRESULT* phr)
    : CBaseFilter("File Async Reader", pUnk, &m_lock, CLSID_AsyncReader, phr),
      m_pin(this, &m_lock, phr)
{
}

CAsyncReader::~CAsyncReader() = default;

STDMETHODIMP CAsyncReader::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    CheckPointer(ppv, E_POINTER);
    if (riid == IID_IFileSourceFilter)
        return GetInterface(static_cast<IFileSourceFilter*>(this), ppv);
    if (riid == IID_IAMFilterMiscFlags)
        return GetInterface(static_cast<IAMFilterMiscFlags*>(this), ppv);
    return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

bool CAsyncReader::OutputType(CMediaType* pmt)
{
    CAutoLock lock(&m_lock);
    if (!m_bLoaded)
        return false;
    *pmt = m_outputType;
    return true;
}

STDMETHODIMP CAsyncReader::Load(LPCOLESTR pszFileName, const AM_MEDIA_TYPE* pmt)
{
    CheckPointer(pszFileName, E_POINTER);
    CAutoLock lock(&m_lock);
    if (m_pin.IsConnected())
        return VFW_E_ALREADY_CONNECTED;
    std::string path = TvMapPath(TvWideToUtf8(pszFileName).c_str());
    CAsyncFile file;
    HRESULT hr = file.Open(path);
    DSHOW_TRACE("File Async Reader %p: Load \"%s\" -> 0x%08x", (void*)this, path.c_str(),
                (unsigned)hr);
    if (FAILED(hr))
        return hr;
    {
        std::unique_lock<std::shared_mutex> exclusive(m_fileLock);
        m_file.Swap(file); // the old file, if any, closes with `file`
    }
    m_fileName = pszFileName;
    m_outputType.InitMediaType();
    if (pmt) {
        m_outputType = *pmt;
    } else {
        m_outputType.SetType(&MEDIATYPE_Stream);
        m_outputType.SetSubtype(&MEDIASUBTYPE_NULL);
    }
    m_bLoaded = true;
    m_pin.IncrementTypeVersion();
    return S_OK;
}

STDMETHODIMP CAsyncReader::GetCurFile(LPOLESTR* ppszFileName, AM_MEDIA_TYPE* pmt)
{
    CheckPointer(ppszFileName, E_POINTER);
    *ppszFileName = nullptr;
    CAutoLock lock(&m_lock);
    if (!m_bLoaded) {
        if (pmt) {
            *pmt = AM_MEDIA_TYPE{};
            pmt->majortype = GUID_NULL;
        }
        return S_OK;
    }
    HRESULT hr = AMGetWideString(m_fileName.c_str(), ppszFileName);
    if (FAILED(hr))
        return hr;
    if (pmt) {
        hr = CopyMediaType(pmt, &m_outputType);
        if (FAILED(hr)) {
            CoTaskMemFree(*ppszFileName);
            *ppszFileName = nullptr;
            return hr;
        }
    }
    return S_OK;
}
