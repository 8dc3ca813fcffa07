// Windows paths on this platform.
//
// Both '\' and '/' separate the parts of a path. Drive paths are mapped the way
// Wine maps its drives: "C:\x\y" is "<root of C:>/x/y", where the root of drive
// D is $TARVO_DRIVE_D when that is set and not empty, else
// $XDG_DATA_HOME/tarvo/drive_d (XDG_DATA_HOME defaults to ~/.local/share).
// Drive letters are case-insensitive. ".." never climbs above a drive's root,
// as on Windows. Absolute POSIX paths ("/var/x") are used unchanged; other
// paths (relative ones, or "\x" without a drive) get '/' for every '\'.
#pragma once

#include <string>

// The POSIX path for a Windows or POSIX path ("" for null).
std::string TvMapPath(const char* path);
// The folder drive letter stands for, without a trailing '/'.
std::string TvDriveRoot(char letter);

inline bool TvIsPathSeparator(char c)
{
    return c == '\\' || c == '/';
}

// The last '\' or '/' in path, or null when it has none (or path is null).
const char* TvFindLastSeparator(const char* path);
inline char* TvFindLastSeparator(char* path)
{
    return const_cast<char*>(TvFindLastSeparator(static_cast<const char*>(path)));
}

// The file name part of path, like PathFindFileName: what follows the last
// separator (or the drive's ':') that is not at the very end, so that
// "C:\dir\" gives "dir\". Returns path itself when there is no such separator,
// null for null.
const char* TvPathFindFileName(const char* path);
inline char* TvPathFindFileName(char* path)
{
    return const_cast<char*>(TvPathFindFileName(static_cast<const char*>(path)));
}

// The user's home folder: $HOME, else the passwd entry's, else "/tmp".
std::string TvHomeDirectory();
// An XDG base folder: $variable when it holds an absolute path (relative
// values are ignored, as the XDG rules say), else <home>/<belowHome>; e.g.
// TvXdgDirectory("XDG_CONFIG_HOME", ".config").
std::string TvXdgDirectory(const char* variable, const char* belowHome);
