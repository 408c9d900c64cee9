#include "ui/video_to_file_dialog.h"

#include <QShowEvent>

#include <cstdint>

#include "camera/video_controller.h"
#include "ui/dialog_placement.h"
#include "ui/message_texts.h"
#include "ui/presenter.h"
#include "ui/sound_settings.h"

namespace orvane::ui {
namespace {

struct Texts {
  const char* caption;
  const char* start;
  const char* soundSettings;
  const char* cancel;
  const char* prompt;
  const char* runningPrefix;
  const char* stop;
  const char* startFailed;
  const char* finishFailed;
  const char* noSoundSettings;
  const char* writeFailed;  // followed by the file kept
  const char* noSound;
};

constexpr Texts kTexts[] = {
    {"视频录制", "开始录像", "管理音频设备", "取消", "请单击开始录像按钮", "视频录制中，录制时长：", "停止录像",
     "无法开始录像，请检查存储文件夹和视频设备", "录像文件保存失败", "没有找到音频设备管理程序（pavucontrol、GNOME 或 KDE 的声音设置）",
     "录像文件无法继续写入（磁盘已满或写入出错），录像已停止。已录制的部分保存在：",
     "没有可以使用的录音设备，本次录像没有声音"},
    {"錄影", "開始錄影", "管理音訊裝置", "取消", "請按一下“開始錄影”按鈕", "錄影中,錄製時長為", "停止",
     "無法開始錄影，請檢查存儲資料夾和視訊裝置", "錄影檔案儲存失敗", "沒有找到音訊裝置管理程式（pavucontrol、GNOME 或 KDE 的聲音設定）",
     "錄影檔案無法繼續寫入（磁碟已滿或寫入錯誤），錄影已停止。已錄製的部分儲存在：",
     "沒有可以使用的錄音裝置，本次錄影沒有聲音"},
    {"Video recording", "Start", "Manage audio devices", "Cancel", "Please click \"Start\" button to start video recording",
     "Video is being recorded ", "Stop", "Video recording can not be started, please check the storage folder and the device!",
     "The video file could not be saved!", "No sound settings program was found (pavucontrol, GNOME or KDE sound settings)",
     "The video file cannot be written any more (the disk is full or failed); recording has stopped. What was recorded is kept in: ",
     "No sound input device can be used; the video is recorded without sound"},
};

constexpr std::chrono::milliseconds kClockPeriod(200);

QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

}  // namespace

int RecordingFrameRate(int width, int height) {
  if (width <= 0 || height <= 0) return 0;
  return static_cast<int>(10'000'000 / (static_cast<std::int64_t>(width) * height) + 1);
}

bool RecordsOneSource(int viewMode, bool pictureInPicture) {
  switch (viewMode) {
    case 3:
    case 4: return pictureInPicture;
    case 5:
    case 6: return false;
    default: return true;
  }
}

CCVideoToFile::CCVideoToFile(QWidget* parent, int width, int height, int language, IPresenter& presenter)
    : QDialog(parent), presenter_(presenter), width_(width), height_(height) {
  layout_.addWidget(&status_, 0, 0, 1, 3);
  layout_.addWidget(&start_, 1, 0);
  layout_.addWidget(&soundSettings_, 1, 1);
  layout_.addWidget(&cancel_, 1, 2);
  status_.setMinimumSize(360, 48);
  start_.setDefault(true);
  SetLanguage(language);
  status_.SetText(prompt_);
  status_.SetFontSize(8);
  status_.SetFontBold(true);
  connect(&start_, &QPushButton::clicked, this, [this] { OnStart(); });
  connect(&cancel_, &QPushButton::clicked, this, [this] { reject(); });
  connect(&soundSettings_, &QPushButton::clicked, this, [this] { OnSoundSettings(); });
  connect(&timer_, &QTimer::timeout, this, [this] { OnTimer(); });
}

CCVideoToFile::~CCVideoToFile() {
  // The camera outlives the dialog; a recording is never left running behind it.
  if (recording_ && camera_ != nullptr) camera_->StopRecording();
}

void CCVideoToFile::SetLanguage(int language) {
  const Texts& texts = kTexts[TextColumn(language)];
  setWindowTitle(QString::fromUtf8(texts.caption));
  start_.setText(QString::fromUtf8(texts.start));
  soundSettings_.setText(QString::fromUtf8(texts.soundSettings));
  cancel_.setText(QString::fromUtf8(texts.cancel));
  prompt_ = texts.prompt;
  runningPrefix_ = texts.runningPrefix;
  stopCaption_ = texts.stop;
  startFailed_ = texts.startFailed;
  finishFailed_ = texts.finishFailed;
  writeFailed_ = texts.writeFailed;
  noSoundSettings_ = texts.noSoundSettings;
  noSound_ = texts.noSound;
}

QPushButton* CCVideoToFile::Button(Control id) {
  switch (id) {
    case Control::kStart: return &start_;
    case Control::kCancel: return &cancel_;
    case Control::kSoundSettings: return &soundSettings_;
    case Control::kStatus: break;
  }
  return nullptr;
}

void CCVideoToFile::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!placement_.isEmpty()) PlaceOverBottom(*this, placement_);
}

void CCVideoToFile::OnStart() {
  if (camera_ == nullptr || recording_) return;
  // A size of nothing has no frame rate; a recorder that cannot start is said so, and Start
  // stays there for another try.
  const int fps = RecordingFrameRate(width_, height_);
  if (fps < 1 || camera_->StartRecording(file_, width_, height_, fps, kRecordingBitRate) != kSuccess) {
    presenter_.ShowMessage(this, startFailed_, StationCaption(), MessageIcon::kError);
    return;
  }
  recording_ = true;
  startTime_ = std::chrono::steady_clock::now();
  timer_.start(kClockPeriod);
  start_.setEnabled(false);
  cancel_.setText(Text(stopCaption_));
  // Return now stops, as Escape does; the sound settings are not opened by accident.
  cancel_.setDefault(true);
  cancel_.setFocus();
  // Said once, while the recording already runs: a silent video is no surprise afterwards.
  if (!camera_->RecordingHasSound()) presenter_.ShowMessage(this, noSound_, StationCaption(), MessageIcon::kInformation);
}

void CCVideoToFile::OnTimer() {
  // A recording that can no longer be written ends at once, not when the user comes back.
  if (camera_ != nullptr && camera_->RecordingFailed()) {
    reject();
    return;
  }
  const auto elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - startTime_);
  // Qt's formatting writes a decimal point whatever the locale.
  status_.SetText(QString::asprintf("%s%.1f", runningPrefix_.c_str(), elapsed.count()).toStdString());
}

void CCVideoToFile::OnSoundSettings() {
  if (!OpenSoundSettings()) presenter_.ShowMessage(this, noSoundSettings_, StationCaption(), MessageIcon::kInformation);
}

void CCVideoToFile::reject() {
  timer_.stop();
  if (camera_ != nullptr) {
    // Before a start there is no recording and nothing to finish.
    const int result = camera_->StopRecording();
    if (recording_) recorded_ = camera_->RecordedFile();
    if (recording_ && result != kSuccess) {
      const std::string text = recorded_.empty() ? finishFailed_ : writeFailed_ + recorded_.string();
      presenter_.ShowMessage(this, text, StationCaption(), MessageIcon::kError);
    }
  }
  recording_ = false;
  QDialog::reject();
}

}  // namespace orvane::ui
