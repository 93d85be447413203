#include "platform/posix/SharedMemory_posix.h"

#include <fcntl.h>
#include <linux/futex.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <openssl/evp.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/HexText.h"
#include "platform/SecretBytes.h"
#include "platform/posix/FileDescriptor.h"
#include "platform/posix/PosixErrors.h"

namespace pennaform::platform {
namespace {

// A block is never read beyond this, whatever size its file has grown to.
constexpr off_t kMaxBlockSize = 1 << 20;
constexpr std::size_t kEventFileSize = 4096;
constexpr std::size_t kMaxFileName = 255;

using WipedBytes = std::vector<std::uint8_t, WipingAllocator<std::uint8_t>>;

bool isPrivate(const struct stat& status, mode_t type) {
    return (status.st_mode & S_IFMT) == type && status.st_uid == geteuid() &&
           (status.st_mode & 077) == 0;
}

Failure openFailure(int error, ErrnoContext context) {
    // A link where a folder or file of ours should be is refused, not followed.
    return fail(error == ELOOP || error == ENOTDIR ? errors::kErrorAccessDenied
                                                   : windowsErrorFor(error, context));
}

// openPrivateFolder: the folder `name` under `parent`, made 0700 first when
// `create` asks and it is missing; refused unless it is a folder of the
// user's own that grants nothing to anyone else.
Outcome<FileDescriptor> openPrivateFolder(int parent, const std::string& name, bool create) {
    if (create && ::mkdirat(parent, name.c_str(), 0700) != 0 && errno != EEXIST) {
        return fail(windowsErrorFor(errno, ErrnoContext::kMakingFolder));
    }
    FileDescriptor folder(
        ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder.valid()) return openFailure(errno, ErrnoContext::kMakingFolder);
    struct stat status {};
    if (::fstat(folder.get(), &status) != 0 || !isPrivate(status, S_IFDIR)) {
        return fail(errors::kErrorAccessDenied);
    }
    return folder;
}

// sessionFolder: $XDG_RUNTIME_DIR/pennaform when the runtime folder is the
// user's own and private, else /dev/shm/pennaform-<uid>.
Outcome<FileDescriptor> sessionFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/') {
        if (Outcome<FileDescriptor> base = openPrivateFolder(AT_FDCWD, runtime, false)) {
            return openPrivateFolder(base->get(), "pennaform", true);
        }
    }
    FileDescriptor shm(::open("/dev/shm", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!shm.valid()) return fail(errors::kErrorPathNotFound);
    return openPrivateFolder(shm.get(), "pennaform-" + std::to_string(geteuid()), true);
}

// openPrivateFile: the file `name` in `folder`, created 0600 when missing;
// refused unless it is a regular file of the user's own, private to them.
Outcome<FileDescriptor> openPrivateFile(const FileDescriptor& folder, const std::string& name) {
    FileDescriptor file(
        ::openat(folder.get(), name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!file.valid()) return openFailure(errno, ErrnoContext::kCreatingFile);
    struct stat status {};
    if (::fstat(file.get(), &status) != 0 || !isPrivate(status, S_IFREG)) {
        return fail(errors::kErrorAccessDenied);
    }
    return file;
}

// homeTag: 16 hex digits of the SHA-256 of the resolved state home.
std::string homeTag(const StateHome& home) {
    std::error_code ignored;
    const std::string resolved = std::filesystem::weakly_canonical(
                                     std::filesystem::absolute(home.userFolder(), ignored), ignored)
                                     .string();
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(resolved.data(), resolved.size(), digest, &length, EVP_sha256(), nullptr) != 1) {
        return "nohash";
    }
    return upperHex(std::span<const std::uint8_t>(digest, std::min(length, 8u)));
}

// objectFileName: the file of the object `name` of one kind: letters,
// digits, '_' and '-' kept, every other byte %XX, so that no name can hold
// a '/' or be "..". Without the "Global\" or "Local\" prefix, which name the
// same session here.
std::string objectFileName(std::string_view kind, std::string_view name, const std::string& tag) {
    for (std::string_view prefix : {std::string_view("Global\\"), std::string_view("Local\\")}) {
        if (name.substr(0, prefix.size()) == prefix) name.remove_prefix(prefix.size());
    }
    std::string file(kind);
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
            (byte >= '0' && byte <= '9') || c == '_' || c == '-') {
            file += c;
        } else {
            file += '%';
            file += upperHexDigit(byte >> 4);
            file += upperHexDigit(byte);
        }
    }
    return file + "." + tag;
}

