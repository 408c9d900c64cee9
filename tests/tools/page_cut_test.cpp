// The page-cut check's desk photographs and its scores, and one run of the check itself.
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "desk_photos.h"

namespace orvane::pagecut {
namespace {

const cv::Size kSmall(1040, 780);

TEST(DeskPhotos, EveryFifthHasTwoPagesAndEveryPageLiesInside) {
  for (int index = 0; index < 5; ++index) {
    SCOPED_TRACE(index);
    const DeskPhoto photo = MakeDeskPhoto(index, 3, kSmall);
    ASSERT_EQ(photo.picture.size(), kSmall);
    ASSERT_EQ(photo.picture.type(), CV_8UC3);
    ASSERT_EQ(photo.pages.size(), index == 4 ? 2u : 1u);
    for (const DeskPage& page : photo.pages) {
      for (const cv::Point2f& corner : page.corners)
        EXPECT_TRUE(cv::Rect2f(0, 0, kSmall.width, kSmall.height).contains(corner)) << corner;
      // The page is lighter than the desk beside it.
      const cv::Point2f centre = (page.corners[0] + page.corners[2]) * 0.5f;
      const cv::Point2f beyond = page.corners[0] + (page.corners[0] - centre) * 0.05f;
      const cv::Point2f within = page.corners[0] + (centre - page.corners[0]) * 0.05f;
      const auto brightness = [&](cv::Point2f p) { return cv::sum(photo.picture.at<cv::Vec3b>(p))[0]; };
      if (cv::Rect(cv::Point(), kSmall).contains(beyond)) {
        EXPECT_GT(brightness(within), brightness(beyond));
      }
    }
    if (photo.pages.size() == 2) {
      EXPECT_EQ(Jaccard(photo.pages[0].corners, photo.pages[1].corners), 0);
    }
  }
  const DeskPhoto again = MakeDeskPhoto(2, 3, kSmall);
  EXPECT_EQ(cv::norm(again.picture, MakeDeskPhoto(2, 3, kSmall).picture, cv::NORM_INF), 0);
}

TEST(DeskPhotos, JaccardOfQuadrilaterals) {
  const Quad square = {cv::Point2f(0, 0), {10, 0}, {10, 10}, {0, 10}};
  const Quad shifted = {cv::Point2f(5, 0), {15, 0}, {15, 10}, {5, 10}};
  const Quad apart = {cv::Point2f(20, 0), {30, 0}, {30, 10}, {20, 10}};
  EXPECT_NEAR(Jaccard(square, square), 1, 1e-9);
  EXPECT_NEAR(Jaccard(square, shifted), 1.0 / 3, 1e-6);
  EXPECT_EQ(Jaccard(square, apart), 0);
  EXPECT_NEAR(BestJaccard(square, {apart, shifted}), 1.0 / 3, 1e-6);
  EXPECT_EQ(BestJaccard(square, {}), 0);
  EXPECT_NEAR(Jaccard(BoundsOfPages({{"A5", square}, {"A5", apart}}), {cv::Point2f(0, 0), {30, 0}, {30, 10}, {0, 10}}), 1,
              1e-6);
}

TEST(PageCutCheck, RunsOnOnePhotograph) {
  FILE* output = popen(ORVANE_PAGE_CUT_CHECK " --photos 1", "r");
  ASSERT_NE(output, nullptr);
  std::string text;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, output) != nullptr) text += buffer;
  EXPECT_EQ(pclose(output), 0);
  for (const char* mode : {"capture, one cut", "capture, every page, straightened", "live, every page", "OpenCV recipe"})
    EXPECT_NE(text.find(mode), std::string::npos) << mode << " in\n" << text;
}

}  // namespace
}  // namespace orvane::pagecut
