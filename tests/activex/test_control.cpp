// The player control's COM object: creation by ProgID, the dispatch table
// (counts, types, names), the methods without a player, the events, the
// simulator's records played through OpenLocalFile and the capture scaling.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <future>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "CTarvoPlayerOCXCtrl.h"
#include "ControlWindowKit.h"
#include "OcxDispatch.h"
#include "OcxPlayers.h"
#include "TarvoPlayErrors.h"
#include "TarvoPlayLib.h"
#include "objbase.h"
#include "oleauto.h"
#include "win32/picture.h"

namespace {

struct Var : VARIANT {
    Var() { VariantInit(this); }
    ~Var() { VariantClear(this); }
};

// COM for the test's thread, and one control made through its class.
class ControlTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        HRESULT hr = S_OK;
        m_unknown = CTarvoPlayerOCXCtrl::CreateInstance(nullptr, &hr);
        ASSERT_NE(m_unknown, nullptr);
        m_unknown->NonDelegatingAddRef();
        ASSERT_EQ(m_unknown->NonDelegatingQueryInterface(IID_IDispatch,
                                                         reinterpret_cast<void**>(&m_dispatch)),
                  S_OK);
        m_control = static_cast<CTarvoPlayerOCXCtrl*>(m_dispatch);
    }
    void TearDown() override
    {
        if (m_dispatch)
            m_dispatch->Release();
        if (m_unknown)
            m_unknown->NonDelegatingRelease();
        CoUninitialize();
    }

    // Invokes a method with arguments in their written order.
    HRESULT Call(DISPID id, std::vector<VARIANT> args, LONG* result, UINT* argErr = nullptr)
    {
        std::vector<VARIANT> reversed(args.rbegin(), args.rend());
        DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr,
                             static_cast<UINT>(reversed.size()), 0};
        Var out;
        UINT err = 0xFFFF;
        const HRESULT hr =
            m_dispatch->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, &out, nullptr, &err);
        if (argErr)
            *argErr = err;
        if (result)
            *result = out.vt == VT_I4 ? out.lVal : 0x7BADBAD;
        for (VARIANT& v : reversed)
            VariantClear(&v);
        return hr;
    }

    CUnknown* m_unknown = nullptr;
    IDispatch* m_dispatch = nullptr;
    CTarvoPlayerOCXCtrl* m_control = nullptr;
};

VARIANT I4(LONG value)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}

VARIANT Text(const wchar_t* text)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(text);
    return v;
}

VARIANT OutLong(LONG* target)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BYREF | VT_I4;
    v.plVal = target;
    return v;
}

// A well-formed argument of each kind (addresses point at scratch memory).
VARIANT ValidArg(OcxArg kind, LONG* scratch)
{
    switch (kind) {
    case OcxArg::Text:
    case OcxArg::TextOut:
        return Text(L"x");
    case OcxArg::OutLong:
    case OcxArg::RefLong:
        return OutLong(scratch);
    case OcxArg::Bool: {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_BOOL;
        v.boolVal = VARIANT_FALSE;
        return v;
    }
    case OcxArg::AddressOut: {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_I8;
        v.llVal = reinterpret_cast<intptr_t>(scratch);
        return v;
    }
    default:
        return I4(0);
    }
}

