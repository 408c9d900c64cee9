// Distances between feature vectors, chosen per template by a short name.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "ocr/ocr_matrix.h"

namespace orvane::ocr {

class CDistanceMeasurer {
 public:
  virtual ~CDistanceMeasurer() = default;
  // Compares a and b element by element. 0 with *distance set; 1, with *distance untouched, when
  // the shapes differ or a record lacks its elements. Each operand is read in its own element type.
  virtual int Measure(const OcrMatrix& a, const OcrMatrix& b, double* distance) = 0;
  // The distance of each of `count` contiguous rows of `length` doubles to `y`, into `out`: the
  // classifier's coarse pass over every class. The same values as Measure on double records.
  virtual void MeasureRows(const double* rows, std::size_t count, std::size_t length, const double* y,
                           double* out) = 0;
  // MeasureRows on floats, summed in floats: the classifier's coarse pass reads half the memory
  // and twice the elements an instruction. The values agree with MeasureRows to float precision.
  virtual void MeasureFloatRows(const float* rows, std::size_t count, std::size_t length, const float* y,
                                double* out) = 0;
};

// "Cos": 1 - sum a[i] b[i]; for unit vectors one minus the cosine of their angle.
class CCosineDistanceMeasurerImp : public CDistanceMeasurer {
 public:
  int Measure(const OcrMatrix& a, const OcrMatrix& b, double* distance) override;
  void MeasureRows(const double* rows, std::size_t count, std::size_t length, const double* y, double* out) override;
  void MeasureFloatRows(const float* rows, std::size_t count, std::size_t length, const float* y,
                        double* out) override;
};

// "L2": sum (a[i] - b[i])^2, without the square root.
class CL2DistanceMeasurerImp : public CDistanceMeasurer {
 public:
  int Measure(const OcrMatrix& a, const OcrMatrix& b, double* distance) override;
  void MeasureRows(const double* rows, std::size_t count, std::size_t length, const double* y, double* out) override;
  void MeasureFloatRows(const float* rows, std::size_t count, std::size_t length, const float* y,
                        double* out) override;
};

// "City": sum |a[i] - b[i]|.
class CCityDistanceMeasurerImp : public CDistanceMeasurer {
 public:
  int Measure(const OcrMatrix& a, const OcrMatrix& b, double* distance) override;
  void MeasureRows(const double* rows, std::size_t count, std::size_t length, const double* y, double* out) override;
  void MeasureFloatRows(const float* rows, std::size_t count, std::size_t length, const float* y,
                        double* out) override;
};

// "City", "L2" or "Cos" as a whole name in any case; otherwise null.
std::unique_ptr<CDistanceMeasurer> CreateDistanceMeasurer(std::string_view name);

}  // namespace orvane::ocr
