// The registry over its .reg text file: every value type, names, enumeration,
// deletion rules, buffer sizes, persistence, concurrent writers and bad input.
#include "win32/registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "tvreg-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
        m_path = m_dir + "/sub/registry.reg"; // the folder does not exist yet
        TvSetRegistryPath(m_path.c_str());
    }
    void TearDown() override
    {
        TvSetRegistryPath(nullptr);
        fs::remove_all(m_dir);
    }

    void WriteFileText(const std::string& text)
    {
        fs::create_directories(fs::path(m_path).parent_path());
        std::ofstream out(m_path, std::ios::binary | std::ios::trunc);
        out << text;
    }
    std::string FileText(const std::string& path = "")
    {
        std::ifstream in(path.empty() ? m_path : path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    HKEY Create(const char* sub, HKEY root = HKEY_LOCAL_MACHINE)
    {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExA(root, sub, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        return key;
    }
    static std::vector<BYTE> Query(HKEY key, const char* name, DWORD* type = nullptr)
    {
        DWORD size = 0;
        if (RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
            return {};
        std::vector<BYTE> data(size);
        DWORD t = 0;
        EXPECT_EQ(RegQueryValueExA(key, name, nullptr, &t, data.data(), &size), ERROR_SUCCESS);
        data.resize(size);
        if (type)
            *type = t;
        return data;
    }
    static DWORD QueryDword(HKEY key, const char* name)
    {
        DWORD value = 0, size = sizeof value, type = 0;
        EXPECT_EQ(
            RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
            ERROR_SUCCESS)
            << name;
        EXPECT_EQ(type, REG_DWORD);
        return value;
    }
    static LONG SetString(HKEY key, const char* name, const std::string& text, DWORD type = REG_SZ)
    {
        return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                              static_cast<DWORD>(text.size() + 1));
    }
    static LONG SetDword(HKEY key, const char* name, DWORD value)
    {
        return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                              sizeof value);
    }
    static std::vector<BYTE> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

    std::string m_dir;
    std::string m_path;
};

TEST_F(RegistryTest, MissingFileIsAnEmptyRegistryAndCreateMakesTheFolders)
{
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tarvo", 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    EXPECT_FALSE(fs::exists(m_path));

    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tarvo", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    EXPECT_TRUE(fs::exists(m_path));
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tarvo", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    // An empty key persists as a section of its own.
    EXPECT_NE(FileText().find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvo]\n"), std::string::npos);
    EXPECT_EQ(FileText().rfind("Windows Registry Editor Version 5.00\n", 0), 0u);
}

TEST_F(RegistryTest, EveryTypeRoundTripsThroughTheFile)
{
    HKEY key = Create("SOFTWARE\\Tarvo");
    std::vector<BYTE> binary(300);
    for (size_t i = 0; i < binary.size(); ++i)
        binary[i] = static_cast<BYTE>(i * 7);
    const uint64_t qword = 0x0123456789ABCDEFull;
    const std::string multi("one\0two\0\0", 9);
    const WORD shortDword = 0xBEEF;

    ASSERT_EQ(SetDword(key, "FrameBufferCount", 5), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, "Name", "C:\\Program Files\\\"Tarvo\""), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, "Expand", "%TEMP%\\x", REG_EXPAND_SZ), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "Blob", 0, REG_BINARY, binary.data(), 300), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "Big", 0, REG_QWORD, reinterpret_cast<const BYTE*>(&qword), 8),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "List", 0, REG_MULTI_SZ,
                             reinterpret_cast<const BYTE*>(multi.data()), 9),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "Nothing", 0, REG_NONE, nullptr, 0), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "Odd", 0, 0x1234, binary.data(), 3), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, "Lines", "first\nsecond\r\n"), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "ShortDword", 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>(&shortDword), 2),
              ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, "", "default text"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, "Empty", ""), ERROR_SUCCESS);
    ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);

    std::string text = FileText();
    EXPECT_NE(text.find("\"FrameBufferCount\"=dword:00000005\n"), std::string::npos);
    EXPECT_NE(text.find("\"Name\"=\"C:\\\\Program Files\\\\\\\"Tarvo\\\"\"\n"), std::string::npos);
    EXPECT_NE(text.find("@=\"default text\"\n"), std::string::npos);
    EXPECT_NE(text.find("\"Big\"=hex(b):ef,cd,ab,89,67,45,23,01\n"), std::string::npos);
    EXPECT_NE(text.find("\"Blob\"=hex:00,07,0e,"), std::string::npos);
    EXPECT_NE(text.find("\"Empty\"=\"\"\n"), std::string::npos);
    for (std::istringstream lines(text); !lines.eof();) {
        std::string line;
        std::getline(lines, line);
        EXPECT_LE(line.size(), 80u) << line;
    }

    // Read back through a fresh path so that nothing comes from memory.
    std::string copy = m_dir + "/copy.reg";
    fs::copy_file(m_path, copy);
    TvSetRegistryPath(copy.c_str());
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tarvo", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    DWORD type = 0;
    EXPECT_EQ(QueryDword(key, "FrameBufferCount"), 5u);
    EXPECT_EQ(Query(key, "Name", &type), Bytes(std::string("C:\\Program Files\\\"Tarvo\"", 25)));
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(Query(key, "Expand", &type), Bytes(std::string("%TEMP%\\x\0", 9)));
    EXPECT_EQ(type, REG_EXPAND_SZ);
    EXPECT_EQ(Query(key, "Blob", &type), binary);
    EXPECT_EQ(type, REG_BINARY);
    std::vector<BYTE> big = Query(key, "Big", &type);
    ASSERT_EQ(big.size(), 8u);
    EXPECT_EQ(std::memcmp(big.data(), &qword, 8), 0);
    EXPECT_EQ(type, REG_QWORD);
    EXPECT_EQ(Query(key, "List", &type), Bytes(multi));
    EXPECT_EQ(type, REG_MULTI_SZ);
    DWORD size = 99;
    EXPECT_EQ(RegQueryValueExA(key, "Nothing", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_NONE);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(Query(key, "Odd", &type), std::vector<BYTE>(binary.begin(), binary.begin() + 3));
    EXPECT_EQ(type, 0x1234u);
    EXPECT_EQ(Query(key, "Lines", &type), Bytes(std::string("first\nsecond\r\n\0", 15)));
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(Query(key, "ShortDword", &type), (std::vector<BYTE>{0xEF, 0xBE}));
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(Query(key, "", &type), Bytes(std::string("default text\0", 13)));
    EXPECT_EQ(Query(key, nullptr), Bytes(std::string("default text\0", 13)));
    EXPECT_EQ(Query(key, "Empty"), std::vector<BYTE>{0});
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(RegistryTest, StringsWithoutTheirNulGetOne)
{
    HKEY key = Create("SOFTWARE\\Tarvo");
    ASSERT_EQ(RegSetValueExA(key, "Sz", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 3),
              ERROR_SUCCESS);
    ASSERT_EQ(
        RegSetValueExA(key, "Multi", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>("a\0b"), 3),
        ERROR_SUCCESS);
    EXPECT_EQ(Query(key, "Sz"), Bytes(std::string("abc\0", 4)));
    EXPECT_EQ(Query(key, "Multi"), Bytes(std::string("a\0b\0\0", 5)));
    EXPECT_EQ(RegSetValueExA(key, "Bad", 0, REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(SetString(key, "Bad\nName", "x"), ERROR_INVALID_PARAMETER);
    RegCloseKey(key);
}

TEST_F(RegistryTest, BufferSizesFollowTheWindowsProtocol)
{
    HKEY key = Create("SOFTWARE\\Tarvo");
    ASSERT_EQ(SetString(key, "Path", "0123456789"), ERROR_SUCCESS);

    DWORD size = 0, type = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Path", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 11u); // the NUL counts
    EXPECT_EQ(type, REG_SZ);

    char small[4] = {'x', 'x', 'x', 'x'};
    size = sizeof small;
    EXPECT_EQ(
        RegQueryValueExA(key, "Path", nullptr, nullptr, reinterpret_cast<BYTE*>(small), &size),
        ERROR_MORE_DATA);
    EXPECT_EQ(size, 11u);

    char exact[11];
    size = sizeof exact;
    EXPECT_EQ(
        RegQueryValueExA(key, "Path", nullptr, nullptr, reinterpret_cast<BYTE*>(exact), &size),
        ERROR_SUCCESS);
    EXPECT_STREQ(exact, "0123456789");
    EXPECT_EQ(
        RegQueryValueExA(key, "Path", nullptr, nullptr, reinterpret_cast<BYTE*>(exact), nullptr),
        ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    // Type only.
    type = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Path", nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);

    // Enumeration: a short name buffer, then a short data buffer.
    char name[5];
    DWORD cchName = sizeof name;
    size = 2;
    BYTE data[2];
    EXPECT_EQ(RegEnumValueA(key, 0, name, &cchName, nullptr, &type, data, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 11u);
    cchName = 4; // "Path" needs 5 with its NUL
    EXPECT_EQ(RegEnumValueA(key, 0, name, &cchName, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);
    cchName = sizeof name;
    size = 0;
    EXPECT_EQ(RegEnumValueA(key, 0, name, &cchName, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(cchName, 4u);
    EXPECT_STREQ(name, "Path");
    EXPECT_EQ(size, 11u);
    RegCloseKey(key);
}

TEST_F(RegistryTest, NamesAreCaseInsensitiveAndKeepTheirFirstCase)
{
    HKEY key = Create("SOFTWARE\\Tarvo");
    ASSERT_EQ(SetDword(key, "MinBufferCount", 1), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(key, "MINBUFFERCOUNT", 2), ERROR_SUCCESS);
    RegCloseKey(key);

    HKEY other = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\TARVO", 0, KEY_READ, &other),
              ERROR_SUCCESS);
    EXPECT_EQ(QueryDword(other, "minbuffercount"), 2u);
    char name[32];
    DWORD cch = sizeof name;
    EXPECT_EQ(RegEnumValueA(other, 0, name, &cch, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_STREQ(name, "MinBufferCount");
    cch = sizeof name;
    EXPECT_EQ(RegEnumValueA(other, 1, name, &cch, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    RegCloseKey(other);

    HKEY software = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &software), ERROR_SUCCESS);
    cch = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(software, 0, name, &cch, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_STREQ(name, "Tarvo");
    EXPECT_EQ(cch, 5u);
    RegCloseKey(software);
    EXPECT_NE(FileText().find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvo]"), std::string::npos);
}

TEST_F(RegistryTest, SubkeysEnumerateSortedWithSizes)
{
    HKEY parent = Create("SOFTWARE\\Classes");
    for (const char* sub : {"zeta", "Alpha", "beta", "B_under", "Gamma\\Deep"})
        RegCloseKey(Create(sub, parent));

    std::vector<std::string> names;
    char name[64];
    for (DWORD i = 0;; ++i) {
        DWORD cch = sizeof name;
        char cls[8] = "junk";
        DWORD cchCls = sizeof cls;
        BYTE lastWrite[8];
        std::memset(lastWrite, 0xAA, sizeof lastWrite);
        LONG r = RegEnumKeyExA(parent, i, name, &cch, nullptr, cls, &cchCls, lastWrite);
        if (r == ERROR_NO_MORE_ITEMS)
            break;
        ASSERT_EQ(r, ERROR_SUCCESS);
        EXPECT_EQ(cch, std::strlen(name));
        EXPECT_STREQ(cls, "");
        EXPECT_EQ(cchCls, 0u);
        EXPECT_EQ(lastWrite[0], 0);
        names.push_back(name);
    }
    // Sorted as Windows does, by upper-cased name ('_' after the letters).
    EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "beta", "B_under", "Gamma", "zeta"}));

    DWORD cch = 3;
    EXPECT_EQ(RegEnumKeyExA(parent, 0, name, &cch, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);
    cch = 5; // "Alpha" needs 6 with its NUL
    EXPECT_EQ(RegEnumKeyExA(parent, 0, name, &cch, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);

    DWORD subKeys = 0, maxSubKey = 0, values = 9, maxName = 9, maxData = 9;
    EXPECT_EQ(RegQueryInfoKeyA(parent, nullptr, nullptr, nullptr, &subKeys, &maxSubKey, nullptr,
                               &values, &maxName, &maxData, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subKeys, 5u);
    EXPECT_EQ(maxSubKey, 7u); // "B_under"
    EXPECT_EQ(values, 0u);
    EXPECT_EQ(maxName, 0u);
    EXPECT_EQ(maxData, 0u);
    RegCloseKey(parent);
}

TEST_F(RegistryTest, DeleteRules)
{
    HKEY key = Create("SOFTWARE\\Tarvo\\Child\\Grandchild");
    ASSERT_EQ(SetDword(key, "x", 1), ERROR_SUCCESS);
    RegCloseKey(key);
    HKEY tarvo = Create("SOFTWARE\\Tarvo");
    ASSERT_EQ(SetDword(tarvo, "keep", 7), ERROR_SUCCESS);

    EXPECT_EQ(RegDeleteKeyA(tarvo, "Child"), ERROR_ACCESS_DENIED); // has a subkey
    EXPECT_EQ(RegDeleteKeyA(tarvo, "Missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(tarvo, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegDeleteKeyA(tarvo, "child\\GRANDCHILD"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(tarvo, "Child"), ERROR_SUCCESS);

    RegCloseKey(Create("SOFTWARE\\Tarvo\\A\\B\\C"));
    EXPECT_EQ(RegDeleteTreeA(tarvo, "A"), ERROR_SUCCESS);
    HKEY gone = nullptr;
    EXPECT_EQ(RegOpenKeyExA(tarvo, "A", 0, KEY_READ, &gone), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteTreeA(tarvo, "A"), ERROR_FILE_NOT_FOUND);

    EXPECT_EQ(RegDeleteValueA(tarvo, "missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueA(tarvo, "KEEP"), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExA(tarvo, "keep", nullptr, nullptr, nullptr, nullptr),
              ERROR_FILE_NOT_FOUND);

    // Emptying a key keeps the key.
    RegCloseKey(Create("SOFTWARE\\Tarvo\\D"));
    ASSERT_EQ(SetDword(tarvo, "v", 1), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteTreeA(tarvo, nullptr), ERROR_SUCCESS);
    DWORD subKeys = 9, values = 9;
    EXPECT_EQ(RegQueryInfoKeyA(tarvo, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                               &values, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subKeys, 0u);
    EXPECT_EQ(values, 0u);

    // The roots cannot go, and a handle to a deleted key says so.
    EXPECT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, nullptr), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, ""), ERROR_ACCESS_DENIED);
    HKEY software = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_ALL_ACCESS, &software),
              ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(software, "Tarvo"), ERROR_SUCCESS);
    EXPECT_EQ(SetDword(tarvo, "v", 1), ERROR_KEY_DELETED);
    EXPECT_EQ(RegQueryValueExA(tarvo, "v", nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
    RegCloseKey(tarvo);
    RegCloseKey(software);
}

TEST_F(RegistryTest, HandlesKeepTheirAccessRights)
{
    RegCloseKey(Create("SOFTWARE\\Tarvo"));
    HKEY reader = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tarvo", 0, KEY_READ, &reader),
              ERROR_SUCCESS);
    EXPECT_EQ(SetDword(reader, "x", 1), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(reader, "x"), ERROR_ACCESS_DENIED);
    HKEY child = nullptr;
    EXPECT_EQ(
        RegCreateKeyExA(reader, "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
        ERROR_ACCESS_DENIED);
    EXPECT_EQ(child, nullptr);
    RegCloseKey(reader);

    HKEY writer = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tarvo", 0, KEY_SET_VALUE, &writer),
              ERROR_SUCCESS);
    EXPECT_EQ(SetDword(writer, "x", 1), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExA(writer, "x", nullptr, nullptr, nullptr, nullptr),
              ERROR_ACCESS_DENIED);
    RegCloseKey(writer);
}

TEST_F(RegistryTest, BadHandlesAreRefused)
{
    HKEY made_up = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x1234));
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(made_up, "x", nullptr, nullptr, nullptr, &size),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegQueryValueExA(nullptr, "x", nullptr, nullptr, nullptr, &size),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(SetDword(made_up, "x", 1), ERROR_INVALID_HANDLE);
    HKEY out = made_up;
    EXPECT_EQ(RegOpenKeyExA(made_up, "x", 0, KEY_READ, &out), ERROR_INVALID_HANDLE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(RegCloseKey(made_up), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000004u))),
              ERROR_INVALID_HANDLE); // not one of the four roots

    HKEY key = Create("SOFTWARE\\Tarvo");
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegDeleteKeyA(key, "x"), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, nullptr),
              ERROR_INVALID_PARAMETER);

    // Opening with no subkey gives a new handle to the same key.
    HKEY again = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, nullptr, 0, KEY_ALL_ACCESS, &again), ERROR_SUCCESS);
    EXPECT_EQ(SetDword(again, "AtRoot", 3), ERROR_SUCCESS);
    EXPECT_EQ(QueryDword(HKEY_CURRENT_USER, "atroot"), 3u);
    EXPECT_EQ(RegCloseKey(again), ERROR_SUCCESS);
}

TEST_F(RegistryTest, ChangesPersistAcrossPathSwitches)
{
    HKEY key = Create("SOFTWARE\\Tarvo", HKEY_CLASSES_ROOT);
    ASSERT_EQ(SetDword(key, "bEnableTimeControl", 1), ERROR_SUCCESS);
    RegCloseKey(key);

    std::string other = m_dir + "/other.reg";
    TvSetRegistryPath(other.c_str());
    EXPECT_STREQ(TvGetRegistryPath(), other.c_str());
    HKEY missing = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "SOFTWARE\\Tarvo", 0, KEY_READ, &missing),
              ERROR_FILE_NOT_FOUND);

    TvSetRegistryPath(m_path.c_str());
    ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "SOFTWARE\\Tarvo", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    EXPECT_EQ(QueryDword(key, "bEnableTimeControl"), 1u);
    RegCloseKey(key);

    // An edit made behind the library's back is seen on the next call.
    std::string text = FileText();
    size_t at = text.find("dword:00000001");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 14, "dword:0000002a");
    WriteFileText(text);
    ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "SOFTWARE\\Tarvo", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    EXPECT_EQ(QueryDword(key, "bEnableTimeControl"), 42u);
    RegCloseKey(key);
}

