// Filter registration data: written through the module hook, read back, and
// removed again, in a registry of the test's own.
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "TestKit.h"

namespace {

// {0B7E5C61-2A4D-4F39-8D1B-6C2E9A1F0D31}
const GUID CLSID_RegTestFilter = {
    0x0b7e5c61, 0x2a4d, 0x4f39, {0x8d, 0x1b, 0x6c, 0x2e, 0x9a, 0x1f, 0x0d, 0x31}};
// {0B7E5C61-2A4D-4F39-8D1B-6C2E9A1F0D32}
const GUID CLSID_RegTestOther = {
    0x0b7e5c61, 0x2a4d, 0x4f39, {0x8d, 0x1b, 0x6c, 0x2e, 0x9a, 0x1f, 0x0d, 0x32}};

const AMOVIESETUP_MEDIATYPE sudInputTypes[] = {
    {&MEDIATYPE_Video, &MEDIASUBTYPE_YUY2},
    {&MEDIATYPE_Video, &MEDIASUBTYPE_YUYV},
};
const AMOVIESETUP_MEDIATYPE sudOutputType = {&MEDIATYPE_Video, &GUID_NULL};
const AMOVIESETUP_PIN sudPins[] = {
    {L"Input", FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, L"Output", 2, sudInputTypes},
    {L"Output", FALSE, TRUE, TRUE, TRUE, &CLSID_VideoRenderer, nullptr, 1, &sudOutputType},
};
const AMOVIESETUP_FILTER sudFilter = {&CLSID_RegTestFilter, L"Tarvo Test Filter \u00e9",
                                      MERIT_DO_NOT_USE, 2, sudPins};
const AMOVIESETUP_FILTER sudOnePin = {&CLSID_RegTestFilter, L"Tarvo Test Filter", MERIT_NORMAL, 1,
                                      sudPins};

class CoreRegister : public ::testing::Test {
protected:
    void SetUp() override
    {
        char folder[] = "/tmp/tvdshow-reg-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        m_folder = folder;
        TvSetRegistryPath((m_folder + "/registry.reg").c_str());
    }
    void TearDown() override
    {
        TvSetRegistryPath(nullptr);
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }
    static bool KeyExists(const std::string& path)
    {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        return true;
    }

