#include "app/helpers/string_and_file_pro.h"

#include <gtest/gtest.h>
#include <langinfo.h>

#include <clocale>
#include <string>

namespace {

using Pro = CStringAndFilePro;

constexpr unsigned kAnsi = static_cast<unsigned>(-1);
const char kGbkChinese[] = "\xD6\xD0\xCE\xC4";  // "中文" in GBK

struct NarrowCase {
  const wchar_t* text;
  unsigned codePage;
  int code;
  std::string bytes;
};

class WideToNarrow : public ::testing::TestWithParam<NarrowCase> {};

TEST_P(WideToNarrow, GivesCodeAndBytes) {
  const NarrowCase& c = GetParam();
  char out[32];
  EXPECT_EQ(Pro::ConvertWChar2Char(c.text, out, sizeof out, c.codePage), c.code);
  EXPECT_EQ(std::string(out), c.bytes);
}

const wchar_t kSurrogate[] = {L'x', static_cast<wchar_t>(0xD800), 0};
const wchar_t kBeyondUnicode[] = {static_cast<wchar_t>(0x110000), 0};

INSTANTIATE_TEST_SUITE_P(CodePages, WideToNarrow, ::testing::Values(
    NarrowCase{L"中文", 936, 0, kGbkChinese},
    NarrowCase{L"中文", 950, 0, "\xA4\xA4\xA4\xE5"},
    NarrowCase{L"中文", 65001, 0, "中文"},
    NarrowCase{L"中文", 0, 0, "中文"},
    NarrowCase{L"中文", kAnsi, 0, "中文"},
    NarrowCase{L"", 936, 0, ""},
    // A lone replacement character survives; two in a row are taken as damage but kept.
    NarrowCase{L"a\uFFFD", 65001, 0, "a\xEF\xBF\xBD"},
    NarrowCase{L"\uFFFD\uFFFD", 65001, 4, "\xEF\xBF\xBD\xEF\xBF\xBD"},
    // Text that does not come back empties the output.
    NarrowCase{L"A\U0001F600", 936, 4, ""},
    NarrowCase{kSurrogate, 65001, 4, ""},
    NarrowCase{kBeyondUnicode, 65001, 4, ""}));

TEST(WideToNarrowBuffer, NeedsRoomForTheTerminator) {
  char out[8] = "xxxxxxx";
  EXPECT_EQ(Pro::ConvertWChar2Char(L"中文", out, 4, 936), 1);
  EXPECT_STREQ(out, "xxxxxxx");
  EXPECT_EQ(Pro::ConvertWChar2Char(L"中文", out, 5, 936), 0);
  EXPECT_STREQ(out, kGbkChinese);
}

TEST(WideToNarrowBuffer, RefusesBadArguments) {
  char out[8];
  EXPECT_EQ(Pro::ConvertWChar2Char(L"a", out, sizeof out, 1252), 1);
  EXPECT_EQ(Pro::ConvertWChar2Char(nullptr, out, sizeof out, 65001), 1);
  EXPECT_EQ(Pro::ConvertWChar2Char(L"a", nullptr, sizeof out, 65001), 1);
  EXPECT_EQ(Pro::ConvertWChar2Char(L"a", out, -1, 65001), 1);
}

TEST(NarrowToWide, DecodesEachCodePage) {
  wchar_t out[8];
  ASSERT_EQ(Pro::ConvertChar2WChar(kGbkChinese, out, 8, 936), 0);
  EXPECT_STREQ(out, L"中文");
  ASSERT_EQ(Pro::ConvertChar2WChar("中文", out, 8, kAnsi), 0);
  EXPECT_STREQ(out, L"中文");
  ASSERT_EQ(Pro::ConvertChar2WChar("a\xFF", out, 8, 65001), 0);
  EXPECT_STREQ(out, L"a\uFFFD");
}

TEST(NarrowToWide, RespectsTheBufferAndRefusesBadArguments) {
  wchar_t out[4] = L"xxx";
  EXPECT_EQ(Pro::ConvertChar2WChar("abc", out, 3, 65001), 1);
  EXPECT_STREQ(out, L"xxx");
  EXPECT_EQ(Pro::ConvertChar2WChar("abc", out, 4, 65001), 0);
  EXPECT_STREQ(out, L"abc");
  EXPECT_EQ(Pro::ConvertChar2WChar("a", out, 4, 437), 1);
  EXPECT_EQ(Pro::ConvertChar2WChar(nullptr, out, 4, 65001), 1);
}

TEST(CodePageToCodePage, GbkAndUtf8BothWays) {
  char out[16];
  ASSERT_TRUE(Pro::GBK2UTF8(kGbkChinese, out, sizeof out));
  EXPECT_STREQ(out, "中文");
  ASSERT_TRUE(Pro::UTF82GBK("中文", out, sizeof out));
  EXPECT_STREQ(out, kGbkChinese);
  // What GBK cannot hold becomes "?".
  ASSERT_TRUE(Pro::UTF82GBK("a\U0001F600", out, sizeof out));
  EXPECT_STREQ(out, "a?");
}

TEST(CodePageToCodePage, RespectsTheBuffer) {
  char out[8] = "xxxxxxx";
  EXPECT_FALSE(Pro::GBK2UTF8(kGbkChinese, out, 6));  // needs 7
  EXPECT_FALSE(Pro::UTF82GBK("中文", out, 4));       // needs 5
  EXPECT_STREQ(out, "xxxxxxx");
  EXPECT_TRUE(Pro::GBK2UTF8(kGbkChinese, out, 7));
  EXPECT_FALSE(Pro::GBK2UTF8(nullptr, out, 7));
}

TEST(CodePageToCodePage, ConvertsBetweenNumberedPages) {
  char gbk[] = "\xD6\xD0\xCE\xC4";
  char out[16];
  ASSERT_TRUE(Pro::ConvertACP(gbk, out, sizeof out, 936, 950));
  EXPECT_STREQ(out, "\xA4\xA4\xA4\xE5");
  ASSERT_TRUE(Pro::ConvertACP(gbk, out, sizeof out, 936, kAnsi));
  EXPECT_STREQ(out, "中文");
  EXPECT_FALSE(Pro::ConvertACP(gbk, out, sizeof out, 936, 1252));
  EXPECT_FALSE(Pro::ConvertACP(gbk, out, 4, 936, 950));
}

TEST(CheckAcp, FindsUtf8OrNothing) {
  char ascii[] = "plain text";
  char chinese[] = "中文";
  char gbk[] = "\xD6\xD0\xCE\xC4";
  EXPECT_EQ(Pro::CheckACP(ascii), 65001);
  EXPECT_EQ(Pro::CheckACP(chinese), 65001);
  EXPECT_EQ(Pro::CheckACP(gbk), -1);
  EXPECT_EQ(Pro::CheckACP(nullptr), -1);
}

struct TextKindCase {
  const char* text;
  bool ascii;
  bool utf8;
  bool gbk;
};

class TextKind : public ::testing::TestWithParam<TextKindCase> {};

TEST_P(TextKind, IsRecognised) {
  const TextKindCase& c = GetParam();
  EXPECT_EQ(Pro::IsASCII(c.text), c.ascii);
  EXPECT_EQ(Pro::is_str_utf8(c.text), c.utf8);
  EXPECT_EQ(Pro::IsGBK(c.text), c.gbk);
}

INSTANTIATE_TEST_SUITE_P(Texts, TextKind, ::testing::Values(
    TextKindCase{nullptr, false, false, false},
    TextKindCase{"", true, false, false},
    TextKindCase{"plain 123", true, true, true},
    TextKindCase{"中文", false, true, false},
    TextKindCase{"smile \U0001F600", false, true, false},
    TextKindCase{kGbkChinese, false, false, true},
    TextKindCase{"ab\xD6\xD0" "cd", false, false, true},
    TextKindCase{"\xD6", false, false, false},              // GBK pair left open
    TextKindCase{"\xD6\x7F", false, false, false},          // no GBK trail byte
    TextKindCase{"\xE4\xB8", false, false, true},           // UTF-8 left open, yet a GBK pair
    // Not UTF-8 (a stray continuation byte, a surrogate's UTF-8 form), yet valid GBK, where
    // 0x80 is the euro sign.
    TextKindCase{"a\x80", false, false, true},
    TextKindCase{"\xED\xA0\x80", false, false, true}));

TEST(LocaleCharset, FollowsTheLocale) {
  std::string previous = std::setlocale(LC_CTYPE, nullptr);
  ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
  EXPECT_STREQ(locale_charset(), "UTF-8");
  std::setlocale(LC_CTYPE, "C");
  EXPECT_STREQ(locale_charset(), "ANSI_X3.4-1968");
  std::setlocale(LC_CTYPE, previous.c_str());
}

}  // namespace
