#include "cli/kept_text.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace Corvenmark {
namespace {

TEST(KeptText, GivesBackEveryByteInOrderFromMemoryAndFromItsTemporaryFile) {
  for (const size_t budget : {size_t{1} << 20, size_t{7}}) {
    KeptText table(budget);
    KeptText body(budget);
    std::string expected;
    for (int i = 0; i < 1000; ++i) {
      const std::string line = "line " + std::to_string(i) + std::string(i % 13, '\0') + "\n";
      ASSERT_TRUE(table.Append(line)) << table.error();
      expected += line;
      if (i == 499) {
        ASSERT_TRUE(table.MoveTo(body)) << table.error();
        EXPECT_TRUE(table.empty());
      }
    }
    ASSERT_TRUE(table.MoveTo(body)) << table.error();
    KeptText forgotten(budget);
    ASSERT_TRUE(forgotten.Append(std::string(100, 'x')));
    forgotten.Clear();
    ASSERT_TRUE(forgotten.MoveTo(body));
    std::ostringstream out;
    ASSERT_TRUE(body.WriteTo(out)) << body.error();
    EXPECT_EQ(out.str(), expected) << budget;
    EXPECT_TRUE(body.empty());
  }
}

}  // namespace
}  // namespace Corvenmark
