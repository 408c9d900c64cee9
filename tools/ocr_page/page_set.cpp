#include "page_set.h"

#include <algorithm>
#include <random>

#include <opencv2/imgproc.hpp>

#include "ocr/class_list.h"
#include "ocr/ocr_engine.h"

namespace orvane::ocrpage {
namespace {

constexpr int kPageWidth = 2480;
constexpr int kPageHeight = 3508;
constexpr int kMargin = 200;
constexpr int kLevelOneHanzi = 3755;
constexpr int kPaper = 232;
constexpr int kInk = 30;

std::string Utf8(char32_t c) {
  std::string out;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

std::u32string Decode(const std::string& utf8) {
  std::u32string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    const int extra = b < 0x80 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : 3;
    char32_t c = extra == 0 ? b : b & (0x3F >> extra);
    for (int k = 1; k <= extra && i + k < utf8.size(); ++k) c = (c << 6) | (utf8[i + k] & 0x3F);
    out += c;
    i += extra + 1;
  }
  return out;
}

std::u32string LatinLine(std::mt19937_64& random, int length) {
  static const char* kWords[] = {"Camera", "USB", "PDF", "Orvane", "DPI", "A4", "Scan", "Page", "ID", "Text"};
  std::u32string line;
  std::uniform_int_distribution<int> word(0, 9);
  std::uniform_int_distribution<int> number(0, 9999);
  while (static_cast<int>(line.size()) < length) {
    for (const char* c = kWords[word(random)]; *c; ++c) line += static_cast<char32_t>(*c);
    line += U' ';
    for (char c : std::to_string(number(random))) line += static_cast<char32_t>(c);
    line += U' ';
  }
  line.resize(length);
  while (!line.empty() && line.back() == U' ') line.pop_back();
  return line;
}

}  // namespace

std::vector<SyntheticPage> MakePages(const ocrtools::FontFace& font, int count, int characters, std::uint64_t seed) {
  const std::vector<ocrtools::TemplateClass> classes = ocrtools::TemplateClasses();
  ocrtools::GlyphRenderer renderer(font);
  std::mt19937_64 random(seed);
  std::uniform_int_distribution<int> hanzi(0, kLevelOneHanzi - 1);
  static constexpr int kPoints[] = {10, 12, 14, 16};
  std::vector<SyntheticPage> pages;
  for (int p = 0; p < count; ++p) {
    SyntheticPage page;
    page.points = kPoints[p % 4];
    const int pixels = page.points * 300 / 72;
    const int gap = std::max(3, pixels / 8);
    const int lineHeight = pixels * 3 / 2;
    const int perLine = (kPageWidth - 2 * kMargin) / (pixels + gap);
    const int lines = std::min((characters + perLine - 1) / perLine, (kPageHeight - 2 * kMargin) / lineHeight);
    cv::Mat ink(kPageHeight, kPageWidth, CV_8UC1, cv::Scalar(0));
    for (int l = 0; l < lines; ++l) {
      std::u32string line;
      if (l % 6 == 3) {
        line = LatinLine(random, perLine);
      } else {
        for (int i = 0; i < perLine; ++i) line += classes[hanzi(random)].codePoint;
      }
      const int y = kMargin + l * lineHeight;
      int x = kMargin;
      for (char32_t c : line) {
        if (c == U' ') {
          x += pixels / 3;
          continue;
        }
        const cv::Mat glyph = renderer.Render(c, pixels);
        if (glyph.empty() || x + glyph.cols >= kPageWidth - kMargin / 2) continue;
        // Latin letters sit on a base line; Chinese characters fill the em square.
        const int top = c < 0x80 ? y + pixels * 4 / 5 - glyph.rows + (std::string("gjpqy").find(static_cast<char>(c)) != std::string::npos ? glyph.rows / 4 : 0)
                                 : y + std::max(0, (pixels - glyph.rows) / 2);
        cv::Mat target = ink(cv::Rect(x, std::max(0, top), glyph.cols, glyph.rows));
        cv::max(target, glyph, target);
        x += glyph.cols + gap;
        page.text += Utf8(c);
      }
      page.text += "\n";
    }
    cv::Mat picture;
    ink.convertTo(picture, CV_32F, -(kPaper - kInk) / 255.0, kPaper);
    cv::GaussianBlur(picture, picture, {3, 3}, 0.7);
    cv::Mat noise(picture.size(), CV_32F);
    cv::randn(noise, 0, 6);
    picture += noise;
    picture.convertTo(page.picture, CV_8U);
    pages.push_back(std::move(page));
  }
  return pages;
}

std::u32string ComparableText(const std::string& utf8) {
  std::u32string out;
  for (char32_t c : Decode(utf8)) {
    if (c == U' ' || c == U'\n' || c == U'\r' || c == U'\t' || c == 0x3000) continue;
    if (c >= 0xFF01 && c <= 0xFF5E) c -= 0xFEE0;
    out += c;
  }
  return out;
}

std::size_t EditDistance(const std::u32string& a, const std::u32string& b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

}  // namespace orvane::ocrpage
