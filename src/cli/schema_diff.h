#ifndef CORVENMARK_SCHEMA_DIFF_H_
#define CORVENMARK_SCHEMA_DIFF_H_

#include <string>
#include <vector>

#include "engines/engine.h"
#include "engines/records.h"

namespace Corvenmark {

/// How declared types are compared. With no families given they compare byte for byte, as
/// within one database format; with each side's family function, types of two formats compare
/// by family, so that INTEGER and BIGINT are the same.
struct TypeComparison {
  TypeFamily (*firstFamily)(const std::string& type) = nullptr;
  TypeFamily (*secondFamily)(const std::string& type) = nullptr;
};

/// A table of the first schema and its match in the second; either is null for a table only the
/// other has.
struct TablePair {
  const TableMeta* first = nullptr;
  const TableMeta* second = nullptr;
};

/// The tables of both schemas paired as CompareSchemas pairs them: the first's in byte order of
/// their names, each with its match or none, then those only the second has, in the same order.
std::vector<TablePair> PairedTables(const SchemaResult& first, const SchemaResult& second,
                                    bool acrossFormats);

/// The structural difference between two schemas. Tables are matched by their identity, schema
/// and own name, and columns by name, without regard to ASCII case, as both SQLite and DuckDB
/// match them; across formats a table with no match of its identity pairs with one of the
/// default schema named as its qualified name ("a.b" for schema a's table b). A column present
/// in both differs when its declared type or its primary-key membership does. Tables are
/// reported in byte order of their names (the first database's spelling when both have them),
/// columns in the order their table declares them.
SchemaDiff CompareSchemas(const SchemaResult& first, const SchemaResult& second,
                          const TypeComparison& types = {});

}  // namespace Corvenmark

#endif  // CORVENMARK_SCHEMA_DIFF_H_
