#ifndef CORVENMARK_LINE_END_H_
#define CORVENMARK_LINE_END_H_

#include <string_view>

namespace Corvenmark {

/// What ends every line the program writes itself: each report line, CSV record and error line,
/// and the usage text's. The platform's own ("\r\n" on Windows, "\n" elsewhere). Standard
/// output and standard error are byte streams everywhere, so line feeds and carriage returns
/// inside values go out as they are. Each platform has its own definition.
extern const std::string_view kLineEnd;

}  // namespace Corvenmark

#endif  // CORVENMARK_LINE_END_H_
