#include "imaging/watermark.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "gui_application.h"

namespace orvane::imaging {
namespace {

class Watermark : public ::testing::Test {
 protected:
  void SetUp() override { testing::EnsureGuiApplication(); }

  static WatermarkSpec Spec(int position, int transparency, int color = 0x0000FF,
                            int height = 40) {
    WatermarkSpec spec;
    spec.text = "Orvane 2026";
    spec.position = position;
    spec.transparency = transparency;
    spec.color = color;
    spec.fontHeight = height;
    return spec;
  }

  static cv::Rect ChangedBox(const cv::Mat& before, const cv::Mat& after) {
    cv::Mat changed;
    cv::absdiff(before, after, changed);
    if (changed.channels() == 3) cv::cvtColor(changed, changed, cv::COLOR_BGR2GRAY);
    std::vector<cv::Point> points;
    cv::findNonZero(changed, points);
    return points.empty() ? cv::Rect() : cv::boundingRect(points);
  }
};

TEST_F(Watermark, TransparencyBlendsTextColourAndPicture) {
  struct Case {
    int transparency;
    cv::Vec3b fullyCovered;  // red text over grey 100
  };
  const Case cases[] = {{0, {0, 0, 255}}, {50, {50, 50, 177}}};
  for (const Case& c : cases) {
    const cv::Mat before(120, 400, CV_8UC3, cv::Scalar::all(100));
    cv::Mat picture = before.clone();
    StampWatermark(picture, Spec(0, c.transparency));
    cv::Mat hits;
    cv::inRange(picture, cv::Scalar(c.fullyCovered), cv::Scalar(c.fullyCovered), hits);
    EXPECT_GT(cv::countNonZero(hits), 100) << c.transparency;
  }
  const cv::Mat before(120, 400, CV_8UC3, cv::Scalar::all(100));
  cv::Mat invisible = before.clone();
  StampWatermark(invisible, Spec(0, 100));
  EXPECT_EQ(ChangedBox(before, invisible), cv::Rect());
}

TEST_F(Watermark, EachPositionPutsTheTextCellInItsPlace) {
  const cv::Size size(500, 300);
  const cv::Rect centreBand(100, 100, 300, 100);
  for (int position = 0; position <= 4; ++position) {
    SCOPED_TRACE(position);
    const cv::Mat before(size, CV_8UC3, cv::Scalar::all(255));
    cv::Mat picture = before.clone();
    StampWatermark(picture, Spec(position, 0, 0x000000));
    const cv::Rect box = ChangedBox(before, picture);
    ASSERT_FALSE(box.empty());
    EXPECT_LE(box.height, 40) << "the text stays within its cell height";
    EXPECT_GE(box.height, 20);
    switch (position) {
      case 0: EXPECT_LT(box.x, 10); EXPECT_LT(box.y, 20); break;
      case 1: EXPECT_GT(box.br().x, size.width - 10); EXPECT_LT(box.y, 20); break;
      case 2: EXPECT_LT(box.x, 10); EXPECT_GT(box.br().y, size.height - 20); break;
      case 3: EXPECT_GT(box.br().x, size.width - 10); EXPECT_GT(box.br().y, size.height - 20); break;
      case 4: EXPECT_EQ(box & centreBand, box); break;
    }
  }
}

TEST_F(Watermark, TextInTheKeyGreyStillShows) {
  const cv::Mat before(100, 400, CV_8UC3, cv::Scalar::all(255));
  cv::Mat picture = before.clone();
  StampWatermark(picture, Spec(0, 0, 0xA8A8A8));
  EXPECT_FALSE(ChangedBox(before, picture).empty());
}

TEST_F(Watermark, TooWideTextIsClippedAndGreyPicturesStayGrey) {
  const cv::Mat before(80, 60, CV_8UC1, cv::Scalar(255));
  cv::Mat picture = before.clone();
  StampWatermark(picture, Spec(1, 0, 0x0000FF));
  ASSERT_EQ(picture.type(), CV_8UC1);
  EXPECT_GT(cv::countNonZero(picture == 29), 20) << "red through the RGB-on-BGR grey";

  cv::Mat small(100, 100, CV_8UC3, cv::Scalar::all(255));
  EXPECT_NO_THROW(StampWatermark(small, Spec(4, 0, 0, 5000))) << "only the visible part is drawn";

  cv::Mat chinese(100, 300, CV_8UC3, cv::Scalar::all(255));
  WatermarkSpec spec = Spec(0, 0, 0);
  spec.text = "扫描文件";
  StampWatermark(chinese, spec);
  EXPECT_GT(cv::countNonZero(chinese.reshape(1) == 0), 50) << "CJK text falls back to a CJK face";
}

}  // namespace
}  // namespace orvane::imaging
