// Trains the character template from fonts: renders every class in the training fonts at the
// training sizes (clean and distorted), passes each picture through the engine's normaliser and
// extractor, fits the transform and the class models, and calibrates the distances on a font kept
// out of training.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "ocr/augment.h"
#include "ocr/class_list.h"
#include "ocr/glyph_renderer.h"
#include "ocr/template_file.h"

namespace orvane::ocrtools {

// A character picture (8-bit, ink bright) to its feature vector of `dimension` floats; false when
// the picture gives none. Called from several threads at once.
struct FeatureFunction {
  int dimension = 0;
  std::function<bool(const cv::Mat& picture, float* features)> extract;
};

// The page recogniser reads a candidate as blank from 0.32; the orientation detector trusts a
// reading under 0.2.
inline constexpr double kConfidentDistance = 0.2;
inline constexpr double kBlankDistance = 0.32;

struct BuildOptions {
  std::vector<TemplateClass> classes;
  std::vector<FontFace> trainingFonts;
  std::vector<int> trainingSizes;
  int distortedPerSize = 3;  // besides the clean picture, per font and size
  // Kept out of training: the distances are calibrated on its readings.
  FontFace heldOutFont;
  std::vector<int> heldOutSizes;
  int ldaDimension = 128;
  int principalAxes = 16;
  double ldaRegularisation = 0.05;
  double covarianceShrink = 0.2;
  double minorScale = 1.0;
  int threads = 1;
  std::uint64_t seed = 1;
  std::function<void(const std::string&)> progress;  // one line per step; may be empty
};

struct HeldOutReport {
  int samples = 0;  // clean upright pictures of the held-out font
  int correct = 0;  // of those, read as their class
  int distortedSamples = 0;  // upright pictures distorted as the training ones
  int distortedCorrect = 0;
  std::vector<double> correctDistances;  // calibrated, of the correct upright readings
  std::vector<double> wrongDistances;    // calibrated, of every wrong reading, turned ones included
  double Accuracy() const { return samples ? static_cast<double>(correct) / samples : 0.0; }
};

struct BuildResult {
  TemplateContent content;
  HeldOutReport heldOut;
  std::vector<std::string> skipped;  // UTF-8 of classes no training font can draw
};

// Throws std::runtime_error when a font cannot be opened or nothing can be trained.
BuildResult BuildTemplate(const BuildOptions& options, const FeatureFunction& features);

// The held-out test pictures of one class in `renderer`'s font at `size`: the clean character
// upright, turned by 90, 180 and 270 degrees (these may read as some other class), and upright as
// page recognition cuts it from a page of a look drawn from `seed`. Empty when the font has no ink
// for it.
enum HeldOutPicture { kCleanUpright, kTurned90, kTurned180, kTurned270, kDistortedUpright, kHeldOutPictureCount };
std::vector<cv::Mat> HeldOutPictures(GlyphRenderer& renderer, char32_t codePoint, int size, std::uint64_t seed);

// The code points a class is trained from: its own, and for a full-width Latin letter, digit or
// sign also the half-width one, which pages print far more often and which fonts draw in their
// own Latin design.
std::vector<char32_t> DrawnForms(char32_t codePoint);

// One distorted training picture of a character: turned and its strokes made thicker or thinner,
// then either degraded and thresholded as a character alone, or (`onAPage`) printed on a page of
// a random look and cut out as page recognition cuts it. Empty when nothing is left of it.
cv::Mat DistortedSample(GlyphRenderer& renderer, char32_t codePoint, int size, SampleRandom& random, bool onAPage);

}  // namespace orvane::ocrtools
