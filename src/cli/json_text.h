#ifndef CORVENMARK_JSON_TEXT_H_
#define CORVENMARK_JSON_TEXT_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "engines/engine.h"

namespace Corvenmark {

/// Appends `text` as a JSON string: the quote, the backslash and every control character
/// escaped, and each byte that is not part of well-formed UTF-8 written as U+FFFD, so that every
/// strict JSON reader takes the output.
void AppendJsonString(std::string& out, std::string_view text);

/// Appends a cell as the JSON value of its kind: null; an integer or a decimal as a number with
/// every digit it has; a real as the shortest number that reads back to the same double, or as
/// the string "NaN", "Infinity" or "-Infinity", which no JSON number can be; a boolean as true or
/// false; anything else as a string of its text.
void AppendJsonValue(std::string& out, const CellView& cell);

/// Appends a 64-bit integer as a JSON number.
void AppendJsonNumber(std::string& out, int64_t value);

}  // namespace Corvenmark

#endif  // CORVENMARK_JSON_TEXT_H_
