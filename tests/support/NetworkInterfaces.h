// The kernel's network interfaces as /sys/class/net shows them, read
// independently of the component for tests to compare against.
#pragma once

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace pennaform::test {

// sysfsMacAddresses: the hardware addresses of the interfaces that are not
// loopback and not all zero, in interface-index order, each as the first six
// bytes in "%02X-%02X-%02X-%02X-%02X-%02X" (missing bytes as 00).
inline std::vector<std::string> sysfsMacAddresses() {
    constexpr unsigned kLoopbackFlag = 0x8;  // IFF_LOOPBACK
    std::vector<std::pair<int, std::string>> found;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/class/net")) {
        auto readLine = [&](const char* file) {
            std::string line;
            std::ifstream in(entry.path() / file);
            std::getline(in, line);
            return line;
        };
        unsigned flags = unsigned(std::stoul(readLine("flags"), nullptr, 16));
        if ((flags & kLoopbackFlag) != 0) continue;
        std::string address = readLine("address");
        unsigned bytes[6] = {};
        bool nonZero = false;
        std::size_t count = 0;
        for (std::size_t at = 0; at < address.size() && count < 8; at += 3, ++count) {
            unsigned byte = unsigned(std::stoul(address.substr(at, 2), nullptr, 16));
            if (count < 6) bytes[count] = byte;
            nonZero = nonZero || byte != 0;
        }
        if (!nonZero) continue;
        char text[18];
        std::snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X", bytes[0], bytes[1],
                      bytes[2], bytes[3], bytes[4], bytes[5]);
        found.emplace_back(std::stoi(readLine("ifindex")), text);
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> addresses;
    for (auto& [index, text] : found) addresses.push_back(text);
    return addresses;
}

}  // namespace pennaform::test
