#include "ui/orientation_thread.h"

#include <exception>

#include "imaging/page_detection.h"
#include "ocr/doc_orientation.h"
#include "platform/message_ids.h"

namespace orvane::ui {
namespace ids = platform::message_ids;

cv::Mat OrientationPage(const cv::Mat& picture) {
  cv::Mat page;
  if (!picture.empty()) imaging::DetectAndCropDocument(picture, 0, 8.0, 9, 3, 0.2f, 0.01f, page);
  return page.empty() ? picture : page;
}

bool COrientationThread::Start(std::filesystem::path templatePath, PictureSource picture,
                               platform::TargetHandle window) {
  if (thread_.joinable()) return false;
  stop_ = platform::OpenNamedEvent("StopPODInspectThread", platform::EventReset::kAuto);
  stop_->Reset();
  thread_ = std::thread(Run, std::move(templatePath), std::move(picture), window, stop_);
  return true;
}

void COrientationThread::Stop() {
  if (!thread_.joinable()) return;
  stop_->Set();
  thread_.join();
  stop_.reset();
}

void COrientationThread::Run(std::filesystem::path templatePath, PictureSource picture,
                             platform::TargetHandle window, std::shared_ptr<platform::Event> stop) {
  ocr::CDocOrientation detector;
  if (!detector.Initialize(templatePath)) {
    platform::Post(window, ids::kOrientationResult, ids::kOrientationEnded, 0);
    return;
  }
  while (!stop->Wait(std::chrono::milliseconds(300))) {
    if (!picture) {
      platform::Post(window, ids::kOrientationResult, ids::kOrientationEnded, 0);
      break;
    }
    int angle = 0;
    try {
      const ShownPicture shown = picture();
      if (!shown.picture.empty() && detector.DetectOrientation(OrientationPage(shown.picture), &angle, false)) {
        platform::Message result;
        result.id = ids::kOrientationResult;
        result.wParam = ids::kOrientationAngle;
        result.lParam = angle;
        result.payload = shown.rotation;
        platform::Post(window, std::move(result));
      }
    } catch (const std::exception&) {
      // A picture the detector cannot read decides nothing; the next one may.
    }
  }
  detector.Release();
}

}  // namespace orvane::ui
