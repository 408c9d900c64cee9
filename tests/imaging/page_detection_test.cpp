#include "imaging/page_detection.h"

#include <algorithm>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "synthetic_pages.h"

namespace orvane::imaging {
namespace {

using testing::DeskWithSheets;
using testing::SheetCorners;

std::vector<cv::RotatedRect> Find(const cv::Mat& picture, float scale = kPageScale) {
  std::vector<cv::RotatedRect> regions;
  FindDocumentRegions(picture, kPageMedianAperture, kPageGradientAperture, scale, 0.01f,
                      kPageThresholdFactor, regions);
  return regions;
}

// Every corner of `expected` has a corner of `rect` within `tolerance` pixels.
void ExpectCorners(const cv::RotatedRect& rect, const std::vector<cv::Point>& expected,
                   double tolerance) {
  const auto polygon = RotatedRectPolygon(rect);
  for (const cv::Point& corner : expected) {
    double nearest = 1e9;
    for (int i = 0; i < 4; ++i) nearest = std::min(nearest, cv::norm(polygon[i] - corner));
    EXPECT_LT(nearest, tolerance) << "corner " << corner << " of " << rect.center << " "
                                  << rect.size << " " << rect.angle;
  }
}

double BrightShare(const cv::Mat& picture) {
  cv::Mat grey;
  cv::cvtColor(picture, grey, cv::COLOR_BGR2GRAY);
  return cv::countNonZero(grey > 200) / static_cast<double>(grey.total());
}

// The page finder's shrink must be OpenCV's bilinear resize to the bit, whole factors or not.
TEST(ShrinkForSearch, EqualsOpenCvsBilinearResize) {
  struct Case {
    cv::Size from, to;
    int type;
  };
  const Case cases[] = {
      {{2080, 1560}, {416, 312}, CV_8UC3},  // a fifth: sampled straight
      {{4160, 3120}, {416, 312}, CV_8UC3},  // a tenth: means of four
      {{1040, 780}, {416, 312}, CV_8UC3},   // two and a half: OpenCV's own
      {{99, 66}, {33, 22}, CV_8UC1},
      {{136, 68}, {34, 17}, CV_8UC1},
      {{130, 75}, {65, 37}, CV_8UC3},  // not a whole factor down the rows
  };
  cv::RNG rng(7);
  for (const Case& c : cases) {
    cv::Mat picture(c.from, c.type);
    rng.fill(picture, cv::RNG::UNIFORM, 0, 256);
    cv::Mat expected;
    cv::resize(picture, expected, c.to, 0, 0, cv::INTER_LINEAR);
    const cv::Mat shrunk = ShrinkForSearch(picture, c.to);
    ASSERT_EQ(shrunk.size(), c.to);
    EXPECT_EQ(cv::norm(shrunk, expected, cv::NORM_INF), 0) << c.from << " to " << c.to;
  }
}

// Fed a band of rows at a time, as a decoder gives them, the copy is the same to the bit.
TEST(SearchShrink, RowsTakenAsTheyComeGiveTheWholeShrink) {
  struct Case {
    cv::Size from, to;
    int band;
  };
  const Case cases[] = {
      {{2080, 1560}, {416, 312}, 16},  // odd factor
      {{4160, 3120}, {416, 312}, 7},   // even factor, bands that split its row pairs
      {{1040, 780}, {416, 312}, 16},   // not a whole factor: made at the end
  };
  cv::RNG rng(11);
  for (const Case& c : cases) {
    cv::Mat picture(c.from, CV_8UC3);
    rng.fill(picture, cv::RNG::UNIFORM, 0, 256);
    SearchShrink shrink(c.from, CV_8UC3, c.to);
    // Rows past the ones announced are not there yet: a shrink that read them would see zeros.
    cv::Mat arriving = cv::Mat::zeros(c.from, CV_8UC3);
    for (int rows = 0; rows < c.from.height;) {
      const int next = std::min(rows + c.band, c.from.height);
      picture.rowRange(rows, next).copyTo(arriving.rowRange(rows, next));
      rows = next;
      shrink.AddRows(arriving, rows);
    }
    EXPECT_EQ(cv::norm(shrink.Finish(arriving), ShrinkForSearch(picture, c.to), cv::NORM_INF), 0) << c.from;
  }
}

// Given its copy made already, the finder finds what it finds making the copy itself.
TEST(FindDocumentRegions, AGivenSearchCopyFindsTheSame) {
  const auto sheet = SheetCorners({400, 300}, {420, 300}, 20);
  const cv::Mat scene = DeskWithSheets({sheet});
  const cv::Size size = SearchSize(scene.size(), kPageScale);
  ASSERT_EQ(size, cv::Size(160, 120));
  std::vector<cv::RotatedRect> given;
  ASSERT_TRUE(FindDocumentRegions(scene, ShrinkForSearch(scene, size), kPageMedianAperture, kPageGradientAperture,
                                  kPageScale, 0.01f, kPageThresholdFactor, given));
  const auto found = Find(scene);
  ASSERT_EQ(given.size(), found.size());
  for (std::size_t i = 0; i < found.size(); ++i) {
    EXPECT_EQ(given[i].center, found[i].center);
    EXPECT_EQ(given[i].size, found[i].size);
    EXPECT_EQ(given[i].angle, found[i].angle);
  }
  EXPECT_TRUE(SearchSize({12, 9}, kPageScale).empty());
}

TEST(FindDocumentRegions, FindsATurnedPageAndCutsItUpright) {
  const auto sheet = SheetCorners({400, 300}, {420, 300}, 20);
  const cv::Mat scene = DeskWithSheets({sheet});
  const auto regions = Find(scene);
  ASSERT_EQ(regions.size(), 1u);
  EXPECT_GE(regions[0].angle, -90.0f);
  EXPECT_LE(regions[0].angle, 0.0f);
  ExpectCorners(regions[0], sheet, 20);

  const cv::Mat cut = CropRotatedRect(scene, regions[0]);
  ASSERT_FALSE(cut.empty());
  EXPECT_NEAR(std::max(cut.cols, cut.rows), 420, 20);
  EXPECT_NEAR(std::min(cut.cols, cut.rows), 300, 20);
  EXPECT_GT(cut.cols, cut.rows) << "a landscape sheet stays landscape";
  EXPECT_GT(BrightShare(cut), 0.93) << "upright cut of the sheet alone";
}

// Blobs of grain touch the page's edges; the rectangle fits the page's own edges, not them.
TEST(FindDocumentRegions, FitsThePageNotTheGrainTouchingIt) {
  const auto sheet = SheetCorners({800, 600}, {1000, 700}, 12);
  cv::Mat scene = testing::GrainyDesk({1600, 1200}, {sheet});
  testing::DrawSheet(scene, sheet);
  const auto regions = Find(scene);
  ASSERT_EQ(regions.size(), 1u);
  ExpectCorners(regions[0], sheet, 5);
}

// The card covers less than a thirtieth of the picture and grain touches both.
TEST(FindDocumentRegions, FindsACardBesideAPage) {
  const auto page = SheetCorners({600, 600}, {990, 700}, 8);
  const auto card = SheetCorners({1450, 420}, {300, 189}, -15);
  cv::Mat scene = testing::GrainyDesk({1800, 1200}, {page, card});
  testing::DrawSheet(scene, page);
  testing::DrawSheet(scene, card);
  const auto regions = Find(scene);
  ASSERT_EQ(regions.size(), 2u);
  for (const auto& sheet : {page, card}) {
    const cv::Point centre = (sheet[0] + sheet[2]) / 2;
    const auto found = std::find_if(regions.begin(), regions.end(), [&](const cv::RotatedRect& r) {
      return cv::norm(cv::Point2f(centre) - r.center) < 20;
    });
    ASSERT_NE(found, regions.end()) << centre;
    ExpectCorners(*found, sheet, 6);
  }
}

TEST(FindDocumentRegions, SeparatePagesApartOverlappingPagesAsOne) {
  const auto left = SheetCorners({200, 300}, {220, 300}, -10);
  const auto right = SheetCorners({590, 300}, {240, 320}, 8);
  EXPECT_EQ(Find(DeskWithSheets({left, right})).size(), 2u);

  const auto upper = SheetCorners({340, 260}, {300, 240}, 0);
  const auto lower = SheetCorners({440, 340}, {300, 240}, 12);
  const auto merged = Find(DeskWithSheets({upper, lower}));
  ASSERT_EQ(merged.size(), 1u);
  std::vector<cv::Point> both = upper;
  both.insert(both.end(), lower.begin(), lower.end());
  const cv::Rect round = cv::boundingRect(both);
  EXPECT_GT(merged[0].size.area(), 0.8 * round.area() * 0.75);
  EXPECT_TRUE(cv::Rect(0, 0, 800, 600).contains(cv::Point(merged[0].center)));
}

TEST(FindDocumentRegions, PagesRunningOffTheBorderAreFoundByTheSecondPass) {
  struct Case {
    const char* name;
    std::vector<cv::Point> sheet;
    cv::Rect visible;
  };
  const Case cases[] = {
      {"left edge", {{-120, 120}, {420, 120}, {420, 480}, {-120, 480}}, {0, 120, 420, 360}},
      {"top-left corner", {{-100, -100}, {520, -100}, {520, 420}, {-100, 420}}, {0, 0, 520, 420}},
      {"bottom-right corner", {{300, 200}, {900, 200}, {900, 700}, {300, 700}}, {300, 200, 500, 400}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto regions = Find(DeskWithSheets({c.sheet}));
    ASSERT_EQ(regions.size(), 1u);
    const cv::Rect found = cv::boundingRect(RotatedRectPolygon(regions[0]));
    const double overlap = (found & c.visible).area();
    EXPECT_GT(overlap / c.visible.area(), 0.85);
    EXPECT_GT(overlap / found.area(), 0.85);
  }
}

TEST(FindDocumentRegions, NothingOnAnEmptyDeskOrAnEmptyPicture) {
  std::vector<cv::RotatedRect> regions = {cv::RotatedRect()};
  EXPECT_FALSE(FindDocumentRegions(testing::TexturedDesk(), 9, 3, 0.2f, 0.01f, 8.0, regions));
  EXPECT_TRUE(regions.empty());
  EXPECT_FALSE(FindDocumentRegions(cv::Mat(), 9, 3, 0.2f, 0.01f, 8.0, regions));
  EXPECT_FALSE(FindDocumentRegions(cv::Mat(8, 8, CV_8UC3), 9, 3, 0.2f, 0.01f, 8.0, regions));
  EXPECT_FALSE(FindDocumentRegions(cv::Mat(20, 20, CV_8UC3, cv::Scalar::all(128)), 9, 3, 0.2f,
                                   0.01f, 8.0, regions));
  cv::RotatedRect untouched({1, 2}, {3, 4}, -5);
  EXPECT_FALSE(FindDocumentBounds(cv::Mat(), 9, 3, 0.2f, 0.01f, 8.0, untouched));
  EXPECT_EQ(untouched.center, cv::Point2f(1, 2));
}

TEST(FindDocumentRegions, ScalesBelowATenthAreRaisedToATenth) {
  const cv::Mat scene = DeskWithSheets({SheetCorners({400, 300}, {500, 380}, 15)});
  const auto tenth = Find(scene, 0.1f);
  const auto lower = Find(scene, 0.05f);
  ASSERT_EQ(tenth.size(), 1u);
  ASSERT_EQ(lower.size(), 1u);
  EXPECT_EQ(tenth[0].center, lower[0].center);
  EXPECT_EQ(tenth[0].size, lower[0].size);
}

TEST(FindDocumentBounds, EnclosesEveryPage) {
  const auto left = SheetCorners({200, 300}, {220, 300}, -10);
  const auto right = SheetCorners({590, 300}, {240, 320}, 8);
  cv::RotatedRect bounds;
  ASSERT_TRUE(FindDocumentBounds(DeskWithSheets({left, right}), 9, 3, 0.2f, 0.01f, 8.0, bounds));
  const auto polygon = RotatedRectPolygon(bounds);
  for (const auto& sheet : {left, right})
    for (const cv::Point& corner : sheet)
      EXPECT_GT(cv::pointPolygonTest(polygon, corner, true), -20) << corner;
}

// A grey picture with a black rectangle of `rect` carrying a bright marker at the far end of its
// width; the cut shows where the width went.
cv::Mat MarkedRectangle(const cv::RotatedRect& rect) {
  cv::Mat picture(300, 300, CV_8UC3, cv::Scalar::all(100));
  std::vector<cv::Point> corners(4);
  const auto polygon = RotatedRectPolygon(rect);
  std::copy(polygon.begin(), polygon.begin() + 4, corners.begin());
  cv::fillConvexPoly(picture, corners, cv::Scalar::all(0));
  const float w = rect.size.width;
  const cv::RotatedRect marker(RotatePointAboutCenter(rect, rect.center.x + w / 2 - 12, rect.center.y),
                               {12, 12}, rect.angle);
  const auto markerPolygon = RotatedRectPolygon(marker);
  cv::fillConvexPoly(picture, std::vector<cv::Point>(markerPolygon.begin(), markerPolygon.begin() + 4),
                     cv::Scalar::all(220));
  return picture;
}

TEST(WarpRotatedRect, TurnsByTheAngleAndAQuarterBeyond45Degrees) {
  enum class End { kTop, kBottom, kRight };
  struct Case {
    float angle;
    int rows;
    int cols;
    End marker;
  };
  const Case cases[] = {
      {60, 100, 50, End::kBottom},
      {-60, 100, 50, End::kTop},
      {30, 50, 100, End::kRight},
      {0, 50, 100, End::kRight},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.angle);
    const cv::RotatedRect rect({150, 150}, {100, 50}, c.angle);
    const cv::Mat cut = WarpRotatedRect(rect, MarkedRectangle(rect));
    ASSERT_EQ(cut.rows, c.rows);
    ASSERT_EQ(cut.cols, c.cols);
    cv::Mat grey;
    cv::cvtColor(cut, grey, cv::COLOR_BGR2GRAY);
    const cv::Moments m = cv::moments(grey > 150, true);
    ASSERT_GT(m.m00, 50);
    const cv::Point2f marker(m.m10 / m.m00, m.m01 / m.m00);
    switch (c.marker) {
      case End::kTop: EXPECT_LT(marker.y, 25); break;
      case End::kBottom: EXPECT_GT(marker.y, 75); break;
      case End::kRight: EXPECT_GT(marker.x, 75); break;
    }
    // Off the marker the cut is the black rectangle itself: no grey surroundings came in.
    EXPECT_GT(cv::countNonZero(grey < 40), 0.8 * grey.total());
  }
}

TEST(WarpRotatedRect, OutsideThePictureIsWhite) {
  const cv::Mat picture(100, 100, CV_8UC3, cv::Scalar::all(90));
  const cv::Mat cut = WarpRotatedRect(cv::RotatedRect({10, 10}, {60, 40}, 0), picture);
  ASSERT_EQ(cut.size(), cv::Size(60, 40));
  EXPECT_EQ(cut.at<cv::Vec3b>(0, 0), cv::Vec3b(255, 255, 255));
  EXPECT_EQ(cut.at<cv::Vec3b>(5, 25), cv::Vec3b(255, 255, 255));
  EXPECT_EQ(cut.at<cv::Vec3b>(15, 25), cv::Vec3b(90, 90, 90));
  EXPECT_EQ(cut.at<cv::Vec3b>(39, 59), cv::Vec3b(90, 90, 90));
  EXPECT_EQ(cv::countNonZero(cut.reshape(1) == 255), 3 * (60 * 40 - 40 * 30));
  EXPECT_TRUE(WarpRotatedRect(cv::RotatedRect({10, 10}, {60, 40}, 0), cv::Mat()).empty());
  EXPECT_TRUE(CropRotatedRect(picture, cv::RotatedRect({10, 10}, {0.5f, 40}, 0)).empty());
}

TEST(DetectAndCropDocument, MarginsShrinkOrGrowTheCut) {
  const cv::Mat scene = DeskWithSheets({SheetCorners({400, 300}, {420, 300}, 20)});
  cv::Mat plain;
  ASSERT_TRUE(DetectAndCropDocument(scene, 0, 8.0, 9, 3, 0.2f, 0.01f, plain));
  cv::Mat inner;
  ASSERT_TRUE(DetectAndCropDocument(scene, 10, 8.0, 9, 3, 0.2f, 0.01f, inner));
  EXPECT_EQ(inner.size(), plain.size() - cv::Size(20, 20));
  cv::Mat outer;
  ASSERT_TRUE(DetectAndCropDocument(scene, -5, 8.0, 9, 3, 0.2f, 0.01f, outer));
  EXPECT_NEAR(outer.cols, plain.cols + 10, 1);
  EXPECT_NEAR(outer.rows, plain.rows + 10, 1);

  cv::Mat untouched(2, 2, CV_8UC1, cv::Scalar(7));
  EXPECT_FALSE(DetectAndCropDocument(scene, 400, 8.0, 9, 3, 0.2f, 0.01f, untouched))
      << "a margin that swallows the page is no result";
  EXPECT_EQ(untouched.size(), cv::Size(2, 2));
  EXPECT_FALSE(DetectAndCropDocument(testing::TexturedDesk(), 0, 8.0, 9, 3, 0.2f, 0.01f, untouched));
}

TEST(CropRoiToVector, AppendsTheClampedPart) {
  cv::Mat picture(40, 100, CV_8UC1);
  for (int x = 0; x < picture.cols; ++x) picture.col(x).setTo(x);
  std::vector<cv::Mat> pictures;
  ASSERT_TRUE(CropRoiToVector(picture, -20, 5, 50, 100, pictures));
  ASSERT_EQ(pictures.size(), 1u);
  EXPECT_EQ(pictures[0].size(), cv::Size(30, 35));
  EXPECT_EQ(pictures[0].at<uchar>(0, 29), 29);
  EXPECT_FALSE(CropRoiToVector(picture, 100, 0, 10, 10, pictures));
  EXPECT_FALSE(CropRoiToVector(picture, -10, 0, 10, 10, pictures));
  EXPECT_FALSE(CropRoiToVector(cv::Mat(), 0, 0, 10, 10, pictures));
  EXPECT_EQ(pictures.size(), 1u);
}

TEST(FixRotatedRect, FallsBackToTheBoundsOnlyWhenACornerStraysFar) {
  const cv::Rect bounds(10, 10, 100, 50);
  const cv::RotatedRect near({60, 35}, {98, 48}, -3);
  EXPECT_EQ(FixRotatedRect(near, bounds).angle, -3);
  const cv::RotatedRect astray({60, 35}, {100, 50}, -40);
  const cv::RotatedRect fixed = FixRotatedRect(astray, bounds);
  EXPECT_EQ(fixed.angle, 0);
  EXPECT_EQ(fixed.center, cv::Point2f(60, 35));
  EXPECT_EQ(fixed.size, cv::Size2f(100, 50));
}

}  // namespace
}  // namespace orvane::imaging
