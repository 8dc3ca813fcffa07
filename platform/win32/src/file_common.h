// Helpers shared by the file calls. Internal to tvplatform.
#pragma once

#include "win32/types.h"

#include <string>

namespace tv::file {

// Sets the last error and returns FALSE (for BOOL calls).
BOOL Fail(DWORD error);
// The Win32 error for errno err after an operation on a path that could not be
// found: ERROR_PATH_NOT_FOUND when its folder is missing too, else
// ERROR_FILE_NOT_FOUND. Other errno values map as TvWin32ErrorFromErrno does.
DWORD ErrorForPath(const std::string& mappedPath, int err);
// Maps path and, for a drive path, makes sure the drive's root folder exists:
// on Windows a drive's root is always there, so creating "C:\x" must not fail
// only because this machine has never used drive C.
std::string MapForCreate(const char* path);
// Creates path and its missing parents. Returns 0 or an errno.
int MakeDirectories(const std::string& path);

} // namespace tv::file
