#include "support/TestCa.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace pennaform::test {

std::string testCaPath() {
    const char* path = std::getenv("PENNAFORM_TESTCA");
    return path != nullptr && *path != '\0' ? path : PENNAFORM_TESTCA_BUILT;
}

ProcessResult TestCa::run(const std::vector<std::string>& words) const {
    std::vector<std::string> argv{testCaPath()};
    argv.insert(argv.end(), words.begin(), words.end());
    return runProcess(argv);
}

std::optional<std::vector<std::uint8_t>> TestCa::certificate(
    const std::string& name, const std::vector<std::string>& options) {
    std::vector<std::string> words{"cert", "--out", path(name + ".der")};
    if (std::find(options.begin(), options.end(), "--key") == options.end()) {
        words.insert(words.end(), {"--key-out", path(name + ".key.pem")});
    }
    words.insert(words.end(), options.begin(), options.end());
    ProcessResult result = run(words);
    lastError_ = result.err;
    if (result.exitStatus != 0) return std::nullopt;
    return readBinaryFile(path(name + ".der"));
}

std::vector<std::uint8_t> readBinaryFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file),
                                     std::istreambuf_iterator<char>());
}

}  // namespace pennaform::test
