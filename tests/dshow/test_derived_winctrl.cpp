// CBaseControlWindow and CBaseControlVideo through a renderer of the test's
// own that supplies only what the bases ask for: a default rectangle twice the
// picture's size, a window that records what it is shown, and a four-byte
// current image.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "TestKit.h"

namespace {

constexpr LONG kSwShowNormal = 1;
constexpr LONG kSwMinimize = 6;

class CBoxRenderer final : public CBaseRenderer,
                           public CBaseControlWindow,
                           public CBaseControlVideo {
public:
    static CBoxRenderer* Create()
    {
        HRESULT hr = S_OK;
        auto* renderer = new CBoxRenderer(&hr);
        EXPECT_EQ(hr, S_OK);
        renderer->NonDelegatingAddRef();
        return renderer;
    }

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override
    {
        CheckPointer(ppv, E_POINTER);
        if (riid == IID_IVideoWindow)
            return GetInterface(static_cast<IVideoWindow*>(this), ppv);
        if (riid == IID_IBasicVideo)
            return GetInterface(static_cast<IBasicVideo*>(this), ppv);
        return CBaseRenderer::NonDelegatingQueryInterface(riid, ppv);
    }

    HRESULT CheckMediaType(const CMediaType* pmt) override
    {
        return *pmt->Type() == MEDIATYPE_Video && *pmt->FormatType() == FORMAT_VideoInfo ? S_OK
                                                                                         : E_FAIL;
    }
    HRESULT SetMediaType(const CMediaType* pmt) override
    {
        VIDEOINFOHEADER vih;
        std::memcpy(&vih, pmt->Format(), sizeof(vih));
        SetVideoFormat(vih);
        return S_OK;
    }
    HRESULT CompleteConnect(IPin*) override
    {
        CompleteWindowConnect();
        return S_OK;
    }
    HRESULT BreakConnect() override
    {
        SetVideoFormat(VIDEOINFOHEADER{});
        return S_OK;
    }
    HRESULT DoRenderSample(IMediaSample*) override { return S_OK; }

    // What reached the renderer's side, in order: "settings" (with the
    // repaint flag), "owner N", "caption TEXT".
    std::vector<std::string> Calls()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_calls;
    }
    VideoWindowSettings LastShown()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_lastShown;
    }
    void ClearCalls()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_calls.clear();
    }

protected:
    RECT GetDefaultRect() override
    {
        const BITMAPINFOHEADER bih = GetVideoFormat().bmiHeader;
        return RECT{0, 0, 2 * bih.biWidth, 2 * std::abs(bih.biHeight)};
    }
    void OnWindowSettings(const VideoWindowSettings& settings, bool repaint) override
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_calls.push_back(repaint ? "settings repaint" : "settings");
        m_lastShown = settings;
    }
    void OnOwnerChanged(OAHWND owner) override
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_calls.push_back("owner " + std::to_string(owner));
    }
    void OnCaptionChanged(const std::string& caption) override
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_calls.push_back("caption " + caption);
    }
    HRESULT GetStaticImage(LONG* pBufferSize, LONG* pDIBImage) override
    {
        static const BYTE kImage[4] = {1, 2, 3, 4};
        if (!pDIBImage) {
            *pBufferSize = sizeof(kImage);
            return S_OK;
        }
        if (*pBufferSize < LONG(sizeof(kImage)))
            return E_OUTOFMEMORY;
        std::memcpy(pDIBImage, kImage, sizeof(kImage));
        return S_OK;
    }

private:
    explicit CBoxRenderer(HRESULT* phr)
        : CBaseRenderer(GUID_NULL, "Box renderer", nullptr, phr), CBaseControlWindow(this),
          CBaseControlVideo(this)
    {
    }

    std::mutex m_lock;
    std::vector<std::string> m_calls;
    VideoWindowSettings m_lastShown;
};

