#include "support/VectorFile.h"

#include <gtest/gtest.h>

#include <fstream>

namespace pennaform::test {
namespace {

std::string_view trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(" \t\r");
    return s.substr(first, last - first + 1);
}

}  // namespace

bool VectorBlock::add(std::string key, std::string value) {
    return entries_.emplace(std::move(key), Entry{std::move(value)}).second;
}

bool VectorBlock::has(std::string_view key) const {
    return entries_.find(key) != entries_.end();
}

std::string VectorBlock::get(std::string_view key) {
    auto it = entries_.find(key);
    if (it == entries_.end()) {
        ADD_FAILURE() << where() << ": no key " << key;
        return {};
    }
    it->second.read = true;
    return it->second.value;
}

void VectorBlock::finish() const {
    for (const auto& [key, entry] : entries_) {
        if (!entry.read) ADD_FAILURE() << where() << ": key " << key << " was never read";
    }
}

std::vector<VectorBlock> readVectorFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) {
        ADD_FAILURE() << "cannot open " << path;
        return {};
    }
    std::vector<VectorBlock> blocks;
    bool inBlock = false;
    int lineNumber = 0;
    for (std::string line; std::getline(in, line);) {
        ++lineNumber;
        const std::string_view text = trim(line);
        if (text.empty()) {
            inBlock = false;
            continue;
        }
        if (text.front() == '#') continue;
        const auto equals = text.find('=');
        if (equals == std::string_view::npos) {
            ADD_FAILURE() << path << ":" << lineNumber << ": not a key = value line";
            continue;
        }
        if (!inBlock) blocks.emplace_back(path, lineNumber);
        inBlock = true;
        std::string key(trim(text.substr(0, equals)));
        std::string value(trim(text.substr(equals + 1)));
        if (!blocks.back().add(key, std::move(value))) {
            ADD_FAILURE() << path << ":" << lineNumber << ": key " << key << " repeated";
        }
    }
    return blocks;
}

std::string hexToBytes(std::string_view hex) {
    auto value = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string out;
    if (hex.size() % 2 != 0) {
        ADD_FAILURE() << "odd hex length: " << hex;
        return out;
    }
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = value(hex[i]), low = value(hex[i + 1]);
        if (high < 0 || low < 0) {
            ADD_FAILURE() << "not hex: " << hex;
            return {};
        }
        out.push_back(char(high * 16 + low));
    }
    return out;
}

}  // namespace pennaform::test
