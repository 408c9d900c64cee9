#include "ocr/distance_measurer.h"

#include <cmath>

namespace orvane::ocr {

namespace {

bool Comparable(const OcrMatrix& a, const OcrMatrix& b) {
  return a.rows == b.rows && a.cols == b.cols && a.HasElements() && b.HasElements();
}

// Sums term(a[i], b[i]) over all elements; doubles on both sides, the engine's usual case, take the
// direct path.
template <class Term>
double SumOver(const OcrMatrix& a, const OcrMatrix& b, Term term) {
  const std::size_t count = a.Count();
  double sum = 0.0;
  if (a.type == kOcrDouble && b.type == kOcrDouble) {
    const double* x = a.As<double>();
    const double* y = b.As<double>();
    for (std::size_t i = 0; i < count; ++i) sum += term(x[i], y[i]);
  } else {
    for (std::size_t i = 0; i < count; ++i) sum += term(a.ValueAt(i), b.ValueAt(i));
  }
  return sum;
}

}  // namespace

int CCosineDistanceMeasurerImp::Measure(const OcrMatrix& a, const OcrMatrix& b, double* distance) {
  if (!Comparable(a, b)) return 1;
  const double dot = SumOver(a, b, [](double x, double y) { return x * y; });
  if (distance != nullptr) *distance = 1.0 - dot;
  return 0;
}

int CL2DistanceMeasurerImp::Measure(const OcrMatrix& a, const OcrMatrix& b, double* distance) {
  if (!Comparable(a, b)) return 1;
  const double sum = SumOver(a, b, [](double x, double y) { return (x - y) * (x - y); });
  if (distance != nullptr) *distance = sum;
  return 0;
}

int CCityDistanceMeasurerImp::Measure(const OcrMatrix& a, const OcrMatrix& b, double* distance) {
  if (!Comparable(a, b)) return 1;
  const double sum = SumOver(a, b, [](double x, double y) { return std::fabs(x - y); });
  if (distance != nullptr) *distance = sum;
  return 0;
}

std::unique_ptr<CDistanceMeasurer> CreateDistanceMeasurer(std::string_view name) {
  if (EqualsIgnoringCase(name, "City")) return std::make_unique<CCityDistanceMeasurerImp>();
  if (EqualsIgnoringCase(name, "L2")) return std::make_unique<CL2DistanceMeasurerImp>();
  if (EqualsIgnoringCase(name, "Cos")) return std::make_unique<CCosineDistanceMeasurerImp>();
  return nullptr;
}

}  // namespace orvane::ocr
