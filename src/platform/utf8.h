#ifndef CORVENMARK_UTF8_H_
#define CORVENMARK_UTF8_H_

#include <cstddef>
#include <string_view>

namespace Corvenmark {

/// The length of the well-formed UTF-8 sequence that starts `text` at `at`: 1 to 4, or 0 when
/// the bytes there are not UTF-8 (a stray continuation byte, an overlong form, a surrogate, a
/// code point beyond U+10FFFF, or a sequence cut short).
inline size_t Utf8SequenceLength(std::string_view text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const unsigned char first = byte(0);
  if (first < 0x80) return 1;
  size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (first >= 0xC2 && first <= 0xDF) {
    length = 2;
  } else if (first >= 0xE0 && first <= 0xEF) {
    length = 3;
    if (first == 0xE0) low = 0xA0;
    if (first == 0xED) high = 0x9F;
  } else if (first >= 0xF0 && first <= 0xF4) {
    length = 4;
    if (first == 0xF0) low = 0x90;
    if (first == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() - at < length) return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

/// True when `text` is well-formed UTF-8 without a NUL character.
inline bool IsUtf8WithoutNul(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const size_t length = Utf8SequenceLength(text, i);
    if (length == 0 || text[i] == '\0') return false;
    i += length;
  }
  return true;
}

}  // namespace Corvenmark

#endif  // CORVENMARK_UTF8_H_
