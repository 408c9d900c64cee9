#include "ocr/image_normalizer.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "ocr_test_images.h"

namespace orvane::ocr {
namespace {

using testing::ByteImage;
using testing::FillRect;
using testing::Pixel;

std::uint8_t At(const OcrMatrix& m, int row, int col) { return m.data[static_cast<std::size_t>(row) * m.cols + col]; }

TEST(LinearNormalizer, SinglePixelFillsTheGridAtMeanValue) {
  OcrMatrixPtr image = ByteImage(30, 40);
  Pixel(*image, 10, 20) = 200;
  OcrMatrixPtr out = CLinearNormalizerImp().Normalize(*image);
  ASSERT_NE(out, nullptr);
  ASSERT_EQ(out->rows, 64);
  ASSERT_EQ(out->cols, 64);
  EXPECT_EQ(out->data, std::vector<std::uint8_t>(64 * 64, 128));
  EXPECT_EQ(Pixel(*image, 10, 20), 200);  // input untouched
}

TEST(LinearNormalizer, TallBoxIsSquaredAroundItsCentreWithBlackOutside) {
  // Block at columns 1..4, rows 2..11: the square spans columns -2..7, two of them outside.
  OcrMatrixPtr image = ByteImage(14, 9);
  FillRect(*image, 2, 1, 10, 4, 100);
  OcrMatrixPtr out = CLinearNormalizerImp().Normalize(*image);
  ASSERT_NE(out, nullptr);

  cv::Mat square(10, 10, CV_8UC1, cv::Scalar(0));
  square(cv::Rect(3, 0, 4, 10)).setTo(100);
  cv::Mat expected;
  cv::resize(square, expected, cv::Size(64, 64), 0, 0, cv::INTER_LINEAR);
  double sum = 0;
  int count = 0;
  for (int i = 0; i < 64 * 64; ++i) {
    if (expected.data[i] >= 5) {
      sum += expected.data[i];
      ++count;
    }
  }
  for (int i = 0; i < 64 * 64; ++i) {
    const int scaled = std::min(255, static_cast<int>(expected.data[i] * 128.0 / (sum / count)));
    ASSERT_EQ(out->data[i], scaled) << "pixel " << i;
  }
  // The block sits in the middle of the grid.
  EXPECT_EQ(At(*out, 32, 0), 0);
  EXPECT_EQ(At(*out, 32, 63), 0);
  EXPECT_GT(At(*out, 32, 31), 0);
}

TEST(LinearNormalizer, BrightPixelsSaturateInsteadOfWrapping) {
  OcrMatrixPtr image = ByteImage(1, 2);
  Pixel(*image, 0, 0) = 255;
  Pixel(*image, 0, 1) = 10;
  OcrMatrixPtr out = CLinearNormalizerImp().Normalize(*image);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(At(*out, 0, 0), 255);
}

TEST(LinearNormalizer, NoInkOrFaintInkIsNotDividedByZero) {
  OcrMatrixPtr empty = CLinearNormalizerImp().Normalize(*ByteImage(5, 5));
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->data, std::vector<std::uint8_t>(64 * 64, 0));

  OcrMatrixPtr faint = ByteImage(5, 5);
  Pixel(*faint, 2, 2) = 3;  // under the mean's threshold of 5 everywhere after resizing
  OcrMatrixPtr out = CLinearNormalizerImp().Normalize(*faint);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(out->data, std::vector<std::uint8_t>(64 * 64, 3));
}

TEST(Normalizers, RejectRecordsThatAreNotByteImages) {
  OcrMatrixPtr doubles = CreateOcrMatrix(kOcrDouble, 4, 4);
  for (const char* name : {"LN", "BI", "B2"}) {
    EXPECT_EQ(CreateImageNormalizer(name)->Normalize(*doubles), nullptr) << name;
  }
}

TEST(NormalizerFactory, ChoosesByTheFirstTwoCharactersInAnyCase) {
  EXPECT_NE(dynamic_cast<CLinearNormalizerImp*>(CreateImageNormalizer("ln-whatever").get()), nullptr);
  EXPECT_NE(dynamic_cast<CLinearNormalizerImp*>(CreateImageNormalizer("LN").get()), nullptr);
  auto bi = CreateImageNormalizer("Bi");
  EXPECT_NE(dynamic_cast<CBiMomentNormalizerImp*>(bi.get()), nullptr);
  EXPECT_EQ(dynamic_cast<CB2MomentNormalizerImp*>(bi.get()), nullptr);
  EXPECT_NE(dynamic_cast<CB2MomentNormalizerImp*>(CreateImageNormalizer("b2").get()), nullptr);
  EXPECT_EQ(CreateImageNormalizer("L"), nullptr);
  EXPECT_EQ(CreateImageNormalizer("XN"), nullptr);
}

}  // namespace
}  // namespace orvane::ocr

