#include "cli/json_text.h"

#include <charconv>
#include <cmath>

#include "platform/utf8.h"

namespace Corvenmark {
namespace {

// JSON numbers start with a digit or a minus sign and a digit; an exact decimal may be written
// without its leading zero (".5"), which is put back.
void AppendExactNumber(std::string& out, std::string_view digits) {
  const bool negative = !digits.empty() && digits[0] == '-';
  if (negative) {
    out += '-';
    digits.remove_prefix(1);
  }
  if (digits.empty() || digits[0] == '.') out += '0';
  out += digits;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// True for text in the form of a JSON number: -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
bool IsJsonNumber(std::string_view text) {
  size_t i = 0;
  const auto digits = [&] {
    const size_t start = i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    return i > start;
  };
  if (i < text.size() && text[i] == '-') ++i;
  if (i < text.size() && text[i] == '0') {
    ++i;
  } else if (!digits()) {
    return false;
  }
  if (i < text.size() && text[i] == '.' && (++i, !digits())) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (!digits()) return false;
  }
  return i == text.size();
}

// An engine writes a finite real as a number that reads back to it, which is kept as it is;
// what no JSON number can say (infinities, NaN) is read and written as a string.
void AppendReal(std::string& out, std::string_view text) {
  if (IsJsonNumber(text)) {
    out += text;
    return;
  }
  double value = 0;
  const auto read = std::from_chars(text.data(), text.data() + text.size(), value);
  if (read.ec != std::errc() || read.ptr != text.data() + text.size()) {
    AppendJsonString(out, text);
  } else if (std::isnan(value)) {
    out += "\"NaN\"";
  } else if (std::isinf(value)) {
    out += value < 0 ? "\"-Infinity\"" : "\"Infinity\"";
  } else {
    char digits[32];
    const auto written = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, written.ptr);
  }
}

// DuckDB's JSON writes the doubles no JSON number can say as the bare words NaN, Infinity and
// -Infinity, which strict readers refuse; outside strings they become strings, as a real
// column's are. It also writes some decimals without their leading zero (".5"), which is put
// back.
void AppendEngineJson(std::string& out, std::string_view json) {
  bool inString = false;
  for (size_t i = 0; i < json.size(); ++i) {
    const char c = json[i];
    if (inString) {
      if (c == '\\') out += json[i++];
      if (c == '"') inString = false;
      if (i < json.size()) out += json[i];
      continue;
    }
    inString = c == '"';
    if (c == '.' && (out.empty() || out.back() < '0' || out.back() > '9')) out += '0';
    bool replaced = false;
    for (const std::string_view word : {"NaN", "Infinity", "-Infinity"}) {
      if (json.substr(i, word.size()) == word) {
        out += '"';
        out += word;
        out += '"';
        i += word.size() - 1;
        replaced = true;
        break;
      }
    }
    if (!replaced) out += c;
  }
}

}  // namespace

void AppendJsonString(std::string& out, std::string_view text) {
  static const char kHex[] = "0123456789abcdef";
  out += '"';
  size_t plain = 0;  // the start of the bytes not yet appended that need no escape
  for (size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte >= 0x20 && byte != '"' && byte != '\\' && byte < 0x80) {
      ++i;
      continue;
    }
    const size_t length = byte < 0x80 ? 1 : Utf8SequenceLength(text, i);
    if (length > 1) {
      i += length;
      continue;
    }
    out.append(text.substr(plain, i - plain));
    switch (byte) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (byte < 0x20) {
          out += "\\u00";
          out += kHex[byte >> 4];
          out += kHex[byte & 0xF];
        } else {
          out += "\xEF\xBF\xBD";  // U+FFFD for a byte that is not UTF-8
        }
    }
    plain = ++i;
  }
  out.append(text.substr(plain));
  out += '"';
}

void AppendJsonValue(std::string& out, const CellView& raw) {
  char buffer[32];
  const CellView cell = WithRealText(raw, buffer);
  if (cell.isNull) {
    out += "null";
    return;
  }
  switch (cell.kind) {
    case CellKind::kInteger:
    case CellKind::kDecimal:
      AppendExactNumber(out, cell.text);
      return;
    case CellKind::kReal:
    case CellKind::kDouble:
      AppendReal(out, cell.text);
      return;
    case CellKind::kBoolean:
      out += cell.text == "true" ? "true" : "false";
      return;
    case CellKind::kJson:
      AppendEngineJson(out, cell.text);
      return;
    case CellKind::kText:
    case CellKind::kBlob:
      AppendJsonString(out, cell.text);
      return;
  }
}

void AppendJsonNumber(std::string& out, int64_t value) {
  char digits[24];
  const auto written = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, written.ptr);
}

}  // namespace Corvenmark
