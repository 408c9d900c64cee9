#include <algorithm>
#include <functional>
#include <map>

#include "ocr/feature_extractor.h"
#include "ocr/image_processor.h"

namespace orvane::ocr {

namespace {

bool IsByteImage(const OcrMatrix& image) { return image.type == kOcrUInt8 && image.HasElements(); }

std::uint8_t PixelAt(const OcrMatrix& image, int r, int c) {
  return image.data[static_cast<std::size_t>(r) * image.cols + c];
}

// Zone of a coordinate: integer zone sizes, the remainder of a side that is no multiple of the
// zone count falling into the last zone.
int ZoneOf(int coordinate, int side, int zones) {
  return std::min(coordinate / std::max(side / zones, 1), zones - 1);
}

BinaryImage Binarize(const OcrMatrix& image, int border) {
  BinaryImage out(image.rows + 2 * border, image.cols + 2 * border);
  for (int r = 0; r < image.rows; ++r)
    for (int c = 0; c < image.cols; ++c) out.At(r + border, c + border) = PixelAt(image, r, c) != 0;
  return out;
}

}  // namespace

OcrMatrixPtr CCrossLineFeatureExtractor::Extract(const OcrMatrix& image, int) {
  if (!IsByteImage(image)) return nullptr;
  OcrMatrixPtr features = CreateOcrMatrix(kOcrInt32, 64, 4);
  if (!features) return nullptr;
  std::int32_t* counts = features->As<std::int32_t>();
  const int minimum = runStep_ * minimumRun_;
  // Horizontal, vertical, rising diagonal (towards the upper right), falling diagonal.
  const int rowStep[4] = {0, 1, -1, 1};
  const int columnStep[4] = {1, 0, 1, 1};
  const BinaryImage ink = Binarize(image, 0);
  std::vector<std::uint8_t> flagged(ink.pixels.size());
  for (int plane = 0; plane < 4; ++plane) {
    std::fill(flagged.begin(), flagged.end(), 0);
    for (int r = 0; r < ink.rows; ++r) {
      for (int c = 0; c < ink.cols; ++c) {
        // Start only at the first pixel of a run, then flag the whole run when it is long enough.
        if (!ink.Ink(r, c) || ink.Ink(r - rowStep[plane], c - columnStep[plane])) continue;
        int length = 0;
        while (ink.Ink(r + length * rowStep[plane], c + length * columnStep[plane])) ++length;
        if (length < minimum) continue;
        for (int i = 0; i < length; ++i) flagged[ink.Index(r + i * rowStep[plane], c + i * columnStep[plane])] = 1;
      }
    }
    for (int r = 0; r < ink.rows; ++r) {
      for (int c = 0; c < ink.cols; ++c) {
        if (flagged[ink.Index(r, c)]) ++counts[plane * 64 + ZoneOf(r, ink.rows, 8) * 8 + ZoneOf(c, ink.cols, 8)];
      }
    }
  }
  return features;
}

namespace {

// Ink-weighted mean index of run `k` (0 first, 1 second) of a line read through `value(i)`;
// length - 1 when the line has fewer runs.
template <class Value>
float RunPosition(int length, int k, Value value) {
  int run = -1;
  double weighted = 0.0, total = 0.0;
  for (int i = 0; i < length; ++i) {
    const int v = value(i);
    if (v != 0 && (i == 0 || value(i - 1) == 0)) ++run;
    if (v != 0 && run == k) {
      weighted += static_cast<double>(i) * v;
      total += v;
    }
    if (run > k) break;
  }
  return total > 0.0 ? static_cast<float>(weighted / total) : static_cast<float>(length - 1);
}

}  // namespace

OcrMatrixPtr CStrokePosFeatureExtractorImp::Extract(const OcrMatrix& image, int) {
  if (!IsByteImage(image)) return nullptr;
  const int height = image.rows, width = image.cols;
  OcrMatrixPtr features = CreateOcrMatrix(kOcrFloat, 1, 4 * width + 4 * height);
  if (!features) return nullptr;
  float* out = features->As<float>();
  for (int r = 0; r < height; ++r) {
    auto forward = [&](int i) { return static_cast<int>(PixelAt(image, r, i)); };
    auto backward = [&](int i) { return static_cast<int>(PixelAt(image, r, width - 1 - i)); };
    *out++ = RunPosition(width, 0, forward);
    *out++ = RunPosition(width, 1, forward);
    *out++ = RunPosition(width, 0, backward);
    *out++ = RunPosition(width, 1, backward);
  }
  for (int c = 0; c < width; ++c) {
    auto down = [&](int i) { return static_cast<int>(PixelAt(image, i, c)); };
    auto up = [&](int i) { return static_cast<int>(PixelAt(image, height - 1 - i, c)); };
    *out++ = RunPosition(height, 0, down);
    *out++ = RunPosition(height, 1, down);
    *out++ = RunPosition(height, 0, up);
    *out++ = RunPosition(height, 1, up);
  }
  return features;
}

namespace {

// Layer 1: background before the first ink (the whole length without ink); layer 2: background
// between the end of the first run and the next ink (0 when there is none).
template <class Ink>
void Peripheral(int length, Ink ink, int& first, int& second) {
  int i = 0;
  while (i < length && !ink(i)) ++i;
  first = i;
  second = 0;
  if (i == length) return;
  while (i < length && ink(i)) ++i;
  int gap = 0;
  while (i + gap < length && !ink(i + gap)) ++gap;
  if (i + gap < length) second = gap;
}

}  // namespace

OcrMatrixPtr CPeripheralFeatureExtractorImp::Extract(const OcrMatrix& image, int) {
  if (!IsByteImage(image)) return nullptr;
  const int height = image.rows, width = image.cols;
  OcrMatrixPtr features = CreateOcrMatrix(kOcrInt32, 2, 32);
  if (!features) return nullptr;
  std::int32_t* layer1 = features->As<std::int32_t>();
  std::int32_t* layer2 = layer1 + 32;
  auto add = [&](int slot, int first, int second) {
    layer1[slot] += first;
    layer2[slot] += second;
  };
  int first = 0, second = 0;
  for (int r = 0; r < height; ++r) {
    const int zone = ZoneOf(r, height, rowZones_);
    Peripheral(width, [&](int i) { return PixelAt(image, r, i) != 0; }, first, second);  // from the left
    add(zone, first, second);
    Peripheral(width, [&](int i) { return PixelAt(image, r, width - 1 - i) != 0; }, first, second);  // right
    add(16 + zone, first, second);
  }
  for (int c = 0; c < width; ++c) {
    const int zone = ZoneOf(c, width, columnZones_);
    Peripheral(height, [&](int i) { return PixelAt(image, height - 1 - i, c) != 0; }, first, second);  // bottom
    add(8 + zone, first, second);
    Peripheral(height, [&](int i) { return PixelAt(image, i, c) != 0; }, first, second);  // from the top
    add(24 + zone, first, second);
  }
  return features;
}

OcrMatrixPtr CCICLPFFeatureExtractorImp::Extract(const OcrMatrix& image, int) {
  if (!IsByteImage(image)) return nullptr;
  const int height = image.rows, width = image.cols;
  OcrMatrixPtr features = CreateOcrMatrix(kOcrInt32, 4, zoneRows_ * zoneColumns_);
  if (!features) return nullptr;
  std::int32_t* counts = features->As<std::int32_t>();
  const int zones = zoneRows_ * zoneColumns_;

  CImageProcessor processor;
  const BinaryImage bordered = Binarize(image, 1);
  BinaryImage thinned = bordered;
  processor.Thin(thinned, bordered);
  processor.CleanEndPoints(thinned);
  const BinaryImage input = Binarize(image, 0);

  for (int r = 0; r < height; ++r) {
    for (int c = 0; c < width; ++c) {
      if (!thinned.Ink(r + 1, c + 1)) continue;
      // Horizontal, vertical, diagonal, anti-diagonal: opposite runs through the pixel plus itself.
      const int lengths[4] = {
          processor.RunLength(input, r, c, 5) + processor.RunLength(input, r, c, 1) + 1,
          processor.RunLength(input, r, c, 7) + processor.RunLength(input, r, c, 3) + 1,
          processor.RunLength(input, r, c, 6) + processor.RunLength(input, r, c, 2) + 1,
          processor.RunLength(input, r, c, 8) + processor.RunLength(input, r, c, 4) + 1,
      };
      // Ranked by length, each length once: of equal lengths only the first orientation counts.
      std::map<int, int, std::greater<int>> ranked;
      for (int orientation = 0; orientation < 4; ++orientation) ranked.emplace(lengths[orientation], orientation);
      auto longest = ranked.begin();
      if (longest->first < minimumLine_) continue;
      const int zone = ZoneOf(r, height, zoneRows_) * zoneColumns_ + ZoneOf(c, width, zoneColumns_);
      ++counts[longest->second * zones + zone];
      auto second = std::next(longest);
      if (second != ranked.end() && second->first >= minimumLine_ && second->first >= longest->first - 1) {
        ++counts[second->second * zones + zone];
      }
    }
  }
  return features;
}

}  // namespace orvane::ocr
