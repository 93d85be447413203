#include "pfx/FileHelpers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>
#include <memory>
#include <new>
#include <utility>

namespace pennaform {
namespace {

// FileDescriptor: owns an open descriptor and closes it on every path.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

private:
    int fd_;
};

// openRegularFile: the file at `path` opened for reading, with its size, or
// an invalid descriptor when it cannot be opened or is not a regular file.
// It is opened without blocking so that a FIFO or device never holds the
// caller up, then refused unless it is a regular file.
FileDescriptor openRegularFile(const std::string& path, std::uint64_t& outSize) {
    if (path.empty()) return FileDescriptor(-1);
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd.valid()) return fd;
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return FileDescriptor(-1);
    outSize = std::uint64_t(info.st_size);
    return fd;
}

// readSome: one read, retried when a signal interrupts it; -1 on failure.
ssize_t readSome(int fd, std::uint8_t* into, std::size_t len) {
    for (;;) {
        const ssize_t n = ::read(fd, into, len);
        if (n >= 0 || errno != EINTR) return n;
    }
}

}  // namespace

bool pathExists(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0;
}

bool readFile(ByteBuffer& out, const std::string& path) {
    out.release();
    std::uint64_t size = 0;
    FileDescriptor fd = openRegularFile(path, size);
    // The buffer's length is a 32-bit count with two zero bytes behind it.
    constexpr std::uint64_t kLargest = std::uint64_t(std::numeric_limits<std::int32_t>::max()) - 2;
    if (!fd.valid() || size == 0 || size > kLargest) return false;
    if (!out.allocate(std::int32_t(size))) return false;
    for (std::uint64_t done = 0; done < size;) {
        const ssize_t n = readSome(fd.get(), out.data() + done, std::size_t(size - done));
        if (n <= 0) {
            // A failed read, or a file that got shorter since it was opened.
            out.release();
            return false;
        }
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
        if (n == 0) return total;
        consume({piece.get(), std::size_t(n)});
        total += std::uint64_t(n);
    }
}

}  // namespace pennaform
