#include "imaging/binarization.h"

#include <algorithm>
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
  const cv::Mat grey = ToGrey(source, GreyConversion::kBgrToGrey);

  // Paper by background: not darker than the smoothed background by more than D.
  cv::Mat byBackground;
  if (grey.rows >= 10 && grey.cols >= 10) {
    cv::Mat small;
    cv::resize(grey, small, cv::Size(), 0.1, 0.1, cv::INTER_LINEAR);
    const int aperture = 2 * (medianBase / 20) + 1;
    cv::Mat median;
    cv::medianBlur(small, median, aperture);
    cv::Mat difference;
    cv::absdiff(small, median, difference);
    const int offset = std::min(static_cast<int>(OtsuLevel(difference)), 30);
    cv::Mat background;
    cv::resize(median, background, grey.size(), 0, 0, cv::INTER_LINEAR);
    cv::subtract(background, cv::Scalar::all(offset), background);  // saturating
    cv::compare(grey, background, byBackground, cv::CMP_GT);
  } else {
    // No room for a background estimate: a flat background rule would be a guess, so the
    // contrast rule decides alone (every pixel is then paper unless dark against its neighbours).
    byBackground = cv::Mat(grey.size(), CV_8UC1, cv::Scalar::all(255));
  }

  // Paper by contrast, in busy neighbourhoods.
  cv::Mat smooth;
  cv::GaussianBlur(grey, smooth, cv::Size(5, 5), 0);
  const cv::Mat element =
      cv::getStructuringElement(cv::MORPH_RECT, cv::Size(elementSize, elementSize));
  cv::Mat localMax;
  cv::Mat localMin;
  cv::dilate(smooth, localMax, element);
  cv::erode(smooth, localMin, element);
  cv::Mat contrast;
  cv::subtract(localMax, localMin, contrast);
  cv::Mat busy;
  cv::threshold(contrast, busy, OtsuLevel(contrast), 255, cv::THRESH_BINARY);
  cv::Mat scaledContrast;
  contrast.convertTo(scaledContrast, CV_8U, factor);
  cv::Mat level;
  cv::subtract(localMax, scaledContrast, level);
  cv::Mat byContrast;
  cv::compare(grey, level, byContrast, cv::CMP_GT);

  return (busy & byContrast) | (~busy & byBackground);
}

bool RemoveSmallSpecks(cv::Mat& picture, int minimumSize) {
  if (picture.channels() > 1) return false;
  if (minimumSize <= 0 || picture.empty()) return true;
  CV_Assert(picture.depth() == CV_8U);
  cv::Mat visited = cv::Mat::zeros(picture.size(), CV_8UC1);
  std::vector<cv::Point> stack;
  std::vector<cv::Point> component;
  for (int x = 0; x < picture.cols; ++x) {
    for (int y = 0; y < picture.rows; ++y) {
      if (picture.at<uchar>(y, x) >= kInkLevel || visited.at<uchar>(y, x)) continue;
      component.clear();
      visited.at<uchar>(y, x) = 1;
      stack.push_back({x, y});
      while (!stack.empty()) {
        const cv::Point p = stack.back();
        stack.pop_back();
        component.push_back(p);
        for (int dy = -1; dy <= 1; ++dy) {
          for (int dx = -1; dx <= 1; ++dx) {
            const int nx = p.x + dx;
            const int ny = p.y + dy;
            if (nx < 0 || ny < 0 || nx >= picture.cols || ny >= picture.rows) continue;
            if (visited.at<uchar>(ny, nx) || picture.at<uchar>(ny, nx) >= kInkLevel) continue;
            visited.at<uchar>(ny, nx) = 1;
            stack.push_back({nx, ny});
          }
        }
      }
      if (static_cast<int>(component.size()) < minimumSize)
        for (const cv::Point& p : component) picture.at<uchar>(p) = 255;
    }
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
