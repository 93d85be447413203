#include "ui/hosts/DialogHostFactory.h"

#include <optional>

#include "encoding/ErrorTable.h"
#include "platform/FileSystem.h"
#include "ui/hosts/DesktopDialogHost.h"
#include "ui/hosts/HeadlessDialogHost.h"
#include "ui/hosts/ScriptedDialogHost.h"
#include "ui/hosts/posix/DesktopModuleLoader.h"
#include "ui/hosts/posix/TerminalDialogHost.h"

namespace pennaform::ui {
namespace {

// An answers file is a short script; anything larger is refused.
constexpr std::size_t kLargestAnswers = 1 << 20;

constexpr std::int32_t kFileUnreadable = 1002;
constexpr std::int32_t kFileUnwritable = 1003;
constexpr std::int32_t kUnsuitableFormat = 5045;

// readSmallFile: the regular file at `path` (an empty one too), or nullopt
// when it cannot be read or is larger than kLargestAnswers. The platform
// opens it without blocking, so that naming a pipe no one writes to cannot
// hang the open.
std::optional<std::string> readSmallFile(const std::string& path) {
    std::string content;
    bool tooLarge = false;
    auto read = platform::readFileInPieces(path, 8192, [&](std::span<const std::uint8_t> piece) {
        tooLarge = tooLarge || content.size() + piece.size() > kLargestAnswers;
        if (!tooLarge) content.append(reinterpret_cast<const char*>(piece.data()), piece.size());
    });
    if (!read || tooLarge) return std::nullopt;
    return content;
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
    bool desktop = kind == "gtk";
    bool scripted = kind == "scripted" || (desktop && !answersPath.empty());
    if (!scripted && (!answersPath.empty() || !transcriptPath.empty())) {
        return refuse(outProblem, codes::kBadArgument,
                      "only the scripted and gtk hosts take answers and a transcript");
    }
    if (kind == "headless") return std::make_unique<HeadlessDialogHost>();
    if (kind == "terminal") return std::make_unique<TerminalDialogHost>();
    if (!scripted && !desktop) {
        return refuse(
            outProblem, codes::kBadArgument,
            "the dialog host is headless, terminal, scripted or gtk, not " + std::string(kind));
    }
    if (!scripted) {
        // Without a display the desktop host answers as the headless one.
        std::unique_ptr<DesktopWindows> windows = openDesktopWindows(processTextConverter());
        if (!windows) return std::make_unique<HeadlessDialogHost>();
        return std::make_unique<DesktopDialogHost>(std::move(windows));
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
    platform::OutputFile transcript;
    if (!transcriptPath.empty()) {
        std::optional<platform::OutputFile> created = platform::OutputFile::create(transcriptPath);
        if (!created) {
            return refuse(outProblem, kFileUnwritable,
                          "cannot write the transcript " + transcriptPath);
        }
        transcript = std::move(*created);
    }
    std::unique_ptr<DesktopWindows> stage;
    if (desktop) {
        // The desktop host driven by answers: their actions land on the
        // windows' widgets. Without a display it answers as the headless one.
        stage = openDesktopWindows(processTextConverter());
        if (!stage) return std::make_unique<HeadlessDialogHost>();
    }
    return std::make_unique<ScriptedDialogHost>(std::move(*answers), std::move(transcript),
                                                std::move(stage));
}

}  // namespace pennaform::ui
