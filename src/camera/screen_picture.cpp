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
// own). The tables say, block by block of destination pixels, which window values each takes.
struct WithinHalfTables {
  static constexpr int kWindow = 64;  // 16-bit values two registers hold
  static constexpr int kLanes16 = 32;
  int channels = 0;
  int outChannels = 0;
  int width = 0;
  int pixels = 0;  // a block's
  int blocks = 0;
  std::vector<int> starts;
  std::vector<std::uint16_t> indices;
  std::vector<std::uint16_t> weights;
};

// False when a block's taps do not fit its window.
bool BuildWithinHalf(const Taps& across, const std::vector<std::uint16_t>& acrossWeights, int channels,
                     int outChannels, int width, WithinHalfTables& t) {
  constexpr int kWindow = WithinHalfTables::kWindow;
  constexpr int kLanes16 = WithinHalfTables::kLanes16;
  t.channels = channels;
  t.outChannels = outChannels;
  t.width = width;
  // Pixels a block: their values fill at most one register, and their taps' values the window.
  t.pixels = std::min(kLanes16 / outChannels, (kWindow / channels - 1) / 2);
  t.blocks = (width + t.pixels - 1) / t.pixels;
  t.starts.assign(static_cast<std::size_t>(t.blocks), 0);
  t.indices.assign(static_cast<std::size_t>(t.blocks) * 3 * kLanes16, 0);
  t.weights.assign(static_cast<std::size_t>(t.blocks) * 3 * kLanes16, 0);
  for (int b = 0; b < t.blocks; ++b) {
    const int x0 = b * t.pixels;
    const int n = std::min(t.pixels, width - x0);
    t.starts[b] = across.first[x0] * channels;
    for (int j = 0; j < n * outChannels; ++j) {
      const int x = x0 + j / outChannels;
      const int channel = j % outChannels;
      if (channel >= channels) continue;  // the alpha lane: no weight, set opaque on the way out
      for (int k = 0; k < across.count; ++k) {
        const int index = (across.first[x] + k) * channels + channel - t.starts[b];
        if (index >= kWindow) return false;
        const std::size_t at = (static_cast<std::size_t>(b) * 3 + k) * kLanes16 + j;
        t.indices[at] = static_cast<std::uint16_t>(index);
        t.weights[at] = acrossWeights[static_cast<std::size_t>(x) * across.count + k];
      }
    }
  }
  return true;
}