namespace orvane::ocr {
namespace {

struct InkExtent {
  int rows = 0, cols = 0;
  double centreColumn = 0;
};

InkExtent Extent(const OcrMatrix& m) {
  int top = 64, bottom = -1, left = 64, right = -1;
  double weighted = 0, total = 0;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      const int v = m.data[y * 64 + x];
      if (v == 0) continue;
      top = std::min(top, y), bottom = std::max(bottom, y), left = std::min(left, x), right = std::max(right, x);
      weighted += (x + 0.5) * v;
      total += v;
    }
  return {bottom - top + 1, right - left + 1, total > 0 ? weighted / total : -1};
}

TEST(MomentNormalizers, B2StretchesModestBoxesPerAxisAndSquaresLongOnes) {
  // A solid 26 x 17 block gives a moment box of about 30 x 20: B2 fills the grid both ways, BI
  // keeps the aspect.
  OcrMatrixPtr modest = testing::ByteImage(40, 50);
  testing::FillRect(*modest, 10, 10, 17, 26, 255);
  const InkExtent b2 = Extent(*CB2MomentNormalizerImp().Normalize(*modest));
  const InkExtent bi = Extent(*CBiMomentNormalizerImp().Normalize(*modest));
  EXPECT_GE(b2.rows, 50);
  EXPECT_GE(b2.cols, 50);
  EXPECT_LT(bi.rows, b2.rows - 10);
  EXPECT_NEAR(bi.cols, b2.cols, 1);

  // 43 x 17 gives about 50 x 20: more than twice as wide, so B2 squares it like BI.
  OcrMatrixPtr elongated = testing::ByteImage(40, 70);
  testing::FillRect(*elongated, 10, 10, 17, 43, 255);
  EXPECT_EQ(CB2MomentNormalizerImp().Normalize(*elongated)->data, CBiMomentNormalizerImp().Normalize(*elongated)->data);
}

TEST(MomentNormalizers, CentroidIsPulledTowardsTheMiddle) {
  // Ink heavier on the left: a wedge whose columns shrink from 30 to 16 pixels.
  OcrMatrixPtr wedge = testing::ByteImage(40, 40);
  for (int x = 5; x < 35; ++x) testing::FillRect(*wedge, 5, x, 30 - (x - 5) / 2, 1, 255);
  const double linear = Extent(*CLinearNormalizerImp().Normalize(*wedge)).centreColumn;
  ASSERT_LT(linear, 30.0);
  for (const char* name : {"BI", "B2"}) {
    OcrMatrixPtr out = CreateImageNormalizer(name)->Normalize(*wedge);
    ASSERT_NE(out, nullptr) << name;
    const double centre = Extent(*out).centreColumn;
    EXPECT_GT(centre, linear + 0.5) << name;
    EXPECT_LT(centre, 32.0) << name;
  }
}

TEST(MomentNormalizers, BothAxesAreTreatedAlike) {
  // A cross symmetric about its diagonal comes out symmetric about the grid's diagonal.
  OcrMatrixPtr cross = testing::ByteImage(31, 31);
  testing::FillRect(*cross, 5, 13, 21, 5, 255);
  testing::FillRect(*cross, 13, 5, 5, 21, 255);
  testing::FillRect(*cross, 3, 3, 4, 4, 90);  // off-centre, so that a swapped axis shows
  for (const char* name : {"BI", "B2"}) {
    OcrMatrixPtr out = CreateImageNormalizer(name)->Normalize(*cross);
    ASSERT_NE(out, nullptr) << name;
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 64; ++x) {
        // Float sums taken in another order may truncate one apart.
        ASSERT_NEAR(out->data[y * 64 + x], out->data[x * 64 + y], 1) << name << " " << y << "," << x;
      }
    EXPECT_GT(out->data[32 * 64 + 32], 0) << name;
  }
}

TEST(MomentNormalizers, DegenerateAndLargeInputsStayWellFormed) {
  struct Case { const char* what; OcrMatrixPtr image; };
  Case cases[] = {
      {"single pixel", testing::ByteImage(9, 9)},
      {"one-pixel vertical stroke", testing::ByteImage(30, 30)},
      {"no ink", testing::ByteImage(5, 5)},
  };
  testing::Pixel(*cases[0].image, 4, 4) = 200;
  testing::FillRect(*cases[1].image, 3, 12, 20, 1, 255);
  for (Case& c : cases) {
    for (const char* name : {"BI", "B2"}) {
      OcrMatrixPtr out = CreateImageNormalizer(name)->Normalize(*c.image);
      ASSERT_NE(out, nullptr) << c.what << " " << name;
      ASSERT_EQ(out->data.size(), 64u * 64u);
      const bool anyInk = std::any_of(out->data.begin(), out->data.end(), [](std::uint8_t v) { return v != 0; });
      EXPECT_EQ(anyInk, std::string(c.what) != "no ink") << c.what << " " << name;
    }
  }
  // Many input pixels pile into each cell of a large picture: full ink saturates, never wraps.
  OcrMatrixPtr large = testing::ByteImage(260, 260);
  testing::FillRect(*large, 30, 30, 200, 200, 255);
  OcrMatrixPtr out = CBiMomentNormalizerImp().Normalize(*large);
  EXPECT_EQ(out->data[32 * 64 + 32], 255);
}

}  // namespace
}  // namespace orvane::ocr