class ControlWindowTest : public TvLeakCheck {
protected:
    void SetUp() override
    {
        TvLeakCheck::SetUp();
        m_renderer = CBoxRenderer::Create();
        ASSERT_EQ(m_renderer->QueryInterface(IID_IVideoWindow, reinterpret_cast<void**>(&m_window)),
                  S_OK);
        ASSERT_EQ(m_renderer->QueryInterface(IID_IBasicVideo, reinterpret_cast<void**>(&m_video)),
                  S_OK);
    }
    void TearDown() override
    {
        if (m_source) {
            m_source->Output()->Disconnect();
            m_renderer->GetPin(0)->Disconnect();
            m_source->Release();
        }
        m_window->Release();
        m_video->Release();
        m_renderer->Release();
        TvLeakCheck::TearDown();
    }

    // 32 x 16 RGB32 at 25 frames a second.
    void Connect()
    {
        CMediaType type = TvMakeVideoType(MEDIASUBTYPE_RGB32, 32, 16, 32, BI_RGB);
        m_source = CTestPushSource::Create({type});
        ASSERT_EQ(m_source->Output()->Connect(m_renderer->GetPin(0), &type), S_OK);
    }

    CBoxRenderer* m_renderer = nullptr;
    IVideoWindow* m_window = nullptr;
    IBasicVideo* m_video = nullptr;
    CTestPushSource* m_source = nullptr;
};

} // namespace

TEST_F(ControlWindowTest, OneObjectWithADispatchWithoutTypeInformation)
{
    IUnknown* fromWindow = nullptr;
    IUnknown* fromVideo = nullptr;
    ASSERT_EQ(m_window->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromWindow)), S_OK);
    ASSERT_EQ(m_video->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromVideo)), S_OK);
    EXPECT_EQ(fromWindow, fromVideo);
    EXPECT_EQ(RefCount(m_window), 5u) << "the test's three references and the two just taken";
    fromWindow->Release();
    fromVideo->Release();
    EXPECT_EQ(RefCount(m_video), 3u);

    // The dispatch part is CDispatchStub's, whose answers the position
    // pass-through's test checks in full: no type information here either.
    for (IDispatch* dispatch :
         {static_cast<IDispatch*>(m_window), static_cast<IDispatch*>(m_video)}) {
        UINT count = 7;
        EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
        EXPECT_EQ(count, 0u);
        EXPECT_EQ(dispatch->Invoke(1, IID_NULL, 0, 0, nullptr, nullptr, nullptr, nullptr),
                  E_NOTIMPL);
    }
}

