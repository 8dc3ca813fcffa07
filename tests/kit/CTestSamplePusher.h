// CTestSamplePusher: hands bytes straight to a filter's input pin as one
// sample, the way an upstream filter's streaming thread calls
// IMemInputPin::Receive, with no connection in between. For filters whose
// input accepts only particular upstream filters (CTestPushSource could not
// connect to them), and for a test that wants Receive's answer directly.
//
// Threads: Push on one thread at a time (the pusher's only buffer is out
// while Receive runs). Ownership: holds a reference on the pin's
// IMemInputPin and its own allocator until destroyed.
#pragma once

#include <streams.h>

#include <cstdint>
#include <span>

class CTestSamplePusher {
public:
    // One buffer of bufferSize bytes, committed at once.
    explicit CTestSamplePusher(IPin* input, LONG bufferSize = 0x500000);
    ~CTestSamplePusher();
    CTestSamplePusher(const CTestSamplePusher&) = delete;
    CTestSamplePusher& operator=(const CTestSamplePusher&) = delete;

    // The bytes as one sample: Receive's answer; E_INVALIDARG when they do
    // not fit the buffer, E_FAIL when the pusher could not be set up.
    HRESULT Push(std::span<const uint8_t> bytes);

private:
    IMemInputPin* m_input = nullptr;
    IMemAllocator* m_allocator = nullptr;
    LONG m_bufferSize = 0;
};
