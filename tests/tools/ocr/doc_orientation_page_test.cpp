#include "ocr/doc_orientation.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "ocr/engine_features.h"
#include "rendered_page.h"

namespace orvane::ocrtools {
namespace {

class SmallTemplateOrientation : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_FALSE(testing::SmallPageTemplate().empty()); }

  // Three lines of the template's characters, every eleventh class.
  static cv::Mat Page(int firstClass) {
    const std::vector<TemplateClass> classes = TemplateClasses();
    std::vector<std::u32string> lines(3);
    int k = firstClass;
    for (auto& line : lines)
      for (int i = 0; i < 8; ++i, k += 11) line += classes[k % testing::kPageClassCount].codePoint;
    GlyphRenderer renderer(testing::kPageFont);
    return testing::TypesetPage(renderer, lines, {});
  }

};

// A page turned counter-clockwise by t needs a counter-clockwise turn of 360 - t to stand upright.
TEST_F(SmallTemplateOrientation, APageTurnedByEachQuarterIsFound) {
  ocr::CDocOrientation detector;
  ASSERT_TRUE(detector.Initialize(testing::SmallPageTemplate()));
  for (int first : {0, 5}) {
    cv::Mat upright = Page(first);
    if (first == 5) upright.convertTo(upright, -1, 0.75);  // grey paper, as a camera sees it
    cv::Mat bgr;
    cv::cvtColor(upright, bgr, cv::COLOR_GRAY2BGR);
    const struct {
      cv::Mat picture;
      int angle;
    } cases[] = {{bgr, 0},
                 {ocr::RotateMat90CCW(upright), 270},
                 {ocr::RotateMat180(bgr), 180},
                 {ocr::RotateMat90CW(upright), 90}};
    for (const auto& c : cases) {
      int angle = -1;
      EXPECT_TRUE(detector.DetectOrientation(c.picture, &angle, false));
      EXPECT_EQ(angle, c.angle) << "page from class " << first;
    }
  }
}

TEST_F(SmallTemplateOrientation, APageWithoutCharacterSizedBlobsIsUndecided) {
  ocr::CDocOrientation detector;
  ASSERT_TRUE(detector.Initialize(testing::SmallPageTemplate()));
  cv::Mat page(300, 300, CV_8UC1, cv::Scalar(255));
  cv::line(page, {40, 150}, {280, 150}, cv::Scalar(0), 3);  // a rule: far from square
  int angle = -1;
  EXPECT_FALSE(detector.DetectOrientation(page, &angle, false));
  EXPECT_EQ(angle, 0);
}

}  // namespace
}  // namespace orvane::ocrtools
