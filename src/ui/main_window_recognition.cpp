// Text recognition of the document camera's page into a Word document, and the orientation
// thread that turns the live picture upright.
#include <any>

#include <opencv2/imgproc.hpp>

#include "imaging/capture_pipeline.h"
#include "platform/message_ids.h"
#include "ui/main_window.h"
#include "ui/ocr_progress_dlg.h"
#include "ui/orientation_thread.h"
#include "ui/presenter.h"

namespace orvane::ui {
namespace fs = std::filesystem;
namespace ids = platform::message_ids;

void COrvaneDlg::OnRecognizeText() {
  if (!document_) return;
  // The command reads the document camera, shown in view modes 0, 3, 4 and 6.
  if (settings_.viewMode == 1 || settings_.viewMode == 2 || settings_.viewMode == 5) return;
  UpdateData(true);
  SyncNaming();
  if (settings_.shutterSound) PlayShutter();

  imaging::CCaptureImageHelper pipeline(settings_.language);
  // A free name is asked with the document's own extension, so that the prompt warns of the
  // document it would replace.
  const fs::path base = settings_.BuildFileName("docx", Naming());
  if (base.empty()) return;
  // The live picture at the camera's resolution, never a still, not rescaled.
  const cv::Mat live = document_->GetPicture();

  UpdateData(true);
  CSysParam cutting = settings_;
  IntRect selection;
  if (document_->GetTrackRect(&selection)) {
    cutting.captureCrop = {selection.left, selection.top, selection.right, selection.bottom};
  }
  // The page only: in colour, without shadow removal, straightening, watermarks or extra pages.
  cutting.shadowRemoval = false;
  cutting.deformationRepair = false;
  cutting.dateWatermark = false;
  cutting.customWatermark = false;
  cutting.keepEveryDocument = false;
  cutting.colorMode = 0;
  pipeline.SetSettings(cutting);
  std::vector<cv::Mat> pages;
  pipeline.ProcessCapture(live, pages);
  if (pages.empty()) return;
  const cv::Mat* largest = &pages.front();
  for (const cv::Mat& page : pages) {
    if (page.total() > largest->total()) largest = &page;
  }

  const bool english = settings_.englishOcr;
  COCRProgressDlg dialog(this, settings_.language, english, *environment_.presenter, environment_.programFolder);
  if (english) {
    cv::Mat grey;
    cv::cvtColor(*largest, grey, cv::COLOR_BGR2GRAY);
    dialog.SetImage(grey);
  } else {
    dialog.SetImage(*largest);
    dialog.SetSettings(settings_);
  }
  fs::path document = base;
  document += ".docx";
  dialog.SetOutputPath(document);
  // Only a free name the user said may replace its document does.
  dialog.SetReplaceConfirmed(replaceConfirmed_);
  dialog.exec();
  if (dialog.GetResult() == static_cast<int>(ocr::OcrResult::kFinished)) {
    AddToThumbnails(dialog.GetOutputPath(), kThumbnailDocument, std::nullopt);
  }

  ++settings_.runningIndex;
  ++runningIndexShown_;
  UpdateData(false);
}

void COrvaneDlg::StartOrientationThread() {
  if (!orientation_) orientation_ = std::make_unique<COrientationThread>();
  if (orientation_->Running()) return;
  COrientationThread::PictureSource picture;
  // The display's getters may be called from any thread; the thread is stopped before the
  // camera goes.
  if (CVideoController* camera = document_.get()) {
    picture = [camera]() -> COrientationThread::ShownPicture {
      // A rotation that changed while the picture was taken leaves unknown which one it has.
      const int before = camera->ShownRotation();
      cv::Mat shown = camera->GetPicture();
      if (camera->ShownRotation() != before) return {};
      return {std::move(shown), before};
    };
  }
  orientation_->Start(environment_.programFolder / "OCR_RLDA_LN_Gra.tpl", std::move(picture), target_);
}

bool COrvaneDlg::OrientationRunning() const { return orientation_ && orientation_->Running(); }

void COrvaneDlg::OnOrientationResult(const platform::Message& message) {
  if (message.wParam == ids::kOrientationEnded) {
    // The thread has ended or is ending: forgotten, so that the check can be switched on again.
    if (orientation_) orientation_->Stop();
    return;
  }
  if (message.wParam != ids::kOrientationAngle || !document_) return;
  int& rotation = rotation_[0];
  // An angle read from a picture shown before the camera's last turn (frames were still under
  // way, or another result came first) is already out of date: applied, it would turn the page
  // past upright.
  const int* shownAt = std::any_cast<int>(&message.payload);
  if (shownAt != nullptr && *shownAt != rotation) return;
  rotation = static_cast<int>((rotation - message.lParam + 360) % 360);
  document_->SetRotation(rotation);
}

}  // namespace orvane::ui