TEST_F(RegistryTest, DefaultPathComesFromTheEnvironment)
{
    TvSetRegistryPath(nullptr);
    const char* saved = std::getenv("TARVO_REGISTRY");
    std::string savedValue = saved ? saved : "";
    setenv("TARVO_REGISTRY", m_path.c_str(), 1);
    EXPECT_STREQ(TvGetRegistryPath(), m_path.c_str());
    setenv("TARVO_REGISTRY", "", 1);
    std::string fallback = TvGetRegistryPath();
    EXPECT_NE(fallback, m_path);
    EXPECT_EQ(fallback.substr(fallback.size() - 13), "/registry.reg");
    if (saved)
        setenv("TARVO_REGISTRY", savedValue.c_str(), 1);
    else
        unsetenv("TARVO_REGISTRY");
    TvSetRegistryPath(m_path.c_str());
}

// Writes count values named "<prefix><n>" through separate RegSetValueExA calls.
bool WriteMany(const std::string& prefix, int count)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Shared", 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    bool ok = true;
    for (int i = 0; i < count && ok; ++i) {
        std::string name = prefix + std::to_string(i);
        DWORD value = static_cast<DWORD>(i);
        ok = RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                            sizeof value) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return ok;
}

void ExpectAllPresent(const std::vector<std::string>& prefixes, int count)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Shared", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    DWORD values = 0;
    ASSERT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(values, prefixes.size() * count);
    for (const std::string& prefix : prefixes) {
        for (int i = 0; i < count; ++i) {
            std::string name = prefix + std::to_string(i);
            DWORD value = 0, size = sizeof value;
            ASSERT_EQ(RegQueryValueExA(key, name.c_str(), nullptr, nullptr,
                                       reinterpret_cast<BYTE*>(&value), &size),
                      ERROR_SUCCESS)
                << name;
            EXPECT_EQ(value, static_cast<DWORD>(i));
        }
    }
    RegCloseKey(key);
}

