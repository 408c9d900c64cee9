#include "ocr/ocr_matrix.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>


namespace orvane::ocr {

int OcrElementSize(int type) {
  switch (type) {
    case kOcrUInt8: return 1;
    case kOcrInt32:
    case kOcrInt32Alt:
    case kOcrFloat: return 4;
    case kOcrDouble: return 8;
    default: return 0;
  }
}

double OcrMatrix::ValueAt(std::size_t i) const {
  switch (type) {
    case kOcrUInt8: return data[i];
    case kOcrInt32:
    case kOcrInt32Alt: return As<std::int32_t>()[i];
    case kOcrFloat: return As<float>()[i];
    case kOcrDouble: return As<double>()[i];
    default: return 0.0;
  }
}

OcrMatrixPtr CreateOcrMatrix(int type, int rows, int cols) {
  if (rows < 0 || cols < 0) return nullptr;
  const std::uint64_t count = static_cast<std::uint64_t>(rows) * static_cast<std::uint64_t>(cols);
  const int size = OcrElementSize(type);
  if (size > 0 && count > std::numeric_limits<std::size_t>::max() / 8 / static_cast<std::uint64_t>(size)) {
    return nullptr;
  }
  try {
    auto matrix = std::make_unique<OcrMatrix>();
    matrix->type = type;
    matrix->rows = rows;
    matrix->cols = cols;
    if (size > 0) matrix->data.assign(static_cast<std::size_t>(count) * size, 0);
    return matrix;
  } catch (const std::bad_alloc&) {
    return nullptr;
  } catch (const std::length_error&) {
    return nullptr;
  }
}

OcrMatrixPtr CloneOcrMatrix(const OcrMatrix* source) {
  if (source == nullptr) return nullptr;
  try {
    return std::make_unique<OcrMatrix>(*source);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void ReleaseOcrMatrix(OcrMatrixPtr& matrix) { matrix.reset(); }

bool CopyOcrSubMatrix(const OcrMatrix* source, int sourceColumn, int sourceRow, int width, int height,
                      OcrMatrix* destination, int destinationColumn, int destinationRow) {
  if (source == nullptr || destination == nullptr) return false;
  if (source->type != kOcrUInt8 || destination->type != kOcrUInt8) return false;
  if (!source->HasElements() || !destination->HasElements()) return false;
  if (width < 0 || height < 0 || sourceColumn < 0 || sourceRow < 0 || destinationColumn < 0 ||
      destinationRow < 0) {
    return false;
  }
  // 64-bit sums: the int arguments cannot overflow here.
  auto fits = [](std::int64_t start, std::int64_t extent, std::int64_t limit) { return start + extent <= limit; };
  if (!fits(destinationColumn, width, destination->cols) || !fits(destinationRow, height, destination->rows)) {
    return false;
  }
  if (!fits(sourceColumn, width, source->cols) || !fits(sourceRow, height, source->rows)) return false;
  std::fill(destination->data.begin(), destination->data.end(), 0);
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* from = source->data.data() + static_cast<std::size_t>(sourceRow + y) * source->cols + sourceColumn;
    std::uint8_t* to =
        destination->data.data() + static_cast<std::size_t>(destinationRow + y) * destination->cols + destinationColumn;
    if (width > 0) std::memcpy(to, from, static_cast<std::size_t>(width));
  }
  return true;
}

bool ConvertOcrMatrixToDouble(OcrMatrixPtr& matrix) {
  if (!matrix || matrix->type == kOcrDouble) return true;
  OcrMatrixPtr converted = CreateOcrMatrix(kOcrDouble, matrix->rows, matrix->cols);
  if (!converted) return false;
  if (matrix->HasElements()) {
    double* out = converted->As<double>();
    const std::size_t count = matrix->Count();
    for (std::size_t i = 0; i < count; ++i) out[i] = matrix->ValueAt(i);
  }
  matrix = std::move(converted);
  return true;
}

bool ReshapeOcrMatrix(OcrMatrix* matrix, int n) {
  if (matrix == nullptr || n < 1) return false;
  const std::int64_t total = static_cast<std::int64_t>(matrix->rows) * matrix->cols;
  if (total % n != 0) return false;
  matrix->rows = n;
  matrix->cols = static_cast<int>(total / n);
  return true;
}

OcrMatrixPtr MultiplyOcrMatrix(const OcrMatrix* a, const OcrMatrix* b) {
  if (a == nullptr || b == nullptr || a->type != kOcrDouble || b->type != kOcrDouble) return nullptr;
  if (a->cols != b->rows || !a->HasElements() || !b->HasElements()) return nullptr;
  OcrMatrixPtr product = CreateOcrMatrix(kOcrDouble, a->rows, b->cols);
  if (!product) return nullptr;
  if (product->Count() == 0) return product;
  if (a->cols == 0) return product;  // an empty inner dimension sums nothing
  // Plain loops rather than a BLAS call: the engine multiplies a transform or a class's axes by one
  // column per call, where the call overhead of a general routine outweighs the work.
  const double* left = a->As<double>();
  const double* right = b->As<double>();
  double* out = product->As<double>();
  const std::size_t inner = static_cast<std::size_t>(a->cols), cols = static_cast<std::size_t>(b->cols);
  for (std::size_t i = 0; i < static_cast<std::size_t>(a->rows); ++i) {
    const double* row = left + i * inner;
    if (cols == 1) {
      double partial[4] = {0.0, 0.0, 0.0, 0.0};  // independent sums keep the adder busy
      std::size_t k = 0;
      for (; k + 4 <= inner; k += 4) {
        partial[0] += row[k] * right[k];
        partial[1] += row[k + 1] * right[k + 1];
        partial[2] += row[k + 2] * right[k + 2];
        partial[3] += row[k + 3] * right[k + 3];
      }
      for (; k < inner; ++k) partial[0] += row[k] * right[k];
      out[i] = (partial[0] + partial[1]) + (partial[2] + partial[3]);
      continue;
    }
    double* target = out + i * cols;
    for (std::size_t k = 0; k < inner; ++k) {
      const double factor = row[k];
      const double* source = right + k * cols;
      for (std::size_t j = 0; j < cols; ++j) target[j] += factor * source[j];
    }
  }
  return product;
}

OcrMatrixPtr MakeOcrString(std::string_view text) {
  if (text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) return nullptr;
  OcrMatrixPtr matrix = CreateOcrMatrix(kOcrUInt8, 1, static_cast<int>(text.size()));
  if (matrix && !text.empty()) std::memcpy(matrix->data.data(), text.data(), text.size());
  return matrix;
}

bool IsOcrString(const OcrMatrix* matrix) {
  return matrix != nullptr && matrix->type == kOcrUInt8 && matrix->rows == 1 && matrix->HasElements();
}

std::string OcrStringText(const OcrMatrix& matrix) {
  return std::string(reinterpret_cast<const char*>(matrix.data.data()), matrix.data.size());
}

namespace {
char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && StartsWithIgnoringCase(a, b);
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (LowerAscii(text[i]) != LowerAscii(prefix[i])) return false;
  }
  return true;
}

}  // namespace orvane::ocr
