#include "ocr/class_list.h"

#include <stdexcept>

#include "platform/codepage.h"

namespace orvane::ocrtools {
namespace {

// Row 1 and row 3 of GB2312 hold the punctuation a printed page uses most.
constexpr unsigned char kPunctuation[][2] = {
    {0xA1, 0xA2}, {0xA1, 0xA3}, {0xA1, 0xA4}, {0xA1, 0xAA}, {0xA1, 0xAD}, {0xA1, 0xAE},
    {0xA1, 0xAF}, {0xA1, 0xB0}, {0xA1, 0xB1}, {0xA1, 0xB2}, {0xA1, 0xB3}, {0xA1, 0xB4},
    {0xA1, 0xB5}, {0xA1, 0xB6}, {0xA1, 0xB7}, {0xA1, 0xB8}, {0xA1, 0xB9}, {0xA1, 0xBA},
    {0xA1, 0xBB}, {0xA1, 0xBE}, {0xA1, 0xBF}, {0xA3, 0xA1}, {0xA3, 0xA8}, {0xA3, 0xA9},
    {0xA3, 0xAC}, {0xA3, 0xAE}, {0xA3, 0xBA}, {0xA3, 0xBB}, {0xA3, 0xBF}, {0xA3, 0xA5},
};

void Append(std::vector<TemplateClass>& classes, unsigned char lead, unsigned char trail) {
  std::string gbk{static_cast<char>(lead), static_cast<char>(trail)};
  auto decoded = platform::DecodeText(gbk, platform::kGbkCharset);
  if (!decoded || decoded->size() != 1 || (*decoded)[0] == U'\uFFFD')
    throw std::runtime_error("GBK code without a character");
  const char32_t codePoint = (*decoded)[0];
  classes.push_back({std::move(gbk), codePoint});
}

}  // namespace

std::vector<TemplateClass> TemplateClasses() {
  std::vector<TemplateClass> classes;
  // Level 1 is rows 16 to 55 (lead bytes B0..D7); row 55 ends at D7F9.
  for (int lead = 0xB0; lead <= 0xD7; ++lead) {
    const int lastTrail = lead == 0xD7 ? 0xF9 : 0xFE;
    for (int trail = 0xA1; trail <= lastTrail; ++trail)
      Append(classes, static_cast<unsigned char>(lead), static_cast<unsigned char>(trail));
  }
  for (const auto& code : kPunctuation) Append(classes, code[0], code[1]);
  for (int trail = 0xB0; trail <= 0xB9; ++trail) Append(classes, 0xA3, static_cast<unsigned char>(trail));
  for (int trail = 0xC1; trail <= 0xDA; ++trail) Append(classes, 0xA3, static_cast<unsigned char>(trail));
  for (int trail = 0xE1; trail <= 0xFA; ++trail) Append(classes, 0xA3, static_cast<unsigned char>(trail));
  return classes;
}

}  // namespace orvane::ocrtools
