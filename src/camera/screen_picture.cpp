#include "camera/screen_picture.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include <immintrin.h>

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

bool HasAvx512Bw() {
  static const bool has = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                          __builtin_cpu_supports("avx512vl");
  return has;
}

// Shrinks to at most half of each side, the live view's shrinks (its decode has taken all but the
// last factor of two away), with AVX-512: each destination row summed down from the source rows
// under it, then across with 16-bit gathers out of a 64-value window, which replaces the
// transposes of the general path. The same fixed-point sums value for value. A 3-channel source
// may go into a 4-channel result, written opaque (the screen's layout, without a pass of its
// own). False, with nothing written, when a block's taps do not fit its window.
__attribute__((target("avx512f,avx512bw,avx512vl"))) bool ShrinkWithinHalf(
    const cv::Mat& source, cv::Mat& result, const Taps& across, const std::vector<std::uint16_t>& acrossWeights,
    const Taps& down) {
  constexpr int kWindow = 64;  // 16-bit values two registers hold
  constexpr int kLanes16 = 32;
  const int channels = source.channels();
  const int outChannels = result.channels();
  const int width = result.cols;
  const int rowValues = source.cols * channels;
  // Pixels a block: their values fill at most one register, and their taps' values the window.
  const int pixels = std::min(kLanes16 / outChannels, (kWindow / channels - 1) / 2);
  const int blocks = (width + pixels - 1) / pixels;
  std::vector<int> starts(static_cast<std::size_t>(blocks));
  std::vector<std::uint16_t> indices(static_cast<std::size_t>(blocks) * 3 * kLanes16, 0);
  std::vector<std::uint16_t> weights(static_cast<std::size_t>(blocks) * 3 * kLanes16, 0);
  for (int b = 0; b < blocks; ++b) {
    const int x0 = b * pixels;
    const int n = std::min(pixels, width - x0);
    starts[b] = across.first[x0] * channels;
    for (int j = 0; j < n * outChannels; ++j) {
      const int x = x0 + j / outChannels;
      const int channel = j % outChannels;
      if (channel >= channels) continue;  // the alpha lane: no weight, set opaque on the way out
      for (int k = 0; k < across.count; ++k) {
        const int index = (across.first[x] + k) * channels + channel - starts[b];
        if (index >= kWindow) return false;
        const std::size_t at = (static_cast<std::size_t>(b) * 3 + k) * kLanes16 + j;
        indices[at] = static_cast<std::uint16_t>(index);
        weights[at] = acrossWeights[static_cast<std::size_t>(x) * across.count + k];
      }
    }
  }
  // One summed row, with zeros past its end for the last windows.
  std::vector<std::uint16_t> summed(static_cast<std::size_t>(rowValues) + kWindow, 0);
  const __m512i half = _mm512_set1_epi16(kWeightOne / 2);
  const __m256i opaque =
      outChannels > channels ? _mm256_set1_epi32(static_cast<int>(0xFF000000u)) : _mm256_setzero_si256();
  for (int y = 0; y < result.rows; ++y) {
    const std::uint16_t* rowWeights = &down.weights[static_cast<std::size_t>(y) * down.count];
    int x = 0;
    for (; x + kLanes16 <= rowValues; x += kLanes16) {
      __m512i total = _mm512_setzero_si512();
      for (int k = 0; k < down.count; ++k) {
        if (rowWeights[k] == 0) continue;
        const std::uint8_t* in = source.ptr<std::uint8_t>(down.first[y] + k) + x;
        const __m512i values = _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(in)));
        const __m512i weight = _mm512_set1_epi16(static_cast<short>(rowWeights[k]));
        total = _mm512_add_epi16(total, _mm512_mullo_epi16(values, weight));
      }
      _mm512_storeu_si512(&summed[x], total);
    }
    for (; x < rowValues; ++x) {
      unsigned total = 0;
      for (int k = 0; k < down.count; ++k)
        if (rowWeights[k] != 0) total += source.ptr<std::uint8_t>(down.first[y] + k)[x] * rowWeights[k];
      summed[x] = static_cast<std::uint16_t>(total);
    }
    std::uint8_t* out = result.ptr<std::uint8_t>(y);
    for (int b = 0; b < blocks; ++b) {
      const std::uint16_t* window = &summed[static_cast<std::size_t>(starts[b])];
      const __m512i low = _mm512_loadu_si512(window);
      const __m512i high = _mm512_loadu_si512(window + kLanes16);
      __m512i total = _mm512_setzero_si512();
      for (int k = 0; k < across.count; ++k) {
        const std::size_t at = (static_cast<std::size_t>(b) * 3 + k) * kLanes16;
        const __m512i taken = _mm512_permutex2var_epi16(low, _mm512_loadu_si512(&indices[at]), high);
        total = _mm512_add_epi16(total, _mm512_mulhi_epu16(taken, _mm512_loadu_si512(&weights[at])));
      }
      const __m256i bytes = _mm256_or_si256(
          _mm512_maskz_cvtepi16_epi8(~__mmask32{0}, _mm512_srli_epi16(_mm512_add_epi16(total, half), kWeightBits)),
          opaque);
      const int n = std::min(pixels, width - b * pixels) * outChannels;
      _mm256_mask_storeu_epi8(out + b * pixels * outChannels, static_cast<__mmask32>((1ULL << n) - 1), bytes);
    }
  }
  return true;
}

