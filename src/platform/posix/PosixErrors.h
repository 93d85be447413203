// PosixErrors: the one map from the errno of a failed system call to the
// number Windows gives for the same failure.
#pragma once

#include "platform/PlatformError.h"

namespace pennaform::platform {

// ErrnoContext: what the failed call was doing. Windows tells a missing file
// (ERROR_FILE_NOT_FOUND) from a missing folder (ERROR_PATH_NOT_FOUND), and
// the callers above read these numbers back, so the context decides what a
// missing path, and an errno without a Windows match of its own, become.
enum class ErrnoContext {
    kCreatingFile,  // opening or creating a file the component keeps
    kMakingFolder,  // finding or making a folder the component keeps
    kReadingFile,   // looking at a file the caller named, to read it
    kDatabaseIo,    // the database library's read or write of its files
};

// windowsErrorFor: the Windows error number for `error` (an errno value)
// met while doing `context`:
//
//   errno            kCreatingFile  kMakingFolder  kReadingFile  kDatabaseIo
//   EACCES           access denied  access denied  access denied access denied
//   EPERM            access denied  access denied  file not found I/O device
//   EROFS            access denied  access denied  file not found access denied
//   ENOENT           file not found path not found file not found I/O device
//   ENOSPC, EDQUOT   disk full      path not found file not found disk full
//   anything else    path not found path not found file not found I/O device
PlatformError windowsErrorFor(int error, ErrnoContext context);

}  // namespace pennaform::platform
