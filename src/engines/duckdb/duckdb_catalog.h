#ifndef CORVENMARK_DUCKDB_CATALOG_H_
#define CORVENMARK_DUCKDB_CATALOG_H_

// The user's tables and views of an opened DuckDB database, read from DuckDB's catalog: only
// the opened file's own, never DuckDB's internal ones, temporary ones or those of another
// attached database.

#include <string>
#include <vector>

#include "engines/duckdb/duckdb_api.h"
#include "engines/records.h"

namespace Corvenmark {

/// A table or view of the opened database, by the names of its catalog.
struct CatalogTable {
  std::string database;
  std::string schema;
  std::string name;
  std::string createSql;
  /// The name the schema listing prints: the table's own in the main schema, "schema.table"
  /// in any other.
  std::string shownName;
};

/// The table's name for SQL: database, schema and table, each quoted.
std::string QualifiedName(const CatalogTable& table);

/// The base tables, and the views too when asked, in byte order of their shown names, then of
/// their schemas.
bool ReadCatalogTables(duckdb_connection connection, bool withViews,
                       std::vector<CatalogTable>& tables, std::string& error);

/// The base tables as the schema listing shows them: columns in declared order with DuckDB's
/// names of their types, every column of a primary key marked, and exact row counts when
/// `countRows`.
SchemaResult ReadSchema(duckdb_connection connection, bool countRows);

/// The table or view that `requested` names as the schema listing does, matched as DuckDB
/// matches names: the exact spelling first, then ignoring ASCII case. "a.b" names schema a's
/// table b when there is one, and otherwise a table of main named "a.b". Null when there is
/// none.
const CatalogTable* FindTable(const std::vector<CatalogTable>& tables,
                              const std::string& requested);

}  // namespace Corvenmark

#endif  // CORVENMARK_DUCKDB_CATALOG_H_
