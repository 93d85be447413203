// TemporaryFolder: a fresh folder under the system's temporary folder,
// removed with everything in it when the object goes.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>

namespace pennaform::test {

class TemporaryFolder {
public:
    TemporaryFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "pennaform-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    ~TemporaryFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }

    // path: the folder; empty when it could not be made.
    const std::string& path() const { return path_; }
    // sub: a path inside the folder (not created).
    std::string sub(const std::string& name) const { return path_ + "/" + name; }
    // file: the path of `name` in the folder, written with `content`.
    std::string file(const std::string& name, std::string_view content) const {
        const std::string full = sub(name);
        std::ofstream(full, std::ios::binary)
            .write(content.data(), std::streamsize(content.size()));
        return full;
    }

private:
    std::string path_;
};

// fileText: the whole content of the file at `path` (empty when unreadable).
inline std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace pennaform::test
