#include "ocr/english_ocr.h"

#include <fstream>

#include <gtest/gtest.h>

#include "ocr/english_page.h"
#include "temp_folder.h"

namespace orvane::ocr {
namespace {

using orvane::testing::EnglishPage;

TEST(RecognizeEnglish, TheWordsOfARenderedPageComeBack) {
  const cv::Mat page = EnglishPage({"The quick brown fox jumps", "over the lazy dog."});
  const std::optional<std::string> text = RecognizeEnglish(page(cv::Rect(0, 0, 1100, page.rows)), {});
  ASSERT_TRUE(text.has_value());
  for (const char* word : {"quick", "brown", "fox", "jumps", "lazy", "dog"}) {
    EXPECT_NE(text->find(word), std::string::npos) << word << " not in: " << *text;
  }
  EXPECT_LT(text->find("fox"), text->find("lazy"));
}

// The engine asks as it reads: a page read whole asks many times; a stop it is told ends the
// page at once, without a text.
TEST(RecognizeEnglish, TheEngineAsksWhetherToStopAndAStopEndsThePageWithoutText) {
  const cv::Mat page = orvane::testing::LongEnglishPage(4);
  for (const int stopAtAsk : {0, 5}) {
    SCOPED_TRACE(stopAtAsk);
    int asks = 0;
    const std::optional<std::string> text =
        RecognizeEnglish(page, {}, [&] { return ++asks >= stopAtAsk && stopAtAsk != 0; });
    if (stopAtAsk == 0) {
      ASSERT_TRUE(text.has_value());
      EXPECT_NE(text->find("camera"), std::string::npos) << *text;
      EXPECT_GE(asks, 4) << "asked as it reads, at least once a line";
    } else {
      EXPECT_FALSE(text.has_value());
      EXPECT_LE(asks, stopAtAsk + 1) << "no word read after the stop";
    }
  }
}

TEST(RecognizeEnglish, WithoutTheEnglishDataTheEngineDoesNotStart) {
  const orvane::testing::TempFolder empty;
  EXPECT_FALSE(RecognizeEnglish(EnglishPage({"text"}), empty.path()).has_value());
}

TEST(EnglishDataFolder, TheProgramFolderServesOnlyWhenItHoldsTheEnglishData) {
  const orvane::testing::TempFolder program;
  EXPECT_EQ(EnglishDataFolder(program.path()), std::filesystem::path());
  std::filesystem::create_directory(program / "tessdata");
  EXPECT_EQ(EnglishDataFolder(program.path()), std::filesystem::path());
  std::ofstream(program / "tessdata" / "eng.traineddata") << "data";
  EXPECT_EQ(EnglishDataFolder(program.path()), program / "tessdata");
}

}  // namespace
}  // namespace orvane::ocr
