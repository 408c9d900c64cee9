#include "ocr/ocr_matrix.h"

#include <gtest/gtest.h>

#include <climits>

namespace orvane::ocr {
namespace {

OcrMatrixPtr Doubles(int rows, int cols, std::initializer_list<double> values) {
  OcrMatrixPtr m = CreateOcrMatrix(kOcrDouble, rows, cols);
  std::copy(values.begin(), values.end(), m->As<double>());
  return m;
}

TEST(OcrMatrix, CreateZeroFillsAndSizesByType) {
  struct Case { int type; std::size_t bytes; };
  for (Case c : {Case{1, 6}, Case{2, 24}, Case{3, 24}, Case{4, 24}, Case{5, 48}, Case{9, 0}}) {
    OcrMatrixPtr m = CreateOcrMatrix(c.type, 2, 3);
    ASSERT_NE(m, nullptr) << c.type;
    EXPECT_EQ(m->data.size(), c.bytes) << c.type;
    for (auto byte : m->data) EXPECT_EQ(byte, 0);
  }
}

TEST(OcrMatrix, CreateRejectsNegativeAndOverflowingSizes) {
  EXPECT_EQ(CreateOcrMatrix(kOcrDouble, -1, 4), nullptr);
  EXPECT_EQ(CreateOcrMatrix(kOcrUInt8, 3, INT_MIN), nullptr);
  EXPECT_EQ(CreateOcrMatrix(kOcrDouble, INT_MAX, INT_MAX), nullptr);
}

TEST(OcrMatrix, ReleaseNullsThePointerAndToleratesNull) {
  OcrMatrixPtr m = CreateOcrMatrix(kOcrUInt8, 1, 1);
  ReleaseOcrMatrix(m);
  EXPECT_EQ(m, nullptr);
  ReleaseOcrMatrix(m);
}

TEST(OcrMatrix, ReshapeKeepsElementsAndRejectsNonDivisors) {
  OcrMatrixPtr m = CreateOcrMatrix(kOcrInt32, 2, 6);
  ASSERT_TRUE(ReshapeOcrMatrix(m.get(), 4));
  EXPECT_EQ(m->rows, 4);
  EXPECT_EQ(m->cols, 3);
  for (int n : {5, 0, -3}) {
    EXPECT_FALSE(ReshapeOcrMatrix(m.get(), n)) << n;
    EXPECT_EQ(m->rows, 4);
    EXPECT_EQ(m->cols, 3);
  }
}

TEST(OcrMatrix, ConvertToDoubleReadsEveryElementType) {
  OcrMatrixPtr bytes = CreateOcrMatrix(kOcrUInt8, 1, 2);
  bytes->data = {200, 7};
  OcrMatrixPtr ints = CreateOcrMatrix(kOcrInt32Alt, 2, 1);
  ints->As<std::int32_t>()[0] = -5;
  ints->As<std::int32_t>()[1] = 70000;
  OcrMatrixPtr floats = CreateOcrMatrix(kOcrFloat, 1, 1);
  floats->As<float>()[0] = 0.25f;
  ASSERT_TRUE(ConvertOcrMatrixToDouble(bytes));
  ASSERT_TRUE(ConvertOcrMatrixToDouble(ints));
  ASSERT_TRUE(ConvertOcrMatrixToDouble(floats));
  EXPECT_EQ(bytes->type, kOcrDouble);
  EXPECT_EQ(bytes->As<double>()[0], 200.0);
  EXPECT_EQ(bytes->As<double>()[1], 7.0);
  EXPECT_EQ(ints->rows, 2);
  EXPECT_EQ(ints->As<double>()[0], -5.0);
  EXPECT_EQ(ints->As<double>()[1], 70000.0);
  EXPECT_EQ(floats->As<double>()[0], 0.25);

  OcrMatrixPtr unknown = CreateOcrMatrix(8, 1, 1);
  ASSERT_TRUE(ConvertOcrMatrixToDouble(unknown));
  EXPECT_EQ(unknown->type, kOcrDouble);
  EXPECT_EQ(unknown->As<double>()[0], 0.0);
}

TEST(OcrMatrix, MultiplyChecksTypesAndShapes) {
  OcrMatrixPtr a = Doubles(2, 3, {1, 2, 3, 4, 5, 6});
  OcrMatrixPtr b = Doubles(3, 1, {1, 0, -1});
  OcrMatrixPtr product = MultiplyOcrMatrix(a.get(), b.get());
  ASSERT_NE(product, nullptr);
  EXPECT_EQ(product->rows, 2);
  EXPECT_EQ(product->cols, 1);
  EXPECT_EQ(product->As<double>()[0], -2.0);
  EXPECT_EQ(product->As<double>()[1], -2.0);

  OcrMatrixPtr wide = Doubles(3, 2, {1, 2, 0, 1, -1, 0});
  OcrMatrixPtr square = MultiplyOcrMatrix(a.get(), wide.get());
  ASSERT_NE(square, nullptr);
  EXPECT_EQ(square->rows, 2);
  EXPECT_EQ(square->cols, 2);
  EXPECT_EQ(std::vector<double>(square->As<double>(), square->As<double>() + 4), (std::vector<double>{-2, 4, -2, 13}));

  EXPECT_EQ(MultiplyOcrMatrix(b.get(), a.get()), nullptr);
  OcrMatrixPtr floats = CreateOcrMatrix(kOcrFloat, 3, 1);
  EXPECT_EQ(MultiplyOcrMatrix(a.get(), floats.get()), nullptr);
  EXPECT_EQ(MultiplyOcrMatrix(nullptr, b.get()), nullptr);
}

TEST(OcrMatrix, CopySubMatrixClearsTheDestinationAndCopiesTheBlock) {
  OcrMatrixPtr source = CreateOcrMatrix(kOcrUInt8, 3, 4);
  for (int i = 0; i < 12; ++i) source->data[i] = static_cast<std::uint8_t>(i + 1);
  OcrMatrixPtr destination = CreateOcrMatrix(kOcrUInt8, 3, 3);
  std::fill(destination->data.begin(), destination->data.end(), 99);
  ASSERT_TRUE(CopyOcrSubMatrix(source.get(), 1, 1, 2, 2, destination.get(), 1, 0));
  EXPECT_EQ(destination->data, (std::vector<std::uint8_t>{0, 6, 7, 0, 10, 11, 0, 0, 0}));
}

TEST(OcrMatrix, CopySubMatrixRejectsBlocksOutsideEitherRecord) {
  OcrMatrixPtr source = CreateOcrMatrix(kOcrUInt8, 3, 4);
  OcrMatrixPtr destination = CreateOcrMatrix(kOcrUInt8, 3, 3);
  destination->data.assign(9, 42);
  struct Case { int sx, sy, w, h, dx, dy; };
  for (Case c : {Case{0, 0, 4, 1, 0, 0}, Case{0, 0, 1, 4, 0, 0}, Case{0, 0, 2, 2, 2, 0},
                 Case{3, 0, 2, 1, 0, 0}, Case{0, 2, 1, 2, 0, 0}, Case{-1, 0, 1, 1, 0, 0},
                 Case{0, 0, 1, 1, 0, -1}, Case{0, 0, -1, 1, 0, 0}, Case{0, 0, 1, 1, INT_MAX, 0}}) {
    EXPECT_FALSE(CopyOcrSubMatrix(source.get(), c.sx, c.sy, c.w, c.h, destination.get(), c.dx, c.dy))
        << c.sx << "," << c.sy << " " << c.w << "x" << c.h << " -> " << c.dx << "," << c.dy;
  }
  EXPECT_EQ(destination->data, std::vector<std::uint8_t>(9, 42));
  OcrMatrixPtr ints = CreateOcrMatrix(kOcrInt32, 3, 3);
  EXPECT_FALSE(CopyOcrSubMatrix(ints.get(), 0, 0, 1, 1, destination.get(), 0, 0));
  EXPECT_FALSE(CopyOcrSubMatrix(source.get(), 0, 0, 1, 1, ints.get(), 0, 0));
}

}  // namespace
}  // namespace orvane::ocr
