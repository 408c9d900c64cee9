#include "ocr/default_build.h"

namespace orvane::ocrtools {

BuildOptions DefaultBuildOptions() {
  BuildOptions options;
  options.classes = TemplateClasses();
  const std::string noto = "/usr/share/fonts/opentype/noto/";
  const std::string truetype = "/usr/share/fonts/truetype/";
  // The traditional faces draw only the characters that both scripts share; they add the hands of
  // further type designers to those.
  options.trainingFonts = {
      {truetype + "wqy/wqy-zenhei.ttc", "WenQuanYi Zen Hei"},
      {noto + "NotoSansCJK-Regular.ttc", "Noto Sans CJK SC"},
      {noto + "NotoSansCJK-Bold.ttc", "Noto Sans CJK SC"},
      {truetype + "cwtex/cwheib.ttf", "cwTeXHeiBold"},
      {truetype + "smiley-sans/SmileySans-Oblique.ttf", "Smiley Sans"},
      {noto + "NotoSerifCJK-Regular.ttc", "Noto Serif CJK SC"},
      {noto + "NotoSerifCJK-Bold.ttc", "Noto Serif CJK SC"},
      {truetype + "arphic/uming.ttc", "AR PL UMing CN"},
      {truetype + "arphic-bsmi00lp/bsmi00lp.ttf", "AR PL Mingti2L Big5"},
      {truetype + "cwtex/cwming.ttf", "cwTeXMing"},
      {truetype + "arphic/ukai.ttc", "AR PL UKai CN"},
      {truetype + "arphic-bkai00mp/bkai00mp.ttf", "AR PL KaitiM Big5"},
      {truetype + "cwtex/cwkai.ttf", "cwTeXKai"},
  };
  options.trainingSizes = {20, 28, 40, 56};
  options.distortedPerSize = 3;
  // A FangSong face, between the Song and Kai styles, is read by no check: the distances are
  // calibrated on how the template reads a face it has not seen.
  options.heldOutFont = {truetype + "cwtex/cwfs.ttf", "cwTeXFangSong"};
  options.heldOutSizes = {24, 34, 48};
  return options;
}

std::vector<HeldOutFont> HeldOutFonts() {
  return {
      {"sans", {"/usr/share/fonts/truetype/wqy/wqy-microhei.ttc", "WenQuanYi Micro Hei"}},
      {"song", {"/usr/share/fonts/truetype/arphic-gbsn00lp/gbsn00lp.ttf", "AR PL SungtiL GB"}},
      {"kai", {"/usr/share/fonts/truetype/arphic-gkai00mp/gkai00mp.ttf", "AR PL KaitiM GB"}},
  };
}

}  // namespace orvane::ocrtools
