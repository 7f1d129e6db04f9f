#ifndef CORVENMARK_STRUCTURED_REPORTS_H_
#define CORVENMARK_STRUCTURED_REPORTS_H_

// The reports of "--schema", "--analyze", "--diff" and "--sample" in the formats a program
// reads: one JSON document, or the report as a table of records in CSV or in box lines. Each
// JSON document is one line; a field that has no value is null.

#include <ostream>
#include <string>
#include <vector>

#include "engines/records.h"
#include "cli/output_format.h"

namespace Corvenmark {

/// JSON: {"database", "tables": [{"name", "schema", "rowCount", "columns": [{"name", "type",
/// "primaryKey", "notNull", "default"}]}]}. CSV and table: a record per column, with the
/// columns table, schema, row_count, column, type, primary_key, not_null and default; a table
/// without columns has one record with no column.
void WriteSchemaAs(OutputFormat format, std::ostream& out, const std::string& dbPath,
                   const std::vector<TableMeta>& tables);

/// JSON: {"integrity": "pass", "fail" or "not checked", "integrityProblem", "journalMode",
/// "pageSize", "pageCount", "kilobytes", "freelistCount"}. CSV and table: one record of the same.
void WriteDiagnosticsAs(OutputFormat format, std::ostream& out, const DbDiagnostics& diagnostics);

/// JSON: {"first", "second", "differences", "tablesOnlyInFirst", "tablesOnlyInSecond",
/// "changedTables": [{"table", "addedColumns", "removedColumns": [{"name", "type",
/// "primaryKey"}], "changedColumns": [{"name", "typeBefore", "typeAfter", "primaryKeyBefore",
/// "primaryKeyAfter"}]}]}. CSV and table: a record per difference, with the columns change,
/// table, column, type_before, type_after, primary_key_before and primary_key_after.
void WriteSchemaDiffAs(OutputFormat format, std::ostream& out, const std::string& firstPath,
                       const std::string& secondPath, const SchemaDiff& diff);

/// JSON: {"source", "target", "tables", "rows", "notes": [...]}.
void WriteCopyAs(std::ostream& out, const std::string& source, const std::string& target,
                 const CopyResult& copy);

/// JSON: {"status", "path"}. CSV and table: one record of the same.
void WriteSampleAs(OutputFormat format, std::ostream& out, const std::string& status,
                   const std::string& outPath);

}  // namespace Corvenmark

#endif  // CORVENMARK_STRUCTURED_REPORTS_H_
