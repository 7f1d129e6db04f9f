#include "engines/duckdb/duckdb_copy.h"

#include <charconv>
#include <map>
#include <memory>

#include "engines/copy_plan.h"
#include "engines/duckdb/duckdb_chunk_writer.h"
#include "engines/duckdb/duckdb_database.h"
#include "engines/duckdb/duckdb_sample.h"
#include "engines/pipelined_rows.h"
#include "engines/sql_text.h"
#include "engines/type_family.h"
#include "platform/interrupt.h"
#include "platform/utf8.h"

namespace Corvenmark {
namespace {

std::string FamilyType(TypeFamily family, const ColumnCensus& census) {
  const bool onlyText = census.OnlyOf({&ColumnCensus::texts});
  switch (family) {
    case TypeFamily::kInteger:
      if (!census.OnlyOf({&ColumnCensus::integers})) return "";
      return census.beyond64Bits ? "HUGEINT" : "BIGINT";
    case TypeFamily::kFloatingPoint:
      return census.OnlyOf({&ColumnCensus::reals, &ColumnCensus::integers}) && !census.beyondDouble
                 ? "DOUBLE"
                 : "";
    case TypeFamily::kText:
      return onlyText && !census.notUtf8 ? "VARCHAR" : "";
    case TypeFamily::kBlob:
      return census.OnlyOf({&ColumnCensus::blobs}) ? "BLOB" : "";
    case TypeFamily::kBoolean:
      if (census.OnlyOf({&ColumnCensus::booleans})) return "BOOLEAN";
      return census.OnlyOf({&ColumnCensus::integers}) && !census.notBoolean ? "BOOLEAN" : "";
    case TypeFamily::kDate:
      return onlyText && !census.notDate ? "DATE" : "";
    case TypeFamily::kTime:
      return onlyText && !census.notTime ? "TIME" : "";
    case TypeFamily::kTimestamp:
      return onlyText && !census.notTimestamp ? "TIMESTAMP" : "";
    // A decimal of SQLite's is a double or an integer, kept as one below.
    default:
      return "";
  }
}

std::string KeepingType(const ColumnCensus& census) {
  if (census.values() == 0) return "VARCHAR";
  if (census.OnlyOf({&ColumnCensus::integers})) {
    return census.beyond64Bits ? "HUGEINT" : "BIGINT";
  }
  if (census.OnlyOf({&ColumnCensus::integers, &ColumnCensus::reals}) && !census.beyondDouble) {
    return "DOUBLE";
  }
  if (census.blobs == 0 && !census.notUtf8) return "VARCHAR";
  return "BLOB";  // text that is not UTF-8 is kept as its bytes
}

// A key's values must be there, and of one kind: SQLite keeps the integer 1 and the text '1'
// apart, a column of DuckDB's holds both as one type, where they are the same key.
bool KeyHolds(const ColumnCensus& census) {
  int kinds = 0;
  for (const uint64_t count : {census.integers, census.reals, census.decimals, census.booleans,
                               census.texts, census.blobs, census.json}) {
    kinds += count > 0 ? 1 : 0;
  }
  return census.nulls == 0 && kinds <= 1;
}

// Bytes of values of a row group not yet complete that the appender is flushed at: a quarter
// of the memory limit. A row group of DuckDB's is complete at kRowGroupRows rows.
const size_t kBytesPerFlush = 32 << 20;
const size_t kRowGroupRows = 122880;

// Blocks of 256 KiB made between two checkpoints, a quarter of the memory limit in all: one for
// each column of a table copied, a few for each index.
const size_t kBlocksPerCheckpoint = 128;
const size_t kBlocksPerIndex = 4;

const TargetTypes kDuckDbTypes = {"DuckDB", FamilyType, KeepingType, KeyHolds, DuckDbTypeFamily,
                                  false};

std::string QualifiedTable(const TablePlan& plan) {
  return (plan.schema.empty() ? "" : QuotedIdentifier(plan.schema) + ".") +
         QuotedIdentifier(plan.name);
}

std::string CreateTableSql(const TablePlan& plan) {
  std::string sql;
  if (!plan.schema.empty()) {
    sql = "CREATE SCHEMA IF NOT EXISTS " + QuotedIdentifier(plan.schema) + "; ";
  }
  return sql + "CREATE TABLE " + QualifiedTable(plan) + " " + TableDefinitionSql(plan);
}

// How a column's values go to the appender: in the column's own type where that is quick and
// exact, and otherwise as text, which the appender casts to the column's type.
enum class AppendAs { kText, kBigint, kDouble, kBoolean, kBlob };

AppendAs AppendAsFor(const std::string& type) {
  if (type == "BIGINT") return AppendAs::kBigint;
  if (type == "DOUBLE") return AppendAs::kDouble;
  if (type == "BOOLEAN") return AppendAs::kBoolean;
  if (type == "BLOB") return AppendAs::kBlob;
  return AppendAs::kText;
}

class Appender : public RowSink {
 public:
  Appender(duckdb_appender appender, const TablePlan& plan, bool sameFormat, CensusTaker* census)
      : appender_(appender), sameFormat_(sameFormat), census_(census) {
    std::vector<ChunkType> chunkTypes;
    bool chunkable = true;
    for (const ColumnPlan& column : plan.columns) {
      columns_.push_back(AppendAsFor(column.type));
      chunkable = ChunkTypeOf(column.type, chunkTypes.emplace_back()) && chunkable;
    }
    if (chunkable) {
      chunks_ = std::make_unique<DuckDbChunkWriter>(appender, std::move(chunkTypes));
    }
  }
  bool BeginResult(const std::vector<std::string>& columns) override {
    return census_ == nullptr || census_->BeginResult(columns);
  }
  bool AddRow(const CellView* cells, size_t count) override {
    if (InterruptWatch::Requested()) {
      error_ = "interrupted";
      return false;
    }
    if (census_ != nullptr) census_->AddRow(cells, count);
    // By whole chunks while every value is of its column's own kind; by value from the first
    // that is not, which the appender casts or refuses.
    const bool chunked = chunks_ && chunks_->Add(cells, count);
    if (!chunked && chunks_ && !FinishChunks()) return false;
    for (size_t i = 0; !chunked && i < count; ++i) {
      if (Append(cells[i], i < columns_.size() ? columns_[i] : AppendAs::kText) != DuckDBSuccess) {
        error_ = AppenderError(appender_);
        return false;
      }
    }
    if (!chunked && DuckDb()->duckdb_appender_end_row(appender_) != DuckDBSuccess) {
      error_ = AppenderError(appender_);
      return false;
    }
    ++rows_;
    // DuckDB writes each complete row group of a table being filled to the file as it goes, and
    // holds the rows of the one not yet complete in memory: wide rows would pass the memory
    // limit before it is. Those are flushed to the table, which costs a merge of its key's
    // index each time, so only then.
    for (size_t i = 0; i < count; ++i) bytesInGroup_ += cells[i].text.size() + 8;
    if (++rowsInGroup_ == kRowGroupRows) {
      rowsInGroup_ = 0;
      bytesInGroup_ = 0;
    }
    if (bytesInGroup_ < kBytesPerFlush) return true;
    rowsInGroup_ = 0;
    bytesInGroup_ = 0;
    if (chunks_ && !chunks_->Flush(error_)) return false;
    if (DuckDb()->duckdb_appender_flush(appender_) == DuckDBSuccess) return true;
    error_ = AppenderError(appender_);
    return false;
  }

