// Mapping Windows paths onto the POSIX file system, and separator helpers.
#include "win32/path.h"

#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace {

bool IsDriveLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Joins the parts of rest below root, dropping empty and "." parts and letting
// ".." go up no further than root.
std::string JoinBelowRoot(const std::string& root, const char* rest)
{
    std::vector<std::string> parts;
    const char* p = rest;
    while (*p) {
        while (TvIsPathSeparator(*p))
            ++p;
        const char* start = p;
        while (*p && !TvIsPathSeparator(*p))
            ++p;
        std::string part(start, p);
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
            continue;
        }
        parts.push_back(std::move(part));
    }
    std::string out = root;
    for (const std::string& part : parts)
        out += '/' + part;
    size_t len = std::strlen(rest);
    if (!parts.empty() && len > 0 && TvIsPathSeparator(rest[len - 1]))
        out += '/';
    return out;
}

} // namespace

std::string TvDriveRoot(char letter)
{
    if (!IsDriveLetter(letter))
        return std::string();
    char upper = static_cast<char>(letter & ~0x20);
    char lower = static_cast<char>(letter | 0x20);
    std::string variable = std::string("TARVO_DRIVE_") + upper;
    const char* env = std::getenv(variable.c_str());
    std::string root;
    if (env && *env) {
        root = env;
        while (root.size() > 1 && root.back() == '/')
            root.pop_back();
    } else {
        root = TvXdgDirectory("XDG_DATA_HOME", ".local/share") + "/tarvo/drive_" + lower;
    }
    return root;
}

std::string TvMapPath(const char* path)
{
    if (!path)
        return std::string();
    // "\\?\C:\..." is a drive path with the length limit lifted.
    if (TvIsPathSeparator(path[0]) && TvIsPathSeparator(path[1]) && path[2] == '?' &&
        TvIsPathSeparator(path[3]) && IsDriveLetter(path[4]) && path[5] == ':')
        path += 4;
    if (IsDriveLetter(path[0]) && path[1] == ':') {
        std::string root = TvDriveRoot(path[0]);
        if (root == "/")
            root.clear(); // so that the joined parts do not start with "//"
        std::string mapped = JoinBelowRoot(root, path + 2);
        return mapped.empty() ? std::string("/") : mapped;
    }
    std::string mapped(path);
    if (path[0] == '/')
        return mapped;
    for (char& c : mapped) {
        if (c == '\\')
            c = '/';
    }
    return mapped;
}

const char* TvFindLastSeparator(const char* path)
{
    if (!path)
        return nullptr;
    const char* last = nullptr;
    for (const char* p = path; *p; ++p) {
        if (TvIsPathSeparator(*p))
            last = p;
    }
    return last;
}

const char* TvPathFindFileName(const char* path)
{
    if (!path)
        return nullptr;
    const char* name = path;
    for (const char* p = path; *p; ++p) {
        if ((TvIsPathSeparator(*p) || *p == ':') && p[1] && !TvIsPathSeparator(p[1]))
            name = p + 1;
    }
    return name;
}

std::string TvHomeDirectory()
{
    const char* home = std::getenv("HOME");
    if (home && *home)
        return home;
    struct passwd pw;
    struct passwd* found = nullptr;
    char buf[4096];
    if (getpwuid_r(getuid(), &pw, buf, sizeof buf, &found) == 0 && found && found->pw_dir)
        return found->pw_dir;
    return "/tmp";
}

std::string TvXdgDirectory(const char* variable, const char* belowHome)
{
    const char* xdg = variable ? std::getenv(variable) : nullptr;
    if (xdg && xdg[0] == '/') // relative values are to be ignored
        return xdg;
    return TvHomeDirectory() + "/" + belowHome;
}
