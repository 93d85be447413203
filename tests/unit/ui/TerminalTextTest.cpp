// What the terminal host writes: texts from outside (certificate and file
// names) cannot drive the terminal.
#include <gtest/gtest.h>

#include "ui/hosts/posix/TerminalDevice.h"

namespace pennaform::test {
namespace {

TEST(TerminalSafe, ControlsBecomeVisible) {
    EXPECT_EQ(ui::terminalSafe("CN=\x1b]0;owned\x07\x1b[2J"), "CN=?]0;owned??[2J");
    EXPECT_EQ(ui::terminalSafe("line one\r\nline two\rover\x7f"), "line one\r\nline two?over?");
    EXPECT_EQ(ui::terminalSafe("a\tb\nc"), "a\tb\nc");
    EXPECT_EQ(ui::terminalSafe("\xc2\x9b"
                               "2J"),
              "?2J");                                                 // the one-character CSI
    EXPECT_EQ(ui::terminalSafe("憑證 \xc2\xa0é"), "憑證 \xc2\xa0é");  // printable text stays
    EXPECT_EQ(ui::terminalSafe(std::string("a\0b", 3)), "a?b");
}

}  // namespace
}  // namespace pennaform::test
