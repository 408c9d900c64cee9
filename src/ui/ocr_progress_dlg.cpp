#include "ui/ocr_progress_dlg.h"

#include <any>

#include "ocr/english_ocr.h"
#include "platform/message_ids.h"
#include "ui/message_texts.h"
#include "ui/presenter.h"

namespace orvane::ui {
namespace ids = platform::message_ids;

struct COCRProgressDlg::Texts {
  const char* progress;
  const char* feedback;
  const char* ok;
  const char* stop;
  const char* recognising;
  // Initialisation failed, no picture, template missing, completed, failed or stopped.
  const char* end[5];
};

const COCRProgressDlg::Texts& COCRProgressDlg::TextsFor(int language) {
  static const Texts kTexts[] = {
      {"       识别进度：", "       进度反馈：", "确定", "停止识别", "识别中",
       {"OCR 初始化失败", "没有采集到图像", "OCR 库文件丢失", "OCR 完成", "OCR 失败或者被停止"}},
      {"      識別進度：", "      進度反饋：", "確認", "停止", "識別中",
       {"OCR 初始化失敗", "沒有採集到圖像", "OCR 庫文件丟失", "OCR 完成", "OCR 失敗或者被停止"}},
      {"Identification progress", "Progress feedback:", "OK", "Stop", "Recognising",
       {"OCR Initialization failed", "No images for OCR", "OCR library files are missing", "OCR is completed",
        "OCR failure or OCR "}},
  };
  return kTexts[TextColumn(language)];
}

COCRProgressDlg::COCRProgressDlg(QWidget* parent, int language, bool english, IPresenter& presenter,
                                 std::filesystem::path programFolder)
    : QDialog(parent), language_(language), english_(english), presenter_(presenter),
      programFolder_(std::move(programFolder)) {
  // 324 x 96 dialog units, the controls where the dialog resource puts them.
  setFixedSize(486, 156);
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  progressLabel_.setGeometry(24, 36, 104, 18);
  progress_.setGeometry(131, 34, 261, 23);
  progress_.setRange(0, 100);
  progress_.setValue(0);
  progress_.setTextVisible(false);
  feedbackLabel_.setGeometry(24, 66, 104, 18);
  status_.setGeometry(131, 66, 284, 18);
  ok_.setGeometry(134, 88, 83, 33);
  stop_.setGeometry(252, 88, 75, 33);
  ok_.setEnabled(false);
  ok_.setAutoDefault(false);
  stop_.setAutoDefault(false);
  const Texts& simplified = TextsFor(0);
  progressLabel_.setText(QString::fromUtf8(simplified.progress));
  feedbackLabel_.setText(QString::fromUtf8(simplified.feedback));
  ok_.setText(QString::fromUtf8(simplified.ok));
  stop_.setText(QString::fromUtf8(simplified.stop));
  status_.setText(QString::fromUtf8(simplified.recognising));
  connect(&ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(&stop_, &QPushButton::clicked, this, &QWidget::close);
  target_ = platform::CreateTarget([this](const platform::Message& message) { return OnOcrMessage(message); });
}

COCRProgressDlg::~COCRProgressDlg() {
  OnClose();
  // No message may reach the window once it starts going.
  platform::DestroyTarget(target_);
}

int COCRProgressDlg::GetResult() const {
  if (worker_) return static_cast<int>(worker_->Result());
  return static_cast<int>(closed_ ? ocr::OcrResult::kStopped : ocr::OcrResult::kNotStarted);
}

void COCRProgressDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!opened_) OnInitDialog();
}

void COCRProgressDlg::OnInitDialog() {
  if (opened_) return;
  opened_ = true;
  const Texts& texts = TextsFor(language_);
  progressLabel_.setText(QString::fromUtf8(texts.progress));
  feedbackLabel_.setText(QString::fromUtf8(texts.feedback));
  ok_.setText(QString::fromUtf8(texts.ok));
  stop_.setText(QString::fromUtf8(texts.stop));
  status_.setText(QString::fromUtf8(texts.recognising));

  ocr::RecognitionJob job;
  job.picture = picture_;
  job.english = english_;
  job.templatePath = programFolder_ / "OCR_RLDA_LN_Gra.tpl";
  job.englishData = ocr::EnglishDataFolder(programFolder_);
  job.outputPath = outputPath_;
  job.replaceDocument = replaceConfirmed_;
  if (!english_) {
    ok_.setEnabled(false);
    stop_.setEnabled(true);
    status_.clear();
    progress_.setRange(0, 100);
    progress_.setValue(0);
    if (language_ == 1) {
      statusText_ = "目前版本不支持文本識別功能";
      status_.setText(QString::fromUtf8(statusText_));
      return;
    }
  }
  worker_ = std::make_unique<ocr::CRecognitionWorker>(target_);
  worker_->Start(std::move(job));
}

void COCRProgressDlg::OnClose() {
  if (!closed_) {
    closed_ = true;
    if (worker_) worker_->RequestStop();
  }
  if (worker_) worker_->Join();
}

void COCRProgressDlg::done(int result) {
  OnClose();
  QDialog::done(result);
}

platform::MessageResult COCRProgressDlg::OnOcrMessage(const platform::Message& message) {
  if (message.id != ids::kOcrProgress) return 0;
  if (message.wParam <= 100) {
    progress_.setValue(static_cast<int>(message.wParam));
    if (const auto* status = std::any_cast<std::string>(&message.payload)) statusText_ = *status;
  } else if (message.wParam == ids::kOcrFinished) {
    if (message.lParam >= ids::kOcrInitFailed && message.lParam <= ids::kOcrFailedOrStopped) {
      statusText_ = TextsFor(language_).end[message.lParam];
    }
    if (message.lParam == ids::kOcrCompleted && worker_) {
      outputPath_ = worker_->OutputPath();
      OpenFileOrSay(presenter_, this, language_, outputPath_);
    }
    ok_.setEnabled(true);
    stop_.setEnabled(false);
  }
  status_.setText(QString::fromUtf8(statusText_));
  return 0;
}

}  // namespace orvane::ui
