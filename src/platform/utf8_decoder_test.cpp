#include "platform/utf8_decoder.h"

#include <gtest/gtest.h>

#include <vector>

namespace Corvenmark {
namespace {

TEST(Utf8Decoder, DecodesTextSplitAnywhereAndReplacesWhatIsNotUtf8) {
  const struct {
    std::vector<std::string_view> pieces;
    std::u16string decoded;
  } cases[] = {
      {{"plain\r\n"}, u"plain\r\n"},
      {{"\xC3\x9Cn\xC3\xAF"}, u"Ün\u00EF"},
      {{"\xE5\x90", "\x8D\xE5", "\x89\x8D\xC3", "\x9F.db"}, u"名前ß.db"},
      {{"\xF0\x9F", "\x98", "\x80!"}, u"\U0001F600!"},
      {{"\xF4\x8F\xBF\xBF"}, u"\U0010FFFF"},
      {{"a\xFF", "b\x80"}, u"a\uFFFDb\uFFFD"},
      {{"\xE5\x90", "x"}, u"\uFFFDx"},
      {{"\xE5\x90", "\xC3\xBC"}, u"\uFFFD\u00FC"},
      {{"\xC0\xAF"}, u"\uFFFD\uFFFD"},  // an overlong '/'
      {{"\xE0\x80\xAF"}, u"\uFFFD\uFFFD\uFFFD"},
      {{"\xED\xA0\x80"}, u"\uFFFD\uFFFD\uFFFD"},            // a UTF-16 surrogate
      {{"\xF4\x90\x80\x80"}, u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // beyond U+10FFFF
      {{"\xF0\x9F\x98"}, u"\uFFFD"},                        // cut off at the end
      {{std::string_view("\0", 1)}, std::u16string(1, u'\0')},
  };
  for (const auto& c : cases) {
    Utf8Decoder decoder;
    std::u16string decoded;
    for (const std::string_view piece : c.pieces) decoder.Decode(piece, decoded);
    decoder.Finish(decoded);
    EXPECT_EQ(decoded, c.decoded) << c.pieces.front();
  }
}

TEST(Utf8Decoder, WaitsForTheRestOfACharacter) {
  Utf8Decoder decoder;
  std::u16string decoded;
  decoder.Decode("a\xE5\x90", decoded);
  EXPECT_EQ(decoded, u"a");
  decoder.Decode("\x8D", decoded);
  EXPECT_EQ(decoded, u"a名");
}

}  // namespace
}  // namespace Corvenmark
