#include "cli/diff_values.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string_view>

#include "engines/sql_text.h"
#include "platform/utf8.h"

namespace Corvenmark {
namespace {

enum class Class { kNull, kNumber, kText, kBlob };
enum class Number { kInteger, kReal, kWide };

// A value as the comparison sees it. `rank` orders numbers of equal value but different kinds
// within one format.
struct Normal {
  Class kind = Class::kNull;
  Number number = Number::kInteger;
  int64_t integer = 0;
  double real = 0;
  std::string_view bytes;  ///< A text's, a BLOB's, or a wide number's digits.
  int rank = 0;
};

constexpr std::string_view kNotANumber = "NaN";

bool ReadInteger(std::string_view text, int64_t& value) {
  const auto read = std::from_chars(text.data(), text.data() + text.size(), value);
  return read.ec == std::errc() && read.ptr == text.data() + text.size();
}

// `buffer` holds the text of a double's bits where the rules compare texts.
Normal Normalize(const CellView& raw, ValueRules rules, char (&buffer)[32]) {
  Normal value;
  if (raw.isNull) return value;
  const CellView cell = rules == ValueRules::kAcrossAsBytes || rules == ValueRules::kAcrossAsText
                            ? WithRealText(raw, buffer)
                            : raw;
  const bool across = rules != ValueRules::kOneFormat;
  if (rules == ValueRules::kAcrossAsBytes ||
      (rules == ValueRules::kAcrossAsText && cell.kind != CellKind::kBlob)) {
    value.kind = rules == ValueRules::kAcrossAsBytes ? Class::kBlob : Class::kText;
    value.bytes = cell.text;
    return value;
  }
  value.kind = Class::kNumber;
  switch (cell.kind) {
    case CellKind::kBoolean:
      value.integer = cell.text == "true" ? 1 : 0;
      value.rank = 3;
      return value;
    case CellKind::kInteger:
      if (ReadInteger(cell.text, value.integer)) return value;
      value.kind = across ? Class::kText : Class::kNumber;
      value.number = Number::kWide;
      value.bytes = cell.text;
      return value;
    case CellKind::kReal:
    case CellKind::kDouble:
      value.number = Number::kReal;
      value.real = RealOf(cell);
      value.rank = 1;
      if (across && std::isnan(value.real)) {
        value.kind = Class::kText;
        value.bytes = kNotANumber;
      }
      return value;
    case CellKind::kDecimal:
      value.kind = across ? Class::kText : Class::kNumber;
      value.number = Number::kWide;
      value.bytes = cell.text;
      value.rank = 2;
      return value;
    case CellKind::kBlob:
      value.kind = Class::kBlob;
      value.bytes = cell.text;
      return value;
    default:
      value.kind = Class::kText;
      value.bytes = cell.text;
      return value;
  }
}

template <class T>
int Order(const T& first, const T& second) {
  return first < second ? -1 : second < first ? 1 : 0;
}

// Two exact decimal texts ("-12.50", "3") by the numbers they write.
int CompareDecimalTexts(std::string_view first, std::string_view second) {
  struct Parts {
    bool negative = false;
    std::string_view whole, fraction;
  };
  const auto split = [](std::string_view text) {
    Parts parts;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
      parts.negative = text[0] == '-';
      text.remove_prefix(1);
    }
    const size_t point = text.find('.');
    parts.whole = text.substr(0, point);
    if (point != std::string_view::npos) parts.fraction = text.substr(point + 1);
    while (!parts.whole.empty() && parts.whole[0] == '0') parts.whole.remove_prefix(1);
    while (!parts.fraction.empty() && parts.fraction.back() == '0') parts.fraction.remove_suffix(1);
    if (parts.whole.empty() && parts.fraction.empty()) parts.negative = false;
    return parts;
  };
  const Parts a = split(first);
  const Parts b = split(second);
  if (a.negative != b.negative) return a.negative ? -1 : 1;
  int magnitude = Order(a.whole.size(), b.whole.size());
  if (magnitude == 0) magnitude = a.whole.compare(b.whole);
  if (magnitude == 0) magnitude = a.fraction.compare(b.fraction);
  magnitude = Order(magnitude, 0);
  return a.negative ? -magnitude : magnitude;
}

// Two integers by their digits, as engines write them: an optional minus sign and no leading
// zero, of any width. A longer number is the larger, or with a minus sign the smaller.
int CompareIntegerTexts(std::string_view first, std::string_view second) {
  const bool negative = !first.empty() && first[0] == '-';
  if (negative != (!second.empty() && second[0] == '-')) return negative ? -1 : 1;
  int order = Order(first.size(), second.size());
  if (order == 0) order = Order(first.compare(second), 0);
  return negative ? -order : order;
}

// An integer against a double, exactly; NaN after every number.
int CompareIntegerWithReal(int64_t integer, double real) {
  if (std::isnan(real)) return -1;
  if (real >= 9223372036854775808.0) return -1;
  if (real < -9223372036854775808.0) return 1;
  const double whole = std::trunc(real);
  const int order = Order(integer, static_cast<int64_t>(whole));
  return order != 0 ? order : Order(0.0, real - whole);
}

int CompareReals(double first, double second) {
  if (std::isnan(first) || std::isnan(second)) return Order(std::isnan(first), std::isnan(second));
  const int order = Order(first, second);
  // -0.0 before 0.0: bit for bit they are two values.
  return order != 0 ? order : Order(!std::signbit(first), !std::signbit(second));
}

std::string WideText(const Normal& value) {
  if (value.number == Number::kWide) return std::string(value.bytes);
  if (value.number == Number::kInteger) return std::to_string(value.integer);
  char text[40];
  std::snprintf(text, sizeof text, "%.17f", value.real);
  return text;
}

int CompareNumbers(const Normal& first, const Normal& second) {
  if (first.number == Number::kInteger && second.number == Number::kInteger) {
    return Order(first.integer, second.integer);
  }
  if (first.number == Number::kReal && second.number == Number::kReal) {
    return CompareReals(first.real, second.real);
  }
  if (first.number == Number::kInteger && second.number == Number::kReal) {
    return CompareIntegerWithReal(first.integer, second.real);
  }
  if (first.number == Number::kReal && second.number == Number::kInteger) {
    return -CompareIntegerWithReal(second.integer, first.real);
  }
  // A number wider than 64 bits, or an exact decimal, against any number.
  const Normal* reals[] = {&first, &second};
  for (const Normal* value : reals) {
    if (value->number == Number::kReal && !std::isfinite(value->real)) {
      const int side = std::isnan(value->real) || value->real > 0 ? 1 : -1;
      return value == &first ? side : -side;
    }
  }
  return CompareDecimalTexts(WideText(first), WideText(second));
}

void AppendHex(std::string& out, std::string_view bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  for (const char c : bytes) {
    out += kDigits[static_cast<unsigned char>(c) >> 4];
    out += kDigits[static_cast<unsigned char>(c) & 15];
  }
}

std::string BlobLiteral(std::string_view bytes, SqlDialect dialect) {
  std::string literal;
  if (dialect == SqlDialect::kSqlite) {
    literal = "X'";
    AppendHex(literal, bytes);
    return literal + "'";
  }
  literal = "'";
  for (const char c : bytes) {
    literal += "\\x";
    AppendHex(literal, std::string_view(&c, 1));
  }
  return literal + "'::BLOB";
}

// A double's text that an SQL reader takes for a double, not an integer: "2.0", "1e+300".
std::string RealText(std::string text) {
  if (text.find_first_of(".eEnN") == std::string::npos) text += ".0";
  return text;
}

std::string RealLiteral(double real, SqlDialect dialect) {
  if (std::isnan(real)) return dialect == SqlDialect::kDuckDb ? "'NaN'::DOUBLE" : "NULL";
  if (std::isinf(real)) {
    if (dialect == SqlDialect::kSqlite) return real > 0 ? "9e999" : "-9e999";
    return real > 0 ? "'Infinity'::DOUBLE" : "'-Infinity'::DOUBLE";
  }
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", real);
  return RealText(text);
}

std::string TextLiteral(std::string_view text, SqlDialect dialect) {
  // SQLite keeps text that no string literal can write (a NUL byte, bytes that are not UTF-8).
  if (dialect == SqlDialect::kSqlite && !IsUtf8WithoutNul(text)) {
    return "CAST(" + BlobLiteral(text, dialect) + " AS TEXT)";
  }
  return QuotedText(text);
}

}  // namespace

