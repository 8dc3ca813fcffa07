// The registry: Reg* calls over a text file in the .reg export format.
//
// The file starts with "Windows Registry Editor Version 5.00" and holds sections
// such as [HKEY_LOCAL_MACHINE\SOFTWARE\Tarvo] followed by value lines:
//   "FrameBufferCount"=dword:00000005      REG_DWORD
//   "Name"="text with \\ and \" escaped"    REG_SZ
//   @="the key's default value"
//   "Blob"=hex:01,02,ff                     REG_BINARY
//   "Big"=hex(b):01,00,00,00,00,00,00,00    REG_QWORD
//   "Path"=hex(2):...  "List"=hex(7):...    REG_EXPAND_SZ / REG_MULTI_SZ
// Strings are UTF-8 (the "ANSI" of this platform), so the hex(2)/hex(7)/hex(1)
// forms hold the same bytes the A calls read and write, not UTF-16. Anything else
// is written as hex(<type>):. Lines starting with ';' are comments; long hex data
// may continue on the next line after a trailing backslash. A file exported on
// Windows (UTF-16LE with a byte order mark) reads too, its strings converted to
// UTF-8; the file is always written back in UTF-8.
//
// Every write takes an exclusive lock on "<file>.lock", re-reads the file, applies
// the change and renames a complete new file over the old one, so writers in
// several threads and processes never lose each other's values. Readers see one
// whole version of the file. A malformed line is reported on standard error as
// "<file>:<line>: malformed registry line skipped (<reason>)" and ignored; a
// missing file is an empty registry.
//
// Key and value names are case-insensitive (ASCII) and keep the case they were
// first written with. Subkeys enumerate in sorted order, values in the order they
// were created. All calls are safe from any thread.
#pragma once

#include "win32/types.h"

typedef struct HKEY__* HKEY;
typedef HKEY* PHKEY;
typedef DWORD ACCESS_MASK;
typedef ACCESS_MASK REGSAM;

#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)0x80000000u)
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)0x80000001u)
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)0x80000002u)
#define HKEY_USERS ((HKEY)(ULONG_PTR)0x80000003u)

// Access rights. A handle only allows what it was opened with, as on Windows.
#define KEY_QUERY_VALUE 0x0001u
#define KEY_SET_VALUE 0x0002u
#define KEY_CREATE_SUB_KEY 0x0004u
#define KEY_ENUMERATE_SUB_KEYS 0x0008u
#define KEY_NOTIFY 0x0010u
#define KEY_CREATE_LINK 0x0020u
#define KEY_WOW64_64KEY 0x0100u
#define KEY_WOW64_32KEY 0x0200u
#ifndef DELETE
#define DELETE 0x00010000u
#endif
#ifndef READ_CONTROL
#define READ_CONTROL 0x00020000u
#endif
#ifndef MAXIMUM_ALLOWED
#define MAXIMUM_ALLOWED 0x02000000u
#endif
#ifndef GENERIC_READ
#define GENERIC_READ 0x80000000u
#endif
#ifndef GENERIC_WRITE
#define GENERIC_WRITE 0x40000000u
#endif
#ifndef GENERIC_EXECUTE
#define GENERIC_EXECUTE 0x20000000u
#endif
#ifndef GENERIC_ALL
#define GENERIC_ALL 0x10000000u
#endif
#define KEY_READ 0x20019u
#define KEY_WRITE 0x20006u
#define KEY_EXECUTE KEY_READ
#define KEY_ALL_ACCESS 0xF003Fu

// Value types.
#define REG_NONE 0u
#define REG_SZ 1u
#define REG_EXPAND_SZ 2u
#define REG_BINARY 3u
#define REG_DWORD 4u
#define REG_DWORD_LITTLE_ENDIAN 4u
#define REG_DWORD_BIG_ENDIAN 5u
#define REG_LINK 6u
#define REG_MULTI_SZ 7u
#define REG_QWORD 11u
#define REG_QWORD_LITTLE_ENDIAN 11u

#define REG_OPTION_NON_VOLATILE 0u
#define REG_CREATED_NEW_KEY 1u
#define REG_OPENED_EXISTING_KEY 2u

