#include "imaging/median_filter.h"

#include <immintrin.h>

#include <vector>

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

// The top four bits of 64 pixels (those past `valid` read as 0).
__attribute__((target("avx512f,avx512bw"))) inline __m512i CoarseBins64(const uchar* pixels, __mmask64 valid) {
  return _mm512_and_si512(_mm512_srli_epi16(_mm512_maskz_loadu_epi8(valid, pixels), 4), _mm512_set1_epi8(15));
}

// 64 pixels at a time, for processors with AVX-512BW. The top four bits of the median come from
// running box counts, kept per coarse bin as the number of each padded column's aperture rows at
// or above that bin (down the rows by adding the row that enters and taking off the one that
// leaves); across, the window's counts are sums of the aperture's columns, taken three columns at
// a time where the aperture is a multiple of three. That costs far less than counting the window
// bit by bit; the low four bits are then counted bit by bit as above, within the coarse bin found.
// `padded` holds the picture with `radius` replicated pixels round it and enough on the right for
// whole blocks.
__attribute__((target("avx512f,avx512bw"))) cv::Mat MedianCoarseThenFine64(const cv::Mat& padded, int aperture,
                                                                            int rows, int blocks) {
  constexpr int kBlock = 64;
  constexpr int kBins = 16;
  const int outWidth = blocks * kBlock;
  const int paddedWidth = padded.cols;
  const int countWidth = (paddedWidth + kBlock - 1) / kBlock * kBlock;
  // A block more per bin, so the sums of three read past the last column into zeros.
  const std::size_t stride = static_cast<std::size_t>(countWidth) + kBlock;
  const int group = aperture % 3 == 0 ? 3 : 1;
  const int groups = aperture / group;
  const __m512i one = _mm512_set1_epi8(1);
  const __m512i rank = _mm512_set1_epi8(static_cast<char>(aperture * aperture / 2 + 1));
  const auto validAt = [&](int x) {
    return x + kBlock <= paddedWidth ? ~0ULL : (1ULL << (paddedWidth - x)) - 1;
  };
  // Bin 0 holds every pixel: only bins 1 to 15 are counted.
  std::vector<uchar> atOrAbove(kBins * stride, 0);
  std::vector<uchar> threes(group == 3 ? kBins * stride : 0, 0);
  const std::vector<uchar>& summed = group == 3 ? threes : atOrAbove;
  cv::Mat median(rows, outWidth, CV_8UC1);
  cv::Mat remaining(rows, outWidth, CV_8UC1);  // the median's rank from the top among its class
  for (int y = 0; y < rows; ++y) {
    for (int x = 0; x < countWidth; x += kBlock) {
      const __mmask64 valid = validAt(x);
      for (int dy = y == 0 ? 0 : aperture - 1; dy < aperture; ++dy) {
        const __m512i entering = CoarseBins64(padded.ptr<uchar>(y + dy) + x, valid);
        for (int bin = 1; bin < kBins; ++bin) {
          uchar* counts = &atOrAbove[bin * stride + x];
          const __m512i b = _mm512_set1_epi8(static_cast<char>(bin));
          const __m512i c = _mm512_loadu_si512(counts);
          _mm512_storeu_si512(counts, _mm512_mask_add_epi8(c, _mm512_cmpge_epu8_mask(entering, b) & valid, c, one));
        }
      }
      if (y > 0) {
        const __m512i leaving = CoarseBins64(padded.ptr<uchar>(y - 1) + x, valid);
        for (int bin = 1; bin < kBins; ++bin) {
          uchar* counts = &atOrAbove[bin * stride + x];
          const __m512i b = _mm512_set1_epi8(static_cast<char>(bin));
          const __m512i c = _mm512_loadu_si512(counts);
          _mm512_storeu_si512(counts, _mm512_mask_sub_epi8(c, _mm512_cmpge_epu8_mask(leaving, b) & valid, c, one));
        }
      }
    }
    if (group == 3) {
      for (int bin = 1; bin < kBins; ++bin) {
        const uchar* counts = &atOrAbove[bin * stride];
        uchar* sums = &threes[bin * stride];
        for (int x = 0; x < countWidth; x += kBlock)
          _mm512_storeu_si512(sums + x, _mm512_add_epi8(_mm512_add_epi8(_mm512_loadu_si512(counts + x),
                                                                          _mm512_loadu_si512(counts + x + 1)),
                                                         _mm512_loadu_si512(counts + x + 2)));
      }
    }
    // From the top bin down: the window's count at or above each bin gives the bin holding the
    // median (the lowest whose count reaches the rank) and the count above that bin.
    for (int x0 = 0; x0 < outWidth; x0 += kBlock) {
      __m512i binsAbove = _mm512_setzero_si512();
      __m512i countAbove = _mm512_setzero_si512();
      for (int bin = kBins - 1; bin >= 1; --bin) {
        const uchar* sums = &summed[bin * stride + x0];
        __m512i window = _mm512_loadu_si512(sums);
        for (int g = 1; g < groups; ++g) window = _mm512_add_epi8(window, _mm512_loadu_si512(sums + g * group));
        const __mmask64 above = _mm512_cmplt_epu8_mask(window, rank);
        binsAbove = _mm512_mask_add_epi8(binsAbove, above, binsAbove, one);
        // Counts grow towards the lower bins: the last one below the rank is the count above.
        countAbove = _mm512_mask_mov_epi8(countAbove, above, window);
      }
      // Bins below 16 shift into their byte's top half without crossing into the next byte.
      const __m512i bin = _mm512_sub_epi8(_mm512_set1_epi8(kBins - 1), binsAbove);
      _mm512_storeu_si512(median.ptr<uchar>(y) + x0, _mm512_slli_epi16(bin, 4));
      _mm512_storeu_si512(remaining.ptr<uchar>(y) + x0, _mm512_sub_epi8(rank, countAbove));
    }
  }
  cv::Mat shifted(padded.size(), CV_8UC1);
  for (int bit = 3; bit >= 0; --bit) {
    const __m512i lowBits = _mm512_set1_epi8(static_cast<char>(0xFF >> bit));
    const __m512i bitValue = _mm512_set1_epi8(static_cast<char>(1 << bit));
    const __m128i shift = _mm_cvtsi32_si128(bit);
    for (int y = 0; y < padded.rows; ++y) {
      const uchar* in = padded.ptr<uchar>(y);
      uchar* out = shifted.ptr<uchar>(y);
      int x = 0;
      for (; x + kBlock <= paddedWidth; x += kBlock)
        _mm512_storeu_si512(out + x, _mm512_and_si512(_mm512_srl_epi16(_mm512_loadu_si512(in + x), shift), lowBits));
      for (; x < paddedWidth; ++x) out[x] = static_cast<uchar>(in[x] >> bit);
    }
    for (int y = 0; y < rows; ++y) {
      uchar* found = median.ptr<uchar>(y);
      uchar* ranks = remaining.ptr<uchar>(y);
      for (int x0 = 0; x0 < outWidth; x0 += kBlock) {
        const __m512i prefix = _mm512_loadu_si512(found + x0);
        const __m512i target = _mm512_or_si512(_mm512_and_si512(_mm512_srl_epi16(prefix, shift), lowBits), one);
        // Counted in two sums, which the processor adds up side by side.
        __m512i even = _mm512_setzero_si512();
        __m512i odd = _mm512_setzero_si512();
        for (int dy = 0; dy < aperture; ++dy) {
          const uchar* row = shifted.ptr<uchar>(y + dy) + x0;
          int dx = 0;
          for (; dx + 1 < aperture; dx += 2) {
            const __mmask64 first = _mm512_cmpeq_epi8_mask(_mm512_loadu_si512(row + dx), target);
            const __mmask64 second = _mm512_cmpeq_epi8_mask(_mm512_loadu_si512(row + dx + 1), target);
            even = _mm512_mask_add_epi8(even, first, even, one);
            odd = _mm512_mask_add_epi8(odd, second, odd, one);
          }
          if (dx < aperture)
            even = _mm512_mask_add_epi8(even, _mm512_cmpeq_epi8_mask(_mm512_loadu_si512(row + dx), target), even, one);
        }
        const __m512i count = _mm512_add_epi8(even, odd);
        const __m512i left = _mm512_loadu_si512(ranks + x0);
        const __mmask64 set = _mm512_cmpge_epu8_mask(count, left);
        _mm512_storeu_si512(found + x0, _mm512_or_si512(prefix, _mm512_maskz_mov_epi8(set, bitValue)));
        _mm512_storeu_si512(ranks + x0, _mm512_mask_sub_epi8(left, static_cast<__mmask64>(~set), left, count));
      }
    }
  }
  return median;
}