// Beyond kLargestStep the whole-number weights get too coarse for one grey level; the screen
// never shrinks that far live.
bool ShrinksByTaps(const cv::Mat& source, cv::Size size) {
  return !source.empty() && source.depth() == CV_8U && size.width > 0 && size.height > 0 &&
         size.width <= source.cols && size.height <= source.rows && source.cols <= kLargestStep * size.width &&
         source.rows <= kLargestStep * size.height;
}

// The across weights as fractions of 65536 for the high half of a 16-bit product (256 / 256, a
// pixel covered whole, becomes 65535: a 1/65536 error).
std::vector<std::uint16_t> HighHalfWeights(const Taps& across) {
  std::vector<std::uint16_t> weights(across.weights.size());
  for (std::size_t i = 0; i < weights.size(); ++i)
    weights[i] = static_cast<std::uint16_t>(std::min(across.weights[i] * kWeightOne, 65535));
  return weights;
}

}  // namespace

void ShrinkByAreaAverage(const cv::Mat& source, cv::Mat& destination, cv::Size size) {
  if (!ShrinksByTaps(source, size)) {
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
  const std::vector<std::uint16_t> acrossWeights = HighHalfWeights(across);
  // Written in place when the destination has the size already (a fresh buffer costs its page
  // faults every frame).
  const bool apart = destination.datastart >= source.dataend || destination.dataend <= source.datastart;
  const bool reusable = destination.size() == size && destination.type() == source.type() && destination.data != nullptr &&
                        apart;
  cv::Mat result = reusable ? destination : cv::Mat(size, source.type());
  if (across.count <= 3 && HasAvx512Bw() && ShrinkWithinHalf(source, result, across, acrossWeights, down)) {
    destination = result;
    return;
  }
  std::vector<std::uint16_t> rows(static_cast<std::size_t>(kLanes) * paddedValues, 0);
  std::vector<std::uint16_t> lanes(static_cast<std::size_t>(kLanes) * paddedValues);
  std::vector<std::uint16_t> shrunk(static_cast<std::size_t>(kLanes) * paddedOut, 0);
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

void ShrinkIntoBgra(const cv::Mat& bgr, cv::Mat& bgra) {
  if (bgr.type() != CV_8UC3 || bgra.type() != CV_8UC4 || bgra.empty()) return;
  const cv::Size size = bgra.size();
  if (ShrinksByTaps(bgr, size) && HasAvx512Bw()) {
    const Taps across = ComputeTaps(bgr.cols, size.width);
    const Taps down = ComputeTaps(bgr.rows, size.height);
    if (across.count <= 3 && ShrinkWithinHalf(bgr, bgra, across, HighHalfWeights(across), down)) return;
  }
  cv::Mat shrunk;
  ShrinkByAreaAverage(bgr, shrunk, size);
  ConvertBgrToBgra(shrunk, bgra);
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
