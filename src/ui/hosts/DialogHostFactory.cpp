#include "ui/hosts/DialogHostFactory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "encoding/ErrorTable.h"
#include "ui/FileDescriptor.h"
#include "ui/hosts/HeadlessDialogHost.h"
#include "ui/hosts/ScriptedDialogHost.h"
#include "ui/hosts/posix/TerminalDialogHost.h"

namespace pennaform::ui {
namespace {

// An answers file is a short script; anything larger is refused unread.
constexpr std::size_t kLargestAnswers = 1 << 20;

constexpr std::int32_t kFileUnreadable = 1002;
constexpr std::int32_t kFileUnwritable = 1003;
constexpr std::int32_t kUnsuitableFormat = 5045;

std::optional<std::string> readSmallFile(const std::string& path) {
    // Non-blocking, so that naming a pipe no one writes to cannot hang the
    // open; only a regular file is read.
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info;
    if (!fd.valid() || fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    std::string content;
    char buffer[8192];
    for (;;) {
        ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return std::nullopt;
        if (got == 0) return content;
        if (content.size() + std::size_t(got) > kLargestAnswers) return std::nullopt;
        content.append(buffer, std::size_t(got));
    }
}

std::unique_ptr<platform::PlatformDialogs> refuse(HostSetupProblem& outProblem, std::int32_t code,
                                                  std::string message) {
    outProblem = {code, std::move(message)};
    return nullptr;
}

}  // namespace

std::unique_ptr<platform::PlatformDialogs> makeDialogHost(std::string_view kind,
                                                          const std::string& answersPath,
                                                          const std::string& transcriptPath,
                                                          HostSetupProblem& outProblem) {
    bool scripted = kind == "scripted";
    if (!scripted && (!answersPath.empty() || !transcriptPath.empty())) {
        return refuse(outProblem, codes::kBadArgument,
                      "only the scripted host takes answers and a transcript");
    }
    if (kind == "headless") return std::make_unique<HeadlessDialogHost>();
    if (kind == "terminal") return std::make_unique<TerminalDialogHost>();
    if (!scripted) {
        return refuse(
            outProblem, codes::kBadArgument,
            "the dialog host is headless, terminal or scripted, not " + std::string(kind));
    }
    if (answersPath.empty())
        return refuse(outProblem, codes::kBadArgument, "the scripted host needs answers");
    std::optional<std::string> text = readSmallFile(answersPath);
    if (!text) {
        return refuse(outProblem, kFileUnreadable,
                      "cannot read the answers " + answersPath + " (a file of at most 1 MiB)");
    }
    std::string problem;
    std::optional<ScriptedAnswers> answers = ScriptedAnswers::parse(*text, problem);
    if (!answers) return refuse(outProblem, kUnsuitableFormat, answersPath + ": " + problem);
    FileDescriptor transcript;
    if (!transcriptPath.empty()) {
        transcript = FileDescriptor(
            ::open(transcriptPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
        if (!transcript.valid()) {
            return refuse(outProblem, kFileUnwritable,
                          "cannot write the transcript " + transcriptPath);
        }
    }
    return std::make_unique<ScriptedDialogHost>(std::move(*answers), std::move(transcript));
}

}  // namespace pennaform::ui
