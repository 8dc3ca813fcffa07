// The network source filter through COM: registration, the private interface
// by its slots, the output pin's media type and sample delivery into the test
// kit's recording sink (on the harness, no graph manager needed).
#include "CNetReceiver.h"
#include "NWSourceTest.h"
#include "NWTestUtil.h"
#include "win32/trace.h"

#include <dllsetup.h>
#include <streams.h>
#include <uuids.h>
#include <vfwmsgs.h>

#include <gtest/gtest.h>

#include <mutex>
#include <regex>

using namespace nwtest;

namespace {

// The filter alone on the harness; m_out and m_sink are the harness's (not
// held here).
class NWSourceFilterTest : public NWSourceTest {
protected:
    void SetUp() override
    {
        NWSourceTest::SetUp();
        WrapSource(TvHarness::Setting::TestGraph);
        m_out = m_harness->Pin(nullptr, PINDIR_OUTPUT);
        ASSERT_NE(m_out, nullptr);
    }

    void ConnectSink()
    {
        ASSERT_EQ(m_harness->ConnectOutput(), S_OK);
        m_sink = m_harness->Sink();
    }
    // The sink, then the filter (downstream first).
    void Pause() { ASSERT_EQ(m_harness->Pause(), S_OK); }
    void Stop() { ASSERT_EQ(m_harness->Stop(), S_OK); }

    IPin* m_out = nullptr;
    CTestSink* m_sink = nullptr;
};

} // namespace

TEST_F(NWSourceFilterTest, RegisteredWithItsSetupDataAndPage)
{
    TvRegisteredFilter data;
    ASSERT_EQ(TvQueryRegisteredFilter(CLSID_TarvoNWSource, &data), S_OK);
    EXPECT_EQ(data.name, L"Tarvo NWSource");
    EXPECT_EQ(data.dwMerit, static_cast<DWORD>(0x200000));
    ASSERT_EQ(data.pins.size(), 1u);
    EXPECT_EQ(data.pins[0].name, L"Output");
    EXPECT_TRUE(data.pins[0].bOutput);
    EXPECT_FALSE(data.pins[0].bRendered);
    EXPECT_FALSE(data.pins[0].bZero);
    EXPECT_FALSE(data.pins[0].bMany);
    ASSERT_EQ(data.pins[0].mediaTypes.size(), 1u);
    EXPECT_EQ(data.pins[0].mediaTypes[0].first, MEDIATYPE_Video);
    EXPECT_EQ(data.pins[0].mediaTypes[0].second, GUID_NULL);

    ISpecifyPropertyPages* pages = nullptr;
    ASSERT_EQ(m_filter->QueryInterface(IID_ISpecifyPropertyPages, reinterpret_cast<void**>(&pages)),
              S_OK);
    EXPECT_EQ(pages->GetPages(nullptr), E_POINTER);
    CAUUID uuids{};
    ASSERT_EQ(pages->GetPages(&uuids), S_OK);
    ASSERT_EQ(uuids.cElems, 1u);
    EXPECT_EQ(uuids.pElems[0], CLSID_NWSourceProp);
    CoTaskMemFree(uuids.pElems);
    pages->Release();

    // The page's class is registered in this module.
    IUnknown* page = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_NWSourceProp, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&page)),
              S_OK);
    page->Release();
}

TEST_F(NWSourceFilterTest, PrivateInterfaceSlots)
{
    // Called through the raw table: the slot order is the contract.
    using Fn1 = HRESULT (*)(INWSource*, void*);
    using Fn4 = HRESULT (*)(INWSource*, LONGLONG*, LONGLONG*, LONGLONG*, LONGLONG*);
    using FnIn = HRESULT (*)(INWSource*, const BYTE*, LONG);
    void** vtable = *reinterpret_cast<void***>(m_source);
    EXPECT_EQ(reinterpret_cast<Fn1>(vtable[8])(m_source, nullptr), E_NOTIMPL);
    EXPECT_EQ(reinterpret_cast<Fn1>(vtable[8])(m_source, &vtable), E_NOTIMPL);
    const BYTE data[5] = {1, 2, 3, 4, 5};
    EXPECT_EQ(reinterpret_cast<FnIn>(vtable[11])(m_source, data, 5), S_OK);
    EXPECT_EQ(reinterpret_cast<FnIn>(vtable[11])(m_source, nullptr, 5), E_FAIL);
    LONGLONG s[4] = {-1, -1, -1, -1};
    EXPECT_EQ(reinterpret_cast<Fn4>(vtable[12])(m_source, &s[0], &s[1], &s[2], &s[3]), S_OK);
    EXPECT_EQ(s[0] + s[1] + s[2] + s[3], 0); // InputData is not counted as received

    char path[NWSOURCE_PATH_SIZE] = "x";
    EXPECT_EQ(reinterpret_cast<Fn1>(vtable[7])(m_source, path), S_OK); // GetRecordPath
    EXPECT_STREQ(path, "");
    EXPECT_EQ(m_source->SetConnectParam(NW_CONNECT_UNKNOWN, nullptr, 8001), E_FAIL);
}

