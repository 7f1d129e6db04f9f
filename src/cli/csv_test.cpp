#include "cli/csv.h"

#include <gtest/gtest.h>

#include <sstream>

#include "platform/native_lines_test.h"

namespace Corvenmark {
namespace {

TEST(CsvField, QuotesOnlyFieldsThatNeedItAndKeepsEmptyApartFromNull) {
  const struct {
    CellView field;
    std::string written;
  } cases[] = {
      {{"", true}, ""},
      {{""}, "\"\""},
      {{"plain"}, "plain"},
      {{"tab\there"}, "tab\there"},
      {{" spaced "}, " spaced "},
      {{"a,b"}, "\"a,b\""},
      {{"say \"hi\""}, "\"say \"\"hi\"\"\""},
      {{"\""}, "\"\"\"\""},
      {{"line\nfeed"}, "\"line\nfeed\""},
      {{"carriage\rreturn"}, "\"carriage\rreturn\""},
      {{std::string_view("nul\0byte", 8)}, std::string("nul\0byte", 8)},
      {{"naïve"}, "naïve"},
  };
  for (const auto& c : cases) {
    std::string out = "x,";
    AppendCsvField(out, c.field);
    EXPECT_EQ(out, "x," + c.written) << c.field.text;
  }
}

TEST(CsvWriter, WritesWholeRecordsThroughASmallBuffer) {
  std::ostringstream out;
  CsvWriter csv(out, 4);
  ASSERT_TRUE(csv.BeginResult({"only"}));
  EXPECT_EQ(FromNativeLines(out.str()), "");  // nothing goes out before the first row
  EXPECT_FALSE(csv.HasRows());
  const CellView rows[] = {{"", true}, {""}, {"a,b"}};
  for (const CellView& cell : rows) ASSERT_TRUE(csv.AddRow(&cell, 1));
  EXPECT_TRUE(csv.HasRows());
  ASSERT_TRUE(csv.Finish());
  // An empty text is never a blank line; only a null record of one field is.
  EXPECT_EQ(FromNativeLines(out.str()), "only\n\n\"\"\n\"a,b\"\n");
}

TEST(CsvWriter, FailedOutputStopsTheRows) {
  std::ostream out(nullptr);
  CsvWriter csv(out, 1);
  const CellView cell{"x"};
  ASSERT_TRUE(csv.BeginResult({"a"}));
  EXPECT_FALSE(csv.AddRow(&cell, 1));
}

}  // namespace
}  // namespace Corvenmark
