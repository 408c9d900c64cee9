#include <gtest/gtest.h>

#include <cmath>

#include "ocr/feature_extractor.h"
#include "ocr/image_processor.h"
#include "ocr_test_images.h"

namespace orvane::ocr {
namespace {

using testing::Drawing;
using testing::Pixel;

std::vector<std::int32_t> Ints(const OcrMatrix& m) {
  return {m.As<std::int32_t>(), m.As<std::int32_t>() + m.Count()};
}

// The flagged-pixel counts of one 64-zone plane of an 8 x 8 image, where each pixel is a zone.
std::vector<std::int32_t> Plane(const OcrMatrix& m, int plane) {
  std::vector<std::int32_t> all = Ints(m);
  return {all.begin() + plane * 64, all.begin() + plane * 64 + 64};
}

std::vector<std::int32_t> Zones(std::initializer_list<std::pair<int, int>> pixels) {
  std::vector<std::int32_t> zones(64, 0);
  for (auto [r, c] : pixels) ++zones[r * 8 + c];
  return zones;
}

TEST(CrossLineFeatures, OnlyRunsOfThreeOrMoreAreCountedPerDirection) {
  OcrMatrixPtr image = Drawing({
      "###.##..",
      "........",
      ".......#",
      "...#...#",
      "..#....#",
      ".#......",
      "........",
      "#.......",
  });
  auto extractor = CreateFeatureExtractor("crossline");
  ASSERT_NE(extractor, nullptr);
  OcrMatrixPtr f = extractor->Extract(*image, 0);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->type, kOcrInt32);
  EXPECT_EQ(f->rows, 64);
  EXPECT_EQ(f->cols, 4);
  EXPECT_EQ(Plane(*f, 0), Zones({{0, 0}, {0, 1}, {0, 2}}));
  EXPECT_EQ(Plane(*f, 1), Zones({{2, 7}, {3, 7}, {4, 7}}));
  EXPECT_EQ(Plane(*f, 2), Zones({{3, 3}, {4, 2}, {5, 1}}));  // rising towards the upper right
  EXPECT_EQ(Plane(*f, 3), Zones({}));
}

TEST(StrokePosFeatures, RunPositionsAreInkWeightedFromBothEnds) {
  OcrMatrixPtr image = testing::ByteImage(2, 8);
  Pixel(*image, 0, 2) = 60;
  Pixel(*image, 0, 3) = 180;
  Pixel(*image, 0, 6) = 50;
  OcrMatrixPtr f = CreateFeatureExtractor("StrokePosX")->Extract(*image, 0);
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(f->cols, 4 * 8 + 4 * 2);
  const float* v = f->As<float>();
  // Row 0: left to right 2.75 and 6; right to left (indices from the right edge) 1 and 4.25.
  EXPECT_FLOAT_EQ(v[0], 2.75f);
  EXPECT_FLOAT_EQ(v[1], 6.0f);
  EXPECT_FLOAT_EQ(v[2], 1.0f);
  EXPECT_FLOAT_EQ(v[3], 4.25f);
  // Row 1 has no ink: every position is the line length - 1.
  for (int i = 4; i < 8; ++i) EXPECT_FLOAT_EQ(v[i], 7.0f);
  // Column 2 (one run at row 0): first run 0 from the top, 1 from the bottom; no second run.
  const float* column2 = v + 8 + 2 * 4;
  EXPECT_FLOAT_EQ(column2[0], 0.0f);
  EXPECT_FLOAT_EQ(column2[1], 1.0f);
  EXPECT_FLOAT_EQ(column2[2], 1.0f);
  EXPECT_FLOAT_EQ(column2[3], 1.0f);
}

TEST(PeripheralFeatures, DistancesFromEachEdgeToTheFirstAndSecondInk) {
  OcrMatrixPtr image = Drawing({
      "........", "........", "........", "..#..#..", "........", "........", "........", "........",
  });
  OcrMatrixPtr f = CreateFeatureExtractor("PPF")->Extract(*image, 0);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->rows, 2);
  EXPECT_EQ(f->cols, 32);
  const std::vector<std::int32_t> layer1 = {
      8, 8, 8, 2, 8, 8, 8, 8,  // from the left, per row
      8, 8, 4, 8, 8, 4, 8, 8,  // from the bottom, per column
      8, 8, 8, 2, 8, 8, 8, 8,  // from the right
      8, 8, 3, 8, 8, 3, 8, 8,  // from the top
  };
  std::vector<std::int32_t> layer2(32, 0);
  layer2[3] = 2;
  layer2[16 + 3] = 2;
  std::vector<std::int32_t> expected = layer1;
  expected.insert(expected.end(), layer2.begin(), layer2.end());
  EXPECT_EQ(Ints(*f), expected);
}