// Destination rows [y0, y1), blocks [b0, b1) of each (all of them by default). `summed` holds one
// summed row, with zeros past its end for the last windows (its size stays from call to call);
// only the part the blocks read is summed.
__attribute__((target("avx512f,avx512bw,avx512vl"))) void RowsWithinHalf(const cv::Mat& source, cv::Mat& result,
                                                                        const WithinHalfTables& t, const Taps& across,
                                                                        const Taps& down, int y0, int y1,
                                                                        std::vector<std::uint16_t>& summed,
                                                                        int b0 = 0, int b1 = -1) {
  constexpr int kWindow = WithinHalfTables::kWindow;
  constexpr int kLanes16 = WithinHalfTables::kLanes16;
  const int rowValues = source.cols * t.channels;
  if (summed.size() < static_cast<std::size_t>(rowValues) + kWindow) summed.assign(static_cast<std::size_t>(rowValues) + kWindow, 0);
  if (b1 < 0) b1 = t.blocks;
  if (b0 >= b1) return;
  const int firstValue = t.starts[static_cast<std::size_t>(b0)];
  const int lastValue = std::min(t.starts[static_cast<std::size_t>(b1 - 1)] + kWindow, rowValues);
  const __m512i half = _mm512_set1_epi16(kWeightOne / 2);
  const __m256i opaque =
      t.outChannels > t.channels ? _mm256_set1_epi32(static_cast<int>(0xFF000000u)) : _mm256_setzero_si256();
  for (int y = y0; y < y1; ++y) {
    const std::uint16_t* rowWeights = &down.weights[static_cast<std::size_t>(y) * down.count];
    int x = firstValue;
    for (; x + kLanes16 <= lastValue; x += kLanes16) {
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
    for (; x < lastValue; ++x) {
      unsigned total = 0;
      for (int k = 0; k < down.count; ++k)
        if (rowWeights[k] != 0) total += source.ptr<std::uint8_t>(down.first[y] + k)[x] * rowWeights[k];
      summed[x] = static_cast<std::uint16_t>(total);
    }
    std::uint8_t* out = result.ptr<std::uint8_t>(y);
    for (int b = b0; b < b1; ++b) {
      const std::uint16_t* window = &summed[static_cast<std::size_t>(t.starts[b])];
      const __m512i low = _mm512_loadu_si512(window);
      const __m512i high = _mm512_loadu_si512(window + kLanes16);
      __m512i total = _mm512_setzero_si512();
      for (int k = 0; k < across.count; ++k) {
        const std::size_t at = (static_cast<std::size_t>(b) * 3 + k) * kLanes16;
        const __m512i taken = _mm512_permutex2var_epi16(low, _mm512_loadu_si512(&t.indices[at]), high);
        total = _mm512_add_epi16(total, _mm512_mulhi_epu16(taken, _mm512_loadu_si512(&t.weights[at])));
      }
      const __m256i bytes = _mm256_or_si256(
          _mm512_maskz_cvtepi16_epi8(~__mmask32{0}, _mm512_srli_epi16(_mm512_add_epi16(total, half), kWeightBits)),
          opaque);
      const int n = std::min(t.pixels, t.width - b * t.pixels) * t.outChannels;
      _mm256_mask_storeu_epi8(out + b * t.pixels * t.outChannels, static_cast<__mmask32>((1ULL << n) - 1), bytes);
    }
  }
}

// The general path's buffers, kept from call to call.
struct LaneBuffers {
  std::vector<std::uint16_t> rows;
  std::vector<std::uint16_t> lanes;
  std::vector<std::uint16_t> shrunk;
  std::vector<std::uint8_t> row;  // one destination row before it goes into a 4-channel result
};

// Destination rows [y0, y1), y0 a multiple of kLanes: each group of eight rows summed down, turned
// into lanes, shrunk across with the same taps for all eight, and turned back. A 3-channel source
// may go into a 4-channel result, written opaque.
void RowsByLanes(const cv::Mat& source, cv::Mat& result, const Taps& across,
                 const std::vector<std::uint16_t>& acrossWeights, const Taps& down, int y0, int y1, LaneBuffers& b) {
  const int channels = source.channels();
  const int rowValues = source.cols * channels;
  const int outValues = result.cols * channels;
  const int height = result.rows;
  // Padded so that the zero-weight taps past the last pixel read zeros, and to whole blocks of
  // eight for the transposes.
  const int paddedValues = (rowValues + across.count * channels + kLanes - 1) / kLanes * kLanes;
  const int paddedOut = (outValues + kLanes - 1) / kLanes * kLanes;
  b.rows.assign(static_cast<std::size_t>(kLanes) * paddedValues, 0);
  b.lanes.resize(static_cast<std::size_t>(kLanes) * paddedValues);
  b.shrunk.assign(static_cast<std::size_t>(kLanes) * paddedOut, 0);
  if (result.channels() > channels) b.row.resize(static_cast<std::size_t>(kLanes) * paddedOut);
  for (int g = y0; g < y1; g += kLanes) {
    // Down: each destination row is a weighted sum of a few whole source rows (wide vector code
    // from the compiler), in 8-bit fixed point. Rows past the last repeat it.
    for (int lane = 0; lane < kLanes; ++lane) {
      const int y = std::min(g + lane, height - 1);
      const std::uint16_t* rowWeights = &down.weights[static_cast<std::size_t>(y) * down.count];
      std::uint16_t* sum = &b.rows[static_cast<std::size_t>(lane) * paddedValues];
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
          cv::v_uint16x8 a, c;
          cv::v_expand(cv::v_load(in[k] + x), a, c);
          const cv::v_uint16x8 w = cv::v_setall_u16(weight[k]);
          low += cv::v_mul_wrap(a, w);
          high += cv::v_mul_wrap(c, w);
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
        block[lane] = cv::v_load(&b.rows[static_cast<std::size_t>(lane) * paddedValues + i]);
      Transpose8x8(block);
      for (int q = 0; q < kLanes; ++q) cv::v_store(&b.lanes[static_cast<std::size_t>(i + q) * kLanes], block[q]);
    }
    // Across: the same taps for all eight rows.
    for (int x = 0; x < result.cols; ++x) {
      const std::uint16_t* weights = &acrossWeights[static_cast<std::size_t>(x) * across.count];
      const std::size_t first = static_cast<std::size_t>(across.first[x]) * channels;
      for (int c = 0; c < channels; ++c) {
        cv::v_uint16x8 total = cv::v_setzero_u16();
        for (int k = 0; k < across.count; ++k)
          total += cv::v_mul_hi(cv::v_load(&b.lanes[(first + static_cast<std::size_t>(k) * channels + c) * kLanes]),
                                cv::v_setall_u16(weights[k]));
        cv::v_store(&b.shrunk[static_cast<std::size_t>(x * channels + c) * kLanes], total);
      }
    }
    // Back to rows, rounded to 8 bits; rows for a 4-channel result wait in `row` to be spread out.
    const cv::v_uint16x8 half = cv::v_setall_u16(kWeightOne / 2);
    const bool opaque = result.channels() > channels;
    for (int j = 0; j < paddedOut; j += kLanes) {
      cv::v_uint16x8 block[kLanes];
      for (int q = 0; q < kLanes; ++q) block[q] = cv::v_load(&b.shrunk[static_cast<std::size_t>(j + q) * kLanes]);
      Transpose8x8(block);
      for (int lane = 0; lane < kLanes && g + lane < y1; ++lane) {
        // The totals stay under 65280 + 3, so adding the half cannot overflow.
        const cv::v_uint16x8 rounded = (block[lane] + half) >> kWeightBits;
        if (opaque) {
          cv::v_store_low(&b.row[static_cast<std::size_t>(lane) * paddedOut + j], cv::v_pack(rounded, rounded));
          continue;
        }
        std::uint8_t* out = result.ptr<std::uint8_t>(g + lane) + j;
        if (j + kLanes <= outValues) {
          cv::v_store_low(out, cv::v_pack(rounded, rounded));
        } else {
          alignas(16) std::uint8_t bytes[2 * kLanes];
          cv::v_store_low(bytes, cv::v_pack(rounded, rounded));
          std::copy_n(bytes, outValues - j, out);
        }
      }
    }
    if (opaque) {
      for (int lane = 0; lane < kLanes && g + lane < y1; ++lane) {
        const cv::Mat values(1, result.cols, CV_8UC3, &b.row[static_cast<std::size_t>(lane) * paddedOut]);
        cv::Mat out = result.row(g + lane);
        ConvertBgrToBgra(values, out);
      }
    }
  }
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
  // Written in place when the destination has the size already (a fresh buffer costs its page
  // faults every frame).
  const bool apart = destination.datastart >= source.dataend || destination.dataend <= source.datastart;
  const bool reusable = destination.size() == size && destination.type() == source.type() && destination.data != nullptr &&
                        apart;
  cv::Mat result = reusable ? destination : cv::Mat(size, source.type());
  StreamedShrink shrink;
  shrink.Start(source.size(), source.type(), result);
  shrink.AddRows(source, source.rows);
  destination = result;
}

void ShrinkIntoBgra(const cv::Mat& bgr, cv::Mat& bgra) {
  if (bgr.type() != CV_8UC3 || bgra.type() != CV_8UC4 || bgra.empty()) return;
  StreamedShrink shrink;
  if (shrink.Start(bgr.size(), bgr.type(), bgra)) {
    shrink.AddRows(bgr, bgr.rows);
    return;
  }
  cv::Mat shrunk;
  ShrinkByAreaAverage(bgr, shrunk, bgra.size());
  ConvertBgrToBgra(shrunk, bgra);
}

struct StreamedShrink::Plan {
  Taps across;
  Taps down;
  std::vector<std::uint16_t> acrossWeights;
  std::vector<int> lastRow;  // per destination row, the last source row it reads
  bool withinHalf = false;
  WithinHalfTables tables;
  std::vector<std::uint16_t> summed;
  std::vector<std::uint16_t> refreshSums;
  LaneBuffers lanes;
};

StreamedShrink::StreamedShrink() = default;
StreamedShrink::~StreamedShrink() = default;
StreamedShrink::StreamedShrink(StreamedShrink&&) noexcept = default;
StreamedShrink& StreamedShrink::operator=(StreamedShrink&&) noexcept = default;

bool StreamedShrink::Start(cv::Size source, int sourceType, cv::Mat result) {
  plan_.reset();
  result_ = cv::Mat();
  done_ = 0;
  const int channels = CV_MAT_CN(sourceType);
  const bool layout = result.channels() == channels || (channels == 3 && result.channels() == 4);
  // Beyond kLargestStep the whole-number weights get too coarse for one grey level.
  if (result.empty() || result.depth() != CV_8U || CV_MAT_DEPTH(sourceType) != CV_8U || !layout ||
      result.cols > source.width || result.rows > source.height || source.width > kLargestStep * result.cols ||
      source.height > kLargestStep * result.rows)
    return false;
  result_ = result;
  source_ = source;
  channels_ = channels;
  if (source == result.size()) return true;  // a plain copy, row by row
  auto plan = std::make_unique<Plan>();
  plan->across = ComputeTaps(source.width, result.cols);
  plan->down = ComputeTaps(source.height, result.rows);
  plan->acrossWeights = HighHalfWeights(plan->across);
  plan->lastRow.resize(static_cast<std::size_t>(result.rows));
  for (int y = 0; y < result.rows; ++y) {
    int last = plan->down.first[y];
    for (int k = 0; k < plan->down.count; ++k)
      if (plan->down.weights[static_cast<std::size_t>(y) * plan->down.count + k] != 0) last = plan->down.first[y] + k;
    plan->lastRow[static_cast<std::size_t>(y)] = last;
  }
  plan->withinHalf = plan->across.count <= 3 && HasAvx512Bw() &&
                     BuildWithinHalf(plan->across, plan->acrossWeights, channels, result.channels(), result.cols,
                                     plan->tables);
  plan_ = std::move(plan);
  return true;
}

void StreamedShrink::AddRows(const cv::Mat& source, int rows) {
  if (result_.empty() || source.size() != source_ || source.channels() != channels_) return;
  rows = std::min(rows, source.rows);
  if (!plan_) {
    // The same size: the rows copied, into the screen's layout where the result has four channels.
    if (rows <= done_) return;
    const cv::Mat part = source.rowRange(done_, rows);
    cv::Mat out = result_.rowRange(done_, rows);
    if (out.channels() == part.channels()) part.copyTo(out);
    else ConvertBgrToBgra(part, out);
    done_ = rows;
    return;
  }
  Plan& p = *plan_;
  int ready = done_;
  while (ready < result_.rows && p.lastRow[static_cast<std::size_t>(ready)] < rows) ++ready;
  if (p.withinHalf) {
    if (ready > done_) RowsWithinHalf(source, result_, p.tables, p.across, p.down, done_, ready, p.summed);
    done_ = ready;
    return;
  }
  // The general path goes eight rows at a time: only whole groups, or the rest at the end.
  const int whole = ready == result_.rows ? ready : done_ + (ready - done_) / kLanes * kLanes;
  if (whole > done_) RowsByLanes(source, result_, p.across, p.acrossWeights, p.down, done_, whole, p.lanes);
  done_ = whole;
}

void StreamedShrink::Refresh(const cv::Mat& source, const cv::Rect& changed) {
  if (result_.empty() || source.size() != source_ || source.channels() != channels_) return;
  const cv::Rect area = changed & cv::Rect(0, 0, source_.width, source_.height);
  if (area.empty()) return;
  if (!plan_) {
    const cv::Mat part = source(area);
    cv::Mat out = result_(area);
    if (out.channels() == part.channels()) part.copyTo(out);
    else ConvertBgrToBgra(part, out);
    return;
  }
  Plan& p = *plan_;
  // The destination pixels whose taps reach into the area: a destination index i reads source
  // indices first[i] to first[i] + count - 1.
  const auto span = [](const Taps& taps, int low, int high, int length) {
    const auto begin = std::lower_bound(taps.first.begin(), taps.first.begin() + length, low - taps.count + 1);
    const auto end = std::upper_bound(begin, taps.first.begin() + length, high);
    return std::pair{static_cast<int>(begin - taps.first.begin()), static_cast<int>(end - taps.first.begin())};
  };
  const auto [x0, x1] = span(p.across, area.x, area.x + area.width - 1, result_.cols);
  const auto [y0, y1] = span(p.down, area.y, area.y + area.height - 1, result_.rows);
  if (x0 >= x1 || y0 >= y1) return;
  if (p.withinHalf) {
    // The vector path over the blocks that hold those pixels: the others in them come out as
    // they are, from the same source.
    const int pixels = p.tables.pixels;
    RowsWithinHalf(source, result_, p.tables, p.across, p.down, y0, y1, p.summed, x0 / pixels,
                   (x1 + pixels - 1) / pixels);
    return;
  }
  const int outChannels = result_.channels();
  // With the very sums of the vector paths: each source value under the area summed down once per
  // row in 16-bit products, then the high halves of 16-bit products across, rounded.
  const int c0 = p.across.first[x0];
  const int c1 = std::min(p.across.first[x1 - 1] + p.across.count, source_.width);
  std::vector<std::uint16_t>& summed = p.refreshSums;
  if (summed.size() < static_cast<std::size_t>(c1 - c0) * channels_) summed.resize(static_cast<std::size_t>(c1 - c0) * channels_);
  for (int y = y0; y < y1; ++y) {
    const std::uint16_t* rowWeights = &p.down.weights[static_cast<std::size_t>(y) * p.down.count];
    const int values = (c1 - c0) * channels_;
    std::fill_n(summed.begin(), values, std::uint16_t{0});
    for (int j = 0; j < p.down.count; ++j) {
      if (rowWeights[j] == 0) continue;
      const std::uint8_t* in = source.ptr<std::uint8_t>(p.down.first[y] + j) + c0 * channels_;
      const std::uint16_t weight = rowWeights[j];
      for (int i = 0; i < values; ++i) summed[i] = static_cast<std::uint16_t>(summed[i] + in[i] * weight);
    }
    std::uint8_t* out = result_.ptr<std::uint8_t>(y);
    for (int x = x0; x < x1; ++x) {
      const std::uint16_t* weights = &p.acrossWeights[static_cast<std::size_t>(x) * p.across.count];
      for (int c = 0; c < channels_; ++c) {
        std::uint16_t total = 0;
        for (int k = 0; k < p.across.count; ++k) {
          const int column = p.across.first[x] + k;
          if (weights[k] == 0 || column >= source_.width) continue;
          const unsigned value = summed[static_cast<std::size_t>(column - c0) * channels_ + c];
          total = static_cast<std::uint16_t>(total + ((value * weights[k]) >> 16));
        }
        out[x * outChannels + c] = static_cast<std::uint8_t>((total + kWeightOne / 2) >> kWeightBits);
      }
      if (outChannels > channels_) out[x * outChannels + 3] = 255;
    }
  }
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
