#ifndef CORVENMARK_ROW_BATCH_H_
#define CORVENMARK_ROW_BATCH_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "engines/engine.h"

namespace Corvenmark {

/// Rows copied out of an engine's calls, so that they outlive them: every cell's text one
/// after another in one buffer, for handing rows between threads a batch at a time.
struct RowBatch {
  struct Cell {
    size_t offset = 0;
    size_t size = 0;
    bool isNull = false;
    CellKind kind = CellKind::kText;
  };
  /// Large enough that handing a batch over costs nothing beside its rows, small enough that
  /// a few of them are nothing beside the engines' own memory.
  static constexpr size_t kFullBytes = 4 << 20;
  static constexpr size_t kFullRows = 8192;

  std::string bytes;
  std::vector<Cell> cells;       ///< Each row's, one row after another.
  std::vector<size_t> rowSizes;  ///< How many cells each row has.

  void Add(const CellView* row, size_t count) {
    for (size_t i = 0; i < count; ++i) {
      cells.push_back({bytes.size(), row[i].text.size(), row[i].isNull, row[i].kind});
      bytes.append(row[i].text);
    }
    rowSizes.push_back(count);
  }
  /// Empties the batch, keeping its memory for the next rows.
  void Clear() {
    bytes.clear();
    cells.clear();
    rowSizes.clear();
  }
  bool Full() const { return bytes.size() >= kFullBytes || rowSizes.size() >= kFullRows; }
  /// The cell at `index` of `cells`, as an engine passes it.
  CellView View(size_t index) const {
    const Cell& cell = cells[index];
    return {std::string_view(bytes).substr(cell.offset, cell.size), cell.isNull, cell.kind};
  }
};

}  // namespace Corvenmark

#endif  // CORVENMARK_ROW_BATCH_H_
