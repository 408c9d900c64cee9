// The character engine's numeric record: character images, feature vectors, transforms and class
// models are all rows x cols elements of one type, and the template file is a stream of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orvane::ocr {

// Element type codes as stored in the template file.
inline constexpr int kOcrUInt8 = 1;
inline constexpr int kOcrInt32 = 2;
inline constexpr int kOcrInt32Alt = 3;  // stored and converted exactly like kOcrInt32
inline constexpr int kOcrFloat = 4;
inline constexpr int kOcrDouble = 5;

// Bytes per element of `type`; 0 for a code outside 1..5 (a record without elements).
int OcrElementSize(int type);

struct OcrMatrix {
  int type = 0;
  int rows = 0;
  int cols = 0;
  std::vector<std::uint8_t> data;  // rows x cols elements, row-major; empty for unknown types

  std::size_t Count() const { return static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols); }
  bool HasElements() const { return OcrElementSize(type) > 0 && data.size() == Count() * OcrElementSize(type); }

  template <class T>
  T* As() { return reinterpret_cast<T*>(data.data()); }
  template <class T>
  const T* As() const { return reinterpret_cast<const T*>(data.data()); }

  // Element i converted to double, whatever the element type (0 for a record without elements).
  double ValueAt(std::size_t i) const;
};

using OcrMatrixPtr = std::unique_ptr<OcrMatrix>;

// A zero-filled record. Null when rows or cols is negative, when the byte size overflows, or when
// memory runs out. A type outside 1..5 gives a record without elements.
OcrMatrixPtr CreateOcrMatrix(int type, int rows, int cols);
// Deep copy; null for a null record.
OcrMatrixPtr CloneOcrMatrix(const OcrMatrix* source);
// Frees the record and nulls the caller's pointer; a null pointer is left alone.
void ReleaseOcrMatrix(OcrMatrixPtr& matrix);

// Clears the whole byte record `destination` and copies a height x width block of the byte record
// `source` from (sourceRow, sourceColumn) to (destinationRow, destinationColumn). False, with
// nothing changed, when either record is missing or not of bytes, or when the block leaves either
// record.
bool CopyOcrSubMatrix(const OcrMatrix* source, int sourceColumn, int sourceRow, int width, int height,
                      OcrMatrix* destination, int destinationColumn, int destinationRow);

// Replaces the record by a double record of the same shape holding the converted values; a double
// record is left as it is, a record of unknown type becomes all zeros. False only when memory runs
// out (the record is then unchanged).
bool ConvertOcrMatrixToDouble(OcrMatrixPtr& matrix);

// rows = n, cols = rows x cols / n, elements untouched. False when n < 1 or n does not divide the
// element count.
bool ReshapeOcrMatrix(OcrMatrix* matrix, int n);

// a x b for double records with a.cols == b.rows; null otherwise.
OcrMatrixPtr MultiplyOcrMatrix(const OcrMatrix* a, const OcrMatrix* b);

// A string record: one row of bytes, no terminating NUL.
OcrMatrixPtr MakeOcrString(std::string_view text);
// True when `matrix` is a one-row byte record, i.e. a string.
bool IsOcrString(const OcrMatrix* matrix);
// The bytes of a string record.
std::string OcrStringText(const OcrMatrix& matrix);

// True when both name the same bytes ignoring ASCII letter case.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);
// True when `text` begins with `prefix` ignoring ASCII letter case.
bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix);

}  // namespace orvane::ocr
