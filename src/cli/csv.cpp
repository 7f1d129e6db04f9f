#include "cli/csv.h"

#include "platform/line_end.h"

namespace Corvenmark {
namespace {

bool NeedsQuotes(std::string_view field) {
  for (const char c : field) {
    if (c == ',' || c == '"' || c == '\n' || c == '\r') return true;
  }
  return false;
}

}  // namespace

void AppendCsvField(std::string& out, const CellView& field) {
  if (field.isNull) return;
  if (!field.text.empty() && !NeedsQuotes(field.text)) {
    out += field.text;
    return;
  }
  out += '"';
  for (const char c : field.text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

void AppendCsvRecord(std::string& out, const CellView* cells, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) out += ',';
    AppendCsvField(out, cells[i]);
  }
  out += kLineEnd;
}

void AppendCsvRecord(std::string& out, const std::vector<std::string>& fields) {
  std::vector<CellView> cells;
  for (const std::string& field : fields) cells.push_back({field});
  AppendCsvRecord(out, cells.data(), cells.size());
}

CsvWriter::CsvWriter(std::ostream& out, size_t bufferBytes)
    : out_(out), bufferBytes_(bufferBytes) {}

bool CsvWriter::BeginResult(const std::vector<std::string>& columns) {
  buffer_.clear();
  rows_ = 0;
  AppendCsvRecord(buffer_, columns);
  return true;
}

bool CsvWriter::AddRow(const CellView* cells, size_t count) {
  AppendCsvRecord(buffer_, cells, count);
  ++rows_;
  return buffer_.size() < bufferBytes_ || Flush();
}

bool CsvWriter::Flush() {
  out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
  buffer_.clear();
  return static_cast<bool>(out_);
}

bool CsvWriter::Finish() { return Flush(); }

}  // namespace Corvenmark
