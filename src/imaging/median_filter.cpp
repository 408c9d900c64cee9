#include "imaging/median_filter.h"

#include <immintrin.h>

#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/imgproc.hpp>

namespace orvane::imaging {

namespace {

// One bit of the median for one output row, 16 pixels at a time. `found` holds the median's bits
// found so far, `ranks` each pixel's rank among the window's pixels that share those bits
// (counted from the top); `shifted` is the padded picture shifted right by `bit`.
void MedianBitRow(const cv::Mat& shifted, int y, int aperture, int bit, int blocks, uchar* found, uchar* ranks) {
  const cv::v_uint8x16 one = cv::v_setall_u8(1);
  const cv::v_uint8x16 lowBits = cv::v_setall_u8(static_cast<uchar>(0xFF >> bit));
  const cv::v_uint8x16 bitValue = cv::v_setall_u8(static_cast<uchar>(1 << bit));
  for (int block = 0; block < blocks; ++block) {
    const int x0 = block * 16;
    const cv::v_uint8x16 prefix = cv::v_load(found + x0);
    // Window pixels whose bits down to this one equal the prefix with this bit set.
    const cv::v_uint8x16 target =
        (cv::v_reinterpret_as_u8(cv::v_reinterpret_as_u16(prefix) >> bit) & lowBits) | one;
    cv::v_uint8x16 count = cv::v_setzero_u8();
    for (int dy = 0; dy < aperture; ++dy) {
      const uchar* row = shifted.ptr<uchar>(y + dy) + x0;
#pragma GCC unroll 16
      for (int dx = 0; dx < aperture; ++dx) count = cv::v_sub_wrap(count, cv::v_load(row + dx) == target);
    }
    const cv::v_uint8x16 remaining = cv::v_load(ranks + x0);
    const cv::v_uint8x16 set = count >= remaining;
    cv::v_store(found + x0, prefix | (set & bitValue));
    cv::v_store(ranks + x0, cv::v_sub_wrap(remaining, count & ~set));
  }
}

// The same, 32 pixels at a time, for processors with AVX2 (chosen at run time).
__attribute__((target("avx2"))) void MedianBitRowWide(const cv::Mat& shifted, int y, int aperture, int bit,
                                                      int blocks, uchar* found, uchar* ranks) {
  const __m256i one = _mm256_set1_epi8(1);
  const __m256i lowBits = _mm256_set1_epi8(static_cast<char>(0xFF >> bit));
  const __m256i bitValue = _mm256_set1_epi8(static_cast<char>(1 << bit));
  const __m128i shift = _mm_cvtsi32_si128(bit);
  for (int block = 0; block < blocks; ++block) {
    const int x0 = block * 32;
    const __m256i prefix = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(found + x0));
    const __m256i target = _mm256_or_si256(_mm256_and_si256(_mm256_srl_epi16(prefix, shift), lowBits), one);
    __m256i count = _mm256_setzero_si256();
    for (int dy = 0; dy < aperture; ++dy) {
      const uchar* row = shifted.ptr<uchar>(y + dy) + x0;
#pragma GCC unroll 16
      for (int dx = 0; dx < aperture; ++dx)
        count = _mm256_sub_epi8(
            count, _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + dx)), target));
    }
    const __m256i remaining = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(ranks + x0));
    const __m256i set = _mm256_cmpeq_epi8(_mm256_max_epu8(count, remaining), count);  // count >= remaining
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(found + x0), _mm256_or_si256(prefix, _mm256_and_si256(set, bitValue)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(ranks + x0), _mm256_sub_epi8(remaining, _mm256_andnot_si256(set, count)));
  }
}

}  // namespace

cv::Mat MedianBlurExact(const cv::Mat& source, int aperture, bool allowWide) {
  // Window counts must fit in a byte: 15 x 15 = 225.
  if (source.type() != CV_8UC1 || aperture < 3 || aperture > 15 || aperture % 2 == 0 ||
      source.empty()) {
    cv::Mat result;
    cv::medianBlur(source, result, aperture);
    return result;
  }
  const bool wide = allowWide && __builtin_cpu_supports("avx2");
  const int block = wide ? 32 : 16;
  const int radius = aperture / 2;
  const int width = source.cols;
  const int extra = (block - width % block) % block;
  const int blocks = (width + extra) / block;
  cv::Mat padded;
  cv::copyMakeBorder(source, padded, radius, radius, radius, radius + extra,
                     cv::BORDER_REPLICATE | cv::BORDER_ISOLATED);

  cv::Mat median = cv::Mat::zeros(source.rows, width + extra, CV_8UC1);
  cv::Mat rank(source.rows, width + extra, CV_8UC1, cv::Scalar(aperture * aperture / 2 + 1));
  cv::Mat shifted(padded.size(), CV_8UC1);
  for (int bit = 7; bit >= 0; --bit) {
    const cv::v_uint8x16 lowBits = cv::v_setall_u8(static_cast<uchar>(0xFF >> bit));
    for (int y = 0; y < padded.rows; ++y) {
      const uchar* in = padded.ptr<uchar>(y);
      uchar* out = shifted.ptr<uchar>(y);
      int x = 0;
      // Bytes shifted as 16-bit lanes, the bits that crossed over masked off.
      for (; x + 16 <= padded.cols; x += 16)
        cv::v_store(out + x, cv::v_reinterpret_as_u8(cv::v_reinterpret_as_u16(cv::v_load(in + x)) >> bit) & lowBits);
      for (; x < padded.cols; ++x) out[x] = static_cast<uchar>(in[x] >> bit);
    }
    for (int y = 0; y < source.rows; ++y) {
      if (wide) MedianBitRowWide(shifted, y, aperture, bit, blocks, median.ptr<uchar>(y), rank.ptr<uchar>(y));
      else MedianBitRow(shifted, y, aperture, bit, blocks, median.ptr<uchar>(y), rank.ptr<uchar>(y));
    }
  }
  return median.colRange(0, width).clone();
}

}  // namespace orvane::imaging
