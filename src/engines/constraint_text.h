#ifndef CORVENMARK_CONSTRAINT_TEXT_H_
#define CORVENMARK_CONSTRAINT_TEXT_H_

// The one text of a table's constraint that every engine writes, so that reports show them
// alike and a comparison across formats reads what they mean, not how each format spells it.

#include <algorithm>
#include <string>
#include <vector>

#include "engines/records.h"
#include "engines/sql_text.h"
#include "platform/ascii.h"

namespace Corvenmark {

/// The constraint as reports show it: "UNIQUE (a, b)", "CHECK (expression)", or
/// "FOREIGN KEY (a) REFERENCES t (b)" ("... REFERENCES t" for the referenced table's key); as
/// SQL, every name quoted, when `quoted`.
inline std::string ConstraintText(const ConstraintMeta& constraint, bool quoted = false) {
  switch (constraint.kind) {
    case ConstraintMeta::Kind::kUnique:
      return "UNIQUE (" + JoinedNames(constraint.columns, quoted) + ")";
    case ConstraintMeta::Kind::kCheck:
      return "CHECK (" + constraint.expression + ")";
    case ConstraintMeta::Kind::kForeignKey:
      break;
  }
  const std::string& table = constraint.referencedTable;
  return "FOREIGN KEY (" + JoinedNames(constraint.columns, quoted) + ") REFERENCES " +
         (quoted ? QuotedIdentifier(table) : table) +
         (constraint.referencedColumns.empty()
              ? ""
              : " (" + JoinedNames(constraint.referencedColumns, quoted) + ")");
}

/// The constraints in byte order of their texts.
inline void SortConstraints(std::vector<ConstraintMeta>& constraints) {
  std::sort(constraints.begin(), constraints.end(),
            [](const ConstraintMeta& a, const ConstraintMeta& b) {
              return ConstraintText(a) < ConstraintText(b);
            });
}

/// What a constraint's text means, for comparing two formats': without white space, brackets
/// or quotes, and in lower case, since the formats parenthesise and quote alike expressions
/// differently ("CHECK (x > 0)" and "CHECK ((x > 0))").
inline std::string ConstraintMeaning(const std::string& text) {
  std::string meaning;
  for (const char c : text) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '(' || c == ')' || c == '"') {
      continue;
    }
    meaning += c;
  }
  return LowerAscii(meaning);
}

}  // namespace Corvenmark

#endif  // CORVENMARK_CONSTRAINT_TEXT_H_
