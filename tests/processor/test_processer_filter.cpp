// The frame processor filter through COM, outside a graph: registration, its
// pins, the interfaces it answers and their slot order through the raw
// vtable, the frame grab's time-out, and the registry settings and logs it
// takes at construction.
#include "IProcesserColor.h"
#include "IProcesserCut.h"
#include "IProcesserOverlay.h"
#include "TarvoGuids.h"
#include "processer_test_env.h"

#include "win32/file.h"
#include "win32/registry.h"
#include "win32/trace.h"

#include <qedit.h>
#include <streams.h>
#include <uuids.h>
#include <vfwmsgs.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class ProcesserFilter : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(m_env.SetUp("processer")); }
    void TearDown() override
    {
        if (m_filter)
            m_filter->Release();
        m_env.TearDown();
    }

    IBaseFilter* Filter()
    {
        if (!m_filter) {
            EXPECT_EQ(CoCreateInstance(CLSID_TarvoProcesser, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IBaseFilter, reinterpret_cast<void**>(&m_filter)),
                      S_OK);
        }
        return m_filter;
    }
    template <class I> I* Query(REFIID iid)
    {
        I* itf = nullptr;
        EXPECT_EQ(Filter()->QueryInterface(iid, reinterpret_cast<void**>(&itf)), S_OK);
        return itf;
    }
    void SetRegistryValue(const char* name, DWORD value)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tarvo", 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                 sizeof(value)),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }

    ProcesserTestEnv m_env;
    IBaseFilter* m_filter = nullptr;
};

TEST_F(ProcesserFilter, RegisteredWithItsPinsAndMerit)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID\\{2F815A6E-2E6C-4E6C-B295-27B2D1BC9493}", 0,
                            KEY_READ, &key),
              ERROR_SUCCESS);
    DWORD merit = 0, size = sizeof(merit);
    EXPECT_EQ(
        RegQueryValueExA(key, "Merit", nullptr, nullptr, reinterpret_cast<BYTE*>(&merit), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(merit, 0x200000u);
    struct {
        const char* pin;
        DWORD direction;
        const char* connectsTo;
    } pins[] = {{"Input", 0, "Output"}, {"Output", 1, "Input"}, {"Overlay Input", 0, "Output"}};
    for (const auto& p : pins) {
        HKEY pinKey = nullptr;
        ASSERT_EQ(RegOpenKeyExA(key, (std::string("Pins\\") + p.pin).c_str(), 0, KEY_READ, &pinKey),
                  ERROR_SUCCESS)
            << p.pin;
        DWORD direction = 9;
        size = sizeof(direction);
        RegQueryValueExA(pinKey, "Direction", nullptr, nullptr, reinterpret_cast<BYTE*>(&direction),
                         &size);
        EXPECT_EQ(direction, p.direction) << p.pin;
        char connects[64] = {};
        size = sizeof(connects);
        RegQueryValueExA(pinKey, "ConnectsToPin", nullptr, nullptr,
                         reinterpret_cast<BYTE*>(connects), &size);
        EXPECT_STREQ(connects, p.connectsTo);
        RegCloseKey(pinKey);
    }
    RegCloseKey(key);
    // The colour page's class is registered in this module.
    IUnknown* page = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_AdjusterPropertyPage, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IUnknown, reinterpret_cast<void**>(&page)),
              S_OK);
    page->Release();
}

TEST_F(ProcesserFilter, ThreePinsByName)
{
    IEnumPins* pins = nullptr;
    ASSERT_EQ(Filter()->EnumPins(&pins), S_OK);
    const struct {
        const wchar_t* name;
        PIN_DIRECTION direction;
    } expected[] = {
        {L"Input", PINDIR_INPUT}, {L"Output", PINDIR_OUTPUT}, {L"Overlay Input", PINDIR_INPUT}};
    IPin* pin = nullptr;
    size_t n = 0;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
        PIN_INFO info{};
        ASSERT_EQ(pin->QueryPinInfo(&info), S_OK);
        ASSERT_LT(n, 3u);
        EXPECT_STREQ(info.achName, expected[n].name);
        EXPECT_EQ(info.dir, expected[n].direction);
        if (info.pFilter)
            info.pFilter->Release();
        pin->Release();
        ++n;
    }
    pins->Release();
    EXPECT_EQ(n, 3u);
    IPin* overlay = nullptr;
    ASSERT_EQ(Filter()->FindPin(L"Overlay Input", &overlay), S_OK);
    // The overlay pin offers the text major type only.
    IEnumMediaTypes* types = nullptr;
    ASSERT_EQ(overlay->EnumMediaTypes(&types), S_OK);
    AM_MEDIA_TYPE* mt = nullptr;
    ASSERT_EQ(types->Next(1, &mt, nullptr), S_OK);
    EXPECT_EQ(mt->majortype, MEDIATYPE_Text);
    DeleteMediaType(mt);
    EXPECT_EQ(types->Next(1, &mt, nullptr), S_FALSE);
    types->Release();
    overlay->Release();
}

