#ifndef CORVENMARK_STATEMENT_LINES_H_
#define CORVENMARK_STATEMENT_LINES_H_

// Where the statements of an SQL text start, so that an error in a text of several statements
// can name the line of the one that failed. The engines parse the text themselves; this finds
// their statements' bounds by the quotes and comments alone, which is all a semicolon's meaning
// depends on.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace Corvenmark {

/// What quotes text and what a comment is, as far as a semicolon's meaning goes.
enum class SqlDialect {
  kSqlite,  ///< '...', "...", `...` and [...]; a /* comment */ does not nest.
  kDuckDb,  ///< '...', E'...' with backslash escapes, "...", `...` and $tag$...$tag$; /* */ nests.
};

/// The offset of the first byte at or after `from` that is not white space, a semicolon or part
/// of a comment: where the next statement starts, or text.size() when none does.
size_t NextStatementStart(std::string_view text, size_t from, SqlDialect dialect);

/// The offset just past the first semicolon at or after `from` outside quotes and comments, or
/// text.size() when there is none. (In SQLite a trigger's body holds such semicolons.)
size_t StatementEnd(std::string_view text, size_t from, SqlDialect dialect);

/// Where each statement of `text` starts, the statements ending as StatementEnd says.
std::vector<size_t> StatementStarts(std::string_view text, SqlDialect dialect);

/// `message` led by the line, 1-based, of the statement that starts at `start` in `text`:
/// "line 3: no such table: t".
std::string AtStatementLine(std::string_view text, size_t start, const std::string& message);

}  // namespace Corvenmark

#endif  // CORVENMARK_STATEMENT_LINES_H_
