#include "engines/engine.h"

#include <cassert>

namespace Corvenmark {

// Reached only by a caller that did not ask ReadsRows() or Analyzes() first.

bool Database::FindTable(const std::string&, TableMeta&, std::string& error) {
  error = "the database reads no rows";
  return false;
}

Outcome Database::ReadRows(const TableMeta&, RowSink&, RowOrder) {
  return Failure<Outcome>("the database reads no rows");
}

DbDiagnostics Database::Analyze() { return Failure<DbDiagnostics>("the database has no diagnostics"); }

namespace {

template <class Result, class Read>
Result ReadOpened(const Engine& engine, const std::string& location, const Read& read) {
  assert(engine.openDatabase != nullptr);
  std::string error;
  const std::unique_ptr<Database> database = engine.openDatabase(location, error);
  if (!database) return Failure<Result>(error);
  return read(*database);
}

}  // namespace

SchemaResult InspectSchemaOf(const Engine& engine, const std::string& location, bool countRows) {
  return ReadOpened<SchemaResult>(engine, location,
                                  [&](Database& database) { return database.ReadCatalog(countRows); });
}

DbDiagnostics AnalyzeDatabaseOf(const Engine& engine, const std::string& location) {
  return ReadOpened<DbDiagnostics>(engine, location,
                                   [](Database& database) { return database.Analyze(); });
}

Outcome ExportTableOf(const Engine& engine, const std::string& location, const std::string& table,
                      RowSink& rows) {
  return ReadOpened<Outcome>(engine, location, [&](Database& database) {
    TableMeta found;
    std::string error;
    if (!database.FindTable(table, found, error)) return Failure<Outcome>(error);
    return database.ReadRows(found, rows);
  });
}

bool OpensAndLists(std::unique_ptr<Database> (*open)(const std::string&, std::string&),
                   const std::string& location, std::string& error) {
  const std::unique_ptr<Database> database = open(location, error);
  if (!database) return false;
  const SchemaResult schema = database->ReadCatalog(false);
  error = schema.errorMessage;
  return schema.success;
}

}  // namespace Corvenmark
