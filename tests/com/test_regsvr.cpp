// tvregsvr: registering and unregistering a module through its
// DllRegisterServer/DllUnregisterServer, into a registry of the test's own.
#include <fcntl.h>
#include <limits.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "com_test_support.h"
#include "testcalc.h"

extern char** environ;

namespace {

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs tvregsvr with TARVO_REGISTRY set to registryPath.
RunResult RunRegsvr(const std::string& registryPath, const std::vector<std::string>& args,
                    const std::string& scratch, const std::vector<std::string>& extraEnv = {})
{
    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) {
        if (std::strncmp(*e, "TARVO_REGISTRY=", 15) != 0)
            envStrings.push_back(*e);
    }
    envStrings.push_back("TARVO_REGISTRY=" + registryPath);
    envStrings.insert(envStrings.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> envp;
    for (std::string& s : envStrings)
        envp.push_back(s.data());
    envp.push_back(nullptr);

    std::vector<std::string> argStrings{TV_REGSVR_PATH};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : argStrings)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    const std::string outPath = scratch + "/out.txt";
    const std::string errPath = scratch + "/err.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    RunResult result;
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, TV_REGSVR_PATH, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return result;
    int status = 0;
    if (waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    result.out = ReadFile(outPath);
    result.err = ReadFile(errPath);
    return result;
}

std::string ModuleRealPath()
{
    char resolved[PATH_MAX];
    return realpath(TV_TEST_MODULE_PATH, resolved) ? resolved : "";
}

TEST(Regsvr, RegistersAndUnregistersEveryClassOfAModule)
{
    TempRegistry registry;
    const std::string calcKey = "CLSID\\" + TvGuidToString(CLSID_TestCalc);
    const std::string lonerKey = "CLSID\\" + TvGuidToString(CLSID_TestLoner);

    RunResult run = RunRegsvr(registry.Path(), {TV_TEST_MODULE_PATH}, registry.Folder());
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ(std::string("DllRegisterServer in ") + TV_TEST_MODULE_PATH + " succeeded.\n",
              run.out);
    EXPECT_EQ("", run.err);

    // The test reads the same file through the registry calls.
    EXPECT_EQ("Tarvo Test Calculator", ReadClassesRootString(calcKey, nullptr));
    EXPECT_EQ(ModuleRealPath(), ReadClassesRootString(calcKey + "\\InprocServer32", nullptr));
    EXPECT_EQ("Both", ReadClassesRootString(calcKey + "\\InprocServer32", "ThreadingModel"));
    EXPECT_EQ("Tarvo Test Lone Object \xC3\xA9", ReadClassesRootString(lonerKey, nullptr));
    EXPECT_EQ(ModuleRealPath(), ReadClassesRootString(lonerKey + "\\InprocServer32", nullptr));
    EXPECT_EQ("Both", ReadClassesRootString(lonerKey + "\\InprocServer32", "ThreadingModel"));
    // The file itself is the .reg text.
    const std::string text = ReadFile(registry.Path());
    EXPECT_NE(std::string::npos, text.find("[HKEY_CLASSES_ROOT\\" + calcKey + "\\InprocServer32]"))
        << text;
    EXPECT_NE(std::string::npos, text.find("\"ThreadingModel\"=\"Both\"")) << text;

    // Silent: nothing on standard output.
    run = RunRegsvr(registry.Path(), {"/s", TV_TEST_MODULE_PATH}, registry.Folder());
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ("", run.out);

    run = RunRegsvr(registry.Path(), {"/u", TV_TEST_MODULE_PATH}, registry.Folder());
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ(std::string("DllUnregisterServer in ") + TV_TEST_MODULE_PATH + " succeeded.\n",
              run.out);
    EXPECT_FALSE(ClassesRootKeyExists(calcKey));
    EXPECT_FALSE(ClassesRootKeyExists(lonerKey));
    EXPECT_TRUE(ClassesRootKeyExists("CLSID"));

    // Unregistering what is not registered is not an error.
    run = RunRegsvr(registry.Path(), {"-U", "-S", TV_TEST_MODULE_PATH}, registry.Folder());
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ("", run.out);
}

TEST(Regsvr, ReportsFailuresWithTheirOwnStatus)
{
    TempRegistry registry;
    const std::string missing = registry.Folder() + "/libnothere.so";
    RunResult run = RunRegsvr(registry.Path(), {missing}, registry.Folder());
    EXPECT_EQ(3, run.status);
    EXPECT_NE(std::string::npos, run.err.find(missing)) << run.err;
    EXPECT_EQ("", run.out);

    // A library without the entry point.
    run = RunRegsvr(registry.Path(), {"/s", TV_PLATFORM_LIBRARY_PATH}, registry.Folder());
    EXPECT_EQ(4, run.status);
    EXPECT_NE(std::string::npos, run.err.find("DllRegisterServer entry point was not found"))
        << run.err;

    // A registry that cannot be written: the HRESULT is shown in hex.
    const std::string blocked = registry.Folder() + "/not-a-folder";
    {
        std::ofstream(blocked) << "x";
    }
    run = RunRegsvr(blocked + "/registry.reg", {TV_TEST_MODULE_PATH}, registry.Folder());
    EXPECT_EQ(5, run.status);
    EXPECT_NE(std::string::npos, run.err.find("DllRegisterServer in " TV_TEST_MODULE_PATH
                                              " failed. Return code was: 0x8007"))
        << run.err;

    run = RunRegsvr(registry.Path(), {}, registry.Folder());
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos, run.err.find("usage: tvregsvr")) << run.err;

