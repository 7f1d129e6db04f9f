#include "platform/terminal_box.h"

#include <algorithm>
#include <vector>

namespace CorvenmarkGUI {
namespace {

const char kNewLine[] = "\r\n";
const char kButton[] = "[ OK ]";

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end - start));
    if (end == std::string::npos) return lines;
    start = end + 1;
  }
}

std::string Rule(size_t width) { return "+" + std::string(width + 2, '-') + "+" + kNewLine; }

std::string Row(const std::string& content, size_t width) {
  return "| " + content + std::string(width - content.size(), ' ') + " |" + kNewLine;
}

std::string Centred(const std::string& content, size_t width) {
  return std::string((width - content.size()) / 2, ' ') + content;
}

}  // namespace

std::string FormatTerminalBox(const std::string& caption, const std::string& text) {
  const std::vector<std::string> lines = SplitLines(text);
  const std::string title = "(i) " + caption;
  size_t width = std::max(title.size(), sizeof kButton - 1);
  for (const std::string& line : lines) width = std::max(width, line.size());

  std::string box = Rule(width) + Row(title, width) + Rule(width) + Row("", width);
  for (const std::string& line : lines) box += Row(line, width);
  box += Row("", width) + Row(Centred(kButton, width), width) + Rule(width);
  return box + "Press Enter to close." + kNewLine;
}

}  // namespace CorvenmarkGUI
