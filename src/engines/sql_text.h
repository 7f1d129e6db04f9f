#ifndef CORVENMARK_SQL_TEXT_H_
#define CORVENMARK_SQL_TEXT_H_

// SQL that the engines write themselves, and the words they answer with, the same for every
// engine.

#include <string>
#include <string_view>
#include <vector>

namespace Corvenmark {

/// `text` quoted between `quote`s, every `quote` inside it doubled.
inline std::string Quoted(std::string_view text, char quote) {
  std::string quoted(1, quote);
  for (const char c : text) {
    if (c == quote) quoted += quote;
    quoted += c;
  }
  return quoted + quote;
}

/// A name as an SQL identifier: "name", inner double quotes doubled.
inline std::string QuotedIdentifier(std::string_view name) { return Quoted(name, '"'); }

/// A text as an SQL string literal: 'text', inner single quotes doubled.
inline std::string QuotedText(std::string_view text) { return Quoted(text, '\''); }

/// Names joined as "a, b", each quoted as an SQL identifier when `quoted`.
inline std::string JoinedNames(const std::vector<std::string>& names, bool quoted = false) {
  std::string joined;
  for (const std::string& name : names) {
    joined += (joined.empty() ? "" : ", ") + (quoted ? QuotedIdentifier(name) : name);
  }
  return joined;
}

/// " ORDER BY" the columns of `key`, each quoted; empty for no key.
inline std::string OrderByColumns(const std::vector<std::string>& key) {
  return key.empty() ? "" : " ORDER BY " + JoinedNames(key, true);
}

/// How a command fails on a database file it could not open, before the path.
inline constexpr char kUnopenedDatabase[] = "unable to open database file: ";

/// Why a path is refused before any engine looks at it.
inline constexpr char kEmptyDatabasePath[] = "empty database path";

/// Why SQL that left a transaction open failed: closing the database would undo it silently.
inline constexpr char kOpenTransaction[] =
    "the SQL text left a transaction open; it was rolled back";

}  // namespace Corvenmark

#endif  // CORVENMARK_SQL_TEXT_H_
