#ifndef CORVENMARK_WIDE_TEXT_H_
#define CORVENMARK_WIDE_TEXT_H_

// Windows only: the system's own text is UTF-16.

#include <string>

namespace Corvenmark {

/// `text` in the ANSI code page, the encoding of the program's arguments, as UTF-16.
std::wstring WidenedFromCodePage(const std::string& text);

}  // namespace Corvenmark

#endif  // CORVENMARK_WIDE_TEXT_H_
