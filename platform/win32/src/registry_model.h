// The registry held in memory, and its .reg text form. Internal to tvplatform.
#pragma once

#include "win32/registry.h"
#include "win32/types.h"

#include <functional>

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tv::reg {

// Folds a key or value name for case-insensitive lookup. Upper case, so that
// keys enumerate in the order Windows gives them ('_' after the letters).
std::string FoldName(std::string_view name);

struct Value {
    std::string name; // "" is the key's default value
    DWORD type = 0;
    std::vector<BYTE> data;
};

struct Key {
    std::string name;                                    // case as first written
    std::vector<Value> values;                           // in creation order
    std::map<std::string, std::unique_ptr<Key>> subkeys; // by FoldName

    Key* FindSubkey(std::string_view name) const;
    // Returns the subkey, creating it when missing (*created tells which).
    Key* AddSubkey(std::string_view name, bool* created = nullptr);
    Value* FindValue(std::string_view name);
    const Value* FindValue(std::string_view name) const;
    // Replaces the value's type and data, or appends a new value.
    void SetValue(std::string_view name, DWORD type, std::vector<BYTE> data);
    bool DeleteValue(std::string_view name);
    std::unique_ptr<Key> Clone() const;
};

enum Root { kClassesRoot, kCurrentUser, kLocalMachine, kUsers, kRootCount };

// The full name of a root ("HKEY_LOCAL_MACHINE").
const char* RootName(int root);
// Looks a root up by full name or by its short form (HKLM, HKCU, HKCR, HKU),
// case-insensitively; -1 when unknown.
int FindRoot(std::string_view name);

struct Tree {
    Key roots[kRootCount];

    Tree();
    std::unique_ptr<Tree> Clone() const;
};

// Parses .reg text into *tree. Each malformed line is reported on standard error
// as "<fileName>:<line>: malformed registry line skipped (<reason>)" and left out.
// Returns the number of malformed lines.
int Parse(std::string_view text, const std::string& fileName, Tree* tree);

// The .reg text of the whole tree, starting with the version line.
std::string Serialize(const Tree& tree);

// The registry file (TvGetRegistryPath), shared by every thread and process.
// Load gives the current contents, parsed once per version of the file.
LONG Load(std::shared_ptr<const Tree>* out);
// Applies change to the current contents under the file's write lock. When it
// returns ERROR_SUCCESS having set changed, the new contents replace the file
// atomically; its result is returned otherwise.
LONG Modify(const std::function<LONG(Tree& tree, bool& changed)>& change);

// Whether a key or value name can be stored in the text form (no line breaks or
// other control characters).
bool IsStorableName(std::string_view name);

} // namespace tv::reg