    std::string m_folder;
};

TEST_F(CoreRegister, SetupDataRoundTrip)
{
    ASSERT_EQ(AMovieSetupRegisterFilter(&sudFilter, TRUE), S_OK);
    const std::string clsid = TvGuidToString(CLSID_RegTestFilter);
    EXPECT_TRUE(KeyExists("Filter\\" + clsid));
    EXPECT_TRUE(KeyExists("CLSID\\{083863F1-70DE-11D0-BD40-00A0C911CE86}\\Instance\\" + clsid));
    EXPECT_TRUE(KeyExists("CLSID\\" + clsid + "\\Pins\\Input\\Types\\" +
                          TvGuidToString(MEDIATYPE_Video) + "\\" +
                          TvGuidToString(MEDIASUBTYPE_YUYV)));

    TvRegisteredFilter filter;
    ASSERT_EQ(TvQueryRegisteredFilter(CLSID_RegTestFilter, &filter), S_OK);
    EXPECT_EQ(filter.clsid, CLSID_RegTestFilter);
    EXPECT_EQ(filter.name, L"Tarvo Test Filter \u00e9");
    EXPECT_EQ(filter.dwMerit, 0x200000u);
    ASSERT_EQ(filter.pins.size(), 2u);
    const TvRegisteredPin& input = filter.pins[0];
    EXPECT_EQ(input.name, L"Input");
    EXPECT_FALSE(input.bOutput);
    EXPECT_FALSE(input.bZero);
    EXPECT_EQ(input.clsConnectsToFilter, CLSID_NULL);
    EXPECT_EQ(input.strConnectsToPin, L"Output");
    ASSERT_EQ(input.mediaTypes.size(), 2u);
    // Subkeys come back in sorted order: YUY2 {32595559-...} before YUYV {56595559-...}.
    EXPECT_EQ(input.mediaTypes[0], std::make_pair(MEDIATYPE_Video, MEDIASUBTYPE_YUY2));
    EXPECT_EQ(input.mediaTypes[1], std::make_pair(MEDIATYPE_Video, MEDIASUBTYPE_YUYV));
    const TvRegisteredPin& output = filter.pins[1];
    EXPECT_EQ(output.name, L"Output");
    EXPECT_TRUE(output.bOutput);
    EXPECT_TRUE(output.bZero);
    EXPECT_TRUE(output.bMany);
    EXPECT_FALSE(output.bRendered);
    EXPECT_EQ(output.clsConnectsToFilter, CLSID_VideoRenderer);
    ASSERT_EQ(output.mediaTypes.size(), 1u);
    EXPECT_EQ(output.mediaTypes[0], std::make_pair(MEDIATYPE_Video, GUID_NULL));

    // Registering again with fewer pins leaves no stale pin behind.
    ASSERT_EQ(AMovieSetupRegisterFilter(&sudOnePin, TRUE), S_OK);
    ASSERT_EQ(TvQueryRegisteredFilter(CLSID_RegTestFilter, &filter), S_OK);
    EXPECT_EQ(filter.dwMerit, (DWORD)MERIT_NORMAL);
    ASSERT_EQ(filter.pins.size(), 1u);
    EXPECT_EQ(filter.pins[0].name, L"Input");

    ASSERT_EQ(AMovieSetupRegisterFilter(&sudOnePin, FALSE), S_OK);
    EXPECT_EQ(TvQueryRegisteredFilter(CLSID_RegTestFilter, &filter), S_FALSE);
    EXPECT_FALSE(KeyExists("Filter\\" + clsid));
    EXPECT_FALSE(KeyExists("CLSID\\" + clsid + "\\Pins"));
    EXPECT_FALSE(KeyExists("CLSID\\{083863F1-70DE-11D0-BD40-00A0C911CE86}\\Instance\\" + clsid));
    // Removing what is not there is fine.
    EXPECT_EQ(AMovieSetupRegisterFilter(&sudOnePin, FALSE), S_OK);
}

TEST_F(CoreRegister, BadSetupDataIsRefused)
{
    EXPECT_EQ(AMovieSetupRegisterFilter(nullptr, TRUE), E_INVALIDARG);
    const AMOVIESETUP_FILTER noClass = {nullptr, L"x", MERIT_NORMAL, 0, nullptr};
    EXPECT_EQ(AMovieSetupRegisterFilter(&noClass, TRUE), E_INVALIDARG);
    const AMOVIESETUP_FILTER missingPins = {&CLSID_RegTestOther, L"x", MERIT_NORMAL, 2, nullptr};
    EXPECT_EQ(AMovieSetupRegisterFilter(&missingPins, TRUE), E_INVALIDARG);
    const AMOVIESETUP_PIN unnamed[] = {
        {nullptr, FALSE, FALSE, FALSE, FALSE, nullptr, nullptr, 0, nullptr}};
    const AMOVIESETUP_FILTER unnamedPin = {&CLSID_RegTestOther, L"x", MERIT_NORMAL, 1, unnamed};
    EXPECT_EQ(AMovieSetupRegisterFilter(&unnamedPin, TRUE), E_INVALIDARG);
    TvRegisteredFilter filter;
    EXPECT_EQ(TvQueryRegisteredFilter(CLSID_RegTestOther, nullptr), E_POINTER);
    AMovieSetupRegisterFilter(&unnamedPin, FALSE);
    EXPECT_EQ(TvQueryRegisteredFilter(CLSID_RegTestOther, &filter), S_FALSE);
}

TEST_F(CoreRegister, ModuleHookRegistersEveryTemplateWithSetupData)
{
    const AMOVIESETUP_FILTER sudOther = {&CLSID_RegTestOther, L"Other", MERIT_UNLIKELY, 0, nullptr};
    const CFactoryTemplate templates[] = {
        {L"Tarvo Test Filter", &CLSID_RegTestFilter, nullptr, nullptr, &sudFilter},
        {L"A property page", &CLSID_RegTestOther, nullptr, nullptr, nullptr},
        {L"Other", &CLSID_RegTestOther, nullptr, nullptr, &sudOther},
    };
    ASSERT_EQ(TvRegisterModuleExtras(templates, 3, TRUE), S_OK);
    TvRegisteredFilter filter;
    ASSERT_EQ(TvQueryRegisteredFilter(CLSID_RegTestFilter, &filter), S_OK);
    EXPECT_EQ(filter.pins.size(), 2u);
    ASSERT_EQ(TvQueryRegisteredFilter(CLSID_RegTestOther, &filter), S_OK);
    EXPECT_EQ(filter.name, L"Other");
    EXPECT_EQ(filter.dwMerit, (DWORD)MERIT_UNLIKELY);
    EXPECT_TRUE(filter.pins.empty());

    ASSERT_EQ(TvRegisterModuleExtras(templates, 3, FALSE), S_OK);
    EXPECT_EQ(TvQueryRegisteredFilter(CLSID_RegTestFilter, &filter), S_FALSE);
    EXPECT_EQ(TvQueryRegisteredFilter(CLSID_RegTestOther, &filter), S_FALSE);
    EXPECT_EQ(TvRegisterModuleExtras(nullptr, 1, TRUE), E_INVALIDARG);
    EXPECT_EQ(TvRegisterModuleExtras(nullptr, 0, TRUE), S_OK);
}

} // namespace
