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

constexpr std::uint32_t kHalf = 1u << (2 * kWeightBits - 1);

// One destination row from a row already shrunk down: fixed tap and channel counts unroll into
// straight-line code, which is most of the speed.
template <int Channels, int Count>
void ShrinkRowFixed(const std::uint16_t* column, const Taps& across, int width, std::uint8_t* out) {
  for (int x = 0; x < width; ++x) {
    const std::uint16_t* weights = &across.weights[static_cast<std::size_t>(x) * Count];
    const std::uint16_t* from = column + static_cast<std::size_t>(across.first[x]) * Channels;
    std::uint32_t total[Channels] = {};
    for (int k = 0; k < Count; ++k)
      for (int c = 0; c < Channels; ++c) total[c] += static_cast<std::uint32_t>(from[k * Channels + c]) * weights[k];
    for (int c = 0; c < Channels; ++c)
      out[x * Channels + c] = static_cast<std::uint8_t>((total[c] + kHalf) >> (2 * kWeightBits));
  }
}

void ShrinkRow(const std::uint16_t* column, const Taps& across, int channels, int width, std::uint8_t* out) {
  if (channels == 3 && across.count == 2) return ShrinkRowFixed<3, 2>(column, across, width, out);
  if (channels == 3 && across.count == 3) return ShrinkRowFixed<3, 3>(column, across, width, out);
  if (channels == 3 && across.count == 4) return ShrinkRowFixed<3, 4>(column, across, width, out);
  if (channels == 3 && across.count == 5) return ShrinkRowFixed<3, 5>(column, across, width, out);
  for (int x = 0; x < width; ++x) {
    const std::uint16_t* weights = &across.weights[static_cast<std::size_t>(x) * across.count];
    const std::uint16_t* from = column + static_cast<std::size_t>(across.first[x]) * channels;
    for (int c = 0; c < channels; ++c) {
      std::uint32_t total = 0;
      for (int k = 0; k < across.count; ++k) total += static_cast<std::uint32_t>(from[k * channels + c]) * weights[k];
      out[x * channels + c] = static_cast<std::uint8_t>((total + kHalf) >> (2 * kWeightBits));
    }
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
  cv::Mat result(size, source.type());
  // Down first: each destination row is a weighted sum of a few whole source rows, which the
  // compiler turns into wide vector code; the row then shrinks across.
  // Padded so that the zero-weight taps past the last pixel read zeros, not past the end.
  std::vector<std::uint16_t> column(static_cast<std::size_t>(rowValues + across.count * channels), 0);
  for (int y = 0; y < size.height; ++y) {
    const std::uint16_t* rowWeights = &down.weights[static_cast<std::size_t>(y) * down.count];
    std::fill(column.begin(), column.begin() + rowValues, std::uint16_t{0});
    for (int k = 0; k < down.count; ++k) {
      const std::uint16_t weight = rowWeights[k];
      if (weight == 0) continue;
      const std::uint8_t* in = source.ptr<std::uint8_t>(down.first[y] + k);
      std::uint16_t* sum = column.data();
      // 255 x 256 fits in 16 bits, and the weights of one destination row add up to 256.
      for (int x = 0; x < rowValues; ++x) sum[x] = static_cast<std::uint16_t>(sum[x] + in[x] * weight);
    }
    ShrinkRow(column.data(), across, channels, size.width, result.ptr<std::uint8_t>(y));
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
