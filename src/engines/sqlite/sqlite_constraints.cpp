#include "engines/sqlite/sqlite_constraints.h"

#include <algorithm>
#include <cstring>

#include "engines/constraint_text.h"
#include "engines/sqlite/sqlite_database.h"

namespace Corvenmark {
namespace {

bool IsWordCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         (static_cast<unsigned char>(c) & 0x80) != 0;
}

// Where the token that starts at `at` ends: a quoted string or name (quotes doubled inside), a
// comment, or one character.
size_t TokenEnd(const std::string& sql, size_t at) {
  const char c = sql[at];
  const char close = c == '[' ? ']' : c;
  if (c == '\'' || c == '"' || c == '`' || c == '[') {
    for (size_t i = at + 1; i < sql.size(); ++i) {
      if (sql[i] != close) continue;
      if (close != ']' && i + 1 < sql.size() && sql[i + 1] == close) {
        ++i;
        continue;
      }
      return i + 1;
    }
    return sql.size();
  }
  if (sql.compare(at, 2, "--") == 0) {
    const size_t end = sql.find('\n', at);
    return end == std::string::npos ? sql.size() : end;
  }
  if (sql.compare(at, 2, "/*") == 0) {
    const size_t end = sql.find("*/", at + 2);
    return end == std::string::npos ? sql.size() : end + 2;
  }
  if (!IsWordCharacter(c)) return at + 1;
  size_t end = at;
  while (end < sql.size() && IsWordCharacter(sql[end])) ++end;
  return end;
}

std::string Text(sqlite3_stmt* statement, int column) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
  return text != nullptr ? text : "";
}

// One constraint's columns in order: those of the referencing table, and those it references.
struct KeyColumns {
  std::vector<std::string> from;
  std::vector<std::string> to;
  std::string table;  ///< The referenced table; empty for a UNIQUE constraint.
};

// Reads rows of (group, column, referenced column, referenced table) into one KeyColumns per
// group, in order.
bool ReadKeyColumns(sqlite3* db, sqlite3_stmt* statement, std::vector<KeyColumns>& keys,
                    std::string& error) {
  int group = -1;
  int status;
  while ((status = sqlite3_step(statement)) == SQLITE_ROW) {
    if (keys.empty() || sqlite3_column_int(statement, 0) != group) {
      group = sqlite3_column_int(statement, 0);
      keys.emplace_back().table = Text(statement, 3);
    }
    keys.back().from.push_back(Text(statement, 1));
    keys.back().to.push_back(Text(statement, 2));
  }
  if (status != SQLITE_DONE) error = sqlite3_errmsg(db);
  return status == SQLITE_DONE;
}

}  // namespace

std::vector<std::string> CheckExpressions(const std::string& createSql) {
  std::vector<std::string> checks;
  for (size_t at = 0; at < createSql.size();) {
    const size_t end = TokenEnd(createSql, at);
    if (end - at != 5 || sqlite3_strnicmp(createSql.c_str() + at, "CHECK", 5) != 0) {
      at = end;
      continue;
    }
    size_t open = end;
    while (open < createSql.size() && std::strchr(" \t\r\n", createSql[open]) != nullptr) ++open;
    if (open >= createSql.size() || createSql[open] != '(') {
      at = end;
      continue;
    }
    int depth = 0;
    size_t close = open;
    for (; close < createSql.size(); close = TokenEnd(createSql, close)) {
      if (createSql[close] == '(') ++depth;
      if (createSql[close] == ')' && --depth == 0) break;
    }
    if (close >= createSql.size()) break;
    checks.push_back(createSql.substr(open + 1, close - open - 1));
    at = close + 1;
  }
  return checks;
}

bool ReadConstraints(sqlite3* db, TableMeta& table, std::string& error) {
  std::vector<ConstraintMeta>& constraints = table.constraints;
  constraints.clear();
  for (const std::string& check : CheckExpressions(table.createSql)) {
    constraints.push_back({ConstraintMeta::Kind::kCheck, {}, check, "", {}});
  }
  // The indexes SQLite makes for UNIQUE constraints, and each foreign key's column pairs.
  StatementHandle unique = Prepare(db,
                                   "SELECT il.seq, ii.name, NULL, NULL "
                                   "FROM main.pragma_index_list(?1) il "
                                   "JOIN main.pragma_index_info(il.name) ii "
                                   "WHERE il.origin = 'u' ORDER BY il.seq, ii.seqno",
                                   error);
  StatementHandle foreign = Prepare(db,
                                    "SELECT id, \"from\", \"to\", \"table\" "
                                    "FROM main.pragma_foreign_key_list(?1) ORDER BY id, seq",
                                    error);
  if (!unique || !foreign) return false;
  std::vector<KeyColumns> keys;
  for (sqlite3_stmt* statement : {unique.get(), foreign.get()}) {
    sqlite3_bind_text(statement, 1, table.ownName.c_str(), -1, SQLITE_TRANSIENT);
    if (!ReadKeyColumns(db, statement, keys, error)) return false;
  }
  for (const KeyColumns& key : keys) {
    // A foreign key that names no columns references the other table's primary key.
    const bool toKey = std::all_of(key.to.begin(), key.to.end(),
                                   [](const std::string& name) { return name.empty(); });
    if (key.table.empty()) {
      constraints.push_back({ConstraintMeta::Kind::kUnique, key.from, "", "", {}});
    } else {
      constraints.push_back({ConstraintMeta::Kind::kForeignKey, key.from, "", key.table,
                             toKey ? std::vector<std::string>() : key.to});
    }
  }
  SortConstraints(constraints);
  return true;
}

}  // namespace Corvenmark
