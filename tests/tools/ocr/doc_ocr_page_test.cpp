#include "ocr/doc_ocr.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "ocr/class_list.h"
#include "ocr/engine_features.h"
#include "ocr/template_builder.h"
#include "rendered_page.h"

namespace orvane::ocrtools {
namespace {

using testing::kPageClassCount;
using testing::kPageFont;

class SmallTemplatePage : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_FALSE(testing::SmallPageTemplate().empty()); }

  // Lines of characters taken through the template's classes with a stride; `text` gets what
  // the recogniser should read.
  static std::vector<std::u32string> PageLines(int lines, int perLine, std::string* text = nullptr) {
    const std::vector<TemplateClass> classes = TemplateClasses();
    std::vector<std::u32string> out(lines);
    std::string expected;
    int k = 0;
    for (auto& line : out) {
      if (!expected.empty()) expected += "\r\n";
      for (int i = 0; i < perLine; ++i, k += 7) {
        line += classes[k % kPageClassCount].codePoint;
        expected += ocr::OcrLabelToUtf8(classes[k % kPageClassCount].gbk);
      }
    }
    if (text) *text = expected;
    return out;
  }

};

TEST_F(SmallTemplatePage, APageInTheTrainingFontReadsAsItsText) {
  ocr::CDocOCR ocr;
  ASSERT_TRUE(ocr.Initialize(testing::SmallPageTemplate()));
  GlyphRenderer renderer(kPageFont);
  std::string expected;
  const std::vector<std::u32string> lines = PageLines(3, 8, &expected);
  std::string text;
  std::vector<double> fractions;
  ASSERT_TRUE(ocr.Recognize(testing::TypesetPage(renderer, lines, {}), &text,
                            [&](double fraction, const char*) { return fractions.push_back(fraction), 0; }, false));
  EXPECT_EQ(text, expected);
  ASSERT_EQ(fractions.size(), 5u);
  EXPECT_NEAR(fractions[2], 0.05 + 0.95 / 3, 1e-12);
  EXPECT_DOUBLE_EQ(fractions.back(), 1.0);
}

// The same page as a camera gives it: paper at 200 under light falling off to one side, the ink
// taking only 35 % of the light, blurred so that thin strokes lie about 60 levels below the paper,
// with sensor noise. It must read as the page at full contrast does.
TEST_F(SmallTemplatePage, ACameraContrastPageReadsAsTheSamePageAtFullContrast) {
  ocr::CDocOCR ocr;
  ASSERT_TRUE(ocr.Initialize(testing::SmallPageTemplate()));
  GlyphRenderer renderer(kPageFont);
  std::string expected;
  const cv::Mat page = testing::TypesetPage(renderer, PageLines(3, 8, &expected), {});
  cv::Mat coverage;
  page.convertTo(coverage, CV_32F, -1.0 / 255, 1.0);
  cv::Mat light(page.size(), CV_32F);
  for (int c = 0; c < light.cols; ++c) light.col(c).setTo(215.0 - 30.0 * c / light.cols);
  cv::Mat camera = light.mul(1.0 - coverage * 0.35);
  cv::GaussianBlur(camera, camera, {0, 0}, 1.3);
  cv::Mat noise(camera.size(), CV_32F);
  cv::RNG(3).fill(noise, cv::RNG::NORMAL, 0.0, 3.0);
  camera += noise;
  camera.convertTo(camera, CV_8U);

  std::string full;
  std::string dim;
  ASSERT_TRUE(ocr.Recognize(page, &full, nullptr, false));
  ASSERT_TRUE(ocr.Recognize(camera, &dim, nullptr, false));
  EXPECT_EQ(full, expected);
  EXPECT_EQ(dim, full);
}

TEST_F(SmallTemplatePage, ACancelAtTheFirstCallEndsTheRun) {
  ocr::CDocOCR ocr;
  ASSERT_TRUE(ocr.Initialize(testing::SmallPageTemplate()));
  GlyphRenderer renderer(kPageFont);
  std::string text = "kept";
  std::vector<std::string> calls;
  EXPECT_FALSE(ocr.Recognize(testing::TypesetPage(renderer, PageLines(1, 4), {}), &text,
                             [&](double, const char* status) { return calls.push_back(status), 3; }, false));
  EXPECT_EQ(calls, std::vector<std::string>{"图像预处理"});
  EXPECT_EQ(text, "kept");
}

TEST_F(SmallTemplatePage, ABlankPageHasNoLines) {
  ocr::CDocOCR ocr;
  ASSERT_TRUE(ocr.Initialize(testing::SmallPageTemplate()));
  std::string text = "kept";
  EXPECT_FALSE(ocr.Recognize(cv::Mat(200, 300, CV_8UC3, cv::Scalar::all(255)), &text, nullptr, false));
  EXPECT_EQ(text, "");
}

// A form's look: lines of characters in a ruled box, a photograph beside them. Only the characters
// are read.
TEST_F(SmallTemplatePage, RulesAndPhotographsAreNotRead) {
  ocr::CDocOCR ocr;
  ASSERT_TRUE(ocr.Initialize(testing::SmallPageTemplate()));
  GlyphRenderer renderer(kPageFont);
  std::string expected;
  const cv::Mat text = testing::TypesetPage(renderer, PageLines(2, 6, &expected), {});
  cv::Mat page(text.rows + 80, text.cols + 260, CV_8UC1, cv::Scalar(255));
  text.copyTo(page(cv::Rect(20, 40, text.cols, text.rows)));
  cv::rectangle(page, cv::Rect(40, 50, text.cols - 40, text.rows - 20), cv::Scalar(0), 3);
  cv::Mat photo = page(cv::Rect(text.cols + 60, 30, 180, 220));
  for (int r = 0; r < photo.rows; ++r) photo.row(r).setTo(190 - r / 3);
  cv::ellipse(photo, {90, 90}, {45, 60}, 0, 0, 360, cv::Scalar(110), cv::FILLED);
  std::string read;
  ASSERT_TRUE(ocr.Recognize(page, &read, nullptr, false));
  EXPECT_EQ(read, expected);
}

}  // namespace
}  // namespace orvane::ocrtools

namespace orvane::ocrtools {
namespace {

// One blob 20 rows high gives a width limit of 24 columns. A column counts only with ink in the
// next column too, so a bar w wide makes a run of w - 1: 25 wide is cut (its weakest column, the
// leftmost of equals, goes), 24 wide is not.
TEST_F(SmallTemplatePage, ARunAsWideAsTheLimitIsCutAndANarrowerOneIsNot) {
  ocr::CDocOCR ocr;
  ASSERT_TRUE(ocr.Initialize(testing::SmallPageTemplate()));
  struct Case {
    int barWidth;
    int firstColumn;
  } cases[] = {{24, 10}, {25, 11}};
  for (const Case& c : cases) {
    // A line's blob is one pixel larger all round than its ink.
    cv::Mat line = cv::Mat::zeros(22, 60, CV_8UC1);
    line(cv::Rect(10, 1, c.barWidth, 20)).setTo(255);
    const auto candidates = ocr.SegmentLine(line, line);
    ASSERT_EQ(candidates.Count(), 1) << c.barWidth;
    EXPECT_EQ(candidates.Front().x, c.firstColumn) << c.barWidth;
    EXPECT_EQ(candidates.Front().width, 23) << c.barWidth;
    EXPECT_EQ(candidates.Front().height, 20) << c.barWidth;
  }
}

}  // namespace
}  // namespace orvane::ocrtools
