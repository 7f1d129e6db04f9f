#ifndef CORVENMARK_UTF8_DECODER_H_
#define CORVENMARK_UTF8_DECODER_H_

#include <string>
#include <string_view>

namespace Corvenmark {

/// Turns UTF-8 into UTF-16 as it arrives in pieces: a character cut in two between pieces is
/// written once its last byte has come. Bytes that are not UTF-8 become U+FFFD, one for each
/// longest start of a sequence that cannot go on, as Windows' own conversion writes them.
class Utf8Decoder {
 public:
  /// Appends to `out` every character that `bytes` completes.
  void Decode(std::string_view bytes, std::u16string& out);
  /// Ends the text: a character still waiting for bytes is written as U+FFFD.
  void Finish(std::u16string& out);

 private:
  /// Starts a character at a byte that is not a continuation of one.
  void Begin(unsigned char byte, std::u16string& out);
  void Reset();

  char32_t codePoint_ = 0;
  int bytesNeeded_ = 0;
  int bytesSeen_ = 0;
  unsigned char lowest_ = 0x80;  ///< The range the next continuation byte must be in.
  unsigned char highest_ = 0xBF;
};

}  // namespace Corvenmark

#endif  // CORVENMARK_UTF8_DECODER_H_
