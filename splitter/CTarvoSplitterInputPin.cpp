#include "CTarvoSplitterInputPin.h"

#include "CTarvoSplitterF.h"
#include "TarvoGuids.h"

#include "win32/text.h"

#include <cstring>

CTarvoSplitterInputPin::CTarvoSplitterInputPin(CTarvoSplitterF* pFilter, CCritSec* pLock,
                                               HRESULT* phr)
    : CBaseInputPin("Tarvo splitter input", pFilter, pLock, phr, L"Input"), m_pSplitter(pFilter)
{
}

CTarvoSplitterInputPin::~CTarvoSplitterInputPin()
{
    if (m_pReaderAllocator)
        m_pReaderAllocator->Release();
    if (m_pReader)
        m_pReader->Release();
}

HRESULT CTarvoSplitterInputPin::CheckMediaType(const CMediaType*)
{
    return S_OK;
}

bool CTarvoSplitterInputPin::IsRecordFileName(const char* name)
{
    static constexpr const char* kExtensions[] = {".tvx",  ".tvx2", ".tvx4",
                                                  ".t264", ".tmj2", ".tavc"};
    const char* dot = name ? std::strrchr(name, '.') : nullptr;
    if (!dot)
        return false;
    for (const char* extension : kExtensions) {
        if (std::strncmp(dot, extension, std::strlen(extension)) == 0)
            return true;
    }
    return false;
}

HRESULT CTarvoSplitterInputPin::CheckConnect(IPin* pPin)
{
    HRESULT hr = CBaseInputPin::CheckConnect(pPin);
    if (FAILED(hr))
        return hr;
    PIN_INFO info{};
    if (FAILED(pPin->QueryPinInfo(&info)) || !info.pFilter)
        return E_FAIL;
    IBaseFilter* upstream = info.pFilter; // add-referenced by QueryPinInfo
    CLSID clsid = CLSID_NULL;
    hr = upstream->GetClassID(&clsid);
    if (FAILED(hr) || (clsid != CLSID_TarvoNWSource && clsid != CLSID_AsyncReader)) {
        upstream->Release();
        return E_FAIL;
    }

    IAsyncReader* reader = nullptr;
    if (FAILED(pPin->QueryInterface(IID_IAsyncReader, reinterpret_cast<void**>(&reader))) ||
        !reader) {
        upstream->Release();
        m_pullMode = false;
        return S_OK; // the network source pushes
    }

    char name[kFileNameSize] = {};
    IFileSourceFilter* source = nullptr;
    if (SUCCEEDED(
            upstream->QueryInterface(IID_IFileSourceFilter, reinterpret_cast<void**>(&source)))) {
        LPOLESTR wide = nullptr;
        if (SUCCEEDED(source->GetCurFile(&wide, nullptr)) && wide) {
            std::string utf8 = TvWideToUtf8(wide);
            std::strncpy(name, utf8.c_str(), sizeof(name) - 1);
            CoTaskMemFree(wide);
        }
        source->Release();
    }
    upstream->Release();
    if (!IsRecordFileName(name)) {
        reader->Release();
        return E_FAIL;
    }

    // A new reader replaces the last one (kept until now for the old parser).
    if (m_pReaderAllocator) {
        m_pReaderAllocator->Release();
        m_pReaderAllocator = nullptr;
    }
    ALLOCATOR_PROPERTIES wanted{1, kReaderBufferSize, 0, 0};
    IMemAllocator* allocator = nullptr;
    hr = reader->RequestAllocator(nullptr, &wanted, &allocator);
    if (FAILED(hr)) {
        reader->Release();
        return E_FAIL;
    }
    std::memcpy(m_fileName, name, sizeof(m_fileName));
    hr = m_pSplitter->ProbeFile(reader, m_fileName);
    if (FAILED(hr)) {
        allocator->Release();
        reader->Release();
        return E_FAIL;
    }
    if (m_pReader)
        m_pReader->Release();
    m_pReader = reader;
    m_pReaderAllocator = allocator;
    m_pullMode = true;
    return S_OK;
}

HRESULT CTarvoSplitterInputPin::CompleteConnect(IPin* pReceivePin)
{
    HRESULT hr = CBaseInputPin::CompleteConnect(pReceivePin);
    if (SUCCEEDED(hr))
        m_connected = true;
    return hr;
}

HRESULT CTarvoSplitterInputPin::BreakConnect()
{
    m_connected = false;
    if (m_pReaderAllocator) {
        m_pReaderAllocator->Decommit();
        m_pReaderAllocator->Release();
        m_pReaderAllocator = nullptr;
    }
    m_pullMode = false;
    m_pSplitter->ResetInput();
    return CBaseInputPin::BreakConnect();
}

HRESULT CTarvoSplitterInputPin::Active()
{
    if (m_pullMode)
        return m_pReaderAllocator ? m_pReaderAllocator->Commit() : VFW_E_NO_ALLOCATOR;
    if (CFrameQueue* queue = m_pSplitter->FrameQueue())
        queue->SetActive(true);
    return S_OK;
}

HRESULT CTarvoSplitterInputPin::Inactive()
{
    if (m_pullMode)
        return m_pReaderAllocator ? m_pReaderAllocator->Decommit() : VFW_E_NO_ALLOCATOR;
    if (CFrameQueue* queue = m_pSplitter->FrameQueue())
        queue->SetActive(false);
    return CBaseInputPin::Inactive();
}

STDMETHODIMP CTarvoSplitterInputPin::Receive(IMediaSample* pSample)
{
    CheckPointer(pSample, E_POINTER);
    BYTE* data = nullptr;
    if (FAILED(pSample->GetPointer(&data)) || !data)
        return S_OK;
    m_pSplitter->ReceiveBytes(data, pSample->GetActualDataLength());
    return S_OK;
}
