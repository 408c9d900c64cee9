// The settings command: the settings window over a copy of the record, and what its OK changes in
// the running station (the cameras' format and size, trims, language, the orientation check, the
// crop and the barcode folders, picture-in-picture).
#include <QCheckBox>

#include "ui/main_window.h"
#include "ui/orientation_thread.h"
#include "ui/presenter.h"
#include "ui/system_info_dialog.h"

namespace orvane::ui {
namespace {

bool DocumentFormatChanged(const CSysParam& before, const CSysParam& after) {
  return before.mjpgMode != after.mjpgMode || before.stillCapture != after.stillCapture ||
         before.documentCamera.width != after.documentCamera.width ||
         before.documentCamera.height != after.documentCamera.height;
}

bool SizeChanged(const CDeviceSlot& before, const CDeviceSlot& after) {
  return before.width != after.width || before.height != after.height;
}

}  // namespace

void COrvaneDlg::OnSystemSettings() {
  if (!document_) return;
  // The record as the panel shows it now.
  UpdateData(true);
  SyncNaming();
  CSystemInfoDialog dialog(this, *environment_.presenter, environment_.cameraProbe, target_, environment_.localTime);
  dialog.SetSettings(GetSysParam());
  settingsDialog_ = &dialog;
  const int result = dialog.DoModal();
  settingsDialog_ = nullptr;
  if (result == QDialog::Accepted) ApplySettings(dialog.GetSettings());
}

void COrvaneDlg::ApplySettings(const CSysParam& edited) {
  if (!document_) return;
  const CSysParam old = settings_;
  settings_ = edited;
  // The calibration is the window's own; the settings window does not edit it.
  settings_.referenceDpi = dpiValue_;
  SetMessageLanguage(settings_.language);

  const int mode = settings_.viewMode;
  CDeviceSlot& document = settings_.documentCamera;
  // A device-library camera has no USB ids to be asked about or reopened by; nothing of its
  // format can be chosen.
  const bool usbDocument = document.kind != kDeviceLibraryModel;
  bool reopened = false;
  if (usbDocument) ProbeDeviceCaps(settings_, *environment_.cameraProbe);
  if (usbDocument && (mode == 0 || mode == 3 || mode == 4 || mode == 6) && DocumentFormatChanged(old, settings_)) {
    reopened = ReopenDocumentCamera();
    if (!reopened) {
      // The camera goes back to the format it could take; everything else still applies.
      environment_.presenter->ShowMessage(this, texts_.documentResolution, StationCaption(), MessageIcon::kError);
      document.width = old.documentCamera.width;
      document.height = old.documentCamera.height;
      settings_.mjpgMode = old.mjpgMode;
      settings_.stillCapture = old.stillCapture;
      reopened = ReopenDocumentCamera();
    }
    // The inset is shown again on the new display.
    if (reopened && (mode == 3 || mode == 4) && old.pictureInPicture && settings_.pictureInPicture) SetViewMode(mode);
  }
  // A reopened camera has a new display, which knows no trims yet.
  if (reopened || old.trimLeft != settings_.trimLeft || old.trimTop != settings_.trimTop ||
      old.trimRight != settings_.trimRight || old.trimBottom != settings_.trimBottom) {
    document_->SetTrimMargins(settings_.trimLeft, settings_.trimTop, settings_.trimRight, settings_.trimBottom);
  }
  if ((mode == 1 || mode == 5) && portrait_ && SizeChanged(old.portraitCamera, settings_.portraitCamera)) {
    ApplySideCameraSize(*portrait_, settings_.portraitCamera, old.portraitCamera, rotation_[1]);
  }
  if (mode == 2 && third_ && SizeChanged(old.thirdCamera, settings_.thirdCamera)) {
    ApplySideCameraSize(*third_, settings_.thirdCamera, old.thirdCamera, rotation_[2]);
  }
  if (old.language != settings_.language) SetUiLanguage(settings_.language);

  if (settings_.orientationCheck) StartOrientationThread();
  else if (orientation_) orientation_->Stop();
  if (settings_.cropMode == 1) document_->SetAutoCrop(true, settings_.keepEveryDocument, 0.01f);

  if (settings_.barcodeFolders) {
    LockForBarcodeFolders();
  } else {
    EnableBarcodeFolderBoxes(true);
  }
  settings_.Save();

  if (old.pictureInPicture && !settings_.pictureInPicture && (mode == 3 || mode == 4)) {
    if (!SetViewMode(0)) {
      document_->CloseSecondary();
      settings_.viewMode = 0;
    }
  }
  UpdateCropButtons();
}

bool COrvaneDlg::ReopenDocumentCamera() {
  // Its display is replaced: nothing may be reading from the old one.
  StopCameraReaders();
  ChooseDocumentFormat(*document_);
  const IntRect& r = documentDisplayRect_.Width() > 0 ? documentDisplayRect_ : displayRect_;
  const CDeviceSlot& slot = settings_.documentCamera;
  if (document_->OpenAndShow(this, target_, slot.vendorId, slot.productId, {}, r.left, r.top, r.right, r.bottom,
                             StillPinFlag() != 0, 0) != kSuccess) {
    return false;
  }
  if (!document_->Start()) return false;
  document_->ShowDisplay(true);
  document_->SetRotation(rotation_[0]);
  return true;
}

void COrvaneDlg::ApplySideCameraSize(CVideoController& camera, CDeviceSlot& slot, const CDeviceSlot& old,
                                     int rotation) {
  camera.EnableTrackRect(false);
  camera.SetAutoCrop(false, false, 0.03f);
  if (camera.SetResolution(slot.width, slot.height) != kSuccess || !camera.Start()) {
    // Both front cameras are told of with the portrait camera's text.
    environment_.presenter->ShowMessage(this, texts_.portraitResolution, StationCaption(), MessageIcon::kError);
    slot.width = old.width;
    slot.height = old.height;
    camera.SetResolution(slot.width, slot.height);
    camera.Start();
  }
  camera.SetRotation(rotation);
}

}  // namespace orvane::ui
