#include "ui/continuous_shoot_dialog.h"

#include <cmath>

#include <opencv2/imgproc.hpp>

#include "camera/video_controller.h"
#include "imaging/frame_tests.h"
#include "platform/message_ids.h"
#include "ui/message_texts.h"
#include "ui/presenter.h"

namespace orvane::ui {
namespace {
namespace ids = platform::message_ids;

struct Texts {
  const char* caption;
  const char* modeGroup;
  const char* timing;
  const char* seconds;
  const char* intelligent;
  const char* start;
  const char* pause;
  const char* stop;
  const char* statuses[4];
  const char* detecting;
  const char* idlePrompt;
  const char* countFormat;
  const char* countdownFormat;
};

// Only English has texts of its own; Traditional Chinese keeps the Simplified Chinese ones.
constexpr Texts kChinese = {
    "连续拍摄", "连拍方式", "定时", "秒", "智能连拍", "开始连拍", "暂停连拍", "停止连拍",
    {"检测到新文档，采集图像", "没有检测到新文档", "当前文档已扫描，请更换文档", "获取视频数据失败"},
    "检测文档图像", "请单击开始连拍", "当前已经拍摄%d张图像", "%.1f秒后拍摄下一张图像"};
constexpr Texts kEnglish = {
    "Continuous capturing", "Continuous mode", "Timing", "Sec", "Intelligent", "Start", "Pause", "Stop",
    {"New doc. has been detected", "No doc.", "Current doc. has been scanned, please change doc.",
     "Failed to get video data"},
    "Detecting image", "Please click \"Start\" to continuous Capturing", "Already shot %d image now",
    "Capture next pic in %.1f seconds"};

// What is said of an interval that cannot be used, in every language of the station.
struct IntervalRefusals {
  const char* notANumber;
  const char* notPositive;
};
constexpr IntervalRefusals kRefusals[] = {
    {"请输入一个数字。", "拍摄间隔必须大于0秒"},
    {"請輸入一個數字。", "拍攝間隔必須大於0秒"},
    {"Please enter a number.", "The interval must be more than 0 seconds"},
};

constexpr std::chrono::milliseconds kInspectPeriod(800);
constexpr double kShrink = 0.2;

enum InspectStatus : platform::LParam { kNewPage = 0, kNoPage = 1, kPageTaken = 2, kNoVideo = 3 };

double Milliseconds(double seconds) { return std::round(seconds * 1000.0); }

std::string Formatted(const std::string& format, int count) {
  return QString::asprintf(format.c_str(), count).toStdString();
}
std::string Formatted(const std::string& format, double seconds) {
  // Qt's formatting writes a decimal point whatever the locale.
  return QString::asprintf(format.c_str(), seconds).toStdString();
}

}  // namespace

CContinuousShootDlg::CContinuousShootDlg(platform::TargetHandle owner, float interval, int language,
                                         IPresenter& presenter, QWidget* parent)
    : QDialog(parent),
      owner_(owner),
      presenter_(presenter),
      interval_(std::trunc(static_cast<double>(interval) * 10.0) / 10.0) {
  countdown_ = std::trunc(static_cast<double>(interval) * 10.0) * 100.0;
  target_ = platform::CreateTarget([this](const platform::Message& message) { return OnMessage(message); });
  stopEvent_ = platform::OpenNamedEvent("StopInspectThread", platform::EventReset::kAuto);

  modeLayout_.addWidget(&timing_);
  modeLayout_.addWidget(&intelligent_);
  modes_.addButton(&timing_, 0);
  modes_.addButton(&intelligent_, 1);
  layout_.addWidget(&modeGroup_, 0, 0, 1, 3);
  layout_.addWidget(&intervalEdit_, 1, 0, 1, 2);
  layout_.addWidget(&seconds_, 1, 2);
  layout_.addWidget(&count_, 2, 0, 1, 3);
  layout_.addWidget(&status_, 3, 0, 1, 3);
  layout_.addWidget(&start_, 4, 0);
  layout_.addWidget(&pause_, 4, 1);
  layout_.addWidget(&stop_, 4, 2);
  count_.setMinimumSize(300, 22);
  status_.setMinimumSize(300, 40);
  start_.setDefault(true);
  connect(&start_, &QPushButton::clicked, this, [this] { OnStart(); });
  connect(&pause_, &QPushButton::clicked, this, [this] { OnPause(); });
  connect(&stop_, &QPushButton::clicked, this, [this] { reject(); });
  SetLanguage(language);
}

CContinuousShootDlg::~CContinuousShootDlg() {
  StopInspect();
  // No tick and no status may reach the dialog once it starts going.
  platform::DestroyTarget(target_);
}

void CContinuousShootDlg::SetCamera(CVideoController* camera, bool intelligentDisabled) {
  camera_ = camera;
  intelligentDisabled_ = intelligentDisabled;
}

QWidget* CContinuousShootDlg::Widget(Control id) {
  switch (id) {
    case Control::kStart: return &start_;
    case Control::kStop: return &stop_;
    case Control::kInterval: return &intervalEdit_;
    case Control::kCount: return &count_;
    case Control::kStatus: return &status_;
    case Control::kIntelligent: return &intelligent_;
    case Control::kPause: return &pause_;
    case Control::kTiming: return &timing_;
  }
  return nullptr;
}

void CContinuousShootDlg::SetLanguage(int language) {
  const Texts& texts = language == 2 ? kEnglish : kChinese;
  setWindowTitle(QString::fromUtf8(texts.caption));
  modeGroup_.setTitle(QString::fromUtf8(texts.modeGroup));
  timing_.setText(QString::fromUtf8(texts.timing));
  seconds_.setText(QString::fromUtf8(texts.seconds));
  intelligent_.setText(QString::fromUtf8(texts.intelligent));
  start_.setText(QString::fromUtf8(texts.start));
  pause_.setText(QString::fromUtf8(texts.pause));
  stop_.setText(QString::fromUtf8(texts.stop));
  for (std::size_t i = 0; i < statusTexts_.size(); ++i) statusTexts_[i] = texts.statuses[i];
  detecting_ = texts.detecting;
  idlePrompt_ = texts.idlePrompt;
  countFormat_ = texts.countFormat;
  countdownFormat_ = texts.countdownFormat;
  const IntervalRefusals& refusals = kRefusals[TextColumn(language)];
  notANumberText_ = refusals.notANumber;
  notPositiveText_ = refusals.notPositive;
}

void CContinuousShootDlg::OnInitDialog() {
  mode_ = 0;
  UpdateData(false);
  countText_ = Formatted(countFormat_, 0);
  statusText_ = idlePrompt_;
  count_.SetText(countText_);
  status_.SetText(statusText_);
  for (CLabel* label : {&count_, &status_}) {
    label->SetFontSize(8);
    label->SetFontBold(true);
  }
  if (intelligentDisabled_) {
    intelligent_.setEnabled(false);
  } else {
    mode_ = 1;
    UpdateData(false);
  }
  pause_.setEnabled(false);
}

bool CContinuousShootDlg::UpdateData(bool saveAndValidate) {
  const auto showInterval = [this] { intervalEdit_.setText(QString::number(interval_, 'g', 6)); };
  if (!saveAndValidate) {
    showInterval();
    if (QAbstractButton* radio = modes_.button(mode_)) radio->setChecked(true);
    return true;
  }
  bool number = false;
  const double seconds = intervalEdit_.text().trimmed().toDouble(&number);
  if (!number || !std::isfinite(seconds)) {
    presenter_.ShowMessage(this, notANumberText_, StationCaption(), MessageIcon::kWarning);
    showInterval();
  } else if (seconds <= 0) {
    presenter_.ShowMessage(this, notPositiveText_, StationCaption(), MessageIcon::kError);
    return false;
  } else {
    interval_ = seconds;
  }
  mode_ = std::max(0, modes_.checkedId());
  return true;
}

void CContinuousShootDlg::ShowLabels() {
  status_.SetText(statusText_);
  count_.SetText(countText_);
}

void CContinuousShootDlg::OnStart() {
  if (stopped_ || !UpdateData(true)) return;
  start_.setEnabled(false);
  if (mode_ == 0) {
    countdown_ = Milliseconds(interval_);
    statusText_ = Formatted(countdownFormat_, countdown_ / 1000.0);
    ticking_ = true;
    platform::StartTimer(target_, kTickTimer, tickPeriod_);
  } else {
    statusText_ = detecting_;
    if (!inspect_.joinable()) {
      running_ = true;
      stopEvent_->Reset();
      inspect_ = std::thread([this] { InspectThreadProc(); });
    }
  }
  status_.SetText(statusText_);
  pause_.setEnabled(true);
}

void CContinuousShootDlg::OnTimer() {
  countdown_ -= 1000;
  if (countdown_ <= 0) {
    countdown_ = Milliseconds(interval_);
    ++captures_;
    countText_ = Formatted(countFormat_, captures_);
    count_.SetText(countText_);
    platform::Post(owner_, ids::kContinuousShoot, ids::kContinuousCaptureNow);
  }
  statusText_ = Formatted(countdownFormat_, countdown_ / 1000.0);
  status_.SetText(statusText_);
}

void CContinuousShootDlg::StopTicking() {
  if (!ticking_) return;
  platform::StopTimer(target_, kTickTimer);
  ticking_ = false;
}

void CContinuousShootDlg::OnPause() {
  StopInspect();
  StopTicking();
  statusText_ = idlePrompt_;
  status_.SetText(statusText_);
  pause_.setEnabled(false);
  start_.setEnabled(true);
}

void CContinuousShootDlg::reject() {
  StopInspect();
  // After Stop nothing more is captured, also not a tick that falls before the owner has
  // deleted the dialog.
  StopTicking();
  if (!stopped_) {
    stopped_ = true;
    platform::Post(owner_, ids::kContinuousShoot, ids::kContinuousStopped);
  }
  QDialog::reject();
}

void CContinuousShootDlg::StopInspect() {
  if (!inspect_.joinable()) return;
  stopEvent_->Set();
  running_ = false;
  inspect_.join();
}

platform::MessageResult CContinuousShootDlg::OnMessage(const platform::Message& message) {
  if (message.id == ids::kTimer && message.wParam == kTickTimer && ticking_) OnTimer();
  else if (message.id == ids::kInspectStatus) OnInspectStatus(message.lParam);
  return 0;
}

void CContinuousShootDlg::OnInspectStatus(platform::LParam status) {
  switch (status) {
    case kNewPage:
      statusText_ = statusTexts_[kNewPage];
      ++captures_;
      countText_ = Formatted(countFormat_, captures_);
      break;
    case kNoPage:
    case kPageTaken:
    case kNoVideo: statusText_ = statusTexts_[static_cast<std::size_t>(status)]; break;
    default: break;
  }
  ShowLabels();
}

void CContinuousShootDlg::InspectThreadProc() {
  // The pictures of the last three rounds, oldest first; empty ones equal no camera picture.
  std::array<cv::Mat, 3> history;
  while (running_) {
    if (stopEvent_->Wait(kInspectPeriod)) break;
    if (camera_ == nullptr) {
      platform::Post(target_, ids::kInspectStatus, 0, kNoVideo);
      continue;
    }
    const cv::Mat threeBack = history[0];
    const cv::Mat twoBack = history[1];
    cv::Mat current = camera_->GetPicture();
    if (!current.empty()) cv::resize(current, current, cv::Size(), kShrink, kShrink, cv::INTER_LINEAR);
    const bool present = imaging::IsDocumentPresent(current, 0.04, 8.0, 9, 3);
    const bool sameAsThreeBack = imaging::IsSameFrame(threeBack, current, 0.05f, 50);
    const bool sameAsTwoBack = imaging::IsSameFrame(twoBack, current, 0.05f, 50);
    // A page that has come to rest since the round before last: new, and still.
    if (present && !sameAsThreeBack && sameAsTwoBack) {
      platform::Post(owner_, ids::kContinuousShoot, ids::kContinuousCaptureNow);
      platform::Post(target_, ids::kInspectStatus, 0, kNewPage);
    } else if (!present) {
      platform::Post(target_, ids::kInspectStatus, 0, kNoPage);
    } else if (sameAsThreeBack && sameAsTwoBack) {
      platform::Post(target_, ids::kInspectStatus, 0, kPageTaken);
    }
    history[0] = std::move(history[1]);
    history[1] = std::move(history[2]);
    history[2] = std::move(current);
  }
}

}  // namespace orvane::ui
