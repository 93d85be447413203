// A temporary folder for a test, removed with everything in it at the end.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace pennaform::test {

class TempDir {
public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "pennaform-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // file: the path of `name` in the folder, written with `content`.
    std::string file(const std::string& name, std::string_view content) const {
        const std::string full = path_ + "/" + name;
        std::ofstream(full, std::ios::binary)
            .write(content.data(), std::streamsize(content.size()));
        return full;
    }

private:
    std::string path_;
};

}  // namespace pennaform::test