// FileLock: an exclusive flock held on a descriptor for the scope.
class FileLock {
public:
    explicit FileLock(int fd) : fd_(fd) {
        for (;;) {
            if (::flock(fd_, LOCK_EX) == 0) {
                held_ = true;
                return;
            }
            if (errno != EINTR) {
                error_ = errno;
                return;
            }
        }
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock() {
        if (held_) ::flock(fd_, LOCK_UN);
    }
    bool held() const { return held_; }
    int error() const { return error_; }

private:
    int fd_;
    bool held_ = false;
    int error_ = 0;
};

// readAt, writeAt: the whole range, retried across interruptions; false on
// an error (a read that meets the end early keeps what it read in `done`).
bool readAt(int fd, std::uint8_t* data, std::size_t size, std::size_t& done) {
    done = 0;
    while (done < size) {
        const ssize_t got = ::pread(fd, data + done, size - done, off_t(done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) break;
        done += std::size_t(got);
    }
    return true;
}

bool writeAt(int fd, const std::uint8_t* data, std::size_t size, off_t offset) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t put = ::pwrite(fd, data + done, size - done, offset + off_t(done));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        done += std::size_t(put);
    }
    return true;
}

class PosixSharedBlock final : public SharedBlock {
public:
    PosixSharedBlock(FileDescriptor file, bool created, std::uint32_t size)
        : file_(std::move(file)), created_(created), size_(size) {}

    bool created() const override { return created_; }
    std::uint32_t size() const override { return size_; }

    Status access(const std::function<Status(std::span<std::uint8_t>)>& body) override {
        FileLock lock(file_.get());
        if (!lock.held()) return fail(windowsErrorFor(lock.error(), ErrnoContext::kCreatingFile));
        struct stat status {};
        if (::fstat(file_.get(), &status) != 0) {
            return fail(windowsErrorFor(errno, ErrnoContext::kCreatingFile));
        }
        // The file's real size bounds everything, whatever the block says.
        WipedBytes bytes(std::size_t(std::clamp<off_t>(status.st_size, 0, kMaxBlockSize)));
        std::size_t read = 0;
        if (!readAt(file_.get(), bytes.data(), bytes.size(), read)) {
            return fail(windowsErrorFor(errno, ErrnoContext::kCreatingFile));
        }
        bytes.resize(read);
        const WipedBytes before = bytes;
        Status result = body(std::span<std::uint8_t>(bytes));
        // Only the changed range goes back.
        const auto first = std::mismatch(bytes.begin(), bytes.end(), before.begin()).first;
        if (first != bytes.end()) {
            const auto last = std::mismatch(bytes.rbegin(), bytes.rend(), before.rbegin()).first;
            const std::size_t from = std::size_t(first - bytes.begin());
            const std::size_t to = bytes.size() - std::size_t(last - bytes.rbegin());
            if (!writeAt(file_.get(), bytes.data() + from, to - from, off_t(from)) && result) {
                return fail(windowsErrorFor(errno, ErrnoContext::kCreatingFile));
            }
        }
        return result;
    }

private:
    FileDescriptor file_;
    bool created_;
    std::uint32_t size_;
};

// SharedWord: the first word of an event's file, mapped shared; unmapped
// with the object.
class SharedWord {
public:
    SharedWord(void* mapping) : mapping_(mapping) {}
    SharedWord(const SharedWord&) = delete;
    SharedWord& operator=(const SharedWord&) = delete;
    ~SharedWord() { ::munmap(mapping_, kEventFileSize); }
    std::uint32_t* word() const { return static_cast<std::uint32_t*>(mapping_); }

private:
    void* mapping_;
};

long futex(std::uint32_t* word, int operation, std::uint32_t value, const timespec* timeout) {
    return ::syscall(SYS_futex, word, operation, value, timeout, nullptr, 0);
}

