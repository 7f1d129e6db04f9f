#ifndef CORVENMARK_WIDE_TEXT_H_
#define CORVENMARK_WIDE_TEXT_H_

// Windows only: the system's own text is UTF-16, the program's arguments and output are in the
// ANSI code page, and the libraries it opens files with take UTF-8.

#include <string>

namespace Corvenmark {

/// `text` in the ANSI code page as UTF-16, for the system's wide (*W) calls.
std::wstring WidenedFromCodePage(const std::string& text);

/// UTF-16 text from the system in the ANSI code page, for messages.
std::string CodePageFromWide(const std::wstring& text);

/// `text` in the ANSI code page as UTF-8, the encoding SQLite and DuckDB take names in.
std::string Utf8FromCodePage(const std::string& text);

/// The system's words for the error code `error` (from GetLastError), without the final full
/// stop; "error <n>" when it has none.
std::string WindowsErrorText(unsigned long error);

}  // namespace Corvenmark

#endif  // CORVENMARK_WIDE_TEXT_H_
