#include "ocr/distance_measurer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "ocr_test_images.h"

namespace orvane::ocr {
namespace {

using testing::DoubleVector;

double Distance(const char* name, const OcrMatrix& a, const OcrMatrix& b) {
  double d = -1;
  EXPECT_EQ(CreateDistanceMeasurer(name)->Measure(a, b, &d), 0) << name;
  return d;
}

TEST(DistanceMeasurers, GoldenValues) {
  const double h = std::sqrt(0.5);
  struct Case { const char* name; OcrMatrixPtr a, b; double expected; };
  Case cases[] = {
      {"L2", DoubleVector({1, 2, 3}), DoubleVector({1, 2, 3}), 0},
      {"L2", DoubleVector({0, 3}), DoubleVector({4, 0}), 25},
      {"City", DoubleVector({0, 3}), DoubleVector({4, 0}), 7},
      {"City", DoubleVector({-1, 2}), DoubleVector({1, -2}), 6},
      {"Cos", DoubleVector({h, h}), DoubleVector({h, h}), 0},
      {"Cos", DoubleVector({1, 0}), DoubleVector({0, 1}), 1},
  };
  for (Case& c : cases) {
    EXPECT_NEAR(Distance(c.name, *c.a, *c.b), c.expected, 1e-12) << c.name;
    // The coarse pass's row form: the same value for a block of rows.
    std::vector<double> rows(c.a->As<double>(), c.a->As<double>() + c.a->Count());
    rows.insert(rows.end(), rows.begin(), rows.end());
    double out[2] = {-1, -1};
    CreateDistanceMeasurer(c.name)->MeasureRows(rows.data(), 2, c.a->Count(), c.b->As<double>(), out);
    EXPECT_NEAR(out[0], c.expected, 1e-12) << c.name;
    EXPECT_NEAR(out[1], c.expected, 1e-12) << c.name;
    // And in floats, to float precision.
    const std::vector<float> floatRows(rows.begin(), rows.end());
    const std::vector<float> y(c.b->As<double>(), c.b->As<double>() + c.b->Count());
    out[0] = out[1] = -1;
    CreateDistanceMeasurer(c.name)->MeasureFloatRows(floatRows.data(), 2, y.size(), y.data(), out);
    EXPECT_NEAR(out[0], c.expected, 1e-6) << c.name;
    EXPECT_NEAR(out[1], c.expected, 1e-6) << c.name;
  }
}

TEST(DistanceMeasurers, MixedElementTypesAreEachReadInTheirOwnType) {
  OcrMatrixPtr bytes = CreateOcrMatrix(kOcrUInt8, 1, 3);
  bytes->data = {250, 0, 3};
  OcrMatrixPtr ints = CreateOcrMatrix(kOcrInt32, 1, 3);
  ints->As<std::int32_t>()[0] = -2;
  OcrMatrixPtr doubles = DoubleVector({0.5, 0, 1});
  EXPECT_DOUBLE_EQ(Distance("L2", *bytes, *doubles), 249.5 * 249.5 + 4);
  EXPECT_DOUBLE_EQ(Distance("City", *doubles, *bytes), 249.5 + 2);
  EXPECT_DOUBLE_EQ(Distance("City", *ints, *bytes), 252 + 3);
  EXPECT_DOUBLE_EQ(Distance("Cos", *bytes, *doubles), 1 - (125 + 3));
}

TEST(DistanceMeasurers, DifferentShapesLeaveTheDistanceAlone) {
  OcrMatrixPtr row = CreateOcrMatrix(kOcrDouble, 1, 512);
  OcrMatrixPtr column = CreateOcrMatrix(kOcrDouble, 512, 1);
  for (const char* name : {"L2", "City", "Cos"}) {
    double d = 42;
    EXPECT_EQ(CreateDistanceMeasurer(name)->Measure(*row, *column, &d), 1) << name;
    EXPECT_EQ(d, 42) << name;
  }
}

TEST(DistanceMeasurerFactory, WholeNamesInAnyCase) {
  EXPECT_NE(dynamic_cast<CCosineDistanceMeasurerImp*>(CreateDistanceMeasurer("cOS").get()), nullptr);
  EXPECT_NE(dynamic_cast<CL2DistanceMeasurerImp*>(CreateDistanceMeasurer("l2").get()), nullptr);
  EXPECT_NE(dynamic_cast<CCityDistanceMeasurerImp*>(CreateDistanceMeasurer("CITY").get()), nullptr);
  EXPECT_EQ(CreateDistanceMeasurer("Cosine"), nullptr);
  EXPECT_EQ(CreateDistanceMeasurer("L"), nullptr);
}

}  // namespace
}  // namespace orvane::ocr
