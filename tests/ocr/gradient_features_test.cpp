#include <gtest/gtest.h>

#include <cmath>

#include "ocr/feature_extractor.h"
#include "ocr_test_images.h"

namespace orvane::ocr {
namespace {

using testing::ByteImage;
using testing::Pixel;

float Bin(const OcrMatrix& f, int rowBlock, int columnBlock, int direction) {
  return f.As<float>()[(rowBlock * 8 + columnBlock) * 8 + direction];
}

TEST(GradientFeatures, SinglePixelGivesEachNeighbourItsDirectionAndBlock) {
  // 8 x 8 image: one pixel per block. Ink of 50 is normalised to 200, so an edge-on neighbour
  // sees 2 x 200 and a diagonal one 200 along both axes.
  OcrMatrixPtr image = ByteImage(8, 8);
  Pixel(*image, 3, 3) = 50;
  OcrMatrixPtr f = CGradientFeatureExtractorImp().Extract(*image, 0);
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(f->type, kOcrFloat);
  ASSERT_EQ(f->rows, 1);
  ASSERT_EQ(f->cols, 512);

  const float diagonal = 200.0f * std::sqrt(2.0f);
  struct Case { int row, col, direction; float value; };
  const Case cases[] = {
      {3, 2, 0, 400}, {2, 2, 1, diagonal}, {2, 3, 2, 400}, {2, 4, 3, diagonal},
      {3, 4, 4, 400}, {4, 4, 5, diagonal}, {4, 3, 6, 400}, {4, 2, 7, diagonal},
  };
  float expectedTotal = 0;
  for (const Case& c : cases) {
    EXPECT_NEAR(Bin(*f, c.row, c.col, c.direction), c.value, 1e-2f) << c.row << "," << c.col;
    expectedTotal += c.value;
  }
  float total = 0;
  for (int i = 0; i < 512; ++i) total += f->As<float>()[i];
  EXPECT_NEAR(total, expectedTotal, 1e-2f);  // nothing anywhere else
}

TEST(GradientFeatures, AngleBetweenAxesIsSplitOntoBothNeighbours) {
  // Ink below and below-right of pixel (2,2): gx = 200, gy = 600, between directions 1 and 2.
  OcrMatrixPtr image = ByteImage(8, 8);
  Pixel(*image, 3, 2) = 9;
  Pixel(*image, 3, 3) = 9;
  OcrMatrixPtr f = CGradientFeatureExtractorImp().Extract(*image, 0);
  ASSERT_NE(f, nullptr);
  const double gx = 200, gy = 600, step = M_PI / 4;
  const double g = std::hypot(gx, gy), theta = std::atan2(gy, gx), t = 2 * step - theta;
  EXPECT_NEAR(Bin(*f, 2, 2, 1), g * std::sin(t) / std::sin(step), 1e-2);
  EXPECT_NEAR(Bin(*f, 2, 2, 2), g * std::sin(step - t) / std::sin(step), 1e-2);
}

TEST(GradientFeatures, BlockWeightsAreLinearInsideAndWholeAtTheOuterHalfBlock) {
  // 64 x 64, blocks of 8: a pixel at row 11 lies at a = 1.4375 between block centres 0.5 and 1.5.
  OcrMatrixPtr image = ByteImage(64, 64);
  Pixel(*image, 12, 1) = 255;  // its upper neighbour (row 11, column 1) sees a pure downward edge
  OcrMatrixPtr f = CGradientFeatureExtractorImp().Extract(*image, 0);
  ASSERT_NE(f, nullptr);
  const float value = 400.0f;  // 2 x 200 from the ink below
  // Column 1: b = 0.1875, within the outer half block, so all of it goes to column block 0.
  EXPECT_NEAR(Bin(*f, 0, 0, 2), value * (1.5f - 1.4375f), 1e-2f);
  EXPECT_NEAR(Bin(*f, 1, 0, 2), value * (1.4375f - 0.5f), 1e-2f);
  EXPECT_EQ(Bin(*f, 0, 1, 2), 0.0f);
}

TEST(GradientFeatures, AngleThatRoundsUpToAFullTurnStaysInTheLastSector) {
  // At pixel (3,3) the rows above and below cancel up to float rounding: gy is about -3e-5 against
  // gx of about 1310, and theta + 2 pi rounds to 2 pi itself. The share belongs to direction 0 of
  // the pixel's own block, not to the next block.
  OcrMatrixPtr image = ByteImage(8, 8);
  Pixel(*image, 2, 2) = 6;
  Pixel(*image, 2, 4) = 255;
  Pixel(*image, 3, 4) = 255;
  Pixel(*image, 4, 3) = 3;
  Pixel(*image, 4, 4) = 255;
  OcrMatrixPtr f = CGradientFeatureExtractorImp().Extract(*image, 0);
  ASSERT_NE(f, nullptr);
  EXPECT_NEAR(Bin(*f, 3, 3, 0), 1310.08f, 0.05f);
  EXPECT_NEAR(Bin(*f, 3, 3, 7), 0.0f, 0.05f);
}

TEST(GradientFeatures, ImageSidesThatAreNotMultiplesOfEightStayInsideTheHistogram) {
  OcrMatrixPtr image = ByteImage(70, 5, 0);
  Pixel(*image, 68, 4) = 255;
  OcrMatrixPtr f = CGradientFeatureExtractorImp().Extract(*image, 0);
  ASSERT_NE(f, nullptr);
  float lastRowBlock = 0;
  for (int c = 0; c < 8; ++c)
    for (int d = 0; d < 8; ++d) lastRowBlock += Bin(*f, 7, c, d);
  EXPECT_GT(lastRowBlock, 0.0f);
}

TEST(FeatureExtractors, NoneReturnsAnExactCopy) {
  OcrMatrixPtr image = ByteImage(3, 5, 7);
  Pixel(*image, 1, 4) = 200;
  auto none = CreateFeatureExtractor("NONE");
  ASSERT_NE(none, nullptr);
  OcrMatrixPtr copy = none->Extract(*image, 0);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->type, kOcrUInt8);
  EXPECT_EQ(copy->rows, 3);
  EXPECT_EQ(copy->cols, 5);
  EXPECT_EQ(copy->data, image->data);
}

}  // namespace
}  // namespace orvane::ocr
