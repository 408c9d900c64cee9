// Continuous shooting: the dialog opened over the live picture, and its messages back.
#include <algorithm>

#include "platform/message_ids.h"
#include "ui/continuous_shoot_dialog.h"
#include "ui/dialog_placement.h"
#include "ui/main_window.h"

namespace orvane::ui {
namespace ids = platform::message_ids;

void COrvaneDlg::OpenContinuousShoot() {
  UpdateData(true);
  if (continuousShoot_) return;
  continuousShoot_ = std::make_unique<CContinuousShootDlg>(target_, continuousInterval_, settings_.language,
                                                           *environment_.presenter, this);
  // The page watch needs the document camera; the other cameras are offered the timing only.
  CVideoController* camera = document_.get();
  bool notDocument = false;
  switch (settings_.viewMode) {
    case 1:
    case 5:
      camera = portrait_.get();
      notDocument = true;
      break;
    case 2:
      camera = third_.get();
      notDocument = true;
      break;
    default: break;
  }
  continuousShoot_->SetCamera(camera, notDocument);
  continuousShoot_->OnInitDialog();
  continuousShoot_->show();
  PlaceOverBottom(*continuousShoot_, PreviewOnScreen());
}

platform::MessageResult COrvaneDlg::OnContinuousShootMsg(platform::WParam wParam) {
  // The clock runs on while a capture waits on a message box: one capture waits for the box to
  // close, not one for every tick it was open.
  const auto aCapture = [](ControlId id) { return id == ControlId::Capture || id == ControlId::CaptureKey; };
  if (wParam == ids::kContinuousCaptureNow && busy_ && std::any_of(waiting_.begin(), waiting_.end(), aCapture)) {
    return 0;
  }
  UpdateData(true);
  SyncNaming();
  if (!continuousShoot_) return 0;
  if (wParam == ids::kContinuousCaptureNow) {
    // As the button: after a capture that is still running, never inside it.
    OnCommand(ControlId::Capture);
  } else if (wParam == ids::kContinuousStopped) {
    CloseContinuousShoot();
    UpdateData(false);
  }
  return 0;
}

void COrvaneDlg::CloseContinuousShoot() {
  if (!continuousShoot_) return;
  continuousShoot_->StopInspect();
  continuousShoot_.reset();
  captureState_ = 0;
}

}  // namespace orvane::ui
