// Page recognition and orientation on synthetic pages, beside Tesseract's Simplified Chinese data
// on the same pages:
//   orvane-ocr-page-check --template PATH [--pages N] [--characters N] [--seed N]
// Prints per page and in total the character accuracy (1 - edit distance / length of the page's
// text, white space left out), the seconds per page on one core, and how many of the four turns
// of each page the orientation was right for.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <opencv2/core.hpp>
#include <tesseract/baseapi.h>

#include "ocr/doc_ocr.h"
#include "ocr/doc_orientation.h"
#include "page_set.h"

namespace {

using orvane::ocrpage::ComparableText;
using orvane::ocrpage::EditDistance;

const orvane::ocrtools::FontFace kHeldOutFont{"/usr/share/fonts/truetype/wqy/wqy-microhei.ttc", "WenQuanYi Micro Hei"};

int Usage() {
  std::fprintf(stderr, "usage: orvane-ocr-page-check --template PATH [--pages N] [--characters N] [--seed N]\n");
  return 2;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

struct Score {
  std::size_t errors = 0;
  std::size_t characters = 0;
  double seconds = 0;
  int orientationRight = 0;
  int orientationTried = 0;
  void Add(const std::string& truth, const std::string& reading, double time) {
    const std::u32string expected = ComparableText(truth);
    errors += EditDistance(expected, ComparableText(reading));
    characters += expected.size();
    seconds += time;
  }
  double Accuracy() const { return characters ? 1.0 - static_cast<double>(errors) / characters : 0.0; }
};

cv::Mat Turned(const cv::Mat& page, int counterClockwise) {
  switch (counterClockwise) {
    case 90:
      return orvane::ocr::RotateMat90CCW(page);
    case 180:
      return orvane::ocr::RotateMat180(page);
    case 270:
      return orvane::ocr::RotateMat90CW(page);
    default:
      return page;
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::filesystem::path templatePath;
  int pageCount = 4;
  int characters = 800;
  std::uint64_t seed = 11;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return Usage();
    const std::string value = argv[++i];
    if (arg == "--template")
      templatePath = value;
    else if (arg == "--pages")
      pageCount = std::atoi(value.c_str());
    else if (arg == "--characters")
      characters = std::atoi(value.c_str());
    else if (arg == "--seed")
      seed = std::strtoull(value.c_str(), nullptr, 10);
    else
      return Usage();
  }
  if (templatePath.empty() || pageCount < 1) return Usage();

  cv::setNumThreads(1);
  setenv("OMP_THREAD_LIMIT", "1", 1);
  orvane::ocr::CDocOCR ocr;
  orvane::ocr::CDocOrientation orientation;
  if (!ocr.Initialize(templatePath) || !orientation.Initialize(templatePath)) return 1;
  tesseract::TessBaseAPI tesseract;
  tesseract::TessBaseAPI osd;
  if (tesseract.Init(nullptr, "chi_sim") != 0 || osd.Init(nullptr, "osd") != 0) {
    std::fprintf(stderr, "Tesseract's chi_sim or osd data is missing (tesseract-ocr-chi-sim)\n");
    return 1;
  }
  osd.SetPageSegMode(tesseract::PSM_OSD_ONLY);

  const auto pages = orvane::ocrpage::MakePages(kHeldOutFont, pageCount, characters, seed);
  Score ours;
  Score theirs;
  std::printf("%-5s %-6s %-6s | %-9s %-8s %-6s | %-9s %-8s %-6s\n", "page", "points", "chars", "accuracy", "s/page",
              "turns", "tess acc", "s/page", "turns");
  for (std::size_t p = 0; p < pages.size(); ++p) {
    const auto& page = pages[p];
    Score oursPage;
    Score theirsPage;
    auto start = std::chrono::steady_clock::now();
    std::string text;
    if (!ocr.Recognize(page.picture, &text, nullptr, false)) text.clear();
    oursPage.Add(page.text, text, Seconds(start));

    start = std::chrono::steady_clock::now();
    tesseract.SetImage(page.picture.data, page.picture.cols, page.picture.rows, 1, static_cast<int>(page.picture.step));
    tesseract.SetSourceResolution(300);
    char* tessText = tesseract.GetUTF8Text();
    theirsPage.Add(page.text, tessText ? tessText : "", Seconds(start));
    delete[] tessText;

    for (int turn : {0, 90, 180, 270}) {
      const cv::Mat picture = Turned(page.picture, turn);
      const int upright = (360 - turn) % 360;  // the counter-clockwise turn back
      int angle = -1;
      oursPage.orientationRight += orientation.DetectOrientation(picture, &angle, false) && angle == upright;
      ++oursPage.orientationTried;
      osd.SetImage(picture.data, picture.cols, picture.rows, 1, static_cast<int>(picture.step));
      osd.SetSourceResolution(300);
      int degrees = -1;
      float confidence = 0;
      const char* script = nullptr;
      float scriptConfidence = 0;
      // Tesseract reports the clockwise turn the picture has, which is the counter-clockwise one back.
      theirsPage.orientationRight +=
          osd.DetectOrientationScript(&degrees, &confidence, &script, &scriptConfidence) && degrees == upright;
      ++theirsPage.orientationTried;
    }
    std::printf("%-5zu %-6d %-6zu | %8.2f%% %8.2f %d/%-4d | %8.2f%% %8.2f %d/%-4d\n", p + 1, page.points,
                oursPage.characters, 100 * oursPage.Accuracy(), oursPage.seconds, oursPage.orientationRight,
                oursPage.orientationTried, 100 * theirsPage.Accuracy(), theirsPage.seconds,
                theirsPage.orientationRight, theirsPage.orientationTried);
    for (Score* total : {&ours, &theirs}) {
      const Score& add = total == &ours ? oursPage : theirsPage;
      total->errors += add.errors;
      total->characters += add.characters;
      total->seconds += add.seconds;
      total->orientationRight += add.orientationRight;
      total->orientationTried += add.orientationTried;
    }
  }
  std::printf("%-5s %-6s %-6zu | %8.2f%% %8.2f %d/%-4d | %8.2f%% %8.2f %d/%-4d\n", "all", "", ours.characters,
              100 * ours.Accuracy(), ours.seconds / pages.size(), ours.orientationRight, ours.orientationTried,
              100 * theirs.Accuracy(), theirs.seconds / pages.size(), theirs.orientationRight, theirs.orientationTried);
  tesseract.End();
  osd.End();
  return 0;
}
