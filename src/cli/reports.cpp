#include "cli/reports.h"

#include <cstdio>
#include <limits>

#include "platform/line_end.h"
#include "platform/utf8.h"
#include "version.h"

namespace Corvenmark {
namespace {

const char kRule[] = "========================================================";

// Every option line is two spaces, a 26-character option field and the description, so that
// each description starts in column 29.
const char* const kOptionLines[] = {
    "  --gui                     Launch native graphical user interface (Default if no args)",
    "  --query <db> <sql>        Execute SQL query and print tab-separated results",
    "  --schema <db>             Inspect all tables, columns, types, and primary keys",
    "  --diff <dbA> <dbB>        Compute structural schema difference between two DBs",
    "  --analyze <db>            Execute PRAGMA integrity and storage diagnostics",
    "  --export-csv <db> <table> Export table directly to formatted CSV",
    "  --sample <out_db>         Generate sample high-speed benchmark database",
};

void WriteColumn(std::ostream& out, const std::string& type, bool primaryKey) {
  out << type;
  if (primaryKey) out << " [PRIMARY KEY]";
}

// Names come from the databases: one holding a line feed would otherwise break its line in two.
void WriteColumnDifferences(std::ostream& out, const TableChange& change) {
  for (const ColumnMeta& column : change.removedColumns) {
    out << "  - column " << OnOneLine(change.table + '.' + column.name) << " : ";
    WriteColumn(out, column.type, column.primaryKey);
    out << kLineEnd;
  }
  for (const ColumnMeta& column : change.addedColumns) {
    out << "  + column " << OnOneLine(change.table + '.' + column.name) << " : ";
    WriteColumn(out, column.type, column.primaryKey);
    out << kLineEnd;
  }
  for (const ColumnChange& column : change.changedColumns) {
    out << "  ~ column " << OnOneLine(change.table + '.' + column.name) << " : ";
    WriteColumn(out, column.typeBefore, column.primaryKeyBefore);
    out << " -> ";
    WriteColumn(out, column.typeAfter, column.primaryKeyAfter);
    out << kLineEnd;
  }
}

// "  ~ default t.c : 'a' -> (none)". A view or trigger is named only: its SQL may run to many
// lines.
void WriteDetailChange(std::ostream& out, const DetailChange& change) {
  out << "  " << change.sign << ' ' << change.kind << ' ' << OnOneLine(change.name);
  const bool named =
      change.kind == "view" || change.kind == "trigger" || change.kind == "definition";
  const auto shown = [](const std::string& text) { return text.empty() ? "(none)" : text; };
  if (!named && change.sign == '~') {
    out << " : " << shown(change.before) << " -> " << shown(change.after);
  } else if (!named && !(change.sign == '-' ? change.before : change.after).empty()) {
    out << " : " << (change.sign == '-' ? change.before : change.after);
  }
  out << kLineEnd;
}

}  // namespace

size_t CountDifferences(const SchemaDiff& diff) {
  size_t count = diff.tablesOnlyInFirst.size() + diff.tablesOnlyInSecond.size() +
                 diff.detailChanges.size();
  for (const TableChange& change : diff.changedTables) {
    count +=
        change.addedColumns.size() + change.removedColumns.size() + change.changedColumns.size();
  }
  return count;
}

void WriteUsage(std::ostream& out, const char* programName) {
  out << kRule << kLineEnd << "  Corvenmark Studio - Commercial Edition v" << kVersion << kLineEnd
      << "  High-Speed SQLite & DuckDB Management Workstation" << kLineEnd << kRule << kLineEnd
      << kLineEnd << "Usage:" << kLineEnd << "  " << (programName ? programName : "")
      << " [options]" << kLineEnd << kLineEnd << "Options:" << kLineEnd;
  for (const char* line : kOptionLines) out << line << kLineEnd;
  out << kLineEnd;
}

std::string FormatElapsed(double milliseconds) {
  char text[64];
  std::snprintf(text, sizeof text, "%g", milliseconds);
  return text;
}

void WriteTabSeparatedLine(std::ostream& out, const std::vector<std::string>& cells) {
  if (cells.empty()) return;
  std::string line;
  for (const std::string& cell : cells) {
    line += cell;
    line += '\t';
  }
  line.pop_back();
  line += kLineEnd;
  out << line;
}

std::string OnOneLine(const std::string& text) {
  static const char kHexDigits[] = "0123456789abcdef";
  std::string line;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const auto byte = static_cast<unsigned char>(c);
    const size_t length = byte < 0x80 ? 1 : Utf8SequenceLength(text, i);
    if (length > 1) {
      // A character beyond ASCII, whole.
      line.append(text, i, length);
      i += length - 1;
    } else if (c == '\n') {
      line += "\\n";
    } else if (c == '\r') {
      line += "\\r";
    } else if (c == '\t') {
      line += "\\t";
    } else if (byte < 0x20 || byte == 0x7f || length == 0) {
      // A control character, or a byte that begins no character (the text is not UTF-8).
      line += "\\x";
      line += kHexDigits[byte >> 4];
      line += kHexDigits[byte & 0xf];
    } else {
      line += c;
    }
  }
  return line;
}

