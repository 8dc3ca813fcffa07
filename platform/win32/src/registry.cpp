// The Reg* calls. A key handle names a key by its root and path; each call looks
// the key up afresh in the current registry file, so handles in several
// processes see each other's changes.
#include "win32/registry.h"

#include "registry_model.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <mutex>
#include <unordered_set>

using tv::reg::Key;
using tv::reg::Tree;
using tv::reg::Value;

struct HKEY__ {
    int root;
    std::vector<std::string> parts;
    REGSAM access;
};

namespace {

// Handles given out and not yet closed. A handle is looked up here before use,
// so a stale or made-up HKEY gives ERROR_INVALID_HANDLE instead of a crash.
std::mutex g_handleMutex;
std::unordered_set<const HKEY__*> g_handles; // guarded by g_handleMutex

// What a handle stands for, copied out so that a concurrent RegCloseKey cannot
// pull it away mid-call.
struct KeyRef {
    int root = 0;
    std::vector<std::string> parts;
    REGSAM access = 0;
    bool predefined = false;
};

constexpr size_t kMaxKeyNameLength = 255;

LONG Resolve(HKEY hKey, KeyRef* ref)
{
    ULONG_PTR raw = reinterpret_cast<ULONG_PTR>(hKey);
    if (raw >= 0x80000000u && raw < 0x80000000u + tv::reg::kRootCount) {
        ref->root = static_cast<int>(raw - 0x80000000u);
        ref->parts.clear();
        ref->access = KEY_ALL_ACCESS;
        ref->predefined = true;
        return ERROR_SUCCESS;
    }
    std::lock_guard<std::mutex> lock(g_handleMutex);
    if (!hKey || g_handles.count(hKey) == 0)
        return ERROR_INVALID_HANDLE;
    ref->root = hKey->root;
    ref->parts = hKey->parts;
    ref->access = hKey->access;
    ref->predefined = false;
    return ERROR_SUCCESS;
}

HKEY NewHandle(int root, std::vector<std::string> parts, REGSAM access)
{
    HKEY key = new HKEY__{root, std::move(parts), access};
    std::lock_guard<std::mutex> lock(g_handleMutex);
    g_handles.insert(key);
    return key;
}

REGSAM GrantedAccess(REGSAM sam)
{
    REGSAM granted = sam & KEY_ALL_ACCESS;
    if (sam & (MAXIMUM_ALLOWED | GENERIC_ALL))
        granted |= KEY_ALL_ACCESS;
    if (sam & (GENERIC_READ | GENERIC_EXECUTE))
        granted |= KEY_READ;
    if (sam & GENERIC_WRITE)
        granted |= KEY_WRITE;
    return granted;
}

// Splits "A\B\C" into its key names. Empty names (doubled, leading or trailing
// backslashes) are passed over.
LONG SplitSubkey(LPCSTR subKey, std::vector<std::string>* parts)
{
    parts->clear();
    if (!subKey)
        return ERROR_SUCCESS;
    std::string_view rest(subKey);
    while (!rest.empty()) {
        size_t slash = rest.find('\\');
        std::string_view part = rest.substr(0, slash);
        if (!part.empty()) {
            if (part.size() > kMaxKeyNameLength || !tv::reg::IsStorableName(part))
                return ERROR_INVALID_PARAMETER;
            parts->emplace_back(part);
        }
        if (slash == std::string_view::npos)
            break;
        rest.remove_prefix(slash + 1);
    }
    return ERROR_SUCCESS;
}

Key* Walk(Key* key, const std::vector<std::string>& parts)
{
    for (const std::string& part : parts) {
        if (!key)
            return nullptr;
        key = key->FindSubkey(part);
    }
    return key;
}

const Key* Walk(const Tree& tree, const KeyRef& ref)
{
    return Walk(const_cast<Key*>(&tree.roots[ref.root]), ref.parts);
}

Key* Walk(Tree& tree, const KeyRef& ref)
{
    return Walk(&tree.roots[ref.root], ref.parts);
}

// Loads the registry and finds the handle's key. A handle whose key has gone
// gives ERROR_KEY_DELETED, as on Windows.
LONG FindKey(HKEY hKey, REGSAM needed, KeyRef* ref, std::shared_ptr<const Tree>* tree,
             const Key** key)
{
    LONG r = Resolve(hKey, ref);
    if (r != ERROR_SUCCESS)
        return r;
    if ((ref->access & needed) != needed)
        return ERROR_ACCESS_DENIED;
    r = tv::reg::Load(tree);
    if (r != ERROR_SUCCESS)
        return r;
    *key = Walk(**tree, *ref);
    return *key ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

std::string ValueName(LPCSTR name)
{
    return name ? std::string(name) : std::string();
}

// Gives string types their terminating NUL (and REG_MULTI_SZ its closing empty
// string) when the caller left it out, so readers can rely on it.
void TerminateStrings(DWORD type, std::vector<BYTE>* data)
{
    if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ)
        return;
    if (data->empty() || data->back() != 0)
        data->push_back(0);
    if (type == REG_MULTI_SZ && data->size() >= 2 && (*data)[data->size() - 2] != 0)
        data->push_back(0);
}

// Copies a value's data out with the usual size protocol.
LONG CopyData(const Value& value, LPDWORD type, LPBYTE data, LPDWORD cbData)
{
    if (data && !cbData)
        return ERROR_INVALID_PARAMETER;
    if (type)
        *type = value.type;
    DWORD size = static_cast<DWORD>(value.data.size());
    if (!cbData)
        return ERROR_SUCCESS;
    if (data) {
        if (*cbData < size) {
            *cbData = size;
            return ERROR_MORE_DATA;
        }
        if (size)
            std::memcpy(data, value.data.data(), size);
    }
    *cbData = size;
    return ERROR_SUCCESS;
}

// Copies a name into a caller's buffer of *cch characters (NUL included).
LONG CopyName(const std::string& name, LPSTR out, LPDWORD cch)
{
    if (!out || !cch)
        return ERROR_INVALID_PARAMETER;
    if (*cch <= name.size())
        return ERROR_MORE_DATA;
    std::memcpy(out, name.c_str(), name.size() + 1);
    *cch = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

void ClearLastWriteTime(void* lastWriteTime)
{
    if (lastWriteTime)
        std::memset(lastWriteTime, 0, 8);
}

} // namespace

extern "C" LONG RegOpenKeyExA(HKEY hKey, LPCSTR subKey, DWORD /*options*/, REGSAM samDesired,
                              PHKEY result)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    KeyRef ref;
    std::shared_ptr<const Tree> tree;
    const Key* base = nullptr;
    LONG r = FindKey(hKey, 0, &ref, &tree, &base);
    if (r != ERROR_SUCCESS)
        return r;
    std::vector<std::string> parts;
    r = SplitSubkey(subKey, &parts);
    if (r != ERROR_SUCCESS)
        return r;
    std::vector<std::string> path = ref.parts;
    for (const std::string& part : parts) {
        base = base->FindSubkey(part);
        if (!base)
            return ERROR_FILE_NOT_FOUND;
        path.push_back(base->name);
    }
    *result = NewHandle(ref.root, std::move(path), GrantedAccess(samDesired));
    return ERROR_SUCCESS;
}