TEST_F(RegistryTest, TwoProcessesWritingAtOnceLoseNothing)
{
    std::vector<pid_t> children;
    for (const char* prefix : {"first", "second"}) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0)
            _exit(WriteMany(prefix, 200) ? 0 : 1);
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    ExpectAllPresent({"first", "second"}, 200);
    // No temporary file is left behind.
    for (const auto& entry : fs::directory_iterator(fs::path(m_path).parent_path()))
        EXPECT_EQ(entry.path().string().find(".tmp."), std::string::npos) << entry.path();
}

TEST_F(RegistryTest, ThreadsWritingAtOnceLoseNothing)
{
    bool ok[3] = {false, false, false};
    std::vector<std::thread> threads;
    const char* prefixes[3] = {"a", "b", "c"};
    for (int t = 0; t < 3; ++t)
        threads.emplace_back([&, t] { ok[t] = WriteMany(prefixes[t], 40); });
    // Readers alongside the writers.
    std::thread reader([] {
        for (int i = 0; i < 100; ++i) {
            HKEY key = nullptr;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Shared", 0, KEY_READ, &key) ==
                ERROR_SUCCESS)
                RegCloseKey(key);
        }
    });
    for (auto& t : threads)
        t.join();
    reader.join();
    EXPECT_TRUE(ok[0] && ok[1] && ok[2]);
    ExpectAllPresent({"a", "b", "c"}, 40);
}

