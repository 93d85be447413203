// FileDescriptor: owns an open file descriptor and closes it on every path.
#pragma once

#include <unistd.h>

#include <utility>

namespace pennaform::platform {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) noexcept : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) {
            if (fd_ >= 0) close(fd_);
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    ~FileDescriptor() {
        if (fd_ >= 0) close(fd_);
    }
    // get: the descriptor, or -1 when the open that made it failed.
    int get() const noexcept { return fd_; }

private:
    int fd_;
};

}  // namespace pennaform::platform
