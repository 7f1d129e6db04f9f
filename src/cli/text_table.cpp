#include "cli/text_table.h"

#include "platform/line_end.h"
#include "platform/utf8.h"

namespace Corvenmark {
namespace {

const char kHorizontal[] = "\xE2\x94\x80";  // ─

// One border line: `left`, then each column's run of ─ joined by `middle`, then `right`.
void WriteBorder(std::ostream& out, const TableShape& shape, const char* left, const char* middle,
                 const char* right) {
  out << left;
  for (size_t i = 0; i < shape.widths.size(); ++i) {
    if (i > 0) out << middle;
    for (size_t n = 0; n < shape.widths[i] + 2; ++n) out << kHorizontal;
  }
  out << right << kLineEnd;
}

size_t WidthOf(std::string_view shown) {
  size_t width = 0;
  for (const char c : shown) width += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
  return width;
}

void WriteCells(std::ostream& out, const TableShape& shape, std::string_view cells) {
  out << "\xE2\x94\x82";  // │
  for (size_t i = 0; i < shape.widths.size(); ++i) {
    const size_t tab = cells.find('\t');
    const std::string_view cell = cells.substr(0, tab);
    cells.remove_prefix(tab == std::string_view::npos ? cells.size() : tab + 1);
    const std::string padding(shape.widths[i] - std::min(shape.widths[i], WidthOf(cell)), ' ');
    out << ' ';
    const bool right = shape.numeric[i] && shape.anyNumber[i];
    if (right) out << padding << cell;
    if (!right) out << cell << padding;
    out << " \xE2\x94\x82";
  }
  out << kLineEnd;
}

}  // namespace

size_t AppendTableCell(std::string& out, const CellView& cell) {
  static const char kHex[] = "0123456789ABCDEF";
  if (cell.isNull) {
    out += "NULL";
    return 4;
  }
  const std::string_view text = cell.text;
  std::string shown;
  size_t width = 0;
  size_t cutAt = 0;  // where the mark of a cut goes: after the character before the last
  const auto put = [&](std::string_view character) {
    if (width == kTableCellWidth - 1) cutAt = shown.size();
    shown += character;
    ++width;
  };
  for (size_t i = 0; i < text.size() && width <= kTableCellWidth;) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const size_t length = Utf8SequenceLength(text, i);
    const char escape = byte == '\n' ? 'n' : byte == '\r' ? 'r' : byte == '\t' ? 't' : '\0';
    if (escape != '\0') {
      put("\\");
      put(std::string_view(&escape, 1));
    } else if (byte < 0x20 || byte == 0x7F) {
      const char hex[] = {'x', kHex[byte >> 4], kHex[byte & 0xF]};
      put("\\");
      for (const char& c : hex) put(std::string_view(&c, 1));
    } else {
      put(length == 0 ? std::string_view("\xEF\xBF\xBD") : text.substr(i, length));
    }
    i += length == 0 ? 1 : length;
  }
  if (width > kTableCellWidth) {
    shown.resize(cutAt);
    shown += "\xE2\x80\xA6";  // …
    width = kTableCellWidth;
  }
  out += shown;
  return width;
}

void WriteTableTop(std::ostream& out, const TableShape& shape) {
  WriteBorder(out, shape, "\xE2\x94\x8C", "\xE2\x94\xAC", "\xE2\x94\x90");  // ┌ ┬ ┐
  std::string headers;
  for (size_t i = 0; i < shape.headers.size(); ++i) {
    if (i > 0) headers += '\t';
    headers += shape.headers[i];
  }
  TableShape left = shape;
  left.numeric.assign(shape.numeric.size(), false);
  WriteCells(out, left, headers);
  WriteBorder(out, shape, "\xE2\x94\x9C", "\xE2\x94\xBC", "\xE2\x94\xA4");  // ├ ┼ ┤
}

void WriteTableRow(std::ostream& out, const TableShape& shape, std::string_view cells) {
  WriteCells(out, shape, cells);
}

void WriteTableBottom(std::ostream& out, const TableShape& shape, uint64_t rows, uint64_t shown) {
  WriteBorder(out, shape, "\xE2\x94\x94", "\xE2\x94\xB4", "\xE2\x94\x98");  // └ ┴ ┘
  out << '(' << rows << (rows == 1 ? " row" : " rows");
  if (shown < rows) out << ", the first " << shown << " shown";
  out << ')' << kLineEnd;
}

}  // namespace Corvenmark