class PosixNamedEvent final : public NamedEvent {
public:
    PosixNamedEvent(FileDescriptor file, std::unique_ptr<SharedWord> word)
        : file_(std::move(file)), word_(std::move(word)) {}

    Status set() override {
        signal().store(1, std::memory_order_release);
        futex(word_->word(), FUTEX_WAKE, INT_MAX, nullptr);
        return Status::success();
    }
    Status reset() override {
        signal().store(0, std::memory_order_release);
        return Status::success();
    }
    Outcome<bool> wait(std::uint32_t timeoutMs) override {
        using Clock = std::chrono::steady_clock;
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (signal().load(std::memory_order_acquire) == 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - Clock::now());
            if (left.count() <= 0) return false;
            const timespec timeout{time_t(left.count() / 1'000'000'000),
                                   long(left.count() % 1'000'000'000)};
            if (futex(word_->word(), FUTEX_WAIT, 0, &timeout) != 0 && errno != EAGAIN &&
                errno != EINTR && errno != ETIMEDOUT) {
                return fail(errors::kErrorInvalidParameter);
            }
        }
        return true;
    }

private:
    std::atomic_ref<std::uint32_t> signal() {
        return std::atomic_ref<std::uint32_t>(*word_->word());
    }

    FileDescriptor file_;
    std::unique_ptr<SharedWord> word_;
};

class PosixSharedMemory final : public SharedMemory {
public:
    explicit PosixSharedMemory(const StateHome& home) : home_(home) {}

    Outcome<std::unique_ptr<SharedBlock>> openBlock(std::string_view name,
                                                    std::uint32_t size) override {
        if (size == 0) return fail(errors::kEInvalidArg);
        Outcome<FileDescriptor> file = openObject("block-", name);
        if (!file) return file.failure();
        FileLock lock(file->get());
        struct stat status {};
        if (!lock.held() || ::fstat(file->get(), &status) != 0) {
            return fail(windowsErrorFor(errno, ErrnoContext::kCreatingFile));
        }
        // Made now (or left empty by an opener that died before sizing it):
        // sized, which zero-fills it.
        const bool created = status.st_size == 0;
        if (created && ::ftruncate(file->get(), off_t(size)) != 0) {
            return fail(windowsErrorFor(errno, ErrnoContext::kCreatingFile));
        }
        const auto actual =
            created ? size : std::uint32_t(std::min<off_t>(status.st_size, kMaxBlockSize));
        return std::unique_ptr<SharedBlock>(
            std::make_unique<PosixSharedBlock>(std::move(*file), created, actual));
    }

    Outcome<std::unique_ptr<NamedEvent>> openEvent(std::string_view name) override {
        Outcome<FileDescriptor> file = openObject("event-", name);
        if (!file) return file.failure();
        struct stat status {};
        if (::fstat(file->get(), &status) != 0 ||
            (status.st_size < off_t(kEventFileSize) &&
             ::ftruncate(file->get(), off_t(kEventFileSize)) != 0)) {
            return fail(windowsErrorFor(errno, ErrnoContext::kCreatingFile));
        }
        void* mapping =
            ::mmap(nullptr, kEventFileSize, PROT_READ | PROT_WRITE, MAP_SHARED, file->get(), 0);
        if (mapping == MAP_FAILED) return fail(errors::kErrorNotEnoughMemory);
        return std::unique_ptr<NamedEvent>(std::make_unique<PosixNamedEvent>(
            std::move(*file), std::make_unique<SharedWord>(mapping)));
    }

private:
    Outcome<FileDescriptor> openObject(std::string_view kind, std::string_view name) {
        const std::string fileName = objectFileName(kind, name, homeTag(home_));
        if (fileName.size() > kMaxFileName) return fail(errors::kErrorInvalidParameter);
        Outcome<FileDescriptor> folder = sessionFolder();
        if (!folder) return folder.failure();
        return openPrivateFile(*folder, fileName);
    }

    StateHome home_;
};

}  // namespace

std::unique_ptr<SharedMemory> makePosixSharedMemory(const StateHome& home) {
    return std::make_unique<PosixSharedMemory>(home);
}

}  // namespace pennaform::platform
