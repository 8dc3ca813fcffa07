// The "Adjuster" page through its dialog model against the real frame
// processor, both created through the build registry.
#include "CAdjusterProp.h"
#include "TarvoGuids.h"
#include "TestKit.h"
#include "processer_test_env.h"

#include <gtest/gtest.h>

namespace {

class AdjusterProp : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(m_env.SetUp("adjuster"));
        ASSERT_EQ(CoCreateInstance(CLSID_TarvoProcesser, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IBaseFilter, reinterpret_cast<void**>(&m_filter)),
                  S_OK);
        ASSERT_EQ(m_filter->QueryInterface(IID_IProcesserColor, reinterpret_cast<void**>(&m_color)),
                  S_OK);
    }
    void TearDown() override
    {
        m_page.Close();
        if (m_color)
            m_color->Release();
        if (m_filter)
            m_filter->Release();
        m_env.TearDown();
    }
    HWND Dlg() const { return m_page.Dialog(); }
    // Brightness, contrast, saturation and hue as the filter reports them.
    std::array<int, 4> Values() const
    {
        BYTE b = 0, c = 0, s = 0, h = 0;
        m_color->GetBrightness(&b);
        m_color->GetContrast(&c);
        m_color->GetSaturation(&s);
        m_color->GetHue(&h);
        return {b, c, s, h};
    }

    ProcesserTestEnv m_env;
    IBaseFilter* m_filter = nullptr;
    IProcesserColor* m_color = nullptr;
    TvPageUnderTest m_page;
};

} // namespace

TEST_F(AdjusterProp, ShowsTheFiltersValues)
{
    m_color->SetBrightness(100);
    m_color->SetContrast(30);
    m_color->SetSaturation(0);
    m_color->SetHue(128);
    ASSERT_EQ(m_page.Open(CLSID_AdjusterPropertyPage, m_filter), S_OK);
    PROPPAGEINFO info{};
    ASSERT_EQ(m_page.Page()->GetPageInfo(&info), S_OK);
    EXPECT_STREQ(info.pszTitle, L"Adjuster");
    CoTaskMemFree(info.pszTitle);
    EXPECT_EQ(m_page.Control(IDC_ADJ_BRIGHTNESS).text, "100");
    EXPECT_EQ(m_page.Control(IDC_ADJ_CONTRAST).text, "30");
    EXPECT_EQ(m_page.Control(IDC_ADJ_SATURATION).text, "0");
    EXPECT_EQ(m_page.Control(IDC_ADJ_HUE).text, "128");
    EXPECT_EQ(m_page.Control(IDC_ADJ_APPLY).text, "Apply");
    EXPECT_EQ(m_page.Control(IDC_ADJ_DEFAULT).text, "Default");
}

