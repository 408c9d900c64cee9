#include "ocr/class_list.h"

#include <set>

#include <gtest/gtest.h>

namespace orvane::ocrtools {
namespace {

std::string Gbk(unsigned char lead, unsigned char trail) {
  return {static_cast<char>(lead), static_cast<char>(trail)};
}

TEST(TemplateClasses, LevelOneThenPunctuationDigitsAndLetters) {
  const auto classes = TemplateClasses();
  ASSERT_GT(classes.size(), 3755u + 62u);
  EXPECT_EQ(classes.front().gbk, Gbk(0xB0, 0xA1));
  EXPECT_EQ(classes.front().codePoint, U'啊');
  EXPECT_EQ(classes[3754].gbk, Gbk(0xD7, 0xF9));
  EXPECT_EQ(classes[3754].codePoint, U'座');
  EXPECT_EQ(classes.back().codePoint, U'ｚ');
  EXPECT_EQ(classes[classes.size() - 62].codePoint, U'０');
}

TEST(TemplateClasses, EveryLabelIsOneDistinctTwoByteCode) {
  std::set<std::string> labels;
  std::set<char32_t> characters;
  for (const auto& cls : TemplateClasses()) {
    ASSERT_EQ(cls.gbk.size(), 2u);
    EXPECT_GE(static_cast<unsigned char>(cls.gbk[0]), 0xA1);
    labels.insert(cls.gbk);
    characters.insert(cls.codePoint);
  }
  EXPECT_EQ(labels.size(), TemplateClasses().size());
  EXPECT_EQ(characters.size(), TemplateClasses().size());
  EXPECT_TRUE(characters.count(U'，') && characters.count(U'。') && characters.count(U'《'));
}

}  // namespace
}  // namespace orvane::ocrtools
