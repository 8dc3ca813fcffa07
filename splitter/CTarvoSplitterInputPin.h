// CTarvoSplitterInputPin: the splitter's "Input". It accepts only the network
// source (push mode: Receive copies each sample into the receive ring) or the
// file reader (pull mode: the pin keeps the reader's IAsyncReader and the
// allocator it gave, and the splitter reads the file through them).
//
// Threads: CheckConnect, BreakConnect, Active and Inactive on the application
// thread with the filter lock held; Receive on the upstream streaming thread
// (no filter lock). The pull-mode flag and the connected flag are atomics: the
// delivery thread reads them. The reader and its allocator change only while
// the filter is stopped.
#pragma once

#include <streams.h>

#include <atomic>

class CTarvoSplitterF;

class CTarvoSplitterInputPin : public CBaseInputPin {
public:
    static constexpr size_t kFileNameSize = 256;
    // What pull mode asks the reader's allocator for.
    static constexpr LONG kReaderBufferSize = 2048000;

    CTarvoSplitterInputPin(CTarvoSplitterF* pFilter, CCritSec* pLock, HRESULT* phr);
    ~CTarvoSplitterInputPin() override;

    // Any type.
    HRESULT CheckMediaType(const CMediaType* pmt) override;
    // The upstream probe: the network source (push mode) or the file reader
    // with a record file (pull mode), anything else E_FAIL.
    HRESULT CheckConnect(IPin* pPin) override;
    HRESULT CompleteConnect(IPin* pReceivePin) override;
    HRESULT BreakConnect() override;
    HRESULT Active() override;
    HRESULT Inactive() override;

    // Push mode: E_POINTER for null, S_OK otherwise, whatever the pin's state.
    STDMETHODIMP Receive(IMediaSample* pSample) override;

    bool IsPullMode() const { return m_pullMode; }
    bool IsInputConnected() const { return m_connected; }
    // Pull mode: the reader (not add-referenced for the caller).
    IAsyncReader* Reader() const { return m_pReader; }
    const char* FileName() const { return m_fileName; }

    // The extensions a record file may have; the extension from the name's
    // last '.' must begin with one of them.
    static bool IsRecordFileName(const char* name);

private:
    CTarvoSplitterF* const m_pSplitter;
    std::atomic<bool> m_pullMode{false};
    std::atomic<bool> m_connected{false};
    // Filter lock; changed only while stopped. Add-referenced.
    IAsyncReader* m_pReader = nullptr;
    IMemAllocator* m_pReaderAllocator = nullptr;
    char m_fileName[kFileNameSize] = {};
};
