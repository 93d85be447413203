// keepScreenshots: copies a test's screenshots to the folder that
// PENNAFORM_GTK_KEEP_SCREENSHOTS names (how docs/ is refreshed); nothing
// when it is not set.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace pennaform::test {

inline void keepScreenshots(const std::string& shots) {
    if (const char* keep = std::getenv("PENNAFORM_GTK_KEEP_SCREENSHOTS")) {
        std::filesystem::copy(shots, keep,
                              std::filesystem::copy_options::overwrite_existing |
                                  std::filesystem::copy_options::recursive);
    }
}

}  // namespace pennaform::test