TEST_F(ProcesserFilter, InterfacesAndPropertyPage)
{
    for (const GUID* iid : {&IID_IProcesserCut, &IID_IProcesserColor, &IID_IProcesserOverlay,
                            &IID_ISampleGrabber, &IID_ISpecifyPropertyPages, &IID_IMediaFilter}) {
        IUnknown* itf = nullptr;
        EXPECT_EQ(Filter()->QueryInterface(*iid, reinterpret_cast<void**>(&itf)), S_OK);
        if (itf)
            itf->Release();
    }
    ISpecifyPropertyPages* pages = Query<ISpecifyPropertyPages>(IID_ISpecifyPropertyPages);
    CAUUID uuids{};
    ASSERT_EQ(pages->GetPages(&uuids), S_OK);
    ASSERT_EQ(uuids.cElems, 1u);
    EXPECT_EQ(uuids.pElems[0], CLSID_AdjusterPropertyPage);
    CoTaskMemFree(uuids.pElems);
    pages->Release();
}

// ---- slot order through the raw vtable ----

template <class Fn> Fn Slot(void* itf, int slot)
{
    return reinterpret_cast<Fn>((*reinterpret_cast<void***>(itf))[slot]);
}

TEST_F(ProcesserFilter, CutSlots)
{
    IProcesserCut* cut = Query<IProcesserCut>(IID_IProcesserCut);
    ASSERT_NE(cut, nullptr);
    using SetRect = HRESULT (*)(void*, LONG, LONG, LONG, LONG);
    using GetRect = HRESULT (*)(void*, LONG*, LONG*, LONG*, LONG*);
    using GetStats = HRESULT (*)(void*, LONGLONG*, LONGLONG*);
    using SetMode = HRESULT (*)(void*, LONG, LONG, LONG);
    using SetCallback = HRESULT (*)(void*, ProcesserFrameCallback, void*);

    // Without an input every size is cut to nothing.
    EXPECT_EQ(Slot<SetRect>(cut, 3)(cut, 10, 10, 100, 100), S_OK);
    LONG x = -1, y = -1, w = -1, h = -1;
    EXPECT_EQ(Slot<GetRect>(cut, 4)(cut, &x, &y, &w, &h), S_OK);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(w, 0);
    // Mode 6 takes its size as it is.
    EXPECT_EQ(Slot<SetMode>(cut, 6)(cut, 1600, 1200, 6), S_OK);
    EXPECT_EQ(Slot<GetRect>(cut, 4)(cut, &x, &y, &w, &h), S_OK);
    EXPECT_EQ(w, 1600);
    EXPECT_EQ(h, 1200);
    LONGLONG samples = -1, bytes = -1;
    EXPECT_EQ(Slot<GetStats>(cut, 5)(cut, &samples, &bytes), S_OK);
    EXPECT_EQ(samples, 0);
    EXPECT_EQ(bytes, 0);
    EXPECT_EQ(Slot<GetStats>(cut, 5)(cut, nullptr, &bytes), E_POINTER);
    EXPECT_EQ(Slot<SetCallback>(cut, 7)(cut, nullptr, nullptr), S_OK);
    cut->Release();
}

