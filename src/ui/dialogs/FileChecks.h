// The file-system checks the dialogs make on "確定": whether a path exists,
// creating the last level of a folder, and whether a file can be written at
// a path. A path holding a NUL byte names nothing and can be neither created
// nor written.
#pragma once

#include <string>

namespace pennaform::ui {

// pathExists: something (a file or a folder) stands at `path`.
bool pathExists(const std::string& path);

// createFolder: creates `folder` itself (its parent must exist); true on
// success.
bool createFolder(const std::string& folder);

enum class WriteProbe {
    kWritable,        // a new file can be created where `path` lies
    kNotWritable,     // the folder refuses new files, or `path` is a folder
    kProbeLeftBehind  // the probe file was created but could not be removed
};

// probeFileWriting: whether a file can be written at `path`, found by creating
// and removing a new file of a unique name in the same folder. A file that
// already stands at `path` is never opened, truncated or removed: the user
// may still cancel, or the export fail, after this check.
WriteProbe probeFileWriting(const std::string& path);

}  // namespace pennaform::ui
