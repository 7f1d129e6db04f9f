#include "cli/query_report.h"

#include <algorithm>
#include <cassert>
#include <set>
#include <utility>

#include "cli/csv.h"
#include "cli/json_text.h"
#include "platform/line_end.h"
#include "cli/reports.h"

namespace Corvenmark {
namespace {

// Room past the budget for the row that crosses it, so that crossing it does not double the
// buffer.
const size_t kHeadroom = size_t{1} << 20;

// The most rows a table shows; people do not read more, and the rest are counted.
const uint64_t kTableRows = 1000;

// Keys of a JSON object must differ to be read back: a column whose name an earlier one has
// gets "_2", "_3" and so on, the first number that makes it new.
std::vector<std::string> JsonKeys(const std::vector<std::string>& columns) {
  std::set<std::string> used;
  std::vector<std::string> keys;
  for (const std::string& column : columns) {
    std::string name = column;
    for (int n = 2; used.count(name) != 0; ++n) name = column + "_" + std::to_string(n);
    used.insert(name);
    std::string key;
    AppendJsonString(key, name);
    keys.push_back(key + ':');
  }
  return keys;
}

bool IsNumber(const CellView& cell) {
  return cell.kind == CellKind::kInteger || cell.kind == CellKind::kReal ||
         cell.kind == CellKind::kDecimal;
}

}  // namespace

QueryReport::QueryReport(Options options) : options_(std::move(options)) {}

bool QueryReport::BeginLastResult(const std::vector<std::string>& columns) {
  const bool begun = BeginResult(columns);
  streaming_ = options_.out != nullptr && (options_.format == OutputFormat::kCsv || PrefersJson());
  return begun;
}

bool QueryReport::BeginResult(const std::vector<std::string>& columns) {
  hasResult_ = true;
  streaming_ = false;
  columns_ = columns;
  lines_.clear();
  rowCount_ = 0;
  spill_.reset();
  if (options_.format == OutputFormat::kJson || options_.format == OutputFormat::kJsonLines) {
    keys_ = JsonKeys(columns);
  }
  if (options_.format == OutputFormat::kTable) {
    table_ = TableShape();
    tableRowsShown_ = 0;
    for (const std::string& column : columns) {
      table_.headers.emplace_back();
      table_.widths.push_back(AppendTableCell(table_.headers.back(), {column}));
      table_.numeric.push_back(true);
      table_.anyNumber.push_back(false);
    }
  }
  return true;
}

bool QueryReport::PrefersJson() const {
  return options_.format == OutputFormat::kJson || options_.format == OutputFormat::kJsonLines;
}

bool QueryReport::AddRow(const CellView* cells, size_t count) {
  // A small result grows its buffer as any string does; one that outgrows the headroom is
  // likely to fill the budget, which is then taken in one piece.
  if (lines_.size() > kHeadroom && lines_.capacity() < options_.memoryBudget + kHeadroom) {
    lines_.reserve(options_.memoryBudget + kHeadroom);
  }
  AppendRecord(cells, count);
  ++rowCount_;
  if (streaming_) return lines_.size() < kHeadroom || Pass();
  return lines_.size() < options_.memoryBudget || Spill();
}

// Writes the rows kept so far, after the head the first time. A write that fails stops the
// rows; the caller's check of the output reports it.
bool QueryReport::Pass() {
  std::ostream& out = *options_.out;
  if (!headWritten_) WriteHead(out);
  headWritten_ = true;
  out.write(lines_.data(), static_cast<std::streamsize>(lines_.size()));
  lines_.clear();
  return static_cast<bool>(out);
}

void QueryReport::WriteHead(std::ostream& out) {
  if (options_.format == OutputFormat::kCsv) {
    std::string header;
    AppendCsvRecord(header, columns_);
    out << header;
  }
  if (options_.format == OutputFormat::kJson) out << '[';
}

void QueryReport::AppendRecord(const CellView* cells, size_t count) {
  switch (options_.format) {
    case OutputFormat::kTsv:
      // A row with no cells writes nothing, not even a line end.
      for (size_t i = 0; i < count; ++i) {
        lines_ += cells[i].text;
        lines_ += i + 1 < count ? std::string_view("\t") : kLineEnd;
      }
      return;
    case OutputFormat::kCsv:
      AppendCsvRecord(lines_, cells, count);
      return;
    case OutputFormat::kJson:
    case OutputFormat::kJsonLines:
      if (options_.format == OutputFormat::kJson && rowCount_ > 0) {
        lines_ += ',';
        lines_ += kLineEnd;
      }
      lines_ += '{';
      for (size_t i = 0; i < count && i < keys_.size(); ++i) {
        if (i > 0) lines_ += ',';
        lines_ += keys_[i];
        AppendJsonValue(lines_, cells[i]);
      }
      lines_ += '}';
      if (options_.format == OutputFormat::kJsonLines) lines_ += kLineEnd;
      return;
    case OutputFormat::kTable:
      if (rowCount_ >= kTableRows) return;
      for (size_t i = 0; i < table_.widths.size(); ++i) {
        if (i > 0) lines_ += '\t';
        const CellView cell = i < count ? cells[i] : CellView{{}, true};
        table_.widths[i] = std::max(table_.widths[i], AppendTableCell(lines_, cell));
        table_.numeric[i] = table_.numeric[i] && (cell.isNull || IsNumber(cell));
        table_.anyNumber[i] = table_.anyNumber[i] || (!cell.isNull && IsNumber(cell));
      }
      lines_ += '\n';
      ++tableRowsShown_;
      return;
    case OutputFormat::kSql:
      // No query writes SQL: the command line refuses the format for them.
      assert(false);
      return;
  }
}

bool QueryReport::Spill() {
  if (!spill_) spill_ = SpillFile::Create(options_.spillDirectory, error_);
  if (!spill_ || !spill_->Write(lines_.data(), lines_.size(), error_)) return false;
  lines_.clear();
  return true;
}

bool QueryReport::Write(std::ostream& out, double elapsedMs, int64_t changedRows) {
  switch (options_.format) {
    case OutputFormat::kTsv:
      out << "Executed in " << FormatElapsed(elapsedMs) << " ms (" << rowCount_
          << " rows):" << kLineEnd;
      WriteTabSeparatedLine(out, columns_);
      return WriteKept(out);
    case OutputFormat::kCsv:
      if (hasResult_ && !headWritten_) WriteHead(out);
      return WriteKept(out);
    case OutputFormat::kJson:
    case OutputFormat::kJsonLines:
      if (!hasResult_) {
        std::string changes = "{\"changes\":";
        AppendJsonNumber(changes, changedRows);
        out << changes << '}' << kLineEnd;
        return true;
      }
      if (!headWritten_) WriteHead(out);
      if (!WriteKept(out)) return false;
      if (options_.format == OutputFormat::kJson) out << ']' << kLineEnd;
      return true;
    case OutputFormat::kTable:
      return WriteTable(out);
    case OutputFormat::kSql:
      break;
  }
  return false;
}

bool QueryReport::WriteKept(std::ostream& out) {
  return ForEachKept([&](std::string_view lines) {
    out.write(lines.data(), static_cast<std::streamsize>(lines.size()));
  });
}

// Hands the lines kept so far to `take` in order, in pieces that may end inside a line: those in
// the temporary file, then those still in memory.
bool QueryReport::ForEachKept(const std::function<void(std::string_view)>& take) {
  if (spill_) {
    // The buffer's memory is reused to carry the spilled lines back.
    if (!Spill() || !spill_->Rewind(error_)) return false;
    lines_.resize(std::max(lines_.capacity(), kHeadroom));
    int64_t count;
    while ((count = spill_->Read(lines_.data(), lines_.size(), error_)) > 0) {
      take(std::string_view(lines_.data(), static_cast<size_t>(count)));
    }
    lines_.clear();
    if (count < 0) return false;
  }
  take(lines_);
  return true;
}

// The shown rows of a wide result may outgrow the memory budget and be kept in the temporary
// file like any other; each is written once its line is whole.
bool QueryReport::WriteTable(std::ostream& out) {
  if (!hasResult_) {
    out << "(no rows)" << kLineEnd;
    return true;
  }
  WriteTableTop(out, table_);
  std::string row;
  const bool read = ForEachKept([&](std::string_view lines) {
    for (size_t end; (end = lines.find('\n')) != std::string_view::npos;) {
      row.append(lines.substr(0, end));
      WriteTableRow(out, table_, row);
      row.clear();
      lines.remove_prefix(end + 1);
    }
    row.append(lines);
  });
  if (!read) return false;
  WriteTableBottom(out, table_, rowCount_, tableRowsShown_);
  return true;
}

}  // namespace Corvenmark