TEST_F(AdjusterProp, ApplyClampsEachTypedValue)
{
    ASSERT_EQ(m_page.Open(CLSID_AdjusterPropertyPage, m_filter), S_OK);
    const struct {
        const char* typed;
        int expected;
    } cases[] = {{"200", 128}, {"-5", 0}, {"77", 77}, {"128", 128}, {"0", 0}, {"x", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        for (int edit : {IDC_ADJ_BRIGHTNESS, IDC_ADJ_CONTRAST, IDC_ADJ_SATURATION, IDC_ADJ_HUE})
            ASSERT_TRUE(TvDlgUserType(Dlg(), edit, c.typed));
        ASSERT_TRUE(TvDlgUserClick(Dlg(), IDC_ADJ_APPLY));
        EXPECT_EQ(Values(), (std::array<int, 4>{c.expected, c.expected, c.expected, c.expected}));
    }
    // An empty edit leaves its setting alone.
    ASSERT_TRUE(TvDlgUserType(Dlg(), IDC_ADJ_HUE, ""));
    ASSERT_TRUE(TvDlgUserType(Dlg(), IDC_ADJ_BRIGHTNESS, "90"));
    ASSERT_TRUE(TvDlgUserClick(Dlg(), IDC_ADJ_APPLY));
    EXPECT_EQ(Values(), (std::array<int, 4>{90, 0, 0, 0}));
}

TEST_F(AdjusterProp, DefaultSetsAllFourTo64)
{
    m_color->SetBrightness(10);
    m_color->SetContrast(20);
    m_color->SetSaturation(30);
    m_color->SetHue(40);
    ASSERT_EQ(m_page.Open(CLSID_AdjusterPropertyPage, m_filter), S_OK);
    ASSERT_TRUE(TvDlgUserClick(Dlg(), IDC_ADJ_DEFAULT));
    EXPECT_EQ(Values(), (std::array<int, 4>{64, 64, 64, 64}));
    for (int edit : {IDC_ADJ_BRIGHTNESS, IDC_ADJ_CONTRAST, IDC_ADJ_SATURATION, IDC_ADJ_HUE})
        EXPECT_EQ(m_page.Control(edit).text, "64") << edit;
}

TEST_F(AdjusterProp, LeavingThePageKeepsTheAppliedValues)
{
    ASSERT_EQ(m_page.Open(CLSID_AdjusterPropertyPage, m_filter), S_OK);
    ASSERT_TRUE(TvDlgUserType(Dlg(), IDC_ADJ_BRIGHTNESS, "100"));
    ASSERT_TRUE(TvDlgUserClick(Dlg(), IDC_ADJ_APPLY));
    // Typed but not applied, and changed behind the page's back.
    ASSERT_TRUE(TvDlgUserType(Dlg(), IDC_ADJ_CONTRAST, "5"));
    m_color->SetSaturation(3);
    m_page.Close();
    EXPECT_EQ(Values(), (std::array<int, 4>{100, 64, 64, 64}));

    // Opened again, the page shows what was applied.
    ASSERT_EQ(m_page.Open(CLSID_AdjusterPropertyPage, m_filter), S_OK);
    EXPECT_EQ(m_page.Control(IDC_ADJ_BRIGHTNESS).text, "100");
}

TEST_F(AdjusterProp, ConnectNeedsTheColourInterface)
{
    IPropertyPage* page = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_AdjusterPropertyPage, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IPropertyPage, reinterpret_cast<void**>(&page)),
              S_OK);
    CTestPageSite site;
    IUnknown* other = &site;
    EXPECT_EQ(page->SetObjects(1, &other), E_NOINTERFACE);
    IUnknown* none = nullptr;
    EXPECT_EQ(page->SetObjects(1, &none), E_POINTER);
    page->Release();
}

// Typing marks the page changed, so the frame's Apply (and OK) writes what
// was typed; the page's own buttons leave nothing for the frame to write.
TEST_F(AdjusterProp, TypingMarksThePageChanged)
{
    ASSERT_EQ(m_page.Open(CLSID_AdjusterPropertyPage, m_filter), S_OK);
    IPropertyPage* page = m_page.Page();
    // Filling the edits on activation is not a change.
    EXPECT_EQ(page->IsPageDirty(), S_FALSE);
    EXPECT_EQ(m_page.Site().DirtyNotes(), 0);

    ASSERT_TRUE(TvDlgUserType(Dlg(), IDC_ADJ_SATURATION, "20"));
    ASSERT_TRUE(TvDlgUserType(Dlg(), IDC_ADJ_HUE, "300"));
    EXPECT_EQ(page->IsPageDirty(), S_OK);
    EXPECT_GT(m_page.Site().DirtyNotes(), 0);
    EXPECT_EQ(page->Apply(), S_OK);
    EXPECT_EQ(page->IsPageDirty(), S_FALSE);
    EXPECT_EQ(Values(), (std::array<int, 4>{64, 64, 20, 128}));

    const struct {
        int button;
        std::array<int, 4> expected;
    } buttons[] = {{IDC_ADJ_APPLY, {64, 64, 30, 128}}, {IDC_ADJ_DEFAULT, {64, 64, 64, 64}}};
    for (const auto& b : buttons) {
        SCOPED_TRACE(b.button);
        ASSERT_TRUE(TvDlgUserType(Dlg(), IDC_ADJ_SATURATION, "30"));
        EXPECT_EQ(page->IsPageDirty(), S_OK);
        ASSERT_TRUE(TvDlgUserClick(Dlg(), b.button));
        EXPECT_EQ(page->IsPageDirty(), S_FALSE);
        EXPECT_EQ(Values(), b.expected);
    }
    // Closed after Apply, the typed values stay.
    ASSERT_TRUE(TvDlgUserType(Dlg(), IDC_ADJ_CONTRAST, "100"));
    EXPECT_EQ(page->Apply(), S_OK);
    m_page.Close();
    EXPECT_EQ(Values(), (std::array<int, 4>{64, 100, 64, 64}));
}
