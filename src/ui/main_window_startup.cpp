// The main window's start-up, in the order the station relies on: branding, settings, language,
// camera discovery, the document camera (with its fall-backs), the side cameras, the controls and
// the keys.
#include <QCheckBox>
#include <QPainter>
#include <QRadioButton>
#include <QTimer>

#include <algorithm>

#include "app/oem_data.h"
#include "imaging/capture_saver.h"
#include "imaging/conversions.h"
#include "platform/hotplug_monitor.h"
#include "platform/message_ids.h"
#include "platform/user_notice.h"
#include "ui/main_window.h"
#include "ui/notice_texts.h"
#include "ui/presenter.h"
#include "ui/splash_dialog.h"

namespace orvane::ui {
namespace {

constexpr int kVersion[4] = {2, 3, 0, 4};

MessageIcon ToIcon(platform::NoticeIcon icon) {
  switch (icon) {
    case platform::NoticeIcon::kInformation: return MessageIcon::kInformation;
    case platform::NoticeIcon::kWarning: return MessageIcon::kWarning;
    case platform::NoticeIcon::kError: return MessageIcon::kError;
    case platform::NoticeIcon::kNone: break;
  }
  return MessageIcon::kNone;
}

MessageIcon ToIcon(imaging::MessageIcon icon) {
  switch (icon) {
    case imaging::MessageIcon::kInformation: return MessageIcon::kInformation;
    case imaging::MessageIcon::kError: return MessageIcon::kError;
    case imaging::MessageIcon::kNone: break;
  }
  return MessageIcon::kNone;
}

// The lower layers' own captions stand; a message without one gets the station's.
std::string OrStationCaption(const std::string& caption) { return caption.empty() ? StationCaption() : caption; }

}  // namespace

std::unique_ptr<CVideoController> COrvaneDlg::MakeController(int sourceType) const {
  auto controller = std::make_unique<CVideoController>(environment_.controllers);
  controller->Init(true, sourceType);
  return controller;
}

StartUp COrvaneDlg::Fail(const std::string& text, bool stopIcon) {
  environment_.presenter->ShowMessage(this, text, StationCaption(), stopIcon ? MessageIcon::kError : MessageIcon::kWarning);
  return StartUp::kEnd;
}

void COrvaneDlg::LoadSettings() {
  settings_.SetIniPath(environment_.settingsFile);
  settings_.Load();
  settings_.ResolveStorageFolders(environment_.localTime());
  // A calibration of an earlier run holds until the next one.
  dpiValue_ = settings_.referenceDpi;
  settingsLoaded_ = true;
}

void COrvaneDlg::IdentifyCameras() {
  CDeviceSlot& document = settings_.documentCamera;
  CDeviceSlot& portrait = settings_.portraitCamera;
  CDeviceSlot& third = settings_.thirdCamera;
  models_->IdentifyCamera(&document.productId, &document.deviceText, &document.vendorId, &document.kind);
  models_->IdentifySecondCamera(&portrait.kind, &portrait.vendorId, &portrait.productId);
  models_->IdentifyThirdCamera(&third.kind, &third.vendorId, &third.productId);
  SelectModelProfile(settings_);
  models_->BuildResolutionList(document.productId, document.kind, document.vendorId, document.mjpgCapable);
  ApplyModelDefaults(settings_, *models_);
}

bool COrvaneDlg::OpenDocumentCamera() {
  CDeviceSlot& slot = settings_.documentCamera;
  const IntRect& r = displayRect_;
  if (slot.kind == kDeviceLibraryModel) {
    document_ = MakeController(kSourceDeviceLibrary);
    document_->SetResolution(slot.width, slot.height);
    // The device library knows the camera by the address discovery found.
    if (document_->OpenAndShow(this, target_, slot.deviceText, slot.productId, {}, r.left, r.top, r.right, r.bottom,
                               false, 0) != kSuccess) {
      document_.reset();
      return false;
    }
    settings_.viewMode = 0;
    return true;
  }

  document_ = MakeController(0);
  bool open = false;
  if (document_->ProbeDevice(slot.vendorId, slot.productId) > 0) {
    ProbeDeviceCaps(settings_, *environment_.cameraProbe);
    ChooseDocumentFormat(*document_);
    const auto openWith = [&](bool stillPin) {
      return document_->OpenAndShow(this, target_, slot.vendorId, slot.productId, {}, r.left, r.top, r.right, r.bottom,
                                    stillPin, 0) == kSuccess;
    };
    open = openWith(StillPinFlag() != 0);
    if (!open && (settings_.stillCapture || settings_.channelFlag)) {
      settings_.stillCapture = false;
      settings_.channelFlag = false;
      open = openWith(false);
    }
    if (!open && slot.mjpgCapable) {
      slot.width = 2048;
      slot.height = 1536;
      document_->SetResolution(slot.width, slot.height);
      document_->SetFormatMode(kFormatMJPG);
      open = openWith(false);
      if (open) settings_.mjpgMode = true;
    }
    if (open) settings_.viewMode = 0;
  }
  if (!open) {
    document_.reset();
    return false;
  }
  secondDisplayRect_ = displayRect_;
  return true;
}

void COrvaneDlg::EnableBarcodeFolderBoxes(bool enabled) {
  for (ControlId id : {ControlId::TwoInOne, ControlId::MultipageTiff, ControlId::OnePdf, ControlId::Barcode})
    Control(id)->setEnabled(enabled);
}

// A page's barcode names its folder: every page is recognised and saved on its own, so merging
// and the multipage files are not offered and the barcode box stays ticked.
void COrvaneDlg::LockForBarcodeFolders() {
  EnableBarcodeFolderBoxes(false);
  static_cast<QCheckBox*>(Control(ControlId::Barcode))->setChecked(true);
  settings_.recognizeBarcode = true;
}

void COrvaneDlg::ChooseDocumentFormat(CVideoController& camera) {
  const CDeviceSlot& slot = settings_.documentCamera;
  camera.SetFormatMode(settings_.mjpgMode ? kFormatMJPG : kFormatYUY2);
  if (settings_.stillCapture) {
    camera.SetResolution(1280, 960);
  } else if ((slot.kind == 5 || slot.kind == 10) && slot.width >= 4161 && slot.height >= 3121) {
    // These models cannot stream their full size.
    camera.SetResolution(4160, 3120);
  } else {
    camera.SetResolution(slot.width, slot.height);
  }
}

void COrvaneDlg::OpenSideCamera(CDeviceSlot& slot, std::unique_ptr<CVideoController>& camera) {
  camera.reset();
  if (slot.vendorId.empty() || slot.productId.empty()) return;
  const IntRect& r = displayRect_;
  std::unique_ptr<CVideoController> controller = MakeController(0);
  if (controller->ProbeDevice(slot.vendorId, slot.productId) < 1) return;
  controller->SetResolution(slot.width, slot.height);
  if (controller->OpenAndShow(this, target_, slot.vendorId, slot.productId, {}, r.left, r.top, r.right, r.bottom,
                              false, 0) != kSuccess) {
    return;
  }
  // Ready for the views that show it.
  controller->Stop();
  controller->ShowDisplay(false);
  camera = std::move(controller);
}

void COrvaneDlg::OpenSideCameras() {
  if (settings_.portraitCamera.kind == kDeviceLibraryModel) return;
  OpenSideCamera(settings_.portraitCamera, portrait_);
  OpenSideCamera(settings_.thirdCamera, third_);
}

void COrvaneDlg::NudgeFocus() {
  const int kind = settings_.documentCamera.kind;
  if (kind != 5 && kind != 6) return;
  PropertyRange range;
  if (document_->GetCameraControlRange(6, &range) != kSuccess) return;
  document_->SetCameraControl(6, range.defaultValue);
  Pause(std::chrono::milliseconds(500));
  if (kind == 5) FocusOnce(range);
  else document_->SetCameraControl(6, range.maximum + 10);
}

void COrvaneDlg::CreateThumbnails() {
  const int slot = (height() - 75) / 4;
  for (int i = 0; i < 4; ++i) {
    auto thumbnail = std::make_unique<CImageButton>();
    const int top = 75 + i * slot;
    thumbnail->Init(platform::message_ids::kImageButtonClick, i, 5, top, 135, top + slot - 5, this, target_,
                    environment_.presenter, true);
    thumbnail->SetLanguage(settings_.language);
    thumbnail->LoadBitmapResource(kEmptyThumbnailPicture);
    thumbnails_.push_back(std::move(thumbnail));
  }
  logo_ = std::make_unique<CImageButton>();
  logo_->Init(platform::message_ids::kImageButtonClick, -1, 5, 10, 135, 65, this, target_, environment_.presenter,
              false);
  if (const std::optional<BgrPicture>& picture = COemData::Instance().logo()) {
    const QImage logo = ToQImage(*picture);
    if (!logo.isNull()) {
      QImage face(129, 55, QImage::Format_RGB888);
      face.fill(Qt::white);
      QPainter painter(&face);
      painter.setRenderHint(QPainter::SmoothPixmapTransform);
      painter.drawImage(face.rect(), logo);
      painter.end();
      logo_->SetPicture(face);
    }
  }
}

void COrvaneDlg::ApplyExposure() {
  auto* automatic = static_cast<QCheckBox*>(Control(ControlId::AutoExposure));
  PropertyRange range;
  const bool known = document_->GetCameraControlRange(4, &range) == kSuccess;
  {
    const QSignalBlocker quiet(exposureSlider_);
    if (known) exposureSlider_->setRange(static_cast<int>(range.minimum), static_cast<int>(range.maximum));
    exposureSlider_->setValue(settings_.exposure);
  }
  if (settings_.autoExposure) {
    // The exposure shown is given to the camera before its automatic takes over, so that what the
    // camera reports (the property page's read-back, leaving automatic) moves only as it does.
    document_->SetCameraControl(4, settings_.exposure);
    document_->SetCameraControl(4, range.maximum + 1);
    exposureSlider_->setEnabled(false);
    automatic->setChecked(true);
  } else {
    document_->SetCameraControl(4, settings_.exposure);
    exposureSlider_->setEnabled(true);
    automatic->setChecked(false);
  }
  exposureShown_ = settings_.exposure;
  exposurePosition_ = settings_.exposure;
}

void COrvaneDlg::RestoreStates() {
  filling_ = true;
  const int rotation = settings_.rotation;
  settings_.rotation = 0;
  if (rotation == 90) Rotate(90);
  else if (rotation == 180) Rotate(180);
  else if (rotation == 270) Rotate(270);
  const ControlId crops[] = {ControlId::CropNone, ControlId::CropAuto, ControlId::CropCustom};
  static_cast<QRadioButton*>(Control(crops[std::clamp(settings_.cropMode, 0, 2)]))->setChecked(true);
  if (settings_.cropMode == 1) OnCropAuto();
  else if (settings_.cropMode == 2) OnCropCustom();
  static_cast<QCheckBox*>(Control(ControlId::Barcode))->setChecked(settings_.recognizeBarcode);
  static_cast<QCheckBox*>(Control(ControlId::MultipageTiff))->setChecked(settings_.multipageKind == 1);
  static_cast<QCheckBox*>(Control(ControlId::OnePdf))->setChecked(settings_.multipageKind == 2);
  if (settings_.merge) {
    static_cast<QCheckBox*>(Control(ControlId::TwoInOne))->setChecked(true);
    On2in1();
  }
  const ControlId colours[] = {ControlId::Colour, ControlId::Grey, ControlId::BlackAndWhite, ControlId::Negative};
  static_cast<QRadioButton*>(Control(colours[std::clamp(settings_.colorMode, 0, 3)]))->setChecked(true);
  filling_ = false;
}

StartUp COrvaneDlg::OnInitDialog() {
  // 2. Without its branding the station does not start: nothing is opened, nothing written.
  if (COemData::Instance().Load(environment_.programFolder / "data.dat") == -1) return StartUp::kEnd;
  // The lower layers' messages go through the same presenter as the window's own.
  platform::SetUserNoticeHandler([this](const platform::UserNotice& notice) {
    environment_.presenter->ShowMessage(nullptr, NoticeInLanguage(notice.text, settings_.language),
                                        OrStationCaption(notice.caption), ToIcon(notice.icon));
  });
  imaging::SetCaptureMessageHandler([this](const imaging::CaptureMessage& message) {
    environment_.presenter->ShowMessage(nullptr, message.text, OrStationCaption(message.caption), ToIcon(message.icon));
  });

  const COemData& branding = COemData::Instance();
  if (!branding.productName().empty()) {
    setWindowTitle(QString::fromStdString(branding.productName()) +
                   QStringLiteral(" (Ver%1.%2.%3.%4)").arg(kVersion[0]).arg(kVersion[1]).arg(kVersion[2]).arg(kVersion[3]));
  }
  LoadSettings();
  SetMessageLanguage(settings_.language);
  IdentifyCameras();

  if (const std::optional<BgrPicture>& splash = branding.splash()) {
    splash_ = std::make_unique<CSplashDlg>(*splash, nullptr);
    splash_->show();
    splash_->repaint();
  }
  if (!branding.noticeShown()) {
    notice_->hide();
  } else if (!branding.noticeText().empty()) {
    noticeText_ = branding.noticeText();
    notice_->setText(QString::fromStdString(noticeText_));
  }
  SetUiLanguage(settings_.language);

  namingRadio_ = settings_.namingMode;
  runningIndexShown_ = settings_.runningIndex;
  prefixCombo_->setEnabled(namingRadio_ == 0);
  indexEdit_->setEnabled(namingRadio_ == 0);
  std::vector<std::string> prefixes;
  imaging::SplitBarList(settings_.prefixChoices, prefixes);
  prefixCombo_->Fill(prefixes, settings_.prefix);

  if (settings_.settingsFileUnreadable) {
    environment_.presenter->ShowMessage(this, texts_.settingsUnreadable + settings_.ini.GetPath().string(), StationCaption(),
                                        MessageIcon::kWarning);
  }
  if (GetCommonDataFolder().empty()) {
    environment_.presenter->ShowMessage(this, texts_.folderFailure, StationCaption(), MessageIcon::kWarning);
  }

  LayOut();
  if (!QueryCompanionServer()) return Fail(texts_.deviceBusy);
  // A camera that cannot be opened or started is said so: the station has nothing to show.
  if (!OpenDocumentCamera()) return Fail(texts_.notConnected);
  OpenSideCameras();
  if (!document_->Start()) {
    CDeviceSlot& slot = settings_.documentCamera;
    if (!slot.startRetry) return Fail(texts_.deviceBusy, true);
    slot.startRetry = false;
    document_->SetFormatMode(kFormatYUY2);
    if (!document_->Start()) return Fail(texts_.deviceBusy, true);
  }
  preview_->hide();
  document_->ShowDisplay(true);
  if (portrait_) portrait_->ShowDisplay(false);
  NudgeFocus();
  Pause(std::chrono::milliseconds(std::max(0, settings_.documentCamera.width / 2)));
  splash_.reset();
  if (settings_.trimLeft != 0 || settings_.trimTop != 0 || settings_.trimRight != 0 || settings_.trimBottom != 0) {
    document_->SetTrimMargins(settings_.trimLeft, settings_.trimTop, settings_.trimRight, settings_.trimBottom);
  }
  CreateThumbnails();
  ApplyExposure();
  UpdateData(false);
  RestoreStates();
  CreateAccelerators();
  if (settings_.orientationCheck) StartOrientationThread();
  if (settings_.barcodeFolders) LockForBarcodeFolders();
  if (environment_.deviceEvents) {
    hotplug_ = std::make_unique<platform::HotplugMonitor>(environment_.deviceEvents(), target_,
                                                          environment_.deviceEventQuiet);
    hotplug_->Start();
  }
  initialised_ = true;
  // Once the window is up, the pages the station last closed on are offered back; what arrived
  // while it started runs after that.
  QTimer::singleShot(0, this, [this] { OnCommand(ControlId::CollectedPages); });
  return StartUp::kRunning;
}

}  // namespace orvane::ui
