// Reads characters of a font with a template through the engine itself (the holder, as page
// recognition uses it) and counts how many come back as their own class.
#pragma once

#include <filesystem>
#include <vector>

#include "ocr/class_list.h"
#include "ocr/glyph_renderer.h"

namespace orvane::ocrtools {

struct AccuracyReport {
  int samples = 0;
  int correct = 0;
  std::vector<double> distances;  // first distance of every reading, in class and size order
  double Accuracy() const { return samples ? static_cast<double>(correct) / samples : 0.0; }
};

// The clean upright picture of every class `font` draws, at every size, read with n = 1; one
// engine per thread. Throws std::runtime_error when the template does not load or the font does
// not open.
AccuracyReport MeasureAccuracy(const std::filesystem::path& templatePath, const std::vector<TemplateClass>& classes,
                               const FontFace& font, const std::vector<int>& sizes, int threads);

}  // namespace orvane::ocrtools
