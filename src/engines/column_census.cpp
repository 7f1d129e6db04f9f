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

// "HH:MM:SS", then an optional fraction, from `at` to the end.
bool IsTimeAt(std::string_view text, size_t at) {
  if (!IsDigits(text, at, 2) || text.size() < at + 8 || text[at + 2] != ':' ||
      !IsDigits(text, at + 3, 2) || text[at + 5] != ':' || !IsDigits(text, at + 6, 2)) {
    return false;
  }
  const size_t rest = at + 8;
  if (rest == text.size()) return true;
  return text[rest] == '.' && rest + 1 < text.size() &&
         IsDigits(text, rest + 1, text.size() - rest - 1);
}

bool IsDate(std::string_view text) {
  return text.size() >= 10 && IsDigits(text, 0, 4) && text[4] == '-' && IsDigits(text, 5, 2) &&
         text[7] == '-' && IsDigits(text, 8, 2);
}

bool IsUtf8WithoutNul(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const size_t length = Utf8SequenceLength(text, i);
    if (length == 0 || text[i] == '\0') return false;
    i += length;
  }
  return true;
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

// A timestamp, with an offset from UTC or without: "2024-07-01 12:00:00", "...+00", "...-04:30".
void CountTimestamp(ColumnCensus& census, std::string_view text) {
  const size_t sign = text.find_last_of("+-");
  const bool offset =
      sign != std::string_view::npos && sign > 18 && IsDigits(text, sign + 1, 2) &&
      (text.size() == sign + 3 ||
       (text.size() == sign + 6 && text[sign + 3] == ':' && IsDigits(text, sign + 4, 2)));
  const std::string_view local = offset ? text.substr(0, sign) : text;
  census.withOffset |= offset;
  census.notTimestamp = !(IsDate(local) && local.size() > 10 &&
                          (local[10] == ' ' || local[10] == 'T') && IsTimeAt(local, 11));
}

void Count(ColumnCensus& census, const CellView& cell) {
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
    case CellKind::kReal: {
      ++census.reals;
      // A finite number is written with a digit first or after its sign; "inf" and "nan" not.
      const size_t first = !text.empty() && text[0] == '-' ? 1 : 0;
      if (text.size() <= first || text[first] < '0' || text[first] > '9') {
        census.nonFinite = true;
        census.notANumber |= text.find_first_of("nN") != std::string_view::npos;
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
