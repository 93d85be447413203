// Fuzz target: the scripted dialog host's answers file. Any text is either
// refused with a reason or read into answers; nothing else may happen.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "ui/hosts/ScriptedAnswers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string problem;
    auto answers = pennaform::ui::ScriptedAnswers::parse(text, problem);
    if (!answers && problem.empty()) std::abort();
    return 0;
}
