#include "cli/diff_values.h"

#include <gtest/gtest.h>

namespace Corvenmark {
namespace {

constexpr CellView kNull{{}, true};

CellView Of(const char* text, CellKind kind) { return {text, false, kind}; }

// A double as its bits, as a database gives it to a comparison.
CellView Bits(const double& value) {
  return {{reinterpret_cast<const char*>(&value), sizeof value}, false, CellKind::kDouble};
}

const double kTenth = 0.1;
const double kNegativeZero = -0.0;

TEST(DiffValues, ComparesByKindAndBytesInOneFormatAndByWhatACopyWritesAcross) {
  const auto integer = [](const char* text) { return Of(text, CellKind::kInteger); };
  const auto real = [](const char* text) { return Of(text, CellKind::kReal); };
  const auto text = [](const char* text) { return Of(text, CellKind::kText); };
  const struct {
    CellView first, second;
    ValueRules rules;
    int order;
  } cases[] = {
      {integer("1"), real("1.0"), ValueRules::kOneFormat, -1},
      {integer("1"), real("1.0"), ValueRules::kAcrossFormats, 0},
      {integer("1"), text("1"), ValueRules::kOneFormat, -1},
      {integer("1"), text("1"), ValueRules::kAcrossAsText, 0},
      {kNull, text(""), ValueRules::kOneFormat, -1},
      {real("-0.0"), real("0.0"), ValueRules::kOneFormat, -1},
      {real("nan"), real("NaN"), ValueRules::kOneFormat, 0},
      {real("inf"), real("Inf"), ValueRules::kAcrossFormats, 0},
      {real("nan"), text("NaN"), ValueRules::kAcrossFormats, 0},
      {real("1e308"), real("inf"), ValueRules::kOneFormat, -1},
      {integer("9223372036854775807"), real("9223372036854775807.0"), ValueRules::kAcrossFormats,
       -1},
      {integer("-10"), integer("-9"), ValueRules::kOneFormat, -1},
      {integer("-9"), integer("10"), ValueRules::kOneFormat, -1},
      {integer("170141183460469231731687303715884105727"), text("170141183460469231731687303715884105727"),
       ValueRules::kAcrossFormats, 0},
      {integer("170141183460469231731687303715884105727"), integer("9223372036854775807"),
       ValueRules::kOneFormat, 1},
      {Of("true", CellKind::kBoolean), integer("1"), ValueRules::kAcrossFormats, 0},
      {Of("true", CellKind::kBoolean), integer("1"), ValueRules::kOneFormat, 1},
      {Of("1.50", CellKind::kDecimal), Of("1.5", CellKind::kDecimal), ValueRules::kOneFormat, 0},
      {Of("-2.5", CellKind::kDecimal), Of("-10.25", CellKind::kDecimal), ValueRules::kOneFormat, 1},
      {Of("1.50", CellKind::kDecimal), text("1.50"), ValueRules::kAcrossFormats, 0},
      {text("same"), Of("same", CellKind::kBlob), ValueRules::kAcrossFormats, -1},
      {text("same"), Of("same", CellKind::kBlob), ValueRules::kAcrossAsBytes, 0},
      {text("b"), text("ab"), ValueRules::kOneFormat, 1},
      {Bits(kTenth), real("0.1"), ValueRules::kAcrossFormats, 0},
      {Bits(kNegativeZero), real("0.0"), ValueRules::kAcrossFormats, -1},
      {Bits(kTenth), text("0.1"), ValueRules::kAcrossAsText, 0},
      {Bits(kTenth), Of("0.1", CellKind::kBlob), ValueRules::kAcrossAsBytes, 0},
      {text("z"), Of("a", CellKind::kBlob), ValueRules::kOneFormat, -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CompareValues(c.first, c.second, c.rules), c.order)
        << c.first.text << " vs " << c.second.text;
    EXPECT_EQ(CompareValues(c.second, c.first, c.rules), -c.order)
        << c.second.text << " vs " << c.first.text;
    EXPECT_EQ(SameValue(c.first, c.second, c.rules), c.order == 0) << c.first.text;
  }
}

TEST(DiffValues, WritesLiteralsThatGiveTheValueBack) {
  const struct {
    CellView cell;
    SqlDialect dialect;
    bool acrossFormats;
    std::string literal;
  } cases[] = {
      {kNull, SqlDialect::kSqlite, false, "NULL"},
      {Of("it's", CellKind::kText), SqlDialect::kSqlite, false, "'it''s'"},
      {{std::string_view("a\0b", 3), false, CellKind::kText}, SqlDialect::kSqlite, false,
       "CAST(X'610062' AS TEXT)"},
      {{std::string_view("\0\xFF", 2), false, CellKind::kBlob}, SqlDialect::kSqlite, false,
       "X'00FF'"},
      {{std::string_view("\0\xFF", 2), false, CellKind::kBlob}, SqlDialect::kDuckDb, false,
       "'\\x00\\xFF'::BLOB"},
      {Of("0.1", CellKind::kReal), SqlDialect::kSqlite, false, "0.10000000000000001"},
      {Of("2.0", CellKind::kReal), SqlDialect::kSqlite, false, "2.0"},
      {Of("-inf", CellKind::kReal), SqlDialect::kSqlite, false, "-9e999"},
      {Of("inf", CellKind::kReal), SqlDialect::kDuckDb, false, "'Infinity'::DOUBLE"},
      {Of("nan", CellKind::kReal), SqlDialect::kDuckDb, false, "'NaN'::DOUBLE"},
      {Of("nan", CellKind::kReal), SqlDialect::kSqlite, true, "'NaN'"},
      {Of("true", CellKind::kBoolean), SqlDialect::kSqlite, true, "1"},
      {Of("false", CellKind::kBoolean), SqlDialect::kDuckDb, false, "false"},
      {Of("12.50", CellKind::kDecimal), SqlDialect::kSqlite, true, "'12.50'"},
      {Of("-9223372036854775808", CellKind::kInteger), SqlDialect::kSqlite, false,
       "-9223372036854775808"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SqlLiteral(c.cell, c.dialect, c.acrossFormats), c.literal) << c.literal;
  }
  EXPECT_EQ(ReportLiteral(Of("0.1", CellKind::kReal)), "0.1");
  EXPECT_EQ(ReportLiteral(Bits(kNegativeZero)), "-0.0");
  EXPECT_EQ(SqlLiteral(Bits(kTenth), SqlDialect::kDuckDb, true), "0.10000000000000001");
  EXPECT_EQ(ReportLiteral(Of("-inf", CellKind::kReal)), "-Inf");
  EXPECT_EQ(ReportLiteral(Of("a -> b", CellKind::kText)), "'a -> b'");
}

}  // namespace
}  // namespace Corvenmark
