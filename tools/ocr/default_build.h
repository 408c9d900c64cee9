// The fonts and sizes the shipped template is trained and checked on (Debian's CJK fonts).
#pragma once

#include "ocr/template_builder.h"

namespace orvane::ocrtools {

// All classes, the training faces (hei, song/ming and kai styles, regular and bold), the training
// sizes, and the face the distances are calibrated on.
BuildOptions DefaultBuildOptions();

// The faces kept out of training and calibration, read only by the page-recognition check: a
// sans, a Song, a Kai and a FangSong face of one maker that no trained face descends from.
struct HeldOutFont {
  const char* style;  // "sans", "song", "kai", "fangsong"
  FontFace face;
};
std::vector<HeldOutFont> HeldOutFonts();

}  // namespace orvane::ocrtools
