#include "ocr/recognition_worker.h"

#include <cmath>
#include <exception>
#include <optional>

#include "platform/file_io.h"
#include "ocr/doc_ocr.h"
#include "ocr/english_ocr.h"
#include "platform/message_ids.h"

namespace orvane::ocr {
namespace fs = std::filesystem;
namespace ids = platform::message_ids;

fs::path WriteRecognisedText(CAutoWord& word, const fs::path& document, const std::string& text, bool replace) {
  word.SetPath(document);
  word.SetReplace(replace);
  word.SetText(text);
  if (word.CreateDocument() == 0) return word.WrittenPath();
  fs::path plain = document;
  plain.replace_extension(".txt");
  return platform::WriteFile(plain, text, platform::FilePlacement::NewFile(platform::NextDashedName)).value_or(fs::path());
}

CRecognitionWorker::~CRecognitionWorker() {
  RequestStop();
  Join();
}

void CRecognitionWorker::Start(RecognitionJob job) {
  if (thread_.joinable()) return;
  job_ = std::move(job);
  thread_ = std::thread([this] {
    try {
      if (job_.english) RunEnglish();
      else RunChinese();
    } catch (const std::exception&) {
      // The window keeps its Stop button: the user closes it.
      SetResult(OcrResult::kException);
    }
  });
}

void CRecognitionWorker::RequestStop() {
  std::lock_guard guard(mutex_);
  if (result_ == OcrResult::kFinished) return;
  stopRequested_ = true;
  result_ = OcrResult::kStopped;
}

void CRecognitionWorker::Join() {
  if (thread_.joinable()) thread_.join();
}

bool CRecognitionWorker::Started() const { return thread_.joinable(); }

OcrResult CRecognitionWorker::Result() const {
  std::lock_guard guard(mutex_);
  return result_;
}

fs::path CRecognitionWorker::OutputPath() const {
  std::lock_guard guard(mutex_);
  return output_;
}

void CRecognitionWorker::SetResult(OcrResult result) {
  std::lock_guard guard(mutex_);
  result_ = result;
}

void CRecognitionWorker::Post(std::uintptr_t wParam, std::intptr_t lParam) {
  platform::Post(window_, ids::kOcrProgress, wParam, lParam);
}

void CRecognitionWorker::PostProgress(double fraction, std::string status) {
  platform::Message message{ids::kOcrProgress, static_cast<std::uintptr_t>(std::trunc(fraction * 100)), 0, {}};
  message.payload = std::move(status);
  platform::Post(window_, std::move(message));
}

void CRecognitionWorker::RunChinese() {
  if (job_.picture.empty()) return Post(ids::kOcrFinished, ids::kOcrNoPicture);
  CDocOCR ocr;
  if (!ocr.Initialize(job_.templatePath)) return Post(ids::kOcrFinished, ids::kOcrTemplateMissing);
  {
    // A stop asked for while the template loaded ends the run here.
    std::lock_guard guard(mutex_);
    if (stopRequested_) return Post(ids::kOcrFinished, ids::kOcrFailedOrStopped);
    result_ = OcrResult::kRecognising;
  }
  std::string text;
  const bool read = ocr.Recognize(
      job_.picture, &text,
      [this](double fraction, const char* status) {
        PostProgress(fraction, status ? status : "");
        std::lock_guard guard(mutex_);
        return stopRequested_ ? 3 : 0;
      },
      false);
  {
    std::lock_guard guard(mutex_);
    if (!read || stopRequested_) {
      result_ = OcrResult::kStopped;
      return Post(ids::kOcrFinished, ids::kOcrFailedOrStopped);
    }
    result_ = OcrResult::kFinished;
  }
  Post(100);
  Finish(text);
}

void CRecognitionWorker::RunEnglish() {
  if (job_.picture.empty()) return Post(ids::kOcrFinished, ids::kOcrNoPicture);
  Post(30);
  const std::optional<std::string> text = RecognizeEnglish(job_.picture, job_.englishData, [this] {
    std::lock_guard guard(mutex_);
    return stopRequested_;
  });
  {
    std::lock_guard guard(mutex_);
    if (stopRequested_) {
      result_ = OcrResult::kStopped;
      return Post(ids::kOcrFinished, ids::kOcrFailedOrStopped);
    }
    result_ = text ? OcrResult::kFinished : OcrResult::kStopped;
  }
  if (!text) return Post(ids::kOcrFinished, ids::kOcrInitFailed);
  Post(100);
  Finish(*text);
}

void CRecognitionWorker::Finish(const std::string& text) {
  const fs::path written = WriteRecognisedText(word_, job_.outputPath, text, job_.replaceDocument);
  {
    std::lock_guard guard(mutex_);
    output_ = written;
    // Nothing could be written: that is no completed run.
    if (written.empty()) result_ = OcrResult::kStopped;
  }
  Post(ids::kOcrFinished, written.empty() ? ids::kOcrFailedOrStopped : ids::kOcrCompleted);
}

}  // namespace orvane::ocr
