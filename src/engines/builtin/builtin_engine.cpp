#include "engines/builtin/builtin_engine.h"

#include <string>
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

SchemaResult InspectSchema(const std::string& dbPath, bool) {
  return VaneEngine::InspectSchema(dbPath);
}

Outcome ExportTable(const std::string& dbPath, const std::string& table, RowSink& rows) {
  std::vector<std::vector<std::string>> records = VaneEngine::ExportRecords(dbPath, table);
  const std::vector<std::string> columns = records.front();
  records.erase(records.begin());
  Outcome outcome;
  outcome.success = SendRows(columns, records, rows);
  return outcome;
}

}  // namespace

const Engine kBuiltinEngine = {
    "builtin",
    "built-in",
    nullptr,  // opens no file
    nullptr,
    nullptr,  // always runs
    nullptr,  // has no library
    RunQuery,
    InspectSchema,
    VaneEngine::AnalyzeDatabase,
    ExportTable,
    VaneEngine::CreateSampleBenchmarkDb,
    nullptr,  // copies nothing
    nullptr,
};

}  // namespace Corvenmark