TEST_F(ControlWindowTest, EveryCallNeedsAConnectionAndNullPointersComeFirst)
{
    LONG v = 0, l = 0, t = 0, w = 0, h = 0;
    OAHWND hwnd = 0;
    REFTIME time = 0;
    BSTR caption = reinterpret_cast<BSTR>(1);
    IVideoWindow* win = m_window;
    IBasicVideo* vid = m_video;
    struct Row {
        const char* name;
        std::function<HRESULT()> call;
        HRESULT expected;
    };
    const Row rows[] = {
        {"put_Caption", [&] { return win->put_Caption(const_cast<BSTR>(L"x")); },
         VFW_E_NOT_CONNECTED},
        {"get_Caption", [&] { return win->get_Caption(&caption); }, VFW_E_NOT_CONNECTED},
        {"put_WindowStyle", [&] { return win->put_WindowStyle(0); }, VFW_E_NOT_CONNECTED},
        {"put_WindowStyle refused", [&] { return win->put_WindowStyle(0x08000000); }, E_INVALIDARG},
        {"get_WindowStyle", [&] { return win->get_WindowStyle(&v); }, VFW_E_NOT_CONNECTED},
        {"get_WindowStyle null", [&] { return win->get_WindowStyle(nullptr); }, E_POINTER},
        {"put_Visible", [&] { return win->put_Visible(OATRUE); }, VFW_E_NOT_CONNECTED},
        {"put_Visible refused", [&] { return win->put_Visible(1); }, E_INVALIDARG},
        {"put_Width refused", [&] { return win->put_Width(-1); }, E_INVALIDARG},
        {"put_Owner", [&] { return win->put_Owner(5); }, VFW_E_NOT_CONNECTED},
        {"get_Owner", [&] { return win->get_Owner(&hwnd); }, VFW_E_NOT_CONNECTED},
        {"SetWindowForeground", [&] { return win->SetWindowForeground(OATRUE); },
         VFW_E_NOT_CONNECTED},
        {"NotifyOwnerMessage", [&] { return win->NotifyOwnerMessage(0, 0, 0, 0); },
         VFW_E_NOT_CONNECTED},
        {"SetWindowPosition", [&] { return win->SetWindowPosition(0, 0, 1, 1); },
         VFW_E_NOT_CONNECTED},
        {"GetWindowPosition", [&] { return win->GetWindowPosition(&l, &t, &w, &h); },
         VFW_E_NOT_CONNECTED},
        {"GetRestorePosition null", [&] { return win->GetRestorePosition(&l, &t, &w, nullptr); },
         E_POINTER},
        {"GetMaxIdealImageSize", [&] { return win->GetMaxIdealImageSize(&w, &h); },
         VFW_E_NOT_CONNECTED},
        {"get_AvgTimePerFrame", [&] { return vid->get_AvgTimePerFrame(&time); },
         VFW_E_NOT_CONNECTED},
        {"get_VideoWidth null", [&] { return vid->get_VideoWidth(nullptr); }, E_POINTER},
        {"put_SourceLeft", [&] { return vid->put_SourceLeft(0); }, VFW_E_NOT_CONNECTED},
        {"get_DestinationHeight", [&] { return vid->get_DestinationHeight(&v); },
         VFW_E_NOT_CONNECTED},
        {"SetSourcePosition", [&] { return vid->SetSourcePosition(0, 0, 1, 1); },
         VFW_E_NOT_CONNECTED},
        {"SetDestinationPosition refused", [&] { return vid->SetDestinationPosition(0, 0, 0, 1); },
         E_INVALIDARG},
        {"SetDefaultSourcePosition", [&] { return vid->SetDefaultSourcePosition(); },
         VFW_E_NOT_CONNECTED},
        {"GetVideoSize", [&] { return vid->GetVideoSize(&w, &h); }, VFW_E_NOT_CONNECTED},
        {"GetVideoPaletteEntries", [&] { return vid->GetVideoPaletteEntries(0, 1, &v, &l); },
         VFW_E_NOT_CONNECTED},
        {"GetCurrentImage", [&] { return vid->GetCurrentImage(&v, nullptr); }, VFW_E_NOT_CONNECTED},
        {"GetCurrentImage null", [&] { return vid->GetCurrentImage(nullptr, nullptr); }, E_POINTER},
        {"IsUsingDefaultDestination", [&] { return vid->IsUsingDefaultDestination(); },
         VFW_E_NOT_CONNECTED},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.call(), row.expected) << row.name;
    EXPECT_EQ(caption, nullptr) << "get_Caption clears its out pointer";
    EXPECT_TRUE(m_renderer->Calls().empty()) << "nothing reached the window";
}

