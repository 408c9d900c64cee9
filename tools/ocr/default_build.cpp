#include "ocr/default_build.h"

namespace orvane::ocrtools {
namespace {
const std::string kNoto = "/usr/share/fonts/opentype/noto/";
const std::string kTrueType = "/usr/share/fonts/truetype/";
}  // namespace

// Faces by maker, as their Debian packages tell their lineage:
// - Arphic: AR PL Mingti2L Big5 and SungtiL GB (Ming/Song), KaitiM Big5 and KaitiM GB (Kai), and
//   AR PL UMing and UKai, made from them.
// - Adobe's Source Han for Noto: Noto Sans CJK and Noto Serif CJK.
// - atelierAnchor: Smiley Sans.
// - Google's Droid Sans Fallback: WenQuanYi Micro Hei, completed by the WenQuanYi project.
// - cwTeX (Tsong-Min Wu and Tsong-Huey Wu): cwTeX Ming, Kai, FangSong and HeiBold.
// - WenQuanYi Zen Hei carries glyphs of the cwTeX authors and of Firefly's AR PL New Sung, itself
//   made from Arphic's faces, so it is related to both and used for nothing.
// The check faces are cwTeX's: no trained or calibrating face shares a maker or an ancestor with
// them. cwTeX's Latin letters come from CM-LGC, a Computer Modern face, and no Latin face here
// descends from Computer Modern either.
BuildOptions DefaultBuildOptions() {
  BuildOptions options;
  options.classes = TemplateClasses();
  // The traditional faces draw only the characters that both scripts share; their forms widen
  // what the template has seen of those.
  options.trainingFonts = {
      {kNoto + "NotoSansCJK-Regular.ttc", "Noto Sans CJK SC"},
      {kNoto + "NotoSansCJK-Bold.ttc", "Noto Sans CJK SC"},
      {kTrueType + "smiley-sans/SmileySans-Oblique.ttf", "Smiley Sans"},
      {kNoto + "NotoSerifCJK-Regular.ttc", "Noto Serif CJK SC"},
      {kNoto + "NotoSerifCJK-Bold.ttc", "Noto Serif CJK SC"},
      {kTrueType + "arphic/uming.ttc", "AR PL UMing CN"},
      {kTrueType + "arphic-bsmi00lp/bsmi00lp.ttf", "AR PL Mingti2L Big5"},
      {kTrueType + "arphic/ukai.ttc", "AR PL UKai CN"},
      {kTrueType + "arphic-bkai00mp/bkai00mp.ttf", "AR PL KaitiM Big5"},
      // Pages set their digits, Latin words and often their quotes in a Latin face beside the
      // Chinese one: these draw only those, in the designs of Times, Arial, Courier and Vera.
      {kTrueType + "liberation2/LiberationSerif-Regular.ttf", "Liberation Serif"},
      {kTrueType + "liberation2/LiberationSerif-Bold.ttf", "Liberation Serif"},
      {kTrueType + "liberation2/LiberationSans-Regular.ttf", "Liberation Sans"},
      {kTrueType + "liberation2/LiberationSans-Bold.ttf", "Liberation Sans"},
      {kTrueType + "liberation2/LiberationMono-Regular.ttf", "Liberation Mono"},
      {kTrueType + "dejavu/DejaVuSans.ttf", "DejaVu Sans"},
      {kTrueType + "dejavu/DejaVuSerif.ttf", "DejaVu Serif"},
  };
  options.trainingSizes = {20, 28, 40, 56};
  options.distortedPerSize = 3;
  // The distances are calibrated on how the template reads a face it has not seen.
  options.heldOutFont = {kTrueType + "wqy/wqy-microhei.ttc", "WenQuanYi Micro Hei"};
  options.heldOutSizes = {24, 34, 48};
  return options;
}

std::vector<HeldOutFont> HeldOutFonts() {
  return {
      {"sans", {kTrueType + "cwtex/cwheib.ttf", "cwTeXHeiBold"}},
      {"song", {kTrueType + "cwtex/cwming.ttf", "cwTeXMing"}},
      {"kai", {kTrueType + "cwtex/cwkai.ttf", "cwTeXKai"}},
      {"fangsong", {kTrueType + "cwtex/cwfs.ttf", "cwTeXFangSong"}},
  };
}

}  // namespace orvane::ocrtools
