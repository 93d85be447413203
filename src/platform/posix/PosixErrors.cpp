#include "platform/posix/PosixErrors.h"

#include <cerrno>

namespace pennaform::platform {
namespace {

// One row of the map: the number for each context, in ErrnoContext's order.
struct Row {
    PlatformError creatingFile;
    PlatformError makingFolder;
    PlatformError readingFile;
    PlatformError databaseIo;
};

using namespace errors;

constexpr Row kRefused{kErrorAccessDenied, kErrorAccessDenied, kErrorAccessDenied,
                       kErrorAccessDenied};
constexpr Row kNotPermitted{kErrorAccessDenied, kErrorAccessDenied, kErrorFileNotFound,
                            kErrorIoDevice};
constexpr Row kReadOnly{kErrorAccessDenied, kErrorAccessDenied, kErrorFileNotFound,
                        kErrorAccessDenied};
constexpr Row kMissing{kErrorFileNotFound, kErrorPathNotFound, kErrorFileNotFound, kErrorIoDevice};
constexpr Row kFull{kErrorDiskFull, kErrorPathNotFound, kErrorFileNotFound, kErrorDiskFull};
constexpr Row kOther{kErrorPathNotFound, kErrorPathNotFound, kErrorFileNotFound, kErrorIoDevice};

const Row& rowFor(int error) {
    switch (error) {
        case EACCES:
            return kRefused;
        case EPERM:
            return kNotPermitted;
        case EROFS:
            return kReadOnly;
        case ENOENT:
            return kMissing;
        case ENOSPC:
        case EDQUOT:
            return kFull;
        default:
            return kOther;
    }
}

}  // namespace

PlatformError windowsErrorFor(int error, ErrnoContext context) {
    const Row& row = rowFor(error);
    switch (context) {
        case ErrnoContext::kCreatingFile:
            return row.creatingFile;
        case ErrnoContext::kMakingFolder:
            return row.makingFolder;
        case ErrnoContext::kReadingFile:
            return row.readingFile;
        case ErrnoContext::kDatabaseIo:
            return row.databaseIo;
    }
    return row.makingFolder;
}

}  // namespace pennaform::platform
