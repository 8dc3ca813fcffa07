// tvregsvr [/u] [/s] module.so...
//
// Loads each module and calls its DllRegisterServer (or DllUnregisterServer
// with /u). The registry is the one every program uses (TvGetRegistryPath:
// TARVO_REGISTRY, else the build tree's, else the user's). /s leaves out the
// success lines; failures are always reported on standard error.
// Exit status: 0 all succeeded, 1 bad arguments, 3 a module did not load,
// 4 a module lacks the entry point, 5 an entry point failed. With several
// modules the first failure's status is returned after trying them all.
#include <dlfcn.h>

#include <cstdio>
#include <string>
#include <vector>

#include "com/coapi.h"
#include "win32/registry.h"

namespace {

enum ExitStatus { kOk = 0, kUsage = 1, kLoadFailed = 3, kNoEntryPoint = 4, kCallFailed = 5 };

void Usage()
{
    std::fprintf(stderr,
                 "usage: tvregsvr [/u] [/s] module.so...\n"
                 "  /u  unregister (DllUnregisterServer)\n"
                 "  /s  silent: no success messages\n"
                 "registry: %s\n",
                 TvGetRegistryPath());
}

// "/u", "-u", "/U", "-U" and the same for s. Any other argument is a module,
// so absolute paths such as /usr/lib/x.so are never taken for options.
bool IsOption(const char* arg, char letter)
{
    return (arg[0] == '/' || arg[0] == '-') && (arg[1] == letter || arg[1] == letter - 'a' + 'A') &&
           arg[2] == 0;
}

int Process(const std::string& module, bool unregister, bool silent)
{
    const char* entryName = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    // dlopen searches the library path for names without a slash; a module
    // named on the command line is a file.
    const std::string path = module.find('/') == std::string::npos ? "./" + module : module;
    // RTLD_NODELETE: libraries a module pulls in keep allocations made by
    // their constructors in their own globals (libgomp under libavcodec's
    // resampler, pixman under cairo). Unmapping them on dlclose hides those
    // roots, and LeakSanitizer, checking at exit, then takes the blocks for
    // leaks of ours. A one-shot tool gains nothing from unloading.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!handle) {
        const char* error = dlerror();
        std::fprintf(stderr, "tvregsvr: cannot load %s: %s\n", module.c_str(),
                     error ? error : "unknown error");
        return kLoadFailed;
    }
    typedef HRESULT (*EntryPoint)(void);
    auto entry = reinterpret_cast<EntryPoint>(dlsym(handle, entryName));
    if (!entry) {
        std::fprintf(stderr, "tvregsvr: %s was loaded, but the %s entry point was not found.\n",
                     module.c_str(), entryName);
        dlclose(handle);
        return kNoEntryPoint;
    }
    const HRESULT hr = entry();
    dlclose(handle);
    if (FAILED(hr)) {
        std::fprintf(stderr, "tvregsvr: %s in %s failed. Return code was: 0x%08X\n", entryName,
                     module.c_str(), static_cast<unsigned>(hr));
        return kCallFailed;
    }
    if (!silent)
        std::printf("%s in %s succeeded.\n", entryName, module.c_str());
    return kOk;
}

} // namespace

int main(int argc, char** argv)
{
    bool unregister = false;
    bool silent = false;
    std::vector<std::string> modules;
    for (int i = 1; i < argc; ++i) {
        if (IsOption(argv[i], 'u'))
            unregister = true;
        else if (IsOption(argv[i], 's'))
            silent = true;
        else if (argv[i][0] == '-' && argv[i][1] != 0)
            return Usage(), kUsage;
        else
            modules.push_back(argv[i]);
    }
    if (modules.empty()) {
        Usage();
        return kUsage;
    }
    // As regsvr32 does: a module's registration may create objects.
    const HRESULT init = CoInitialize(nullptr);
    int status = kOk;
    for (const std::string& module : modules) {
        const int result = Process(module, unregister, silent);
        if (status == kOk)
            status = result;
    }
    if (SUCCEEDED(init))
        CoUninitialize();
    return status;
}
