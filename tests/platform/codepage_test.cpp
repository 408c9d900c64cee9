#include "platform/codepage.h"

#include <gtest/gtest.h>

namespace orvane::platform {
namespace {

TEST(CodePage, GbkRoundTripOfChinese) {
  auto gbk = ConvertText("中文", kUtf8Charset, kGbkCharset);
  ASSERT_TRUE(gbk);
  EXPECT_EQ(*gbk, "\xD6\xD0\xCE\xC4");
  EXPECT_EQ(ConvertText(*gbk, kGbkCharset, kUtf8Charset), "中文");
}

TEST(CodePage, Big5IsKnown) {
  auto big5 = ConvertText("中文", kUtf8Charset, kBig5Charset);
  ASSERT_TRUE(big5);
  EXPECT_EQ(*big5, "\xA4\xA4\xA4\xE5");
}

TEST(CodePage, InvalidBytesDecodeToReplacementCharacters) {
  auto text = DecodeText("a\xFF" "b\xC3", kUtf8Charset);
  ASSERT_TRUE(text);
  EXPECT_EQ(*text, U"a\uFFFDb\uFFFD");
}

TEST(CodePage, UnmappableCodePointsBecomeQuestionMarks) {
  auto encoded = EncodeText(U"A\U0001F600\u4E2D", kGbkCharset);
  ASSERT_TRUE(encoded);
  EXPECT_EQ(encoded->bytes, "A?\xD6\xD0");
  EXPECT_TRUE(encoded->lossy);

  auto clean = EncodeText(U"A\u4E2D", kGbkCharset);
  ASSERT_TRUE(clean);
  EXPECT_FALSE(clean->lossy);
}

TEST(CodePage, SurrogateBecomesReplacementCharacterInUtf8) {
  auto encoded = EncodeText(std::u32string{U'x', char32_t{0xD800}}, kUtf8Charset);
  ASSERT_TRUE(encoded);
  EXPECT_EQ(encoded->bytes, "x\xEF\xBF\xBD");
  EXPECT_TRUE(encoded->lossy);
}

TEST(CodePage, StrictConversionRefusesWhatItCannotHold) {
  EXPECT_FALSE(ConvertText("\U0001F600", kUtf8Charset, kGbkCharset));
  EXPECT_FALSE(ConvertText("\xFF", kUtf8Charset, kGbkCharset));
  EXPECT_FALSE(ConvertText("x", "NO-SUCH-CHARSET", kUtf8Charset));
  EXPECT_EQ(ConvertText("", kUtf8Charset, kGbkCharset), "");
}

}  // namespace
}  // namespace orvane::platform
