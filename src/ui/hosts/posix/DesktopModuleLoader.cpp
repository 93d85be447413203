#include "ui/hosts/posix/DesktopModuleLoader.h"

#include <dlfcn.h>
#include <stdlib.h>

#include <string>

#include "platform/ModulePath.h"

namespace pennaform::ui {
namespace {

constexpr const char* kModuleName = "libpennaform_gtk.so";

// loadModule: the module's handle, kept for the rest of the process: GTK
// cannot be unloaded once it has opened a display.
void* loadModule() {
    const char* named = getenv("PENNAFORM_GTK_MODULE");
    if (named != nullptr && *named != '\0') return dlopen(named, RTLD_NOW | RTLD_LOCAL);
    std::string beside = platform::loadedModulePath();
    std::size_t slash = beside.rfind('/');
    if (slash != std::string::npos) {
        beside = beside.substr(0, slash + 1) + kModuleName;
        if (void* module = dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL)) return module;
    }
    return dlopen(kModuleName, RTLD_NOW | RTLD_LOCAL);
}

}  // namespace

std::unique_ptr<DesktopWindows> openDesktopWindows(const TextConverter& text) {
    static void* const module = loadModule();
    if (module == nullptr) return nullptr;
    auto open = reinterpret_cast<OpenDesktopWindows>(dlsym(module, kOpenDesktopWindowsSymbol));
    if (open == nullptr) return nullptr;
    return std::unique_ptr<DesktopWindows>(open(&text));
}

}  // namespace pennaform::ui
