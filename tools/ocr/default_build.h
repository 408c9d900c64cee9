// The fonts and sizes the shipped template is trained and checked on (Debian's CJK fonts).
#pragma once

#include "ocr/template_builder.h"

namespace orvane::ocrtools {

// All classes, seven training faces (hei, song/ming and kai styles, regular and bold), the
// training sizes; WenQuanYi Micro Hei at three other sizes is kept out for the held-out check.
BuildOptions DefaultBuildOptions();

// The faces kept out of training and calibration, read only by the page-recognition check: one
// sans, one Song and one Kai face.
struct HeldOutFont {
  const char* style;  // "sans", "song", "kai"
  FontFace face;
};
std::vector<HeldOutFont> HeldOutFonts();

}  // namespace orvane::ocrtools
