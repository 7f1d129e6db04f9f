#include "cli/sorted_rows.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace Corvenmark {
namespace {

// Rows of (a text, a number or NULL), ordered by the text, then by the number's digits.
int ByBoth(const CellView* a, const CellView* b) {
  for (int i = 0; i < 2; ++i) {
    if (a[i].isNull || b[i].isNull) {
      if (a[i].isNull != b[i].isNull) return a[i].isNull ? -1 : 1;
      continue;
    }
    const int order = a[i].text.compare(b[i].text);
    if (order != 0) return order < 0 ? -1 : 1;
  }
  return 0;
}

TEST(SortedRows, PutsRowsInOrderInMemoryAndThroughTemporaryFiles) {
  std::mt19937 random(7);
  std::vector<std::vector<std::string>> rows;
  for (int i = 0; i < 3000; ++i) {
    rows.push_back({std::string(random() % 5, 'x') + std::to_string(random() % 100),
                    std::to_string(random() % 3)});
  }
  // A budget of a few dozen rows sorts them in many temporary files, merged as they are taken.
  for (const size_t budget : {size_t{1} << 30, size_t{4096}}) {
    SortedRows sorted(2, ByBoth, budget);
    std::string error;
    for (size_t i = 0; i < rows.size(); ++i) {
      const CellView row[] = {{rows[i][0]}, {rows[i][1], i % 7 == 0}};
      ASSERT_TRUE(sorted.Add(row, error)) << error;
    }
    ASSERT_TRUE(sorted.Sort(error)) << error;
    std::vector<std::string> previous;
    size_t count = 0;
    while (const CellView* row = sorted.Next()) {
      const std::vector<std::string> current = {std::string(row[0].text),
                                                row[1].isNull ? "<null>" : std::string(row[1].text)};
      if (count > 0) {
        const CellView before[] = {{previous[0]}, {previous[1], previous[1] == "<null>"}};
        EXPECT_LE(ByBoth(before, row), 0) << budget << ": " << previous[0] << " then " << current[0];
      }
      previous = current;
      ++count;
    }
    EXPECT_EQ(count, rows.size()) << budget;
    EXPECT_EQ(sorted.error(), "");
  }
}

}  // namespace
}  // namespace Corvenmark
