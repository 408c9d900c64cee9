// Small byte images for the engine's tests.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "ocr/ocr_matrix.h"

namespace orvane::ocr::testing {

inline OcrMatrixPtr ByteImage(int rows, int cols, std::uint8_t fill = 0) {
  OcrMatrixPtr image = CreateOcrMatrix(kOcrUInt8, rows, cols);
  std::fill(image->data.begin(), image->data.end(), fill);
  return image;
}

inline std::uint8_t& Pixel(OcrMatrix& image, int row, int col) {
  return image.data[static_cast<std::size_t>(row) * image.cols + col];
}

// Rows of '#' (ink 255) and '.' (background).
inline OcrMatrixPtr Drawing(std::initializer_list<std::string> rows) {
  const int height = static_cast<int>(rows.size());
  const int width = static_cast<int>(rows.begin()->size());
  OcrMatrixPtr image = ByteImage(height, width);
  int y = 0;
  for (const std::string& row : rows) {
    for (int x = 0; x < width; ++x) Pixel(*image, y, x) = row[x] == '#' ? 255 : 0;
    ++y;
  }
  return image;
}

inline void FillRect(OcrMatrix& image, int top, int left, int height, int width, std::uint8_t value) {
  for (int y = top; y < top + height; ++y)
    for (int x = left; x < left + width; ++x) Pixel(image, y, x) = value;
}

inline OcrMatrixPtr DoubleVector(std::initializer_list<double> values, bool column = false) {
  const int n = static_cast<int>(values.size());
  OcrMatrixPtr m = CreateOcrMatrix(kOcrDouble, column ? n : 1, column ? 1 : n);
  std::copy(values.begin(), values.end(), m->As<double>());
  return m;
}

}  // namespace orvane::ocr::testing
