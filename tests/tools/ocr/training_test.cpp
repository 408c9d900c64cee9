#include "ocr/training.h"

#include <cmath>

#include <gtest/gtest.h>

#include "ocr/augment.h"
#include "ocr/template_file.h"

namespace orvane::ocrtools {
namespace {

// Six classes told apart only by dimensions 0 and 1; the other eight carry larger noise.
LabelledSamples SeparableInTwoDimensions() {
  LabelledSamples samples;
  samples.classCount = 6;
  SampleRandom random(3);
  const int perClass = 60;
  samples.features.create(samples.classCount * perClass, 10, CV_64F);
  for (int c = 0; c < samples.classCount; ++c) {
    for (int i = 0; i < perClass; ++i) {
      const int row = c * perClass + i;
      for (int j = 0; j < 10; ++j) {
        // Sum of uniforms: a bell shape with spread 1 (or 4 off the class dimensions).
        double noise = 0;
        for (int u = 0; u < 12; ++u) noise += random.Uniform(-0.5, 0.5);
        samples.features.at<double>(row, j) = noise * (j < 2 ? 0.5 : 4.0);
      }
      samples.features.at<double>(row, 0) += 3.0 * std::cos(c * 1.0472);
      samples.features.at<double>(row, 1) += 3.0 * std::sin(c * 1.0472);
      samples.labels.push_back(c);
    }
  }
  return samples;
}

LabelledSamples Project(const LabelledSamples& samples, const cv::Mat& transform) {
  LabelledSamples projected = samples;
  projected.features = samples.features * transform.t();
  return projected;
}

TEST(TrainLda, FindsTheDiscriminatingPlaneAndWhitensWithinClass) {
  const LabelledSamples samples = SeparableInTwoDimensions();
  const cv::Mat transform = TrainLda(samples, 2, 0.0, 2);
  ASSERT_EQ(transform.rows, 2);
  ASSERT_EQ(transform.cols, 10);
  const LabelledSamples projected = Project(samples, transform);
  // Nearest projected class mean reads almost every sample right.
  const MqdfModel model = TrainMqdf(projected, 1, 0.0, 1.0, 1);
  int right = 0;
  for (int n = 0; n < projected.features.rows; ++n)
    right += Classify(model, projected.features.ptr<double>(n)).label == samples.labels[n];
  EXPECT_GT(right, projected.features.rows * 95 / 100);
  // Within-class scatter of the projection is the identity.
  cv::Mat within = cv::Mat::zeros(2, 2, CV_64F);
  for (int n = 0; n < projected.features.rows; ++n) {
    const cv::Mat r = projected.features.row(n).t() - model.classes[samples.labels[n]].mean;
    within += r * r.t();
  }
  within /= projected.features.rows;
  EXPECT_NEAR(within.at<double>(0, 0), 1.0, 1e-6);
  EXPECT_NEAR(within.at<double>(1, 1), 1.0, 1e-6);
  EXPECT_NEAR(within.at<double>(0, 1), 0.0, 1e-6);
}

TEST(TrainLda, SameResultOnAnyNumberOfThreads) {
  const LabelledSamples samples = SeparableInTwoDimensions();
  const cv::Mat one = TrainLda(samples, 3, 0.1, 1);
  const cv::Mat four = TrainLda(samples, 3, 0.1, 4);
  EXPECT_EQ(cv::norm(one, four, cv::NORM_INF), 0.0);
}

TEST(TrainLda, RejectsBadDimensionsAndEmptyClasses) {
  LabelledSamples samples = SeparableInTwoDimensions();
  EXPECT_THROW(TrainLda(samples, 0, 0.1, 1), std::invalid_argument);
  EXPECT_THROW(TrainLda(samples, 11, 0.1, 1), std::invalid_argument);
  samples.classCount = 7;  // class 6 has no sample
  EXPECT_THROW(TrainLda(samples, 2, 0.1, 1), std::invalid_argument);
}

TEST(TrainMqdf, RecoversTheLeadingAxisAndTheMinorVariance) {
  // One class: spread 3 along (1, 1, 0) / sqrt 2, spread 1 across it.
  LabelledSamples samples;
  samples.classCount = 1;
  SampleRandom random(11);
  samples.features.create(4000, 3, CV_64F);
  for (int n = 0; n < samples.features.rows; ++n) {
    double g[3];
    for (double& v : g) {
      v = 0;
      for (int u = 0; u < 12; ++u) v += random.Uniform(-0.5, 0.5);
    }
    const double along = 3.0 * g[0];
    samples.features.at<double>(n, 0) = 5 + along / std::sqrt(2.0) + g[1] / std::sqrt(2.0);
    samples.features.at<double>(n, 1) = along / std::sqrt(2.0) - g[1] / std::sqrt(2.0);
    samples.features.at<double>(n, 2) = g[2];
    samples.labels.push_back(0);
  }
  const MqdfModel model = TrainMqdf(samples, 1, 0.0, 1.0, 1);
  const ClassModel& cls = model.classes[0];
  EXPECT_NEAR(cls.mean.at<double>(0), 5.0, 0.15);
  EXPECT_NEAR(cls.eigenvalues[0], 9.0, 0.5);
  EXPECT_NEAR(std::abs(cls.axes.at<double>(0, 0)), std::sqrt(0.5), 0.02);
  EXPECT_NEAR(std::abs(cls.axes.at<double>(0, 1)), std::sqrt(0.5), 0.02);
  EXPECT_NEAR(model.minorEigenvalue, 1.0, 0.1);
}

MqdfModel OneAxisModel() {
  // k = 3, m = 1: axis x with eigenvalue 4, minor constant 1, mean 0.
  MqdfModel model;
  model.minorEigenvalue = 1.0;
  ClassModel cls;
  cls.mean = cv::Mat::zeros(3, 1, CV_64F);
  cls.axes = (cv::Mat_<double>(1, 3) << 1, 0, 0);
  cls.eigenvalues = {4.0};
  cls.logDeterminant = std::log(4.0);
  model.classes.push_back(cls);
  return model;
}

TEST(MqdfDistance, QuadraticTermsPlusLogDeterminant) {
  const MqdfModel model = OneAxisModel();
  const double y[3] = {2, 1, 1};
  // 2^2 / 4 on the axis, 1 + 1 off it.
  EXPECT_DOUBLE_EQ(MqdfDistance(model, 0, y), 1.0 + 2.0 + std::log(4.0));
}

TEST(RecordFields, TheEngineFormulaGivesTheCalibratedDistance) {
  MqdfModel model = OneAxisModel();
  model.minorEigenvalue = 0.5;
  model.classes[0].logDeterminant = 3.0;
  const Calibration calibration{0.01, -0.02};
  const ClassRecordFields fields = RecordFields(model, 0, calibration);
  const double y[3] = {2, -1, 0.5};
  // What the classifier computes from the record fields.
  double squared = 0;
  for (double v : y) squared += v * v;
  const double projection = y[0];
  const double engine = (squared + fields.weights[0] * projection * projection) / fields.divisor + fields.constant;
  EXPECT_NEAR(engine, calibration.scale * MqdfDistance(model, 0, y) + calibration.offset, 1e-12);
  EXPECT_LE(fields.weights[0], 0.0);
  EXPECT_GE(fields.weights[0], -1.0);
}

TEST(ChooseCalibration, PutsCorrectUnderTheLowBoundAndWrongOverTheHighOne) {
  std::vector<double> correct, wrong;
  for (int i = 0; i <= 100; ++i) correct.push_back(105 + 0.1 * i);  // 105 .. 115
  for (int i = 0; i <= 100; ++i) wrong.push_back(130 + 0.5 * i);    // 130 .. 180
  const Calibration c = ChooseCalibration(correct, wrong, 100.0, 0.2, 0.32);
  EXPECT_NEAR(c.scale * 100.0 + c.offset, 0.0, 1e-12);  // smallest constant maps to 0
  for (double d : correct) EXPECT_LT(c.scale * d + c.offset, 0.2);
  for (double d : wrong) EXPECT_GT(c.scale * d + c.offset, 0.32);
  EXPECT_THROW(ChooseCalibration({}, wrong, 0, 0.2, 0.32), std::invalid_argument);
}

}  // namespace
}  // namespace orvane::ocrtools
