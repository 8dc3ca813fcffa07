// The H.264 decoder filter in the test kit's harness: the push source offers
// the splitter's type for device H.264 (or one given), the sink takes every
// type. Run() pushes samples from pause to end of stream, as an upstream
// streaming thread would, and stops.
#pragma once

#include "TarvoH264DecoderFilter.h"
#include "TarvoMediaTypes.h"
#include "TestKit.h"

#include <memory>
#include <vector>

namespace h264test {

inline CMediaType DeviceH264Type(LONG width, LONG height)
{
    return TvMakeVideoType(MEDIASUBTYPE_TarvoH264, width, height, 24,
                           MAKEFOURCC('H', '2', '6', '4'), 333667);
}

class H264FilterRig {
public:
    H264FilterRig(const H264DecoderLibrary& library, const CMediaType& inputType,
                  LONG sampleBytes = 600000)
        : m_filter(CreateFilter(library)),
          m_harness(std::make_unique<TvHarness>(m_filter, L"Tarvo H264 Decoder")),
          m_inputType(inputType), m_sampleBytes(sampleBytes)
    {
    }
    ~H264FilterRig()
    {
        m_harness.reset(); // stops, disconnects and lets go of the filter first
        m_filter->NonDelegatingRelease();
    }
    HRESULT ConnectInput()
    {
        return m_harness->ConnectInput(m_inputType, nullptr, 1, m_sampleBytes);
    }
    HRESULT ConnectOutput() { return m_harness->ConnectOutput(); }
    void Connect()
    {
        ASSERT_EQ(ConnectInput(), S_OK);
        ASSERT_EQ(ConnectOutput(), S_OK);
    }
    // Pauses, pushes the samples (stopping at the first failure, as a source
    // does), then end of stream when all went in, and stops. Results() tells
    // what each push gave.
    void Run(const std::vector<TvTestSample>& samples, bool expectEndOfStream = true)
    {
        m_results.clear();
        ASSERT_EQ(m_harness->Pause(), S_OK);
        bool failed = false;
        for (const TvTestSample& sample : samples) {
            m_results.push_back(m_harness->Push(sample));
            if ((failed = m_results.back() != S_OK))
                break;
        }
        EXPECT_EQ(failed, !expectEndOfStream);
        if (!failed) {
            EXPECT_EQ(m_harness->PushEndOfStream(), S_OK);
            EXPECT_TRUE(Sink()->WaitForEndOfStream());
        }
        m_harness->Stop();
    }
    static TvTestSample Bytes(std::vector<BYTE> bytes)
    {
        TvTestSample s;
        s.syncPoint = false;
        s.bytes = std::move(bytes);
        return s;
    }
    static TvTestSample Length(LONG length)
    {
        TvTestSample s;
        s.syncPoint = false;
        s.length = length;
        return s;
    }

    const std::vector<HRESULT>& Results() const { return m_results; }
    TarvoH264DecoderFilter* Filter() { return m_filter; }
    TvHarness& Harness() { return *m_harness; }
    CTestSink* Sink() { return m_harness->Sink(); }

private:
    static TarvoH264DecoderFilter* CreateFilter(const H264DecoderLibrary& library)
    {
        TarvoH264DecoderFilter* filter =
            TarvoH264DecoderFilter::CreateWithLibrary(library, nullptr);
        filter->NonDelegatingAddRef();
        return filter;
    }

    TarvoH264DecoderFilter* const m_filter;
    std::unique_ptr<TvHarness> m_harness;
    CMediaType m_inputType;
    const LONG m_sampleBytes;
    std::vector<HRESULT> m_results;
};

} // namespace h264test
