// `CCVideoToFile`: the small modal window through which the user records the view of one camera
// into a video file: Start, the running time five times a second, Stop; and a way to the
// desktop's sound settings.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>

#include <QDialog>
#include <QGridLayout>
#include <QPushButton>
#include <QRect>
#include <QTimer>

#include "ui/label.h"

namespace orvane {
class CVideoController;
}

namespace orvane::ui {

class IPresenter;

// The frame rate a recording of this size gets: the larger the picture, the fewer frames (33
// for 640 x 480, 1 for 4160 x 3120). 0 for a width or height of 0 or below, which cannot be
// recorded.
int RecordingFrameRate(int width, int height);

// Whether the view mode shows one picture source that a recording can follow: one camera alone,
// or the document camera with the other one inset (picture-in-picture), whose inset is part of
// the view.
bool RecordsOneSource(int viewMode, bool pictureInPicture);

inline constexpr int kRecordingBitRate = 462500;

class CCVideoToFile : public QDialog {
 public:
  enum class Control { kStart = 1, kCancel = 2, kStatus = 1086, kSoundSettings = 1154 };

  CCVideoToFile(QWidget* parent, int width, int height, int language, IPresenter& presenter);
  ~CCVideoToFile() override;
  CCVideoToFile(const CCVideoToFile&) = delete;
  CCVideoToFile& operator=(const CCVideoToFile&) = delete;

  // Set before the dialog runs. The camera is not owned and must outlive the dialog.
  void SetFileName(const std::filesystem::path& file) { file_ = file; }
  void SetCamera(CVideoController* camera) { camera_ = camera; }
  // The live picture's area on the screen: the dialog stands over its bottom.
  void SetPlacement(const QRect& area) { placement_ = area; }

  QPushButton* Button(Control id);
  const CLabel& Status() const { return status_; }
  bool IsRecording() const { return recording_; }
  // The file the recording was kept in, once the dialog ended; empty when none was.
  const std::filesystem::path& RecordedFile() const { return recorded_; }

  // Button 2, the close box and Escape: a running recording is finished, then the dialog ends.
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void SetLanguage(int language);
  void OnStart();
  void OnTimer();
  void OnSoundSettings();

  IPresenter& presenter_;
  const int width_;
  const int height_;
  std::filesystem::path file_;
  CVideoController* camera_ = nullptr;
  QRect placement_;
  bool recording_ = false;
  std::chrono::steady_clock::time_point startTime_;

  std::string prompt_;
  std::string runningPrefix_;
  std::string stopCaption_;
  std::string startFailed_;
  std::string finishFailed_;
  std::string writeFailed_;
  std::filesystem::path recorded_;
  std::string noSoundSettings_;
  std::string noSound_;

  // Children of the dialog, gone before it.
  QGridLayout layout_{this};
  CLabel status_{this, LabelAlignment::kCentre, true};
  QPushButton start_{this};
  QPushButton soundSettings_{this};
  QPushButton cancel_{this};
  QTimer timer_{this};
};

}  // namespace orvane::ui
