#include "ocr/distance_measurer.h"

#include <cmath>

namespace orvane::ocr {

namespace {

bool Comparable(const OcrMatrix& a, const OcrMatrix& b) {
  return a.rows == b.rows && a.cols == b.cols && a.HasElements() && b.HasElements();
}

// Sums term(x[i], y[i]) over `count` values. Four running sums break the chain of dependent
// additions: the coarse pass of the classifier measures every class on each call.
template <class T, class Term>
T SumValues(const T* x, const T* y, std::size_t count, Term term) {
  T partial[4] = {0, 0, 0, 0};
  std::size_t i = 0;
  for (; i + 4 <= count; i += 4) {
    partial[0] += term(x[i], y[i]);
    partial[1] += term(x[i + 1], y[i + 1]);
    partial[2] += term(x[i + 2], y[i + 2]);
    partial[3] += term(x[i + 3], y[i + 3]);
  }
  for (; i < count; ++i) partial[0] += term(x[i], y[i]);
  return (partial[0] + partial[1]) + (partial[2] + partial[3]);
}

// Sums term(a[i], b[i]) over all elements, each operand read in its own element type.
template <class Term>
double SumOver(const OcrMatrix& a, const OcrMatrix& b, Term term) {
  const std::size_t count = a.Count();
  if (a.type == kOcrDouble && b.type == kOcrDouble) return SumValues(a.As<double>(), b.As<double>(), count, term);
  double sum = 0.0;
  for (std::size_t i = 0; i < count; ++i) sum += term(a.ValueAt(i), b.ValueAt(i));
  return sum;
}

template <class T, class Term>
void SumRows(const T* rows, std::size_t count, std::size_t length, const T* y, double* out, Term term) {
  for (std::size_t r = 0; r < count; ++r) out[r] = SumValues(rows + r * length, y, length, term);
}

constexpr auto kProduct = [](auto x, auto y) { return x * y; };
constexpr auto kSquare = [](auto x, auto y) { return (x - y) * (x - y); };
constexpr auto kAbsolute = [](auto x, auto y) { return std::abs(x - y); };

template <class T>
void CosineRows(const T* rows, std::size_t count, std::size_t length, const T* y, double* out) {
  SumRows(rows, count, length, y, out, kProduct);
  for (std::size_t r = 0; r < count; ++r) out[r] = 1.0 - out[r];
}

}  // namespace

int CCosineDistanceMeasurerImp::Measure(const OcrMatrix& a, const OcrMatrix& b, double* distance) {
  if (!Comparable(a, b)) return 1;
  const double dot = SumOver(a, b, kProduct);
  if (distance != nullptr) *distance = 1.0 - dot;
  return 0;
}

int CL2DistanceMeasurerImp::Measure(const OcrMatrix& a, const OcrMatrix& b, double* distance) {
  if (!Comparable(a, b)) return 1;
  const double sum = SumOver(a, b, kSquare);
  if (distance != nullptr) *distance = sum;
  return 0;
}

int CCityDistanceMeasurerImp::Measure(const OcrMatrix& a, const OcrMatrix& b, double* distance) {
  if (!Comparable(a, b)) return 1;
  const double sum = SumOver(a, b, kAbsolute);
  if (distance != nullptr) *distance = sum;
  return 0;
}

void CCosineDistanceMeasurerImp::MeasureRows(const double* rows, std::size_t count, std::size_t length,
                                             const double* y, double* out) {
  CosineRows(rows, count, length, y, out);
}

void CL2DistanceMeasurerImp::MeasureRows(const double* rows, std::size_t count, std::size_t length, const double* y,
                                         double* out) {
  SumRows(rows, count, length, y, out, kSquare);
}

void CCityDistanceMeasurerImp::MeasureRows(const double* rows, std::size_t count, std::size_t length,
                                           const double* y, double* out) {
  SumRows(rows, count, length, y, out, kAbsolute);
}

void CCosineDistanceMeasurerImp::MeasureFloatRows(const float* rows, std::size_t count, std::size_t length,
                                                  const float* y, double* out) {
  CosineRows(rows, count, length, y, out);
}

void CL2DistanceMeasurerImp::MeasureFloatRows(const float* rows, std::size_t count, std::size_t length,
                                              const float* y, double* out) {
  SumRows(rows, count, length, y, out, kSquare);
}

void CCityDistanceMeasurerImp::MeasureFloatRows(const float* rows, std::size_t count, std::size_t length,
                                                const float* y, double* out) {
  SumRows(rows, count, length, y, out, kAbsolute);
}

std::unique_ptr<CDistanceMeasurer> CreateDistanceMeasurer(std::string_view name) {
  if (EqualsIgnoringCase(name, "City")) return std::make_unique<CCityDistanceMeasurerImp>();
  if (EqualsIgnoringCase(name, "L2")) return std::make_unique<CL2DistanceMeasurerImp>();
  if (EqualsIgnoringCase(name, "Cos")) return std::make_unique<CCosineDistanceMeasurerImp>();
  return nullptr;
}

}  // namespace orvane::ocr
