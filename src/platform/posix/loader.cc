// LoadLibraryA, GetProcAddress and FreeLibrary over dlopen, with the loader's DllMain calls:
// process attach at the first load of a module, process detach at its last unload, and an attach
// that returns FALSE is answered with a detach, the module is unloaded and the load fails.
#include <cstring>
#include <dlfcn.h>
#include <link.h>
#include <map>
#include <mutex>
#include <unistd.h>

#include "platform/posix/standin.h"

namespace {

typedef BOOL(WINAPI* EntryPoint)(HINSTANCE, DWORD, LPVOID);

std::mutex loaderLock;
std::map<void*, int> references;

EntryPoint FindEntry(void* module) {
    return reinterpret_cast<EntryPoint>(dlsym(module, "DllMain"));
}

}  // namespace

HMODULE WINAPI LoadLibraryA(LPCSTR fileName) {
    if (fileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::lock_guard<std::mutex> guard(loaderLock);
    void* module = dlopen(standin::HostPath(fileName).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    if (++references[module] == 1) {
        EntryPoint entry = FindEntry(module);
        HINSTANCE instance = static_cast<HINSTANCE>(module);
        if (entry != nullptr && !entry(instance, DLL_PROCESS_ATTACH, nullptr)) {
            entry(instance, DLL_PROCESS_DETACH, nullptr);
            references.erase(module);
            dlclose(module);
            SetLastError(ERROR_DLL_INIT_FAILED);
            return nullptr;
        }
    }
    return static_cast<HMODULE>(module);
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name) {
    void* symbol = module != nullptr && name != nullptr ? dlsym(module, name) : nullptr;
    if (symbol == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
    }
    return reinterpret_cast<FARPROC>(symbol);
}

BOOL WINAPI FreeLibrary(HMODULE module) {
    std::lock_guard<std::mutex> guard(loaderLock);
    auto found = references.find(module);
    if (found == references.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (--found->second == 0) {
        references.erase(found);
        if (EntryPoint entry = FindEntry(module)) {
            entry(static_cast<HINSTANCE>(module), DLL_PROCESS_DETACH, nullptr);
        }
    }
    dlclose(module);
    return TRUE;
}

DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
    std::string path;
    if (module == nullptr) {
        char link[4096];
        ssize_t n = readlink("/proc/self/exe", link, sizeof link - 1);
        path.assign(link, n > 0 ? static_cast<size_t>(n) : 0);
    } else {
        link_map* map = nullptr;
        if (dlinfo(module, RTLD_DI_LINKMAP, &map) == 0 && map != nullptr) {
            path = map->l_name;
        }
    }
    if (path.empty() || size == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    DWORD length = path.size() < size ? static_cast<DWORD>(path.size()) : size - 1;
    std::memcpy(buffer, path.data(), length);
    buffer[length] = '\0';
    return length;
}
