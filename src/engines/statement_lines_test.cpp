#include "engines/statement_lines.h"

#include <gtest/gtest.h>

namespace Corvenmark {
namespace {

// The letters at which statements start: each case names its statements a, b, c, ...
std::string StartLetters(std::string_view text, SqlDialect dialect) {
  std::string letters;
  for (const size_t start : StatementStarts(text, dialect)) letters += text[start];
  return letters;
}

TEST(StatementLines, SemicolonsInQuotesAndCommentsEndNoStatement) {
  const SqlDialect sqlite = SqlDialect::kSqlite;
  const SqlDialect duckdb = SqlDialect::kDuckDb;
  const struct {
    SqlDialect dialect;
    const char* text;
    const char* starts;
  } cases[] = {
      {sqlite, "a; b;; c", "abc"},
      {sqlite, "a ';' \"x;\" `y;` [z;]; b", "ab"},
      {sqlite, "a 'it''s;'; b", "ab"},
      {sqlite, "-- c;\n a /* ; */ ; /* x */ b -- ;", "ab"},
      {sqlite, "a; -- only a comment\n; /* and another */", "a"},
      {sqlite, "a 'never ended; b", "a"},
      {sqlite, "a /* /* */ ; b", "ab"},
      {duckdb, "a /* /* */ ; b */ ; c", "ac"},
      {duckdb, "a $$;$$; b $t$ ; $t$; c $1; d", "abcd"},
      {duckdb, "a E'\\';'; b '\\'; c", "abc"},
      {duckdb, "a [';']; b", "ab"},
  };
  for (const auto& c : cases) EXPECT_EQ(StartLetters(c.text, c.dialect), c.starts) << c.text;
}

TEST(StatementLines, NamesTheLineAStatementStartsOn) {
  const std::string text = "a;\n\n  -- b\n  b;";
  const size_t start =
      NextStatementStart(text, StatementEnd(text, 0, SqlDialect::kSqlite), SqlDialect::kSqlite);
  EXPECT_EQ(AtStatementLine(text, start, "no such table: t"), "line 4: no such table: t");
  EXPECT_EQ(AtStatementLine(text, 0, "x"), "line 1: x");
}

}  // namespace
}  // namespace Corvenmark