TEST_F(NWSourceFilterTest, PrivateCallsAreTracedOnTheNWSourceChannel)
{
    NWConnectType type = -1;
    char address[NWSOURCE_ADDRESS_SIZE] = "x";
    USHORT port = 0;
    const auto calls = [&] {
        m_source->SetConnectParam(NW_CONNECT_UNKNOWN, "10.1.2.3", 70000);
        m_source->GetConnectParam(&type, address, &port);
        m_source->StopRecord();
    };
    const std::vector<std::string> lines = TvTraceCapture("nwsource", calls);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "nwsource: SetConnectParam(0, \"10.1.2.3\", 70000) -> -2147467259 "
                        "(0x80004005)");
    EXPECT_TRUE(std::regex_match(lines[1],
                                 std::regex("nwsource: GetConnectParam\\(0x[0-9a-f]+, 0x[0-9a-f]+, "
                                            "0x[0-9a-f]+\\) -> 0 \\(0x00000000\\): type 0, "
                                            "address \"10.1.2.3\", port 4464")))
        << lines[1];
    EXPECT_EQ(lines[2], "nwsource: StopRecord() -> 0 (0x00000000)");
    EXPECT_TRUE(TvTraceCapture("dshow,com", calls).empty());
}

TEST_F(NWSourceFilterTest, OffersExactlyOneMediaType)
{
    EXPECT_EQ(m_out->QueryAccept(nullptr), E_POINTER);
    PIN_INFO info{};
    ASSERT_EQ(m_out->QueryPinInfo(&info), S_OK);
    EXPECT_STREQ(info.achName, L"Out Pin!");
    EXPECT_EQ(info.dir, PINDIR_OUTPUT);
    if (info.pFilter)
        info.pFilter->Release();

    IEnumMediaTypes* types = nullptr;
    ASSERT_EQ(m_out->EnumMediaTypes(&types), S_OK);
    AM_MEDIA_TYPE* mt[2] = {};
    ULONG fetched = 0;
    EXPECT_EQ(types->Next(2, mt, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    types->Release();

    EXPECT_EQ(mt[0]->majortype, MEDIATYPE_Video);
    EXPECT_EQ(mt[0]->subtype, MEDIASUBTYPE_MPEG2_VIDEO);
    EXPECT_EQ(mt[0]->formattype, FORMAT_MPEG2Video);
    EXPECT_FALSE(mt[0]->bFixedSizeSamples);
    ASSERT_EQ(mt[0]->cbFormat, 1128u);
    const auto* vi = reinterpret_cast<const VIDEOINFO*>(mt[0]->pbFormat);
    EXPECT_EQ(vi->AvgTimePerFrame, 400000);
    EXPECT_EQ(vi->bmiHeader.biSize, 40u);
    EXPECT_EQ(vi->bmiHeader.biPlanes, 1);
    EXPECT_EQ(vi->bmiHeader.biBitCount, 32);
    EXPECT_EQ(vi->bmiHeader.biWidth, 0);
    EXPECT_EQ(vi->bmiHeader.biSizeImage, 0u);
    EXPECT_EQ(vi->rcSource.right - vi->rcSource.left, 0);
    EXPECT_EQ(vi->rcTarget.bottom - vi->rcTarget.top, 0);
    DeleteMediaType(mt[0]);
}

TEST_F(NWSourceFilterTest, DeliversRingBytesInSamplesWithoutTimes)
{
    ConnectSink();
    Pause();
    // Nothing arrives: empty sync-point samples without times, one each
    // kIdleSampleMs.
    ASSERT_TRUE(WaitFor([&] { return m_sink->Samples().size() >= 2; }));
    for (const auto& s : m_sink->Samples()) {
        EXPECT_EQ(s.length, 0);
        EXPECT_EQ(s.timeResult, VFW_E_SAMPLE_TIME_NOT_SET); // no times
        EXPECT_TRUE(s.syncPoint);
    }
    auto stats = Statistics();
    EXPECT_EQ(stats[2], 0);
    EXPECT_EQ(stats[3], 0);

    // 250000 bytes in one push come out as samples of at most 102400 bytes.
    std::string data(250000, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 13);
    ASSERT_EQ(m_source->InputData(reinterpret_cast<const BYTE*>(data.data()),
                                  static_cast<LONG>(data.size())),
              S_OK);
    ASSERT_TRUE(WaitFor([&] { return m_sink->Bytes().size() >= data.size(); }));
    EXPECT_EQ(m_sink->Bytes(), data);
    LONGLONG withData = 0;
    for (const auto& s : m_sink->Samples()) {
        EXPECT_LE(s.length, 102400);
        EXPECT_EQ(s.timeResult, VFW_E_SAMPLE_TIME_NOT_SET); // no times
        withData += s.length > 0;
    }
    stats = Statistics();
    EXPECT_EQ(stats[2], withData);
    EXPECT_EQ(stats[3], 250000);
    Stop();
}

TEST_F(NWSourceFilterTest, StoppedToPausedStartsAfresh)
{
    TempDir dir;
    const std::string log = dir / "ring.txt";
    const unsigned short port = FreePort(SOCK_DGRAM);
    ASSERT_EQ(m_source->SetConnectParam(NW_CONNECT_UDP, nullptr, port), S_OK);
    ASSERT_TRUE(UdpSender().Send(port, "stale"));
    ASSERT_TRUE(WaitFor([&] { return Statistics()[1] == 5; }));
    ASSERT_EQ(m_source->SetLogPath(log.c_str()), S_OK);

    ConnectSink();
    Pause();
    const auto stats = Statistics();
    EXPECT_EQ(stats, (std::array<LONGLONG, 4>{0, 0, 0, 0}));
    ASSERT_TRUE(WaitFor([&] { return m_sink->Samples().size() >= 2; }));
    EXPECT_EQ(m_sink->Bytes(), ""); // what came while stopped is gone
    Stop();
    ASSERT_EQ(m_source->SetLogPath(nullptr), S_OK);
    const std::string text = ReadFile(log);
    size_t flushes = 0;
    for (size_t at = text.find("Flush:"); at != std::string::npos; at = text.find("Flush:", at + 1))
        ++flushes;
    EXPECT_EQ(flushes, 1u) << text;
}
