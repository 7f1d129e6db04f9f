#include "engines/builtin/builtin_engine.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engines/builtin/corvenmark_engine.h"

namespace Corvenmark {
namespace {

// The built-in engine answers with whole records; these stream them through the seam, so that
// the front end prints them by the same rules as every other engine's rows.

bool SendRows(const std::vector<std::string>& columns,
              const std::vector<std::vector<std::string>>& rows, RowSink& sink) {
  if (!sink.BeginResult(columns)) return false;
  std::vector<CellView> cells;
  for (const std::vector<std::string>& row : rows) {
    cells.clear();
    for (const std::string& cell : row) cells.push_back({cell});
    if (!sink.AddRow(cells.data(), cells.size())) return false;
  }
  return true;
}

QueryOutcome RunQuery(const std::string& dbPath, const std::string& sql, RowSink& rows) {
  const QueryResult result = VaneEngine::ExecuteQuery(dbPath, sql);
  QueryOutcome outcome;
  outcome.errorMessage = result.errorMessage;
  outcome.success = result.success && SendRows(result.columns, result.rows, rows);
  outcome.elapsedMs = result.elapsedMs;
  outcome.changedRows = result.changedRows;
  return outcome;
}

// The built-in engine reads no file: its database is the path it answers for.
class BuiltinDatabase : public Database {
 public:
  explicit BuiltinDatabase(std::string path) : path_(std::move(path)) {}

  SchemaResult ReadCatalog(bool) override { return VaneEngine::InspectSchema(path_); }
  bool ReadsRows() const override { return true; }
  bool Analyzes() const override { return true; }

  // Every name is a table of the built-in engine's, which answers every export alike.
  bool FindTable(const std::string& requested, TableMeta& table, std::string&) override {
    table = TableMeta();
    table.name = table.ownName = requested;
    return true;
  }

  Outcome ReadRows(const TableMeta& table, RowSink& rows, RowOrder) override {
    std::vector<std::vector<std::string>> records = VaneEngine::ExportRecords(path_, table.name);
    const std::vector<std::string> columns = records.front();
    records.erase(records.begin());
    Outcome outcome;
    outcome.success = SendRows(columns, records, rows);
    return outcome;
  }

  DbDiagnostics Analyze() override { return VaneEngine::AnalyzeDatabase(path_); }

 private:
  std::string path_;
};

std::unique_ptr<Database> OpenBuiltin(const std::string& dbPath, std::string&) {
  return std::make_unique<BuiltinDatabase>(dbPath);
}

}  // namespace

const Engine kBuiltinEngine = {
    "builtin",
    "built-in",
    nullptr,  // opens no file
    nullptr,
    nullptr,
    nullptr,  // always runs
    nullptr,  // has no library
    RunQuery,
    OpenBuiltin,
    VaneEngine::CreateSampleBenchmarkDb,
    nullptr,  // copies nothing
    nullptr,
    nullptr,  // its queries need no file
};

}  // namespace Corvenmark
