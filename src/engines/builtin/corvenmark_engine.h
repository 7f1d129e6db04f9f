#ifndef CORVENMARK_CORVENMARK_ENGINE_H_
#define CORVENMARK_CORVENMARK_ENGINE_H_

#include <string>
#include <vector>

#include "engines/records.h"

namespace Corvenmark {

/// The built-in engine: answers every request with a fixed result. It consults none of its
/// arguments, reads and writes no file, and never fails.
class VaneEngine {
 public:
  VaneEngine() = delete;

  static QueryResult ExecuteQuery(const std::string& dbPath, const std::string& sql);
  static SchemaResult InspectSchema(const std::string& dbPath);
  static DbDiagnostics AnalyzeDatabase(const std::string& dbPath);
  static CsvExport ExportCsv(const std::string& dbPath, const std::string& table);
  /// The records of the document ExportCsv writes, its header first, each field as it is.
  static std::vector<std::vector<std::string>> ExportRecords(const std::string& dbPath,
                                                             const std::string& table);
  static SampleResult CreateSampleBenchmarkDb(const std::string& outPath);
  static SchemaDiff DiffDatabases(const std::string& firstPath, const std::string& secondPath);
};

}  // namespace Corvenmark

#endif  // CORVENMARK_CORVENMARK_ENGINE_H_