// Where the registry lives. Without an explicit path: $TARVO_REGISTRY when set
// and not empty; else, for an installed copy of the library, the registry
// installed with it (share/tarvo/registry.reg beside the library's lib folder,
// where the installation registered the installed modules); else the registry
// of the build tree the library was built in (so programs and tests run from
// the build find the modules it registered); else
// $XDG_CONFIG_HOME/tarvo/registry.reg (~/.config when XDG_CONFIG_HOME is
// unset). The returned text stays valid for the life of the process.
extern "C" const char* TvGetRegistryPath(void);
// Uses the given file from now on; null (or "") goes back to the default above.
extern "C" void TvSetRegistryPath(const char* pathOrNull);

// Opens an existing key (null or "" opens a new handle to hKey itself).
// ERROR_FILE_NOT_FOUND when it does not exist.
extern "C" LONG RegOpenKeyExA(HKEY hKey, LPCSTR subKey, DWORD options, REGSAM samDesired,
                              PHKEY result);
// Opens a key, creating it and any missing parents. disposition (optional)
// receives REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY. The class and
// security attributes are accepted and ignored.
extern "C" LONG RegCreateKeyExA(HKEY hKey, LPCSTR subKey, DWORD reserved, LPSTR keyClass,
                                DWORD options, REGSAM samDesired, LPSECURITY_ATTRIBUTES security,
                                PHKEY result, LPDWORD disposition);
// Closing a predefined key is allowed and does nothing.
extern "C" LONG RegCloseKey(HKEY hKey);
// name null or "" reads the default value. With data null and cbData set, only
// the size is returned. A buffer that is too small gives ERROR_MORE_DATA and the
// needed size in *cbData. Sizes of string types include the terminating NUL.
extern "C" LONG RegQueryValueExA(HKEY hKey, LPCSTR valueName, LPDWORD reserved, LPDWORD type,
                                 LPBYTE data, LPDWORD cbData);
// Stores cbData bytes. String types that lack their terminating NUL get one.
extern "C" LONG RegSetValueExA(HKEY hKey, LPCSTR valueName, DWORD reserved, DWORD type,
                               const BYTE* data, DWORD cbData);
extern "C" LONG RegDeleteValueA(HKEY hKey, LPCSTR valueName);
// Deletes a key that has no subkeys (ERROR_ACCESS_DENIED when it has some).
extern "C" LONG RegDeleteKeyA(HKEY hKey, LPCSTR subKey);
// Deletes a key with all its subkeys and values; with subKey null, empties hKey
// (its subkeys and values go, the key itself stays).
extern "C" LONG RegDeleteTreeA(HKEY hKey, LPCSTR subKey);
// *cchName: buffer size in characters on entry, name length without the NUL on
// return. lastWriteTime, when given, points at a FILETIME (8 bytes) that is
// zeroed: write times are not kept.
extern "C" LONG RegEnumKeyExA(HKEY hKey, DWORD index, LPSTR name, LPDWORD cchName, LPDWORD reserved,
                              LPSTR keyClass, LPDWORD cchClass, void* lastWriteTime);
extern "C" LONG RegEnumValueA(HKEY hKey, DWORD index, LPSTR valueName, LPDWORD cchValueName,
                              LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD cbData);
// Counts and longest lengths of a key's subkeys and values (name lengths in
// characters without the NUL, data in bytes). Every out-parameter is optional.
extern "C" LONG RegQueryInfoKeyA(HKEY hKey, LPSTR keyClass, LPDWORD cchClass, LPDWORD reserved,
                                 LPDWORD subKeys, LPDWORD maxSubKeyLen, LPDWORD maxClassLen,
                                 LPDWORD values, LPDWORD maxValueNameLen, LPDWORD maxValueLen,
                                 LPDWORD securityDescriptor, void* lastWriteTime);

#define RegOpenKeyEx RegOpenKeyExA
#define RegCreateKeyEx RegCreateKeyExA
#define RegQueryValueEx RegQueryValueExA
#define RegSetValueEx RegSetValueExA
#define RegDeleteValue RegDeleteValueA
#define RegDeleteKey RegDeleteKeyA
#define RegDeleteTree RegDeleteTreeA
#define RegEnumKeyEx RegEnumKeyExA
#define RegEnumValue RegEnumValueA
#define RegQueryInfoKey RegQueryInfoKeyA
