// `COCRProgressDlg`, dialog 101: runs one text-recognition job on one page picture and shows its
// progress, with OK (once the run has ended) and Stop. The worker reports through the window's
// message target; the window always waits for its worker before it goes.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <opencv2/core.hpp>

#include "app/sys_param.h"
#include "ocr/recognition_worker.h"
#include "platform/messages.h"

namespace orvane::ui {

class IPresenter;

class COCRProgressDlg : public QDialog {
 public:
  // Control ids of dialog 101.
  static constexpr int kOk = 1;
  static constexpr int kStop = 1163;
  static constexpr int kProgress = 1095;
  static constexpr int kStatus = 1086;

  // `presenter` opens the finished document; `programFolder` holds the character template and,
  // when it has one, Tesseract's "tessdata".
  COCRProgressDlg(QWidget* parent, int language, bool english, IPresenter& presenter,
                  std::filesystem::path programFolder);
  ~COCRProgressDlg() override;

  void SetImage(const cv::Mat& picture) { picture_ = picture; }
  cv::Mat GetImage() const { return picture_; }
  void SetSettings(const CSysParam& settings) { settings_ = settings; }
  void SetOutputPath(const std::filesystem::path& path) { outputPath_ = path; }
  // The user said yes to replacing the file at the output path (never a read-only one).
  void SetReplaceConfirmed(bool confirmed) { replaceConfirmed_ = confirmed; }
  std::filesystem::path GetOutputPath() const { return outputPath_; }
  // 2 (ocr::OcrResult::kFinished): the output document exists.
  int GetResult() const;

  // The window's opening: texts of the language, then the worker (none for Traditional Chinese
  // in Chinese mode). Runs once, when the window is first shown.
  void OnInitDialog();
  // Stop asked for or the window closed: a run without its text yet is stopped; the worker is
  // waited for in every case.
  void OnClose();
  platform::MessageResult OnOcrMessage(const platform::Message& message);

  QPushButton& OkButton() { return ok_; }
  QPushButton& StopButton() { return stop_; }
  QProgressBar& Progress() { return progress_; }
  QLabel& Status() { return status_; }
  // A worker thread that has not been joined.
  bool WorkerRunning() const { return worker_ && worker_->Started(); }

  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  struct Texts;
  static const Texts& TextsFor(int language);

  const int language_;
  const bool english_;
  IPresenter& presenter_;
  const std::filesystem::path programFolder_;
  cv::Mat picture_;
  CSysParam settings_;
  std::filesystem::path outputPath_;
  bool replaceConfirmed_ = false;
  bool opened_ = false;
  bool closed_ = false;
  std::string statusText_;
  // Children of the dialog, gone before it.
  QLabel progressLabel_{this};
  QProgressBar progress_{this};
  QLabel feedbackLabel_{this};
  QLabel status_{this};
  QPushButton ok_{this};
  QPushButton stop_{this};
  platform::TargetHandle target_;
  std::unique_ptr<ocr::CRecognitionWorker> worker_;
};

}  // namespace orvane::ui
