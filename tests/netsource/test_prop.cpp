// The "Connect Parameter" page through its dialog model against the real
// network source filter, both created through the build registry.
#include "CNWSourceProp.h"
#include "NWSourceTest.h"
#include "NWTestUtil.h"

#include <filesystem>

using namespace nwtest;

namespace {

class NWSourcePropTest : public NWSourceTest {
protected:
    void SetUp() override
    {
        NWSourceTest::SetUp();
        WrapSource(TvHarness::Setting::TestGraph);
    }
    void TearDown() override
    {
        m_page.Close();
        NWSourceTest::TearDown();
    }
    HRESULT Open() { return m_page.Open(CLSID_NWSourceProp, m_filter); }
    HWND Dlg() const { return m_page.Dialog(); }

    DriveC m_drive; // the default paths land in a fresh folder
    TvPageUnderTest m_page;
};

} // namespace

TEST_F(NWSourcePropTest, ShowsTheFiltersSettings)
{
    ASSERT_EQ(m_source->SetConnectParam(NW_CONNECT_TCP_CLIENT, "10.1.2.3", 4567), S_OK);
    const std::string record = m_drive.Path() + "/cam.tvx";
    ASSERT_EQ(m_source->StartRecord(record.c_str()), S_OK);
    ASSERT_EQ(Open(), S_OK);

    PROPPAGEINFO info{};
    ASSERT_EQ(m_page.Page()->GetPageInfo(&info), S_OK);
    EXPECT_STREQ(info.pszTitle, L"Connect Parameter");
    CoTaskMemFree(info.pszTitle);
    EXPECT_EQ(TvGetDialogTemplate(Dlg())->resourceId, 101);

    const TvControlState type = m_page.Control(IDC_NW_CONNECT_TYPE);
    const std::vector<std::pair<std::string, LPARAM>> items = {
        {"UnKnown", 0}, {"TCP(Server)", 3}, {"TCP(Client)", 4}, {"UDP(Brodcast)", 1}, {"UDP", 2}};
    EXPECT_EQ(type.items, items);
    EXPECT_EQ(type.selection, 2);
    EXPECT_EQ(m_page.Control(IDC_NW_SERVER).address, 0x0A010203u);
    EXPECT_EQ(m_page.Control(IDC_NW_PORT).text, "4567");
    EXPECT_TRUE(m_page.Control(IDC_NW_RECORD).checked);
    EXPECT_EQ(m_page.Control(IDC_NW_RECORD_PATH).text, record);
    EXPECT_FALSE(m_page.Control(IDC_NW_RECORD_PATH).readOnly);
    EXPECT_FALSE(m_page.Control(IDC_NW_LOG).checked);
    EXPECT_TRUE(m_page.Control(IDC_NW_LOG_PATH).readOnly);
    EXPECT_FALSE(m_page.Control(IDC_NW_STATUS).enabled);
    EXPECT_EQ(m_source->StopRecord(), S_OK);
}

