// `CContinuousShootDlg`: takes pictures without the capture button, every interval (timing
// mode) or whenever a new page has come to rest under the camera (intelligent mode, watched on a
// thread of its own). It never captures itself: it posts "capture now" to its owner, whose
// capture command then runs as for the button, and "stopped" when the user stops it; the owner
// then deletes it.
//
// Thread-bound to the GUI thread. The watch thread reaches the dialog only by posting to its
// message target, and is stopped and joined on Pause, Stop and destruction.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include <QButtonGroup>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "platform/events.h"
#include "platform/messages.h"
#include "ui/label.h"

namespace orvane {
class CVideoController;
}

namespace orvane::ui {

class IPresenter;

class CContinuousShootDlg : public QDialog {
 public:
  enum class Control {
    kStart = 1,
    kStop = 2,
    kInterval = 1026,
    kCount = 1067,
    kStatus = 1068,
    kIntelligent = 1084,
    kPause = 1151,
    kTiming = 1156,
  };
  // The timer's identifier, as its ticks arrive at Target().
  static constexpr std::uintptr_t kTickTimer = 2;

  // `owner` receives the capture and stop messages; `interval` in seconds is cut to tenths.
  CContinuousShootDlg(platform::TargetHandle owner, float interval, int language, IPresenter& presenter,
                      QWidget* parent = nullptr);
  ~CContinuousShootDlg() override;
  CContinuousShootDlg(const CContinuousShootDlg&) = delete;
  CContinuousShootDlg& operator=(const CContinuousShootDlg&) = delete;

  // Before OnInitDialog. `camera` (not owned) is the one the intelligent mode watches; its owner
  // stops the watch (StopInspect or deleting the dialog) before the camera goes. The intelligent
  // mode is offered only when `intelligentDisabled` is false.
  void SetCamera(CVideoController* camera, bool intelligentDisabled);
  void OnInitDialog();
  // Stops and joins the watch thread, if it runs.
  void StopInspect();

  platform::TargetHandle Target() const { return target_; }
  QWidget* Widget(Control id);
  const CLabel& CountLabel() const { return count_; }
  const CLabel& StatusLabel() const { return status_; }
  int Captures() const { return captures_; }
  bool IsWatching() const { return inspect_.joinable(); }
  // The period of the timing mode's clock, a second; tests send its ticks themselves.
  void SetTickPeriod(std::chrono::milliseconds period) { tickPeriod_ = period; }

  // Stop, the close box and Escape: the watch ends and the owner is told.
  void reject() override;

 private:
  void SetLanguage(int language);
  // Controls into the members. An interval that is not a number is said so and the previous one
  // is kept (and shown again); false (after a message) when it is zero or negative, and then
  // nothing changes.
  bool UpdateData(bool saveAndValidate);
  platform::MessageResult OnMessage(const platform::Message& message);
  void OnStart();
  void OnPause();
  void OnTimer();
  void StopTicking();
  void OnInspectStatus(platform::LParam status);
  void ShowLabels();
  void InspectThreadProc();

  const platform::TargetHandle owner_;
  IPresenter& presenter_;
  platform::TargetHandle target_;
  std::array<std::string, 4> statusTexts_;  // by status: new page, no page, page taken, no video
  std::string detecting_;
  std::string idlePrompt_;
  std::string countFormat_;
  std::string countdownFormat_;
  std::string notANumberText_;
  std::string notPositiveText_;
  // Any positive number of seconds; a countdown too long to end simply never ends.
  double interval_;
  double countdown_ = 0;  // milliseconds
  int captures_ = 0;
  int mode_ = 0;  // 0 timing, 1 intelligent
  bool ticking_ = false;
  bool stopped_ = false;
  bool intelligentDisabled_ = false;
  std::chrono::milliseconds tickPeriod_{1000};
  std::string countText_;
  std::string statusText_;

  // The watch thread's: fixed before it starts.
  CVideoController* camera_ = nullptr;
  std::shared_ptr<platform::Event> stopEvent_;
  std::atomic<bool> running_{false};
  std::thread inspect_;

  // Children of the dialog, gone before it.
  QGridLayout layout_{this};
  QGroupBox modeGroup_{this};
  QHBoxLayout modeLayout_{&modeGroup_};
  QRadioButton timing_{&modeGroup_};
  QRadioButton intelligent_{&modeGroup_};
  QLineEdit intervalEdit_{this};
  QLabel seconds_{this};
  CLabel count_{this};
  CLabel status_{this};
  QPushButton start_{this};
  QPushButton pause_{this};
  QPushButton stop_{this};
  QButtonGroup modes_{this};
};

}  // namespace orvane::ui
