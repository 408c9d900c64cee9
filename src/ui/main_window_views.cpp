// The seven view modes: which cameras run and where their displays sit in the preview area.
#include <QRadioButton>

#include "ui/main_window.h"

namespace orvane::ui {
namespace {

void Place(CVideoController& camera, int left, int top, int right, int bottom) {
  camera.SetDisplayRect(left, top, right, bottom);
  camera.MoveDisplay();
}

void Park(CVideoController* camera) {
  if (camera == nullptr) return;
  camera->Stop();
  camera->ShowDisplay(false);
}

bool StartAndShow(CVideoController& camera) { return camera.Start() && camera.ShowDisplay(true); }

// The small pictures of the views of two and three cameras: 150 x 139 in the top corners, the
// document below a band of 140 pixels.
constexpr int kSmallWidth = 150;
constexpr int kBand = 140;

}  // namespace

bool COrvaneDlg::SetViewMode(int mode) {
  const int L = displayRect_.left;
  const int T = displayRect_.top;
  const int Rr = displayRect_.right;
  const int B = displayRect_.bottom;
  const int W = Rr - L;
  const int H = B - T;
  CVideoController* document = document_.get();
  CVideoController* portrait = portrait_.get();
  CVideoController* third = third_.get();
  const auto rememberDocument = [this](int left, int top, int right, int bottom) {
    documentDisplayRect_ = {left, top, right, bottom};
  };
  bool done = false;
  switch (mode) {
    case 0:
      if (document == nullptr) return false;
      Park(portrait);
      Park(third);
      if (!StartAndShow(*document)) return false;
      document->CloseSecondary();
      Place(*document, L, T, Rr, B);
      rememberDocument(L, T, Rr, B);
      done = true;
      break;
    case 1:
    case 2: {
      CVideoController* shown = mode == 1 ? portrait : third;
      if (shown == nullptr) return false;
      Park(document);
      Park(mode == 1 ? third : portrait);
      if (!StartAndShow(*shown)) return false;
      Place(*shown, L, T, Rr, B);
      done = true;
      break;
    }
    case 3:
    case 4: {
      CVideoController* second = mode == 3 ? portrait : third;
      if (document == nullptr || second == nullptr) return false;
      Park(mode == 3 ? third : portrait);
      const CDeviceSlot& slot = mode == 3 ? settings_.portraitCamera : settings_.thirdCamera;
      if (settings_.pictureInPicture) {
        if (!second->Stop() || !second->ShowDisplay(false)) return false;
        if (!StartAndShow(*document)) return false;
        Place(*document, L, T, Rr, B);
        rememberDocument(L, T, Rr, B);
        done = document->OpenSecondary(slot.vendorId, slot.productId, {0, 0, slot.width, slot.height}) == kSuccess;
      } else {
        Place(*document, L, T + kBand, Rr, B);
        rememberDocument(L, T + kBand, Rr, B);
        Place(*second, Rr - kSmallWidth, T, Rr, T + kBand - 1);
        document->ShowDisplay(true);
        second->ShowDisplay(true);
        done = document->Start() && second->Start();
      }
      break;
    }
    case 5: {
      if (portrait == nullptr || third == nullptr) return false;
      Park(document);
      const int half = W / 2;
      const int h = half * 3 / 4;
      const int Tm = T + (H - h) / 2;
      Place(*portrait, L + half, Tm, L + half + half, Tm + h + 1);
      Place(*third, L + 1, Tm + 1, L + half - 1, Tm + h - 1);
      portrait->ShowDisplay(true);
      third->ShowDisplay(true);
      done = portrait->Start() && third->Start();
      break;
    }
    case 6:
      if (document == nullptr || portrait == nullptr || third == nullptr) return false;
      document->CloseSecondary();
      Place(*document, L, T + kBand, Rr, B);
      rememberDocument(L, T + kBand, Rr, B);
      portrait->CloseSecondary();
      Place(*portrait, Rr - kSmallWidth, T, Rr, T + kBand - 1);
      Place(*third, L, T, L + kSmallWidth, T + kBand - 1);
      document->ShowDisplay(true);
      portrait->ShowDisplay(true);
      third->ShowDisplay(true);
      done = document->Start() && portrait->Start() && third->Start();
      break;
    default:
      return false;
  }
  if (done) settings_.viewMode = mode;
  return done;
}

void COrvaneDlg::OnSwitchView() {
  if (!document_ || !portrait_) return;
  // The modes after the current one in the order 1 ... 6, 0; mode 0 ends the chain whatever it gives.
  for (int step = 1; step <= 7; ++step) {
    const int mode = (settings_.viewMode + step) % 7;
    if (mode == 0) {
      SetViewMode(0);
      break;
    }
    if (SetViewMode(mode)) break;
  }
  UpdateCropButtons();
}

void COrvaneDlg::UpdateCropButtons() {
  auto* none = static_cast<QRadioButton*>(Control(ControlId::CropNone));
  auto* automatic = static_cast<QRadioButton*>(Control(ControlId::CropAuto));
  auto* manual = static_cast<QRadioButton*>(Control(ControlId::CropCustom));
  // A button of an exclusive group can only be unchecked with the group's exclusion off.
  cropGroup_->setExclusive(false);
  for (QRadioButton* radio : {none, automatic, manual}) {
    radio->setChecked(false);
    radio->setEnabled(true);
  }
  const auto hasRectangle = [](CVideoController* camera) {
    IntRect rect;
    return camera != nullptr && camera->GetTrackRect(&rect);
  };
  switch (settings_.viewMode) {
    case 1:
    case 2:
      automatic->setEnabled(false);
      (hasRectangle(ActiveCamera()) ? manual : none)->setChecked(true);
      break;
    case 5:
      for (QRadioButton* radio : {none, automatic, manual}) radio->setEnabled(false);
      break;
    default:
      if (document_ && document_->IsAutoCrop()) {
        settings_.cropMode = 1;
        automatic->setChecked(true);
      } else if (hasRectangle(document_.get())) {
        settings_.cropMode = 2;
        manual->setChecked(true);
      } else {
        settings_.cropMode = 0;
        none->setChecked(true);
      }
      break;
  }
  cropGroup_->setExclusive(true);
}

}  // namespace orvane::ui