  /// Appends the rows the chunk still holds; the appender then takes rows by value only. False,
  /// with error() set, when it refuses them.
  bool FinishChunks() {
    const bool flushed = !chunks_ || chunks_->Flush(error_);
    chunks_.reset();
    return flushed;
  }
  // Within one format a nested value goes back in as DuckDB wrote it.
  bool PrefersJson() const override { return !sameFormat_; }
  bool WantsNativeValues() const override { return true; }

  const std::string& error() const { return error_; }
  uint64_t rows() const { return rows_; }

 private:
  duckdb_state Append(const CellView& cell, AppendAs as) {
    const DuckDbApi& api = *DuckDb();
    if (cell.isNull) return api.duckdb_append_null(appender_);
    const std::string_view text = cell.text;
    const char* const end = text.data() + text.size();
    if (as == AppendAs::kBlob || (cell.kind == CellKind::kBlob && as != AppendAs::kText)) {
      return api.duckdb_append_blob(appender_, text.data(), text.size());
    }
    if (as == AppendAs::kDouble && cell.kind == CellKind::kReal) {
      double value = 0;
      const auto read = std::from_chars(text.data(), end, value);
      if (read.ec == std::errc() && read.ptr == end) {
        return api.duckdb_append_double(appender_, value);
      }
    }
    if (as == AppendAs::kBigint && cell.kind == CellKind::kInteger) {
      int64_t value = 0;
      const auto read = std::from_chars(text.data(), end, value);
      if (read.ec == std::errc() && read.ptr == end) {
        return api.duckdb_append_int64(appender_, value);
      }
    }
    if (as == AppendAs::kBoolean && cell.kind == CellKind::kInteger) {
      return api.duckdb_append_bool(appender_, text == "1");
    }
    return api.duckdb_append_varchar_length(appender_, text.data(), text.size());
  }

