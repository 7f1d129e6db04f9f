#ifndef CORVENMARK_SCHEMA_DIFF_H_
#define CORVENMARK_SCHEMA_DIFF_H_

#include <vector>

#include "corvenmark_engine.h"

namespace Corvenmark {

/// The structural difference between two lists of tables. Tables and columns are matched by
/// exact name; a column present in both differs when its declared type (compared byte for byte)
/// or its primary-key membership does. Tables are reported in name order, columns in the order
/// their table declares them.
SchemaDiff CompareSchemas(const std::vector<TableMeta>& first,
                          const std::vector<TableMeta>& second);

}  // namespace Corvenmark

#endif  // CORVENMARK_SCHEMA_DIFF_H_
