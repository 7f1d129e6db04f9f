#ifndef CORVENMARK_TYPE_FAMILY_H_
#define CORVENMARK_TYPE_FAMILY_H_

#include <string>

#include "engines/engine.h"

namespace Corvenmark {

/// The family of a column type as a SQLite table declares it, by the first rule that matches
/// the declared type, ignoring ASCII case. The first four are SQLite's own rules for a
/// column's affinity; the rest divide SQLite's numeric affinity by the names other databases
/// give their types:
///   1. contains INT: integer (so also INTERVAL and POINT, as in SQLite)
///   2. contains CHAR, CLOB or TEXT: text
///   3. contains BLOB, or no type at all: blob
///   4. contains REAL, FLOA or DOUB: floating point
///   5. contains DEC or NUMERIC: decimal
///   6. contains BOOL: boolean
///   7. contains TIMESTAMP or DATETIME: timestamp
///   8. contains DATE: date
///   9. contains TIME: time
///  10. contains UUID: uuid
///  11. anything else: other
TypeFamily SqliteTypeFamily(const std::string& declaredType);

/// The family of a column type as DuckDB names it (INTEGER, DECIMAL(12,2), VARCHAR[],
/// STRUCT(k INTEGER)): lists, arrays, structs, maps and unions are nested; every other type by
/// its name before any parenthesis, from a table of DuckDB's types; a type not in the table,
/// such as an ENUM, BIT or a user-defined type, is other.
TypeFamily DuckDbTypeFamily(const std::string& typeName);

}  // namespace Corvenmark

#endif  // CORVENMARK_TYPE_FAMILY_H_
