#ifndef CORVENMARK_SQLITE_CONSTRAINTS_H_
#define CORVENMARK_SQLITE_CONSTRAINTS_H_

#include <sqlite3.h>

#include <string>
#include <vector>

#include "engines/records.h"

namespace Corvenmark {

/// The expressions of the CHECK constraints in a CREATE TABLE statement, each as written between
/// its parentheses, in order. SQLite keeps them nowhere but in the statement.
std::vector<std::string> CheckExpressions(const std::string& createSql);

/// Fills `table.constraints` (of the main schema's table `table.ownName`) with its UNIQUE,
/// CHECK and FOREIGN KEY constraints.
bool ReadConstraints(sqlite3* db, TableMeta& table, std::string& error);

}  // namespace Corvenmark

#endif  // CORVENMARK_SQLITE_CONSTRAINTS_H_
