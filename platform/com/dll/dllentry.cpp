// The entry points of every COM module, over the module's g_Templates table.
// Linked whole into each module (tv_add_module), so every module has its own
// copy; only the Dll* entry points are exported.
#include <dlfcn.h>

#include <new>

#include "com/factory.h"
#include "com/register.h"

// The module's table. Declared hidden so that each module's copy of this code
// uses its own table even when another object in the process defines one.
extern CFactoryTemplate g_Templates[] __attribute__((visibility("hidden")));
extern int g_cTemplates __attribute__((visibility("hidden")));

extern "C" HRESULT TvRegisterModuleExtras(const CFactoryTemplate* templates, int count, BOOL reg)
    __attribute__((weak));

#define TV_DLL_EXPORT extern "C" __attribute__((visibility("default")))

TV_DLL_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* ppv);
TV_DLL_EXPORT HRESULT DllCanUnloadNow(void);
TV_DLL_EXPORT HRESULT DllRegisterServer(void);
TV_DLL_EXPORT HRESULT DllUnregisterServer(void);
TV_DLL_EXPORT BOOL DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

namespace {

// An address inside this module, for finding the module's file.
const char g_moduleMarker = 0;

void CallInitRoutines(BOOL loading)
{
    for (int i = 0; i < g_cTemplates; ++i) {
        if (g_Templates[i].m_lpfnInit)
            g_Templates[i].m_lpfnInit(loading, g_Templates[i].m_ClsID);
    }
}

BOOL ModuleEntry(DWORD reason)
{
    if (reason == DLL_PROCESS_ATTACH)
        CallInitRoutines(TRUE);
    else if (reason == DLL_PROCESS_DETACH)
        CallInitRoutines(FALSE);
    return TRUE;
}

// Run by the loader when the module is loaded and unloaded. Without a
// priority they run after the module's own static constructors (this object
// comes last in the link) and before its static destructors.
__attribute__((constructor)) void OnModuleLoad()
{
    ModuleEntry(DLL_PROCESS_ATTACH);
}

__attribute__((destructor)) void OnModuleUnload()
{
    ModuleEntry(DLL_PROCESS_DETACH);
}

} // namespace

TV_DLL_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IClassFactory)
        return E_NOINTERFACE;
    for (int i = 0; i < g_cTemplates; ++i) {
        if (!g_Templates[i].IsClassID(clsid))
            continue;
        CClassFactory* factory = new (std::nothrow) CClassFactory(&g_Templates[i]);
        if (!factory)
            return E_OUTOFMEMORY;
        factory->AddRef();
        *ppv = static_cast<IClassFactory*>(factory);
        return S_OK;
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

TV_DLL_EXPORT HRESULT DllCanUnloadNow(void)
{
    return TvComCanUnloadNow();
}

TV_DLL_EXPORT HRESULT DllRegisterServer(void)
{
    const std::string path = TvGetModulePath(&g_moduleMarker);
    if (path.empty())
        return E_FAIL;
    for (int i = 0; i < g_cTemplates; ++i) {
        const CFactoryTemplate& templ = g_Templates[i];
        if (!templ.m_ClsID)
            continue;
        const HRESULT hr =
            TvRegisterInprocServer(*templ.m_ClsID, templ.m_Name, path.c_str(), "Both");
        if (FAILED(hr))
            return hr;
    }
    if (TvRegisterModuleExtras)
        return TvRegisterModuleExtras(g_Templates, g_cTemplates, TRUE);
    return S_OK;
}

TV_DLL_EXPORT HRESULT DllUnregisterServer(void)
{
    // Everything is removed that can be; the first failure is reported.
    HRESULT result = S_OK;
    if (TvRegisterModuleExtras)
        result = TvRegisterModuleExtras(g_Templates, g_cTemplates, FALSE);
    for (int i = 0; i < g_cTemplates; ++i) {
        if (!g_Templates[i].m_ClsID)
            continue;
        const HRESULT hr = TvUnregisterInprocServer(*g_Templates[i].m_ClsID);
        if (FAILED(hr) && SUCCEEDED(result))
            result = hr;
    }
    return result;
}

// The loader calls the attach and detach steps itself; calling DllMain by
// hand runs the init routines again, as it would on Windows.
TV_DLL_EXPORT BOOL DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/)
{
    (void)instance;
    return ModuleEntry(reason);
}
