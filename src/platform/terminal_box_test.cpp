#include "platform/terminal_box.h"

#include <gtest/gtest.h>

namespace CorvenmarkGUI {
namespace {

TEST(TerminalBox, FramesCaptionLinesAndButton) {
  EXPECT_EQ(FormatTerminalBox("Title", "first line\nsecond"),
            "+------------+\r\n"
            "| (i) Title  |\r\n"
            "+------------+\r\n"
            "|            |\r\n"
            "| first line |\r\n"
            "| second     |\r\n"
            "|            |\r\n"
            "|   [ OK ]   |\r\n"
            "+------------+\r\n"
            "Press Enter to close.\r\n");
}

TEST(TerminalBox, WidensToTheLongestOfCaptionAndLines) {
  const std::string box = FormatTerminalBox("A much longer caption", "x");
  EXPECT_EQ(box.rfind("+---------------------------+\r\n| (i) A much longer caption |\r\n", 0), 0u);
  EXPECT_NE(box.find("| x                         |\r\n"), std::string::npos);
}

}  // namespace
}  // namespace CorvenmarkGUI
