#include "engines/type_family.h"

#include <string_view>

#include "platform/ascii.h"

namespace Corvenmark {
namespace {

struct FamilyRule {
  std::string_view words[3];  ///< Any one of them marks the family; unused ones are empty.
  TypeFamily family;
};

// SQLite's declared types, tried in order; see SqliteTypeFamily.
constexpr FamilyRule kSqliteRules[] = {
    {{"INT"}, TypeFamily::kInteger},
    {{"CHAR", "CLOB", "TEXT"}, TypeFamily::kText},
    {{"BLOB"}, TypeFamily::kBlob},
    {{"REAL", "FLOA", "DOUB"}, TypeFamily::kFloatingPoint},
    {{"DEC", "NUMERIC"}, TypeFamily::kDecimal},
    {{"BOOL"}, TypeFamily::kBoolean},
    {{"TIMESTAMP", "DATETIME"}, TypeFamily::kTimestamp},
    {{"DATE"}, TypeFamily::kDate},
    {{"TIME"}, TypeFamily::kTime},
    {{"UUID"}, TypeFamily::kUuid},
};

struct NamedFamily {
  std::string_view name;
  TypeFamily family;
};

// DuckDB's types by the names its catalog gives them.
constexpr NamedFamily kDuckDbTypes[] = {
    {"TINYINT", TypeFamily::kInteger},
    {"SMALLINT", TypeFamily::kInteger},
    {"INTEGER", TypeFamily::kInteger},
    {"BIGINT", TypeFamily::kInteger},
    {"HUGEINT", TypeFamily::kInteger},
    {"UTINYINT", TypeFamily::kInteger},
    {"USMALLINT", TypeFamily::kInteger},
    {"UINTEGER", TypeFamily::kInteger},
    {"UBIGINT", TypeFamily::kInteger},
    {"UHUGEINT", TypeFamily::kInteger},
    {"BIGNUM", TypeFamily::kInteger},
    {"VARINT", TypeFamily::kInteger},
    {"FLOAT", TypeFamily::kFloatingPoint},
    {"DOUBLE", TypeFamily::kFloatingPoint},
    {"DECIMAL", TypeFamily::kDecimal},
    {"VARCHAR", TypeFamily::kText},
    {"BLOB", TypeFamily::kBlob},
    {"BOOLEAN", TypeFamily::kBoolean},
    {"DATE", TypeFamily::kDate},
    {"TIME", TypeFamily::kTime},
    {"TIME_NS", TypeFamily::kTime},
    {"TIME WITH TIME ZONE", TypeFamily::kTime},
    {"TIMESTAMP", TypeFamily::kTimestamp},
    {"TIMESTAMP_S", TypeFamily::kTimestamp},
    {"TIMESTAMP_MS", TypeFamily::kTimestamp},
    {"TIMESTAMP_NS", TypeFamily::kTimestamp},
    {"TIMESTAMP WITH TIME ZONE", TypeFamily::kTimestamp},
    {"INTERVAL", TypeFamily::kInterval},
    {"UUID", TypeFamily::kUuid},
    {"STRUCT", TypeFamily::kNested},
    {"MAP", TypeFamily::kNested},
    {"UNION", TypeFamily::kNested},
};

}  // namespace

TypeFamily SqliteTypeFamily(const std::string& declaredType) {
  const std::string type = UpperAscii(declaredType);
  if (type.empty()) return TypeFamily::kBlob;
  for (const FamilyRule& rule : kSqliteRules) {
    for (const std::string_view word : rule.words) {
      if (!word.empty() && type.find(word) != std::string::npos) return rule.family;
    }
  }
  return TypeFamily::kOther;
}

TypeFamily DuckDbTypeFamily(const std::string& typeName) {
  const std::string type = UpperAscii(typeName);
  // A list or an array, whatever its element type: INTEGER[], VARCHAR[][2].
  if (!type.empty() && type.back() == ']') return TypeFamily::kNested;
  const std::string_view name = std::string_view(type).substr(0, type.find('('));
  for (const NamedFamily& known : kDuckDbTypes) {
    if (name == known.name) return known.family;
  }
  return TypeFamily::kOther;
}

}  // namespace Corvenmark
