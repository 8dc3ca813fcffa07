// Registration of in-process servers in the registry (what DllRegisterServer
// writes):
//   HKEY_CLASSES_ROOT\CLSID\{clsid}                 @ = friendly name (UTF-8)
//   HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32  @ = absolute module path
//                                                   "ThreadingModel" = model
#pragma once

#include <string>

#include "win32/text.h"

#include "com/guid.h"

// friendlyName null: no default value on the class key; threadingModel null: no
// ThreadingModel value. A relative modulePath is made absolute (symbolic links
// resolved when the file exists). E_INVALIDARG for a null or empty modulePath;
// a registry failure gives HRESULT_FROM_WIN32 of its error.
HRESULT TvRegisterInprocServer(REFCLSID clsid, const WCHAR* friendlyName, const char* modulePath,
                               const char* threadingModel);
// Deletes HKEY_CLASSES_ROOT\CLSID\{clsid} with everything under it. S_OK also
// when it was not there.
HRESULT TvUnregisterInprocServer(REFCLSID clsid);
// The ProgID's keys (see CLSIDFromProgID in com/coapi.h):
//   HKEY_CLASSES_ROOT\<ProgID>                 @ = friendly name (when not null)
//   HKEY_CLASSES_ROOT\<ProgID>\CLSID           @ = "{clsid}"
//   HKEY_CLASSES_ROOT\CLSID\{clsid}\ProgID     @ = ProgID
// E_INVALIDARG for a null or empty ProgID or one with a backslash.
HRESULT TvRegisterProgID(REFCLSID clsid, const char* progId, const char* friendlyName);
// Deletes HKEY_CLASSES_ROOT\<ProgID> and the class's ProgID key; S_OK also
// when they were not there.
HRESULT TvUnregisterProgID(REFCLSID clsid, const char* progId);
// The absolute path (symbolic links resolved) of the executable or shared
// object that contains the address; "" when none does.
std::string TvGetModulePath(const void* anyAddressInModule);