TEST_F(RegistryTest, MalformedLinesAreReportedAndSkipped)
{
    std::string text = "Windows Registry Editor Version 5.00\n"     // 1
                       "\n"                                         // 2
                       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvo]\n"    // 3
                       "\"Good1\"=dword:00000005\n"                 // 4
                       "this is garbage\n"                          // 5
                       "\"Unterminated\"=\"abc\n"                   // 6
                       "\"BadHex\"=hex:01,zz,03\n"                  // 7
                       "\"BadDword\"=dword:123456789\n"             // 8
                       "\"Good2\"=\"text\"\n"                       // 9
                       "\"Cont\"=hex:01,02,\\\n"                    // 10
                       "  03,04\n"                                  // 11
                       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Broken\n"    // 12
                       "\"Lost\"=dword:00000001\n"                  // 13
                       "[HKEY_NOWHERE\\X]\n"                        // 14
                       "\"AlsoLost\"=dword:00000001\n"              // 15
                       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvo]\n"    // 16
                       "\"\x01\xff\xfe\"ZZjunk\x80\n"               // 17
                       "\"Good3\"=hex(b):01,00,00,00,00,00,00,00\n" // 18
                       "\"Trailing\"=\"x\" y\n"                     // 19
                       "\"Escape\"=\"a\\qb\"\n"                     // 20
                       "\"Good4\"=dword:7\n"                        // 21
                       "\"Truncated\"=hex:01,\\\n";                 // 22
    text.replace(text.find("ZZjunk"), 2, std::string(2, '\0'));     // NUL bytes inside a line
    WriteFileText(text);

    testing::internal::CaptureStderr();
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tarvo", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(QueryDword(key, "Good1"), 5u);
    EXPECT_EQ(Query(key, "Good2"), Bytes(std::string("text\0", 5)));
    EXPECT_EQ(Query(key, "Cont"), (std::vector<BYTE>{1, 2, 3, 4}));
    EXPECT_EQ(Query(key, "Good3").size(), 8u);
    EXPECT_EQ(QueryDword(key, "Good4"), 7u);
    for (const char* skipped :
         {"Unterminated", "BadHex", "BadDword", "Trailing", "Escape", "Truncated"})
        EXPECT_EQ(RegQueryValueExA(key, skipped, nullptr, nullptr, nullptr, nullptr),
                  ERROR_FILE_NOT_FOUND)
            << skipped;
    RegCloseKey(key);
    HKEY broken = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Broken", 0, KEY_READ, &broken),
              ERROR_FILE_NOT_FOUND);

    for (int line : {5, 6, 7, 8, 12, 14, 17, 19, 20, 22}) {
        std::string prefix =
            m_path + ":" + std::to_string(line) + ": malformed registry line skipped";
        EXPECT_NE(errors.find(prefix), std::string::npos) << "line " << line << "\n" << errors;
    }
    for (int line : {4, 9, 10, 11, 13, 15, 18, 21})
        EXPECT_EQ(errors.find(m_path + ":" + std::to_string(line) + ":"), std::string::npos)
            << "line " << line << "\n"
            << errors;

    // The next write drops the bad lines and keeps the original beside the file.
    testing::internal::CaptureStderr();
    HKEY writer = Create("SOFTWARE\\Tarvo");
    EXPECT_EQ(SetDword(writer, "Good5", 9), ERROR_SUCCESS);
    RegCloseKey(writer);
    errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find(m_path + ".bak"), std::string::npos) << errors;
    EXPECT_EQ(FileText(m_path + ".bak"), text);
    EXPECT_EQ(FileText().find("garbage"), std::string::npos);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tarvo", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    EXPECT_EQ(QueryDword(key, "Good1"), 5u);
    EXPECT_EQ(QueryDword(key, "Good5"), 9u);
    RegCloseKey(key);
}