extern "C" LONG RegCreateKeyExA(HKEY hKey, LPCSTR subKey, DWORD /*reserved*/, LPSTR /*keyClass*/,
                                DWORD /*options*/, REGSAM samDesired,
                                LPSECURITY_ATTRIBUTES /*security*/, PHKEY result,
                                LPDWORD disposition)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    KeyRef ref;
    LONG r = Resolve(hKey, &ref);
    if (r != ERROR_SUCCESS)
        return r;
    std::vector<std::string> parts;
    r = SplitSubkey(subKey, &parts);
    if (r != ERROR_SUCCESS)
        return r;

    // An existing key opens without taking the write lock.
    r = RegOpenKeyExA(hKey, subKey, 0, samDesired, result);
    if (r == ERROR_SUCCESS) {
        if (disposition)
            *disposition = REG_OPENED_EXISTING_KEY;
        return r;
    }
    if (r != ERROR_FILE_NOT_FOUND)
        return r;
    if ((ref.access & KEY_CREATE_SUB_KEY) == 0)
        return ERROR_ACCESS_DENIED;

    std::vector<std::string> path;
    bool createdAny = false;
    r = tv::reg::Modify([&](Tree& tree, bool& changed) -> LONG {
        Key* key = Walk(tree, ref);
        if (!key)
            return ERROR_KEY_DELETED;
        path = ref.parts;
        for (const std::string& part : parts) {
            bool created = false;
            key = key->AddSubkey(part, &created);
            createdAny = createdAny || created;
            path.push_back(key->name);
        }
        changed = createdAny;
        return ERROR_SUCCESS;
    });
    if (r != ERROR_SUCCESS)
        return r;
    if (disposition)
        *disposition = createdAny ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *result = NewHandle(ref.root, std::move(path), GrantedAccess(samDesired));
    return ERROR_SUCCESS;
}

