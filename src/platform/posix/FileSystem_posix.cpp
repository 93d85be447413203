// FileSystem on POSIX: open, read, write and rename through the system's
// calls, each descriptor held by its owner.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/posix/FileDescriptor.h"
#include "platform/posix/PosixErrors.h"

namespace pennaform::platform {
namespace {

bool namesNothing(const std::string& path) {
    return path.empty() || path.find('\0') != std::string::npos;
}

// openRegularFile: the file at `path` opened for reading, with its size, or
// no descriptor when it cannot be opened or is not a regular file. What
// stands at the path is refused from stat before it is opened, because
// opening some devices has effects of its own (and opening a FIFO wakes its
// writer). It is opened without blocking, so that a FIFO or device put there
// since never holds the caller up, and refused unless it is still the
// regular file that stat saw.
FileDescriptor openRegularFile(const std::string& path, std::uint64_t& outSize) {
    if (namesNothing(path)) return FileDescriptor();
    struct stat named {};
    if (::stat(path.c_str(), &named) != 0 || !S_ISREG(named.st_mode)) return FileDescriptor();
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd.valid()) return fd;
    struct stat opened {};
    if (::fstat(fd.get(), &opened) != 0 || !S_ISREG(opened.st_mode) ||
        opened.st_dev != named.st_dev || opened.st_ino != named.st_ino) {
        return FileDescriptor();
    }
    outSize = std::uint64_t(opened.st_size);
    return fd;
}

// readSome: one read, retried when a signal interrupts it; -1 on failure.
ssize_t readSome(int fd, std::uint8_t* into, std::size_t len) {
    for (;;) {
        const ssize_t n = ::read(fd, into, len);
        if (n >= 0 || errno != EINTR) return n;
    }
}

// writeAllTo: all of `bytes` to `fd`, retried after a signal; false when
// the file takes no more.
bool writeAllTo(int fd, const std::uint8_t* bytes, std::size_t length) {
    while (length > 0) {
        const ssize_t written = ::write(fd, bytes, length);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes += written;
        length -= std::size_t(written);
    }
    return true;
}

// TemporaryFile: the new file until it is renamed into place; removed when
// the write does not get that far.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::string& target) : path_(target + ".XXXXXX") {
        // mkostemp makes the file 0600 whatever the umask.
        fd_ = FileDescriptor(::mkostemp(path_.data(), O_CLOEXEC));
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        fd_ = FileDescriptor();
        if (!renamed_) ::unlink(path_.c_str());
    }

    bool opened() const { return fd_.valid(); }
    bool setMode(mode_t mode) { return ::fchmod(fd_.get(), mode) == 0; }
    bool writeAll(std::span<const std::uint8_t> bytes) {
        return writeAllTo(fd_.get(), bytes.data(), bytes.size());
    }

    // commit: flushes the bytes to disk, closes the file and renames it to
    // `target`.
    bool commit(const std::string& target) {
        if (::fsync(fd_.get()) != 0) return false;
        if (::close(fd_.release()) != 0) return false;
        if (::rename(path_.c_str(), target.c_str()) != 0) return false;
        renamed_ = true;
        return true;
    }

private:
    std::string path_;
    FileDescriptor fd_;
    bool renamed_ = false;
};

// syncFolderOf: flushes the folder holding `path`, so that the rename itself
// survives a crash.
void syncFolderOf(const std::string& path) {
    FileDescriptor fd(::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid()) (void)::fsync(fd.get());
}

}  // namespace

bool pathExists(const std::string& path) {
    struct stat info {};
    return !namesNothing(path) && ::stat(path.c_str(), &info) == 0;
}

PlatformError readFailureError(const std::string& path) {
    struct stat info {};
    if (namesNothing(path)) return errors::kErrorFileNotFound;
    if (::stat(path.c_str(), &info) != 0) {
        return windowsErrorFor(errno, ErrnoContext::kReadingFile);
    }
    if (!S_ISREG(info.st_mode) || ::access(path.c_str(), R_OK) != 0) {
        return errors::kErrorAccessDenied;
    }
    return errors::kSuccess;
}

bool readWholeFile(const std::string& path, const AllocateFileStorage& allocate) {
    std::uint64_t size = 0;
    FileDescriptor fd = openRegularFile(path, size);
    if (!fd.valid() || size == 0) return false;
    std::uint8_t* storage = allocate(size);
    if (storage == nullptr) return false;
    for (std::uint64_t done = 0; done < size;) {
        const ssize_t n = readSome(fd.get(), storage + done, std::size_t(size - done));
        // A failed read, or a file that got shorter since it was opened.
        if (n <= 0) return false;
        done += std::uint64_t(n);
    }
    return true;
}

