// One text-recognition run on its own thread: Chinese through the page recogniser and the
// character template, or English through Tesseract; the text goes into a Word document, or into a
// ".txt" beside it when no document can be written. The run reports to its window only by posting
// message_ids::kOcrProgress: wParam 0..100 is the progress (its payload, when it has one, the
// status text as a std::string), wParam kOcrFinished ends the run with one of the lParam codes.
#pragma once

#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

#include <opencv2/core.hpp>

#include "ocr/auto_word.h"
#include "platform/messages.h"

namespace orvane::ocr {

// The state of a run as its window reads it.
enum class OcrResult : int {
  kNotStarted = 0,
  kRecognising = 1,  // Chinese recognition is running
  kFinished = 2,     // the text is being written or has been written
  kStopped = 3,      // a stop was asked for, or recognition or writing failed
  kException = 4,    // recognition ended by an exception; nothing was posted
};

struct RecognitionJob {
  cv::Mat picture;                     // Chinese: grey or BGR; English: grey
  bool english = false;
  std::filesystem::path templatePath;  // the character template, for Chinese
  std::filesystem::path englishData;   // Tesseract's data folder; empty: its own place
  std::filesystem::path outputPath;    // the document
  bool replaceDocument = false;        // a file at outputPath may be replaced (the user said so)
};

// The text into the document at `document` (replacing a file there only when `replace`, see
// CAutoWord), or, when it cannot be written, its bytes into the same name ending in ".txt", which
// never replaces a file. The path written; empty when neither.
std::filesystem::path WriteRecognisedText(CAutoWord& word, const std::filesystem::path& document,
                                          const std::string& text, bool replace = false);

// Thread-safe. The owner keeps it until Join has returned (the destructor joins).
class CRecognitionWorker {
 public:
  explicit CRecognitionWorker(platform::TargetHandle window) : window_(window) {}
  ~CRecognitionWorker();
  CRecognitionWorker(const CRecognitionWorker&) = delete;
  CRecognitionWorker& operator=(const CRecognitionWorker&) = delete;

  // Starts the run; once per worker.
  void Start(RecognitionJob job);
  // Asks a run that has not yet produced its text to stop, also while the template loads: the
  // result becomes kStopped and no file is written. An English run stops at Tesseract's next
  // word (its layout analysis of the page runs to its end first).
  void RequestStop();
  // Waits for the run's thread, without a limit.
  void Join();
  // Started and not yet joined.
  bool Started() const;

  OcrResult Result() const;
  // Where the text went: the document, or the ".txt" beside it.
  std::filesystem::path OutputPath() const;

 private:
  void RunChinese();
  void RunEnglish();
  // Writes the text and posts the end of the run.
  void Finish(const std::string& text);
  void Post(std::uintptr_t wParam, std::intptr_t lParam = 0);
  void PostProgress(double fraction, std::string status);
  void SetResult(OcrResult result);

  const platform::TargetHandle window_;
  RecognitionJob job_;
  CAutoWord word_;
  mutable std::mutex mutex_;  // result, stop request and output path
  OcrResult result_ = OcrResult::kNotStarted;
  bool stopRequested_ = false;
  std::filesystem::path output_;
  std::thread thread_;
};

}  // namespace orvane::ocr
