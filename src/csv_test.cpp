#include "csv.h"

#include <gtest/gtest.h>

namespace Corvenmark {
namespace {

TEST(CsvField, QuotesOnlyFieldsThatNeedIt) {
  const struct {
    std::string field;
    std::string written;
  } cases[] = {
      {"", ""},
      {"plain", "plain"},
      {"tab\there", "tab\there"},
      {" spaced ", " spaced "},
      {"a,b", "\"a,b\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"\"", "\"\"\"\""},
      {"line\nfeed", "\"line\nfeed\""},
      {"carriage\rreturn", "\"carriage\rreturn\""},
      {std::string("nul\0byte", 8), std::string("nul\0byte", 8)},
      {"naïve", "naïve"},
  };
  for (const auto& c : cases) {
    std::string out = "x,";
    AppendCsvField(out, c.field);
    EXPECT_EQ(out, "x," + c.written) << c.field;
  }
}

}  // namespace
}  // namespace Corvenmark