std::optional<std::uint64_t> readFileInPieces(
    const std::string& path, std::size_t maxPiece,
    const std::function<void(std::span<const std::uint8_t>)>& consume) {
    std::uint64_t size = 0;
    FileDescriptor fd = openRegularFile(path, size);
    if (!fd.valid() || maxPiece == 0) return std::nullopt;
    // Tell the kernel the file is read once, front to back, so it reads ahead.
    (void)::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    std::unique_ptr<std::uint8_t[]> piece(new (std::nothrow) std::uint8_t[maxPiece]);
    if (!piece) return std::nullopt;
    std::uint64_t total = 0;
    for (;;) {
        const ssize_t n = readSome(fd.get(), piece.get(), maxPiece);
        if (n < 0) return std::nullopt;
        // A file that ends before, or goes on past, the size it had when it
        // was opened changed while it was read: what was read is neither
        // version. A growing file is given up at once, never followed.
        if (n == 0) {
            if (total != size) return std::nullopt;
            return total;
        }
        if (std::uint64_t(n) > size - total) return std::nullopt;
        consume({piece.get(), std::size_t(n)});
        total += std::uint64_t(n);
    }
}

bool writeFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    if (namesNothing(path)) return false;
    TemporaryFile file(path);
    if (!file.opened() || !file.writeAll(bytes) || !file.commit(path)) return false;
    syncFolderOf(path);
    return true;
}

PlatformError replaceFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    if (namesNothing(path)) return errors::kErrorFileNotFound;
    // The target of every link on the way, so that the rename replaces the
    // file and not a link to it.
    std::unique_ptr<char, decltype(&::free)> resolved(::realpath(path.c_str(), nullptr), &::free);
    struct stat info {};
    if (!resolved || ::stat(resolved.get(), &info) != 0) {
        return windowsErrorFor(errno, ErrnoContext::kReadingFile);
    }
    const std::string target(resolved.get());
    TemporaryFile file(target);
    errno = 0;
    if (!file.opened() || !file.setMode(info.st_mode & 07777) || !file.writeAll(bytes) ||
        !file.commit(target)) {
        return errno != 0 ? windowsErrorFor(errno, ErrnoContext::kCreatingFile)
                          : errors::kErrorIoDevice;
    }
    syncFolderOf(target);
    return errors::kSuccess;
}

bool isFolder(const std::string& path) {
    struct stat info {};
    return !namesNothing(path) && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool removeFile(const std::string& path) {
    return !namesNothing(path) && ::unlink(path.c_str()) == 0;
}

bool createFolder(const std::string& folder) {
    return !namesNothing(folder) && ::mkdir(folder.c_str(), 0777) == 0;
}

WriteProbe probeFileWriting(const std::string& path) {
    struct stat info {};
    if (namesNothing(path)) return WriteProbe::kNotWritable;
    if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return WriteProbe::kNotWritable;
    // mkostemp creates with O_CREAT | O_EXCL under a name no file has yet.
    std::string probe = joinPath(folderOf(path), ".pennaform-probe-XXXXXX");
    if (!FileDescriptor(::mkostemp(probe.data(), O_CLOEXEC)).valid()) {
        return WriteProbe::kNotWritable;
    }
    return ::unlink(probe.c_str()) == 0 ? WriteProbe::kWritable : WriteProbe::kProbeLeftBehind;
}

OutputFile::OutputFile(OutputFile&& other) noexcept : handle_(std::exchange(other.handle_, -1)) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, -1);
    }
    return *this;
}

OutputFile::~OutputFile() {
    close();
}

void OutputFile::close() noexcept {
    if (handle_ >= 0) ::close(int(std::exchange(handle_, -1)));
}

std::optional<OutputFile> OutputFile::create(const std::string& path) {
    if (namesNothing(path)) return std::nullopt;
    // Whatever already stands at the path must be a regular file itself, not
    // a link, FIFO or device, and is refused before it is opened.
    struct stat named {};
    const bool existed = ::lstat(path.c_str(), &named) == 0;
    if (existed && !S_ISREG(named.st_mode)) return std::nullopt;
    if (!existed && errno != ENOENT) return std::nullopt;
    // O_NOFOLLOW and O_NONBLOCK refuse a link or FIFO put there since; the
    // file is checked again once open, and only then emptied.
    FileDescriptor fd(::open(
        path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0600));
    if (!fd.valid()) return std::nullopt;
    struct stat opened {};
    if (::fstat(fd.get(), &opened) != 0 || !S_ISREG(opened.st_mode)) return std::nullopt;
    if (existed && (opened.st_dev != named.st_dev || opened.st_ino != named.st_ino)) {
        return std::nullopt;
    }
    // An existing file becomes owner-only as a new one is made.
    if ((opened.st_mode & 07777) != 0600 && ::fchmod(fd.get(), 0600) != 0) return std::nullopt;
    if (opened.st_size != 0 && ::ftruncate(fd.get(), 0) != 0) return std::nullopt;
    return OutputFile(fd.release());
}

bool OutputFile::writeAll(std::string_view text) {
    if (!valid()) return false;
    return writeAllTo(int(handle_), reinterpret_cast<const std::uint8_t*>(text.data()),
                      text.size());
}

}  // namespace pennaform::platform