    // Later modules are still processed after a failure; the first status wins.
    run = RunRegsvr(registry.Path(), {missing, TV_TEST_MODULE_PATH}, registry.Folder());
    EXPECT_EQ(3, run.status);
    EXPECT_NE(std::string::npos, run.out.find("succeeded")) << run.out;
    EXPECT_EQ(ModuleRealPath(),
              ReadClassesRootString("CLSID\\" + TvGuidToString(CLSID_TestCalc) + "\\InprocServer32",
                                    nullptr));
}

TEST(Regsvr, ModuleNamedWithoutAFolderIsTakenFromTheCurrentFolder)
{
    TempRegistry registry;
    const std::string modulePath = ModuleRealPath();
    ASSERT_FALSE(modulePath.empty());
    const std::string folder = modulePath.substr(0, modulePath.rfind('/'));
    const std::string name = modulePath.substr(modulePath.rfind('/') + 1);
    char previous[PATH_MAX];
    ASSERT_NE(nullptr, getcwd(previous, sizeof(previous)));
    ASSERT_EQ(0, chdir(folder.c_str()));
    RunResult run = RunRegsvr(registry.Path(), {name}, registry.Folder());
    ASSERT_EQ(0, chdir(previous));
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ(modulePath,
              ReadClassesRootString("CLSID\\" + TvGuidToString(CLSID_TestCalc) + "\\InprocServer32",
                                    nullptr));
}

