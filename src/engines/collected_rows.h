#ifndef CORVENMARK_COLLECTED_ROWS_H_
#define CORVENMARK_COLLECTED_ROWS_H_

// For tests: a sink that keeps everything an engine yields, nulls written as "<null>".

#include <string>
#include <vector>

#include "engines/engine.h"

namespace Corvenmark {

struct CollectedRows : RowSink {
  std::vector<std::string> columns;
  std::vector<std::vector<std::string>> rows;
  int results = 0;

  bool BeginResult(const std::vector<std::string>& names) override {
    columns = names;
    rows.clear();
    ++results;
    return true;
  }
  bool AddRow(const CellView* cells, size_t count) override {
    std::vector<std::string>& row = rows.emplace_back();
    for (size_t i = 0; i < count; ++i) {
      row.push_back(cells[i].isNull ? "<null>" : std::string(cells[i].text));
    }
    return true;
  }
};

}  // namespace Corvenmark

#endif  // CORVENMARK_COLLECTED_ROWS_H_