TEST_F(ProcesserFilter, OverlaySlotsInOrder)
{
    IProcesserOverlay* ov = Query<IProcesserOverlay>(IID_IProcesserOverlay);
    ASSERT_NE(ov, nullptr);
    LOGFONTA lf{};
    lf.lfHeight = -16;
    std::strcpy(lf.lfFaceName, "Arial");
    const POINT pts[3] = {{0, 0}, {20, 10}, {40, 0}};

    using NewId = HRESULT (*)(void*, LONG*);
    using GetByIndex = HRESULT (*)(void*, LONG, BYTE*, LONG*, LONG*);
    // The kind byte of the first record written for an ID (or -1).
    auto kindOf = [&](LONG id) {
        std::vector<BYTE> buf(4096);
        LONG size = LONG(buf.size()), count = 0;
        if (Slot<GetByIndex>(ov, 16)(ov, id, buf.data(), &size, &count) != S_OK || count < 1)
            return -1;
        return int(buf[5]);
    };
    auto countOf = [&](LONG id) {
        std::vector<BYTE> buf(1 << 16);
        LONG size = LONG(buf.size()), count = 0;
        Slot<GetByIndex>(ov, 16)(ov, id, buf.data(), &size, &count);
        return count;
    };

    LONG id = 0;
    ASSERT_EQ(Slot<NewId>(ov, 15)(ov, &id), S_OK);
    EXPECT_EQ(id, 1000);

    // Slots 5 to 11: the simple adds.
    LONG text = 1;
    EXPECT_EQ(
        Slot<HRESULT (*)(void*, const char*, LONG, BYTE, BYTE, BYTE, LOGFONTA, LONG, LONG, LONG*)>(
            ov, 5)(ov, "abc", 3, 1, 2, 3, lf, 10, 10, &text),
        S_OK);
    EXPECT_EQ(kindOf(text), 0x00);
    LONG time = 1;
    EXPECT_EQ(Slot<HRESULT (*)(void*, BYTE, BYTE, BYTE, LOGFONTA, LONG, LONG, LONG*)>(ov, 6)(
                  ov, 1, 2, 3, lf, 10, 10, &time),
              S_OK);
    EXPECT_EQ(kindOf(time), 0x10);
    char path[] = "/tmp/processer_bmp_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    std::vector<BYTE> bmp(54 + 8, 0);
    bmp[0] = 'B';
    bmp[1] = 'M';
    bmp[2] = BYTE(bmp.size());
    bmp[10] = 54;
    bmp[14] = 40;
    bmp[18] = 2;
    bmp[22] = 1;
    bmp[26] = 1;
    bmp[28] = 24;
    ASSERT_EQ(write(fd, bmp.data(), bmp.size()), ssize_t(bmp.size()));
    LONG bitmap = 1;
    EXPECT_EQ(Slot<HRESULT (*)(void*, HANDLE, LONG, LONG, DWORD, LONG*)>(ov, 7)(
                  ov, TvHandleFromFd(fd), 0, 0, 0x00FFFFFF, &bitmap),
              S_OK);
    close(fd); // the item keeps a handle of its own
    unlink(path);
    EXPECT_EQ(kindOf(bitmap), 0x40);
    LONG rect = 1, circle = 1, ellipse = 1, poly = 1;
    EXPECT_EQ(Slot<HRESULT (*)(void*, BYTE, BYTE, BYTE, LONG, LONG, LONG, LONG, LONG*)>(ov, 8)(
                  ov, 1, 2, 3, 0, 0, 10, 10, &rect),
              S_OK);
    EXPECT_EQ(kindOf(rect), 0x30);
    EXPECT_EQ(Slot<HRESULT (*)(void*, BYTE, BYTE, BYTE, LONG, LONG, LONG, LONG*)>(ov, 9)(
                  ov, 1, 2, 3, 50, 50, 5, &circle),
              S_OK);
    EXPECT_EQ(kindOf(circle), 0x20);
    EXPECT_EQ(Slot<HRESULT (*)(void*, BYTE, BYTE, BYTE, LONG, LONG, LONG, LONG, LONG*)>(ov, 10)(
                  ov, 1, 2, 3, 0, 0, 8, 8, &ellipse),
              S_OK);
    EXPECT_EQ(kindOf(ellipse), 0x20);
    EXPECT_EQ(Slot<HRESULT (*)(void*, BYTE, BYTE, BYTE, const POINT*, LONG, LONG*)>(ov, 11)(
                  ov, 1, 2, 3, pts, 3, &poly),
              S_OK);
    EXPECT_EQ(kindOf(poly), 0x30);
    std::vector<LONG> simple = {text, time, bitmap, rect, circle, ellipse, poly};
    for (size_t i = 0; i < simple.size(); ++i) {
        EXPECT_GE(simple[i], 1001) << i;
        for (size_t j = 0; j < i; ++j)
            EXPECT_NE(simple[i], simple[j]);
    }

    // Slots 20 to 24: the Ex adds keep their ID (here one shared by all five).
    LONG ex = 7;
    const BYTE extra[2] = {5, 6};
    EXPECT_EQ(Slot<HRESULT (*)(void*, LONG*, LONGLONG, LONGLONG, DWORD, BYTE, BYTE, BYTE, LONG,
                               LONG, const LOGFONTA*, LONG, const char*, LONG, const BYTE*)>(
                  ov, 20)(ov, &ex, 0, 0, 0, 1, 2, 3, 0, 0, &lf, 2, "hi", 2, extra),
              S_OK);
    EXPECT_EQ(Slot<HRESULT (*)(void*, LONG*, LONGLONG, LONGLONG, DWORD, BYTE, BYTE, BYTE, LONG,
                               LONG, const LOGFONTA*, LONG, const BYTE*)>(ov, 21)(
                  ov, &ex, 0, 0, 0, 1, 2, 3, 0, 0, &lf, 0, nullptr),
              S_OK);
    EXPECT_EQ(Slot<HRESULT (*)(void*, LONG*, LONGLONG, LONGLONG, DWORD, BYTE, BYTE, BYTE, LONG,
                               LONG, LONG, LONG, LONG, const BYTE*)>(ov, 22)(
                  ov, &ex, 0, 0, 0, 1, 2, 3, 0, 0, 4, 4, 0, nullptr),
              S_OK);
    EXPECT_EQ(Slot<HRESULT (*)(void*, LONG*, LONGLONG, LONGLONG, DWORD, BYTE, BYTE, BYTE, LONG,
                               const POINT*, LONG, const BYTE*)>(ov, 23)(ov, &ex, 0, 0, 0, 1, 2, 3,
                                                                         3, pts, 0, nullptr),
              S_OK);
    EXPECT_EQ(Slot<HRESULT (*)(void*, LONG*, LONGLONG, LONGLONG, DWORD, BYTE, BYTE, BYTE, LONG,
                               LONG, HANDLE, LONG, const BYTE*)>(ov, 24)(
                  ov, &ex, 0, 0, 0, 1, 2, 3, 0, 0, INVALID_HANDLE_VALUE, 0, nullptr),
              E_FAIL); // no file behind the handle
    EXPECT_EQ(ex, 7);
    EXPECT_EQ(countOf(7), 4);

    // Slots 12 to 14: show time, time range, flicker (their effects are
    // checked through the records they change).
    using GetItems = HRESULT (*)(void*, BYTE*, LONG*, LONG*, LONGLONG, LONGLONG);
    EXPECT_EQ(Slot<HRESULT (*)(void*, LONG, LONGLONG, LONG, LONG)>(ov, 12)(ov, rect, 0, 30, 0),
              S_OK);
    EXPECT_EQ(Slot<HRESULT (*)(void*, LONG, LONGLONG, LONGLONG)>(ov, 13)(ov, rect, 900, 700), S_OK);
    EXPECT_EQ(Slot<HRESULT (*)(void*, LONG, DWORD)>(ov, 14)(ov, rect, 0x00640032), S_OK);
    std::vector<BYTE> rec(4096);
    LONG size = LONG(rec.size()), count = 0;
    ASSERT_EQ(Slot<GetByIndex>(ov, 16)(ov, rect, rec.data(), &size, &count), S_OK);
    LONGLONG start = 0, end = 0;
    DWORD flicker = 0;
    std::memcpy(&start, &rec[10], 8);
    std::memcpy(&end, &rec[18], 8);
    std::memcpy(&flicker, &rec[26], 4);
    EXPECT_EQ(start, 700);
    EXPECT_EQ(end, 900);
    EXPECT_EQ(flicker, 0x00640032u);
    // Slot 17: the application items in a window (here all of them).
    std::vector<BYTE> all(1 << 16);
    size = LONG(all.size());
    ASSERT_EQ(Slot<GetItems>(ov, 17)(ov, all.data(), &size, &count, 0, 0), S_OK);
    EXPECT_EQ(count, 7); // the simple adds; the Ex items have ID 7
    all.resize(size_t(size));

    // Slot 19 loads records, slot 18 a file of them.
    LONG loaded = -1;
    EXPECT_EQ(Slot<HRESULT (*)(void*, const BYTE*, LONG, LONG*)>(ov, 19)(ov, all.data(),
                                                                         LONG(all.size()), &loaded),
              S_OK);
    EXPECT_EQ(loaded, 7);
    const fs::path file = m_env.Dir() / "overlays.bin";
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(all.data()), std::streamsize(all.size()));
    EXPECT_EQ(Slot<HRESULT (*)(void*, const char*, LONG*)>(ov, 18)(ov, file.c_str(), &loaded),
              S_OK);
    EXPECT_EQ(loaded, 7);
    EXPECT_EQ(countOf(rect), 3);

    // Slot 3 removes one ID, slot 4 every application item.
    EXPECT_EQ(Slot<HRESULT (*)(void*, LONG)>(ov, 3)(ov, rect), S_OK);
    EXPECT_EQ(countOf(rect), 0);
    EXPECT_EQ(Slot<HRESULT (*)(void*)>(ov, 4)(ov), S_OK);
    EXPECT_EQ(countOf(text), 0);
    EXPECT_EQ(countOf(7), 4);
    ov->Release();
}

