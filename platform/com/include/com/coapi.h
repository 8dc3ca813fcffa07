// The COM library calls: initialisation per thread, object creation through the
// registry, module loading and unloading, task memory.
//
// Creation: CoGetClassObject looks for a class object registered in the
// process (CoRegisterClassObject), then reads
// HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32 (default value: the module
// path), loads that module with dlopen (once per path; it stays loaded until
// CoFreeUnusedLibraries finds it unused) and asks its DllGetClassObject.
//
// Initialisation: there are no apartments on this platform; every class is
// "Both". A thread may use the creation calls when it has initialised COM
// itself or while any thread of the process holds a COM initialisation, as
// threads of an initialised multithreaded process may on Windows. This matters
// because window timers and posted messages run on the platform's dispatcher
// thread, not on the thread that initialised COM. With no initialisation in
// the process the calls give CO_E_NOTINITIALIZED.
//
// Set TARVO_TRACE to a list containing "com" to log every creation call and
// its result on standard error.
#pragma once

#include "com/unknown.h"

typedef enum tagCLSCTX {
    CLSCTX_INPROC_SERVER = 0x1,
    CLSCTX_INPROC_HANDLER = 0x2,
    CLSCTX_LOCAL_SERVER = 0x4,
    CLSCTX_INPROC_SERVER16 = 0x8,
    CLSCTX_REMOTE_SERVER = 0x10,
} CLSCTX;
#define CLSCTX_INPROC (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)
#define CLSCTX_SERVER (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)
#define CLSCTX_ALL                                                                                 \
    (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)

typedef enum tagCOINIT {
    COINIT_MULTITHREADED = 0x0,
    COINIT_APARTMENTTHREADED = 0x2,
    COINIT_DISABLE_OLE1DDE = 0x4,
    COINIT_SPEED_OVER_MEMORY = 0x8,
} COINIT;

typedef enum tagREGCLS {
    REGCLS_SINGLEUSE = 0,
    REGCLS_MULTIPLEUSE = 1,
    REGCLS_MULTI_SEPARATE = 2,
    REGCLS_SUSPENDED = 4,
    REGCLS_SURROGATE = 8,
} REGCLS;

// Counted per thread: S_OK the first time on a thread, S_FALSE on each further
// call (each needs its CoUninitialize). A call asking for the other threading
// model than the thread's first gives RPC_E_CHANGED_MODE and is not counted.
// reserved must be null, flags only COINIT_* bits (else E_INVALIDARG).
STDAPI CoInitialize(LPVOID reserved);
STDAPI CoInitializeEx(LPVOID reserved, DWORD coInit);
// Undoes one successful CoInitialize(Ex) of the calling thread; nothing when
// the thread has none. A thread that exits without it gives its count up.
STDAPI_(void) CoUninitialize(void);

// CoGetClassObject + IClassFactory::CreateInstance. Results: E_POINTER for a
// null ppv; CLASS_E_NOAGGREGATION for an outer unknown with an IID other than
// IID_IUnknown; CO_E_NOTINITIALIZED; and those of CoGetClassObject and of the
// factory. *ppv is null on every failure.
STDAPI CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD clsctx, REFIID riid, LPVOID* ppv);
// REGDB_E_CLASSNOTREG when the class is neither registered in the process nor
// under InprocServer32 (only CLSCTX_INPROC_SERVER reads that key);
// CO_E_DLLNOTFOUND when the module cannot be loaded (dlerror() is printed once
// per module path); CO_E_ERRORINDLL when it lacks DllGetClassObject; else the
// answer of DllGetClassObject. serverInfo is ignored (no remote servers).
STDAPI CoGetClassObject(REFCLSID clsid, DWORD clsctx, LPVOID serverInfo, REFIID riid, LPVOID* ppv);

// Unloads every loaded module whose DllCanUnloadNow answers S_OK, at once.
// Call it only when no other thread may still be returning from the last
// Release of such a module's object; CoFreeUnusedLibrariesEx is the safe form
// for processes with many threads.
STDAPI_(void) CoFreeUnusedLibraries(void);
// Unloads a module only once it has answered S_OK to this call, continuously,
// for at least unloadDelayMs milliseconds (INFINITE: the default of 10
// minutes; 0: at once, like CoFreeUnusedLibraries). The first call that finds
// a module unused starts its wait; a later call unloads it.
STDAPI_(void) CoFreeUnusedLibrariesEx(DWORD unloadDelayMs, DWORD reserved);

// Makes a class object creatable in this process (clsctx must include
// CLSCTX_INPROC_SERVER to be found by in-process creation). The object is
// held (AddRef) until CoRevokeClassObject(cookie). REGCLS_SINGLEUSE objects
// are handed out once. E_INVALIDARG for null arguments.
STDAPI CoRegisterClassObject(REFCLSID clsid, LPUNKNOWN object, DWORD clsctx, DWORD flags,
                             LPDWORD cookie);
// E_INVALIDARG for an unknown cookie.
STDAPI CoRevokeClassObject(DWORD cookie);

// Task memory: malloc-compatible blocks that cross module boundaries.
// CoTaskMemAlloc(0) gives a valid block; CoTaskMemRealloc(p, 0) frees p and
// returns null; CoTaskMemFree(null) does nothing.
STDAPI_(LPVOID) CoTaskMemAlloc(SIZE_T size);
STDAPI_(LPVOID) CoTaskMemRealloc(LPVOID block, SIZE_T size);
STDAPI_(void) CoTaskMemFree(LPVOID block);

// ProgIDs, as Windows keeps them in the registry:
//   HKEY_CLASSES_ROOT\<ProgID>\CLSID          @ = "{clsid}"
//   HKEY_CLASSES_ROOT\CLSID\{clsid}\ProgID    @ = "<ProgID>"
// (TvRegisterProgID in com/register.h writes both.) CLSIDFromProgID: the class
// of a ProgID; CO_E_CLASSSTRING (and GUID_NULL) when the ProgID is not
// registered or its CLSID value does not parse; E_INVALIDARG for null
// arguments. ProgIDFromCLSID: the ProgID in memory from CoTaskMemAlloc (the
// caller frees it); REGDB_E_CLASSNOTREG (and null) when the class has none;
// E_INVALIDARG for a null out.
STDAPI CLSIDFromProgID(LPCOLESTR progId, LPCLSID clsid);
STDAPI ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* progId);
