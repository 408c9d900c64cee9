// Stamping a line of text onto a picture, the capture's date or custom watermark.
#pragma once

#include <string>

#include <opencv2/core.hpp>

namespace orvane::imaging {

struct WatermarkSpec {
  int color = 0;            // 0x00BBGGRR
  std::string text;         // UTF-8; empty: no stamp
  int position = 0;         // 0 top left, 1 top right, 2 bottom left, 3 bottom right, 4 centre
  int transparency = 0;     // 0 opaque ... 100 invisible
  int fontHeight = 1;       // cell height of the font in pixels
  cv::Mat picture;          // picture watermarks are refused, so always empty
};

// The grey the original renderer used as transparent background; smoothed glyph edges blend
// from the text colour towards it.
inline constexpr int kWatermarkKeyGrey = 168;

// Draws `spec.text` onto `picture` (BGR or grey, changed in place) in the sans-serif face "Arial"
// (or a metric-compatible one; CJK text falls back to an installed CJK face) with the requested
// cell height, at the spec's position, blended by its transparency. Text reaching past the
// picture is clipped. Needs a QGuiApplication (offscreen is enough), else throws
// std::runtime_error, as it does when the text is too large to draw; any thread.
void StampWatermark(cv::Mat& picture, const WatermarkSpec& spec);

}  // namespace orvane::imaging