TEST_F(ProcesserFilter, InterfaceCallsAreTracedOnTheProcessorChannel)
{
    IProcesserCut* cut = Query<IProcesserCut>(IID_IProcesserCut);
    IProcesserOverlay* ov = Query<IProcesserOverlay>(IID_IProcesserOverlay);
    LONG id = 0;
    char pointer[32];
    std::snprintf(pointer, sizeof(pointer), "%p", static_cast<void*>(&id));
    auto calls = [&] {
        cut->SetCutMode(640, 480, 3);
        id = 0;
        ov->NewOverlayID(&id);
        ov->RemoveOverlay(1000);
        ov->AddTextOverlayEx(&id, 0, 0, 0, 1, 2, 3, 4, 5, nullptr, 2, "hi", 0, nullptr);
    };
    EXPECT_EQ(
        TvTraceCapture("processor", calls),
        (std::vector<std::string>{
            "processor: SetCutMode(640, 480, 3) -> 0 (0x00000000)",
            "processor: NewOverlayID(" + std::string(pointer) + ") -> 0 (0x00000000): id 1000",
            "processor: RemoveOverlay(1000) -> 0 (0x00000000)",
            "processor: AddTextOverlayEx(1000, 0, 0, 0x00000000, 1/2/3, 4, 5, (null), 2, "
            "\"hi\", 0) -> -2147467259 (0x80004005)"}));
    EXPECT_TRUE(TvTraceCapture("player,nwsource", calls).empty());
    cut->Release();
    ov->Release();
}