TEST_F(RegistryTest, BadLinesAreNeverDroppedWhenNoBackupCanBeKept)
{
    const std::string text = "Windows Registry Editor Version 5.00\n\n"
                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvo]\n"
                             "\"Good\"=dword:00000001\n"
                             "\"HandTyped\"=typed by hand, not quite right\n";
    WriteFileText(text);
    fs::create_directories(m_path + ".bak"); // in the way of the backup

    testing::internal::CaptureStderr();
    HKEY key = Create("SOFTWARE\\Tarvo");
    EXPECT_NE(SetDword(key, "New", 2), ERROR_SUCCESS);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(FileText(), text);
    EXPECT_EQ(RegQueryValueExA(key, "New", nullptr, nullptr, nullptr, nullptr),
              ERROR_FILE_NOT_FOUND);

    // Once the backup can be written, the write goes through.
    fs::remove(m_path + ".bak");
    testing::internal::CaptureStderr();
    EXPECT_EQ(SetDword(key, "New", 2), ERROR_SUCCESS);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(FileText(m_path + ".bak"), text);
    EXPECT_EQ(QueryDword(key, "New"), 2u);
    RegCloseKey(key);
}
TEST_F(RegistryTest, ReadsHandWrittenAndWindowsExportedFiles)
{
    // Comments, CRLF line ends, spaces around '=', deletion entries, short root names.
    WriteFileText("REGEDIT4\r\n"
                  "; a comment\r\n"
                  "[HKLM\\SOFTWARE\\Tarvo]\r\n"
                  "\"MaxBufferCount\" = dword:00000002\r\n"
                  "\"Gone\"=dword:00000001\r\n"
                  "\"Gone\"=-\r\n"
                  "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Old\\Deep]\r\n"
                  "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Old]\r\n");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tarvo", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    EXPECT_EQ(QueryDword(key, "MaxBufferCount"), 2u);
    EXPECT_EQ(RegQueryValueExA(key, "Gone", nullptr, nullptr, nullptr, nullptr),
              ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Old", 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);

    // Windows writes its exports in UTF-16LE with a byte order mark.
    std::u16string wide = u"Windows Registry Editor Version 5.00\r\n\r\n"
                          u"[HKEY_CURRENT_USER\\Software\\Caf\u00e9]\r\n"
                          u"\"Name\"=\"\u00fcber\"\r\n"
                          u"\"Path\"=hex(2):25,00,54,00,4d,00,50,00,25,00,00,00\r\n";
    std::string bytes("\xff\xfe", 2);
    for (char16_t c : wide) {
        bytes += static_cast<char>(c & 0xff);
        bytes += static_cast<char>(c >> 8);
    }
    WriteFileText(bytes);
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Caf\xc3\xa9", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    EXPECT_EQ(Query(key, "Name"), Bytes(std::string("\xc3\xbc"
                                                    "ber\0",
                                                    6)));
    DWORD type = 0;
    EXPECT_EQ(Query(key, "Path", &type), Bytes(std::string("%TMP%\0", 6)));
    EXPECT_EQ(type, REG_EXPAND_SZ);
    RegCloseKey(key);
}

