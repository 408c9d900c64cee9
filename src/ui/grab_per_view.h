// The finished pictures of one capture, by view mode: which cameras give a picture and how, the
// rescale from each camera's current resolution to its configured one (and to the configured DPI
// when a reference DPI is known), the selection rectangle in picture pixels, the capture
// pipeline, and the joins of the multi-camera views. GUI thread only.
#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "app/sys_param.h"
#include "camera/overlays.h"

namespace orvane {
class CVideoController;
}

namespace orvane::ui {

// The cameras of the station; a missing camera is null.
struct StationCameras {
  CVideoController* document = nullptr;
  CVideoController* portrait = nullptr;
  CVideoController* third = nullptr;
};

// A ratio leaves a picture untouched from 0.999 to 1.001.
bool IsOff(double ratio);

// Horizontal and vertical factors of one rescale.
struct ScaleFactors {
  double x = 1.0;
  double y = 1.0;
  bool operator==(const ScaleFactors&) const = default;
};

// The size ratio (a, b) taken through the DPI: (xDpi·a / ref, yDpi·b / ref) when a reference DPI
// is known, else (a, b). A reference DPI below 10 (never calibrated, or nonsense) is no reference.
ScaleFactors DpiFactors(const CSysParam& settings, double a, double b);

// `configured` / `current`, or 1 (no rescale) when either side is not a real size.
double SizeRatio(int configured, int current);

// Left and right multiplied by `x`, top and bottom by `y`, each truncated toward zero.
IntRect ScaleRect(const IntRect& rect, ScaleFactors factors);

std::vector<cv::Mat> GrabProcessedImages(const CSysParam& settings, const StationCameras& cameras);

}  // namespace orvane::ui