TEST_F(ProcesserFilter, SampleGrabberAnswersForTheGrabOnly)
{
    ISampleGrabber* grab = Query<ISampleGrabber>(IID_ISampleGrabber);
    ASSERT_NE(grab, nullptr);
    EXPECT_EQ(grab->SetOneShot(FALSE), S_OK);
    EXPECT_EQ(grab->SetOneShot(TRUE), E_NOTIMPL);
    EXPECT_EQ(grab->SetBufferSamples(FALSE), S_OK);
    EXPECT_EQ(grab->SetBufferSamples(TRUE), E_NOTIMPL);
    AM_MEDIA_TYPE mt{};
    mt.majortype = MEDIATYPE_Video;
    for (const GUID* subtype : {&MEDIASUBTYPE_YUY2, &MEDIASUBTYPE_YUYV}) {
        mt.subtype = *subtype;
        EXPECT_EQ(grab->SetMediaType(&mt), S_OK);
    }
    mt.subtype = MEDIASUBTYPE_RGB24;
    EXPECT_EQ(grab->SetMediaType(&mt), E_NOTIMPL);
    EXPECT_EQ(grab->GetConnectedMediaType(&mt), VFW_E_NOT_CONNECTED);
    IMediaSample* sample = nullptr;
    EXPECT_EQ(grab->GetCurrentSample(&sample), E_NOTIMPL);
    EXPECT_EQ(grab->SetCallback(nullptr, 0), E_NOTIMPL);
    // Nothing streams: the grab gives up after its 2000 ms.
    LONG size = 0;
    const DWORD t0 = GetTickCount();
    EXPECT_EQ(grab->GetCurrentBuffer(&size, nullptr), E_FAIL);
    EXPECT_GE(GetTickCount() - t0, 1900u);
    grab->Release();
}

TEST_F(ProcesserFilter, RegistrySettingsAndLogsAtConstruction)
{
    SetRegistryValue("FrameBufferCount", 13);
    SetRegistryValue("MaxBufferCount", 20); // above 13 - 2: ignored
    SetRegistryValue("MinBufferCount", 1);
    fs::create_directory(m_env.DriveC() / "SoftDecLog");
    // Earlier runs left index 0 of the send log.
    std::ofstream(m_env.DriveC() / "SoftDecLog" / "processer_send_time_0.txt") << "old\n";
    ASSERT_NE(Filter(), nullptr);
    const fs::path send = m_env.DriveC() / "SoftDecLog" / "processer_send_time_1.txt";
    const std::string expected = "EnableTimeControl:1, FrameBufferCount:13, MaxBufferCount:2, "
                                 "MinBufferCount:1\n\n";
    // The delivery thread writes the first line as it starts.
    for (int i = 0; i < 1000 && ReadText(send) != expected; ++i)
        Sleep(5);
    EXPECT_EQ(ReadText(send), expected);
    EXPECT_TRUE(fs::exists(m_env.DriveC() / "SoftDecLog" / "processer_receive_time_0.txt"));
    EXPECT_EQ(ReadText(m_env.DriveC() / "SoftDecLog" / "processer_send_time_0.txt"), "old\n");
}

} // namespace
