// Cameras plugged in and pulled out, DPI calibration, the thumbnail strip's menu and the prefix
// list's editor.
#include <QCheckBox>

#include <cmath>
#include <system_error>

#include <opencv2/imgproc.hpp>

#include "imaging/conversions.h"
#include "imaging/page_detection.h"
#include "ui/main_window.h"
#include "ui/orientation_thread.h"
#include "ui/presenter.h"

namespace orvane::ui {
namespace fs = std::filesystem;

namespace {

// An ID-1 card: 85.6 x 54.0 mm.
constexpr float kCardLongInches = 3.37f;
constexpr float kCardShortInches = 2.125984f;
constexpr float kCardTolerance = 0.03f;

}  // namespace

void COrvaneDlg::StopCameraReaders() {
  if (orientation_) orientation_->Stop();
  // The continuous-shooting dialog's page watch reads the camera too; the dialog goes with it.
  CloseContinuousShoot();
}

void COrvaneDlg::DocumentCameraGone() {
  StopCameraReaders();
  document_.reset();
  portrait_.reset();
  rotation_[0] = 0;
  rotation_[1] = 0;
  environment_.presenter->ShowMessage(this, texts_.unplugged, StationCaption(), MessageIcon::kError);
}

void COrvaneDlg::OnDeviceChange() {
  CDeviceSlot& slot = settings_.documentCamera;
  // A camera of the device library has no USB ids to be looked for; plugging other devices in
  // and out must not take it away.
  if (slot.kind == kDeviceLibraryModel || slot.vendorId.empty() || slot.productId.empty()) return;
  const bool present = MakeController(0)->ProbeDevice(slot.vendorId, slot.productId) > 0;
  if (present == (document_ != nullptr)) return;
  if (!present) {
    DocumentCameraGone();
    return;
  }

  std::unique_ptr<CVideoController> camera = MakeController(0);
  ChooseDocumentFormat(*camera);
  const IntRect& r = displayRect_;
  if (camera->OpenAndShow(this, target_, slot.vendorId, slot.productId, {}, r.left, r.top, r.right, r.bottom,
                          StillPinFlag() != 0, 0) != kSuccess) {
    return;
  }
  document_ = std::move(camera);
  SelectModelProfile(settings_);
  settings_.viewMode = 0;

  PropertyRange range;
  document_->GetCameraControlRange(4, &range);
  long value = 0;
  long flags = 0;
  document_->GetCameraControl(4, &value, &flags);
  auto* automatic = static_cast<QCheckBox*>(Control(ControlId::AutoExposure));
  automatic->setEnabled(true);
  const bool isAutomatic = flags == kPropertyAuto;
  exposureSlider_->setEnabled(!isAutomatic);
  automatic->setChecked(isAutomatic);
  {
    const QSignalBlocker quiet(exposureSlider_);
    exposureSlider_->setRange(static_cast<int>(range.minimum), static_cast<int>(range.maximum));
  }
  exposurePosition_ = static_cast<int>(value);
  exposureShown_ = exposurePosition_;
  {
    const QSignalBlocker quiet(exposureSlider_);
    exposureSlider_->setValue(exposurePosition_);
  }
  UpdateData(false);

  // The portrait camera comes back as at start-up, parked until a view shows it.
  if (settings_.portraitCamera.kind != kDeviceLibraryModel) OpenSideCamera(settings_.portraitCamera, portrait_);
  // The document camera alone: the third camera, still running in the view left behind, is parked.
  if (!SetViewMode(0)) {
    environment_.presenter->ShowMessage(this, texts_.deviceBusy, StationCaption(), MessageIcon::kError);
    document_->ShowDisplay(true);
  }
  // A new display knows no trims yet.
  document_->SetTrimMargins(settings_.trimLeft, settings_.trimTop, settings_.trimRight, settings_.trimBottom);
  // The new camera crops nothing: "no crop", and the buttons the view left disabled are offered again.
  UpdateCropButtons();
  preview_->hide();
  // The orientation check stopped with the camera; it goes on with the camera that came back.
  if (settings_.orientationCheck) StartOrientationThread();
}

int COrvaneDlg::CalibrateDpi() {
  const auto fail = [this] {
    static constexpr const char* kFailed[] = {"DPI校准失败，请重试", "DPI校準失敗，請重試",
                                              "The DPI calibration failed, please try again"};
    environment_.presenter->ShowMessage(this, kFailed[TextColumn(settings_.language)], StationCaption(),
                                        MessageIcon::kNone);
    return 0;
  };
  if (!document_) return fail();
  cv::Mat picture = settings_.stillCapture ? document_->GrabStill() : document_->GetPicture();
  if (picture.empty()) return fail();
  int width = 0;
  int height = 0;
  document_->GetCurrentResolution(&width, &height);
  const double r = SizeRatio(settings_.documentCamera.width,
                             settings_.stillCapture ? std::max(picture.cols, picture.rows) : width);
  if (IsOff(r)) {
    cv::Mat scaled;
    cv::resize(picture, scaled, cv::Size(), r, r, cv::INTER_LINEAR);
    picture = std::move(scaled);
  }
  // The card's own size, as found: a cut taken inside it would read every card a few percent small.
  cv::RotatedRect card;
  if (!imaging::FindDocumentBounds(picture, imaging::kPageMedianAperture, imaging::kPageGradientAperture,
                                   imaging::kPageScale, 0.03f, imaging::kPageThresholdFactor, card)) {
    return fail();
  }
  const float along = std::max(card.size.width, card.size.height) / kCardLongInches;
  const float across = std::min(card.size.width, card.size.height) / kCardShortInches;
  if (std::fabs(along - across) / std::min(along, across) > kCardTolerance) return fail();
  dpiValue_ = std::sqrt(along * across);
  return 1;
}

void COrvaneDlg::OnThumbnailClick(int index, platform::LParam kind) {
  if (kind != platform::message_ids::kRightClick) return;
  selectedThumbnail_ = index;
  if (!thumbnailMenu_) {
    thumbnailMenu_ = std::make_unique<QMenu>(this);
    connect(thumbnailMenu_->addAction(QString()), &QAction::triggered, this, [this] { OnCommand(ControlId::ThumbnailOpen); });
    connect(thumbnailMenu_->addAction(QString()), &QAction::triggered, this,
            [this] { OnCommand(ControlId::ThumbnailDelete); });
  }
  // In the language of the moment: the settings window may have changed it.
  const ThumbnailMenuTexts& texts = ThumbnailMenuTextsFor(settings_.language);
  const QList<QAction*> commands = thumbnailMenu_->actions();
  commands[0]->setText(QString::fromUtf8(texts.open));
  commands[1]->setText(QString::fromUtf8(texts.remove));
  thumbnailMenu_->popup(mapToGlobal(lastMouse_));
}

void COrvaneDlg::OnOpenThumbnail() {
  if (selectedThumbnail_ >= 0 && selectedThumbnail_ < static_cast<int>(thumbnails_.size())) {
    OpenFileOrSay(*environment_.presenter, this, settings_.language,
                  thumbnails_[static_cast<std::size_t>(selectedThumbnail_)]->GetPath());
  }
  selectedThumbnail_ = -1;
}

void COrvaneDlg::OnDeleteThumbnail() {
  if (selectedThumbnail_ < 0 || selectedThumbnail_ >= static_cast<int>(thumbnails_.size())) {
    selectedThumbnail_ = -1;
    return;
  }
  CImageButton& thumbnail = *thumbnails_[static_cast<std::size_t>(selectedThumbnail_)];
  selectedThumbnail_ = -1;
  std::error_code error;
  fs::remove(thumbnail.GetPath(), error);
  if (error) {
    // The picture stays in the strip as long as its file does.
    environment_.presenter->ShowMessage(this, texts_.cannotDelete, StationCaption(), MessageIcon::kError);
    return;
  }
  thumbnail.Clear();
  thumbnail.LoadBitmapResource(kEmptyThumbnailPicture);
  thumbnail.Invalidate(true);
}

std::optional<std::vector<std::string>> COrvaneDlg::EditPrefixes() {
  const std::optional<std::string> edited =
      environment_.presenter->EditPrefixList(this, settings_.language, settings_.prefixChoices);
  if (!edited) return std::nullopt;
  std::vector<std::string> prefixes;
  if (!imaging::SplitBarList(*edited, prefixes)) return std::nullopt;
  SetPrefixChoices(*edited);
  // The list is kept at once, also when the window is never closed in order.
  CSysParam copy = GetSysParam();
  copy.Save();
  return prefixes;
}

}  // namespace orvane::ui
