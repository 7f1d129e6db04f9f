#ifndef CORVENMARK_OUTPUT_FORMAT_H_
#define CORVENMARK_OUTPUT_FORMAT_H_

#include <string>

namespace Corvenmark {

/// How a command writes its report, as "--format NAME" picks it.
enum class OutputFormat {
  kTsv,        ///< The reports as they have always been: the query's tab-separated lines.
  kCsv,        ///< RFC 4180 records, as "--export-csv" writes a table.
  kJson,       ///< One JSON document.
  kJsonLines,  ///< One JSON object per line (queries only).
  kTable,      ///< An aligned table with box lines, for people.
  kSql,        ///< SQL statements (the data diff's).
};

/// The format named `name`; false for a name no format has.
bool FindOutputFormat(const std::string& name, OutputFormat& format);

/// The name "--format" gives `format`.
const char* NameOf(OutputFormat format);

/// Every format's name, in the form "a, b or c" for messages.
std::string OutputFormatNames();

}  // namespace Corvenmark

#endif  // CORVENMARK_OUTPUT_FORMAT_H_
