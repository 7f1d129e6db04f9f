#ifndef CORVENMARK_DATA_DIFF_REPORT_H_
#define CORVENMARK_DATA_DIFF_REPORT_H_

#include <memory>
#include <ostream>
#include <string>

#include "cli/data_diff.h"
#include "cli/output_format.h"

namespace Corvenmark {

struct DataDiffReportOptions {
  OutputFormat format = OutputFormat::kTsv;
  bool summaryOnly = false;  ///< Counts only, without a line or record per row.
  std::string first;         ///< The databases as the command line names them.
  std::string second;
  SqlDialect dialect = SqlDialect::kSqlite;  ///< The first database's, for the SQL form.
  bool acrossFormats = false;
};

/// A data diff written as it is found: the tsv report (kept until its first line's counts are
/// known), one record per changed row (json, jsonl, csv), or the SQL that turns the first
/// database into the second (sql).
class DataDiffReport : public DataDiffSink {
 public:
  static std::unique_ptr<DataDiffReport> For(const DataDiffReportOptions& options,
                                             std::ostream& out);
  /// Writes what only the whole diff tells; false when the output or a temporary file failed.
  virtual bool Finish(const DataDiffOutcome& outcome) = 0;
  /// Why a temporary file failed; empty when none did.
  const std::string& error() const { return error_; }

 protected:
  DataDiffReport(const DataDiffReportOptions& options, std::ostream& out)
      : options_(options), out_(out) {}
  bool Kept(bool kept, const std::string& error) {
    if (!kept && error_.empty()) error_ = error;
    return kept;
  }

  DataDiffReportOptions options_;
  std::ostream& out_;
  std::string error_;
};

}  // namespace Corvenmark

#endif  // CORVENMARK_DATA_DIFF_REPORT_H_
