#include "platform/posix/OsFacts_posix.h"

#include <fcntl.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <sys/socket.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>

#include "platform/CodePage.h"
#include "platform/posix/FileDescriptor.h"

namespace pennaform::platform {
namespace {

constexpr const char* kOsReleasePath = "/etc/os-release";
// An os-release file is a few hundred bytes; anything beyond this is not one.
constexpr std::size_t kOsReleaseLimit = 64 * 1024;
constexpr std::uint64_t kUnixEpochTicks = 116444736000000000ull;
constexpr std::uint64_t kTicksPerSecond = 10000000ull;

// readSmallFile: the file's content, at most `limit` bytes; nullopt when it
// cannot be opened or read.
std::optional<std::string> readSmallFile(const char* path, std::size_t limit) {
    FileDescriptor file(open(path, O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) return std::nullopt;
    std::string content;
    char buffer[4096];
    while (content.size() < limit) {
        ssize_t n = read(file.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        content.append(buffer, std::min(std::size_t(n), limit - content.size()));
    }
    return content;
}

// unquoted: an os-release value with its shell quoting undone. Inside double
// quotes a backslash escapes ", \, $ and `; single quotes take everything
// literally.
std::string unquoted(std::string_view value) {
    std::string out;
    char quote = 0;
    for (std::size_t i = 0; i < value.size(); ++i) {
        char c = value[i];
        if (quote == 0 && (c == '"' || c == '\'')) {
            quote = c;
        } else if (c == quote) {
            quote = 0;
        } else if (c == '\\' && quote != '\'' && i + 1 < value.size() &&
                   std::string_view("\"\\$`").find(value[i + 1]) != std::string_view::npos) {
            out += value[++i];
        } else {
            out += c;
        }
    }
    return out;
}

class PosixOsFacts : public OsFacts {
public:
    Outcome<OsVersion> version() const override {
        OsVersion windows10;
        windows10.major = 10;
        windows10.minor = 0;
        windows10.platformId = 2;   // NT
        windows10.productType = 1;  // workstation
        return windows10;
    }

    std::optional<std::string> hostSystemName() const override {
        std::optional<std::string> content = readSmallFile(kOsReleasePath, kOsReleaseLimit);
        std::optional<std::string> pretty =
            content ? prettyNameFromOsRelease(*content) : std::nullopt;
        if (pretty) return CodePage::process().fromUtf8(*pretty);
        utsname system{};
        if (uname(&system) != 0) return std::string();
        return CodePage::process().fromUtf8(std::string(system.sysname) + " " + system.release);
    }

    Outcome<std::vector<NetworkAdapter>> networkAdapters() const override {
        ifaddrs* list = nullptr;
        if (getifaddrs(&list) != 0) return fail(errors::kErrorNotSupported);
        std::unique_ptr<ifaddrs, decltype(&freeifaddrs)> owner(list, &freeifaddrs);
        std::vector<NetworkAdapter> adapters;
        for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
            if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_PACKET) continue;
            if ((entry->ifa_flags & IFF_LOOPBACK) != 0) continue;
            const auto* link = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
            NetworkAdapter adapter;
            adapter.length = std::min<std::uint32_t>(link->sll_halen, adapter.address.size());
            std::copy_n(link->sll_addr, adapter.length, adapter.address.begin());
            bool allZero = std::all_of(adapter.address.begin(), adapter.address.end(),
                                       [](std::uint8_t b) { return b == 0; });
            if (!allZero) adapters.push_back(adapter);
        }
        if (adapters.empty()) return fail(errors::kErrorNoData);
        return adapters;
    }

    std::string homeFolder() const override {
        const char* home = std::getenv("HOME");
        return home != nullptr ? std::string(home) : std::string();
    }

    FileTime currentTime() const override {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        return FileTime{kUnixEpochTicks + std::uint64_t(now.tv_sec) * kTicksPerSecond +
                        std::uint64_t(now.tv_nsec) / 100};
    }

    std::int64_t localTimeOffsetSeconds() const override {
        tzset();  // TZ may have changed since the last call
        std::time_t now = std::time(nullptr);
        std::tm local{};
        if (localtime_r(&now, &local) == nullptr) return 0;
        return local.tm_gmtoff;
    }
};

}  // namespace

std::optional<std::string> prettyNameFromOsRelease(std::string_view content) {
    constexpr std::string_view kKey = "PRETTY_NAME=";
    std::optional<std::string> found;
    while (!content.empty()) {
        std::size_t end = content.find('\n');
        std::string_view line = content.substr(0, end);
        content = end == std::string_view::npos ? std::string_view() : content.substr(end + 1);
        while (!line.empty() &&
               (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
            line.remove_suffix(1);
        }
        if (line.substr(0, kKey.size()) == kKey) found = unquoted(line.substr(kKey.size()));
    }
    if (found && found->empty()) return std::nullopt;
    return found;
}

std::unique_ptr<OsFacts> makePosixOsFacts() {
    return std::make_unique<PosixOsFacts>();
}

}  // namespace pennaform::platform