TEST_F(ControlWindowTest, ConnectingGivesTheWindowTheRenderersDefaultRect)
{
    Connect();
    EXPECT_EQ(m_renderer->Calls(), std::vector<std::string>{"settings repaint"});
    LONG l = -1, t = -1, w = -1, h = -1;
    ASSERT_EQ(m_window->GetWindowPosition(&l, &t, &w, &h), S_OK);
    EXPECT_EQ((std::vector<LONG>{l, t, w, h}), (std::vector<LONG>{0, 0, 64, 32}));
    ASSERT_EQ(m_video->GetSourcePosition(&l, &t, &w, &h), S_OK);
    EXPECT_EQ((std::vector<LONG>{l, t, w, h}), (std::vector<LONG>{0, 0, 32, 16}));
    ASSERT_EQ(m_video->GetDestinationPosition(&l, &t, &w, &h), S_OK);
    EXPECT_EQ((std::vector<LONG>{l, t, w, h}), (std::vector<LONG>{0, 0, 64, 32}));
    ASSERT_EQ(m_window->GetMinIdealImageSize(&w, &h), S_FALSE);
    EXPECT_EQ((std::vector<LONG>{w, h}), (std::vector<LONG>{32, 16}));
    REFTIME perFrame = 0;
    ASSERT_EQ(m_video->get_AvgTimePerFrame(&perFrame), S_OK);
    EXPECT_DOUBLE_EQ(perFrame, 0.04);

    VideoWindowSettings shown = m_renderer->LastShown();
    EXPECT_EQ(shown.width, 64);
    EXPECT_EQ(shown.height, 32);
    EXPECT_EQ(shown.source.right, 32);
    EXPECT_EQ(shown.format.bmiHeader.biWidth, 32);
    EXPECT_FALSE(shown.visible) << "hidden until AutoShow";

    // Once the application has placed it, a new connection keeps its size.
    ASSERT_EQ(m_window->put_Width(100), S_OK);
    m_source->Output()->Disconnect();
    m_renderer->GetPin(0)->Disconnect();
    m_source->Release();
    CMediaType type = TvMakeVideoType(MEDIASUBTYPE_RGB32, 8, 8, 32, BI_RGB);
    m_source = CTestPushSource::Create({type});
    ASSERT_EQ(m_source->Output()->Connect(m_renderer->GetPin(0), &type), S_OK);
    ASSERT_EQ(m_window->GetWindowPosition(&l, &t, &w, &h), S_OK);
    EXPECT_EQ((std::vector<LONG>{w, h}), (std::vector<LONG>{100, 32}));
    ASSERT_EQ(m_video->GetSourcePosition(&l, &t, &w, &h), S_OK);
    EXPECT_EQ((std::vector<LONG>{w, h}), (std::vector<LONG>{8, 8}));
}

