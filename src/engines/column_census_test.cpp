#include "engines/column_census.h"

#include <gtest/gtest.h>

namespace Corvenmark {
namespace {

// A text is a date, time or timestamp of DuckDB's only when DuckDB writes that value back as the
// same text: what does not read back so stays text in a copy.
TEST(ColumnCensus, DatesAndTimesAreOnlyThoseWrittenAsDuckDbWritesThem) {
  const struct {
    const char* text;
    bool date;
    bool time;
    bool timestamp;
  } cases[] = {
      {"2024-02-29", true, false, false},
      {"2023-02-29", false, false, false},
      {"0000-01-01", false, false, false},
      {"0001-01-01", true, false, false},
      {"12:34:56", false, true, false},
      {"12:34:56.5", false, true, false},
      {"12:34:56.000", false, false, false},
      {"12:34:56.1234567", false, false, false},
      {"24:00:00", false, false, false},
      {"2024-01-02 03:04:05", false, false, true},
      {"2024-01-02T03:04:05", false, false, false},
      {"2024-01-02 03:04:05.120", false, false, false},
      {"2024-01-02 03:04:05+05:30", false, false, false},
  };
  for (const auto& c : cases) {
    CensusTaker census;
    census.BeginResult({"v"});
    const CellView cell{c.text};
    census.AddRow(&cell, 1);
    const ColumnCensus& counted = census.columns().at(0);
    EXPECT_EQ(!counted.notDate, c.date) << c.text;
    EXPECT_EQ(!counted.notTime, c.time) << c.text;
    EXPECT_EQ(!counted.notTimestamp, c.timestamp) << c.text;
  }
}

}  // namespace
}  // namespace Corvenmark
