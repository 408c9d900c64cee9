#include "imaging/binarization.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "imaging/conversions.h"

namespace orvane::imaging {

namespace {

constexpr int kInkLevel = 125;  // below this a pixel is ink

// Otsu's level of an 8-bit picture without keeping the thresholded result.
double OtsuLevel(const cv::Mat& picture) {
  cv::Mat ignored;
  return cv::threshold(picture, ignored, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
}

// Otsu's level from a histogram, as OpenCV computes it: the first level of the largest
// between-class variance.
int OtsuLevel(const std::array<int, 256>& histogram) {
  double total = 0;
  double mean = 0;
  for (int i = 0; i < 256; ++i) {
    total += histogram[i];
    mean += static_cast<double>(i) * histogram[i];
  }
  if (total == 0) return 0;
  mean /= total;
  double q1 = 0;
  double mean1 = 0;
  double bestSigma = 0;
  int best = 0;
  for (int i = 0; i < 256; ++i) {
    const double p = histogram[i] / total;
    mean1 *= q1;
    q1 += p;
    const double q2 = 1 - q1;
    if (std::min(q1, q2) < FLT_EPSILON || std::max(q1, q2) > 1 - FLT_EPSILON) continue;
    mean1 = (mean1 + i * p) / q1;
    const double mean2 = (mean - q1 * mean1) / q2;
    const double sigma = q1 * q2 * (mean1 - mean2) * (mean1 - mean2);
    if (sigma > bestSigma) {
      bestSigma = sigma;
      best = i;
    }
  }
  return best;
}

}  // namespace

bool CImageProcess::WhitenBackground(const cv::Mat& source, cv::Mat& out) const {
  if (source.empty()) return false;
  cv::Mat hsv;
  std::vector<cv::Mat> channels;
  cv::Mat value;
  if (source.channels() >= 2) {
    cv::cvtColor(source, hsv, cv::COLOR_BGR2HSV);
    cv::split(hsv, channels);
    value = channels[2];
  } else {
    value = source;
  }

  cv::Mat background;
  if (value.cols >= 5 && value.rows >= 5) {
    cv::Mat small;
    cv::resize(value, small, cv::Size(), 0.2, 0.2, cv::INTER_LINEAR);
    cv::medianBlur(small, small, 21);
    cv::resize(small, background, value.size(), 0, 0, cv::INTER_LINEAR);
  } else {
    // Too small to shrink: the mean stands for the background.
    background = cv::Mat(value.size(), CV_8UC1, cv::mean(value));
  }

  cv::Mat paper;
  cv::adaptiveThreshold(value, paper, 255, cv::ADAPTIVE_THRESH_GAUSSIAN_C, cv::THRESH_BINARY, 15,
                        10);
  CleanBorderStrips(paper, 20, 21);

  cv::Mat flattened;
  cv::subtract(value, background, flattened, cv::noArray(), CV_16S);
  flattened.convertTo(flattened, CV_8U, 1.0, 245.0);  // saturating

  cv::Mat result = (flattened & paper) + (value & ~paper);
  if (source.channels() >= 2) {
    channels[2] = result;
    cv::merge(channels, hsv);
    cv::cvtColor(hsv, out, cv::COLOR_HSV2BGR);
  } else {
    out = result;
  }
  return true;
}

cv::Mat BinarizeDocument(const cv::Mat& source, int elementSize, int medianBase, double factor) {
  if (source.empty()) return {};
  CV_Assert(source.depth() == CV_8U);
  const cv::Mat grey =
      source.channels() == 1 ? source : ToGrey(source, GreyConversion::kBgrToGrey);

  // Background level: a wide median of a tenth-size copy, and how far below it ink may lie (D).
  cv::Mat background;
  int offset = 0;
  if (grey.rows >= 10 && grey.cols >= 10) {
    cv::Mat small;
    cv::resize(grey, small, cv::Size(), 0.1, 0.1, cv::INTER_LINEAR);
    cv::Mat median;
    cv::medianBlur(small, median, 2 * (medianBase / 20) + 1);
    cv::Mat difference;
    cv::absdiff(small, median, difference);
    // Capped so that a busy page cannot push its whole background to ink.
    offset = std::min(static_cast<int>(OtsuLevel(difference)), 30);
    cv::resize(median, background, grey.size(), 0, 0, cv::INTER_LINEAR);
  }
  // Without room for the background copy every flat neighbourhood counts as paper and the
  // contrast rule decides alone.

  // Local maximum and minimum of the smoothed page.
  cv::Mat smooth;
  cv::GaussianBlur(grey, smooth, cv::Size(5, 5), 0);
  const cv::Mat element =
      cv::getStructuringElement(cv::MORPH_RECT, cv::Size(elementSize, elementSize));
  cv::Mat localMax;
  cv::Mat localMin;
  cv::dilate(smooth, localMax, element);
  cv::erode(smooth, localMin, element);
  smooth.release();

  // Busy neighbourhoods: contrast above its Otsu level. The per-pixel steps below are fused into
  // two passes over the page; full-size intermediates would dominate the cost.
  std::array<int, 256> histogram{};
  for (int y = 0; y < grey.rows; ++y) {
    const uchar* maxRow = localMax.ptr<uchar>(y);
    const uchar* minRow = localMin.ptr<uchar>(y);
    for (int x = 0; x < grey.cols; ++x) ++histogram[maxRow[x] - minRow[x]];
  }
  const int busyLevel = OtsuLevel(histogram);
  std::array<uchar, 256> scaledContrast{};
  for (int c = 0; c < 256; ++c)
    scaledContrast[c] = cv::saturate_cast<uchar>(static_cast<float>(c) * static_cast<float>(factor));

  cv::Mat result(grey.size(), CV_8UC1);
  for (int y = 0; y < grey.rows; ++y) {
    const uchar* g = grey.ptr<uchar>(y);
    const uchar* maxRow = localMax.ptr<uchar>(y);
    const uchar* minRow = localMin.ptr<uchar>(y);
    const uchar* bg = background.empty() ? nullptr : background.ptr<uchar>(y);
    uchar* out = result.ptr<uchar>(y);
    for (int x = 0; x < grey.cols; ++x) {
      const int contrast = maxRow[x] - minRow[x];
      bool paper;
      if (contrast > busyLevel) {
        // Brighter than max - factor * contrast.
        paper = g[x] > std::max(maxRow[x] - scaledContrast[contrast], 0);
      } else {
        // Not darker than the background by more than D.
        paper = bg == nullptr || g[x] > std::max(bg[x] - offset, 0);
      }
      out[x] = paper ? 255 : 0;
    }
  }
  return result;
}

bool RemoveSmallSpecks(cv::Mat& picture, int minimumSize) {
  if (picture.channels() > 1) return false;
  // Every speck has at least one pixel, so a minimum of 1 or less whitens nothing.
  if (minimumSize <= 1 || picture.empty()) return true;
  CV_Assert(picture.depth() == CV_8U);
  const cv::Mat ink = picture < kInkLevel;
  cv::Mat labels;
  cv::Mat stats;
  cv::Mat centroids;
  const int count = cv::connectedComponentsWithStats(ink, labels, stats, centroids, 8, CV_32S);
  std::vector<uchar> whiten(static_cast<std::size_t>(count), 0);
  bool any = false;
  for (int label = 1; label < count; ++label) {
    whiten[label] = stats.at<int>(label, cv::CC_STAT_AREA) < minimumSize;
    any = any || whiten[label];
  }
  if (!any) return true;
  for (int y = 0; y < picture.rows; ++y) {
    const int* label = labels.ptr<int>(y);
    uchar* row = picture.ptr<uchar>(y);
    for (int x = 0; x < picture.cols; ++x)
      if (whiten[label[x]]) row[x] = 255;
  }
  return true;
}

bool CleanBorderStrips(cv::Mat& picture, int stripWidth, int runLength) {
  if (picture.empty()) return false;
  if (stripWidth <= 0 || runLength <= 0) return true;
  const cv::Mat across = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(runLength, 1));
  const cv::Mat down = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(1, runLength));
  const auto clean = [](cv::Mat strip, const cv::Mat& element) {
    cv::Mat inverted = ~strip;
    cv::morphologyEx(inverted, inverted, cv::MORPH_OPEN, element);
    cv::bitwise_xor(inverted, strip, strip);  // writes through the view into the picture
  };
  const int rows = picture.rows;
  const int cols = picture.cols;
  // A side shorter than the strip has no border strip to clean; the picture then is all border.
  if (rows >= stripWidth) {
    clean(picture.rowRange(0, stripWidth), across);
    clean(picture.rowRange(rows - stripWidth, rows), across);
  }
  if (cols >= stripWidth) {
    clean(picture.colRange(0, stripWidth), down);
    clean(picture.colRange(cols - stripWidth, cols), down);
  }
  return true;
}

}  // namespace orvane::imaging
