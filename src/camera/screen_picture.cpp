#include "camera/screen_picture.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/imgproc.hpp>

namespace orvane {

namespace {

constexpr int kWeightBits = 8;
constexpr int kWeightOne = 1 << kWeightBits;
constexpr int kLargestStep = 8;

// For every destination index along one axis: the first source index it covers and the weights
// of the covered source indices, in whole numbers that add up to kWeightOne.
struct Taps {
  int count = 0;  // weights per destination index, padded with zeros
  std::vector<int> first;
  std::vector<std::uint16_t> weights;
};

Taps ComputeTaps(int sourceLength, int destinationLength) {
  Taps taps;
  const double step = static_cast<double>(sourceLength) / destinationLength;
  taps.count = static_cast<int>(std::ceil(step)) + 1;
  taps.first.resize(static_cast<std::size_t>(destinationLength));
  taps.weights.assign(static_cast<std::size_t>(destinationLength) * taps.count, 0);
  for (int i = 0; i < destinationLength; ++i) {
    const double begin = i * step;
    const double end = std::min((i + 1) * step, static_cast<double>(sourceLength));
    const int first = std::min(static_cast<int>(begin), sourceLength - 1);
    taps.first[i] = first;
    std::uint16_t* weights = &taps.weights[static_cast<std::size_t>(i) * taps.count];
    // Weights from the rounded running share: they add up to exactly kWeightOne, so rounding
    // neither brightens nor darkens, and none can go negative.
    double share = 0;
    long previous = 0;
    for (int k = 0; k < taps.count && first + k < sourceLength; ++k) {
      const double covered = std::min(end, first + k + 1.0) - std::max(begin, static_cast<double>(first + k));
      if (covered <= 0) break;
      share += covered / (end - begin);
      const long reached = std::lround(std::min(share, 1.0) * kWeightOne);
      weights[k] = static_cast<std::uint16_t>(reached - previous);
      previous = reached;
    }
    weights[0] = static_cast<std::uint16_t>(weights[0] + kWeightOne - previous);
  }
  return taps;
}

// Destination rows shrunk across together, one per 16-bit vector lane: every lane of a vector
// then follows the same taps, so the across pass runs eight rows per instruction.
constexpr int kLanes = 8;

// Eight rows of eight 16-bit values turned into eight columns.
[[gnu::always_inline]] inline void Transpose8x8(cv::v_uint16x8 (&v)[kLanes]) {
  cv::v_uint16x8 a[kLanes];
  for (int i = 0; i < kLanes; i += 2) cv::v_zip(v[i], v[i + 1], a[i], a[i + 1]);
  cv::v_uint32x4 b[kLanes];
  for (int i = 0; i < kLanes; i += 4) {
    cv::v_zip(cv::v_reinterpret_as_u32(a[i]), cv::v_reinterpret_as_u32(a[i + 2]), b[i], b[i + 1]);
    cv::v_zip(cv::v_reinterpret_as_u32(a[i + 1]), cv::v_reinterpret_as_u32(a[i + 3]), b[i + 2], b[i + 3]);
  }
  for (int i = 0; i < kLanes / 2; ++i) {
    cv::v_float64x2 low, high;
    cv::v_zip(cv::v_reinterpret_as_f64(b[i]), cv::v_reinterpret_as_f64(b[i + 4]), low, high);
    v[2 * i] = cv::v_reinterpret_as_u16(low);
    v[2 * i + 1] = cv::v_reinterpret_as_u16(high);
  }
}

}  // namespace

void ShrinkByAreaAverage(const cv::Mat& source, cv::Mat& destination, cv::Size size) {
  // Beyond kLargestStep the whole-number weights get too coarse for one grey level; the screen
  // never shrinks that far live.
  if (source.empty() || source.depth() != CV_8U || size.width <= 0 || size.height <= 0 || size.width > source.cols ||
      size.height > source.rows || source.cols > kLargestStep * size.width || source.rows > kLargestStep * size.height) {
    cv::resize(source, destination, size, 0, 0, cv::INTER_AREA);
    return;
  }
  const int channels = source.channels();
  const Taps across = ComputeTaps(source.cols, size.width);
  const Taps down = ComputeTaps(source.rows, size.height);
  const int rowValues = source.cols * channels;
  const int outValues = size.width * channels;
  // Padded so that the zero-weight taps past the last pixel read zeros, and to whole blocks of
  // eight for the transposes.
  const int paddedValues = (rowValues + across.count * channels + kLanes - 1) / kLanes * kLanes;
  const int paddedOut = (outValues + kLanes - 1) / kLanes * kLanes;
  // The across weights as fractions of 65536 for the high half of a 16-bit product (256 / 256,
  // a pixel covered whole, becomes 65535: a 1/65536 error).
  std::vector<std::uint16_t> acrossWeights(across.weights.size());
  for (std::size_t i = 0; i < acrossWeights.size(); ++i)
    acrossWeights[i] = static_cast<std::uint16_t>(std::min(across.weights[i] * kWeightOne, 65535));
  std::vector<std::uint16_t> rows(static_cast<std::size_t>(kLanes) * paddedValues, 0);
  std::vector<std::uint16_t> lanes(static_cast<std::size_t>(kLanes) * paddedValues);
  std::vector<std::uint16_t> shrunk(static_cast<std::size_t>(kLanes) * paddedOut, 0);
  cv::Mat result(size, source.type());
  for (int y0 = 0; y0 < size.height; y0 += kLanes) {
    // Down: each destination row is a weighted sum of a few whole source rows (wide vector code
    // from the compiler), in 8-bit fixed point. Rows past the last repeat it.
    for (int lane = 0; lane < kLanes; ++lane) {
      const int y = std::min(y0 + lane, size.height - 1);
      const std::uint16_t* rowWeights = &down.weights[static_cast<std::size_t>(y) * down.count];
      std::uint16_t* sum = &rows[static_cast<std::size_t>(lane) * paddedValues];
      const std::uint8_t* in[kLargestStep + 1];
      std::uint16_t weight[kLargestStep + 1];
      int taps = 0;
      for (int k = 0; k < down.count; ++k) {
        if (rowWeights[k] == 0) continue;
        in[taps] = source.ptr<std::uint8_t>(down.first[y] + k);
        weight[taps++] = rowWeights[k];
      }
      // 255 x 256 fits in 16 bits, and the weights of one destination row add up to 256.
      int x = 0;
      for (; x + 16 <= rowValues; x += 16) {
        cv::v_uint16x8 low = cv::v_setzero_u16(), high = cv::v_setzero_u16();
        for (int k = 0; k < taps; ++k) {
          cv::v_uint16x8 a, b;
          cv::v_expand(cv::v_load(in[k] + x), a, b);
          const cv::v_uint16x8 w = cv::v_setall_u16(weight[k]);
          low += cv::v_mul_wrap(a, w);
          high += cv::v_mul_wrap(b, w);
        }
        cv::v_store(sum + x, low);
        cv::v_store(sum + x + 8, high);
      }
      for (; x < rowValues; ++x) {
        unsigned total = 0;
        for (int k = 0; k < taps; ++k) total += in[k][x] * weight[k];
        sum[x] = static_cast<std::uint16_t>(total);
      }
    }
    // Value by value, the eight rows side by side.
    for (int i = 0; i < paddedValues; i += kLanes) {
      cv::v_uint16x8 block[kLanes];
      for (int lane = 0; lane < kLanes; ++lane)
        block[lane] = cv::v_load(&rows[static_cast<std::size_t>(lane) * paddedValues + i]);
      Transpose8x8(block);
      for (int q = 0; q < kLanes; ++q) cv::v_store(&lanes[static_cast<std::size_t>(i + q) * kLanes], block[q]);
    }
    // Across: the same taps for all eight rows.
    for (int x = 0; x < size.width; ++x) {
      const std::uint16_t* weights = &acrossWeights[static_cast<std::size_t>(x) * across.count];
      const std::size_t first = static_cast<std::size_t>(across.first[x]) * channels;
      for (int c = 0; c < channels; ++c) {
        cv::v_uint16x8 total = cv::v_setzero_u16();
        for (int k = 0; k < across.count; ++k)
          total += cv::v_mul_hi(cv::v_load(&lanes[(first + static_cast<std::size_t>(k) * channels + c) * kLanes]),
                                cv::v_setall_u16(weights[k]));
        cv::v_store(&shrunk[static_cast<std::size_t>(x * channels + c) * kLanes], total);
      }
    }
    // Back to rows, rounded to 8 bits.
    const cv::v_uint16x8 half = cv::v_setall_u16(kWeightOne / 2);
    for (int j = 0; j < paddedOut; j += kLanes) {
      cv::v_uint16x8 block[kLanes];
      for (int q = 0; q < kLanes; ++q) block[q] = cv::v_load(&shrunk[static_cast<std::size_t>(j + q) * kLanes]);
      Transpose8x8(block);
      for (int lane = 0; lane < kLanes && y0 + lane < size.height; ++lane) {
        // The totals stay under 65280 + 3, so adding the half cannot overflow.
        const cv::v_uint16x8 rounded = (block[lane] + half) >> kWeightBits;
        std::uint8_t* out = result.ptr<std::uint8_t>(y0 + lane) + j;
        if (j + kLanes <= outValues) {
          cv::v_store_low(out, cv::v_pack(rounded, rounded));
        } else {
          alignas(16) std::uint8_t bytes[2 * kLanes];
          cv::v_store_low(bytes, cv::v_pack(rounded, rounded));
          std::copy_n(bytes, outValues - j, out);
        }
      }
    }
  }
  destination = result;
}

void ConvertBgrToBgra(const cv::Mat& bgr, cv::Mat& bgra) {
  if (bgr.empty() || bgr.type() != CV_8UC3) {
    bgra.release();
    return;
  }
  bgra.create(bgr.size(), CV_8UC4);
  const cv::v_uint8x16 opaque = cv::v_setall_u8(255);
  for (int y = 0; y < bgr.rows; ++y) {
    const std::uint8_t* in = bgr.ptr<std::uint8_t>(y);
    std::uint8_t* out = bgra.ptr<std::uint8_t>(y);
    int x = 0;
    for (; x + 16 <= bgr.cols; x += 16) {
      cv::v_uint8x16 b, g, r;
      cv::v_load_deinterleave(in + 3 * x, b, g, r);
      cv::v_store_interleave(out + 4 * x, b, g, r, opaque);
    }
    for (; x < bgr.cols; ++x) {
      out[4 * x] = in[3 * x];
      out[4 * x + 1] = in[3 * x + 1];
      out[4 * x + 2] = in[3 * x + 2];
      out[4 * x + 3] = 255;
    }
  }
}

}  // namespace orvane
