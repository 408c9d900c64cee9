// A small complex type and an in-place radix-2 Fourier transform for the projection-spectrum
// extractor.
#pragma once

#include <cmath>
#include <span>

namespace orvane::ocr {

class CComplex {
 public:
  CComplex() = default;
  CComplex(float re, float im) : re_(re), im_(im) {}

  float Real() const { return re_; }
  float Imaginary() const { return im_; }
  float Magnitude() const { return std::sqrt(re_ * re_ + im_ * im_); }

  CComplex& operator+=(const CComplex& other) {
    re_ += other.re_;
    im_ += other.im_;
    return *this;
  }
  CComplex& operator*=(const CComplex& other) {
    const float re = re_ * other.re_ - im_ * other.im_;
    im_ = re_ * other.im_ + im_ * other.re_;
    re_ = re;
    return *this;
  }
  friend CComplex operator-(const CComplex& a, const CComplex& b) { return {a.re_ - b.re_, a.im_ - b.im_}; }
  friend CComplex operator*(CComplex a, const CComplex& b) { return a *= b; }

 private:
  float re_ = 0.0f;
  float im_ = 0.0f;
};

// Forward transform without scaling, in place. False, with `values` untouched, when the length is
// not a power of two (an empty span included).
bool FastFourierTransform(std::span<CComplex> values);

}  // namespace orvane::ocr
