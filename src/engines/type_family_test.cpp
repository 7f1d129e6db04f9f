#include "engines/type_family.h"

#include <gtest/gtest.h>

namespace Corvenmark {
namespace {

TEST(TypeFamily, SqliteDeclaredTypesFollowAffinityRulesInOrder) {
  const struct {
    const char* type;
    TypeFamily family;
  } cases[] = {
      {"INTEGER", TypeFamily::kInteger},
      {"bigint", TypeFamily::kInteger},
      {"UNSIGNED BIG INT", TypeFamily::kInteger},
      {"INTERVAL", TypeFamily::kInteger},  // contains INT, as SQLite reads it
      {"POINT", TypeFamily::kInteger},
      {"TEXT", TypeFamily::kText},
      {"varchar(20)", TypeFamily::kText},
      {"NATIVE CHARACTER(70)", TypeFamily::kText},
      {"CLOB", TypeFamily::kText},
      {"CHARINT", TypeFamily::kInteger},  // INT is looked for before CHAR
      {"BLOB", TypeFamily::kBlob},
      {"", TypeFamily::kBlob},
      {"REAL", TypeFamily::kFloatingPoint},
      {"DOUBLE PRECISION", TypeFamily::kFloatingPoint},
      {"float", TypeFamily::kFloatingPoint},
      {"FLOATING POINT", TypeFamily::kInteger},  // its POINT holds INT
      {"DECIMAL(10,5)", TypeFamily::kDecimal},
      {"NUMERIC", TypeFamily::kDecimal},
      {"BOOLEAN", TypeFamily::kBoolean},
      {"DATETIME", TypeFamily::kTimestamp},
      {"TIMESTAMP", TypeFamily::kTimestamp},
      {"DATE", TypeFamily::kDate},
      {"TIME", TypeFamily::kTime},
      {"UUID", TypeFamily::kUuid},
      {"JSON", TypeFamily::kOther},
      {"MONEY", TypeFamily::kOther},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SqliteTypeFamily(c.type), c.family) << c.type;
  }
}

TEST(TypeFamily, DuckDbTypeNamesByTable) {
  const struct {
    const char* type;
    TypeFamily family;
  } cases[] = {
      {"TINYINT", TypeFamily::kInteger},
      {"INTEGER", TypeFamily::kInteger},
      {"HUGEINT", TypeFamily::kInteger},
      {"UBIGINT", TypeFamily::kInteger},
      {"UHUGEINT", TypeFamily::kInteger},
      {"FLOAT", TypeFamily::kFloatingPoint},
      {"DOUBLE", TypeFamily::kFloatingPoint},
      {"DECIMAL(12,2)", TypeFamily::kDecimal},
      {"VARCHAR", TypeFamily::kText},
      {"BLOB", TypeFamily::kBlob},
      {"BOOLEAN", TypeFamily::kBoolean},
      {"DATE", TypeFamily::kDate},
      {"TIME", TypeFamily::kTime},
      {"TIME WITH TIME ZONE", TypeFamily::kTime},
      {"TIMESTAMP", TypeFamily::kTimestamp},
      {"TIMESTAMP_NS", TypeFamily::kTimestamp},
      {"TIMESTAMP WITH TIME ZONE", TypeFamily::kTimestamp},
      {"INTERVAL", TypeFamily::kInterval},
      {"UUID", TypeFamily::kUuid},
      {"INTEGER[]", TypeFamily::kNested},
      {"VARCHAR[3]", TypeFamily::kNested},
      {"STRUCT(k INTEGER, v VARCHAR)", TypeFamily::kNested},
      {"STRUCT(a INTEGER)[]", TypeFamily::kNested},
      {"MAP(VARCHAR, INTEGER)", TypeFamily::kNested},
      {"UNION(n INTEGER, s VARCHAR)", TypeFamily::kNested},
      {"ENUM('a', 'b')", TypeFamily::kOther},
      {"BIT", TypeFamily::kOther},
      {"mood", TypeFamily::kOther},
      {"INT", TypeFamily::kOther},  // DuckDB's catalog never names a type so
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DuckDbTypeFamily(c.type), c.family) << c.type;
  }
}

}  // namespace
}  // namespace Corvenmark
