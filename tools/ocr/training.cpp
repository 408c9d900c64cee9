#include "ocr/training.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <stdexcept>

#include "ocr/parallel.h"

namespace orvane::ocrtools {
namespace {

cv::Mat AsDouble(const cv::Mat& m) {
  cv::Mat result;
  m.convertTo(result, CV_64F);
  return result;
}

// Class means (classCount x D, double) and counts, of float or double samples.
cv::Mat ClassMeans(const cv::Mat& x, const std::vector<int>& labels, int classCount, std::vector<int>& counts) {
  cv::Mat means = cv::Mat::zeros(classCount, x.cols, CV_64F);
  counts.assign(classCount, 0);
  cv::Mat row;
  for (int n = 0; n < x.rows; ++n) {
    const int c = labels[n];
    if (c < 0 || c >= classCount) throw std::invalid_argument("label outside the classes");
    x.row(n).convertTo(row, CV_64F);
    means.row(c) += row;
    ++counts[c];
  }
  for (int c = 0; c < classCount; ++c) {
    if (counts[c] == 0) throw std::invalid_argument("a class without samples");
    means.row(c) /= counts[c];
  }
  return means;
}

// The Gram matrix of the D rows of a D x N matrix: element (i, j) is the dot product of rows i and
// j, summed in double in one fixed order whatever the number of threads.
template <class T>
cv::Mat GramOfRows(const cv::Mat& columns, int threads) {
  const int d = columns.rows;
  cv::Mat gram(d, d, CV_64F);
  ParallelFor(d, threads, [&](int i) {
    const T* a = columns.ptr<T>(i);
    for (int j = i; j < d; ++j) {
      const T* b = columns.ptr<T>(j);
      double sum = 0;
      for (int n = 0; n < columns.cols; ++n) sum += static_cast<double>(a[n]) * b[n];
      gram.at<double>(i, j) = sum;
      gram.at<double>(j, i) = sum;
    }
  });
  return gram;
}

}  // namespace

cv::Mat TrainLda(const LabelledSamples& samples, int k, double regularisation, int threads) {
  // The samples stay in their own element type: the full build holds hundreds of thousands.
  const cv::Mat& x = samples.features;
  if (x.type() != CV_32F && x.type() != CV_64F) throw std::invalid_argument("samples are float or double");
  const int d = x.cols;
  if (k < 1 || k > d) throw std::invalid_argument("LDA dimension outside the feature dimension");
  if (static_cast<int>(samples.labels.size()) != x.rows) throw std::invalid_argument("one label per sample");
  std::vector<int> counts;
  const cv::Mat means = ClassMeans(x, samples.labels, samples.classCount, counts);

  // Centred samples stored by feature (D x N), so each Gram element reads two contiguous rows.
  cv::Mat centred(d, x.rows, x.type());
  {
    cv::Mat row;
    for (int n = 0; n < x.rows; ++n) {
      x.row(n).convertTo(row, CV_64F);
      row -= means.row(samples.labels[n]);
      cv::Mat column = row.t();
      column.convertTo(centred.col(n), x.type());
    }
  }
  cv::Mat within = (x.type() == CV_32F ? GramOfRows<float>(centred, threads) : GramOfRows<double>(centred, threads)) / x.rows;
  centred.release();
  const double meanVariance = cv::trace(within)[0] / d;
  within = within * (1.0 - regularisation) + cv::Mat::eye(d, d, CV_64F) * (regularisation * meanVariance);

  cv::Mat overall = cv::Mat::zeros(1, d, CV_64F);
  for (int c = 0; c < samples.classCount; ++c) overall += means.row(c) * (static_cast<double>(counts[c]) / x.rows);
  cv::Mat spread(samples.classCount, d, CV_64F);
  for (int c = 0; c < samples.classCount; ++c)
    spread.row(c) = (means.row(c) - overall) * std::sqrt(static_cast<double>(counts[c]) / x.rows);
  const cv::Mat between = GramOfRows<double>(cv::Mat(spread.t()), threads);

  // Whiten the within-class scatter, then take the leading axes of the between-class scatter.
  cv::Mat values, vectors;
  cv::eigen(within, values, vectors);  // rows of `vectors` are eigenvectors, values descending
  cv::Mat whitening(d, d, CV_64F);
  const double floor = meanVariance * 1e-9;
  for (int i = 0; i < d; ++i) whitening.row(i) = vectors.row(i) / std::sqrt(std::max(values.at<double>(i), floor));
  const cv::Mat whitenedBetween = whitening * between * whitening.t();
  cv::Mat betweenValues, betweenVectors;
  cv::eigen((whitenedBetween + whitenedBetween.t()) * 0.5, betweenValues, betweenVectors);
  cv::Mat transform = betweenVectors.rowRange(0, k) * whitening;
  // An eigenvector's sign is arbitrary; fix it so the same data always gives the same file.
  for (int r = 0; r < k; ++r) {
    cv::Point maxAt;
    cv::minMaxLoc(cv::abs(transform.row(r)), nullptr, nullptr, nullptr, &maxAt);
    if (transform.at<double>(r, maxAt.x) < 0) transform.row(r) *= -1.0;
  }
  return transform;
}

MqdfModel TrainMqdf(const LabelledSamples& projected, int m, double shrink, double minorScale, int threads) {
  const cv::Mat y = AsDouble(projected.features);
  const int k = y.cols;
  if (m < 1 || m >= k) throw std::invalid_argument("principal axes outside 1 .. k - 1");
  std::vector<int> counts;
  const cv::Mat means = ClassMeans(y, projected.labels, projected.classCount, counts);
  std::vector<std::vector<int>> members(projected.classCount);
  for (int n = 0; n < y.rows; ++n) members[projected.labels[n]].push_back(n);

  std::vector<cv::Mat> covariances(projected.classCount);
  ParallelFor(projected.classCount, threads, [&](int c) {
    cv::Mat centred(static_cast<int>(members[c].size()), k, CV_64F);
    for (int i = 0; i < centred.rows; ++i) centred.row(i) = y.row(members[c][i]) - means.row(c);
    covariances[c] = centred.t() * centred / centred.rows;
  });
  cv::Mat pooled = cv::Mat::zeros(k, k, CV_64F);
  for (int c = 0; c < projected.classCount; ++c) pooled += covariances[c] * (static_cast<double>(counts[c]) / y.rows);

  MqdfModel model;
  model.classes.resize(projected.classCount);
  std::vector<double> minorMeans(projected.classCount);
  ParallelFor(projected.classCount, threads, [&](int c) {
    const cv::Mat covariance = covariances[c] * (1.0 - shrink) + pooled * shrink;
    cv::Mat values, vectors;
    cv::eigen(covariance, values, vectors);
    ClassModel& cls = model.classes[c];
    cls.mean = means.row(c).t();
    cls.axes = vectors.rowRange(0, m).clone();
    for (int r = 0; r < m; ++r) {
      cv::Point maxAt;
      cv::minMaxLoc(cv::abs(cls.axes.row(r)), nullptr, nullptr, nullptr, &maxAt);
      if (cls.axes.at<double>(r, maxAt.x) < 0) cls.axes.row(r) *= -1.0;
    }
    cls.eigenvalues.assign(values.ptr<double>(), values.ptr<double>() + m);
    double minor = 0;
    for (int i = m; i < k; ++i) minor += std::max(values.at<double>(i), 0.0);
    minorMeans[c] = minor / (k - m);
  });
  // Summed in class order, so the constant does not depend on the threads.
  model.minorEigenvalue =
      minorScale * std::accumulate(minorMeans.begin(), minorMeans.end(), 0.0) / projected.classCount;
  if (!(model.minorEigenvalue > 0)) throw std::invalid_argument("no variance off the principal axes");
  for (ClassModel& cls : model.classes) {
    double logDeterminant = (k - m) * std::log(model.minorEigenvalue);
    for (double& value : cls.eigenvalues) {
      value = std::max(value, model.minorEigenvalue);
      logDeterminant += std::log(value);
    }
    cls.logDeterminant = logDeterminant;
  }
  return model;
}

double MqdfDistance(const MqdfModel& model, int c, const double* y) {
  const ClassModel& cls = model.classes[c];
  const int k = cls.mean.rows;
  const double* mean = cls.mean.ptr<double>();
  double squared = 0;
  for (int i = 0; i < k; ++i) squared += (y[i] - mean[i]) * (y[i] - mean[i]);
  double value = squared / model.minorEigenvalue;
  for (int j = 0; j < cls.axes.rows; ++j) {
    const double* axis = cls.axes.ptr<double>(j);
    double projection = 0;
    for (int i = 0; i < k; ++i) projection += axis[i] * (y[i] - mean[i]);
    value += projection * projection * (1.0 / cls.eigenvalues[j] - 1.0 / model.minorEigenvalue);
  }
  return value + cls.logDeterminant;
}

Reading Classify(const MqdfModel& model, const double* y) {
  constexpr int kCoarse = 20;
  std::vector<std::pair<double, int>> coarse;
  coarse.reserve(model.classes.size());
  for (int c = 0; c < static_cast<int>(model.classes.size()); ++c) {
    const double* mean = model.classes[c].mean.ptr<double>();
    double squared = 0;
    for (int i = 0; i < model.classes[c].mean.rows; ++i) squared += (y[i] - mean[i]) * (y[i] - mean[i]);
    coarse.emplace_back(squared, c);
  }
  const auto end = coarse.begin() + std::min<std::ptrdiff_t>(kCoarse, std::ssize(coarse));
  std::partial_sort(coarse.begin(), end, coarse.end());
  Reading best;
  best.distance = std::numeric_limits<double>::infinity();
  for (auto it = coarse.begin(); it != end; ++it) {
    const double distance = MqdfDistance(model, it->second, y);
    if (distance < best.distance) best = {it->second, distance};
  }
  return best;
}

double SmallestLogDeterminant(const MqdfModel& model) {
  double smallest = std::numeric_limits<double>::infinity();
  for (const ClassModel& cls : model.classes) smallest = std::min(smallest, cls.logDeterminant);
  return smallest;
}

Calibration ChooseCalibration(const std::vector<double>& correct, const std::vector<double>& wrong,
                              double smallestLogDeterminant, double low, double high) {
  if (correct.empty() || !(low > 0) || !(high > low)) throw std::invalid_argument("nothing to calibrate");
  std::vector<double> good, bad;
  for (double d : correct) good.push_back(std::max(d - smallestLogDeterminant, 0.0));
  for (double d : wrong) bad.push_back(std::max(d - smallestLogDeterminant, 0.0));
  std::sort(good.begin(), good.end());
  std::sort(bad.begin(), bad.end());
  const double ratio = high / low;
  // A correct reading at d stays under `low` when d < t; a wrong one stays above `high` when
  // d > ratio x t. Try every t at which either count changes.
  std::vector<double> candidates;
  for (double d : good) candidates.push_back(std::nextafter(d, std::numeric_limits<double>::infinity()));
  for (double d : bad) candidates.push_back(d / ratio);
  std::sort(candidates.begin(), candidates.end());
  double bestT = candidates.back();
  double bestError = std::numeric_limits<double>::infinity();
  for (double t : candidates) {
    if (!(t > 0)) continue;
    const double goodOver = static_cast<double>(good.end() - std::lower_bound(good.begin(), good.end(), t));
    const double badUnder =
        static_cast<double>(std::upper_bound(bad.begin(), bad.end(), ratio * t) - bad.begin());
    const double error = goodOver / good.size() + (bad.empty() ? 0.0 : badUnder / bad.size());
    if (error < bestError) {
      bestError = error;
      bestT = t;
    }
  }
  Calibration calibration;
  calibration.scale = low / bestT;
  calibration.offset = -calibration.scale * smallestLogDeterminant;
  return calibration;
}

}  // namespace orvane::ocrtools
