#include "ocr/image_processor.h"

#include <algorithm>

namespace orvane::ocr {

int CImageProcessor::RunLength(const BinaryImage& image, int r, int c, int direction) const {
  int length = 0;
  for (int y = r + kRowStep[direction], x = c + kColumnStep[direction]; image.Ink(y, x);
       y += kRowStep[direction], x += kColumnStep[direction]) {
    ++length;
  }
  return length;
}

int CImageProcessor::LongestLine(const BinaryImage& image, int r, int c) const {
  int longest = 0;
  for (int direction = 1; direction <= 4; ++direction) {
    longest = std::max(longest, RunLength(image, r, c, direction) + RunLength(image, r, c, direction + 4));
  }
  return longest;
}

void CImageProcessor::Thin(BinaryImage& image, const BinaryImage& original) const {
  std::vector<std::size_t> removals;
  for (;;) {
    bool secondRemoved = false;
    for (int half = 0; half < 2; ++half) {
      removals.clear();
      for (int r = 1; r + 1 < image.rows; ++r) {
        for (int c = 1; c + 1 < image.cols; ++c) {
          if (!image.Ink(r, c)) continue;
          // Circular order: up, up-right, right, down-right, down, down-left, left, up-left.
          const bool around[8] = {image.Ink(r - 1, c),     image.Ink(r - 1, c + 1), image.Ink(r, c + 1),
                                  image.Ink(r + 1, c + 1), image.Ink(r + 1, c),     image.Ink(r + 1, c - 1),
                                  image.Ink(r, c - 1),     image.Ink(r - 1, c - 1)};
          const int neighbours = static_cast<int>(std::count(std::begin(around), std::end(around), true));
          if (neighbours < 3 || neighbours > 6) continue;
          int transitions = 0;
          for (int i = 0; i < 8; ++i) transitions += !around[i] && around[(i + 1) % 8];
          if (transitions != 1) continue;
          const bool downRight = original.Ink(r + 1, c + 1), downLeft = original.Ink(r + 1, c - 1);
          const bool upRight = original.Ink(r - 1, c + 1), upLeft = original.Ink(r - 1, c - 1);
          const bool keep = half == 0 ? (downRight && downLeft && upRight) || (downRight && downLeft && upLeft)
                                      : (upRight && upLeft && downRight) || (upRight && upLeft && downLeft);
          if (!keep) removals.push_back(image.Index(r, c));
        }
      }
      for (std::size_t i : removals) image.pixels[i] = 0;
      if (half == 1) secondRemoved = !removals.empty();
    }
    if (!secondRemoved) return;
  }
}

void CImageProcessor::CleanEndPoints(BinaryImage& image) const {
  BinaryImage cleaned = image;
  for (int r = 1; r + 1 < image.rows; ++r) {
    for (int c = 1; c + 1 < image.cols; ++c) {
      if (!image.Ink(r, c)) continue;
      auto clear = [&](std::initializer_list<std::pair<int, int>> offsets) {
        for (auto [dy, dx] : offsets) {
          if (image.Ink(r + dy, c + dx)) return false;
        }
        return true;
      };
      int neighbourRow = 0, neighbourColumn = 0;
      bool spur = false;
      if (image.Ink(r + 1, c) && clear({{0, -1}, {-1, -1}, {-1, 0}, {-1, 1}, {0, 1}})) {
        spur = true, neighbourRow = r + 1, neighbourColumn = c;  // only neighbour below
      } else if (image.Ink(r - 1, c) && clear({{0, -1}, {1, -1}, {1, 0}, {1, 1}, {0, 1}})) {
        spur = true, neighbourRow = r - 1, neighbourColumn = c;  // only neighbour above
      } else if (image.Ink(r, c + 1) && clear({{-1, 0}, {-1, -1}, {0, -1}, {1, -1}, {1, 0}})) {
        spur = true, neighbourRow = r, neighbourColumn = c + 1;  // only neighbour to the right
      } else if (image.Ink(r, c - 1) && clear({{-1, 0}, {-1, 1}, {0, 1}, {1, 1}, {1, 0}})) {
        spur = true, neighbourRow = r, neighbourColumn = c - 1;  // only neighbour to the left
      }
      if (spur && LongestLine(image, r, c) < LongestLine(image, neighbourRow, neighbourColumn)) {
        cleaned.At(r, c) = 0;
      }
    }
  }
  image = std::move(cleaned);
}

}  // namespace orvane::ocr
