#ifndef CORVENMARK_ENGINE_H_
#define CORVENMARK_ENGINE_H_

// What every engine offers the front end. An engine opens databases and yields rows and
// schemas; the front end formats, keeps, streams and compares them, so every engine prints
// the same reports by the same rules. Every failure an engine foresees travels in its result,
// never as an exception; one that gets out all the same (memory running out) becomes the
// command's error line in the front end's last resort.

#include <algorithm>
#include <cassert>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engines/records.h"

namespace Corvenmark {

/// What kind of value a cell holds, for the output formats that keep types apart (JSON). Every
/// kind has its text as well, which the other formats write as it is.
enum class CellKind : uint8_t {
  kText,     ///< Text, and anything without a kind of its own here (dates, BLOBs, lists).
  kInteger,  ///< Decimal digits with an optional minus sign, of any width.
  kReal,     ///< A floating-point number in any text that reads back to it ("Inf", "nan" too).
  kDecimal,  ///< An exact decimal number: digits, an optional sign and decimal point.
  kBoolean,  ///< "true" or "false".
  kJson,     ///< A nested value (a list, a struct, a map) as JSON, for a sink that prefers it.
  kBlob,     ///< A BLOB's bytes as they are, for a sink that wants them (else its text form).
  /// A double as its eight bytes in the machine's order, for a sink that wants its bits (else
  /// kReal's text): a comparison of many values spares writing each one out.
  kDouble,
};

/// One cell of a row as an engine reads it: the value's text, or null. The text belongs to the
/// engine and is valid only during the call that passes it.
struct CellView {
  std::string_view text;
  bool isNull = false;
  CellKind kind = CellKind::kText;
};

/// The double a real holds: a kDouble's bits, or the number a kReal's text writes in any
/// engine's spelling ("1e+300", "inf", "-Inf", "nan").
inline double RealOf(const CellView& cell) {
  double value = 0;
  if (cell.kind == CellKind::kDouble) {
    assert(cell.text.size() == sizeof value);
    std::memcpy(&value, cell.text.data(), sizeof value);
    return value;
  }
  const std::string_view text = cell.text;
  const auto read = std::from_chars(text.data(), text.data() + text.size(), value);
  if (read.ec == std::errc() && read.ptr == text.data() + text.size()) return value;
  // from_chars reads neither a leading '+' nor every engine's spelling of infinity.
  return std::strtod(std::string(text).c_str(), nullptr);
}

/// The shortest text that reads back to `value`, with a point or an exponent in it as SQLite
/// writes one ("2.0", "-0.0", "1e+300", "inf"), in `buffer`.
inline std::string_view ShortestRealText(double value, char (&buffer)[32]) {
  char* end = std::to_chars(buffer, buffer + sizeof buffer - 2, value).ptr;
  if (std::none_of(buffer, end, [](char c) { return c == '.' || c == 'e' || c == 'n'; })) {
    *end++ = '.';
    *end++ = '0';
  }
  return {buffer, static_cast<size_t>(end - buffer)};
}

/// `cell` with a double's bits (kDouble) as kReal's text, in `buffer`; any other as it is.
inline CellView WithRealText(const CellView& cell, char (&buffer)[32]) {
  if (cell.isNull || cell.kind != CellKind::kDouble) return cell;
  return {ShortestRealText(RealOf(cell), buffer), false, CellKind::kReal};
}

/// Where an engine puts the rows it reads, one at a time, so that no engine ever holds a whole
/// result.
class RowSink {
 public:
  virtual ~RowSink() = default;
  /// A result with these columns begins. It replaces any result begun before it in the same
  /// operation: a query reports only its last result with columns.
  virtual bool BeginResult(const std::vector<std::string>& columns) = 0;
  /// As BeginResult, for a result that no later one of the same operation can replace (that of
  /// the last statement): a sink may write its rows out as they come.
  virtual bool BeginLastResult(const std::vector<std::string>& columns) {
    return BeginResult(columns);
  }
  /// One row of the current result, `count` cells in order. Returns false when the row could
  /// not be kept or written; the engine then stops reading and fails with an empty message,
  /// and the sink knows why.
  virtual bool AddRow(const CellView* cells, size_t count) = 0;
  /// True when nested values (lists, structs, maps) are wanted as JSON (CellKind::kJson) rather
  /// than as the engine's own text, where the engine can give them so.
  virtual bool PrefersJson() const { return false; }
  /// True when values are wanted as they are rather than as the reports show them: a BLOB as its
  /// bytes (CellKind::kBlob), -0.0 with its sign.
  virtual bool WantsNativeValues() const { return false; }
  /// True, with WantsNativeValues, when a double is wanted as its bits (CellKind::kDouble).
  virtual bool WantsDoubleBits() const { return false; }
};

/// How an operation that streams its rows ended.
struct Outcome {
  bool success = false;
  std::string errorMessage;  ///< Empty when a sink stopped the operation.
};

struct QueryOutcome {
  bool success = false;
  std::string errorMessage;  ///< Empty when a sink stopped the operation.
  double elapsedMs = 0.0;    ///< The running time of the statements.
  int64_t changedRows = 0;   ///< Rows inserted, updated or deleted by the statements.
  bool createdFile = false;  ///< True when the statements made a new database at the path.
};

/// Why a query that would have made a new database made none: its SQL wrote nothing.
inline constexpr char kNothingWritten[] = "the SQL wrote nothing";

/// What kind of value a declared column type holds, so that types that two database formats
/// spell differently (INTEGER and BIGINT) compare as the same.
enum class TypeFamily {
  kInteger,
  kFloatingPoint,
  kDecimal,
  kText,
  kBlob,
  kBoolean,
  kDate,
  kTime,
  kTimestamp,
  kInterval,
  kUuid,
  kNested,
  kOther,
};

/// A database being copied into a new one, as the engine that writes the copy reads it.
class TableSource {
 public:
  virtual ~TableSource() = default;
  /// The base tables to copy, in name order, with their declared columns.
  virtual const std::vector<TableMeta>& Tables() const = 0;
  /// The indexes on plain columns of the tables.
  virtual const std::vector<IndexMeta>& Indexes() const = 0;
  /// What the source holds besides its tables and those indexes.
  virtual const std::vector<ObjectMeta>& OtherObjects() const = 0;
  /// Streams the rows of `table` to `rows`, as Database::ReadRows does.
  virtual Outcome ReadRows(const TableMeta& table, RowSink& rows) = 0;
  /// The family of a type as the source declares it.
  virtual TypeFamily FamilyOf(const std::string& declaredType) const = 0;
  /// The format of the source, as engines name theirs ("SQLite").
  virtual const char* Format() const = 0;
};

/// The order a table's rows are read in.
enum class RowOrder {
  kAsStored,      ///< Whatever order the database keeps them in: the quickest.
  kByPrimaryKey,  ///< By the table's primary key, ascending; as stored for a table without one.
};

/// A database an engine opened for one command to read. Every read comes from the one committed
/// state the database was in when it was opened, until it is destroyed, and every table is read
/// by its identity in the catalog (TableMeta::schema and TableMeta::ownName), never by the name
/// a report shows.
class Database {
 public:
  virtual ~Database() = default;
  /// The tables, by schema and own name, in byte order of the names the listing shows; each
  /// with its columns, and its exact row count when `countRows`; the indexes and the other
  /// objects (views, triggers), each with the SQL that made it where the format keeps it.
  virtual SchemaResult ReadCatalog(bool countRows) = 0;
  /// True when the database reads rows (ReadRows and FindTable answer).
  virtual bool ReadsRows() const { return false; }
  /// True when the database reports its storage (Analyze answers).
  virtual bool Analyzes() const { return false; }
  /// The table or view that `requested` names, as "--export-csv" takes a name: the engine's
  /// documented lookup. False, with `error` set, when there is none.
  virtual bool FindTable(const std::string& requested, TableMeta& table, std::string& error);
  /// The columns of `table`, a table of ReadCatalog's or one FindTable found, then its rows in
  /// `order`.
  virtual Outcome ReadRows(const TableMeta& table, RowSink& rows,
                           RowOrder order = RowOrder::kAsStored);
  virtual DbDiagnostics Analyze();
};

/// The message of every failure for want of memory, whichever engine ran out.
inline constexpr char kOutOfMemory[] = "out of memory";

/// A record of an operation that failed with `message`.
template <class Result>
Result Failure(std::string message) {
  Result result;
  result.success = false;
  result.errorMessage = std::move(message);
  return result;
}

/// How many of a file's first bytes an engine gets to recognise its format by.
constexpr size_t kRecognizedPrefixSize = 64;

/// One engine: what it is called, which locations it opens, and the operations it offers. Every
/// operation may be null when the engine does not offer it; the front end then answers
/// "<name> cannot <do what>". Locations are passed as the user gave them (a file's path for
/// the engines of files, a connection string for an engine of servers); table names are
/// matched through the database's catalog, never spliced into SQL.
struct Engine {
  const char* name;  ///< As "--engine" names it.
  /// The format of the databases the engine opens, as messages name it ("SQLite"); engines of
  /// one format compare declared types as written, engines of two formats by `typeFamily`.
  const char* format;
  /// True when a file's first bytes (at most kRecognizedPrefixSize of them, fewer for a
  /// shorter file) announce the engine's format. Null for an engine that "auto" never picks.
  bool (*recognizes)(std::string_view firstBytes);
  /// True when `location` is the engine's by its spelling alone (a connection string such as
  /// "postgresql://..."), asked by "auto" before anything is opened as a file. Null for an
  /// engine whose locations are files.
  bool (*claimsLocation)(const std::string& location);
  /// True when a database to be created under this name belongs to the engine, by the name.
  /// Null for an engine that claims no name.
  bool (*claimsNewFile)(const std::string& path);
  /// Empty when the engine can run; otherwise why it cannot (for example a library it loads at
  /// run time is missing), printed as the command's error. Null for an engine that always can.
  std::string (*whyUnavailable)();
  /// The version of the library the engine runs on, for "--version"; called only when the engine
  /// can run. Null for an engine of no library.
  std::string (*version)();
  /// Runs every statement of `sql` in order on an existing database; each result with columns
  /// goes to `rows`, replacing the one before.
  QueryOutcome (*runQuery)(const std::string& dbPath, const std::string& sql, RowSink& rows);
  /// Opens the existing database at `location` for reading, in one snapshot; null, with
  /// `error` set to a message that names the location, when it cannot.
  std::unique_ptr<Database> (*openDatabase)(const std::string& location, std::string& error);
  SampleResult (*createSampleBenchmarkDb)(const std::string& outPath);
  /// Creates a new database at `outPath` holding a copy of every table of `source`, built and
  /// published as a sample is.
  CopyResult (*copyDatabase)(const std::string& outPath, TableSource& source);
  /// The family of a type as the engine declares it; null for an engine without types.
  TypeFamily (*typeFamily)(const std::string& declaredType);
  /// As runQuery, on a database that does not exist yet: one made for the SQL, built and
  /// published as a sample is when the SQL succeeds and writes something, and otherwise left
  /// unmade, failing with kNothingWritten or the SQL's error. Null for an engine that makes no
  /// database for a query.
  QueryOutcome (*queryNewDatabase)(const std::string& path, const std::string& sql, RowSink& rows);
};

/// The reads of one command each, on a database `engine` opens for that command alone; a
/// location that cannot be opened fails with the engine's message. The engine must offer
/// `openDatabase`.
SchemaResult InspectSchemaOf(const Engine& engine, const std::string& location, bool countRows);
DbDiagnostics AnalyzeDatabaseOf(const Engine& engine, const std::string& location);
/// The table or view `table` names, found as Database::FindTable finds it, to `rows`.
Outcome ExportTableOf(const Engine& engine, const std::string& location, const std::string& table,
                      RowSink& rows);

/// True when `open` opens the database at `location` and its catalog reads; false, with `error`
/// set, when either fails. What a new database must pass before it takes its name.
bool OpensAndLists(std::unique_ptr<Database> (*open)(const std::string&, std::string&),
                   const std::string& location, std::string& error);

}  // namespace Corvenmark

#endif  // CORVENMARK_ENGINE_H_