// The hook for more registration data runs after the class keys are written
// and before they are removed, and its failure fails the call.
TEST(Regsvr, ModuleExtrasRunAroundTheClassKeys)
{
    TempRegistry registry;
    const std::string key = "CLSID\\" + TvGuidToString(CLSID_TestExtras);
    RunResult run = RunRegsvr(registry.Path(), {"/s", TV_TEST_EXTRAS_PATH}, registry.Folder());
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ("Tarvo Test Extras", ReadClassesRootString(key, nullptr));
    EXPECT_EQ("1", ReadClassesRootString(key, "Extras"));

    run = RunRegsvr(registry.Path(), {"/s", "/u", TV_TEST_EXTRAS_PATH}, registry.Folder());
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_FALSE(ClassesRootKeyExists(key));
    EXPECT_EQ("before", ReadClassesRootString("TarvoTestExtras", "Unregistered"));

    run = RunRegsvr(registry.Path(), {TV_TEST_EXTRAS_PATH}, registry.Folder(),
                    {"TARVO_TEST_EXTRAS_FAIL=1"});
    EXPECT_EQ(5, run.status);
    EXPECT_NE(std::string::npos, run.err.find("Return code was: 0x80070005")) << run.err;
    EXPECT_EQ("", run.out);

    // A module without the hook registers its classes only.
    run = RunRegsvr(registry.Path(), {"/s", TV_TEST_MODULE_PATH}, registry.Folder());
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ("<missing>",
              ReadClassesRootString("CLSID\\" + TvGuidToString(CLSID_TestCalc), "Extras"));
}

TEST(Register, WritesAndRemovesClassKeys)
{
    TempRegistry registry;
    // {3C5E7091-2B4D-4F60-8A1B-9C0D1E2F3A4B}
    static const GUID kClass = {
        0x3C5E7091, 0x2B4D, 0x4F60, {0x8A, 0x1B, 0x9C, 0x0D, 0x1E, 0x2F, 0x3A, 0x4B}};
    const std::string key = "CLSID\\" + TvGuidToString(kClass);

    EXPECT_EQ(E_INVALIDARG, TvRegisterInprocServer(kClass, L"x", nullptr, "Both"));
    EXPECT_EQ(E_INVALIDARG, TvRegisterInprocServer(kClass, L"x", "", "Both"));
    EXPECT_FALSE(ClassesRootKeyExists(key));

    // A relative path is stored absolute; no name and no model leave those out.
    ASSERT_EQ(S_OK, TvRegisterInprocServer(kClass, nullptr, "relative/libx.so", nullptr));
    char cwd[PATH_MAX];
    ASSERT_NE(nullptr, getcwd(cwd, sizeof(cwd)));
    EXPECT_EQ(std::string(cwd) + "/relative/libx.so",
              ReadClassesRootString(key + "\\InprocServer32", nullptr));
    EXPECT_EQ("<missing>", ReadClassesRootString(key, nullptr));
    EXPECT_EQ("<missing>", ReadClassesRootString(key + "\\InprocServer32", "ThreadingModel"));

    ASSERT_EQ(S_OK, TvRegisterInprocServer(kClass, L"\u00c5ngstr\u00f6m \U0001F3A5",
                                           "/opt/x/liby.so", "Apartment"));
    EXPECT_EQ("\xC3\x85ngstr\xC3\xB6m \xF0\x9F\x8E\xA5", ReadClassesRootString(key, nullptr));
    EXPECT_EQ("/opt/x/liby.so", ReadClassesRootString(key + "\\InprocServer32", nullptr));
    EXPECT_EQ("Apartment", ReadClassesRootString(key + "\\InprocServer32", "ThreadingModel"));

    EXPECT_EQ(S_OK, TvUnregisterInprocServer(kClass));
    EXPECT_FALSE(ClassesRootKeyExists(key));
    EXPECT_EQ(S_OK, TvUnregisterInprocServer(kClass));
}

TEST(Register, ModulePathOfAnAddress)
{
    char resolved[PATH_MAX];
    ASSERT_NE(nullptr, realpath(TV_PLATFORM_LIBRARY_PATH, resolved));
    EXPECT_EQ(resolved, TvGetModulePath(reinterpret_cast<const void*>(&CoCreateInstance)));
    ASSERT_NE(nullptr, realpath("/proc/self/exe", resolved));
    static const int kInThisProgram = 0;
    EXPECT_EQ(resolved, TvGetModulePath(&kInThisProgram));
    EXPECT_EQ("", TvGetModulePath(nullptr));
    EXPECT_EQ("", TvGetModulePath(reinterpret_cast<const void*>(0x10)));
}

} // namespace
