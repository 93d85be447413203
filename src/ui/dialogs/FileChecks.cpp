#include "ui/dialogs/FileChecks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "ui/FileDescriptor.h"
#include "ui/dialogs/PathRules.h"

namespace pennaform::ui {
namespace {

bool holdsNul(const std::string& path) {
    return path.find('\0') != std::string::npos;
}

}  // namespace

bool pathExists(const std::string& path) {
    struct stat info;
    return !path.empty() && !holdsNul(path) && stat(path.c_str(), &info) == 0;
}

bool createFolder(const std::string& folder) {
    return !folder.empty() && !holdsNul(folder) && mkdir(folder.c_str(), 0777) == 0;
}

WriteProbe probeFileWriting(const std::string& path) {
    struct stat info;
    if (path.empty() || holdsNul(path)) return WriteProbe::kNotWritable;
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return WriteProbe::kNotWritable;
    // mkostemp creates with O_CREAT | O_EXCL under a name no file has yet.
    std::string probe = composePath(splitPath(path).folder, ".pennaform-probe-XXXXXX");
    std::vector<char> name(probe.begin(), probe.end());
    name.push_back('\0');
    {
        FileDescriptor created(mkostemp(name.data(), O_CLOEXEC));
        if (!created.valid()) return WriteProbe::kNotWritable;
    }
    return unlink(name.data()) == 0 ? WriteProbe::kWritable : WriteProbe::kProbeLeftBehind;
}

}  // namespace pennaform::ui
