#ifndef CORVENMARK_RECORDS_H_
#define CORVENMARK_RECORDS_H_

// The records that engines return and the front end prints. Every record owns its text and
// lists and is returned by value.

#include <cstdint>
#include <string>
#include <vector>

namespace Corvenmark {

/// The outcome of one query: the columns and rows of the result, every value rendered as text.
struct QueryResult {
  bool success = false;
  std::string errorMessage;  ///< Why the query failed; empty on success.
  std::vector<std::string> columns;
  /// Every value rendered as text; a row holds its own number of cells.
  std::vector<std::vector<std::string>> rows;
  double elapsedMs = 0.0;
  int32_t changedRows = 0;  ///< Rows inserted, updated or deleted by the statements.
};

/// One column of a table, as the database declares it.
struct ColumnMeta {
  int32_t ordinal = 0;  ///< Zero-based position of the column in the table.
  std::string name;
  std::string type;  ///< The declared type as written; empty when none was declared.
  bool notNull = false;
  std::string defaultValue;  ///< The DEFAULT expression as written; empty when there is none.
  bool primaryKey = false;   ///< True when the column belongs to the table's primary key.
  /// True for a column computed from the others (GENERATED ALWAYS AS), which holds no value of
  /// its own to write.
  bool generated = false;
};

/// A table's UNIQUE, CHECK or FOREIGN KEY constraint.
struct ConstraintMeta {
  enum class Kind { kUnique, kCheck, kForeignKey };
  Kind kind = Kind::kUnique;
  std::vector<std::string> columns;  ///< In order; none for a CHECK.
  std::string expression;            ///< A CHECK's expression, as the database writes it.
  std::string referencedTable;       ///< A foreign key's, as the database names it.
  /// The columns a foreign key references; none for the referenced table's primary key.
  std::vector<std::string> referencedColumns;
};

/// One table of a database.
struct TableMeta {
  std::string name;  ///< As the schema listing shows it: "schema.table" outside the default.
  /// The schema that holds the table; empty for the database's default one (main), and for a
  /// database without schemas.
  std::string schema;
  std::string createSql;  ///< The CREATE statement that defined the table.
  std::vector<ColumnMeta> columns;
  int64_t rowCount = 0;
  /// The table's own name within its schema, exactly as the database spells it: with `schema`,
  /// what names the table to the engine, whatever `name` shows.
  std::string ownName;
  /// Its UNIQUE, CHECK and FOREIGN KEY constraints, in byte order of their texts.
  std::vector<ConstraintMeta> constraints;
  /// The columns of its primary key, in the key's order; none for a table without one.
  std::vector<std::string> primaryKey;
};

/// An index on plain columns of one table.
struct IndexMeta {
  std::string name;
  std::string table;                 ///< As TableMeta names it.
  std::vector<std::string> columns;  ///< In the index's order.
  bool unique = false;
  std::string createSql;  ///< The statement that made it, as written; empty where none is kept.
};

/// A view, a trigger, or an index on expressions or on some rows only.
struct ObjectMeta {
  std::string kind;  ///< "view", "trigger" or "index".
  std::string name;
  std::string createSql;  ///< The statement that made it, as written; empty where none is kept.
};

/// The tables of a database, or why they could not be read.
struct SchemaResult {
  bool success = false;
  std::string errorMessage;
  std::vector<TableMeta> tables;  ///< In name order.
  /// The indexes on plain columns, in name order.
  std::vector<IndexMeta> indexes;
  /// The database's other objects (views, triggers, indexes on expressions or on some rows), in
  /// name order.
  std::vector<ObjectMeta> otherObjects;
  /// True when each table's createSql is its statement as it was written (SQLite keeps them so),
  /// where two statements that read differently declare different tables; false where the
  /// database writes its own (DuckDB spells one key two ways).
  bool statementsAsWritten = false;
};

/// Storage diagnostics of a database.
struct DbDiagnostics {
  bool integrityOk = false;
  std::string journalMode;  ///< As the database names it, for example "wal" or "WAL".
  int64_t pageSize = 0;     ///< Bytes per page.
  int64_t pageCount = 0;
  int64_t freelistCount = 0;      ///< Pages on the free list.
  bool integrityChecked = false;  ///< False when the integrity check could not run to its end.
  /// Why the integrity check could not run to its end (memory ran out, a read failed): nothing
  /// it says of the data. Empty when the check ran.
  std::string integrityUnchecked;
  bool success = false;
  std::string errorMessage;
};

/// A table exported as a CSV document, or why it could not be.
struct CsvExport {
  bool success = false;
  std::string errorMessage;
  std::string text;  ///< The whole document, each record ended by a line feed.
};

/// The outcome of creating a sample database.
struct SampleResult {
  bool success = false;
  std::string errorMessage;
  std::string status;        ///< A short status word, "OK" when the database was created.
  bool createdFile = false;  ///< True when a new file now exists at the path.
};

/// The outcome of copying a database into a new one.
struct CopyResult {
  bool success = false;
  std::string errorMessage;
  bool createdFile = false;  ///< True when a new file now exists at the path.
  size_t tables = 0;
  uint64_t rows = 0;
  /// What the copy could not keep as it was: a column that took another type than its own
  /// family's, a key that was dropped, an object that was not copied. One line each.
  std::vector<std::string> notes;
};

/// How one column present in both databases differs between them.
struct ColumnChange {
  std::string name;
  std::string typeBefore;  ///< Declared type in the first database.
  std::string typeAfter;   ///< Declared type in the second database.
  bool primaryKeyBefore = false;
  bool primaryKeyAfter = false;
};

/// How one table present in both databases differs between them.
struct TableChange {
  std::string table;
  std::vector<ColumnMeta> addedColumns;    ///< Only in the second database.
  std::vector<ColumnMeta> removedColumns;  ///< Only in the first database.
  std::vector<ColumnChange> changedColumns;
};

/// A difference beyond tables and their columns' types and keys: a column's NOT NULL or
/// default, a table's constraint, an index, a view or a trigger.
struct DetailChange {
  char sign = '~';   ///< '-': only in the first database; '+': only in the second; '~': in both.
  std::string kind;  ///< "not null", "default", "constraint", "index", "view" or "trigger".
  std::string name;  ///< "table.column", the table of a constraint, or the object's name.
  std::string before;  ///< As the first database has it; empty for '+'.
  std::string after;   ///< As the second database has it; empty for '-'.
};

/// The structural difference between two database schemas. Every list is in name order.
struct SchemaDiff {
  std::vector<std::string> tablesOnlyInFirst;
  std::vector<std::string> tablesOnlyInSecond;
  std::vector<TableChange> changedTables;
  /// Column by column and table by table in the order of changedTables' tables, then the
  /// indexes, views and triggers by name.
  std::vector<DetailChange> detailChanges;
  bool success = false;
  std::string errorMessage;
};

}  // namespace Corvenmark

#endif  // CORVENMARK_RECORDS_H_