TEST_F(RegistryTest, ABrokenContinuationNeverSwallowsTheNextSection)
{
    // The last line of a hex value was deleted by hand, leaving its backslash: the
    // section below must still get its own values, not the key above.
    WriteFileText("Windows Registry Editor Version 5.00\n\n"
                  "[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\n"
                  "\"Bin\"=hex:01,02,\\\n"
                  "[HKEY_LOCAL_MACHINE\\SOFTWARE\\B]\n"
                  "\"Count\"=dword:00000005\n");
    testing::internal::CaptureStderr();
    HKEY a = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\A", 0, KEY_READ, &a), ERROR_SUCCESS);
    std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find(m_path + ":4: malformed registry line skipped"), std::string::npos)
        << errors;
    EXPECT_EQ(errors.find(m_path + ":5:"), std::string::npos) << errors;
    EXPECT_EQ(RegQueryValueExA(a, "Bin", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueExA(a, "Count", nullptr, nullptr, nullptr, nullptr),
              ERROR_FILE_NOT_FOUND);
    RegCloseKey(a);
    HKEY b = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\B", 0, KEY_READ, &b), ERROR_SUCCESS);
    EXPECT_EQ(QueryDword(b, "Count"), 5u);
    RegCloseKey(b);
}

} // namespace
