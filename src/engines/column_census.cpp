#include "engines/column_census.h"

#include <charconv>

#include "platform/utf8.h"

namespace Corvenmark {
namespace {

bool IsDigits(std::string_view text, size_t from, size_t count) {
  if (text.size() < from + count) return false;
  for (size_t i = from; i < from + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

int Number(std::string_view text, size_t from, size_t count) {
  int value = 0;
  for (size_t i = from; i < from + count; ++i) value = value * 10 + (text[i] - '0');
  return value;
}

// "HH:MM:SS" of a real time, then a fraction of at most microseconds, which is all a time of
// the target holds, from `at` to the end; written as DuckDB writes times, with no zero ending
// the fraction, so that a value read back is the text that went in.
bool IsTimeAt(std::string_view text, size_t at) {
  if (!IsDigits(text, at, 2) || text.size() < at + 8 || text[at + 2] != ':' ||
      !IsDigits(text, at + 3, 2) || text[at + 5] != ':' || !IsDigits(text, at + 6, 2) ||
      Number(text, at, 2) > 23 || Number(text, at + 3, 2) > 59 || Number(text, at + 6, 2) > 59) {
    return false;
  }
  const size_t rest = at + 8;
  if (rest == text.size()) return true;
  const size_t fraction = text.size() - rest - 1;
  return text[rest] == '.' && fraction >= 1 && fraction <= 6 && IsDigits(text, rest + 1, fraction) &&
         text.back() != '0';
}

// "YYYY-MM-DD" of a real day of the common era at the start of `text` (DuckDB writes the year
// before 1 as "0001-01-01 (BC)").
bool IsDate(std::string_view text) {
  if (text.size() < 10 || !IsDigits(text, 0, 4) || text[4] != '-' || !IsDigits(text, 5, 2) ||
      text[7] != '-' || !IsDigits(text, 8, 2)) {
    return false;
  }
  const int year = Number(text, 0, 4);
  const int month = Number(text, 5, 2);
  const int day = Number(text, 8, 2);
  const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
  const int days[] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return year >= 1 && month >= 1 && month <= 12 && day >= 1 && day <= days[month - 1];
}

// Integers and decimals of at most 15 significant digits are what a double holds exactly, or at
// least reads back as written.
bool FitsDouble(std::string_view digits) {
  size_t significant = 0;
  bool leading = true;
  for (const char c : digits) {
    if (c < '0' || c > '9') continue;
    if (leading && c == '0') continue;
    leading = false;
    ++significant;
  }
  return significant <= 15;
}

// A timestamp without an offset from UTC, as DuckDB writes one: "2024-07-01 12:00:00". One with
// an offset, or a "T", stays text, which keeps it as written.
void CountTimestamp(ColumnCensus& census, std::string_view text) {
  census.notTimestamp =
      !(IsDate(text) && text.size() > 10 && text[10] == ' ' && IsTimeAt(text, 11));
}

void Count(ColumnCensus& census, const CellView& raw) {
  char buffer[32];
  const CellView cell = WithRealText(raw, buffer);
  if (cell.isNull) {
    ++census.nulls;
    return;
  }
  const std::string_view text = cell.text;
  switch (cell.kind) {
    case CellKind::kInteger: {
      ++census.integers;
      int64_t value = 0;
      const auto read = std::from_chars(text.data(), text.data() + text.size(), value);
      census.beyond64Bits |= read.ec != std::errc() || read.ptr != text.data() + text.size();
      census.beyondDouble |= !FitsDouble(text);
      census.notBoolean |= text != "0" && text != "1";
      return;
    }
    case CellKind::kReal:
    case CellKind::kDouble: {
      ++census.reals;
      // A finite number is written with a digit first or after its sign; "inf" and "nan" not.
      const size_t first = !text.empty() && text[0] == '-' ? 1 : 0;
      if (text.size() <= first || text[first] < '0' || text[first] > '9') {
        census.nonFinite = true;
        census.notANumber |= text.find_first_of("nN") != std::string_view::npos;
      } else if (first == 1 && text.find_first_of("123456789") == std::string_view::npos) {
        census.negativeZero = true;
      }
      return;
    }
    case CellKind::kDecimal:
      ++census.decimals;
      census.beyondDouble |= !FitsDouble(text);
      return;
    case CellKind::kBoolean:
      ++census.booleans;
      return;
    case CellKind::kBlob:
      ++census.blobs;
      return;
    case CellKind::kJson:
      ++census.json;
      return;
    case CellKind::kText:
      ++census.texts;
      census.notUtf8 = census.notUtf8 || !IsUtf8WithoutNul(text);
      // Once a text is no date, no later one can make the column one.
      census.notDate = census.notDate || !(IsDate(text) && text.size() == 10);
      census.notTime = census.notTime || !IsTimeAt(text, 0);
      if (!census.notTimestamp) CountTimestamp(census, text);
      return;
  }
}

}  // namespace

bool CensusTaker::BeginResult(const std::vector<std::string>& columns) {
  columns_.assign(columns.size(), ColumnCensus());
  return true;
}

bool CensusTaker::AddRow(const CellView* cells, size_t count) {
  for (size_t i = 0; i < count && i < columns_.size(); ++i) Count(columns_[i], cells[i]);
  return true;
}

}  // namespace Corvenmark
