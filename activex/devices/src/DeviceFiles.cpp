#include "DeviceFiles.h"

#include <windows.h>

#include "win32/path.h"

bool CreateFoldersAlong(const char* path)
{
    if (!path)
        return false;
    const std::string text = path;
    for (size_t i = 1; i < text.size(); ++i) {
        if (!TvIsPathSeparator(text[i]) || TvIsPathSeparator(text[i - 1]) || text[i - 1] == ':')
            continue;
        const std::string folder = text.substr(0, i);
        const DWORD attributes = GetFileAttributesA(folder.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            // A file where a folder belongs cannot be passed.
            if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
                return false;
            continue;
        }
        if (!CreateDirectoryA(folder.c_str(), nullptr))
            return false;
    }
    return true;
}
