// A filter's registration data (what DllRegisterServer writes besides the
// class keys): name, merit, pins and their media types, in the records
// DirectShow modules put next to their class factory table:
//
//   const AMOVIESETUP_MEDIATYPE sudPinTypes = {&MEDIATYPE_Video, &MEDIASUBTYPE_NULL};
//   const AMOVIESETUP_PIN sudPins[] = {
//       {L"Input", FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, &sudPinTypes},
//   };
//   const AMOVIESETUP_FILTER sudFilter = {&CLSID_MyFilter, L"My Filter", MERIT_DO_NOT_USE, 1,
//   sudPins};
//
// A module's templates name their AMOVIESETUP_FILTER (m_pAMovieSetup_Filter);
// this library implements the registration hook TvRegisterModuleExtras, so
// DllRegisterServer writes that data and DllUnregisterServer removes it.
//
// Registry layout (HKEY_CLASSES_ROOT; the filter mapper's layout):
//   Filter\{clsid}                       @ = filter name
//   CLSID\{clsid}                        "Merit" = dword
//   CLSID\{clsid}\Pins\<pin name>        "Direction" (0 input, 1 output),
//                                        "IsRendered", "AllowedZero",
//                                        "AllowedMany" = dword 0/1,
//                                        "ConnectsToFilter" = "{clsid}",
//                                        "ConnectsToPin" = pin name
//   CLSID\{clsid}\Pins\<pin name>\Types\{major}\{minor}   (keys only)
//   CLSID\{083863F1-70DE-11D0-BD40-00A0C911CE86}\Instance\{clsid}
//                                        "FriendlyName", "CLSID" = "{clsid}",
//                                        "Merit" = dword
#pragma once

#include <string>
#include <vector>

#include <objbase.h>

// Merits (the order in which the graph builder would try filters).
enum {
    MERIT_PREFERRED = 0x800000,
    MERIT_NORMAL = 0x600000,
    MERIT_UNLIKELY = 0x400000,
    MERIT_DO_NOT_USE = 0x200000,
    MERIT_SW_COMPRESSOR = 0x100000,
    MERIT_HW_COMPRESSOR = 0x100050,
};

struct AMOVIESETUP_MEDIATYPE {
    const CLSID* clsMajorType; // null or GUID_NULL: any
    const CLSID* clsMinorType; // null or GUID_NULL: any
};
typedef AMOVIESETUP_MEDIATYPE REGPINTYPES;
typedef const AMOVIESETUP_MEDIATYPE* LPAMOVIESETUP_MEDIATYPE;

struct AMOVIESETUP_PIN {
    const WCHAR* strName;
    BOOL bRendered; // the filter renders this input
    BOOL bOutput;
    BOOL bZero;                       // the filter may have none of this pin
    BOOL bMany;                       // the filter may have many of this pin
    const CLSID* clsConnectsToFilter; // null or CLSID_NULL: any
    const WCHAR* strConnectsToPin;    // null: any
    UINT nMediaTypes;
    const AMOVIESETUP_MEDIATYPE* lpMediaType;
};
typedef AMOVIESETUP_PIN REGFILTERPINS;
typedef const AMOVIESETUP_PIN* LPAMOVIESETUP_PIN;

struct AMOVIESETUP_FILTER {
    const CLSID* clsID;
    const WCHAR* strName;
    DWORD dwMerit;
    UINT nPins;
    const AMOVIESETUP_PIN* lpPin;
};
typedef const AMOVIESETUP_FILTER* LPAMOVIESETUP_FILTER;

// Writes (bRegister TRUE) or removes one filter's data. E_INVALIDARG for a
// null record or class id, HRESULT_FROM_WIN32 of a registry failure. Removing
// data that is not there is S_OK.
HRESULT AMovieSetupRegisterFilter(const AMOVIESETUP_FILTER* psetupdata, BOOL bRegister);

// The hook the module entry points call (see com/factory.h): registers or
// unregisters the setup data of every template that has one; the first
// failure is returned (unregistration still visits every template).
extern "C" HRESULT TvRegisterModuleExtras(const CFactoryTemplate* templates, int count, BOOL reg);

// Registered filter data read back (for the graph manager and tests).
struct TvRegisteredPin {
    std::wstring name;
    BOOL bRendered = FALSE;
    BOOL bOutput = FALSE;
    BOOL bZero = FALSE;
    BOOL bMany = FALSE;
    CLSID clsConnectsToFilter = GUID_NULL;
    std::wstring strConnectsToPin;
    std::vector<std::pair<GUID, GUID>> mediaTypes; // (major, minor)
};
struct TvRegisteredFilter {
    CLSID clsid = GUID_NULL;
    std::wstring name;
    DWORD dwMerit = 0;
    std::vector<TvRegisteredPin> pins; // in the registry's (sorted) order
};
// S_OK and *pFilter filled; S_FALSE when the filter has no data registered.
// E_POINTER for a null pFilter.
HRESULT TvQueryRegisteredFilter(REFCLSID clsid, TvRegisteredFilter* pFilter);
