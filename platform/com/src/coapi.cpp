// COM initialisation per thread, creation through the registry, the cache of
// loaded modules, process-registered class objects and task memory.
#include "com/coapi.h"
#include "win32/trace.h"

#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "win32/registry.h"

namespace {

typedef HRESULT (*DllGetClassObjectFn)(REFCLSID, REFIID, LPVOID*);
typedef HRESULT (*DllCanUnloadNowFn)(void);

// ---- initialisation ----

// Threads that currently hold at least one COM initialisation.
std::atomic<int> g_initializedThreads{0};

struct ThreadComState {
    int count = 0;
    DWORD model = 0; // COINIT_APARTMENTTHREADED or COINIT_MULTITHREADED
    ~ThreadComState()
    {
        if (count > 0)
            g_initializedThreads.fetch_sub(1, std::memory_order_relaxed);
    }
};
thread_local ThreadComState t_com;

bool ComUsable()
{
    return t_com.count > 0 || g_initializedThreads.load(std::memory_order_relaxed) > 0;
}

// ---- modules ----

struct LoadedModule {
    void* handle = nullptr;
    DllGetClassObjectFn getClassObject = nullptr;
    DllCanUnloadNowFn canUnloadNow = nullptr;
    // Calls into the module in progress; such a module is never unloaded.
    int busy = 0;
    bool unusedSeen = false;
    std::chrono::steady_clock::time_point unusedSince;
};

std::mutex g_modulesLock;
// guarded by g_modulesLock
std::map<std::string, LoadedModule> g_modules;
std::set<std::string> g_reportedFailures;

// Prints a loading failure once per module path.
void ReportOnce(const std::string& path, const std::string& message)
{
    {
        std::lock_guard<std::mutex> lock(g_modulesLock);
        if (!g_reportedFailures.insert(path).second)
            return;
    }
    std::fprintf(stderr, "%s\n", message.c_str());
}

HRESULT FindInprocServer(REFCLSID clsid, std::string* path)
{
    const std::string key = "CLSID\\" + TvGuidToString(clsid) + "\\InprocServer32";
    HKEY hkey = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_QUERY_VALUE, &hkey) != ERROR_SUCCESS)
        return REGDB_E_CLASSNOTREG;
    std::string value;
    DWORD type = REG_NONE;
    DWORD size = 0;
    // The value may grow between the size query and the read (another
    // process registering): ask again until it fits.
    LONG rc = RegQueryValueExA(hkey, nullptr, nullptr, &type, nullptr, &size);
    while (rc == ERROR_SUCCESS) {
        value.assign(size + 1, '\0');
        DWORD got = size;
        rc = RegQueryValueExA(hkey, nullptr, nullptr, &type, reinterpret_cast<LPBYTE>(value.data()),
                              &got);
        if (rc == ERROR_MORE_DATA) {
            size = got;
            rc = ERROR_SUCCESS;
            continue;
        }
        break;
    }
    RegCloseKey(hkey);
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return REGDB_E_CLASSNOTREG;
    value.resize(std::strlen(value.c_str()));
    if (value.empty())
        return REGDB_E_CLASSNOTREG;
    *path = value;
    return S_OK;
}

// Finds or loads the module and marks a call into it as in progress.
HRESULT EnterModule(const std::string& path, DllGetClassObjectFn* getClassObject)
{
    {
        std::lock_guard<std::mutex> lock(g_modulesLock);
        auto it = g_modules.find(path);
        if (it != g_modules.end()) {
            ++it->second.busy;
            *getClassObject = it->second.getClassObject;
            return S_OK;
        }
    }
    // Loading runs the module's initialisers, which may create objects
    // themselves: never hold the lock across dlopen.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* error = dlerror();
        ReportOnce(path, std::string("CoGetClassObject: cannot load ") + path + ": " +
                             (error ? error : "unknown error"));
        return CO_E_DLLNOTFOUND;
    }
    auto get = reinterpret_cast<DllGetClassObjectFn>(dlsym(handle, "DllGetClassObject"));
    if (!get) {
        dlclose(handle);
        ReportOnce(path, "CoGetClassObject: " + path + " has no DllGetClassObject");
        return CO_E_ERRORINDLL;
    }
    auto canUnload = reinterpret_cast<DllCanUnloadNowFn>(dlsym(handle, "DllCanUnloadNow"));
    bool alreadyCached = false;
    {
        std::lock_guard<std::mutex> lock(g_modulesLock);
        auto [it, inserted] = g_modules.try_emplace(path);
        if (inserted) {
            it->second.handle = handle;
            it->second.getClassObject = get;
            it->second.canUnloadNow = canUnload;
        } else {
            alreadyCached = true; // another thread loaded it meanwhile
            get = it->second.getClassObject;
        }
        ++it->second.busy;
    }
    // Both dlopen calls got the same handle; drop the extra reference.
    if (alreadyCached)
        dlclose(handle);
    *getClassObject = get;
    return S_OK;
}

