// The video-recording command: the first frame as the strip's picture of the video, the
// recording dialog on the view mode's camera, and the live views as they were afterwards.
#include <QRadioButton>

#include <unistd.h>

#include <cstdlib>
#include <system_error>

#include "imaging/jpeg_file.h"
#include "platform/file_io.h"
#include "ui/main_window.h"
#include "ui/presenter.h"
#include "ui/video_to_file_dialog.h"

namespace orvane::ui {
namespace fs = std::filesystem;

namespace {

// The recorder writes ASF data whatever the name says.
std::string VideoExtension(int videoFormat) {
  switch (videoFormat) {
    case 1: return "avi";
    case 2: return "wmv";
    default: return "asf";
  }
}

// A new, empty file of our own for the first frame, outside the storage folder: with free naming
// the video's name may be that of an earlier picture, which must not be overwritten.
fs::path ReserveFirstFrameFile() {
  std::error_code error;
  std::string pattern = (fs::temp_directory_path(error) / "orvane-first-frame-XXXXXX.jpg").string();
  const int file = mkstemps(pattern.data(), 4);
  if (file < 0) return {};
  close(file);
  return pattern;
}

}  // namespace

QRect COrvaneDlg::PreviewOnScreen() const {
  const QRect area = preview_->geometry();
  return {mapToGlobal(area.topLeft()), area.size()};
}

void COrvaneDlg::OnRecordVideo() {
  if (!document_) return;
  if (!RecordsOneSource(settings_.viewMode, settings_.pictureInPicture)) {
    environment_.presenter->ShowMessage(this, texts_.oneRecordingDevice, StationCaption(), MessageIcon::kError);
    return;
  }
  UpdateData(true);
  SyncNaming();

  const int mode = settings_.viewMode;
  const CDeviceSlot& size = mode == 1 ? settings_.portraitCamera : mode == 2 ? settings_.thirdCamera : settings_.documentCamera;
  CCVideoToFile dialog(this, size.width, size.height, settings_.language, *environment_.presenter);
  dialog.SetPlacement(PreviewOnScreen());
  const std::string extension = VideoExtension(settings_.videoFormat);
  // With free naming the prompt asks about the video it is about to write.
  const fs::path base = settings_.BuildFileName(extension, Naming());
  if (base.empty()) return;

  // The first frame, cut, converted and watermarked like a capture. Without one the video still
  // records; the strip then has no picture for it.
  std::optional<fs::path> firstFrame;
  const std::vector<cv::Mat> pictures = GrabProcessedImages();
  if (!pictures.empty()) {
    const fs::path file = ReserveFirstFrameFile();
    std::string written;
    // The reserved file is ours: writing over it replaces nothing of the user's.
    if (!file.empty() && imaging::SaveMatAsJpeg(pictures.front(), written, file, 96, 96, 90,
                                                 platform::FilePlacement::Replacing())) {
      firstFrame = file;
    }
    else if (!file.empty()) fs::remove(file);
  }
  const fs::path video = base.string() + "." + extension;
  dialog.SetFileName(video);

  CVideoController* camera = document_.get();
  const CDeviceSlot* resize = nullptr;
  if (mode == 1 && portrait_) {
    camera = portrait_.get();
    resize = &settings_.portraitCamera;
  } else if (mode == 2 && third_) {
    camera = third_.get();
    resize = &settings_.thirdCamera;
  }
  dialog.SetCamera(camera);
  recording_ = &dialog;
  dialog.exec();
  recording_ = nullptr;
  if (resize != nullptr) camera->SetResolution(resize->width, resize->height);

  // A dialog cancelled before Start, or a recording of which nothing could be kept, leaves no
  // video to show; one cut short is shown under the name it was kept under.
  std::error_code error;
  if (!dialog.RecordedFile().empty()) AddToThumbnails(dialog.RecordedFile(), kThumbnailPicture, firstFrame);
  if (firstFrame) fs::remove(*firstFrame, error);

  const bool autoCrop = static_cast<QRadioButton*>(Control(ControlId::CropAuto))->isChecked();
  if (document_) {
    document_->SetRotation(rotation_[0]);
    if (autoCrop) {
      settings_.cropMode = 1;
      document_->SetAutoCrop(true, settings_.keepEveryDocument, 0.01f);
    }
  }
  if (portrait_) {
    portrait_->SetRotation(rotation_[1]);
    if (autoCrop) {
      settings_.cropMode = 1;
      portrait_->SetAutoCrop(true, false, 0.03f);
    }
  }
  ++settings_.runningIndex;
  ++runningIndexShown_;
  UpdateData(false);
}

}  // namespace orvane::ui
