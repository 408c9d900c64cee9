#include "camera/video_controller.h"

#include <algorithm>

#include <QWidget>

#include "camera/device_library_source.h"
#include "camera/display_core.h"
#include "camera/usb_camera.h"

namespace orvane {
namespace {

class DisplayPictures final : public IPictureSource {
 public:
  explicit DisplayPictures(CShowVideoPro& display) : display_(display) {}
  bool GetRecordingPicture(cv::Mat* picture) override { return display_.GetRecordingPicture(picture); }
  bool GetRecordingPictureAt(cv::Mat* picture, cv::Size recordedSize) override {
    return display_.GetRecordingPictureAt(picture, recordedSize);
  }

 private:
  CShowVideoPro& display_;
};

}  // namespace

std::unique_ptr<CVideoBaseClass> CreateVideoSource(int type) {
  if (type == kSourceDeviceLibrary) return std::make_unique<CRNXStreamerData>();
  return std::make_unique<CUSBCamra>();
}

void CVideoController::Init(bool threadedDisplay, int sourceType) {
  CloseAll();
  threadedDisplay_ = threadedDisplay;
  sourceType_ = sourceType;
  rect_ = {};
  parent_ = nullptr;
  parentTarget_ = {};
  autoCrop_ = false;
}

int CVideoController::ProbeDevice(const std::string& id1, const std::string& id2) {
  const std::unique_ptr<CVideoBaseClass> probe = factories_.source(sourceType_);
  return probe ? probe->ProbeDevice(id1, id2) : 0;
}

CVideoBaseClass& CVideoController::EnsureMainSource() {
  if (!main_) main_ = factories_.source(sourceType_);
  return *main_;
}

int CVideoController::OpenAndShow(QWidget* parent, platform::TargetHandle parentTarget, const std::string& id1,
                                  const std::string& id2, const std::string& id3, int left, int top, int right,
                                  int bottom, bool stillPin, int deviceIndex) {
  StopRecording();
  CVideoBaseClass& main = EnsureMainSource();
  main.Stop();
  if (secondary_) secondary_->Stop();
  const int result = main.Open(id1, id2, id3, parentTarget, stillPin, deviceIndex);
  if (result < 0) {
    // The old display still holds no pointer into this source: sources write into display slots.
    main_.reset();
    return result;
  }
  // Detach before the old display and its slots go away.
  main.SetFrameSink(nullptr);
  if (secondary_) secondary_->SetFrameSink(nullptr);
  rect_ = {left, top, right, bottom};
  parent_ = parent;
  parentTarget_ = parentTarget;
  display_.reset();
  std::unique_ptr<CShowVideoPro> display = factories_.display();
  if (display && display->Create(parent, rect_, parentTarget)) {
    display_ = std::move(display);
    display_->SetFrameRateLimit(-1);
    main.SetFrameSink(display_->RawSlot(CDisplayCore::kMainSlot));
    if (secondary_) secondary_->SetFrameSink(display_->RawSlot(CDisplayCore::kSecondarySlot));
    return result;
  }
  // An open camera with nowhere to show it is no success for the caller.
  return kFail;
}

int CVideoController::OpenSecondary(const std::string& id1, const std::string& id2, const IntRect& box) {
  if (!display_ || !main_) return kFail;
  display_->DeleteSubImageBox();
  if (secondary_) {
    secondary_->Stop();
    secondary_.reset();
  }
  secondary_ = factories_.source(sourceType_);
  if (!secondary_) return kFail;
  const IntRect normal{std::min(box.left, box.right), std::min(box.top, box.bottom), std::max(box.left, box.right),
                       std::max(box.top, box.bottom)};
  secondary_->SetResolution(normal.Width(), normal.Height());
  const int result = secondary_->Open(id1, id2, {}, {}, false, 0);
  if (result >= 0 && (main_->GetState() != kStateRunning || secondary_->Start())) {
    display_->CreateSubImageBox(normal);
    secondary_->SetFrameSink(display_->RawSlot(CDisplayCore::kSecondarySlot));
    return result;
  }
  secondary_.reset();
  return kFail;
}

void CVideoController::CloseSecondary() {
  if (display_) display_->DeleteSubImageBox();
  if (secondary_) {
    secondary_->Stop();
    secondary_->SetFrameSink(nullptr);
    secondary_.reset();
  }
}

bool CVideoController::Start() {
  if (!main_) return false;
  if (secondary_ && !secondary_->Start()) CloseSecondary();
  return main_->Start();
}

bool CVideoController::Stop() {
  if (!main_) return false;
  if (secondary_) secondary_->Stop();
  return main_->Stop();
}

void CVideoController::CloseAll() {
  StopRecording();
  if (display_) display_->DeleteSubImageBox();
  if (secondary_) {
    secondary_->Stop();
    secondary_->SetFrameSink(nullptr);
    secondary_.reset();
  }
  if (main_) {
    main_->Stop();
    main_->SetFrameSink(nullptr);
    // The source's destructor joins its own threads, so nothing it runs outlives it.
    main_.reset();
  }
  display_.reset();
}

int CVideoController::StartRecording(const std::filesystem::path& file, int width, int height, int fps,
                                     int bitrate) {
  if (!display_) return kNullPointer;
  StopRecording();
  recorder_ = factories_.recorder();
  if (!recorder_) return kFail;
  recordingSource_ = std::make_unique<DisplayPictures>(*display_);
  display_->SetRecording(true);
  const int result = recorder_->Start(recordingSource_.get(), file, width, height, fps, bitrate);
  if (result != kSuccess) {
    // A recording that never started must not leave the display handing out pictures.
    display_->SetRecording(false);
    recorder_.reset();
    recordingSource_.reset();
  }
  return result;
}

int CVideoController::StopRecording() {
  if (!recorder_) return kNullPointer;
  if (display_) display_->SetRecording(false);
  const int result = recorder_->Stop();
  recorded_ = recorder_->RecordedFile();
  recorder_.reset();
  recordingSource_.reset();
  return result;
}

void CVideoController::MoveDisplay() {
  if (display_ && display_->GetHWnd())
    display_->GetHWnd()->setGeometry(rect_.left, rect_.top, rect_.Width(), rect_.Height());
}

cv::Mat CVideoController::GetPicture() { return display_ ? display_->GetPicture() : cv::Mat(); }
int CVideoController::ShownRotation() const { return display_ ? display_->ShownRotation() : 0; }

std::vector<cv::Mat> CVideoController::GetCroppedPictures() {
  return display_ ? display_->GetCroppedPictures() : std::vector<cv::Mat>{};
}

cv::Mat CVideoController::GetShownPicture() {
  if (!display_) return {};
  cv::Mat shown = display_->GetShownPicture();
  if (shown.empty()) return {};
  cv::Mat picture(shown.size(), CV_8UC3);
  shown.copyTo(picture);
  return picture;
}

bool CVideoController::GetTrackRect(IntRect* rect) {
  if (!display_) return false;
  *rect = {};
  return display_->GetTrackRect(rect);
}

bool CVideoController::ShowDisplay(bool show) { return display_ ? display_->Show(show) : false; }

bool CVideoController::SetTrimMargins(int left, int top, int right, int bottom) {
  if (!display_ || left < 0 || top < 0 || right < 0 || bottom < 0) return false;
  display_->SetTrimMargins(left, top, right, bottom);
  return true;
}

int CVideoController::SetCameraControl(long property, long value) {
  return EnsureMainSource().SetCameraControl(property, value);
}
int CVideoController::GetCameraControl(long property, long* value, long* flags) {
  return EnsureMainSource().GetCameraControl(property, value, flags);
}
int CVideoController::GetCameraControlRange(long property, PropertyRange* range) {
  return EnsureMainSource().GetCameraControlRange(property, range);
}
int CVideoController::SetResolution(int width, int height) { return EnsureMainSource().SetResolution(width, height); }
void CVideoController::GetCurrentResolution(int* width, int* height) {
  EnsureMainSource().GetCurrentResolution(width, height);
}
bool CVideoController::GetDeviceFormatList(const std::string& id1, const std::string& id2, int deviceIndex,
                                           std::vector<int>* formats) {
  return EnsureMainSource().GetDeviceFormatList(id1, id2, deviceIndex, formats);
}
void CVideoController::SetFormatMode(int mode) { EnsureMainSource().SetFormatMode(mode); }
bool CVideoController::HasStillPin(const std::string& id1, const std::string& id2, int deviceIndex) {
  return EnsureMainSource().HasStillPin(id1, id2, deviceIndex);
}
cv::Mat CVideoController::GrabStill() { return main_ ? main_->GrabStill() : cv::Mat(); }
void CVideoController::ShowFormatPage(QWidget* parent, int language) {
  if (main_) main_->ShowFormatPage(parent, language);
}
void CVideoController::ShowDevicePage(QWidget* parent, int language) {
  if (main_) main_->ShowDevicePage(parent, language);
}

void CVideoController::SetRotation(int angle) {
  if (angle % 90 != 0) return;
  const int normalised = ((angle % 360) + 360) % 360;
  if (display_) display_->SetRotation(normalised);
  if (main_) main_->SetRotation(normalised);
}

void CVideoController::SetAutoCrop(bool on, bool multiDocument, float minimumAreaRatio) {
  if (display_) {
    if (on) {
      display_->SetAutoCrop(true, multiDocument, minimumAreaRatio);
      display_->EnableTrackRect(false);
    } else {
      display_->SetAutoCrop(false, false, minimumAreaRatio);
    }
  }
  autoCrop_ = on;
}

platform::MessageResult CVideoController::EnableTrackRect(bool on) {
  if (!display_) return on ? 1 : 0;
  if (on) {
    autoCrop_ = false;
    display_->SetAutoCrop(false, false, 0.03f);
    return display_->EnableTrackRect(true);
  }
  return display_->EnableTrackRect(false);
}

}  // namespace orvane
