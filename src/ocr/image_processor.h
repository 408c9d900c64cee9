// Binary line and thinning operations on byte images (0 = background, non-zero = ink) for the
// line-pixel extractor.
#pragma once

#include <cstdint>
#include <vector>

namespace orvane::ocr {

// A binary picture: 1 = ink, 0 = background, row-major.
struct BinaryImage {
  int rows = 0;
  int cols = 0;
  std::vector<std::uint8_t> pixels;

  BinaryImage() = default;
  BinaryImage(int r, int c) : rows(r), cols(c), pixels(static_cast<std::size_t>(r) * c, 0) {}
  bool Ink(int r, int c) const { return r >= 0 && r < rows && c >= 0 && c < cols && pixels[Index(r, c)] != 0; }
  std::uint8_t& At(int r, int c) { return pixels[Index(r, c)]; }
  std::size_t Index(int r, int c) const { return static_cast<std::size_t>(r) * cols + c; }
};

class CImageProcessor {
 public:
  // Directions 1..8: right, down-right, down, down-left, left, up-left, up, up-right.
  static constexpr int kRowStep[9] = {0, 0, 1, 1, 1, 0, -1, -1, -1};
  static constexpr int kColumnStep[9] = {0, 1, 1, 0, -1, -1, -1, 0, 1};

  // Consecutive ink pixels from the neighbour of (r, c) in `direction` onwards, stopping at
  // background or the edge.
  int RunLength(const BinaryImage& image, int r, int c, int direction) const;
  // The longest of the four orientations through (r, c): its two opposite runs added together
  // (the pixel itself not counted).
  int LongestLine(const BinaryImage& image, int r, int c) const;
  // Thins `image` in place in passes of two halves over its interior pixels; the diagonal
  // conditions read `original`, the unthinned picture of the same size.
  void Thin(BinaryImage& image, const BinaryImage& original) const;
  // Removes the spurs of a thinned picture: an interior end point whose only neighbour lies
  // straight above, below, left or right and whose longest line is shorter than that neighbour's.
  void CleanEndPoints(BinaryImage& image) const;
};

}  // namespace orvane::ocr