extern "C" LONG RegCloseKey(HKEY hKey)
{
    ULONG_PTR raw = reinterpret_cast<ULONG_PTR>(hKey);
    if (raw >= 0x80000000u && raw < 0x80000000u + tv::reg::kRootCount)
        return ERROR_SUCCESS;
    {
        std::lock_guard<std::mutex> lock(g_handleMutex);
        if (!hKey || g_handles.erase(hKey) == 0)
            return ERROR_INVALID_HANDLE;
    }
    delete hKey;
    return ERROR_SUCCESS;
}

extern "C" LONG RegQueryValueExA(HKEY hKey, LPCSTR valueName, LPDWORD /*reserved*/, LPDWORD type,
                                 LPBYTE data, LPDWORD cbData)
{
    KeyRef ref;
    std::shared_ptr<const Tree> tree;
    const Key* key = nullptr;
    LONG r = FindKey(hKey, KEY_QUERY_VALUE, &ref, &tree, &key);
    if (r != ERROR_SUCCESS)
        return r;
    const Value* value = key->FindValue(ValueName(valueName));
    if (!value)
        return ERROR_FILE_NOT_FOUND;
    return CopyData(*value, type, data, cbData);
}

extern "C" LONG RegSetValueExA(HKEY hKey, LPCSTR valueName, DWORD /*reserved*/, DWORD type,
                               const BYTE* data, DWORD cbData)
{
    KeyRef ref;
    LONG r = Resolve(hKey, &ref);
    if (r != ERROR_SUCCESS)
        return r;
    if ((ref.access & KEY_SET_VALUE) == 0)
        return ERROR_ACCESS_DENIED;
    if (!data && cbData)
        return ERROR_INVALID_PARAMETER;
    std::string name = ValueName(valueName);
    if (!tv::reg::IsStorableName(name))
        return ERROR_INVALID_PARAMETER;
    std::vector<BYTE> bytes(data, data + (data ? cbData : 0));
    TerminateStrings(type, &bytes);
    return tv::reg::Modify([&](Tree& tree, bool& changed) -> LONG {
        Key* key = Walk(tree, ref);
        if (!key)
            return ERROR_KEY_DELETED;
        const Value* old = key->FindValue(name);
        changed = !old || old->type != type || old->data != bytes;
        if (changed)
            key->SetValue(name, type, bytes);
        return ERROR_SUCCESS;
    });
}