TEST_F(NWSourcePropTest, TickingFillsTheDefaultPathAndUntickingLocksTheEdit)
{
    ASSERT_EQ(Open(), S_OK);
    const struct {
        int box, edit;
        const char* defaultPath;
    } cases[] = {
        {IDC_NW_RECORD, IDC_NW_RECORD_PATH, "C:\\TarvoNWSourceRecord.ts"},
        {IDC_NW_LOG, IDC_NW_LOG_PATH, "C:\\TarvoNwSourceLog.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.defaultPath);
        const int notes = m_page.Site().DirtyNotes();
        EXPECT_FALSE(TvDlgUserType(Dlg(), c.edit, "x")); // read-only while unticked
        ASSERT_TRUE(TvDlgUserClick(Dlg(), c.box));
        EXPECT_EQ(m_page.Control(c.edit).text, c.defaultPath);
        EXPECT_FALSE(m_page.Control(c.edit).readOnly);
        EXPECT_GT(m_page.Site().DirtyNotes(), notes);
        EXPECT_EQ(m_page.Page()->IsPageDirty(), S_OK);

        // A path of the user's own survives unticking and ticking again.
        ASSERT_TRUE(TvDlgUserType(Dlg(), c.edit, "/tmp/own"));
        ASSERT_TRUE(TvDlgUserClick(Dlg(), c.box));
        EXPECT_TRUE(m_page.Control(c.edit).readOnly);
        ASSERT_TRUE(TvDlgUserClick(Dlg(), c.box));
        EXPECT_EQ(m_page.Control(c.edit).text, "/tmp/own");
    }
}

TEST_F(NWSourcePropTest, ApplyWritesTypeAddressPortRecordAndLog)
{
    ASSERT_EQ(Open(), S_OK);
    ASSERT_TRUE(TvDlgUserSelect(Dlg(), IDC_NW_CONNECT_TYPE, 4)); // "UDP"
    ASSERT_TRUE(TvDlgUserSetAddress(Dlg(), IDC_NW_SERVER, MAKEIPADDRESS(127, 0, 0, 1)));
    ASSERT_TRUE(TvDlgUserType(Dlg(), IDC_NW_PORT, "0"));
    ASSERT_TRUE(TvDlgUserClick(Dlg(), IDC_NW_RECORD)); // the default path, on drive C
    ASSERT_TRUE(TvDlgUserClick(Dlg(), IDC_NW_LOG));
    const std::string log = m_drive.Path() + "/ring.txt";
    ASSERT_TRUE(TvDlgUserType(Dlg(), IDC_NW_LOG_PATH, log.c_str()));
    ASSERT_EQ(m_page.Page()->Apply(), S_OK);
    EXPECT_EQ(m_page.Page()->IsPageDirty(), S_FALSE);

    NWConnectType type = -1;
    char address[NWSOURCE_ADDRESS_SIZE] = {};
    USHORT port = 1;
    ASSERT_EQ(m_source->GetConnectParam(&type, address, &port), S_OK);
    EXPECT_EQ(type, NW_CONNECT_UDP);
    EXPECT_STREQ(address, "127.0.0.1");
    EXPECT_EQ(port, 0);
    char path[NWSOURCE_PATH_SIZE] = {};
    ASSERT_EQ(m_source->GetRecordPath(path), S_OK);
    EXPECT_STREQ(path, "C:\\TarvoNWSourceRecord.ts");
    EXPECT_TRUE(std::filesystem::exists(m_drive.Path() + "/TarvoNWSourceRecord.ts"));
    ASSERT_EQ(m_source->GetLogPath(path), S_OK);
    EXPECT_EQ(std::string(path), log);

    // Unticking both and applying stops recording and closes the log.
    ASSERT_TRUE(TvDlgUserClick(Dlg(), IDC_NW_RECORD));
    ASSERT_TRUE(TvDlgUserClick(Dlg(), IDC_NW_LOG));
    ASSERT_EQ(m_page.Page()->Apply(), S_OK);
    ASSERT_EQ(m_source->GetRecordPath(path), S_OK);
    EXPECT_STREQ(path, "");
    ASSERT_EQ(m_source->GetLogPath(path), S_OK);
    EXPECT_STREQ(path, "");
}

TEST_F(NWSourcePropTest, ApplyWithUnknownStillClosesNormally)
{
    ASSERT_EQ(Open(), S_OK);
    ASSERT_TRUE(TvDlgUserSelect(Dlg(), IDC_NW_CONNECT_TYPE, 0)); // "UnKnown"
    // The filter refuses the type; the page shows no error and applies.
    EXPECT_EQ(m_page.Page()->Apply(), S_OK);
    EXPECT_EQ(m_page.Page()->IsPageDirty(), S_FALSE);
    m_page.Close(); // deactivates and disconnects without a failure
}

TEST_F(NWSourcePropTest, ConnectNeedsTheNetworkSourceInterface)
{
    IPropertyPage* page = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_NWSourceProp, nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage,
                               reinterpret_cast<void**>(&page)),
              S_OK);
    IUnknown* none = nullptr;
    EXPECT_EQ(page->SetObjects(1, &none), E_POINTER);
    CTestPageSite site;
    IUnknown* notASource = &site;
    EXPECT_EQ(page->SetObjects(1, &notASource), E_NOINTERFACE);
    EXPECT_EQ(page->Apply(), E_UNEXPECTED);
    page->Release();
}