void LeaveModule(const std::string& path)
{
    std::lock_guard<std::mutex> lock(g_modulesLock);
    auto it = g_modules.find(path);
    if (it != g_modules.end())
        --it->second.busy;
}

// ---- class objects registered in the process ----

struct RegisteredClass {
    DWORD cookie;
    CLSID clsid;
    LPUNKNOWN object;
    DWORD clsctx;
    DWORD flags;
    bool handedOut;
};

std::mutex g_classesLock;
// guarded by g_classesLock
std::vector<RegisteredClass> g_classes;
DWORD g_nextCookie = 1;

// The registered class object for clsid with one reference added, or null.
LPUNKNOWN TakeRegisteredClass(REFCLSID clsid, DWORD clsctx)
{
    std::lock_guard<std::mutex> lock(g_classesLock);
    for (RegisteredClass& entry : g_classes) {
        if (entry.clsid != clsid || (entry.clsctx & clsctx) == 0)
            continue;
        if (entry.flags == REGCLS_SINGLEUSE) {
            if (entry.handedOut)
                continue;
            entry.handedOut = true;
        }
        entry.object->AddRef();
        return entry.object;
    }
    return nullptr;
}

void TraceCall(const char* call, REFCLSID clsid, REFIID riid, HRESULT hr)
{
    TV_TRACE("com", "%s(%s, %s) -> 0x%08X", call, TvGuidToString(clsid).c_str(),
             TvGuidToString(riid).c_str(), static_cast<unsigned>(hr));
}

HRESULT GetClassObject(REFCLSID clsid, DWORD clsctx, REFIID riid, LPVOID* ppv)
{
    if (!ComUsable())
        return CO_E_NOTINITIALIZED;
    if (LPUNKNOWN registered = TakeRegisteredClass(clsid, clsctx)) {
        const HRESULT hr = registered->QueryInterface(riid, ppv);
        registered->Release();
        return hr;
    }
    if ((clsctx & CLSCTX_INPROC_SERVER) == 0)
        return REGDB_E_CLASSNOTREG;
    std::string path;
    HRESULT hr = FindInprocServer(clsid, &path);
    if (FAILED(hr))
        return hr;
    DllGetClassObjectFn get = nullptr;
    hr = EnterModule(path, &get);
    if (FAILED(hr))
        return hr;
    hr = get(clsid, riid, ppv);
    LeaveModule(path);
    return hr;
}

void FreeUnusedLibraries(std::chrono::milliseconds delay)
{
    const auto now = std::chrono::steady_clock::now();
    std::vector<void*> unload;
    {
        std::lock_guard<std::mutex> lock(g_modulesLock);
        for (auto it = g_modules.begin(); it != g_modules.end();) {
            LoadedModule& module = it->second;
            const bool unused =
                module.busy == 0 && module.canUnloadNow && module.canUnloadNow() == S_OK;
            if (!unused) {
                module.unusedSeen = false;
                ++it;
                continue;
            }
            if (delay.count() > 0 && (!module.unusedSeen || now - module.unusedSince < delay)) {
                if (!module.unusedSeen) {
                    module.unusedSeen = true;
                    module.unusedSince = now;
                }
                ++it;
                continue;
            }
            unload.push_back(module.handle);
            it = g_modules.erase(it);
        }
    }
    // The modules' finalisers may call back into COM: unload without the lock.
    // A module loaded again meanwhile holds its own reference and stays.
    for (void* handle : unload)
        dlclose(handle);
}

} // namespace

