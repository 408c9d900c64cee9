#include "app/helpers/string_and_file_pro.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Pro = CStringAndFilePro;

std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

struct NumberCase {
  std::string text;
  bool number;
};

class Number : public ::testing::TestWithParam<NumberCase> {};

TEST_P(Number, BothFormsAgree) {
  const NumberCase& c = GetParam();
  EXPECT_EQ(Pro::IsNumber(c.text.c_str()), c.number);
  EXPECT_EQ(Pro::IsNumber(Widen(c.text).c_str()), c.number);
}

INSTANTIATE_TEST_SUITE_P(Texts, Number, ::testing::Values(
    NumberCase{"", true}, NumberCase{"0", true}, NumberCase{"0123456789", true},
    NumberCase{"-12", true}, NumberCase{"+7", true},
    NumberCase{"-", false}, NumberCase{"+", false}, NumberCase{"1-2", false}, NumberCase{"12-", false},
    NumberCase{"--1", false}, NumberCase{" 1", false}, NumberCase{"1.5", false}, NumberCase{"12a", false}));

struct LettersCase {
  std::string text;
  std::string allowed;
  bool letters;
};

class Letters : public ::testing::TestWithParam<LettersCase> {};

TEST_P(Letters, BothFormsAgree) {
  const LettersCase& c = GetParam();
  EXPECT_EQ(Pro::IsLetters(c.text.c_str(), c.allowed.c_str()), c.letters);
  EXPECT_EQ(Pro::IsLetters(Widen(c.text).c_str(), Widen(c.allowed).c_str()), c.letters);
}

INSTANTIATE_TEST_SUITE_P(Texts, Letters, ::testing::Values(
    LettersCase{"", "", true}, LettersCase{"AZaz", "", true},
    LettersCase{"ab1", "", false}, LettersCase{"ab1", "01", true},
    LettersCase{"a_b-c", "_-", true}, LettersCase{"a b", "_", false},
    LettersCase{"@[`{", "", false}));  // the neighbours of A-Z and a-z

TEST(Letters, NonAsciiLettersAreNotLetters) {
  EXPECT_FALSE(Pro::IsLetters(L"caf\u00E9", L""));
  EXPECT_TRUE(Pro::IsLetters(L"caf\u00E9", L"\u00E9"));
  EXPECT_FALSE(Pro::IsLetters("caf\xC3\xA9", ""));
}

TEST(TextTests, RefuseNullTexts) {
  EXPECT_FALSE(Pro::IsNumber(static_cast<const char*>(nullptr)));
  EXPECT_FALSE(Pro::IsNumber(static_cast<const wchar_t*>(nullptr)));
  EXPECT_FALSE(Pro::IsLetters(static_cast<const char*>(nullptr), ""));
  EXPECT_FALSE(Pro::IsLetters("abc", static_cast<const char*>(nullptr)));
}

}  // namespace
