#include "ocr/glyph_renderer.h"

#include <gtest/gtest.h>

namespace orvane::ocrtools {
namespace {

const FontFace kZenHei{"/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc", "WenQuanYi Zen Hei"};

TEST(GlyphRenderer, DrawsInkBrightWithABackgroundBorder) {
  GlyphRenderer renderer(kZenHei);
  ASSERT_TRUE(renderer.HasGlyph(U'中'));
  const cv::Mat picture = renderer.Render(U'中', 32);
  ASSERT_EQ(picture.type(), CV_8UC1);
  EXPECT_GT(picture.rows, 20);
  EXPECT_LT(picture.rows, 48);
  double maximum = 0;
  cv::minMaxLoc(picture, nullptr, &maximum);
  EXPECT_EQ(maximum, 255);
  EXPECT_EQ(cv::countNonZero(picture.row(0)) + cv::countNonZero(picture.col(0)), 0);
}

TEST(GlyphRenderer, EmboldeningWidensAndThinningNarrowsStrokes) {
  GlyphRenderer renderer(kZenHei);
  const int thin = cv::countNonZero(renderer.Render(U'国', 40, 0, -1.5) > 127);
  const int plain = cv::countNonZero(renderer.Render(U'国', 40) > 127);
  const int bold = cv::countNonZero(renderer.Render(U'国', 40, 0, 1.5) > 127);
  EXPECT_LT(thin, plain);
  EXPECT_LT(plain, bold);
}

TEST(GlyphRenderer, TurnsTheCharacter) {
  GlyphRenderer renderer(kZenHei);
  // "一" is a wide bar; turned by 90 degrees it stands upright.
  const cv::Mat flat = renderer.Render(U'一', 40);
  const cv::Mat upright = renderer.Render(U'一', 40, 90);
  EXPECT_GT(flat.cols, 2 * flat.rows);
  EXPECT_GT(upright.rows, 2 * upright.cols);
}

TEST(GlyphRenderer, NoInkNoPictureAndUnknownFontsThrow) {
  GlyphRenderer renderer(kZenHei);
  EXPECT_TRUE(renderer.Render(U' ', 32).empty());
  EXPECT_TRUE(renderer.Render(U'中', 0).empty());
  EXPECT_THROW(GlyphRenderer({"/nonexistent/font.ttf", ""}), std::runtime_error);
  EXPECT_THROW(GlyphRenderer({kZenHei.file, "No Such Family"}), std::runtime_error);
}

}  // namespace
}  // namespace orvane::ocrtools
