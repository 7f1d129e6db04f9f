#include "engines/statement_lines.h"

#include <algorithm>

namespace Corvenmark {
namespace {

bool IsWordByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         (static_cast<unsigned char>(c) & 0x80) != 0;
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// The offset just past the comment that starts at `at`, or `at` when none does. An unended one
// runs to the end of the text, as the engines read it.
size_t SkipComment(std::string_view text, size_t at, SqlDialect dialect) {
  if (text.compare(at, 2, "--") == 0) {
    const size_t lineEnd = text.find('\n', at);
    return lineEnd == std::string_view::npos ? text.size() : lineEnd + 1;
  }
  if (text.compare(at, 2, "/*") != 0) return at;
  // DuckDB's comments nest, as PostgreSQL's do; SQLite's end at the first "*/".
  size_t depth = 0;
  for (size_t i = at; i + 1 < text.size(); ++i) {
    if (text.compare(i, 2, "/*") == 0 && (depth == 0 || dialect == SqlDialect::kDuckDb)) {
      ++depth;
      ++i;
    } else if (text.compare(i, 2, "*/") == 0) {
      ++i;
      if (--depth == 0) return i + 1;
    }
  }
  return text.size();
}

// The closing delimiter of a DuckDB dollar-quoted string whose opening one starts at `at`
// ("$$" or "$tag$"), or empty when none starts there ("$1" is a parameter).
std::string_view DollarQuote(std::string_view text, size_t at) {
  if (at > 0 && IsWordByte(text[at - 1])) return {};
  size_t i = at + 1;
  if (i < text.size() && text[i] >= '0' && text[i] <= '9') return {};
  while (i < text.size() && IsWordByte(text[i])) ++i;
  if (i >= text.size() || text[i] != '$') return {};
  return text.substr(at, i + 1 - at);
}

// The offset just past the quoted text or the comment that starts at `at`, or `at` when none
// does. A doubled quote inside quoted text ends it and starts the next, which comes to the same.
size_t SkipQuotedOrComment(std::string_view text, size_t at, SqlDialect dialect) {
  const bool duckdb = dialect == SqlDialect::kDuckDb;
  const char c = text[at];
  if (duckdb && c == '$') {
    const std::string_view quote = DollarQuote(text, at);
    if (quote.empty()) return at;
    const size_t close = text.find(quote, at + quote.size());
    return close == std::string_view::npos ? text.size() : close + quote.size();
  }
  const char close = c == '[' && !duckdb ? ']' : c == '\'' || c == '"' || c == '`' ? c : '\0';
  if (close == '\0') return SkipComment(text, at, dialect);
  const bool escapes = duckdb && c == '\'' && at > 0 &&
                       (text[at - 1] == 'E' || text[at - 1] == 'e') &&
                       (at < 2 || !IsWordByte(text[at - 2]));
  for (size_t i = at + 1; i < text.size(); ++i) {
    if (escapes && text[i] == '\\') {
      ++i;
    } else if (text[i] == close) {
      return i + 1;
    }
  }
  return text.size();
}

}  // namespace

size_t NextStatementStart(std::string_view text, size_t from, SqlDialect dialect) {
  size_t i = from;
  while (i < text.size()) {
    if (IsSpace(text[i]) || text[i] == ';') {
      ++i;
      continue;
    }
    const size_t past = SkipComment(text, i, dialect);
    if (past == i) return i;
    i = past;
  }
  return text.size();
}

size_t StatementEnd(std::string_view text, size_t from, SqlDialect dialect) {
  size_t i = from;
  while (i < text.size()) {
    const size_t past = SkipQuotedOrComment(text, i, dialect);
    if (past != i) {
      i = past;
    } else if (text[i++] == ';') {
      return i;
    }
  }
  return text.size();
}

std::vector<size_t> StatementStarts(std::string_view text, SqlDialect dialect) {
  std::vector<size_t> starts;
  for (size_t at = NextStatementStart(text, 0, dialect); at < text.size();
       at = NextStatementStart(text, StatementEnd(text, at, dialect), dialect)) {
    starts.push_back(at);
  }
  return starts;
}

std::string AtStatementLine(std::string_view text, size_t start, const std::string& message) {
  const auto lineFeeds =
      std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(start), '\n');
  return "line " + std::to_string(lineFeeds + 1) + ": " + message;
}

}  // namespace Corvenmark
