#include "row_list.h"

#include <gtest/gtest.h>

namespace Corvenmark {
namespace {

TEST(RowList, KeepsEachRowsOwnCells) {
  const std::vector<std::vector<std::string>> lists = {
      {"a", "", "ccc"}, {}, {""}, {"tab\tand\nline", std::string("nul\0", 4)}};
  RowList rows(lists);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows.CellCount(0), 3u);
  EXPECT_EQ(rows.CellCount(1), 0u);
  EXPECT_EQ(rows.CellCount(2), 1u);
  EXPECT_EQ(rows.Cell(0, 2), "ccc");
  EXPECT_EQ(rows.Cell(2, 0), "");
  EXPECT_EQ(rows.Cell(3, 1), std::string("nul\0", 4));
  EXPECT_EQ(rows.ToLists(), lists);
  EXPECT_EQ(rows.TabSeparatedLines(), std::string("a\t\tccc\n\ntab\tand\nline\tnul\0\n", 26));
}

TEST(RowList, EqualityLooksAtCellBoundaries) {
  using Lists = std::vector<std::vector<std::string>>;
  EXPECT_EQ(RowList(Lists{{"ab", "c"}}), RowList(Lists{{"ab", "c"}}));
  EXPECT_FALSE(RowList(Lists{{"ab", "c"}}) == RowList(Lists{{"a", "bc"}}));
  EXPECT_FALSE(RowList(Lists{{"a"}, {"b"}}) == RowList(Lists{{"a", "b"}}));
  EXPECT_FALSE(RowList(Lists{{}}) == RowList());
}

TEST(RowList, KeepsEveryCellWhileGrowingIntoLargeBuffers) {
  // Enough cells that each buffer crosses into large-buffer memory and is copied on the way.
  RowList rows;
  const size_t kRows = 200000;
  for (size_t row = 0; row < kRows; ++row) {
    rows.AddRow();
    rows.AddCell(std::to_string(row));
    if (row % 3 == 0) rows.AddCell(std::string(row % 50, 'x'));
  }
  ASSERT_EQ(rows.size(), kRows);
  for (size_t row = 0; row < kRows; row += 997) {
    EXPECT_EQ(rows.Cell(row, 0), std::to_string(row));
    ASSERT_EQ(rows.CellCount(row), row % 3 == 0 ? 2u : 1u);
    if (row % 3 == 0) {
      EXPECT_EQ(rows.Cell(row, 1), std::string(row % 50, 'x'));
    }
  }
  const RowList copy = rows;
  EXPECT_EQ(copy, rows);
  EXPECT_EQ(copy.Cell(kRows - 1, 0), std::to_string(kRows - 1));
}

}  // namespace
}  // namespace Corvenmark