extern "C" LONG RegDeleteValueA(HKEY hKey, LPCSTR valueName)
{
    KeyRef ref;
    LONG r = Resolve(hKey, &ref);
    if (r != ERROR_SUCCESS)
        return r;
    if ((ref.access & KEY_SET_VALUE) == 0)
        return ERROR_ACCESS_DENIED;
    std::string name = ValueName(valueName);
    return tv::reg::Modify([&](Tree& tree, bool& changed) -> LONG {
        Key* key = Walk(tree, ref);
        if (!key)
            return ERROR_KEY_DELETED;
        changed = key->DeleteValue(name);
        return changed ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
}

namespace {

enum class DeleteMode { EmptyKeyOnly, Tree };

LONG DeleteKey(HKEY hKey, LPCSTR subKey, DeleteMode mode)
{
    KeyRef ref;
    LONG r = Resolve(hKey, &ref);
    if (r != ERROR_SUCCESS)
        return r;
    std::vector<std::string> parts;
    r = SplitSubkey(subKey, &parts);
    if (r != ERROR_SUCCESS)
        return r;
    std::vector<std::string> target = ref.parts;
    target.insert(target.end(), parts.begin(), parts.end());
    if (target.empty())
        return ERROR_ACCESS_DENIED; // the roots themselves stay
    return tv::reg::Modify([&](Tree& tree, bool& changed) -> LONG {
        if (!Walk(tree, ref))
            return ERROR_KEY_DELETED;
        Key* parent = &tree.roots[ref.root];
        for (size_t i = 0; i + 1 < target.size() && parent; ++i)
            parent = parent->FindSubkey(target[i]);
        Key* key = parent ? parent->FindSubkey(target.back()) : nullptr;
        if (!key)
            return ERROR_FILE_NOT_FOUND;
        if (mode == DeleteMode::EmptyKeyOnly && !key->subkeys.empty())
            return ERROR_ACCESS_DENIED;
        parent->subkeys.erase(tv::reg::FoldName(target.back()));
        changed = true;
        return ERROR_SUCCESS;
    });
}

} // namespace

extern "C" LONG RegDeleteKeyA(HKEY hKey, LPCSTR subKey)
{
    if (!subKey)
        return ERROR_INVALID_PARAMETER;
    return DeleteKey(hKey, subKey, DeleteMode::EmptyKeyOnly);
}

extern "C" LONG RegDeleteTreeA(HKEY hKey, LPCSTR subKey)
{
    if (subKey && *subKey)
        return DeleteKey(hKey, subKey, DeleteMode::Tree);
    // No subkey: empty hKey itself but keep it.
    KeyRef ref;
    LONG r = Resolve(hKey, &ref);
    if (r != ERROR_SUCCESS)
        return r;
    if (ref.parts.empty())
        return ERROR_ACCESS_DENIED; // never wipe a whole root
    return tv::reg::Modify([&](Tree& tree, bool& changed) -> LONG {
        Key* key = Walk(tree, ref);
        if (!key)
            return ERROR_KEY_DELETED;
        changed = !key->subkeys.empty() || !key->values.empty();
        key->subkeys.clear();
        key->values.clear();
        return ERROR_SUCCESS;
    });
}

extern "C" LONG RegEnumKeyExA(HKEY hKey, DWORD index, LPSTR name, LPDWORD cchName,
                              LPDWORD /*reserved*/, LPSTR keyClass, LPDWORD cchClass,
                              void* lastWriteTime)
{
    KeyRef ref;
    std::shared_ptr<const Tree> tree;
    const Key* key = nullptr;
    LONG r = FindKey(hKey, KEY_ENUMERATE_SUB_KEYS, &ref, &tree, &key);
    if (r != ERROR_SUCCESS)
        return r;
    if (index >= key->subkeys.size())
        return ERROR_NO_MORE_ITEMS;
    auto it = key->subkeys.begin();
    std::advance(it, index);
    r = CopyName(it->second->name, name, cchName);
    if (r != ERROR_SUCCESS)
        return r;
    if (keyClass && cchClass && *cchClass > 0)
        keyClass[0] = '\0';
    if (cchClass)
        *cchClass = 0;
    ClearLastWriteTime(lastWriteTime);
    return ERROR_SUCCESS;
}

extern "C" LONG RegEnumValueA(HKEY hKey, DWORD index, LPSTR valueName, LPDWORD cchValueName,
                              LPDWORD /*reserved*/, LPDWORD type, LPBYTE data, LPDWORD cbData)
{
    KeyRef ref;
    std::shared_ptr<const Tree> tree;
    const Key* key = nullptr;
    LONG r = FindKey(hKey, KEY_QUERY_VALUE, &ref, &tree, &key);
    if (r != ERROR_SUCCESS)
        return r;
    if (index >= key->values.size())
        return ERROR_NO_MORE_ITEMS;
    const Value& value = key->values[index];
    r = CopyName(value.name, valueName, cchValueName);
    if (r != ERROR_SUCCESS)
        return r;
    return CopyData(value, type, data, cbData);
}

extern "C" LONG RegQueryInfoKeyA(HKEY hKey, LPSTR keyClass, LPDWORD cchClass, LPDWORD /*reserved*/,
                                 LPDWORD subKeys, LPDWORD maxSubKeyLen, LPDWORD maxClassLen,
                                 LPDWORD values, LPDWORD maxValueNameLen, LPDWORD maxValueLen,
                                 LPDWORD securityDescriptor, void* lastWriteTime)
{
    KeyRef ref;
    std::shared_ptr<const Tree> tree;
    const Key* key = nullptr;
    LONG r = FindKey(hKey, KEY_QUERY_VALUE, &ref, &tree, &key);
    if (r != ERROR_SUCCESS)
        return r;
    size_t longestKey = 0, longestName = 0, longestData = 0;
    for (const auto& [folded, sub] : key->subkeys)
        longestKey = std::max(longestKey, sub->name.size());
    for (const Value& v : key->values) {
        longestName = std::max(longestName, v.name.size());
        longestData = std::max(longestData, v.data.size());
    }
    if (keyClass && cchClass && *cchClass > 0)
        keyClass[0] = '\0';
    if (cchClass)
        *cchClass = 0;
    if (subKeys)
        *subKeys = static_cast<DWORD>(key->subkeys.size());
    if (maxSubKeyLen)
        *maxSubKeyLen = static_cast<DWORD>(longestKey);
    if (maxClassLen)
        *maxClassLen = 0;
    if (values)
        *values = static_cast<DWORD>(key->values.size());
    if (maxValueNameLen)
        *maxValueNameLen = static_cast<DWORD>(longestName);
    if (maxValueLen)
        *maxValueLen = static_cast<DWORD>(longestData);
    if (securityDescriptor)
        *securityDescriptor = 0;
    ClearLastWriteTime(lastWriteTime);
    return ERROR_SUCCESS;
}