STDAPI CoInitialize(LPVOID reserved)
{
    return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED);
}

STDAPI CoInitializeEx(LPVOID reserved, DWORD coInit)
{
    const DWORD known =
        COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE | COINIT_SPEED_OVER_MEMORY;
    if (reserved || (coInit & ~known) != 0)
        return E_INVALIDARG;
    const DWORD model = coInit & COINIT_APARTMENTTHREADED;
    if (t_com.count > 0) {
        if (model != t_com.model)
            return RPC_E_CHANGED_MODE;
        ++t_com.count;
        return S_FALSE;
    }
    t_com.count = 1;
    t_com.model = model;
    g_initializedThreads.fetch_add(1, std::memory_order_relaxed);
    return S_OK;
}

STDAPI_(void) CoUninitialize(void)
{
    if (t_com.count == 0)
        return;
    if (--t_com.count == 0)
        g_initializedThreads.fetch_sub(1, std::memory_order_relaxed);
}

STDAPI CoGetClassObject(REFCLSID clsid, DWORD clsctx, LPVOID /*serverInfo*/, REFIID riid,
                        LPVOID* ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    const HRESULT hr = GetClassObject(clsid, clsctx, riid, ppv);
    if (FAILED(hr))
        *ppv = nullptr;
    TraceCall("CoGetClassObject", clsid, riid, hr);
    return hr;
}

STDAPI CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD clsctx, REFIID riid, LPVOID* ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    HRESULT hr;
    if (outer && riid != IID_IUnknown) {
        hr = CLASS_E_NOAGGREGATION;
    } else {
        IClassFactory* factory = nullptr;
        hr = GetClassObject(clsid, clsctx, IID_IClassFactory, reinterpret_cast<void**>(&factory));
        if (SUCCEEDED(hr)) {
            hr = factory->CreateInstance(outer, riid, ppv);
            factory->Release();
        }
        if (FAILED(hr))
            *ppv = nullptr;
    }
    TraceCall("CoCreateInstance", clsid, riid, hr);
    return hr;
}

STDAPI_(void) CoFreeUnusedLibraries(void)
{
    FreeUnusedLibraries(std::chrono::milliseconds(0));
}

STDAPI_(void) CoFreeUnusedLibrariesEx(DWORD unloadDelayMs, DWORD /*reserved*/)
{
    const DWORD delay = unloadDelayMs == INFINITE ? 10u * 60u * 1000u : unloadDelayMs;
    FreeUnusedLibraries(std::chrono::milliseconds(delay));
}

STDAPI CoRegisterClassObject(REFCLSID clsid, LPUNKNOWN object, DWORD clsctx, DWORD flags,
                             LPDWORD cookie)
{
    if (!object || !cookie)
        return E_INVALIDARG;
    *cookie = 0;
    if (!ComUsable())
        return CO_E_NOTINITIALIZED;
    object->AddRef();
    std::lock_guard<std::mutex> lock(g_classesLock);
    *cookie = g_nextCookie++;
    g_classes.push_back(RegisteredClass{*cookie, clsid, object, clsctx, flags, false});
    return S_OK;
}

STDAPI CoRevokeClassObject(DWORD cookie)
{
    LPUNKNOWN object = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_classesLock);
        for (auto it = g_classes.begin(); it != g_classes.end(); ++it) {
            if (it->cookie == cookie) {
                object = it->object;
                g_classes.erase(it);
                break;
            }
        }
    }
    if (!object)
        return E_INVALIDARG;
    // Released outside the lock: the last release may run any code.
    object->Release();
    return S_OK;
}

STDAPI_(LPVOID) CoTaskMemAlloc(SIZE_T size)
{
    return std::malloc(size ? size : 1);
}

STDAPI_(LPVOID) CoTaskMemRealloc(LPVOID block, SIZE_T size)
{
    if (block && size == 0) {
        std::free(block);
        return nullptr;
    }
    return std::realloc(block, size ? size : 1);
}

STDAPI_(void) CoTaskMemFree(LPVOID block)
{
    std::free(block);
}
