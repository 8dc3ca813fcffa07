#include "win32/session.h"

#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string passwdName(uid_t uid)
{
    std::vector<char> scratch(1 << 16);
    passwd entry;
    passwd* found = nullptr;
    if (getpwuid_r(uid, &entry, scratch.data(), scratch.size(), &found) != 0 || !found)
        return {};
    return found->pw_name;
}

} // namespace

TEST(SessionInformation, UserNameIsTheLoginName)
{
    LPSTR name = nullptr;
    DWORD bytes = 0;
    ASSERT_TRUE(WTSQuerySessionInformationA(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION,
                                            WTSUserName, &name, &bytes));
    ASSERT_NE(name, nullptr);
    std::string got = name;
    EXPECT_EQ(bytes, got.size() + 1);
    WTSFreeMemory(name);

    // The login record wins where there is one (a terminal login); elsewhere (a
    // service, CI) the account of the real user id.
    char login[LOGIN_NAME_MAX + 1] = {};
    if (getlogin_r(login, sizeof(login)) == 0 && login[0])
        EXPECT_EQ(got, login);
    else
        EXPECT_EQ(got, passwdName(getuid()));
    EXPECT_FALSE(got.empty());
}

TEST(SessionInformation, DomainNameIsTheHostName)
{
    char host[HOST_NAME_MAX + 1] = {};
    ASSERT_EQ(gethostname(host, sizeof(host) - 1), 0);
    LPSTR name = nullptr;
    DWORD bytes = 0;
    ASSERT_TRUE(WTSQuerySessionInformationA(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION,
                                            WTSDomainName, &name, &bytes));
    EXPECT_STREQ(name, host);
    EXPECT_EQ(bytes, std::strlen(host) + 1);
    WTSFreeMemory(name);
}

TEST(SessionInformation, RefusesWhatItDoesNotServe)
{
    struct Case {
        HANDLE server;
        DWORD session;
        WTS_INFO_CLASS infoClass;
        DWORD error;
    } cases[] = {
        {WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, WTSInitialProgram, ERROR_NOT_SUPPORTED},
        {WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, WTSSessionId, ERROR_NOT_SUPPORTED},
        {WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, WTSWinStationName, ERROR_NOT_SUPPORTED},
        {WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, static_cast<WTS_INFO_CLASS>(9999),
         ERROR_NOT_SUPPORTED},
        {reinterpret_cast<HANDLE>(uintptr_t(0x55)), WTS_CURRENT_SESSION, WTSUserName,
         ERROR_INVALID_HANDLE},
        {WTS_CURRENT_SERVER_HANDLE, 7, WTSUserName, ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.infoClass));
        LPSTR name = reinterpret_cast<LPSTR>(uintptr_t(1)); // must be cleared
        DWORD bytes = 99;
        SetLastError(0);
        EXPECT_FALSE(WTSQuerySessionInformationA(c.server, c.session, c.infoClass, &name, &bytes));
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_EQ(name, nullptr);
        EXPECT_EQ(bytes, 0u);
    }
    SetLastError(0);
    EXPECT_FALSE(WTSQuerySessionInformationA(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION,
                                             WTSUserName, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    WTSFreeMemory(nullptr); // harmless, as free(NULL)
}

TEST(UserName, GivesTheEffectiveAccountAndReportsTheNeededSize)
{
    std::string expected = passwdName(geteuid());
    ASSERT_FALSE(expected.empty());
    DWORD needed = static_cast<DWORD>(expected.size() + 1);

    DWORD size = 0;
    SetLastError(0);
    EXPECT_FALSE(GetUserNameA(nullptr, &size));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(size, needed);

    std::vector<char> small(expected.size(), 'x');
    size = static_cast<DWORD>(small.size());
    EXPECT_FALSE(GetUserNameA(small.data(), &size));
    EXPECT_EQ(size, needed);
    EXPECT_EQ(std::string(small.begin(), small.end()),
              std::string(expected.size(), 'x')); // untouched

    std::vector<char> exact(needed, 'x');
    size = needed;
    ASSERT_TRUE(GetUserNameA(exact.data(), &size));
    EXPECT_EQ(size, needed);
    EXPECT_STREQ(exact.data(), expected.c_str());

    SetLastError(0);
    EXPECT_FALSE(GetUserNameA(exact.data(), nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}