void WriteErrorLine(std::ostream& err, const char* command, const std::string& message) {
  err << command << " Error: " << OnOneLine(message) << kLineEnd;
}

void WriteSchemaListing(std::ostream& out, const std::string& dbPath,
                        const std::vector<TableMeta>& tables) {
  out << "Database: " << dbPath << " (" << tables.size() << " tables):" << kLineEnd;
  for (const TableMeta& table : tables) {
    out << "Table: " << table.name << " (" << table.rowCount << " rows)" << kLineEnd;
    for (const ColumnMeta& column : table.columns) {
      out << "  - " << column.name << " : ";
      WriteColumn(out, column.type, column.primaryKey);
      out << kLineEnd;
    }
  }
}

int64_t StorageKilobytes(int64_t pageCount, int64_t pageSize) {
  __extension__ typedef __int128 Wide;
  const Wide kilobytes = static_cast<Wide>(pageCount) * pageSize / 1024;
  if (kilobytes > std::numeric_limits<int64_t>::max()) return std::numeric_limits<int64_t>::max();
  if (kilobytes < std::numeric_limits<int64_t>::min()) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(kilobytes);
}

// A check that could not run to its end found no damage, nor could it vouch for the data.
std::string IntegrityVerdict(const DbDiagnostics& diagnostics) {
  if (!diagnostics.integrityChecked) {
    return "NOT CHECKED (" + diagnostics.integrityUnchecked + ")";
  }
  return diagnostics.integrityOk ? "PASS (OK)" : "FAIL";
}

void WriteDiagnostics(std::ostream& out, const DbDiagnostics& diagnostics) {
  out << "=== PRAGMA Database Diagnostics ===" << kLineEnd
      << "Integrity Check: " << IntegrityVerdict(diagnostics) << kLineEnd
      << "Journal Mode:   " << diagnostics.journalMode << kLineEnd
      << "Page Size:      " << diagnostics.pageSize << " bytes" << kLineEnd
      << "Page Count:     " << diagnostics.pageCount << " ("
      << StorageKilobytes(diagnostics.pageCount, diagnostics.pageSize) << " KB)" << kLineEnd
      << "Freelist Count: " << diagnostics.freelistCount << kLineEnd;
}

void WriteSampleLine(std::ostream& out, const std::string& status, const std::string& outPath) {
  out << "Create sample benchmark DB: " << status << " at " << outPath << kLineEnd;
}

void WriteSchemaDiff(std::ostream& out, const std::string& firstPath, const std::string& secondPath,
                     const SchemaDiff& diff) {
  const size_t count = CountDifferences(diff);
  out << "Schema diff: " << firstPath << " -> " << secondPath << " (" << count
      << " differences):" << kLineEnd;
  if (count == 0) {
    out << "No differences." << kLineEnd;
    return;
  }
  for (const std::string& table : diff.tablesOnlyInFirst) {
    out << "  - table " << OnOneLine(table) << kLineEnd;
  }
  for (const std::string& table : diff.tablesOnlyInSecond) {
    out << "  + table " << OnOneLine(table) << kLineEnd;
  }
  for (const TableChange& change : diff.changedTables) WriteColumnDifferences(out, change);
  for (const DetailChange& change : diff.detailChanges) WriteDetailChange(out, change);
}

}  // namespace Corvenmark
