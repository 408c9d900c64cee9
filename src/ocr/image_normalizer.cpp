#include "ocr/image_normalizer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include <opencv2/imgproc.hpp>

namespace orvane::ocr {

namespace {

bool IsByteImage(const OcrMatrix& image) { return image.type == kOcrUInt8 && image.HasElements(); }

struct InkBox {
  int left, top, right, bottom;
};

// The bounding box of the non-zero pixels; false when there are none.
bool FindInkBox(const OcrMatrix& image, InkBox& box) {
  box = {image.cols, image.rows, -1, -1};
  for (int y = 0; y < image.rows; ++y) {
    const std::uint8_t* row = image.data.data() + static_cast<std::size_t>(y) * image.cols;
    for (int x = 0; x < image.cols; ++x) {
      if (row[x] == 0) continue;
      box.left = std::min(box.left, x);
      box.right = std::max(box.right, x);
      box.top = std::min(box.top, y);
      box.bottom = std::max(box.bottom, y);
    }
  }
  return box.right >= 0;
}

}  // namespace

OcrMatrixPtr CLinearNormalizerImp::Normalize(const OcrMatrix& image) {
  if (!IsByteImage(image)) return nullptr;
  OcrMatrixPtr result = CreateOcrMatrix(kOcrUInt8, kNormalizedSide, kNormalizedSide);
  if (!result) return nullptr;
  InkBox box;
  if (!FindInkBox(image, box)) return result;  // nothing to frame: an empty grid

  int left = box.left, top = box.top;
  const int width = box.right - box.left + 1, height = box.bottom - box.top + 1;
  int side = width;
  if (height > width) {
    left = static_cast<int>((box.left + box.right + 1) * 0.5 - height * 0.5);
    side = height;
  } else if (width > height) {
    top = static_cast<int>((box.top + box.bottom + 1) * 0.5 - width * 0.5);
  }

  cv::Mat square(side, side, CV_8UC1, cv::Scalar(0));
  for (int y = 0; y < side; ++y) {
    const int sourceY = top + y;
    if (sourceY < 0 || sourceY >= image.rows) continue;
    const std::uint8_t* sourceRow = image.data.data() + static_cast<std::size_t>(sourceY) * image.cols;
    std::uint8_t* row = square.ptr<std::uint8_t>(y);
    for (int x = 0; x < side; ++x) {
      const int sourceX = left + x;
      if (sourceX >= 0 && sourceX < image.cols) row[x] = sourceRow[sourceX];
    }
  }
  cv::Mat resized(kNormalizedSide, kNormalizedSide, CV_8UC1, result->data.data());
  cv::resize(square, resized, resized.size(), 0, 0, cv::INTER_LINEAR);
  CV_Assert(resized.data == result->data.data());

  double sum = 0.0;
  int count = 0;
  for (std::uint8_t p : result->data) {
    if (p >= 5) {
      sum += p;
      ++count;
    }
  }
  // Faint ink that resizes to nothing of 5 or more has no mean to scale by: leave it unscaled.
  if (count == 0) return result;
  const double mean = sum / count;
  for (std::uint8_t& p : result->data) {
    p = static_cast<std::uint8_t>(std::min(255.0, std::trunc(p * 128.0 / mean)));
  }
  return result;
}

namespace {

// Centroid and one-sided spreads of a projection (weights summing to 1), in 32-bit floats.
struct Spread {
  float centre = 0.0f;
  float before = 0.0f;  // spread of the weight left of (above) the centre
  float after = 0.0f;
};

Spread MeasureSpread(const std::vector<float>& weights) {
  Spread s;
  for (std::size_t i = 0; i < weights.size(); ++i) s.centre += (static_cast<float>(i) + 0.5f) * weights[i];
  float beforeSum = 0.0f, beforeWeight = 0.0f, afterSum = 0.0f, afterWeight = 0.0f;
  for (std::size_t i = 0; i < weights.size(); ++i) {
    const float offset = static_cast<float>(i) + 0.5f - s.centre;
    if (static_cast<float>(i) < s.centre) {
      beforeSum += offset * offset * weights[i];
      beforeWeight += weights[i];
    } else {
      afterSum += offset * offset * weights[i];
      afterWeight += weights[i];
    }
  }
  if (beforeWeight > 0.0f) s.before = std::sqrt(beforeSum / beforeWeight);
  if (afterWeight > 0.0f) s.after = std::sqrt(afterSum / afterWeight);
  return s;
}

// First and last index of the box along one axis: two spreads either side of the centre. A side
// without spread stops at the centre's own pixel, so a one-pixel stroke stays inside its box.
void BoxFromSpread(const Spread& s, int& first, int& last) {
  first = s.before > 0.0f ? static_cast<int>(std::round(s.centre - 2.0f * s.before))
                          : static_cast<int>(std::floor(s.centre));
  last = s.after > 0.0f ? static_cast<int>(s.centre + 2.0f * s.after + 0.5f) : static_cast<int>(std::floor(s.centre));
  if (last < first) last = first;
}

// f(u) = a u^2 + b u with f(0) = 0, f(centre) = 0.5, f(1) = 1, kept monotonic on [0, 1].
struct Mapping {
  float a = 0.0f, b = 1.0f;
  float operator()(float u) const { return a * u * u + b * u; }
};

Mapping MakeMapping(float centre) {
  Mapping m;
  const float denominator = centre - centre * centre;
  if (std::fabs(denominator) < 1e-6f) return m;  // centroid on the box edge: no curve fits, stay linear
  m.a = (centre - 0.5f) / denominator;
  m.b = (0.5f - centre * centre) / denominator;
  if (m.a > 0.0f && m.b < 0.0f && m.b > -2.0f * m.a) {
    m = {1.0f, 0.0f};
  } else if (m.a < 0.0f && m.b > 0.0f && m.b < -2.0f * m.a) {
    m = {-1.0f, 2.0f};
  }
  return m;
}

void SquareBox(int& x1, int& x2, int& y1, int& y2) {
  const int width = x2 - x1 + 1, height = y2 - y1 + 1;
  if (height > width) {
    x1 = static_cast<int>((x1 + x2 + 1) * 0.5 - height * 0.5);
    x2 = x1 + height - 1;
  } else if (width > height) {
    y1 = static_cast<int>((y1 + y2 + 1) * 0.5 - width * 0.5);
    y2 = y1 + width - 1;
  }
}

}  // namespace

OcrMatrixPtr CBiMomentNormalizerImp::Normalize(const OcrMatrix& image) { return NormalizeWith(image, true); }

OcrMatrixPtr CB2MomentNormalizerImp::Normalize(const OcrMatrix& image) { return NormalizeWith(image, false); }

OcrMatrixPtr CBiMomentNormalizerImp::NormalizeWith(const OcrMatrix& image, bool squareAlways) {
  if (!IsByteImage(image)) return nullptr;
  OcrMatrixPtr result = CreateOcrMatrix(kOcrUInt8, kNormalizedSide, kNormalizedSide);
  if (!result) return nullptr;

  std::vector<float> columns(image.cols, 0.0f), rows(image.rows, 0.0f);
  float total = 0.0f;
  for (int y = 0; y < image.rows; ++y) {
    const std::uint8_t* row = image.data.data() + static_cast<std::size_t>(y) * image.cols;
    for (int x = 0; x < image.cols; ++x) {
      columns[x] += row[x];
      rows[y] += row[x];
      total += row[x];
    }
  }
  if (total <= 0.0f) return result;  // no ink: nothing to place
  for (float& c : columns) c /= total;
  for (float& r : rows) r /= total;
  const Spread horizontal = MeasureSpread(columns), vertical = MeasureSpread(rows);

  int x1, x2, y1, y2;
  BoxFromSpread(horizontal, x1, x2);
  BoxFromSpread(vertical, y1, y2);
  const int boxWidth = x2 - x1 + 1, boxHeight = y2 - y1 + 1;
  if (squareAlways || boxHeight > 2 * boxWidth || boxWidth > 2 * boxHeight) SquareBox(x1, x2, y1, y2);
  const float width = static_cast<float>(x2 - x1 + 1), height = static_cast<float>(y2 - y1 + 1);
  const Mapping f = MakeMapping((horizontal.centre - x1) / width);
  const Mapping g = MakeMapping((vertical.centre - y1) / height);

  constexpr float side = kNormalizedSide;
  std::vector<float> grid(kNormalizedSide * kNormalizedSide, 0.0f);
  for (int y = std::max(y1, 0); y <= std::min(y2, image.rows - 1); ++y) {
    const float ya = side * g((y - y1) / height), yb = side * g((y - y1 + 1) / height);
    const std::uint8_t* row = image.data.data() + static_cast<std::size_t>(y) * image.cols;
    for (int x = std::max(x1, 0); x <= std::min(x2, image.cols - 1); ++x) {
      if (row[x] == 0) continue;
      const float xa = side * f((x - x1) / width), xb = side * f((x - x1 + 1) / width);
      const float value = row[x];
      for (int cy = std::max(static_cast<int>(ya), 0); cy <= std::min(static_cast<int>(yb), kNormalizedSide - 1); ++cy) {
        const float overlapY = std::min(cy + 1.0f, yb) - std::max(static_cast<float>(cy), ya);
        if (overlapY <= 0.0f) continue;
        for (int cx = std::max(static_cast<int>(xa), 0); cx <= std::min(static_cast<int>(xb), kNormalizedSide - 1); ++cx) {
          const float overlapX = std::min(cx + 1.0f, xb) - std::max(static_cast<float>(cx), xa);
          if (overlapX > 0.0f) grid[cy * kNormalizedSide + cx] += value * overlapX * overlapY;
        }
      }
    }
  }
  // A box larger than the grid piles several pixels into one cell: saturate instead of wrapping.
  for (std::size_t i = 0; i < grid.size(); ++i) {
    result->data[i] = static_cast<std::uint8_t>(std::min(255.0f, std::trunc(grid[i])));
  }
  return result;
}

std::unique_ptr<CImageNormalizer> CreateImageNormalizer(std::string_view name) {
  if (StartsWithIgnoringCase(name, "LN")) return std::make_unique<CLinearNormalizerImp>();
  if (StartsWithIgnoringCase(name, "BI")) return std::make_unique<CBiMomentNormalizerImp>();
  if (StartsWithIgnoringCase(name, "B2")) return std::make_unique<CB2MomentNormalizerImp>();
  return nullptr;
}

}  // namespace orvane::ocr
