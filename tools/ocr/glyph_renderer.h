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

  // The same, its outline first drawn `widthScale` times as wide and slanted by `slant` (the shift
  // to the right per unit of height, as an oblique face leans).
  cv::Mat Render(char32_t codePoint, int pixelSize, double degrees, double embolden, double widthScale, double slant);

  // The upright character as a typesetter places it: its picture (as Render gives it, empty for a
  // character without ink such as the space), where the picture's top left corner lies from the
  // pen on the base line (`left` to the right, `top` up), and how far the pen then moves on.
  struct Placed {
    cv::Mat picture;
    int left = 0;
    int top = 0;
    int advance = 0;
  };
  Placed Place(char32_t codePoint, int pixelSize);

 private:
  cv::Mat RenderWithMetrics(char32_t codePoint, int pixelSize, double degrees, double embolden, double widthScale,
                            double slant, Placed* placed);
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace orvane::ocrtools
