// Turns a clean font rendering into what a document camera delivers: slightly turned, strokes a
// little thicker or thinner, blurred, noisy and thresholded at a level that varies.
#pragma once

#include <cstdint>

#include <opencv2/core.hpp>

namespace orvane::ocrtools {

struct Distortion {
  double degrees = 0;     // turn, counter-clockwise
  double embolden = 0;    // stroke widening in pixels; negative thins
  double widthScale = 1;  // faces are drawn narrower or wider than the trained ones
  double slant = 0;       // and some lean: shift to the right per unit of height
  double blurSigma = 0;   // Gaussian blur before thresholding; 0: none
  double noiseSigma = 0;  // grey-level noise before thresholding; 0: none
  int threshold = 128;    // ink is at least this grey level; 0 keeps the grey picture
  // Grey pictures only: the paper's level under the ink, as the orientation detector reads an
  // inverted camera picture cut to a character's box; 0 leaves a black background.
  int paper = 0;
};

// A small deterministic generator: the same seed gives the same numbers on every platform.
class SampleRandom {
 public:
  explicit SampleRandom(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next();
  double Uniform(double low, double high);  // in [low, high)

 private:
  std::uint64_t state_;
};

// A distortion drawn for one sample of a character `pixelSize` pixels high: mild enough that a
// reader still knows the character.
Distortion RandomDistortion(SampleRandom& random, int pixelSize);

// Blurs, adds noise and thresholds an 8-bit grey picture (ink bright). The result is 0/255 unless
// the threshold is 0; a grey picture on paper is cut to the ink's box. Noise is drawn from
// `noiseSeed`.
cv::Mat Degrade(const cv::Mat& grey, const Distortion& distortion, std::uint64_t noiseSeed);

// How a printed or photographed page shows its ink: the paper's grey level, what the ink leaves
// of it, the lens's blur, sensor noise and the camera's JPEG.
struct PageLook {
  int paper = 235;
  double inkShare = 0.12;  // the ink's level over the paper's
  double blurSigma = 0;
  double noiseSigma = 0;
  int jpegQuality = 0;  // 0: not compressed
};

// A look drawn for a character `pixelSize` pixels high, from a clean scan to a dim, blurred,
// noisy camera frame.
PageLook RandomPageLook(SampleRandom& random, int pixelSize);

// What page recognition hands the engine for this character: the rendering (8-bit, ink bright)
// printed on paper with `look`, normalised and thresholded as a page is, cut to its ink and masked
// as a candidate. Empty when thresholding leaves no ink. Noise is drawn from `noiseSeed`.
cv::Mat PageCandidate(const cv::Mat& glyph, const PageLook& look, std::uint64_t noiseSeed);

}  // namespace orvane::ocrtools
