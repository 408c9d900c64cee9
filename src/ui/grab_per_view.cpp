#include "ui/grab_per_view.h"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

#include "camera/video_controller.h"
#include "imaging/capture_pipeline.h"
#include "imaging/two_in_one.h"

namespace orvane::ui {
namespace {

constexpr double kSmallestReferenceDpi = 10.0;

// Resize in place; a factor that would leave no pixel leaves the picture as it is.
void Rescale(cv::Mat& picture, ScaleFactors factors) {
  if (picture.empty()) return;
  const int width = static_cast<int>(std::lround(picture.cols * factors.x));
  const int height = static_cast<int>(std::lround(picture.rows * factors.y));
  if (width < 1 || height < 1) return;
  cv::Mat scaled;
  cv::resize(picture, scaled, cv::Size(width, height), 0, 0, cv::INTER_LINEAR);
  picture = std::move(scaled);
}

// A picture taller than wide is a frame turned by 90 or 270 degrees, whose width belongs to the
// camera's height.
ScaleFactors Oriented(const cv::Mat& picture, double rx, double ry) {
  return picture.cols > picture.rows ? ScaleFactors{rx, ry} : ScaleFactors{ry, rx};
}

CropRect ToCrop(const IntRect& rect) { return {rect.left, rect.top, rect.right, rect.bottom}; }

IntRect TrackRect(CVideoController& camera) {
  IntRect rect;
  camera.GetTrackRect(&rect);
  return rect;
}

struct Resolution {
  int width = 0;
  int height = 0;
};

Resolution CurrentResolution(CVideoController& camera) {
  Resolution resolution;
  camera.GetCurrentResolution(&resolution.width, &resolution.height);
  return resolution;
}

std::vector<cv::Mat> Process(const CSysParam& settings, const cv::Mat& source, const cv::Mat& work = {}) {
  imaging::CCaptureImageHelper pipeline(settings.language);
  pipeline.SetSettings(settings);
  std::vector<cv::Mat> pictures;
  pipeline.ProcessCapture(source, pictures, work);
  return pictures;
}

// The document camera's finished pages: the still or the live frame, rescaled, cut by the crop
// mode with the selection rectangle scaled exactly as the picture was.
std::vector<cv::Mat> DocumentPictures(const CSysParam& settings, CVideoController& camera) {
  cv::Mat picture = settings.stillCapture ? camera.GrabStill() : camera.GetPicture();
  if (picture.empty()) return {};
  IntRect selection = TrackRect(camera);
  const int configured = settings.documentCamera.width;
  const Resolution current = CurrentResolution(camera);
  if (settings.stillCapture) {
    // The still's longer side goes to the configured width, whatever the preview size; the
    // selection was drawn on the preview.
    const double r = SizeRatio(configured, std::max(picture.cols, picture.rows));
    ScaleFactors dpi{1.0, 1.0};
    if (IsOff(r)) {
      const ScaleFactors factors = DpiFactors(settings, r, r);
      dpi = {factors.x / r, factors.y / r};
      Rescale(picture, factors);
    }
    const double r2 = SizeRatio(configured, current.width);
    selection = ScaleRect(selection, {r2 * dpi.x, r2 * dpi.y});
  } else {
    const double r = SizeRatio(configured, current.width);
    if (IsOff(r)) {
      const ScaleFactors factors = DpiFactors(settings, r, r);
      Rescale(picture, factors);
      selection = ScaleRect(selection, factors);
    }
  }
  CSysParam copy = settings;
  copy.captureCrop = ToCrop(selection);
  return Process(copy, picture);
}

// The portrait or third camera's picture as its display cuts it, rescaled to its configured size.
cv::Mat SidePicture(const CSysParam& settings, CVideoController& camera, const CDeviceSlot& slot, bool throughDpi) {
  std::vector<cv::Mat> cut = camera.GetCroppedPictures();
  if (cut.empty() || cut.front().empty()) return {};
  cv::Mat picture = std::move(cut.front());
  const Resolution current = CurrentResolution(camera);
  const double rx = SizeRatio(slot.width, current.width);
  const double ry = SizeRatio(slot.height, current.height);
  if (IsOff(rx) || IsOff(ry)) {
    const ScaleFactors oriented = Oriented(picture, rx, ry);
    Rescale(picture, throughDpi ? DpiFactors(settings, oriented.x, oriented.y) : oriented);
  }
  return picture;
}

int JoinKind(const cv::Mat& page) { return page.channels() == 3 ? imaging::kJoinColor : imaging::kJoinGrey; }

// Views 3 and 4 with picture-in-picture: detection on the plain frame, the cut from the frame as
// shown, inset included.
std::vector<cv::Mat> PictureInPicture(const CSysParam& settings, CVideoController& camera) {
  cv::Mat plain = camera.GetPicture();
  cv::Mat shown = camera.GetShownPicture();
  if (plain.empty() || shown.empty()) return {};
  IntRect selection = TrackRect(camera);
  const Resolution current = CurrentResolution(camera);
  const double rx = SizeRatio(settings.documentCamera.width, current.width);
  const double ry = SizeRatio(settings.documentCamera.height, current.height);
  if (IsOff(rx) || IsOff(ry)) {
    const ScaleFactors oriented = Oriented(plain, rx, ry);
    const ScaleFactors factors = DpiFactors(settings, oriented.x, oriented.y);
    Rescale(plain, factors);
    Rescale(shown, factors);
    selection = ScaleRect(selection, factors);
  }
  CSysParam copy = settings;
  copy.captureCrop = ToCrop(selection);
  return Process(copy, plain, shown);
}

// Each page with the second camera's picture above it.
std::vector<cv::Mat> WithSideAbove(std::vector<cv::Mat> pages, const cv::Mat& side) {
  if (side.empty()) return pages;
  for (cv::Mat& page : pages) page = imaging::MergeImagesV(page, side, JoinKind(page));
  return pages;
}

}  // namespace

bool IsOff(double ratio) { return ratio < 0.999 || ratio > 1.001; }

ScaleFactors DpiFactors(const CSysParam& settings, double a, double b) {
  if (!(settings.referenceDpi >= kSmallestReferenceDpi) || settings.xDpi <= 0 || settings.yDpi <= 0) return {a, b};
  return {settings.xDpi * a / settings.referenceDpi, settings.yDpi * b / settings.referenceDpi};
}

double SizeRatio(int configured, int current) {
  if (configured <= 0 || current <= 0) return 1.0;
  return static_cast<double>(configured) / current;
}

IntRect ScaleRect(const IntRect& rect, ScaleFactors factors) {
  const auto scale = [](int value, double factor) { return static_cast<int>(std::trunc(value * factor)); };
  return {scale(rect.left, factors.x), scale(rect.top, factors.y), scale(rect.right, factors.x),
          scale(rect.bottom, factors.y)};
}

std::vector<cv::Mat> GrabProcessedImages(const CSysParam& settings, const StationCameras& cameras) {
  switch (settings.viewMode) {
    case 0:
      if (cameras.document == nullptr) return {};
      return DocumentPictures(settings, *cameras.document);
    case 1:
    case 2: {
      CVideoController* camera = settings.viewMode == 1 ? cameras.portrait : cameras.third;
      if (camera == nullptr) return {};
      const CDeviceSlot& slot = settings.viewMode == 1 ? settings.portraitCamera : settings.thirdCamera;
      const cv::Mat side = SidePicture(settings, *camera, slot, false);
      if (side.empty()) return {};
      CSysParam copy = settings;
      copy.shadowRemoval = false;
      imaging::CCaptureImageHelper pipeline(settings.language);
      pipeline.SetSettings(copy);
      cv::Mat finished = pipeline.ApplyColorMode(side);
      if (finished.empty()) return {};
      return {finished};
    }
    case 3:
    case 4: {
      if (cameras.document == nullptr) return {};
      if (settings.pictureInPicture) return PictureInPicture(settings, *cameras.document);
      CVideoController* second = settings.viewMode == 3 ? cameras.portrait : cameras.third;
      if (second == nullptr) return {};
      std::vector<cv::Mat> pages = DocumentPictures(settings, *cameras.document);
      const CDeviceSlot& slot = settings.viewMode == 3 ? settings.portraitCamera : settings.thirdCamera;
      const cv::Mat side = SidePicture(settings, *second, slot, true);
      // The second camera gave nothing: the document picture is discarded with it.
      if (side.empty()) return {};
      return WithSideAbove(std::move(pages), side);
    }
    case 5: {
      if (cameras.portrait == nullptr || cameras.third == nullptr) return {};
      const auto byWidth = [](CVideoController& camera, int configuredWidth) -> cv::Mat {
        std::vector<cv::Mat> cut = camera.GetCroppedPictures();
        if (cut.empty() || cut.front().empty()) return {};
        cv::Mat picture = std::move(cut.front());
        const double r = SizeRatio(configuredWidth, CurrentResolution(camera).width);
        if (IsOff(r)) Rescale(picture, {r, r});
        return picture;
      };
      const cv::Mat portrait = byWidth(*cameras.portrait, settings.portraitCamera.width);
      if (portrait.empty()) return {};
      const cv::Mat third = byWidth(*cameras.third, settings.thirdCamera.width);
      if (third.empty()) return {};
      CSysParam copy = settings;
      copy.cropMode = 0;
      return Process(copy, imaging::MergeImagesV(portrait, third, imaging::kJoinColor));
    }
    case 6: {
      if (cameras.document == nullptr || cameras.portrait == nullptr || cameras.third == nullptr) return {};
      std::vector<cv::Mat> pages = DocumentPictures(settings, *cameras.document);
      const cv::Mat portrait = SidePicture(settings, *cameras.portrait, settings.portraitCamera, true);
      const cv::Mat third = SidePicture(settings, *cameras.third, settings.thirdCamera, true);
      if (portrait.empty() || third.empty()) return {};
      for (cv::Mat& page : pages) page = imaging::MergeImagesH(page, portrait, third, JoinKind(page));
      return pages;
    }
    default:
      return {};
  }
}

}  // namespace orvane::ui
