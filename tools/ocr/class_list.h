// The characters the template knows: GB2312 level 1, the common CJK punctuation, and the
// full-width digits and Latin letters, each labelled by its 2-byte GBK code.
#pragma once

#include <string>
#include <vector>

namespace orvane::ocrtools {

struct TemplateClass {
  std::string gbk;       // the engine's label: two bytes in GBK
  char32_t codePoint{};  // what the fonts are asked for
};

// Level-1 hanzi in code order, then the punctuation, then digits, upper- and lower-case letters.
std::vector<TemplateClass> TemplateClasses();

}  // namespace orvane::ocrtools
