#include "row_list.h"

namespace Corvenmark {

RowList::RowList(const std::vector<std::vector<std::string>>& rows) {
  for (const std::vector<std::string>& row : rows) {
    AddRow();
    for (const std::string& cell : row) AddCell(cell);
  }
}

std::vector<std::vector<std::string>> RowList::ToLists() const {
  std::vector<std::vector<std::string>> lists(size());
  for (size_t row = 0; row < size(); ++row) {
    for (size_t cell = 0; cell < CellCount(row); ++cell) lists[row].emplace_back(Cell(row, cell));
  }
  return lists;
}

}  // namespace Corvenmark
