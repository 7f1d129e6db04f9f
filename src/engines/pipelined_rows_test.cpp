#include "engines/pipelined_rows.h"

#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

namespace Corvenmark {
namespace {

// Keeps every row it is given as text, and refuses or throws at a row when told to.
struct Target : RowSink {
  std::vector<std::string> rows;
  size_t refuseAt = SIZE_MAX;
  size_t throwAt = SIZE_MAX;
  bool BeginResult(const std::vector<std::string>& columns) override {
    rows.push_back("columns " + std::to_string(columns.size()));
    return true;
  }
  bool AddRow(const CellView* cells, size_t count) override {
    if (rows.size() == throwAt) throw std::bad_alloc();
    std::string row;
    for (size_t i = 0; i < count; ++i)
      row += cells[i].isNull ? "NULL|" : std::string(cells[i].text) + "|";
    rows.push_back(row);
    return rows.size() != refuseAt;
  }
};

// Rows arrive whole and in order across batches, a refusal stops the reader, and what the
// writing thread threw is thrown where the rows were read.
TEST(PipelinedRows, HandsEveryRowOverInOrderAndStopsAtTheFirstRefusal) {
  const std::string wide(300000, 'w');  // a few of these fill a batch by bytes
  for (const size_t refuseAt : {SIZE_MAX, size_t{20000}}) {
    Target target;
    target.refuseAt = refuseAt;
    PipelinedRows pipeline(target);
    ASSERT_TRUE(pipeline.BeginResult({"a", "b"}));
    bool accepted = true;
    size_t sent = 0;
    for (; sent < 50000 && accepted; ++sent) {
      const std::string number = std::to_string(sent);
      const CellView cells[] = {{number},
                                {sent % 1000 == 0 ? std::string_view(wide) : "", sent % 7 == 0}};
      accepted = pipeline.AddRow(cells, 2);
    }
    EXPECT_EQ(pipeline.Finish(), refuseAt == SIZE_MAX);
    ASSERT_EQ(target.rows.size(), std::min<size_t>(refuseAt, 50001));
    EXPECT_EQ(target.rows[1], "0|NULL|");
    EXPECT_EQ(target.rows[1001], "1000|" + wide + "|");
    EXPECT_EQ(target.rows.back(), std::to_string(target.rows.size() - 2) + "|" +
                                      (target.rows.size() % 7 == 2 ? "NULL|" : "|"));
    if (refuseAt != SIZE_MAX) {
      EXPECT_LT(sent, size_t{50000});
    }
  }
  Target throwing;
  throwing.throwAt = 3;
  PipelinedRows pipeline(throwing);
  pipeline.BeginResult({"a"});
  for (int i = 0; i < 10; ++i) {
    const CellView cell{"x"};
    pipeline.AddRow(&cell, 1);
  }
  EXPECT_THROW(pipeline.Finish(), std::bad_alloc);
}

}  // namespace
}  // namespace Corvenmark
