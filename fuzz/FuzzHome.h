// The throw-away state of a fuzz target: one Engine over a folder of its own
// under /dev/shm (or TMPDIR), removed when the run ends, and the abort that
// tells libFuzzer a check failed.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "engine/Engine.h"

namespace pennaform::fuzz {

inline void require(bool condition) {
    if (!condition) std::abort();
}

// FuzzHome: the Engine and its state folder. renew() starts over with an
// empty folder, for targets whose inputs pile state up.
class FuzzHome {
public:
    explicit FuzzHome(bool untrustedCaller = false) : untrustedCaller_(untrustedCaller) { renew(); }
    FuzzHome(const FuzzHome&) = delete;
    FuzzHome& operator=(const FuzzHome&) = delete;
    ~FuzzHome() {
        engine_.reset();
        removeFolder();
    }

    Engine& engine() { return *engine_; }

    void renew() {
        engine_.reset();
        removeFolder();
        std::filesystem::path base = std::filesystem::exists("/dev/shm")
                                         ? std::filesystem::path("/dev/shm")
                                         : std::filesystem::temp_directory_path();
        std::string pattern = (base / "pennaform-fuzz-XXXXXX").string();
        require(mkdtemp(pattern.data()) != nullptr);
        folder_ = pattern;
        engine_ = std::make_unique<Engine>(EngineConfig{folder_ + "/home", untrustedCaller_});
    }

private:
    void removeFolder() {
        std::error_code ignored;
        if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
    }

    bool untrustedCaller_;
    std::string folder_;
    std::unique_ptr<Engine> engine_;
};

}  // namespace pennaform::fuzz
