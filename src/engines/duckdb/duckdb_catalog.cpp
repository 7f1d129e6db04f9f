#include "engines/duckdb/duckdb_catalog.h"

#include <algorithm>
#include <map>
#include <tuple>
#include <utility>

#include "engines/constraint_text.h"
#include "engines/duckdb/duckdb_database.h"
#include "platform/ascii.h"

namespace Corvenmark {
namespace {

// The user's own objects of the opened file: not DuckDB's internal ones, not temporary ones,
// not those of other attached databases. Every function is named with the catalog of DuckDB's
// own, so that no macro of the file can answer in its place.
const char kTablesSql[] =
    "SELECT database_name, schema_name, table_name, sql FROM system.main.duckdb_tables() "
    "WHERE database_name = system.main.current_database() AND NOT internal AND NOT temporary";
const char kTablesAndViewsSql[] =
    "SELECT database_name, schema_name, table_name, sql FROM system.main.duckdb_tables() "
    "WHERE database_name = system.main.current_database() AND NOT internal AND NOT temporary "
    "UNION ALL "
    "SELECT database_name, schema_name, view_name, sql FROM system.main.duckdb_views() "
    "WHERE database_name = system.main.current_database() AND NOT internal AND NOT temporary";

const char kColumnsSql[] =
    "SELECT schema_name, table_name, column_name, data_type, CAST(is_nullable AS VARCHAR), "
    "column_default FROM system.main.duckdb_columns() "
    "WHERE database_name = system.main.current_database() AND NOT internal "
    "ORDER BY schema_name, table_name, column_index";
const char kPrimaryKeysSql[] =
    "SELECT schema_name, table_name, system.main.unnest(constraint_column_names) "
    "FROM system.main.duckdb_constraints() "
    "WHERE database_name = system.main.current_database() AND constraint_type = 'PRIMARY KEY'";

// A constraint's columns and those it references, each list joined as "a, b".
const char kConstraintsSql[] =
    "SELECT schema_name, table_name, constraint_type, constraint_text, "
    "system.main.array_to_string(constraint_column_names, ', '), referenced_table, "
    "system.main.array_to_string(referenced_column_names, ', ') "
    "FROM system.main.duckdb_constraints() "
    "WHERE database_name = system.main.current_database() "
    "AND constraint_type IN ('UNIQUE', 'CHECK', 'FOREIGN KEY')";

const char kOtherObjectsSql[] =
    "SELECT CASE WHEN schema_name = 'main' THEN view_name ELSE schema_name || '.' || view_name "
    "END, sql FROM system.main.duckdb_views() "
    "WHERE database_name = system.main.current_database() AND NOT internal AND NOT temporary "
    "ORDER BY 1";
// An index's expressions read "[a, b]" when each is a plain column.
const char kIndexesSql[] =
    "SELECT index_name, schema_name, table_name, CAST(is_unique AS VARCHAR), expressions, sql "
    "FROM system.main.duckdb_indexes() "
    "WHERE database_name = system.main.current_database() ORDER BY index_name";

using TableKey = std::pair<std::string, std::string>;  // schema, table

// Fills in the columns of `tables` from the catalog, in declared order.
bool ReadColumns(duckdb_connection connection, const std::vector<CatalogTable>& catalog,
                 std::vector<TableMeta>& tables, std::string& error) {
  std::map<TableKey, TableMeta*> byName;
  for (size_t i = 0; i < catalog.size(); ++i) {
    byName[{catalog[i].schema, catalog[i].name}] = &tables[i];
  }
  const auto cellText = [](const CellView& cell) { return std::string(cell.text); };
  const bool columnsRead = ForEachTextRow(
      connection, kColumnsSql,
      [&](const CellView* cells) {
        const auto table = byName.find({cellText(cells[0]), cellText(cells[1])});
        if (table == byName.end()) return;  // a view's columns
        ColumnMeta& column = table->second->columns.emplace_back();
        column.ordinal = static_cast<int32_t>(table->second->columns.size() - 1);
        column.name = cells[2].text;
        column.type = cells[3].text;
        column.notNull = cells[4].text == "false";
        column.defaultValue = cells[5].text;
      },
      error);
  // DuckDB joins the columns of a constraint as "a, b"; a name holding ", " is not told apart.
  const auto names = [&](const CellView& cell) {
    std::vector<std::string> split;
    for (std::string_view rest = cell.text; !rest.empty();) {
      const size_t comma = rest.find(", ");
      split.emplace_back(rest.substr(0, comma));
      rest.remove_prefix(comma == std::string_view::npos ? rest.size() : comma + 2);
    }
    return split;
  };
  const auto addConstraint = [&](const CellView* cells) {
    const auto table = byName.find({cellText(cells[0]), cellText(cells[1])});
    if (table == byName.end()) return;
    ConstraintMeta& constraint = table->second->constraints.emplace_back();
    const std::string text(cells[3].text);
    if (cells[2].text == "CHECK") {
      // "CHECK((x > 0))": the expression as DuckDB writes it.
      const size_t open = text.find('(');
      constraint.kind = ConstraintMeta::Kind::kCheck;
      constraint.expression = open == std::string::npos || text.back() != ')'
                                  ? text
                                  : text.substr(open + 1, text.size() - open - 2);
      return;
    }
    constraint.columns = names(cells[4]);
    if (cells[2].text == "UNIQUE") return;
    constraint.kind = ConstraintMeta::Kind::kForeignKey;
    constraint.referencedTable = cells[5].text;
    constraint.referencedColumns = names(cells[6]);
  };
  const bool constraintsRead =
      columnsRead && ForEachTextRow(connection, kConstraintsSql, addConstraint, error);
  for (TableMeta& table : tables) SortConstraints(table.constraints);
  return constraintsRead &&
         ForEachTextRow(
             connection, kPrimaryKeysSql,
             [&](const CellView* cells) {
               const auto table = byName.find({cellText(cells[0]), cellText(cells[1])});
               if (table == byName.end()) return;
               table->second->primaryKey.emplace_back(cells[2].text);
               for (ColumnMeta& column : table->second->columns) {
                 if (column.name == cells[2].text) column.primaryKey = true;
               }
             },
             error);
}

bool CountRows(duckdb_connection connection, const CatalogTable& table, int64_t& count,
               std::string& error) {
  const std::string sql =
      "SELECT CAST(system.main.count(*) AS VARCHAR) FROM " + QualifiedName(table);
  bool counted = false;
  const bool read = ForEachTextRow(
      connection, sql.c_str(),
      [&](const CellView* cells) { counted = ReadInteger(cells[0], count); }, error);
  if (read && !counted) error = "DuckDB gave no row count for " + QualifiedName(table);
  return read && counted;
}

}  // namespace

std::string QualifiedName(const CatalogTable& table) {
  return QuotedIdentifier(table.database) + '.' + QuotedIdentifier(table.schema) + '.' +
         QuotedIdentifier(table.name);
}

bool ReadCatalogTables(duckdb_connection connection, bool withViews,
                       std::vector<CatalogTable>& tables, std::string& error) {
  const bool read = ForEachTextRow(
      connection, withViews ? kTablesAndViewsSql : kTablesSql,
      [&](const CellView* cells) {
        CatalogTable& table = tables.emplace_back();
        table.database = cells[0].text;
        table.schema = cells[1].text;
        table.name = cells[2].text;
        table.createSql = cells[3].text;
        table.shownName = table.schema == "main" ? table.name : table.schema + '.' + table.name;
      },
      error);
  // A table of main named "a.b" and schema a's table b show alike; they sort by schema then.
  std::sort(tables.begin(), tables.end(), [](const CatalogTable& a, const CatalogTable& b) {
    return std::tie(a.shownName, a.schema, a.name) < std::tie(b.shownName, b.schema, b.name);
  });
  return read;
}

// The columns of `index` from DuckDB's list of its expressions, "[a, b]"; false when one of them
// is not a column of its table.
bool ReadIndexColumns(const std::vector<TableMeta>& tables, IndexMeta& index,
                      std::string_view expressions) {
  const auto table = std::find_if(tables.begin(), tables.end(),
                                  [&](const TableMeta& meta) { return meta.name == index.table; });
  if (table == tables.end() || expressions.size() < 2 || expressions.front() != '[' ||
      expressions.back() != ']') {
    return false;
  }
  expressions = expressions.substr(1, expressions.size() - 2);
  while (!expressions.empty()) {
    const size_t comma = expressions.find(", ");
    const std::string_view part = expressions.substr(0, comma);
    const auto column = std::find_if(table->columns.begin(), table->columns.end(),
                                     [&](const ColumnMeta& meta) { return meta.name == part; });
    if (column == table->columns.end()) return false;
    index.columns.push_back(column->name);
    expressions.remove_prefix(comma == std::string_view::npos ? expressions.size() : comma + 2);
  }
  return !index.columns.empty();
}

SchemaResult ReadSchema(duckdb_connection connection, bool countRows) {
  SchemaResult schema;
  std::string& error = schema.errorMessage;
  std::vector<CatalogTable> catalog;
  if (!ReadCatalogTables(connection, false, catalog, error)) return schema;
  for (const CatalogTable& table : catalog) {
    TableMeta& meta = schema.tables.emplace_back();
    meta.name = table.shownName;
    meta.schema = table.schema == "main" ? "" : table.schema;
    meta.ownName = table.name;
    meta.createSql = table.createSql;
  }
  if (!ReadColumns(connection, catalog, schema.tables, error)) return schema;
  for (size_t i = 0; countRows && i < catalog.size(); ++i) {
    if (!CountRows(connection, catalog[i], schema.tables[i].rowCount, error)) return schema;
  }
  const auto addObject = [&](const CellView* cells) {
    schema.otherObjects.push_back({"view", std::string(cells[0].text), std::string(cells[1].text)});
  };
  const auto addIndex = [&](const CellView* cells) {
    IndexMeta index{std::string(cells[0].text),
                    cells[1].text == "main"
                        ? std::string(cells[2].text)
                        : std::string(cells[1].text) + "." + std::string(cells[2].text),
                    {},
                    cells[3].text == "true",
                    std::string(cells[5].text)};
    if (!ReadIndexColumns(schema.tables, index, cells[4].text)) {
      schema.otherObjects.push_back({"index", index.name, index.createSql});
      return;
    }
    schema.indexes.push_back(std::move(index));
  };
  if (!ForEachTextRow(connection, kOtherObjectsSql, addObject, error) ||
      !ForEachTextRow(connection, kIndexesSql, addIndex, error)) {
    return schema;
  }
  schema.success = true;
  return schema;
}

const CatalogTable* FindTable(const std::vector<CatalogTable>& tables,
                              const std::string& requested) {
  // Another schema's tables first, so that "a.b" reaches schema a's table b even beside a table
  // of main named "a.b"; main's tables only then.
  for (const bool inMain : {false, true}) {
    for (const CatalogTable& table : tables) {
      if ((table.schema == "main") == inMain && table.shownName == requested) return &table;
    }
    for (const CatalogTable& table : tables) {
      if ((table.schema == "main") == inMain &&
          EqualIgnoringAsciiCase(table.shownName, requested)) {
        return &table;
      }
    }
  }
  return nullptr;
}

}  // namespace Corvenmark
