// The statistics of the template: a regularised linear discriminant transform of the feature
// vectors, and per class a modified quadratic discriminant (MQDF2) with a few principal axes and
// one shared constant for the minor eigenvalues.
#pragma once

#include <vector>

#include <opencv2/core.hpp>

namespace orvane::ocrtools {

struct LabelledSamples {
  cv::Mat features;         // one sample per row, CV_32F or CV_64F
  std::vector<int> labels;  // class index per row, 0 .. classCount - 1
  int classCount = 0;
};

// The k x D (double) transform whose rows maximise between-class over within-class scatter, with
// the within-class scatter shrunk towards its mean variance by `regularisation` (0..1). The
// within-class scatter of the transformed samples is about the identity. Throws
// std::invalid_argument on a k outside 1..D or a class without samples.
cv::Mat TrainLda(const LabelledSamples& samples, int k, double regularisation, int threads);

struct ClassModel {
  cv::Mat mean;                      // k x 1 double
  cv::Mat axes;                      // m x k double, one principal axis per row
  std::vector<double> eigenvalues;   // m values, each at least the minor constant
  double logDeterminant = 0;         // sum of log eigenvalues, minor ones included
};

struct MqdfModel {
  std::vector<ClassModel> classes;
  double minorEigenvalue = 0;  // the shared constant delta
};

// Per class: mean, covariance shrunk by `shrink` (0..1) towards the pooled covariance, its m
// leading axes; delta = `minorScale` x the mean of the remaining eigenvalues over all classes.
MqdfModel TrainMqdf(const LabelledSamples& projected, int m, double shrink, double minorScale, int threads);

// The MQDF2 discriminant of class c at y (k doubles): squared distance to the mean off the axes
// over delta, on each axis over its eigenvalue, plus the log-determinant. Smaller is nearer.
double MqdfDistance(const MqdfModel& model, int c, const double* y);

struct Reading {
  int label = -1;
  double distance = 0;  // MQDF2 discriminant
};

// The nearest class as the engine finds it: the 20 means nearest in Euclidean distance, then the
// smallest discriminant among them.
Reading Classify(const MqdfModel& model, const double* y);

// How the record fields hold the model: value = scale x discriminant + offset.
struct Calibration {
  double scale = 1;
  double offset = 0;
};

// A scale and an offset that put correct readings under `low` and wrong ones above `high`: the
// offset takes the smallest log-determinant to 0 (so no distance is negative) and the scale is the
// one that leaves the fewest readings on the wrong side of their bound.
Calibration ChooseCalibration(const std::vector<double>& correct, const std::vector<double>& wrong,
                              double smallestLogDeterminant, double low, double high);

double SmallestLogDeterminant(const MqdfModel& model);

}  // namespace orvane::ocrtools
