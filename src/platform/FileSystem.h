// FileSystem: the files and folders the component reads and writes for the
// caller (PFX and certificate files, files to hash, exported files, the
// dialogs' checks, a dialog host's script and transcript). A path holding a
// NUL byte names nothing: every function here refuses it, because the system
// would read it cut short at the NUL, as another path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/PlatformError.h"

namespace pennaform::platform {

// joinPath: `folder`, a '/' unless the folder is empty or already ends with
// one, and `name`. An empty folder gives `name` alone, a path relative to the
// current folder.
inline std::string joinPath(std::string_view folder, std::string_view name) {
    std::string path(folder);
    if (!path.empty() && path.back() != '/') path += '/';
    path += name;
    return path;
}

// folderOf: the text before the last '/' of `path`: "/" for a file directly
// under the root, "." for a path without any '/' (a file of the current
// folder).
inline std::string folderOf(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return ".";
    return std::string(path.substr(0, slash == 0 ? 1 : slash));
}

// pathExists: whether anything (a file or a folder) stands at `path`. An
// empty path, one holding a NUL, and one the process may not look into do
// not exist.
bool pathExists(const std::string& path);

// readFailureError: the Windows error number a read of the file at `path`
// meets, for a caller whose readWholeFile was refused:
// ERROR_FILE_NOT_FOUND when nothing stands there (or the path cannot be
// followed), ERROR_ACCESS_DENIED when the user may not look into its folder,
// may not read it, or it is not a regular file; 0 when a read would find a
// readable regular file (an empty one, say).
PlatformError readFailureError(const std::string& path);

// AllocateFileStorage: called once with the length of the file being read;
// gives `size` writable bytes that the file is read into, or null to refuse
// (too large for the caller, or no memory). The storage is the caller's.
using AllocateFileStorage = std::function<std::uint8_t*(std::uint64_t size)>;

// readWholeFile: reads the whole regular file at `path` into the storage
// `allocate` gives for its length. False for an empty path, a file that
// cannot be opened, is not a regular file or has length 0, a refused
// allocation, a failed read, or a file that ends before the length it had
// when opened; the storage may then hold a part of the file. The file is
// opened without blocking and without becoming the controlling terminal, so
// a FIFO or device never holds the caller up.
bool readWholeFile(const std::string& path, const AllocateFileStorage& allocate);

// readFileInPieces: hands the regular file at `path` to `consume` in pieces
// of at most `maxPiece` bytes, in order, using one buffer of that size.
// Returns the number of bytes read, or nothing when the file cannot be
// opened, is not a regular file (refused before it is opened, so a device
// sees no open), `maxPiece` is 0, a read fails, or the file changes length
// while it is read (it ends before, or goes on past, its length when
// opened). `consume` may have seen a part of the file when nothing is
// returned, never more than that length.
std::optional<std::uint64_t> readFileInPieces(
    const std::string& path, std::size_t maxPiece,
    const std::function<void(std::span<const std::uint8_t>)>& consume);

// writeFile: makes the file at `path` hold exactly `bytes` (none for an
// empty span), readable and writable by its owner only. The bytes go to a
// new temporary file in the same folder, which is flushed to disk and then
// renamed over `path`, so a failure at any point leaves the old file (or no
// file) as it was, never a part of the new one. False for an empty path, and
// when any step fails (no temporary file is left then).
bool writeFile(const std::string& path, std::span<const std::uint8_t> bytes);

// replaceFile: gives the existing file that `path` names new content: a
// symbolic link is followed and its target replaced (the link stays), and
// the new file keeps the old one's permission bits. Written as writeFile
// writes (a temporary file in the target's folder, flushed, renamed over
// it), so a failure or a crash leaves the old content whole. 0 on success,
// else the Windows number of the failing step (ERROR_FILE_NOT_FOUND,
// ERROR_ACCESS_DENIED, ERROR_DISK_FULL, ...).
[[nodiscard]] PlatformError replaceFile(const std::string& path,
                                        std::span<const std::uint8_t> bytes);

// isFolder: whether `path` names a folder (a link to one included).
bool isFolder(const std::string& path);

// removeFile: removes the file at `path`; false for an empty path or when
// it cannot be removed.
bool removeFile(const std::string& path);

// createFolder: creates `folder` itself (its parent must exist), with the
// permissions the umask leaves; true on success.
bool createFolder(const std::string& folder);

enum class WriteProbe {
    kWritable,        // a new file can be created where `path` lies
    kNotWritable,     // the folder refuses new files, or `path` is a folder
    kProbeLeftBehind  // the probe file was created but could not be removed
};

// probeFileWriting: whether a file can be written at `path`, found by
// creating (exclusively, under a unique name) and removing a new file in the
// same folder. A file that already stands at `path` is never opened,
// truncated or removed: the user may still cancel, or the write fail, after
// this check.
WriteProbe probeFileWriting(const std::string& path);

// OutputFile: a file open for writing from its start, such as a transcript
// written line by line. Closed when the owner goes.
class OutputFile {
public:
    // OutputFile: none; valid() is false and writes are dropped.
    OutputFile() noexcept = default;
    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&& other) noexcept;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    // create: the regular file at `path`, created, or emptied and made
    // owner-only (0600). Nullopt when it cannot be, and when something else
    // stands there: a symbolic link (never followed, its target untouched),
    // a FIFO or a device (refused before being opened, so start-up never
    // waits on one).
    static std::optional<OutputFile> create(const std::string& path);

    bool valid() const noexcept { return handle_ >= 0; }
    // writeAll: appends `text`; false when the file takes not all of it (a
    // full disk, a closed pipe), after which the rest is dropped.
    bool writeAll(std::string_view text);

private:
    explicit OutputFile(std::intptr_t handle) noexcept : handle_(handle) {}
    void close() noexcept;

    // The backend's handle for the open file; -1 for none.
    std::intptr_t handle_ = -1;
};

}  // namespace pennaform::platform
