// The H.264 decoder filter between the test kit's push source and sink: the
// source offers the splitter's type for device H.264 (or one given), the sink
// takes every type. Run() delivers samples from pause to end of stream.
#pragma once

#include "TarvoH264DecoderFilter.h"
#include "TestKit.h"

#include <uuids.h>

#include <mutex>
#include <vector>

namespace h264test {

// The media subtype of device H.264 on the splitter's "Video Out".
// {8D2D71CB-243F-45E3-B2D8-5FD7967EC09B}
DEFINE_GUID(MEDIASUBTYPE_DeviceH264, 0x8d2d71cb, 0x243f, 0x45e3, 0xb2, 0xd8, 0x5f, 0xd7, 0x96, 0x7e,
            0xc0, 0x9b);

inline CMediaType DeviceH264Type(LONG width, LONG height)
{
    return TvMakeVideoType(MEDIASUBTYPE_DeviceH264, width, height, 24,
                           MAKEFOURCC('H', '2', '6', '4'), 333667);
}

class H264FilterRig {
public:
    H264FilterRig(const H264DecoderLibrary& library, const CMediaType& inputType,
                  LONG sampleBytes = 600000)
    {
        m_source = CTestPushSource::Create({inputType});
        m_filter = TarvoH264DecoderFilter::CreateWithLibrary(library, nullptr);
        m_filter->NonDelegatingAddRef();
        m_sink = CTestSink::Create();
        m_sink->SetAcceptFunction([](const CMediaType*) { return S_OK; });
        // The type each sample brings (an empty one when none), in order.
        m_sink->SetReceiveHook([this](IMediaSample* sample) {
            AM_MEDIA_TYPE* pmt = nullptr;
            CMediaType type;
            if (sample->GetMediaType(&pmt) == S_OK && pmt) {
                type = *pmt;
                DeleteMediaType(pmt);
            }
            std::lock_guard<std::mutex> lock(m_typesLock);
            m_types.push_back(type);
        });
        m_source->SetAllocatorRequest(1, sampleBytes);
        m_inputType = inputType;
    }
    ~H264FilterRig()
    {
        Stop();
        m_source->Output()->Disconnect();
        m_filter->GetPin(0)->Disconnect();
        m_filter->GetPin(1)->Disconnect();
        m_sink->Input()->Disconnect();
        m_source->Release();
        m_filter->NonDelegatingRelease();
        m_sink->Release();
    }
    HRESULT ConnectInput()
    {
        return m_source->Output()->Connect(m_filter->GetPin(0), &m_inputType);
    }
    HRESULT ConnectOutput() { return m_filter->GetPin(1)->Connect(m_sink->Input(), nullptr); }
    void Connect()
    {
        ASSERT_EQ(ConnectInput(), S_OK);
        ASSERT_EQ(ConnectOutput(), S_OK);
    }
    // Pauses the chain (sink first), lets the source deliver the samples and
    // end of stream, waits for it at the sink, and stops (sink first). A
    // source whose delivery fails stops there, without end of stream.
    void Run(const std::vector<TvTestSample>& samples, bool expectEndOfStream = true)
    {
        m_source->SetSamples(samples, true);
        ASSERT_EQ(m_sink->Pause(), S_OK);
        ASSERT_EQ(m_filter->Pause(), S_OK);
        ASSERT_EQ(m_source->Pause(), S_OK);
        EXPECT_TRUE(m_source->WaitUntilFinished());
        if (expectEndOfStream) {
            EXPECT_TRUE(m_sink->WaitForEndOfStream());
        }
        Stop();
    }
    void Stop()
    {
        m_sink->Stop();
        m_filter->Stop();
        m_source->Stop();
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

    CTestPushSource* Source() { return m_source; }
    TarvoH264DecoderFilter* Filter() { return m_filter; }
    CTestSink* Sink() { return m_sink; }
    // The type the i-th sample received brought (empty when none).
    CMediaType SampleType(size_t i)
    {
        std::lock_guard<std::mutex> lock(m_typesLock);
        return i < m_types.size() ? m_types[i] : CMediaType();
    }

private:
    std::mutex m_typesLock; // the sink's streaming thread adds, the test reads
    std::vector<CMediaType> m_types;
    CMediaType m_inputType;
    CTestPushSource* m_source = nullptr;
    TarvoH264DecoderFilter* m_filter = nullptr;
    CTestSink* m_sink = nullptr;
};

} // namespace h264test
