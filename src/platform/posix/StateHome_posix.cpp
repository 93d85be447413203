// StateHome on POSIX: the folders follow the XDG base-directory rules unless
// the command or the environment names them.
#include <pwd.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/StateHome.h"
#include "platform/posix/PosixErrors.h"

namespace pennaform::platform {
namespace {

constexpr std::string_view kFolderName = "pennaform";
constexpr std::string_view kDatabaseName = "pennaform.db";
constexpr std::string_view kMachineHiveName = "machine.db";
constexpr std::string_view kDefaultMachineFolder = "/etc/pennaform";
constexpr mode_t kPrivateFolderMode = 0700;

// nonEmptyEnv: the variable's value, or nullopt when it is unset or empty
// (the XDG rules treat an empty variable as unset).
std::optional<std::string> nonEmptyEnv(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    return std::string(value);
}

// passwordDatabaseHome: the user's home folder from the password database,
// for a process started without HOME.
std::optional<std::string> passwordDatabaseHome() {
    long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    while (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE) {
        if (buffer.size() >= (1u << 20)) return std::nullopt;
        buffer.resize(buffer.size() * 2);
    }
    if (found == nullptr || found->pw_dir == nullptr || *found->pw_dir == '\0') return std::nullopt;
    return std::string(found->pw_dir);
}

std::string resolveUserFolder(std::optional<std::string> homeOverride) {
    if (homeOverride && !homeOverride->empty()) return std::move(*homeOverride);
    if (auto home = nonEmptyEnv("PENNAFORM_HOME")) return *home;
    // XDG_DATA_HOME must be absolute; a relative one is to be ignored.
    if (auto dataHome = nonEmptyEnv("XDG_DATA_HOME"); dataHome && dataHome->front() == '/') {
        return joinPath(*dataHome, kFolderName);
    }
    std::optional<std::string> home = nonEmptyEnv("HOME");
    if (!home) home = passwordDatabaseHome();
    if (!home) return {};
    return joinPath(joinPath(*home, ".local/share"), kFolderName);
}

// errnoFailure: the Windows error number for a failed call on a folder:
// refused permission reads as access denied, anything else as a path that
// cannot be found.
Failure errnoFailure(int error) {
    return fail(windowsErrorFor(error, ErrnoContext::kMakingFolder));
}

Status requireDirectory(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return errnoFailure(errno);
    if (!S_ISDIR(info.st_mode)) return fail(errors::kErrorPathNotFound);
    return Status::success();
}

// ensureDirectory: makes `path` exist as a directory. A folder made here is
// set to 0700 after mkdir, because the umask may have taken bits from it
// (owner bits included, which would make the next level impossible).
Status ensureDirectory(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) == 0) {
        return S_ISDIR(info.st_mode) ? Status::success() : fail(errors::kErrorPathNotFound);
    }
    if (errno != ENOENT) return errnoFailure(errno);
    if (mkdir(path.c_str(), kPrivateFolderMode) != 0) {
        // Another process (another instance on the same home) may have made
        // it since the stat; that is as good as making it here.
        if (errno == EEXIST) return requireDirectory(path);
        return errnoFailure(errno);
    }
    if (chmod(path.c_str(), kPrivateFolderMode) != 0) return errnoFailure(errno);
    return Status::success();
}

}  // namespace

StateHome::StateHome(std::optional<std::string> homeOverride)
    : userFolder_(resolveUserFolder(std::move(homeOverride))),
      machineFolder_(
          nonEmptyEnv("PENNAFORM_MACHINE_HOME").value_or(std::string(kDefaultMachineFolder))) {}

std::string StateHome::databasePath() const {
    if (userFolder_.empty()) return {};
    return joinPath(userFolder_, kDatabaseName);
}

std::string StateHome::machineHivePath() const {
    if (machineFolder_.empty()) return {};
    return joinPath(machineFolder_, kMachineHiveName);
}

Status StateHome::ensureCreated() const {
    if (userFolder_.empty()) return fail(errors::kErrorPathNotFound);

    // Split into components; empty ones (repeated or trailing '/') are skipped.
    std::vector<std::string_view> parts;
    std::string_view rest = userFolder_;
    while (!rest.empty()) {
        std::size_t slash = rest.find('/');
        std::string_view part = rest.substr(0, slash);
        if (!part.empty()) parts.push_back(part);
        if (slash == std::string_view::npos) break;
        rest.remove_prefix(slash + 1);
    }
    if (parts.empty()) return requireDirectory(userFolder_);  // the root itself

    std::string prefix = userFolder_.front() == '/' ? "/" : "";
    for (std::string_view part : parts) {
        if (!prefix.empty() && prefix.back() != '/') prefix += '/';
        prefix += part;
        Status made = ensureDirectory(prefix);
        if (!made) return made;
    }
    return Status::success();
}

}  // namespace pennaform::platform
