#include "platform/utf8_decoder.h"

namespace Corvenmark {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

void Append(char32_t codePoint, std::u16string& out) {
  if (codePoint < 0x10000) {
    out += static_cast<char16_t>(codePoint);
    return;
  }
  codePoint -= 0x10000;
  out += static_cast<char16_t>(0xD800 + (codePoint >> 10));
  out += static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF));
}

}  // namespace

void Utf8Decoder::Reset() {
  codePoint_ = 0;
  bytesNeeded_ = 0;
  bytesSeen_ = 0;
  lowest_ = 0x80;
  highest_ = 0xBF;
}

// The narrowed range after a lead byte rules out overlong forms, UTF-16 surrogates and code
// points beyond U+10FFFF as soon as their second byte arrives.
void Utf8Decoder::Begin(unsigned char byte, std::u16string& out) {
  if (byte < 0x80) {
    out += static_cast<char16_t>(byte);
  } else if (byte >= 0xC2 && byte <= 0xDF) {
    bytesNeeded_ = 1;
    codePoint_ = byte & 0x1F;
  } else if (byte >= 0xE0 && byte <= 0xEF) {
    if (byte == 0xE0) lowest_ = 0xA0;
    if (byte == 0xED) highest_ = 0x9F;
    bytesNeeded_ = 2;
    codePoint_ = byte & 0x0F;
  } else if (byte >= 0xF0 && byte <= 0xF4) {
    if (byte == 0xF0) lowest_ = 0x90;
    if (byte == 0xF4) highest_ = 0x8F;
    bytesNeeded_ = 3;
    codePoint_ = byte & 0x07;
  } else {
    out += kReplacement;
  }
}

void Utf8Decoder::Decode(std::string_view bytes, std::u16string& out) {
  size_t i = 0;
  while (i < bytes.size()) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (bytesNeeded_ == 0) {
      Begin(byte, out);
      ++i;
    } else if (byte < lowest_ || byte > highest_) {
      // The sequence so far is one bad character; this byte, read again, may start the next.
      Reset();
      out += kReplacement;
    } else {
      lowest_ = 0x80;
      highest_ = 0xBF;
      codePoint_ = (codePoint_ << 6) | (byte & 0x3F);
      if (++bytesSeen_ == bytesNeeded_) {
        Append(codePoint_, out);
        Reset();
      }
      ++i;
    }
  }
}

void Utf8Decoder::Finish(std::u16string& out) {
  if (bytesNeeded_ != 0) out += kReplacement;
  Reset();
}

}  // namespace Corvenmark
