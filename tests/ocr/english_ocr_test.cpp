#include "ocr/english_ocr.h"

#include <QFont>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <fstream>

#include <gtest/gtest.h>

#include "imaging/gui_application.h"
#include "temp_folder.h"

namespace orvane::ocr {
namespace {

// Black text in a sans-serif face on white paper, as a 300 DPI scan of 12-point type shows it.
cv::Mat EnglishPage(const std::vector<QString>& lines) {
  imaging::testing::EnsureGuiApplication();
  QImage page(1200, 120 + 70 * static_cast<int>(lines.size()), QImage::Format_Grayscale8);
  page.fill(Qt::white);
  QPainter painter(&page);
  QFont font(QStringLiteral("Liberation Sans"));
  font.setPixelSize(42);
  painter.setFont(font);
  painter.setPen(Qt::black);
  int y = 100;
  for (const QString& line : lines) {
    painter.drawText(60, y, line);
    y += 70;
  }
  painter.end();
  cv::Mat grey(page.height(), page.width(), CV_8UC1);
  for (int r = 0; r < page.height(); ++r) std::copy_n(page.constScanLine(r), page.width(), grey.ptr(r));
  return grey;
}

TEST(RecognizeEnglish, TheWordsOfARenderedPageComeBack) {
  const cv::Mat page = EnglishPage({"The quick brown fox jumps", "over the lazy dog."});
  const std::optional<std::string> text = RecognizeEnglish(page(cv::Rect(0, 0, 1100, page.rows)), {});
  ASSERT_TRUE(text.has_value());
  for (const char* word : {"quick", "brown", "fox", "jumps", "lazy", "dog"}) {
    EXPECT_NE(text->find(word), std::string::npos) << word << " not in: " << *text;
  }
  EXPECT_LT(text->find("fox"), text->find("lazy"));
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