TEST_F(ControlWindowTest, PropertiesRoundTripAndReachTheWindow)
{
    Connect();
    IVideoWindow* win = m_window;
    using Shown = std::function<LONG(const VideoWindowSettings&)>;
    struct Row {
        const char* name;
        std::function<HRESULT()> put;
        HRESULT putResult;
        std::function<HRESULT(LONG*)> get;
        LONG expected; // read back (for a refused put: what was there before)
        Shown shown;   // the same as the window got it
    };
    const Row rows[] = {
        {"left", [&] { return win->put_Left(7); }, S_OK, [&](LONG* v) { return win->get_Left(v); },
         7, [](const VideoWindowSettings& s) { return s.left; }},
        {"top", [&] { return win->put_Top(-9); }, S_OK, [&](LONG* v) { return win->get_Top(v); },
         -9, [](const VideoWindowSettings& s) { return s.top; }},
        {"width", [&] { return win->put_Width(50); }, S_OK,
         [&](LONG* v) { return win->get_Width(v); }, 50,
         [](const VideoWindowSettings& s) { return s.width; }},
        {"negative height", [&] { return win->put_Height(-1); }, E_INVALIDARG,
         [&](LONG* v) { return win->get_Height(v); }, 32,
         [](const VideoWindowSettings& s) { return s.height; }},
        {"visible", [&] { return win->put_Visible(OATRUE); }, S_OK,
         [&](LONG* v) { return win->get_Visible(v); }, OATRUE,
         [](const VideoWindowSettings& s) { return s.visible ? OATRUE : OAFALSE; }},
        {"visible shows normal", [&] { return win->put_Visible(OATRUE); }, S_OK,
         [&](LONG* v) { return win->get_WindowState(v); }, kSwShowNormal,
         [](const VideoWindowSettings& s) { return s.windowState; }},
        {"minimised hides", [&] { return win->put_WindowState(kSwMinimize); }, S_OK,
         [&](LONG* v) { return win->get_Visible(v); }, OAFALSE,
         [](const VideoWindowSettings& s) { return s.visible ? OATRUE : OAFALSE; }},
        {"unknown state", [&] { return win->put_WindowState(12); }, E_INVALIDARG,
         [&](LONG* v) { return win->get_WindowState(v); }, kSwMinimize,
         [](const VideoWindowSettings& s) { return s.windowState; }},
        {"style keeps WS_VISIBLE out", [&] { return win->put_WindowStyle(0x50000000); }, S_OK,
         [&](LONG* v) { return win->get_WindowStyle(v); }, 0x40000000,
         [](const VideoWindowSettings& s) { return s.style; }},
        {"style with WS_HSCROLL", [&] { return win->put_WindowStyle(0x00100000); }, E_INVALIDARG,
         [&](LONG* v) { return win->get_WindowStyle(v); }, 0x40000000,
         [](const VideoWindowSettings& s) { return s.style; }},
        {"extended style", [&] { return win->put_WindowStyleEx(0x200); }, S_OK,
         [&](LONG* v) { return win->get_WindowStyleEx(v); }, 0x200,
         [](const VideoWindowSettings& s) { return s.styleEx; }},
        {"auto show", [&] { return win->put_AutoShow(OAFALSE); }, S_OK,
         [&](LONG* v) { return win->get_AutoShow(v); }, OAFALSE,
         [](const VideoWindowSettings& s) { return s.autoShow ? OATRUE : OAFALSE; }},
        {"border", [&] { return win->put_BorderColor(0x123456); }, S_OK,
         [&](LONG* v) { return win->get_BorderColor(v); }, 0x123456,
         [](const VideoWindowSettings& s) { return s.borderColour; }},
        {"full screen", [&] { return win->put_FullScreenMode(OATRUE); }, S_OK,
         [&](LONG* v) { return win->get_FullScreenMode(v); }, OATRUE,
         [](const VideoWindowSettings& s) { return s.fullScreen ? OATRUE : OAFALSE; }},
        {"cursor", [&] { return win->HideCursor(OATRUE); }, S_OK,
         [&](LONG* v) { return win->IsCursorHidden(v); }, OATRUE,
         [](const VideoWindowSettings& s) { return s.cursorHidden ? OATRUE : OAFALSE; }},
        {"palette", [&] { return win->put_BackgroundPalette(2); }, E_INVALIDARG,
         [&](LONG* v) { return win->get_BackgroundPalette(v); }, OAFALSE,
         [](const VideoWindowSettings& s) { return s.backgroundPalette ? OATRUE : OAFALSE; }},
        {"drain", [&] { return win->put_MessageDrain(0x77); }, S_OK,
         [&](LONG* v) {
             OAHWND drain = 0;
             HRESULT hr = win->get_MessageDrain(&drain);
             *v = LONG(drain);
             return hr;
         },
         0x77, [](const VideoWindowSettings& s) { return LONG(s.drain); }},
    };
    for (const Row& row : rows) {
        const size_t callsBefore = m_renderer->Calls().size();
        EXPECT_EQ(row.put(), row.putResult) << row.name;
        LONG value = 0x5a5a;
        EXPECT_EQ(row.get(&value), S_OK) << row.name;
        EXPECT_EQ(value, row.expected) << row.name;
        EXPECT_EQ(row.shown(m_renderer->LastShown()), row.expected) << row.name;
        // An accepted change reaches the window once; a refused one not at all.
        EXPECT_EQ(m_renderer->Calls().size() - callsBefore, SUCCEEDED(row.putResult) ? 1u : 0u)
            << row.name;
    }
}

