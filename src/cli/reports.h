#ifndef CORVENMARK_REPORTS_H_
#define CORVENMARK_REPORTS_H_

#include <cstdint>
#include <ostream>
#include <string>

#include "engines/records.h"

namespace Corvenmark {

/// Writes the usage text. A null program name prints as an empty one.
void WriteUsage(std::ostream& out, const char* programName);

/// Writes the cells with one tab between neighbours and a line feed after the last; nothing
/// at all when there are no cells.
void WriteTabSeparatedLine(std::ostream& out, const std::vector<std::string>& cells);

/// Writes "<command> Error: <message>" as exactly one line: control characters in the message
/// (which may come from the command line or from a database), and bytes that are not UTF-8, are
/// written visibly escaped, as \n, \r, \t or \xHH.
void WriteErrorLine(std::ostream& err, const char* command, const std::string& message);

/// `text` with its control characters and its bytes that are not UTF-8 visibly escaped, as
/// error lines write them, so that it stays on one line of text.
std::string OnOneLine(const std::string& text);

void WriteSchemaListing(std::ostream& out, const std::string& dbPath,
                        const std::vector<TableMeta>& tables);

void WriteDiagnostics(std::ostream& out, const DbDiagnostics& diagnostics);

void WriteSampleLine(std::ostream& out, const std::string& status, const std::string& outPath);

/// Writes a first line naming both databases and counting the differences, then one line per
/// difference, or a single line saying there are none.
void WriteSchemaDiff(std::ostream& out, const std::string& firstPath, const std::string& secondPath,
                     const SchemaDiff& diff);

/// How many differences the diff report lists: a line each.
size_t CountDifferences(const SchemaDiff& diff);

/// The integrity line's verdict: "PASS (OK)", "FAIL" or "NOT CHECKED (<why>)".
std::string IntegrityVerdict(const DbDiagnostics& diagnostics);

/// pageCount × pageSize / 1024, truncated toward zero. The product is taken in 128 bits so that
/// it cannot overflow; a quotient beyond the 64-bit range is clamped to the nearest limit.
int64_t StorageKilobytes(int64_t pageCount, int64_t pageSize);

/// Formats a number the way printf's "%g" does: six significant digits.
std::string FormatElapsed(double milliseconds);

}  // namespace Corvenmark

#endif  // CORVENMARK_REPORTS_H_
