#include "win32/session.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool accountName(uid_t uid, std::string* name)
{
    long hint = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> scratch(hint > 0 ? static_cast<size_t>(hint) : 1024);
    for (;;) {
        passwd entry;
        passwd* found = nullptr;
        int err = getpwuid_r(uid, &entry, scratch.data(), scratch.size(), &found);
        if (err == ERANGE && scratch.size() < (size_t(1) << 20)) {
            scratch.resize(scratch.size() * 2);
            continue;
        }
        if (err != 0 || !found || !found->pw_name || !*found->pw_name)
            return false;
        *name = found->pw_name;
        return true;
    }
}

bool environmentUser(std::string* name)
{
    const char* user = std::getenv("USER");
    if (!user || !*user)
        return false;
    *name = user;
    return true;
}

bool loginName(std::string* name)
{
    char buffer[LOGIN_NAME_MAX + 1] = {};
    if (getlogin_r(buffer, sizeof(buffer)) == 0 && buffer[0]) {
        *name = buffer;
        return true;
    }
    return accountName(getuid(), name) || environmentUser(name);
}

bool hostName(std::string* name)
{
    char buffer[HOST_NAME_MAX + 1] = {};
    if (gethostname(buffer, sizeof(buffer) - 1) != 0 || !buffer[0])
        return false;
    *name = buffer;
    return true;
}

} // namespace

extern "C" BOOL WTSQuerySessionInformationA(HANDLE server, DWORD sessionId,
                                            WTS_INFO_CLASS infoClass, LPSTR* buffer, DWORD* bytes)
{
    if (buffer)
        *buffer = nullptr;
    if (bytes)
        *bytes = 0;
    if (server != WTS_CURRENT_SERVER_HANDLE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!buffer || sessionId != WTS_CURRENT_SESSION) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string value;
    bool found;
    switch (infoClass) {
    case WTSUserName:
        found = loginName(&value);
        break;
    case WTSDomainName:
        found = hostName(&value);
        break;
    default:
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    if (!found) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    auto* copy = static_cast<char*>(std::malloc(value.size() + 1));
    if (!copy) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    std::memcpy(copy, value.c_str(), value.size() + 1);
    *buffer = copy;
    if (bytes)
        *bytes = static_cast<DWORD>(value.size() + 1);
    return TRUE;
}

extern "C" void WTSFreeMemory(PVOID memory)
{
    std::free(memory);
}

extern "C" BOOL GetUserNameA(LPSTR buffer, LPDWORD size)
{
    if (!size) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string name;
    if (!accountName(geteuid(), &name) && !environmentUser(&name)) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    DWORD needed = static_cast<DWORD>(name.size() + 1);
    if (!buffer || *size < needed) {
        *size = needed;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(buffer, name.c_str(), needed);
    *size = needed;
    return TRUE;
}
