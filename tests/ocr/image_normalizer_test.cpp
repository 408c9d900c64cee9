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
