#include "ocr/glyph_renderer.h"

#include <cmath>
#include <numbers>
#include <stdexcept>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

namespace orvane::ocrtools {
namespace {
constexpr int kMargin = 4;
}

struct GlyphRenderer::Impl {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
};

GlyphRenderer::GlyphRenderer(const FontFace& font) : impl_(std::make_unique<Impl>()) {
  if (FT_Init_FreeType(&impl_->library) != 0) throw std::runtime_error("FreeType does not start");
  const std::string path = font.file.string();
  FT_Long faceCount = 1;
  for (FT_Long index = 0; index < faceCount; ++index) {
    FT_Face face = nullptr;
    if (FT_New_Face(impl_->library, path.c_str(), index, &face) != 0) break;
    faceCount = face->num_faces;
    if (font.family.empty() || (face->family_name && font.family == face->family_name)) {
      impl_->face = face;
      break;
    }
    FT_Done_Face(face);
  }
  if (!impl_->face) {
    FT_Done_FreeType(impl_->library);
    throw std::runtime_error("font not found: " + path + " " + font.family);
  }
}

GlyphRenderer::~GlyphRenderer() {
  FT_Done_Face(impl_->face);
  FT_Done_FreeType(impl_->library);
}

bool GlyphRenderer::HasGlyph(char32_t codePoint) const {
  return FT_Get_Char_Index(impl_->face, codePoint) != 0;
}

cv::Mat GlyphRenderer::Render(char32_t codePoint, int pixelSize, double degrees, double embolden) {
  return RenderWithMetrics(codePoint, pixelSize, degrees, embolden, 1, 0, nullptr);
}

cv::Mat GlyphRenderer::Render(char32_t codePoint, int pixelSize, double degrees, double embolden, double widthScale,
                              double slant) {
  return RenderWithMetrics(codePoint, pixelSize, degrees, embolden, widthScale, slant, nullptr);
}

GlyphRenderer::Placed GlyphRenderer::Place(char32_t codePoint, int pixelSize) {
  Placed placed;
  placed.picture = RenderWithMetrics(codePoint, pixelSize, 0, 0, 1, 0, &placed);
  return placed;
}

cv::Mat GlyphRenderer::RenderWithMetrics(char32_t codePoint, int pixelSize, double degrees, double embolden,
                                         double widthScale, double slant, Placed* placed) {
  FT_Face face = impl_->face;
  if (pixelSize < 1 || FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixelSize)) != 0) return {};
  // The turn after the width and the slant: [cos -sin; sin cos] x [widthScale slant; 0 1].
  const double angle = degrees * std::numbers::pi / 180.0;
  const double c = std::cos(angle);
  const double s = std::sin(angle);
  auto fixed = [](double v) { return static_cast<FT_Fixed>(std::lround(v * 65536.0)); };
  FT_Matrix turn{fixed(c * widthScale), fixed(c * slant - s), fixed(s * widthScale), fixed(s * slant + c)};
  FT_Set_Transform(face, &turn, nullptr);
  // Outlines only: embedded bitmaps of small sizes would ignore the turn and the emboldening.
  const bool loaded = FT_Load_Char(face, codePoint, FT_LOAD_NO_BITMAP) == 0;
  FT_Set_Transform(face, nullptr, nullptr);
  if (!loaded || face->glyph->format != FT_GLYPH_FORMAT_OUTLINE) return {};
  if (placed) placed->advance = static_cast<int>((face->glyph->advance.x + 32) >> 6);
  if (embolden != 0)
    FT_Outline_Embolden(&face->glyph->outline, static_cast<FT_Pos>(std::lround(embolden * 64.0)));
  if (FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL) != 0) return {};

  const FT_Bitmap& bitmap = face->glyph->bitmap;
  if (bitmap.rows == 0 || bitmap.width == 0) return {};
  if (placed) {
    placed->left = face->glyph->bitmap_left - kMargin;
    placed->top = face->glyph->bitmap_top + kMargin;
  }
  cv::Mat picture(static_cast<int>(bitmap.rows) + 2 * kMargin, static_cast<int>(bitmap.width) + 2 * kMargin,
                  CV_8UC1, cv::Scalar(0));
  for (unsigned row = 0; row < bitmap.rows; ++row) {
    const unsigned char* source = bitmap.buffer + static_cast<std::ptrdiff_t>(row) * bitmap.pitch;
    std::copy(source, source + bitmap.width, picture.ptr<unsigned char>(static_cast<int>(row) + kMargin) + kMargin);
  }
  if (cv::countNonZero(picture) == 0) return {};
  return picture;
}

}  // namespace orvane::ocrtools
