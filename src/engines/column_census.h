#ifndef CORVENMARK_COLUMN_CENSUS_H_
#define CORVENMARK_COLUMN_CENSUS_H_

// What the values of each column of a table are, read once before the table is copied, so that
// the copy's columns get types that keep every value.

#include <cstdint>
#include <string>
#include <vector>

#include "engines/engine.h"

namespace Corvenmark {

struct ColumnCensus {
  uint64_t nulls = 0;
  uint64_t integers = 0;
  uint64_t reals = 0;
  uint64_t decimals = 0;
  uint64_t booleans = 0;
  uint64_t texts = 0;  ///< Text, and values of other kinds that have only their text.
  uint64_t blobs = 0;
  uint64_t json = 0;
  bool beyond64Bits = false;  ///< An integer that 64 bits cannot hold.
  bool beyondDouble = false;  ///< An integer or decimal that a double cannot hold exactly.
  bool nonFinite = false;     ///< A real that is NaN or infinite.
  bool notANumber = false;    ///< A real that is NaN.
  bool notBoolean = false;    ///< An integer other than 0 and 1.
  bool notUtf8 = false;       ///< A text that is not well-formed UTF-8, or holds NUL.
  bool notDate = false;       ///< A text that does not read as YYYY-MM-DD.
  bool notTime = false;       ///< A text that does not read as HH:MM:SS[.f].
  bool notTimestamp = false;  ///< A text that does not read as YYYY-MM-DD HH:MM:SS[.f].
  bool negativeZero = false;  ///< A real that is -0.0.

  /// Values that are not NULL.
  uint64_t values() const { return integers + reals + decimals + booleans + texts + blobs + json; }
  /// True when every value that is not NULL is of `kinds` (counted by their fields above).
  bool OnlyOf(std::initializer_list<uint64_t ColumnCensus::*> kinds) const {
    uint64_t counted = 0;
    for (const auto kind : kinds) counted += this->*kind;
    return counted == values();
  }
};

/// Takes a census of every column of the rows it is given. Wants values as they are: BLOBs as
/// bytes and nested values as JSON.
class CensusTaker : public RowSink {
 public:
  bool BeginResult(const std::vector<std::string>& columns) override;
  bool AddRow(const CellView* cells, size_t count) override;
  bool PrefersJson() const override { return true; }
  bool WantsNativeValues() const override { return true; }

  const std::vector<ColumnCensus>& columns() const { return columns_; }

 private:
  std::vector<ColumnCensus> columns_;
};

}  // namespace Corvenmark

#endif  // CORVENMARK_COLUMN_CENSUS_H_
