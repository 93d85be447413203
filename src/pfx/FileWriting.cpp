#include "pfx/FileWriting.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace pennaform {
namespace {

// TemporaryFile: the new file until it is renamed into place; removed when
// the write does not get that far.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string target) : path_(std::move(target) + ".XXXXXX") {
        // mkstemp makes the file 0600 whatever the umask.
        fd_ = mkostemp(path_.data(), O_CLOEXEC);
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!renamed_) ::unlink(path_.c_str());
    }

    bool opened() const { return fd_ >= 0; }

    bool writeAll(const std::uint8_t* bytes, std::size_t length) {
        while (length > 0) {
            ssize_t written = ::write(fd_, bytes, length);
            if (written < 0 && errno == EINTR) continue;
            if (written <= 0) return false;
            bytes += written;
            length -= std::size_t(written);
        }
        return true;
    }

    // commit: flushes the bytes to disk, closes the file and renames it to
    // `target`.
    bool commit(const std::string& target) {
        if (::fsync(fd_) != 0) return false;
        int fd = std::exchange(fd_, -1);
        if (::close(fd) != 0) return false;
        if (::rename(path_.c_str(), target.c_str()) != 0) return false;
        renamed_ = true;
        return true;
    }

private:
    std::string path_;
    int fd_ = -1;
    bool renamed_ = false;
};

// syncFolderOf: flushes the folder holding `path`, so that the rename itself
// survives a crash.
void syncFolderOf(const std::string& path) {
    std::string::size_type slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "."
                         : slash == 0               ? "/"
                                                    : path.substr(0, slash);
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    (void)::fsync(fd);
    ::close(fd);
}

}  // namespace

bool writeFile(const ByteBuffer& buffer, const std::string& path) {
    if (path.empty()) return false;
    TemporaryFile file(path);
    if (!file.opened()) return false;
    if (!file.writeAll(buffer.bytes().data(), buffer.bytes().size())) return false;
    if (!file.commit(path)) return false;
    syncFolderOf(path);
    return true;
}

bool removeFile(const std::string& path) {
    return !path.empty() && ::unlink(path.c_str()) == 0;
}

}  // namespace pennaform
