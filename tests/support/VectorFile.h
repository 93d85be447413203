// Known-answer files: blocks of `key = value` lines separated by blank lines,
// '#' starting a comment line. A test reads the keys it knows from each
// block; finishing a block reports any key the test never read, so a typo or
// a new field in a file cannot pass unnoticed.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace pennaform::test {

class VectorBlock {
public:
    VectorBlock(std::string file, int line) : file_(std::move(file)), line_(line) {}

    // add: stores one key; false when the block already has it.
    bool add(std::string key, std::string value);
    bool has(std::string_view key) const;
    // get: the value, marking the key as read; a missing key fails the test
    // and gives "".
    std::string get(std::string_view key);
    // finish: fails the test for every key that was never read.
    void finish() const;
    // where: "file:line" of the block's first line, for messages.
    std::string where() const { return file_ + ":" + std::to_string(line_); }

private:
    struct Entry {
        std::string value;
        bool read = false;
    };
    std::string file_;
    int line_;
    std::map<std::string, Entry, std::less<>> entries_;
};

// readVectorFile: the blocks of the file at `path`; a malformed line (no
// '=') or a repeated key fails the test.
std::vector<VectorBlock> readVectorFile(const std::string& path);

// hexToBytes: the bytes of a hex string (upper or lower case); a malformed
// string fails the test.
std::string hexToBytes(std::string_view hex);

}  // namespace pennaform::test