int CompareValues(const CellView& first, const CellView& second, ValueRules rules) {
  // Most keys are integers: compared by their digits, without the rest.
  if (!first.isNull && !second.isNull && first.kind == CellKind::kInteger &&
      second.kind == CellKind::kInteger && (rules == ValueRules::kOneFormat ||
                                            rules == ValueRules::kAcrossFormats)) {
    return CompareIntegerTexts(first.text, second.text);
  }
  char buffers[2][32];
  const Normal a = Normalize(first, rules, buffers[0]);
  const Normal b = Normalize(second, rules, buffers[1]);
  if (a.kind != b.kind) return Order(a.kind, b.kind);
  switch (a.kind) {
    case Class::kNull:
      return 0;
    case Class::kNumber: {
      const int order = CompareNumbers(a, b);
      if (order != 0 || rules != ValueRules::kOneFormat) return order;
      return Order(a.rank, b.rank);
    }
    default:
      return Order(a.bytes.compare(b.bytes), 0);
  }
}

std::string SqlLiteral(const CellView& raw, SqlDialect dialect, bool acrossFormats) {
  char buffer[32];
  const CellView cell = WithRealText(raw, buffer);
  if (cell.isNull) return "NULL";
  if (acrossFormats) {
    const Normal value = Normalize(cell, ValueRules::kAcrossFormats, buffer);
    if (value.kind == Class::kText) return TextLiteral(value.bytes, dialect);
    if (cell.kind == CellKind::kBoolean) return std::to_string(value.integer);
  }
  switch (cell.kind) {
    case CellKind::kBoolean:
      if (dialect == SqlDialect::kDuckDb) return std::string(cell.text);
      return cell.text == "true" ? "1" : "0";
    case CellKind::kInteger:
    case CellKind::kDecimal:
      return std::string(cell.text);
    case CellKind::kReal:
    case CellKind::kDouble:
      return RealLiteral(RealOf(cell), dialect);
    case CellKind::kBlob:
      return BlobLiteral(cell.text, dialect);
    default:
      return TextLiteral(cell.text, dialect);
  }
}

std::string ReportLiteral(const CellView& raw) {
  char buffer[32];
  const CellView cell = WithRealText(raw, buffer);
  if (cell.isNull) return "NULL";
  switch (cell.kind) {
    case CellKind::kBoolean:
    case CellKind::kInteger:
    case CellKind::kDecimal:
      return std::string(cell.text);
    case CellKind::kReal:
    case CellKind::kDouble: {
      const double real = RealOf(cell);
      if (std::isnan(real)) return "NaN";
      if (std::isinf(real)) return real > 0 ? "Inf" : "-Inf";
      return RealText(std::string(cell.text));
    }
    case CellKind::kBlob:
      return BlobLiteral(cell.text, SqlDialect::kSqlite);
    default:
      return QuotedText(cell.text);
  }
}

}  // namespace Corvenmark
