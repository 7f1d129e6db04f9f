#include "cli/json_text.h"

#include <gtest/gtest.h>

#include <string>

#include "cli/text_table.h"

namespace Corvenmark {
namespace {

using namespace std::string_view_literals;

TEST(JsonText, EveryCellIsAValueAStrictReaderTakes) {
  const struct {
    CellView cell;
    std::string json;
  } cases[] = {
      {{"", true, CellKind::kInteger}, "null"},
      {{"-170141183460469231731687303715884105728", false, CellKind::kInteger},
       "-170141183460469231731687303715884105728"},
      {{".125", false, CellKind::kDecimal}, "0.125"},
      {{"-.5", false, CellKind::kDecimal}, "-0.5"},
      {{"1.0e+100", false, CellKind::kReal}, "1.0e+100"},
      {{"Inf", false, CellKind::kReal}, "\"Infinity\""},
      {{"-inf", false, CellKind::kReal}, "\"-Infinity\""},
      {{"nan", false, CellKind::kReal}, "\"NaN\""},
      {{"1.", false, CellKind::kReal}, "1"},  // read and written again as a JSON number
      {{"true", false, CellKind::kBoolean}, "true"},
      {{"[1.5,NaN,-Infinity,{\"NaN\":\"a\\\"Infinity\"}]", false, CellKind::kJson},
       "[1.5,\"NaN\",\"-Infinity\",{\"NaN\":\"a\\\"Infinity\"}]"},
      {{"[.5,-.25,{\"k\":.5,\"t\":\".5\"}]", false, CellKind::kJson},
       "[0.5,-0.25,{\"k\":0.5,\"t\":\".5\"}]"},
      {{"a\"b\\c\n\t\x01", false, CellKind::kText}, "\"a\\\"b\\\\c\\n\\t\\u0001\""},
      {{"ünï ☃ \xF0\x9F\x98\x80", false, CellKind::kText}, "\"ünï ☃ \xF0\x9F\x98\x80\""},
      // Bytes that are not UTF-8: a stray continuation, an overlong form, a surrogate, a cut.
      {{"\x80|\xC0\xAF|\xED\xA0\x80|\xE2\x98"sv, false, CellKind::kText},
       "\"\xEF\xBF\xBD|\xEF\xBF\xBD\xEF\xBF\xBD|\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD|"
       "\xEF\xBF\xBD\xEF\xBF\xBD\""},
  };
  for (const auto& c : cases) {
    std::string json;
    AppendJsonValue(json, c.cell);
    EXPECT_EQ(json, c.json) << c.cell.text;
  }
}

TEST(TextTable, CellsStayOnTheirLineAndWithinTheWidth) {
  const std::string long40(40, 'x');
  const struct {
    std::string text;
    bool isNull;
    std::string shown;
    size_t width;
  } cases[] = {
      {"", true, "NULL", 4},
      {"a\tb\nc\x7f", false, "a\\tb\\nc\\x7F", 11},
      {"ünï ☃", false, "ünï ☃", 5},
      {long40, false, long40, 40},
      {long40 + "y", false, std::string(39, 'x') + "…", 40},
      {std::string(39, 'x') + "\n", false, std::string(39, 'x') + "…", 40},
      {"\xFF", false, "\xEF\xBF\xBD", 1},
  };
  for (const auto& c : cases) {
    std::string shown;
    EXPECT_EQ(AppendTableCell(shown, {c.text, c.isNull}), c.width) << c.text;
    EXPECT_EQ(shown, c.shown);
  }
}

}  // namespace
}  // namespace Corvenmark