  duckdb_appender appender_;
  std::vector<AppendAs> columns_;
  bool sameFormat_;
  CensusTaker* census_;  ///< Counts the rows as they go in, when not null.
  std::unique_ptr<DuckDbChunkWriter> chunks_;  ///< Null once rows go in by value.
  std::string error_;
  uint64_t rows_ = 0;
  size_t rowsInGroup_ = 0;
  size_t bytesInGroup_ = 0;
};

// Creates the table of `plan` and appends every row of `table` to it, counting them into
// `census` too when one is given. Returns false with `error` set when it cannot, or with `error`
// empty when the source stopped.
bool LoadTable(duckdb_connection connection, const TablePlan& plan, const TableMeta& table,
               TableSource& source, CensusTaker* census, uint64_t& rows, std::string& error) {
  const DuckDbApi& api = *DuckDb();
  DuckDbResult created;
  if (api.duckdb_query(connection, CreateTableSql(plan).c_str(), created.get()) != DuckDBSuccess) {
    error = created.Error();
    return false;
  }
  duckdb_appender raw = nullptr;
  const duckdb_state made = api.duckdb_appender_create(
      connection, plan.schema.empty() ? nullptr : plan.schema.c_str(), plan.name.c_str(), &raw);
  const DuckDbAppender appender(raw);
  if (made != DuckDBSuccess) {
    error = AppenderError(raw);
    return false;
  }
  Appender appending(raw, plan, std::string(source.Format()) == kDuckDbTypes.format, census);
  PipelinedRows pipeline(appending);
  Outcome copied = source.ReadRows(table, pipeline);
  copied.success = pipeline.Finish() && copied.success;
  if (copied.success && !appending.FinishChunks()) copied.success = false;
  if (!copied.success) {
    error = !appending.error().empty() ? appending.error() : copied.errorMessage;
    return false;
  }
  if (api.duckdb_appender_close(raw) != DuckDBSuccess) {
    error = AppenderError(raw);
    return false;
  }
  rows = appending.rows();
  return true;
}

// Copies one table in one pass when its values fit the types their columns declare, as they
// mostly do: the rows go in as they are counted, and the count then proves the types right.
// Otherwise the table is made again, of the types the count calls for.
bool CopyTable(duckdb_connection connection, const TableMeta& table, TableSource& source,
               CopyResult& result, std::string& qualified, std::string& error) {
  std::vector<std::string> notes;
  const TablePlan declared = PlanTable(table, {}, source, kDuckDbTypes, notes);
  qualified = QualifiedTable(declared);
  // DuckDB keeps names as UTF-8 and would publish a file that no command of its can then read.
  std::vector<std::string> names = {declared.schema, declared.name};
  for (const ColumnPlan& column : declared.columns) names.push_back(column.name);
  for (const std::string& name : names) {
    if (IsUtf8WithoutNul(name)) continue;
    error = "the name " + QuotedIdentifier(name) + " of table " + QuotedIdentifier(table.name) +
            " is not UTF-8, which DuckDB names cannot be";
    return false;
  }
  CensusTaker census;
  uint64_t rows = 0;
  bool fits = LoadTable(connection, declared, table, source, &census, rows, error);
  notes.clear();
  TablePlan plan = PlanTable(table, census.columns(), source, kDuckDbTypes, notes);
  if (!fits || !SameColumnTypes(plan, declared)) {
    if (InterruptWatch::Requested()) return false;
    DuckDbResult dropped;
    const std::string drop = "DROP TABLE IF EXISTS " + qualified;
    DuckDb()->duckdb_query(connection, drop.c_str(), dropped.get());
    if (!fits) {
      // The count stopped where the rows did: count them all.
      census = CensusTaker();
      const Outcome counted = source.ReadRows(table, census);
      if (!counted.success) {
        error = counted.errorMessage.empty() ? "interrupted" : counted.errorMessage;
        return false;
      }
      notes.clear();
      plan = PlanTable(table, census.columns(), source, kDuckDbTypes, notes);
    }
    error.clear();
    if (!LoadTable(connection, plan, table, source, nullptr, rows, error)) {
      // A value the census took for its type's may still not read as one (a type DuckDB cannot
      // cast text to): every column then keeps its values as they are.
      if (error.empty() || InterruptWatch::Requested()) return false;
      DuckDbResult droppedAgain;
      DuckDb()->duckdb_query(connection, drop.c_str(), droppedAgain.get());
      notes.clear();
      plan = PlanTable(table, census.columns(), source, kDuckDbTypes, notes, PlanFrom::kEveryValue);
      error.clear();
      if (!LoadTable(connection, plan, table, source, nullptr, rows, error)) {
        if (error.empty()) error = "interrupted";
        return false;
      }
    }
  }
  result.notes.insert(result.notes.end(), notes.begin(), notes.end());
  ++result.tables;
  result.rows += rows;
  return true;
}

}  // namespace

CopyResult CopyIntoDuckDb(const std::string& path, TableSource& source) {
  CopyResult result;
  std::map<std::string, std::string> copied;  // each table's name in the copy's SQL
  const auto load = [&](duckdb_connection connection, std::string& error) {
    // DuckDB keeps a table's last rows, and each index it makes, in blocks of memory until a
    // checkpoint writes them out; many small tables or indexes would fill the memory limit.
    size_t blocksSinceCheckpoint = 0;
    const auto checkpointEvery = [&](size_t blocks) {
      blocksSinceCheckpoint += blocks;
      if (blocksSinceCheckpoint < kBlocksPerCheckpoint) return true;
      blocksSinceCheckpoint = 0;
      DuckDbResult checkpoint;
      if (DuckDb()->duckdb_query(connection, "CHECKPOINT", checkpoint.get()) == DuckDBSuccess) {
        return true;
      }
      error = checkpoint.Error();
      return false;
    };
    for (const TableMeta& table : source.Tables()) {
      if (!CopyTable(connection, table, source, result, copied[table.name], error) ||
          !checkpointEvery(table.columns.size())) {
        return false;
      }
    }
    // Built once the rows are in; an index that cannot be made is named, not a failure.
    for (const IndexMeta& index : source.Indexes()) {
      DuckDbResult made;
      const std::string sql = CreateIndexSql(index, copied[index.table]);
      if (DuckDb()->duckdb_query(connection, sql.c_str(), made.get()) != DuckDBSuccess) {
        result.notes.push_back("index " + index.name + ": not copied (" + made.Error() + ")");
      }
      if (!checkpointEvery(kBlocksPerIndex)) return false;
    }
    return true;
  };
  const SampleResult made = CreateNewDuckDb(path, load);
  return FinishedCopy(std::move(result), made, source);
}

}  // namespace Corvenmark
