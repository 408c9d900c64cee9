// Page recognition and orientation on synthetic pages in the three held-out fonts, beside
// Tesseract's Simplified Chinese data on the same pictures, on one core each:
//   orvane-ocr-page-check --template PATH [--mode flat|camera|both] [--points 10.5,12,14]
//                         [--characters N] [--seed N] [--save FOLDER] [--show]
// Flat mode reads the pages as a scanner gives them; camera mode photographs each page lying on a
// desk and cuts the photograph with the capture pipeline as the recognition command does
// (automatic crop, colour, no deformation repair). Prints per page and per font and mode the
// character accuracy (1 - edit distance / length of the page's text, white space left out), the
// seconds per page, and how many of the four turns of each page the orientation was right for;
// --show prints the text expected and read of every page read under 99 %.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <tesseract/baseapi.h>

#include "ocr/default_build.h"
#include "ocr/doc_ocr.h"
#include "ocr/doc_orientation.h"
#include "page_set.h"

namespace {

using orvane::ocrpage::ComparableText;
using orvane::ocrpage::EditDistance;

int Usage() {
  std::fprintf(stderr,
               "usage: orvane-ocr-page-check --template PATH [--mode flat|camera|both] [--points 10.5,12,14]\n"
               "                             [--characters N] [--seed N] [--save FOLDER] [--show]\n");
  return 2;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

struct Score {
  std::size_t errors = 0;
  std::size_t characters = 0;
  double seconds = 0;
  int pages = 0;
  int orientationRight = 0;
  int orientationTried = 0;
  double lowest = 1;  // the worst page's accuracy
  void Add(const std::string& truth, const std::string& reading, double time) {
    const std::u32string expected = ComparableText(truth);
    errors += EditDistance(expected, ComparableText(reading));
    characters += expected.size();
    seconds += time;
    ++pages;
    lowest = std::min(lowest, Accuracy());
  }
  void Merge(const Score& page) {
    errors += page.errors;
    characters += page.characters;
    seconds += page.seconds;
    pages += page.pages;
    orientationRight += page.orientationRight;
    orientationTried += page.orientationTried;
    lowest = std::min(lowest, page.lowest);
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

struct Engines {
  orvane::ocr::CDocOCR ocr;
  orvane::ocr::CDocOrientation orientation;
  tesseract::TessBaseAPI tesseract;
  tesseract::TessBaseAPI osd;
};

// Reads one picture (grey or BGR) with both engines and checks its four turns.
void CheckPicture(Engines& engines, const cv::Mat& picture, const std::string& truth, int dpi, bool show,
                  Score& ours, Score& theirs) {
  auto start = std::chrono::steady_clock::now();
  std::string text;
  if (!engines.ocr.Recognize(picture, &text, nullptr, false)) text.clear();
  ours.Add(truth, text, Seconds(start));
  if (show && ours.Accuracy() < 0.99) std::printf("--- expected:\n%s--- read:\n%s\n---\n", truth.c_str(), text.c_str());

  cv::Mat grey = picture;
  if (picture.channels() == 3) cv::cvtColor(picture, grey, cv::COLOR_BGR2GRAY);
  start = std::chrono::steady_clock::now();
  engines.tesseract.SetImage(grey.data, grey.cols, grey.rows, 1, static_cast<int>(grey.step));
  engines.tesseract.SetSourceResolution(dpi);
  char* tessText = engines.tesseract.GetUTF8Text();
  theirs.Add(truth, tessText ? tessText : "", Seconds(start));
  delete[] tessText;

  for (int turn : {0, 90, 180, 270}) {
    const cv::Mat turned = Turned(grey, turn);
    const int upright = (360 - turn) % 360;  // the counter-clockwise turn back
    int angle = -1;
    ours.orientationRight += engines.orientation.DetectOrientation(turned, &angle, false) && angle == upright;
    ++ours.orientationTried;
    engines.osd.SetImage(turned.data, turned.cols, turned.rows, 1, static_cast<int>(turned.step));
    engines.osd.SetSourceResolution(dpi);
    int degrees = -1;
    float confidence = 0;
    const char* script = nullptr;
    float scriptConfidence = 0;
    // Tesseract reports the clockwise turn the picture has, which is the counter-clockwise one back.
    theirs.orientationRight +=
        engines.osd.DetectOrientationScript(&degrees, &confidence, &script, &scriptConfidence) && degrees == upright;
    ++theirs.orientationTried;
  }
}

void PrintRow(const char* font, const char* mode, const std::string& points, const Score& ours, const Score& theirs) {
  std::printf("%-6s %-6s %-6s %6zu | %8.2f%% %8.2f %3d/%-3d | %8.2f%% %8.2f %3d/%-3d\n", font, mode, points.c_str(),
              ours.characters, 100 * ours.Accuracy(), ours.seconds / std::max(1, ours.pages), ours.orientationRight,
              ours.orientationTried, 100 * theirs.Accuracy(), theirs.seconds / std::max(1, theirs.pages),
              theirs.orientationRight, theirs.orientationTried);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  orvane::ocrpage::RestartWithOneOpenMpThread();
  std::filesystem::path templatePath;
  std::filesystem::path saveFolder;
  std::string mode = "both";
  std::vector<double> points{10.5, 12, 14};
  int characters = 800;
  std::uint64_t seed = 11;
  bool show = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--show") {
      show = true;
      continue;
    }
    if (i + 1 >= argc) return Usage();
    const std::string value = argv[++i];
    if (arg == "--template") {
      templatePath = value;
    } else if (arg == "--mode") {
      mode = value;
    } else if (arg == "--points") {
      points.clear();
      std::stringstream list(value);
      for (std::string item; std::getline(list, item, ',');) points.push_back(std::atof(item.c_str()));
    } else if (arg == "--characters") {
      characters = std::atoi(value.c_str());
    } else if (arg == "--seed") {
      seed = std::strtoull(value.c_str(), nullptr, 10);
    } else if (arg == "--save") {
      saveFolder = value;
    } else {
      return Usage();
    }
  }
  if (templatePath.empty() || points.empty() || (mode != "flat" && mode != "camera" && mode != "both")) return Usage();

  cv::setNumThreads(1);
  Engines engines;
  if (!engines.ocr.Initialize(templatePath) || !engines.orientation.Initialize(templatePath)) return 1;
  if (engines.tesseract.Init(nullptr, "chi_sim") != 0 || engines.osd.Init(nullptr, "osd") != 0) {
    std::fprintf(stderr, "Tesseract's chi_sim or osd data is missing (tesseract-ocr-chi-sim)\n");
    return 1;
  }
  engines.osd.SetPageSegMode(tesseract::PSM_OSD_ONLY);
  if (!saveFolder.empty()) std::filesystem::create_directories(saveFolder);

  std::printf("OMP_THREAD_LIMIT=%s\n", std::getenv("OMP_THREAD_LIMIT") ? std::getenv("OMP_THREAD_LIMIT") : "");
  std::printf("%-6s %-6s %-6s %6s | %-9s %-8s %-7s | %-9s %-8s %-7s\n", "font", "mode", "points", "chars", "accuracy",
              "s/page", "turns", "tess acc", "s/page", "turns");
  std::vector<std::pair<std::string, std::pair<Score, Score>>> totals;
  Score oursAll;
  Score theirsAll;
  for (const orvane::ocrtools::HeldOutFont& font : orvane::ocrtools::HeldOutFonts()) {
    const auto pages = orvane::ocrpage::MakePages(font.face, points, characters, seed);
    for (const char* pageMode : {"flat", "camera"}) {
      if (mode != "both" && mode != pageMode) continue;
      const bool camera = std::string(pageMode) == "camera";
      Score ours;
      Score theirs;
      for (std::size_t p = 0; p < pages.size(); ++p) {
        cv::Mat picture = pages[p].picture;
        int dpi = 300;
        if (camera) {
          const cv::Mat photograph = orvane::ocrpage::PhotographOnDesk(pages[p].ink, seed * 131 + p);
          picture = orvane::ocrpage::CutLikeTheRecognitionCommand(photograph);
          if (picture.empty()) {
            std::printf("%-6s %-6s %-6g: the pipeline found no page\n", font.style, pageMode, pages[p].points);
            picture = photograph;
          }
          dpi = static_cast<int>(300.0 * std::max(picture.rows, picture.cols) / 3508.0 + 0.5);
        }
        if (!saveFolder.empty()) {
          char name[64];
          std::snprintf(name, sizeof name, "%s-%s-%g.png", font.style, pageMode, pages[p].points);
          cv::imwrite((saveFolder / name).string(), picture);
        }
        Score oursPage;
        Score theirsPage;
        CheckPicture(engines, picture, pages[p].text, dpi, show, oursPage, theirsPage);
        char size[16];
        std::snprintf(size, sizeof size, "%g", pages[p].points);
        PrintRow(font.style, pageMode, size, oursPage, theirsPage);
        ours.Merge(oursPage);
        theirs.Merge(theirsPage);
      }
      PrintRow(font.style, pageMode, "all", ours, theirs);
      totals.push_back({std::string(font.style) + " " + pageMode, {ours, theirs}});
      oursAll.Merge(ours);
      theirsAll.Merge(theirs);
    }
  }
  PrintRow("all", "", "", oursAll, theirsAll);
  std::printf("\nfont and mode   ours     tesseract  lowest page  time ratio\n");
  bool met = true;
  for (const auto& [name, scores] : totals) {
    const auto& [ours, theirs] = scores;
    const bool ok = ours.Accuracy() >= theirs.Accuracy() && ours.lowest >= 0.95 && 2 * ours.seconds < theirs.seconds;
    met = met && ok;
    std::printf("%-14s %7.2f%%  %7.2f%%   %7.2f%%     %5.2f  %s\n", name.c_str(), 100 * ours.Accuracy(),
                100 * theirs.Accuracy(), 100 * ours.lowest, theirs.seconds > 0 ? ours.seconds / theirs.seconds : 0.0,
                ok ? "" : "below the goal");
  }
  std::printf("goals %s\n", met ? "met" : "not met");
  engines.tesseract.End();
  engines.osd.End();
  return 0;
}
