#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <memory>

#include "platform/ModulePath.h"

namespace pennaform::platform {

std::string loadedModulePath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&loadedModulePath), &info) == 0 ||
        info.dli_fname == nullptr) {
        return {};
    }
    // The name the loader was given may be relative; the registration keeps
    // a full path, as a host that loads the server later needs one.
    std::unique_ptr<char, decltype(&free)> full(realpath(info.dli_fname, nullptr), &free);
    return full ? std::string(full.get()) : std::string(info.dli_fname);
}

}  // namespace pennaform::platform
