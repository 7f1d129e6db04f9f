#include "cli/schema_diff.h"

#include <gtest/gtest.h>

namespace Corvenmark {
namespace {

ColumnMeta Column(const char* name, const char* type, bool primaryKey = false) {
  ColumnMeta column;
  column.name = name;
  column.type = type;
  column.primaryKey = primaryKey;
  return column;
}

TableMeta Table(const std::string& name, std::vector<ColumnMeta> columns) {
  TableMeta table;
  table.name = name;
  table.columns = std::move(columns);
  return table;
}

std::vector<std::string> Names(const std::vector<ColumnMeta>& columns) {
  std::vector<std::string> names;
  for (const ColumnMeta& column : columns) names.push_back(column.name);
  return names;
}

SchemaDiff Diff(const std::vector<TableMeta>& first, const std::vector<TableMeta>& second,
                const TypeComparison& types = {}) {
  SchemaResult a;
  a.tables = first;
  SchemaResult b;
  b.tables = second;
  return CompareSchemas(a, b, types);
}

TEST(CompareSchemas, IdenticalSchemasHaveNoDifferences) {
  const std::vector<TableMeta> schema = {Table("t", {Column("id", "INTEGER", true)})};
  const SchemaDiff diff = Diff(schema, schema);
  EXPECT_TRUE(diff.success);
  EXPECT_TRUE(diff.tablesOnlyInFirst.empty());
  EXPECT_TRUE(diff.tablesOnlyInSecond.empty());
  EXPECT_TRUE(diff.changedTables.empty());
}

TEST(CompareSchemas, FindsTablesOnOneSideInNameOrder) {
  const SchemaDiff diff = Diff({Table("b", {}), Table("a", {}), Table("same", {})},
                                         {Table("same", {}), Table("d", {}), Table("C", {})});
  EXPECT_EQ(diff.tablesOnlyInFirst, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(diff.tablesOnlyInSecond, (std::vector<std::string>{"C", "d"}));
  EXPECT_TRUE(diff.changedTables.empty());
}

TEST(CompareSchemas, FindsAddedRemovedAndChangedColumnsMatchingNamesAsDatabasesDo) {
  // Both formats match names without regard to ASCII case: "age" and "Age" are one column,
  // "Users" and "users" one table; "ä" and "Ä" are not the same.
  const SchemaDiff diff = Diff(
      {Table("Users", {Column("id", "INTEGER", true), Column("age", "INT"), Column("name", "TEXT"),
                       Column("code", "TEXT"), Column("ä", "TEXT")})},
      {Table("users", {Column("id", "TEXT", true), Column("name", "TEXT"), Column("email", "TEXT"),
                       Column("code", "TEXT", true), Column("Age", "INT"), Column("Ä", "TEXT")})});
  ASSERT_EQ(diff.changedTables.size(), 1u);
  EXPECT_TRUE(diff.tablesOnlyInFirst.empty());
  const TableChange& users = diff.changedTables[0];
  EXPECT_EQ(users.table, "Users");
  EXPECT_EQ(Names(users.removedColumns), (std::vector<std::string>{"ä"}));
  EXPECT_EQ(Names(users.addedColumns), (std::vector<std::string>{"email", "Ä"}));
  ASSERT_EQ(users.changedColumns.size(), 2u);
  EXPECT_EQ(users.changedColumns[0].name, "id");
  EXPECT_EQ(users.changedColumns[0].typeBefore, "INTEGER");
  EXPECT_EQ(users.changedColumns[0].typeAfter, "TEXT");
  EXPECT_EQ(users.changedColumns[1].name, "code");
  EXPECT_FALSE(users.changedColumns[1].primaryKeyBefore);
  EXPECT_TRUE(users.changedColumns[1].primaryKeyAfter);
}

TEST(CompareSchemas, TypesOfTwoFormatsCompareByFamily) {
  const auto integerOrText = [](const std::string& type) {
    return type.find("INT") != std::string::npos ? TypeFamily::kInteger : TypeFamily::kText;
  };
  const std::vector<TableMeta> first = {Table("t", {Column("a", "INTEGER"), Column("b", "TEXT")})};
  const std::vector<TableMeta> second = {Table("t", {Column("a", "BIGINT"), Column("b", "INT")})};
  EXPECT_EQ(Diff(first, second).changedTables.at(0).changedColumns.size(), 2u);
  const SchemaDiff byFamily = Diff(first, second, {+integerOrText, +integerOrText});
  ASSERT_EQ(byFamily.changedTables.at(0).changedColumns.size(), 1u);
  EXPECT_EQ(byFamily.changedTables[0].changedColumns[0].name, "b");
}

// Schema a's table b and a table "a.b" of the default schema show alike; each keeps its own
// match, and across formats a copy's "a.b" pairs with schema a's table b only when no table
// of the default schema is named so.
TEST(CompareSchemas, MatchesTablesByIdentityThenAcrossFormatsByQualifiedName) {
  const auto any = [](const std::string&) { return TypeFamily::kText; };
  const auto table = [](const char* schema, const char* name) {
    TableMeta meta = Table(schema[0] == '\0' ? name : std::string(schema) + "." + name, {});
    meta.schema = schema;
    meta.ownName = name;
    return meta;
  };
  const struct {
    std::vector<TableMeta> first;
    std::vector<TableMeta> second;
    bool acrossFormats;
    size_t onlyInFirst;
    size_t onlyInSecond;
  } cases[] = {
      {{table("a", "b"), table("", "a.b")}, {table("a", "b"), table("", "a.b")}, false, 0, 0},
      {{table("a", "b"), table("", "a.b")}, {table("", "a.b")}, false, 1, 0},
      {{table("a", "b"), table("", "a.b")}, {table("", "a.b")}, true, 1, 0},
      {{table("a", "b")}, {table("", "a.b")}, true, 0, 0},
      {{table("a", "b")}, {table("", "a.b")}, false, 1, 1},
      {{table("", "A.B")}, {table("a", "b"), table("", "a.b")}, true, 0, 1},
  };
  for (const auto& c : cases) {
    const SchemaDiff diff =
        Diff(c.first, c.second, c.acrossFormats ? TypeComparison{+any, +any} : TypeComparison{});
    EXPECT_EQ(diff.tablesOnlyInFirst.size(), c.onlyInFirst) << c.first.size() << c.acrossFormats;
    EXPECT_EQ(diff.tablesOnlyInSecond.size(), c.onlyInSecond) << c.first.size() << c.acrossFormats;
  }
}

// Beyond types and keys: NOT NULL, defaults, constraints and indexes; and within SQLite, whose
// statements are as written, any other difference of a table's statement (a collation).
TEST(CompareSchemas, TellsApartWhatTablesDeclareBesideTheirColumns) {
  SchemaResult first;
  first.statementsAsWritten = true;
  first.tables = {Table("t", {Column("a", "TEXT")}), Table("u", {Column("b", "TEXT")})};
  first.tables[1].createSql = "CREATE TABLE u (b TEXT COLLATE NOCASE)";
  first.indexes = {{"i", "t", {"a"}, false, ""}};
  SchemaResult second = first;
  second.tables[0].columns[0].notNull = true;
  second.tables[0].columns[0].defaultValue = "'x'";
  second.tables[0].constraints = {{ConstraintMeta::Kind::kCheck, {}, "a <> ''", "", {}}};
  second.tables[1].createSql = "CREATE TABLE u (b TEXT)";
  second.indexes[0].unique = true;
  std::vector<std::string> lines;
  for (const DetailChange& change : CompareSchemas(first, second).detailChanges) {
    lines.push_back(std::string(1, change.sign) + change.kind + " " + change.name + ":" +
                    change.before + ">" + change.after);
  }
  EXPECT_EQ(lines, (std::vector<std::string>{"~not null t.a:NULL>NOT NULL", "~default t.a:>'x'",
                                             "+constraint t:>CHECK (a <> '')", "~definition u:>",
                                             "~index i:ON t (a)>UNIQUE ON t (a)"}));
  second.statementsAsWritten = false;
  EXPECT_EQ(CompareSchemas(first, second).detailChanges.size(), 4u);
}

}  // namespace
}  // namespace Corvenmark
