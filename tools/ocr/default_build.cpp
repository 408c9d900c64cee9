#include "ocr/default_build.h"

namespace orvane::ocrtools {

BuildOptions DefaultBuildOptions() {
  BuildOptions options;
  options.classes = TemplateClasses();
  const std::string noto = "/usr/share/fonts/opentype/noto/";
  options.trainingFonts = {
      {"/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc", "WenQuanYi Zen Hei"},
      {noto + "NotoSansCJK-Regular.ttc", "Noto Sans CJK SC"},
      {noto + "NotoSansCJK-Bold.ttc", "Noto Sans CJK SC"},
      {noto + "NotoSerifCJK-Regular.ttc", "Noto Serif CJK SC"},
      {noto + "NotoSerifCJK-Bold.ttc", "Noto Serif CJK SC"},
      {"/usr/share/fonts/truetype/arphic/uming.ttc", "AR PL UMing CN"},
      {"/usr/share/fonts/truetype/arphic/ukai.ttc", "AR PL UKai CN"},
  };
  options.trainingSizes = {20, 28, 40, 56};
  options.distortedPerSize = 2;
  options.heldOutFont = {"/usr/share/fonts/truetype/wqy/wqy-microhei.ttc", "WenQuanYi Micro Hei"};
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
