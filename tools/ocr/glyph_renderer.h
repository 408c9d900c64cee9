// Character pictures from an installed font through FreeType, the raw material of the template's
// training and test samples.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include <opencv2/core.hpp>

namespace orvane::ocrtools {

struct FontFace {
  std::filesystem::path file;
  std::string family;  // the face of a collection with this family name; empty: the first face
};

// Owns its FreeType library and face, so each thread makes its own.
class GlyphRenderer {
 public:
  // Throws std::runtime_error when the file cannot be opened or holds no such family.
  explicit GlyphRenderer(const FontFace& face);
  ~GlyphRenderer();
  GlyphRenderer(const GlyphRenderer&) = delete;
  GlyphRenderer& operator=(const GlyphRenderer&) = delete;

  bool HasGlyph(char32_t codePoint) const;

  // The character `pixelSize` pixels em high, turned by `degrees` (counter-clockwise), its strokes
  // widened by `embolden` pixels (negative thins them): an 8-bit grey picture, ink bright, with a
  // few background pixels around the ink. Empty when the font has no ink for it.
  cv::Mat Render(char32_t codePoint, int pixelSize, double degrees = 0, double embolden = 0);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace orvane::ocrtools
