#include "imaging/median_filter.h"

#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/imgproc.hpp>

namespace orvane::imaging {

cv::Mat MedianBlurExact(const cv::Mat& source, int aperture) {
  // Window counts must fit in a byte: 15 x 15 = 225.
  if (source.type() != CV_8UC1 || aperture < 3 || aperture > 15 || aperture % 2 == 0 ||
      source.empty()) {
    cv::Mat result;
    cv::medianBlur(source, result, aperture);
    return result;
  }
  constexpr int kBlock = 16;
  const int radius = aperture / 2;
  const int width = source.cols;
  const int extra = (kBlock - width % kBlock) % kBlock;
  const int blocks = (width + extra) / kBlock;
  cv::Mat padded;
  cv::copyMakeBorder(source, padded, radius, radius, radius, radius + extra,
                     cv::BORDER_REPLICATE | cv::BORDER_ISOLATED);

  // Per pixel: the bits of the median found so far, and its rank among the window's pixels that
  // share those bits (counted from the top).
  cv::Mat median = cv::Mat::zeros(source.rows, width + extra, CV_8UC1);
  cv::Mat rank(source.rows, width + extra, CV_8UC1, cv::Scalar(aperture * aperture / 2 + 1));
  cv::Mat shifted(padded.size(), CV_8UC1);
  const cv::v_uint8x16 one = cv::v_setall_u8(1);
  for (int bit = 7; bit >= 0; --bit) {
    for (int y = 0; y < padded.rows; ++y) {
      const uchar* in = padded.ptr<uchar>(y);
      uchar* out = shifted.ptr<uchar>(y);
      for (int x = 0; x < padded.cols; ++x) out[x] = static_cast<uchar>(in[x] >> bit);
    }
    const cv::v_uint8x16 lowBits = cv::v_setall_u8(static_cast<uchar>(0xFF >> bit));
    const cv::v_uint8x16 bitValue = cv::v_setall_u8(static_cast<uchar>(1 << bit));
    for (int y = 0; y < source.rows; ++y) {
      uchar* found = median.ptr<uchar>(y);
      uchar* ranks = rank.ptr<uchar>(y);
      for (int block = 0; block < blocks; ++block) {
        const int x0 = block * kBlock;
        const cv::v_uint8x16 prefix = cv::v_load(found + x0);
        // Window pixels whose bits down to this one equal the prefix with this bit set.
        const cv::v_uint8x16 target =
            (cv::v_reinterpret_as_u8(cv::v_reinterpret_as_u16(prefix) >> bit) & lowBits) | one;
        cv::v_uint8x16 count = cv::v_setzero_u8();
        for (int dy = 0; dy < aperture; ++dy) {
          const uchar* row = shifted.ptr<uchar>(y + dy) + x0;
#pragma GCC unroll 16
          for (int dx = 0; dx < aperture; ++dx)
            count = cv::v_sub_wrap(count, cv::v_load(row + dx) == target);
        }
        const cv::v_uint8x16 remaining = cv::v_load(ranks + x0);
        const cv::v_uint8x16 set = count >= remaining;
        cv::v_store(found + x0, prefix | (set & bitValue));
        cv::v_store(ranks + x0, cv::v_sub_wrap(remaining, count & ~set));
      }
    }
  }
  return median.colRange(0, width).clone();
}

}  // namespace orvane::imaging