TEST(LinePixelFeatures, LongestOrientationAndACloseSecondAreFlagged) {
  struct Case {
    const char* what;
    OcrMatrixPtr image;
    std::vector<std::int32_t> horizontal, vertical;
  };
  Case cases[] = {
      // The junction of a T has a horizontal line of 5 and a vertical one of 4: both flagged.
      {"T junction",
       Drawing({"...#....", "...#....", "...#....", ".#####..", "........", "........", "........", "........"}),
       Zones({{3, 1}, {3, 2}, {3, 3}, {3, 4}, {3, 5}}), Zones({{0, 3}, {1, 3}, {2, 3}, {3, 3}})},
      // The centre of a cross has two lines of 5: only the first orientation counts.
      {"cross",
       Drawing({"........", "...#....", "...#....", ".#####..", "...#....", "...#....", "........", "........"}),
       Zones({{3, 1}, {3, 2}, {3, 3}, {3, 4}, {3, 5}}), Zones({{1, 3}, {2, 3}, {4, 3}, {5, 3}})},
      // Lines shorter than 3 are not counted at all.
      {"short strokes",
       Drawing({"##......", "........", "....#...", "....#...", "........", "........", "........", "........"}),
       Zones({}), Zones({})},
  };
  for (Case& c : cases) {
    OcrMatrixPtr f = CreateFeatureExtractor("CCF")->Extract(*c.image, 0);
    ASSERT_NE(f, nullptr) << c.what;
    EXPECT_EQ(f->rows, 4) << c.what;
    EXPECT_EQ(Plane(*f, 0), c.horizontal) << c.what;
    EXPECT_EQ(Plane(*f, 1), c.vertical) << c.what;
    EXPECT_EQ(Plane(*f, 2), Zones({})) << c.what;
    EXPECT_EQ(Plane(*f, 3), Zones({})) << c.what;
  }
}

TEST(ImageProcessor, RunsAndLongestLine) {
  BinaryImage image(5, 5);
  for (int c = 0; c < 5; ++c) image.At(2, c) = 1;
  image.At(1, 1) = 1;
  CImageProcessor processor;
  EXPECT_EQ(processor.RunLength(image, 2, 1, 1), 3);  // right
  EXPECT_EQ(processor.RunLength(image, 2, 1, 5), 1);  // left
  EXPECT_EQ(processor.RunLength(image, 2, 1, 7), 1);  // up
  EXPECT_EQ(processor.RunLength(image, 2, 1, 3), 0);  // down
  EXPECT_EQ(processor.LongestLine(image, 2, 1), 4);
}

TEST(ImageProcessor, CleaningRemovesAShortSpurOnly) {
  // A one-pixel spur above a line: its longest line (1) is shorter than its neighbour's (4).
  BinaryImage image(5, 7);
  for (int c = 1; c < 6; ++c) image.At(3, c) = 1;
  image.At(2, 3) = 1;
  CImageProcessor processor;
  processor.CleanEndPoints(image);
  EXPECT_FALSE(image.Ink(2, 3));
  for (int c = 1; c < 6; ++c) EXPECT_TRUE(image.Ink(3, c)) << c;
}

}  // namespace
}  // namespace orvane::ocr

namespace orvane::ocr {
namespace {

TEST(FeatureExtractors, PicturesOfOddSizesStayInsideTheirZones) {
  // Sides below 8 have blocks of no pixels, sides like 70 leave a remainder past the last block:
  // both must land in the outer zones, never past the record.
  const char* names[] = {"GRA", "CrossLine", "PPF", "CCF", "StrokePos", "HVH", "GAB", "GBF", "None"};
  for (auto [rows, cols] : {std::pair{3, 5}, std::pair{70, 70}, std::pair{9, 66}}) {
    OcrMatrixPtr image = testing::ByteImage(rows, cols, 0);
    testing::FillRect(*image, rows / 4, 1, rows - rows / 4, cols - 1, 255);
    for (const char* name : names) {
      OcrMatrixPtr f = CreateFeatureExtractor(name)->Extract(*image, 0);
      ASSERT_NE(f, nullptr) << name << " " << rows << "x" << cols;
      double total = 0;
      for (std::size_t i = 0; i < f->Count(); ++i) total += std::fabs(f->ValueAt(i));
      EXPECT_GT(total, 0.0) << name << " " << rows << "x" << cols;
    }
  }
}

}  // namespace
}  // namespace orvane::ocr