TEST_F(ControlWindowTest, RectanglesBySideAndWhole)
{
    Connect();
    IBasicVideo* vid = m_video;
    struct Row {
        const char* name;
        std::function<HRESULT()> call;
        HRESULT expected;
        RECT source;      // GetSourcePosition as left, top, width, height
        RECT destination; // likewise
    };
    const Row rows[] = {
        {"source left past the edge",
         [&] { return vid->put_SourceLeft(8); },
         E_INVALIDARG,
         {0, 0, 32, 16},
         {0, 0, 64, 32}},
        {"source width",
         [&] { return vid->put_SourceWidth(16); },
         S_OK,
         {0, 0, 16, 16},
         {0, 0, 64, 32}},
        {"source left",
         [&] { return vid->put_SourceLeft(8); },
         S_OK,
         {8, 0, 16, 16},
         {0, 0, 64, 32}},
        {"source top negative",
         [&] { return vid->put_SourceTop(-1); },
         E_INVALIDARG,
         {8, 0, 16, 16},
         {0, 0, 64, 32}},
        {"source height",
         [&] { return vid->put_SourceHeight(4); },
         S_OK,
         {8, 0, 16, 4},
         {0, 0, 64, 32}},
        {"destination outside the window",
         [&] { return vid->put_DestinationTop(-5); },
         S_OK,
         {8, 0, 16, 4},
         {0, -5, 64, 32}},
        {"destination width 0",
         [&] { return vid->put_DestinationWidth(0); },
         E_INVALIDARG,
         {8, 0, 16, 4},
         {0, -5, 64, 32}},
        {"destination whole",
         [&] { return vid->SetDestinationPosition(1, 2, 3, 4); },
         S_OK,
         {8, 0, 16, 4},
         {1, 2, 3, 4}},
        {"source back to default",
         [&] { return vid->SetDefaultSourcePosition(); },
         S_OK,
         {0, 0, 32, 16},
         {1, 2, 3, 4}},
        {"destination back to default",
         [&] { return vid->SetDefaultDestinationPosition(); },
         S_OK,
         {0, 0, 32, 16},
         {0, 0, 64, 32}},
        {"whole picture is the default",
         [&] { return vid->SetSourcePosition(0, 0, 32, 16); },
         S_OK,
         {0, 0, 32, 16},
         {0, 0, 64, 32}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.call(), row.expected) << row.name;
        LONG s[4], d[4];
        ASSERT_EQ(vid->GetSourcePosition(&s[0], &s[1], &s[2], &s[3]), S_OK);
        ASSERT_EQ(vid->GetDestinationPosition(&d[0], &d[1], &d[2], &d[3]), S_OK);
        EXPECT_EQ((std::vector<LONG>(s, s + 4)),
                  (std::vector<LONG>{row.source.left, row.source.top, row.source.right,
                                     row.source.bottom}))
            << row.name;
        EXPECT_EQ((std::vector<LONG>(d, d + 4)),
                  (std::vector<LONG>{row.destination.left, row.destination.top,
                                     row.destination.right, row.destination.bottom}))
            << row.name;
        LONG edge = -1;
        EXPECT_EQ(vid->get_SourceWidth(&edge), S_OK);
        EXPECT_EQ(edge, s[2]) << row.name;
        EXPECT_EQ(vid->get_DestinationTop(&edge), S_OK);
        EXPECT_EQ(edge, d[1]) << row.name;
        const bool defaultSource = row.source.left == 0 && row.source.top == 0 &&
                                   row.source.right == 32 && row.source.bottom == 16;
        EXPECT_EQ(vid->IsUsingDefaultSource(), defaultSource ? S_OK : S_FALSE) << row.name;
        const VideoWindowSettings shown = m_renderer->LastShown();
        EXPECT_EQ(shown.source.left, s[0]) << row.name;
        EXPECT_EQ(shown.source.right - shown.source.left, s[2]) << row.name;
    }
}

