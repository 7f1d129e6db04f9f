#ifndef CORVENMARK_NATIVE_LINES_TEST_H_
#define CORVENMARK_NATIVE_LINES_TEST_H_

#include <string>
#include <string_view>

#include "platform/line_end.h"

namespace Corvenmark {

/// For tests: `text` with every line end the program writes (kLineEnd) made a line feed, so that
/// one expectation holds on every platform. The Windows end-to-end test checks the line ends.
inline std::string FromNativeLines(std::string_view text) {
  std::string lines;
  for (size_t end; (end = text.find(kLineEnd)) != std::string_view::npos;) {
    lines.append(text.substr(0, end)) += '\n';
    text.remove_prefix(end + kLineEnd.size());
  }
  return lines.append(text);
}

}  // namespace Corvenmark

#endif  // CORVENMARK_NATIVE_LINES_TEST_H_