bool HasAvx512Bw() {
  static const bool has = __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512f");
  return has;
}

}  // namespace

cv::Mat MedianBlurExact(const cv::Mat& source, int aperture, bool allowWide) {
  return MedianBlurExactLanes(source, aperture, !allowWide ? 16 : HasAvx512Bw() ? 64 : 32);
}

cv::Mat MedianBlurExactLanes(const cv::Mat& source, int aperture, int lanes) {
  // Window counts must fit in a byte: 15 x 15 = 225.
  if (source.type() != CV_8UC1 || aperture < 3 || aperture > 15 || aperture % 2 == 0 ||
      source.empty()) {
    cv::Mat result;
    cv::medianBlur(source, result, aperture);
    return result;
  }
  if (lanes == 64 && HasAvx512Bw()) {
    const int radius = aperture / 2;
    const int blocks = (source.cols + 63) / 64;
    cv::Mat padded;
    cv::copyMakeBorder(source, padded, radius, radius, radius, radius + blocks * 64 - source.cols,
                       cv::BORDER_REPLICATE | cv::BORDER_ISOLATED);
    return MedianCoarseThenFine64(padded, aperture, source.rows, blocks).colRange(0, source.cols).clone();
  }
  const bool wide = lanes >= 32 && __builtin_cpu_supports("avx2");
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