TEST_F(ControlWindowTest, ANewPictureSizeResetsTheSourceRectangle)
{
    Connect();
    ASSERT_EQ(m_video->SetSourcePosition(8, 4, 8, 8), S_OK);

    VIDEOINFOHEADER format = m_renderer->GetVideoFormat();
    format.AvgTimePerFrame = 200000;
    EXPECT_FALSE(m_renderer->SetVideoFormat(format)) << "same size";
    EXPECT_EQ(m_video->IsUsingDefaultSource(), S_FALSE);
    REFTIME perFrame = 0;
    ASSERT_EQ(m_video->get_AvgTimePerFrame(&perFrame), S_OK);
    EXPECT_DOUBLE_EQ(perFrame, 0.02);

    format.bmiHeader.biWidth = 64;
    format.bmiHeader.biHeight = -24; // top-down: the size is the same either way
    EXPECT_TRUE(m_renderer->SetVideoFormat(format));
    EXPECT_EQ(m_video->IsUsingDefaultSource(), S_OK);
    LONG l, t, w, h;
    ASSERT_EQ(m_video->GetSourcePosition(&l, &t, &w, &h), S_OK);
    EXPECT_EQ((std::vector<LONG>{l, t, w, h}), (std::vector<LONG>{0, 0, 64, 24}));
    ASSERT_EQ(m_video->GetVideoSize(&w, &h), S_OK);
    EXPECT_EQ((std::vector<LONG>{w, h}), (std::vector<LONG>{64, 24}));
    format.bmiHeader.biHeight = 24;
    EXPECT_FALSE(m_renderer->SetVideoFormat(format));
}

TEST_F(ControlWindowTest, OwnerCaptionAndAutoShowInOrder)
{
    Connect();
    m_renderer->ClearCalls();
    ASSERT_EQ(m_window->put_Owner(66), S_OK);
    EXPECT_EQ(m_renderer->Calls(), (std::vector<std::string>{"owner 66", "settings repaint"}))
        << "no caption to pass on yet";

    m_renderer->ClearCalls();
    ASSERT_EQ(m_window->put_Caption(const_cast<BSTR>(L"Cam 1")), S_OK);
    ASSERT_EQ(m_window->put_Owner(67), S_OK);
    EXPECT_EQ(m_renderer->Calls(),
              (std::vector<std::string>{"settings repaint", "caption Cam 1", "owner 67",
                                        "settings repaint", "caption Cam 1"}));
    OAHWND owner = 0;
    ASSERT_EQ(m_window->get_Owner(&owner), S_OK);
    EXPECT_EQ(owner, 67);
    EXPECT_EQ(m_renderer->LastShown().caption, "Cam 1");

    // AutoShow shows a hidden window once, and not when it is off.
    m_renderer->ClearCalls();
    m_renderer->AutoShowWindow();
    m_renderer->AutoShowWindow();
    EXPECT_EQ(m_renderer->Calls(), std::vector<std::string>{"settings repaint"});
    LONG v = 0;
    ASSERT_EQ(m_window->get_WindowState(&v), S_OK);
    EXPECT_EQ(v, kSwShowNormal);
    ASSERT_EQ(m_window->put_Visible(OAFALSE), S_OK);
    ASSERT_EQ(m_window->put_AutoShow(OAFALSE), S_OK);
    m_renderer->ClearCalls();
    m_renderer->AutoShowWindow();
    EXPECT_TRUE(m_renderer->Calls().empty());
    ASSERT_EQ(m_window->get_Visible(&v), S_OK);
    EXPECT_EQ(v, OAFALSE);
}

TEST_F(ControlWindowTest, CurrentImageComesFromTheRenderer)
{
    Connect();
    LONG size = 0;
    ASSERT_EQ(m_video->GetCurrentImage(&size, nullptr), S_OK);
    EXPECT_EQ(size, 4);
    LONG image = 0;
    LONG small = 3;
    EXPECT_EQ(m_video->GetCurrentImage(&small, &image), E_OUTOFMEMORY);
    ASSERT_EQ(m_video->GetCurrentImage(&size, &image), S_OK);
    const BYTE expected[4] = {1, 2, 3, 4};
    EXPECT_EQ(std::memcmp(&image, expected, 4), 0);
    LONG retrieved = 9, palette = 0;
    EXPECT_EQ(m_video->GetVideoPaletteEntries(0, 1, &retrieved, &palette),
              VFW_E_NO_PALETTE_AVAILABLE);
    EXPECT_EQ(retrieved, 0);
}
