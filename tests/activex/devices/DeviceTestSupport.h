// What the device player tests share: a scratch folder, a virtual window, the
// SDK calls of one name as argument lists, and a little file reading.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "SdkCallLog.h"
#include "win32/types.h"

class CPlayerBase;

// A folder under /tmp removed with everything in it at destruction.
class CScratchFolder {
public:
    CScratchFolder();
    ~CScratchFolder();
    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// A virtual window destroyed with the object.
class CTestWindow {
public:
    CTestWindow();
    ~CTestWindow();
    HWND Handle() const { return m_hwnd; }
    // The window handle as the SDK logs print it.
    std::string Text() const;

private:
    HWND m_hwnd;
};

// The argument lists of the calls of name in log.
std::vector<std::vector<std::string>> ArgsOf(const CSdkCallLog& log, const std::string& name);
// The names of all calls, in order.
std::vector<std::string> NamesOf(const CSdkCallLog& log);
// The first bytes of a file ("" when it cannot be read) and its size.
std::string FileStart(const std::string& path, size_t count);
long long FileSize(const std::string& path);
// Little-endian 32-bit value at offset of a file (0 when it cannot be read).
int FileLe32(const std::string& path, long offset);

// Owns a player through its slot 0.
using PlayerPtr = std::unique_ptr<CPlayerBase>;