TEST(ControlModule, IsCreatedByItsProgIdWithItsInterfaces)
{
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    CLSID clsid = GUID_NULL;
    ASSERT_EQ(CLSIDFromProgID(L"TARVOPLAYEROCX.TarvoPlayerOCXCtrl.1", &clsid), S_OK);
    EXPECT_TRUE(clsid == CLSID_TarvoPlayerOCX);
    LPOLESTR progId = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(CLSID_TarvoPlayerOCXPropPage, &progId), S_OK);
    EXPECT_EQ(std::wstring(progId), L"TARVOPLAYEROCX.TarvoPlayerOCXPropPage.1");
    CoTaskMemFree(progId);

    IDispatch* dispatch = nullptr;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                               reinterpret_cast<void**>(&dispatch)),
              S_OK);
    for (const IID* iid :
         {&IID_IConnectionPointContainer, &IID_ITvQtControl, &DIID__DTarvoPlayerOCX}) {
        IUnknown* other = nullptr;
        EXPECT_EQ(dispatch->QueryInterface(*iid, reinterpret_cast<void**>(&other)), S_OK);
        if (other)
            other->Release();
    }
    // Initialize(1, 6, 2, 0, 0): play mode 2 is refused, and there is no player.
    OLECHAR name[] = L"Initialize";
    LPOLESTR names[] = {name};
    DISPID id = 0;
    ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
    EXPECT_EQ(id, 4);
    VARIANT args[5];
    for (int i = 0; i < 5; ++i)
        args[i] = I4(0);
    args[4].lVal = 1; // lDeviceType (last in DISPPARAMS order)
    args[3].lVal = 6;
    args[2].lVal = 2;
    DISPPARAMS params = {args, nullptr, 5, 0};
    Var result;
    ASSERT_EQ(dispatch->Invoke(4, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(result.lVal, TP_ERR_UNSUPPORTED);
    dispatch->Release();
    CoUninitialize();
}

TEST_F(ControlTest, InitializeRefusesPlayMode2AndLeavesNoPlayer)
{
    LONG r = 0;
    ASSERT_EQ(Call(4, {I4(1), I4(3), I4(0), I4(0), I4(0)}, &r), S_OK);
    EXPECT_EQ(r, 0);
    EXPECT_NE(m_control->Player(), nullptr);
    ASSERT_EQ(Call(4, {I4(1), I4(6), I4(2), I4(0), I4(0)}, &r), S_OK);
    EXPECT_EQ(r, TP_ERR_UNSUPPORTED);
    EXPECT_EQ(m_control->Player(), nullptr);
    ASSERT_EQ(Call(4, {I4(99), I4(3), I4(0), I4(0), I4(0)}, &r), S_OK);
    EXPECT_EQ(r, TP_ERR_UNSUPPORTED);
    EXPECT_EQ(m_control->Player(), nullptr);
}

// Every method of the table: one argument too many and one too few give
// DISP_E_BADPARAMCOUNT, an argument that does not convert gives
// DISP_E_TYPEMISMATCH at its index, and without a player the forwarding
// methods answer 10600 (or -1 with the last error 10600).
TEST_F(ControlTest, EveryDispidChecksCountTypeAndPlayer)
{
    int count = 0;
    const OcxMethod* methods = OcxMethods(&count);
    ASSERT_EQ(count, 63); // the property, 61 methods, AboutBox
    DISPID expected = 1;
    for (int m = 0; m < count; ++m) {
        const OcxMethod& method = methods[m];
        SCOPED_TRACE(testing::Message() << "DISPID " << method.id);
        if (method.id != DISPID_ABOUTBOX) {
            EXPECT_EQ(method.id, expected++);
        }
        if (method.id == 1 || method.id == DISPID_ABOUTBOX)
            continue;
        LONG scratch[4] = {};
        LONG r = 0;
        std::vector<VARIANT> args;
        for (int i = 0; i < method.argCount; ++i)
            args.push_back(ValidArg(method.args[i], scratch));
        std::vector<VARIANT> more = args;
        for (VARIANT& v : more) {
            VARIANT copy;
            VariantInit(&copy);
            VariantCopy(&copy, &v);
            v = copy;
        }
        more.push_back(I4(0));
        EXPECT_EQ(Call(method.id, more, &r), DISP_E_BADPARAMCOUNT);
        if (method.argCount > 0) {
            std::vector<VARIANT> fewer(args.begin(), args.end() - 1);
            for (VARIANT& v : fewer) {
                VARIANT copy;
                VariantInit(&copy);
                VariantCopy(&copy, &v);
                v = copy;
            }
            EXPECT_EQ(Call(method.id, fewer, &r), DISP_E_BADPARAMCOUNT);

            // A null object converts to nothing; the first argument sits last.
            std::vector<VARIANT> wrong = args;
            for (VARIANT& v : wrong) {
                VARIANT copy;
                VariantInit(&copy);
                VariantCopy(&copy, &v);
                v = copy;
            }
            VariantClear(&wrong[0]);
            wrong[0].vt = VT_DISPATCH;
            wrong[0].pdispVal = nullptr;
            UINT argErr = 0;
            EXPECT_EQ(Call(method.id, wrong, &r, &argErr), DISP_E_TYPEMISMATCH);
            EXPECT_EQ(argErr, UINT(method.argCount - 1));
        }
        if (method.noPlayer == OcxNoPlayer::Runs) {
            for (VARIANT& v : args)
                VariantClear(&v);
            continue;
        }
        ASSERT_EQ(Call(method.id, args, &r), S_OK);
        if (method.noPlayer == OcxNoPlayer::Code) {
            EXPECT_EQ(r, TP_ERR_INVALID_HANDLE);
        } else {
            EXPECT_EQ(r, -1);
            LONG last = 0;
            ASSERT_EQ(Call(31, {I4(0)}, &last), S_OK);
            EXPECT_EQ(last, TP_ERR_INVALID_HANDLE);
        }
        EXPECT_EQ(m_control->Player(), nullptr);
    }
}

TEST_F(ControlTest, NamesAreFoundWithoutCaseAndUnknownOnesAreReported)
{
    struct Case {
        const wchar_t* name;
        HRESULT hr;
        DISPID id;
    } cases[] = {
        {L"initialize", S_OK, 4},
        {L"PlayControlCS", S_OK, 46},
        {L"AddOverlaysFromByteCS", S_OK, 62},
        {L"colorBackGround", S_OK, 1},
        {L"AboutBox", S_OK, DISPID_ABOUTBOX},
        {L"Initialise", DISP_E_UNKNOWNNAME, DISPID_UNKNOWN},
        {L"", DISP_E_UNKNOWNNAME, DISPID_UNKNOWN},
    };
    for (const Case& c : cases) {
        std::wstring name(c.name);
        LPOLESTR names[] = {name.data()};
        DISPID id = 12345;
        EXPECT_EQ(m_dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id), c.hr);
        EXPECT_EQ(id, c.id);
    }
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    EXPECT_EQ(
        m_dispatch->Invoke(777, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
        DISP_E_MEMBERNOTFOUND);
}

// The rate comes back through a by-reference variant as the double it is
// (VT_R8); the caller's long in that variant is only a placeholder.
TEST_F(ControlTest, RateReadComesBackAsADouble)
{
    LONG r = -1;
    ASSERT_EQ(Call(4, {I4(1), I4(3), I4(0), I4(0), I4(0)}, &r), S_OK);
    ASSERT_EQ(r, 0);
    Var out;
    out.vt = VT_I4;
    out.lVal = -1;
    VARIANT ref;
    VariantInit(&ref);
    ref.vt = VT_BYREF | VT_VARIANT;
    ref.pvarVal = &out;
    ASSERT_EQ(Call(10, {I4(TP_PLAY_GET_RATE), I4(0), ref, I4(0)}, &r), S_OK);
    ASSERT_EQ(r, 0);
    EXPECT_EQ(out.vt, VT_R8);
    EXPECT_EQ(out.dblVal, 1.0);
}

TEST_F(ControlTest, BackColourIsAPropertyAndMissingArgumentsAreNotOptional)
{
    Var color;
    color.vt = VT_I4;
    color.lVal = 0x00FF00;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS put = {&color, &named, 1, 1};
    ASSERT_EQ(
        m_dispatch->Invoke(1, IID_NULL, 0, DISPATCH_PROPERTYPUT, &put, nullptr, nullptr, nullptr),
        S_OK);
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    Var got;
    ASSERT_EQ(
        m_dispatch->Invoke(1, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &got, nullptr, nullptr),
        S_OK);
    EXPECT_EQ(got.lVal, 0x00FF00);
    EXPECT_EQ(m_control->BackColor(), 0x00FF00u);

    VARIANT missing;
    VariantInit(&missing);
    missing.vt = VT_ERROR;
    missing.scode = DISP_E_PARAMNOTFOUND;
    LONG r = 0;
    UINT argErr = 0;
    EXPECT_EQ(Call(31, {missing}, &r, &argErr), DISP_E_PARAMNOTOPTIONAL);
    EXPECT_EQ(argErr, 0u);
    // An address below the first page is a number, not memory.
    VARIANT low = I4(16);
    EXPECT_EQ(Call(33, {low, I4(4)}, &r), E_POINTER);
}

TEST_F(ControlTest, StartRecordNeedsAFolderAndANameAndMakesTheFolder)
{
    char folder[] = "/tmp/tvocx-record-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string sub = std::string(folder) + "/new";
    const std::wstring wsub(sub.begin(), sub.end());
    LONG r = 0;
    ASSERT_EQ(Call(20, {Text(wsub.c_str()), Text(L"clip.avi"), I4(0)}, &r), S_OK);
    EXPECT_EQ(r, TP_ERR_INVALID_HANDLE); // no player yet
    ASSERT_EQ(Call(4, {I4(1), I4(3), I4(0), I4(0), I4(0)}, &r), S_OK);
    ASSERT_EQ(r, 0);
    ASSERT_EQ(Call(20, {Text(L""), Text(L"clip.avi"), I4(0)}, &r), S_OK);
    EXPECT_EQ(r, E_POINTER);
    ASSERT_EQ(Call(20, {Text(wsub.c_str()), Text(L""), I4(0)}, &r), S_OK);
    EXPECT_EQ(r, E_POINTER);
    ASSERT_EQ(Call(20, {Text(wsub.c_str()), Text(L"clip.avi"), I4(0)}, &r), S_OK);
    EXPECT_EQ(r, 0);
    EXPECT_TRUE(std::filesystem::is_directory(sub));
    ASSERT_EQ(Call(21, {I4(0)}, &r), S_OK);
    EXPECT_EQ(r, 0);
    std::filesystem::remove_all(folder);
}

// A sink that counts its calls and keeps their arguments.
class Sink : public CFunctionSink {
public:
    std::vector<std::vector<LONG>> calls;
    std::vector<DISPID> ids;
    IControlHost* fireOnRelease = nullptr;

    Sink()
    {
        onEvent = [this](DISPID id, const std::vector<LONG>& args) {
            ids.push_back(id);
            calls.push_back(args);
        };
    }
    ULONG Release() override
    {
        if (fireOnRelease)
            fireOnRelease->FireFirstSampleDelivered(1, 0);
        return CFunctionSink::Release();
    }
};

TEST_F(ControlTest, EventsReachEveryAdvisedSinkInOrderOfTheirArguments)
{
    IConnectionPointContainer* container = nullptr;
    ASSERT_EQ(m_dispatch->QueryInterface(IID_IConnectionPointContainer,
                                         reinterpret_cast<void**>(&container)),
              S_OK);
    IConnectionPoint* point = nullptr;
    EXPECT_EQ(container->FindConnectionPoint(IID_IDispatch, &point), CONNECT_E_NOCONNECTION);
    ASSERT_EQ(container->FindConnectionPoint(DIID__DTarvoPlayerOCXEvents, &point), S_OK);
    Sink a, b;
    DWORD ca = 0, cb = 0;
    ASSERT_EQ(point->Advise(&a, &ca), S_OK);
    ASSERT_EQ(point->Advise(&b, &cb), S_OK);
    EXPECT_NE(ca, cb);
    EXPECT_EQ(a.refs.load(), 2u);

    IControlHost* host = m_control;
    host->FireFirstSampleDelivered(1, 0);
    host->FirePTZEvent(64, 4);
    host->FireWindowProc(0x201, 1, 2);
    ASSERT_EQ(a.calls.size(), 3u);
    EXPECT_EQ(a.ids, (std::vector<DISPID>{6, 1, 4}));
    EXPECT_EQ(a.calls[0], (std::vector<LONG>{1, 0}));
    EXPECT_EQ(a.calls[1], (std::vector<LONG>{64, 4}));
    EXPECT_EQ(a.calls[2], (std::vector<LONG>{0x201, 1, 2}));
    EXPECT_EQ(b.calls, a.calls);

    ASSERT_EQ(point->Unadvise(cb), S_OK);
    EXPECT_EQ(point->Unadvise(cb), CONNECT_E_NOCONNECTION);
    host->FireFileEndEvent(0, 0);
    EXPECT_EQ(a.calls.size(), 4u);
    EXPECT_EQ(b.calls.size(), 3u);
    EXPECT_EQ(b.refs.load(), 1u);

    // Destruction: the sink is let go, and what it fires meanwhile is dropped.
    a.fireOnRelease = host;
    point->Release();
    container->Release();
    m_dispatch->Release();
    m_dispatch = nullptr;
    m_unknown->NonDelegatingRelease();
    m_unknown = nullptr;
    EXPECT_EQ(a.refs.load(), 1u);
    EXPECT_EQ(a.calls.size(), 4u);
}

// Pictures the renderer has drawn into the window so far.
uint64_t PicturesShown(HWND hWnd)
{
    uint64_t shown = 0;
    TvCopyWindowPicture(hWnd, nullptr, 0, nullptr, nullptr, &shown);
    return shown;
}

// Every record kind the simulator writes opens through the control's
// OpenLocalFile (after the two outside players have refused it) and plays
// into the control's window: records of two picture groups, and records
// shorter than one, which hold a single sequence header.
using RecordCase = std::tuple<tvdevsim::SimKind, int>; // kind, pictures

class ControlRecord : public ControlTest, public testing::WithParamInterface<RecordCase> {
protected:
    static void SetUpTestSuite()
    {
        std::random_device random;
        s_dir =
            (std::filesystem::temp_directory_path() / ("tvocx-records-" + std::to_string(random())))
                .string();
        std::filesystem::create_directories(s_dir);
    }
    static void TearDownTestSuite()
    {
        std::error_code ignored;
        std::filesystem::remove_all(s_dir, ignored);
    }
    static inline std::string s_dir;
};

TEST_P(ControlRecord, OpensAndPlaysTheSimulatorsRecord)
{
    const auto [kind, pictures] = GetParam();
    const std::string dir = s_dir + "/" + std::to_string(pictures);
    std::filesystem::create_directories(dir);
    const std::string path = TvWriteKindRecord(dir, kind, pictures);
    ASSERT_FALSE(path.empty());
    const std::wstring wide(path.begin(), path.end());
    LONG r = -1;
    ASSERT_EQ(Call(9, {Text(wide.c_str()), I4(0)}, &r), S_OK);
    ASSERT_EQ(r, 0) << path;
    ASSERT_NE(m_control->Player(), nullptr);
    // Only a guard against a hang: pictures are due within a second.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (PicturesShown(m_control->Window()) < 3 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_GE(PicturesShown(m_control->Window()), 3u) << path;
    LONG duration = -1;
    ASSERT_EQ(Call(10, {I4(TP_PLAY_GET_DURATION), I4(0), OutLong(&duration), I4(0)}, &r), S_OK);
    EXPECT_EQ(r, 0);
    // 25 pictures a second.
    EXPECT_NEAR(duration, pictures * 40, 200);
}

INSTANTIATE_TEST_SUITE_P(Kinds, ControlRecord,
                         testing::Combine(testing::ValuesIn(tvdevsim::kAllKinds),
                                          testing::Values(10, 50)),
                         [](const testing::TestParamInfo<RecordCase>& info) {
                             std::string name = tvdevsim::KindName(std::get<0>(info.param));
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name + "_" + std::to_string(std::get<1>(info.param));
                         });

// Without a Qt application (none in this program) the player's posted
// messages are handled on the platform's dispatcher thread, and the events
// they fire reach the sinks there.
class ControlWithoutQt : public ControlTest {
protected:
    static void SetUpTestSuite()
    {
        std::random_device random;
        s_dir =
            (std::filesystem::temp_directory_path() / ("tvocx-noqt-" + std::to_string(random())))
                .string();
        std::filesystem::create_directories(s_dir);
        s_record = TvWriteControlRecord(s_dir, "end", 30, &s_error);
    }
    static void TearDownTestSuite()
    {
        std::error_code ignored;
        std::filesystem::remove_all(s_dir, ignored);
    }
    void SetUp() override
    {
        ASSERT_EQ(s_error, "");
        ControlTest::SetUp();
    }
    LONG Open()
    {
        const std::wstring wide(s_record.begin(), s_record.end());
        LONG r = -1;
        EXPECT_EQ(Call(9, {Text(wide.c_str()), I4(0)}, &r), S_OK);
        return r;
    }
    // The sink outlives the control, which lets it go in TearDown.
    CFunctionSink m_sink;
    static inline std::string s_dir, s_record, s_error;
};

// While the file's end is handled, a host call waits for it: it would
// otherwise replace the player the handling is using.
TEST_F(ControlWithoutQt, HostCallsWaitWhileTheFileEndIsHandled)
{
    std::promise<void> inEvent, eventOver;
    std::atomic<bool> seen{false}, hostCallDone{false};
    bool doneDuringEvent = true;
    m_sink.onEvent = [&](DISPID id, const std::vector<LONG>&) {
        if (id != DISPID_OCX_FILEENDEVENT || seen.exchange(true))
            return;
        inEvent.set_value();
        // Room for a host call that does not wait to finish: two seconds
        // for a call that takes microseconds.
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (!hostCallDone && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        doneDuringEvent = hostCallDone;
        eventOver.set_value();
    };
    ASSERT_TRUE(TvAdviseSink(m_dispatch, &m_sink));
    ASSERT_EQ(Open(), 0);
    ASSERT_EQ(inEvent.get_future().wait_for(std::chrono::seconds(120)), std::future_status::ready);
    // An unknown device type: the player is deleted, the answer is 10004.
    LONG r = 0;
    ASSERT_EQ(Call(4, {I4(99), I4(3), I4(0), I4(0), I4(0)}, &r), S_OK);
    hostCallDone = true;
    EXPECT_EQ(r, TP_ERR_UNSUPPORTED);
    ASSERT_EQ(eventOver.get_future().wait_for(std::chrono::seconds(120)),
              std::future_status::ready);
    EXPECT_FALSE(doneDuringEvent);
    EXPECT_EQ(m_control->Player(), nullptr);
    // The control goes while what the sink's function uses is still here.
    m_dispatch->Release();
    m_dispatch = nullptr;
    m_unknown->NonDelegatingRelease();
    m_unknown = nullptr;
}

// A sink that lets the control go when the file ends: the handling holds the
// control to its end, then the control goes (and lets the sink go).
TEST_F(ControlWithoutQt, ControlReleasedByItsSinkGoesAfterTheFileEndIsHandled)
{
    std::promise<void> released;
    std::atomic<bool> seen{false};
    IDispatch* dispatch = m_dispatch;
    CUnknown* unknown = m_unknown;
    m_dispatch = nullptr;
    m_unknown = nullptr;
    m_sink.onEvent = [&](DISPID id, const std::vector<LONG>&) {
        if (id != DISPID_OCX_FILEENDEVENT || seen.exchange(true))
            return;
        dispatch->Release();
        unknown->NonDelegatingRelease();
        released.set_value();
    };
    ASSERT_TRUE(TvAdviseSink(dispatch, &m_sink));
    const std::wstring wide(s_record.begin(), s_record.end());
    VARIANT args[2] = {I4(0), Text(wide.c_str())}; // DISPPARAMS order
    DISPPARAMS params = {args, nullptr, 2, 0};
    Var result;
    ASSERT_EQ(dispatch->Invoke(9, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr),
              S_OK);
    VariantClear(&args[1]);
    ASSERT_EQ(result.lVal, 0);
    ASSERT_EQ(released.get_future().wait_for(std::chrono::seconds(120)), std::future_status::ready);
    // Only a guard against a hang: the control goes as the handling ends.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (m_sink.refs > 1 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(m_sink.refs.load(), 1u);
}

TEST(OcxCapture, ScalesYuy2KeepingFlatAreasAndPairChroma)
{
    const int w = 1440, h = 1080, dw = 1600, dh = 1200;
    std::vector<BYTE> src(size_t(w) * h * 2);
    for (size_t i = 0; i < src.size(); i += 4) {
        src[i] = 100;
        src[i + 1] = 50;
        src[i + 2] = 100;
        src[i + 3] = 200;
    }
    // The left half darker: the edge moves with the scale.
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w / 2; ++x)
            src[(size_t(y) * w + x) * 2] = 20;
    std::vector<BYTE> dst(size_t(dw) * dh * 2, 0);
    TvScaleYuy2(src.data(), w, h, dst.data(), dw, dh);
    for (int y : {0, dh / 2, dh - 1}) {
        const BYTE* row = dst.data() + size_t(y) * dw * 2;
        EXPECT_EQ(row[0], 20);
        EXPECT_EQ(row[(dw / 2 - 2) * 2], 20);
        EXPECT_EQ(row[(dw / 2 + 1) * 2], 100);
        EXPECT_EQ(row[(dw - 1) * 2], 100);
        EXPECT_EQ(row[1], 50);
        EXPECT_EQ(row[(dw - 2) * 2 + 3], 200);
    }
}

} // namespace
