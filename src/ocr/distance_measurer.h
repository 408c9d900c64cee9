// Distances between feature vectors, chosen per template by a short name.
#pragma once

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
};

// "Cos": 1 - sum a[i] b[i]; for unit vectors one minus the cosine of their angle.
class CCosineDistanceMeasurerImp : public CDistanceMeasurer {
 public:
  int Measure(const OcrMatrix& a, const OcrMatrix& b, double* distance) override;
};

// "L2": sum (a[i] - b[i])^2, without the square root.
class CL2DistanceMeasurerImp : public CDistanceMeasurer {
 public:
  int Measure(const OcrMatrix& a, const OcrMatrix& b, double* distance) override;
};

// "City": sum |a[i] - b[i]|.
class CCityDistanceMeasurerImp : public CDistanceMeasurer {
 public:
  int Measure(const OcrMatrix& a, const OcrMatrix& b, double* distance) override;
};

// "City", "L2" or "Cos" as a whole name in any case; otherwise null.
std::unique_ptr<CDistanceMeasurer> CreateDistanceMeasurer(std::string_view name);

}  // namespace orvane::ocr
