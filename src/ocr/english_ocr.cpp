#include "ocr/english_ocr.h"

#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>

#include <memory>

#include <opencv2/imgproc.hpp>

namespace orvane::ocr {
namespace fs = std::filesystem;

fs::path EnglishDataFolder(const fs::path& programFolder) {
  const fs::path own = programFolder / "tessdata";
  std::error_code error;
  return fs::is_regular_file(own / "eng.traineddata", error) ? own : fs::path();
}

std::optional<std::string> RecognizeEnglish(const cv::Mat& picture, const fs::path& dataFolder,
                                            const std::function<bool()>& stop) {
  CV_Assert(picture.depth() == CV_8U);
  cv::Mat grey = picture;
  if (picture.channels() != 1) cv::cvtColor(picture, grey, cv::COLOR_BGR2GRAY);
  tesseract::TessBaseAPI api;
  const std::string folder = dataFolder.string();
  if (api.Init(folder.empty() ? nullptr : folder.c_str(), "eng", tesseract::OEM_DEFAULT) != 0) return std::nullopt;
  api.SetPageSegMode(tesseract::PSM_SINGLE_BLOCK);
  api.SetImage(grey.data, grey.cols, grey.rows, 1, static_cast<int>(grey.step));
  // Tesseract asks its monitor between words (not during the layout analysis before them).
  tesseract::ETEXT_DESC monitor;
  std::function<bool()> asked = [&stop] { return stop && stop(); };
  monitor.cancel = [](void* ask, int) { return (*static_cast<std::function<bool()>*>(ask))(); };
  monitor.cancel_this = &asked;
  if (asked()) return std::nullopt;
  api.Recognize(&monitor);
  // A stop that came after the last word still wins: the caller has been told nothing is written.
  if (asked()) return std::nullopt;
  const std::unique_ptr<char[]> text(api.GetUTF8Text());
  api.End();
  return text ? std::string(text.get()) : std::string();
}

}  // namespace orvane::ocr
