// FileDescriptor: the owner of one open file descriptor, closed on every
// path out of the scope that holds it. The one descriptor owner of the
// backend and of the hosts that use the system directly.
#pragma once

#include <unistd.h>

#include <utility>

namespace pennaform::platform {

class FileDescriptor {
public:
    // FileDescriptor: none, or the result of an open (-1 when it failed).
    FileDescriptor() noexcept = default;
    explicit FileDescriptor(int fd) noexcept : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { reset(); }

    // get: the descriptor, or -1 when there is none.
    int get() const noexcept { return fd_; }
    bool valid() const noexcept { return fd_ >= 0; }
    // release: the descriptor, which the caller now owns; none is left here.
    int release() noexcept { return std::exchange(fd_, -1); }

private:
    void reset() noexcept {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    int fd_ = -1;
};

}  // namespace pennaform::platform
