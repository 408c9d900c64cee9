#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "ocr/feature_extractor.h"

namespace orvane::ocr {

namespace {

// Linear split of a continuous block coordinate between the two nearest block centres.
struct BlockShare {
  int low, high;
  float lowWeight, highWeight;
};

BlockShare SplitOntoBlocks(float a, int blocks) {
  // Clamped on both ends: images whose side is not a multiple of the block count reach past the
  // last block centre.
  const int low = std::clamp(static_cast<int>(a - 0.5f), 0, blocks - 1);
  const int high = std::clamp(static_cast<int>(a + 0.5f), 0, blocks - 1);
  if (low == high) return {low, high, 1.0f, 0.0f};
  return {low, high, high + 0.5f - a, a - (low + 0.5f)};
}

}  // namespace

OcrMatrixPtr CGradientFeatureExtractorImp::Extract(const OcrMatrix& image, int) {
  if (image.type != kOcrUInt8 || !image.HasElements()) return nullptr;
  const int height = image.rows, width = image.cols;
  OcrMatrixPtr features = CreateOcrMatrix(kOcrFloat, 1, rowBlocks_ * columnBlocks_ * directions_);
  if (!features) return nullptr;
  float* hist = features->As<float>();
  if (height == 0 || width == 0) return features;

  // Padded copy with a one-pixel zero border, contrast-normalised so that ink averages 200.
  const int stride = width + 2;
  std::vector<float> padded(static_cast<std::size_t>(height + 2) * stride, 0.0f);
  float inkSum = 0.0f;
  int inkCount = 0;
  for (int r = 0; r < height; ++r) {
    for (int c = 0; c < width; ++c) {
      const float v = image.data[static_cast<std::size_t>(r) * width + c];
      padded[static_cast<std::size_t>(r + 1) * stride + c + 1] = v;
      if (v >= 1.0f) {
        inkSum += v;
        ++inkCount;
      }
    }
  }
  if (inkCount == 0) return features;  // no ink: no gradient anywhere
  const float mean = inkSum / static_cast<float>(inkCount);
  for (float& v : padded) {
    if (v >= 1.0f) v = v / mean * 200.0f;
  }

  const float step = 2.0f * std::numbers::pi_v<float> / static_cast<float>(directions_);
  const float sinStep = std::sin(step);
  // A gradient between directions k and k + 1 is their sum a u(k) + b u(k + 1), with a and b its
  // cross products with u(k + 1) and u(k) over sin(step): the shares by the sines of its angles to
  // both, without finding the angle itself. It lies there when its cross product with u(k) is not
  // negative and the one with u(k + 1) is.
  std::vector<float> cosines(static_cast<std::size_t>(directions_));
  std::vector<float> sines(static_cast<std::size_t>(directions_));
  for (int k = 0; k < directions_; ++k) {
    cosines[k] = std::cos(k * step);
    sines[k] = std::sin(k * step);
  }
  auto across = [&](int k, float gx, float gy) { return cosines[k] * gy - sines[k] * gx; };
  const float rowBlockSize = static_cast<float>(std::max(height / rowBlocks_, 1));
  const float columnBlockSize = static_cast<float>(std::max(width / columnBlocks_, 1));
  for (int r = 1; r <= height; ++r) {
    const float* up = &padded[static_cast<std::size_t>(r - 1) * stride];
    const float* mid = &padded[static_cast<std::size_t>(r) * stride];
    const float* down = &padded[static_cast<std::size_t>(r + 1) * stride];
    const BlockShare rowShare = SplitOntoBlocks((r - 1 + 0.5f) / rowBlockSize, rowBlocks_);
    for (int c = 1; c <= width; ++c) {
      const float gy = down[c - 1] + 2.0f * down[c] + down[c + 1] - up[c - 1] - 2.0f * up[c] - up[c + 1];
      const float gx = up[c + 1] + 2.0f * mid[c + 1] + down[c + 1] - up[c - 1] - 2.0f * mid[c - 1] - down[c - 1];
      if (gx == 0.0f && gy == 0.0f) continue;  // contributes nothing
      int k = -1;
      float before = across(0, gx, gy);
      for (int d = 0; d < directions_; ++d) {
        const float after = across((d + 1) % directions_, gx, gy);
        if (before >= 0.0f && after < 0.0f) {
          k = d;
          break;
        }
        before = after;
      }
      float share[2];
      if (k >= 0) {
        share[0] = -across((k + 1) % directions_, gx, gy) / sinStep;
        share[1] = across(k, gx, gy) / sinStep;
      } else {
        // Rounding put the gradient on no side of a boundary: the angle decides.
        const float magnitude = std::sqrt(gx * gx + gy * gy);
        float theta = std::atan2(gy, gx);
        if (theta < 0.0f) theta += 2.0f * std::numbers::pi_v<float>;
        // A tiny negative angle plus 2 pi rounds to 2 pi itself: the last sector, not a ninth.
        k = std::min(static_cast<int>(theta / step), directions_ - 1);
        const float t = (k + 1) * step - theta;
        share[0] = magnitude * std::sin(t) / sinStep;
        share[1] = magnitude * std::sin(step - t) / sinStep;
      }
      const int direction[2] = {k, (k + 1) % directions_};

      const BlockShare columnShare = SplitOntoBlocks((c - 1 + 0.5f) / columnBlockSize, columnBlocks_);
      const int rowBlock[2] = {rowShare.low, rowShare.high};
      const float rowWeight[2] = {rowShare.lowWeight, rowShare.highWeight};
      const int columnBlock[2] = {columnShare.low, columnShare.high};
      const float columnWeight[2] = {columnShare.lowWeight, columnShare.highWeight};
      for (int i = 0; i < 2; ++i) {
        if (rowWeight[i] == 0.0f) continue;
        for (int j = 0; j < 2; ++j) {
          if (columnWeight[j] == 0.0f) continue;
          float* cell = hist + (static_cast<std::size_t>(rowBlock[i]) * columnBlocks_ + columnBlock[j]) * directions_;
          const float weight = rowWeight[i] * columnWeight[j];
          cell[direction[0]] += weight * share[0];
          cell[direction[1]] += weight * share[1];
        }
      }
    }
  }
  return features;
}

}  // namespace orvane::ocr
