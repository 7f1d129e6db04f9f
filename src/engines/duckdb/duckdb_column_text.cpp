#include "engines/duckdb/duckdb_column_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>

namespace Corvenmark {
namespace {

__extension__ typedef unsigned __int128 Unsigned128;

// The decimal digits of `value`, written backwards from `end`; returns where they start.
char* WriteDigitsBackwards(Unsigned128 value, char* end) {
  do {
    *--end = static_cast<char>('0' + static_cast<int>(value % 10));
    value /= 10;
  } while (value != 0);
  return end;
}

// Writes a value that is `magnitude` × 10^-scale, negative when asked, as DuckDB does: no point
// without a scale; with one, exactly `scale` digits after the point and before it the integer
// part, "0" when it is zero, but nothing at all in a type with no integer digits (DECIMAL(3,3)
// writes ".123").
CellView WriteScaled(char* buffer, size_t size, Unsigned128 magnitude, bool negative, uint8_t scale,
                     bool integerPart) {
  char* const end = buffer + size;
  char* start = WriteDigitsBackwards(magnitude, end);
  if (scale > 0) {
    while (end - start < scale) *--start = '0';
    // The integer digits move one place to the left, to make room for the point.
    char* const point = end - scale - 1;
    std::copy(start, point + 1, start - 1);
    --start;
    *point = '.';
    if (point == start && integerPart) *--start = '0';
  }
  if (negative) *--start = '-';
  return {{start, static_cast<size_t>(end - start)}};
}

Unsigned128 Magnitude(int64_t value) {
  return value < 0 ? Unsigned128(0) - static_cast<Unsigned128>(value)
                   : static_cast<Unsigned128>(value);
}

Unsigned128 HugeintBits(const duckdb_hugeint& value) {
  return (static_cast<Unsigned128>(static_cast<uint64_t>(value.upper)) << 64) | value.lower;
}

// A signed integer of `storage` at `row`, widened.
int64_t SignedAt(const void* data, duckdb_type storage, size_t row) {
  switch (storage) {
    case DUCKDB_TYPE_TINYINT:
      return static_cast<const int8_t*>(data)[row];
    case DUCKDB_TYPE_SMALLINT:
      return static_cast<const int16_t*>(data)[row];
    case DUCKDB_TYPE_INTEGER:
      return static_cast<const int32_t*>(data)[row];
    default:
      return static_cast<const int64_t*>(data)[row];
  }
}

uint64_t UnsignedAt(const void* data, duckdb_type type, size_t row) {
  switch (type) {
    case DUCKDB_TYPE_UTINYINT:
      return static_cast<const uint8_t*>(data)[row];
    case DUCKDB_TYPE_USMALLINT:
      return static_cast<const uint16_t*>(data)[row];
    case DUCKDB_TYPE_UINTEGER:
      return static_cast<const uint32_t*>(data)[row];
    default:
      return static_cast<const uint64_t*>(data)[row];
  }
}

// Writes `value` as DuckDB writes a DOUBLE: the fewest digits that read back to the same value,
// in fixed notation with at least one digit after the point when the decimal exponent is from -4
// to 15 (100.0, 0.0001), in scientific notation otherwise (1e+16, 2.5e-07). `buffer` has room
// for 48 characters. (DuckDB writes a FLOAT with digits of its own choosing, so it casts those.)
CellView WriteDouble(char* buffer, double value) {
  if (std::isnan(value)) return {"nan"};
  if (std::isinf(value)) return {value < 0 ? "-inf" : "inf"};
  char scientific[48];
  const auto written = std::to_chars(scientific, scientific + sizeof scientific, value,
                                     std::chars_format::scientific);
  const std::string_view text(scientific, static_cast<size_t>(written.ptr - scientific));
  const size_t e = text.find('e');
  int exponent = 0;
  std::from_chars(text.data() + e + (text[e + 1] == '+' ? 2 : 1), text.data() + text.size(),
                  exponent);
  if (exponent < -4 || exponent >= 16) {
    std::copy(text.begin(), text.end(), buffer);
    return {{buffer, text.size()}};
  }
  const bool negative = text[0] == '-';
  std::string_view mantissa = text.substr(negative ? 1 : 0, e - (negative ? 1 : 0));
  char digits[24];
  size_t count = 0;
  for (const char c : mantissa) {
    if (c != '.') digits[count++] = c;
  }
  char* out = buffer;
  if (negative) *out++ = '-';
  if (exponent < 0) {
    out = std::copy_n("0.0000", 1 - exponent, out);
    out = std::copy_n(digits, count, out);
  } else {
    const size_t integerDigits = static_cast<size_t>(exponent) + 1;
    for (size_t i = 0; i < integerDigits; ++i) *out++ = i < count ? digits[i] : '0';
    *out++ = '.';
    out = count > integerDigits ? std::copy(digits + integerDigits, digits + count, out)
                                : std::copy_n("0", 1, out);
  }
  return {{buffer, static_cast<size_t>(out - buffer)}};
}

}  // namespace

CellKind KindOf(duckdb_type type) {
  switch (type) {
    case DUCKDB_TYPE_BOOLEAN:
      return CellKind::kBoolean;
    case DUCKDB_TYPE_TINYINT:
    case DUCKDB_TYPE_SMALLINT:
    case DUCKDB_TYPE_INTEGER:
    case DUCKDB_TYPE_BIGINT:
    case DUCKDB_TYPE_HUGEINT:
    case DUCKDB_TYPE_UTINYINT:
    case DUCKDB_TYPE_USMALLINT:
    case DUCKDB_TYPE_UINTEGER:
    case DUCKDB_TYPE_UBIGINT:
    case DUCKDB_TYPE_UHUGEINT:
      return CellKind::kInteger;
    case DUCKDB_TYPE_FLOAT:
    case DUCKDB_TYPE_DOUBLE:
      return CellKind::kReal;
    case DUCKDB_TYPE_DECIMAL:
      return CellKind::kDecimal;
    case DUCKDB_TYPE_BLOB:
      return CellKind::kBlob;
    default:
      return CellKind::kText;
  }
}

// FLOAT's own text is the shortest that reads back to the same float, which DuckDB's cast
// writes; the program writes a double's. A BLOB's text is DuckDB's escapes of its bytes.
bool WritesOwnText(duckdb_type type) {
  return type == DUCKDB_TYPE_VARCHAR ||
         (KindOf(type) != CellKind::kText && type != DUCKDB_TYPE_FLOAT && type != DUCKDB_TYPE_BLOB);
}

bool IsNested(duckdb_type type) {
  return type == DUCKDB_TYPE_LIST || type == DUCKDB_TYPE_STRUCT || type == DUCKDB_TYPE_MAP ||
         type == DUCKDB_TYPE_ARRAY;
}

ColumnFormat FormatOf(duckdb_logical_type type) {
  const DuckDbApi& api = *DuckDb();
  ColumnFormat format;
  format.type = api.duckdb_get_type_id(type);
  format.storage = format.type;
  format.kind = KindOf(format.type);
  if (format.type == DUCKDB_TYPE_DECIMAL) {
    format.storage = api.duckdb_decimal_internal_type(type);
    format.width = api.duckdb_decimal_width(type);
    format.scale = api.duckdb_decimal_scale(type);
  }
  return format;
}

ColumnText::ColumnText(duckdb_vector vector, const ColumnFormat& format, size_t rowOffset)
    : format_(format),
      data_(DuckDb()->duckdb_vector_get_data(vector)),
      validity_(DuckDb()->duckdb_vector_get_validity(vector)),
      rowOffset_(rowOffset) {}

CellView ColumnText::Cell(size_t row) {
  CellView cell = Text(row);
  if (!cell.isNull) cell.kind = format_.kind;
  return cell;
}

CellView ColumnText::Text(size_t row) {
  row += rowOffset_;
  if (validity_ != nullptr && ((validity_[row / 64] >> (row % 64)) & 1) == 0) return {{}, true};
  char* const end = buffer_ + sizeof buffer_;
  switch (format_.type) {
    case DUCKDB_TYPE_VARCHAR:
    case DUCKDB_TYPE_BLOB: {  // held as a string of bytes; read as such only when asked
      auto* text = &static_cast<duckdb_string_t*>(data_)[row];
      const DuckDbApi& api = *DuckDb();
      return {{api.duckdb_string_t_data(text), api.duckdb_string_t_length(*text)}};
    }
    case DUCKDB_TYPE_BOOLEAN:
      return {static_cast<const bool*>(data_)[row] ? "true" : "false"};
    case DUCKDB_TYPE_UTINYINT:
    case DUCKDB_TYPE_USMALLINT:
    case DUCKDB_TYPE_UINTEGER:
    case DUCKDB_TYPE_UBIGINT: {
      const auto written = std::to_chars(buffer_, end, UnsignedAt(data_, format_.type, row));
      return {{buffer_, static_cast<size_t>(written.ptr - buffer_)}};
    }
    case DUCKDB_TYPE_DOUBLE:
      return WriteDouble(buffer_, static_cast<const double*>(data_)[row]);
    case DUCKDB_TYPE_UHUGEINT: {
      const auto& value = static_cast<const duckdb_uhugeint*>(data_)[row];
      const Unsigned128 bits = (static_cast<Unsigned128>(value.upper) << 64) | value.lower;
      return WriteScaled(buffer_, sizeof buffer_, bits, false, 0, true);
    }
    default:
      break;
  }
  // A signed integer, or a DECIMAL held in one.
  if (format_.storage == DUCKDB_TYPE_HUGEINT) {
    const Unsigned128 bits = HugeintBits(static_cast<const duckdb_hugeint*>(data_)[row]);
    const bool negative = (bits >> 127) != 0;
    return WriteScaled(buffer_, sizeof buffer_, negative ? Unsigned128(0) - bits : bits, negative,
                       format_.scale, format_.width > format_.scale);
  }
  const int64_t value = SignedAt(data_, format_.storage, row);
  if (format_.scale == 0) {
    const auto written = std::to_chars(buffer_, end, value);
    return {{buffer_, static_cast<size_t>(written.ptr - buffer_)}};
  }
  return WriteScaled(buffer_, sizeof buffer_, Magnitude(value),
                     value<0, format_.scale, format_.width> format_.scale);
}

}  // namespace Corvenmark
