// Pages typeset from rendered characters for the page recogniser's and the orientation
// detector's tests: black ink on white paper, one row of characters per line.
#pragma once

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include <opencv2/core.hpp>

#include "ocr/class_list.h"
#include "ocr/engine_features.h"
#include "ocr/glyph_renderer.h"
#include "ocr/template_builder.h"
#include "ocr/template_file.h"
#include "temp_folder.h"

namespace orvane::ocrtools::testing {

inline const FontFace kPageFont{"/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc", "WenQuanYi Zen Hei"};
inline constexpr std::size_t kPageClassCount = 300;

// A template of the first `classCount` classes from the page font, built in seconds: trained at
// `trainingSizes`, checked at a size it was not trained on.
inline BuildOptions SmallTemplateOptions(std::size_t classCount, std::vector<int> trainingSizes, int heldOutSize,
                                         int threads) {
  BuildOptions options;
  options.classes = TemplateClasses();
  options.classes.resize(classCount);
  options.trainingFonts = {kPageFont};
  options.trainingSizes = std::move(trainingSizes);
  options.distortedPerSize = 2;
  options.heldOutFont = kPageFont;
  options.heldOutSizes = {heldOutSize};
  options.ldaDimension = 96;
  options.principalAxes = 10;
  options.threads = threads;
  return options;
}

// The page template's options: trained at the sizes pages are set in.
inline BuildOptions PageTemplateOptions() { return SmallTemplateOptions(kPageClassCount, {30, 40}, 36, 3); }

// The page template, built once per test program into a folder removed at exit; empty when it
// could not be written.
inline const std::filesystem::path& SmallPageTemplate() {
  static const orvane::testing::TempFolder folder;
  static const std::filesystem::path path = [] {
    std::filesystem::path file = folder / "small.tpl";
    if (!WriteTemplate(file, BuildTemplate(PageTemplateOptions(), EngineFeatures()).content)) file.clear();
    return file;
  }();
  return path;
}

struct PageLayout {
  int pixelSize = 40;
  int gap = 8;         // between characters
  int lineGap = 40;    // between lines
  int margin = 40;
};

// Every line is a list of code points; each is centred in a cell pixelSize high.
inline cv::Mat TypesetPage(GlyphRenderer& renderer, const std::vector<std::u32string>& lines, const PageLayout& layout) {
  std::vector<std::vector<cv::Mat>> glyphs;
  int width = 0;
  for (const std::u32string& line : lines) {
    glyphs.emplace_back();
    int lineWidth = 0;
    for (char32_t c : line) {
      glyphs.back().push_back(renderer.Render(c, layout.pixelSize));
      lineWidth += glyphs.back().back().cols + layout.gap;
    }
    width = std::max(width, lineWidth);
  }
  const int cell = layout.pixelSize + 8;
  const int rows = 2 * layout.margin + static_cast<int>(lines.size()) * (cell + layout.lineGap);
  cv::Mat page(rows, width + 2 * layout.margin, CV_8UC1, cv::Scalar(255));
  int y = layout.margin;
  for (const auto& line : glyphs) {
    int x = layout.margin;
    for (const cv::Mat& glyph : line) {
      const int top = y + std::max(0, (cell - glyph.rows) / 2);
      cv::Mat target = page(cv::Rect(x, top, glyph.cols, std::min(glyph.rows, rows - top)));
      cv::Mat ink = 255 - glyph(cv::Rect(0, 0, target.cols, target.rows));
      cv::min(target, ink, target);
      x += glyph.cols + layout.gap;
    }
    y += cell + layout.lineGap;
  }
  return page;
}

}  // namespace orvane::ocrtools::testing
