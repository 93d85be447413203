// pennaform-manual: writes the manual page pennaform(1) to standard output,
// from the same texts as `pennaform --help` and `pennaform help METHOD`.
#include <iostream>
#include <string>
#include <string_view>

#include "cli/Help.h"

namespace {

// roff: the text with the characters roff gives a meaning escaped, and lines
// that would start with a control character protected.
std::string roff(std::string_view text) {
    std::string out;
    bool lineStart = true;
    for (char c : text) {
        if (lineStart && (c == '.' || c == '\'')) out += "\\&";
        if (c == '\\') {
            out += "\\e";
        } else if (c == '-') {
            out += "\\-";
        } else {
            out += c;
        }
        lineStart = c == '\n';
    }
    return out;
}

}  // namespace

int main() {
    using namespace pennaform::cli;
    std::cout << ".TH PENNAFORM 1 \"\" \"pennaform\" \"User Commands\"\n"
              << ".SH NAME\npennaform \\- the Pennaform public-key component from the shell\n"
              << ".SH SYNOPSIS\n.nf\n"
              << roff(usageText()) << ".fi\n"
              << ".SH OPERATIONS\n";
    for (const OperationArea& area : operationAreas()) {
        std::cout << ".SS " << roff(area.title) << "\n";
        for (std::string_view method : area.methods) {
            std::cout << ".nf\n" << roff(*methodHelp(method)) << ".fi\n";
        }
    }
    std::cout
        << ".SH SEE ALSO\nThe README of the source tree: dialogs, the answers file, state files.\n";
    return 0;
}
