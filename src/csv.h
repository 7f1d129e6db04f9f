#ifndef CORVENMARK_CSV_H_
#define CORVENMARK_CSV_H_

#include <string>
#include <string_view>

namespace Corvenmark {

/// Appends one CSV field. A field that holds a comma, a double quote, a carriage return or a
/// line feed is enclosed in double quotes with its inner quotes doubled; any other field is
/// appended as it is.
void AppendCsvField(std::string& out, std::string_view field);

}  // namespace Corvenmark

#endif  // CORVENMARK_CSV_H_
