// Page recognition on synthetic pages in the held-out faces, beside Tesseract's Simplified
// Chinese data on the same pictures, on one core each:
//   orvane-ocr-page-check --template PATH [--mode flat|camera|both] [--points 10.5,12,14]
//                         [--kinds prose,form] [--faces sans,song,kai,fangsong] [--seed N]
//                         [--save FOLDER] [--show] [--turns] [--no-tesseract]
// Flat mode reads the pages as a scanner gives them; camera mode photographs each page lying on a
// desk and cuts the photograph with the capture pipeline as the recognition command does
// (automatic crop, colour, no deformation repair). Prints per page the character accuracy (1 -
// edit distance / length of the page's text, white space left out) and the seconds of both, on
// the forms also the digits' accuracy, and on flat pages the characters read from the QR code,
// the photograph and the rules; --turns adds how many of the four turns of each page the
// orientation was right for; --show prints the text expected and read of every page read under
// 99 %. The goals are checked page by page: at least Tesseract's accuracy and 97 %, the digits of
// a form at least 99.5 %, at most half of Tesseract's time.
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
using orvane::ocrpage::CompareDigits;
using orvane::ocrpage::EditDistance;

constexpr double kLeastAccuracy = 0.97;
constexpr double kLeastDigitAccuracy = 0.995;
constexpr double kMostTimeShare = 0.5;

int Usage() {
  std::fprintf(stderr,
               "usage: orvane-ocr-page-check --template PATH [--mode flat|camera|both] [--points 10.5,12,14]\n"
               "                             [--kinds prose,form] [--faces sans,song,kai,fangsong] [--seed N]\n"
               "                             [--save FOLDER] [--show] [--turns] [--no-tesseract]\n");
  return 2;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

std::vector<std::string> Split(const std::string& list) {
  std::vector<std::string> items;
  std::stringstream stream(list);
  for (std::string item; std::getline(stream, item, ',');) items.push_back(item);
  return items;
}

bool Contains(const std::vector<std::string>& items, const std::string& item) {
  return std::find(items.begin(), items.end(), item) != items.end();
}

struct Reading {
  std::size_t errors = 0;
  std::size_t characters = 0;
  std::size_t digitErrors = 0;
  std::size_t digits = 0;
  double seconds = 0;
  int turnsRight = 0;
  int turnsTried = 0;
  void Score(const std::string& truth, const std::string& text, double time) {
    const std::u32string expected = ComparableText(truth);
    const std::u32string read = ComparableText(text);
    errors = EditDistance(expected, read);
    characters = expected.size();
    const orvane::ocrpage::DigitErrors d = CompareDigits(expected, read);
    digitErrors = d.errors;
    digits = d.digits;
    seconds = time;
  }
  double Accuracy() const { return characters ? 1.0 - static_cast<double>(errors) / characters : 0.0; }
  double DigitAccuracy() const { return digits ? 1.0 - static_cast<double>(digitErrors) / digits : 1.0; }
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
  bool withTesseract = true;
  bool turns = false;
};

// The characters read from lines that lie mostly on a QR code, a photograph or a rule.
std::size_t ReadFromNonText(const orvane::ocr::RecordList<orvane::ocr::TextLineRecord>& lines,
                            const std::vector<cv::Rect>& nonText) {
  std::size_t read = 0;
  for (const orvane::ocr::TextLineRecord& line : lines) {
    const cv::Rect box(line.x, line.y, line.width, line.height);
    for (const cv::Rect& area : nonText) {
      if (2 * (box & area).area() >= box.area()) {
        read += ComparableText(line.text).size();
        break;
      }
    }
  }
  return read;
}

struct PageResult {
  Reading ours;
  Reading theirs;
  std::size_t nonTextRead = 0;
};

PageResult CheckPicture(Engines& engines, const cv::Mat& picture, const orvane::ocrpage::SyntheticPage& page,
                        bool flat, int dpi, bool show) {
  PageResult result;
  auto start = std::chrono::steady_clock::now();
  orvane::ocr::RecordList<orvane::ocr::TextLineRecord> lines;
  std::string text;
  if (engines.ocr.ProcessImage(picture, &lines, nullptr, false)) orvane::ocr::CDocOCR::JoinLines(lines, &text);
  result.ours.Score(page.text, text, Seconds(start));
  if (flat) result.nonTextRead = ReadFromNonText(lines, page.nonText);
  if (show && result.ours.Accuracy() < 0.99)
    std::printf("--- expected:\n%s--- read:\n%s\n---\n", page.text.c_str(), text.c_str());

  cv::Mat grey = picture;
  if (picture.channels() == 3) cv::cvtColor(picture, grey, cv::COLOR_BGR2GRAY);
  if (engines.withTesseract) {
    start = std::chrono::steady_clock::now();
    engines.tesseract.SetImage(grey.data, grey.cols, grey.rows, 1, static_cast<int>(grey.step));
    engines.tesseract.SetSourceResolution(dpi);
    char* tessText = engines.tesseract.GetUTF8Text();
    result.theirs.Score(page.text, tessText ? tessText : "", Seconds(start));
    delete[] tessText;
  }
  if (!engines.turns) return result;
  for (int turn : {0, 90, 180, 270}) {
    const cv::Mat turned = Turned(grey, turn);
    const int upright = (360 - turn) % 360;  // the counter-clockwise turn back
    int angle = -1;
    result.ours.turnsRight += engines.orientation.DetectOrientation(turned, &angle, false) && angle == upright;
    ++result.ours.turnsTried;
    if (!engines.withTesseract) continue;
    engines.osd.SetImage(turned.data, turned.cols, turned.rows, 1, static_cast<int>(turned.step));
    engines.osd.SetSourceResolution(dpi);
    int degrees = -1;
    float confidence = 0;
    const char* script = nullptr;
    float scriptConfidence = 0;
    // Tesseract reports the clockwise turn the picture has, which is the counter-clockwise one back.
    result.theirs.turnsRight +=
        engines.osd.DetectOrientationScript(&degrees, &confidence, &script, &scriptConfidence) && degrees == upright;
    ++result.theirs.turnsTried;
  }
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  orvane::ocrpage::RestartWithOneOpenMpThread();
  std::filesystem::path templatePath;
  std::filesystem::path saveFolder;
  std::string mode = "both";
  std::vector<double> points{10.5, 12, 14};
  std::vector<std::string> kinds{"prose", "form"};
  std::vector<std::string> faces;
  std::uint64_t seed = 11;
  bool show = false;
  Engines engines;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--show" || arg == "--turns" || arg == "--no-tesseract") {
      show = show || arg == "--show";
      engines.turns = engines.turns || arg == "--turns";
      engines.withTesseract = engines.withTesseract && arg != "--no-tesseract";
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
      for (const std::string& item : Split(value)) points.push_back(std::atof(item.c_str()));
    } else if (arg == "--kinds") {
      kinds = Split(value);
    } else if (arg == "--faces") {
      faces = Split(value);
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
  if (!engines.ocr.Initialize(templatePath) || !engines.orientation.Initialize(templatePath)) return 1;
  if (engines.withTesseract &&
      (engines.tesseract.Init(nullptr, "chi_sim") != 0 || engines.osd.Init(nullptr, "osd") != 0)) {
    std::fprintf(stderr, "Tesseract's chi_sim or osd data is missing (tesseract-ocr-chi-sim)\n");
    return 1;
  }
  engines.osd.SetPageSegMode(tesseract::PSM_OSD_ONLY);
  if (!saveFolder.empty()) std::filesystem::create_directories(saveFolder);

  std::printf("OMP_THREAD_LIMIT=%s\n", std::getenv("OMP_THREAD_LIMIT") ? std::getenv("OMP_THREAD_LIMIT") : "");
  std::printf("%-8s %-5s %-6s %-4s %5s | %8s %6s %7s | %8s %6s %7s | %5s %5s | %s\n", "face", "kind", "mode", "pt",
              "chars", "ours", "s", "digits", "tess", "s", "digits", "ratio", "other", "goals");
  Reading oursAll;
  Reading theirsAll;
  int pagesMet = 0;
  int pagesChecked = 0;
  for (const orvane::ocrtools::HeldOutFont& font : orvane::ocrtools::HeldOutFonts()) {
    if (!faces.empty() && !Contains(faces, font.style)) continue;
    for (const std::string& kind : kinds) {
      const bool form = kind == "form";
      const auto pages = orvane::ocrpage::MakePages(
          font.face, points, form ? orvane::ocrpage::PageKind::kForm : orvane::ocrpage::PageKind::kProse, seed);
      for (const char* pageMode : {"flat", "camera"}) {
        if (mode != "both" && mode != pageMode) continue;
        const bool camera = std::string(pageMode) == "camera";
        for (std::size_t p = 0; p < pages.size(); ++p) {
          cv::Mat picture = pages[p].picture;
          int dpi = 300;
          if (camera) {
            const cv::Mat photograph = orvane::ocrpage::PhotographOnDesk(pages[p].ink, seed * 131 + static_cast<std::uint64_t>(std::lround(pages[p].points * 10)));
            picture = orvane::ocrpage::CutLikeTheRecognitionCommand(photograph);
            if (picture.empty()) {
              std::printf("%-8s %-5s %-6s %-4g: the pipeline found no page\n", font.style, kind.c_str(), pageMode,
                          pages[p].points);
              picture = photograph;
            }
            dpi = static_cast<int>(300.0 * std::max(picture.rows, picture.cols) / 3508.0 + 0.5);
          }
          if (!saveFolder.empty()) {
            char name[96];
            std::snprintf(name, sizeof name, "%s-%s-%s-%g.png", font.style, kind.c_str(), pageMode, pages[p].points);
            cv::imwrite((saveFolder / name).string(), picture);
          }
          const PageResult r = CheckPicture(engines, picture, pages[p], !camera, dpi, show);
          const double ratio = r.theirs.seconds > 0 ? r.ours.seconds / r.theirs.seconds : 0.0;
          const bool met = engines.withTesseract && r.ours.Accuracy() >= r.theirs.Accuracy() &&
                           r.ours.Accuracy() >= kLeastAccuracy &&
                           (!form || r.ours.DigitAccuracy() >= kLeastDigitAccuracy) && ratio <= kMostTimeShare &&
                           r.nonTextRead == 0;
          pagesMet += met;
          ++pagesChecked;
          char ourDigits[16] = "";
          char theirDigits[16] = "";
          if (form) {
            std::snprintf(ourDigits, sizeof ourDigits, "%6.2f%%", 100 * r.ours.DigitAccuracy());
            std::snprintf(theirDigits, sizeof theirDigits, "%6.2f%%", 100 * r.theirs.DigitAccuracy());
          }
          std::printf("%-8s %-5s %-6s %-4g %5zu | %7.2f%% %6.2f %7s | %7.2f%% %6.2f %7s | %5.2f %5zu | %s", font.style,
                      kind.c_str(), pageMode, pages[p].points, r.ours.characters, 100 * r.ours.Accuracy(),
                      r.ours.seconds, ourDigits, 100 * r.theirs.Accuracy(), r.theirs.seconds, theirDigits, ratio,
                      r.nonTextRead, met ? "met" : "NOT MET");
          if (engines.turns)
            std::printf("  turns %d/%d vs %d/%d", r.ours.turnsRight, r.ours.turnsTried, r.theirs.turnsRight,
                        r.theirs.turnsTried);
          std::printf("\n");
          std::fflush(stdout);
          oursAll.errors += r.ours.errors;
          oursAll.characters += r.ours.characters;
          oursAll.seconds += r.ours.seconds;
          theirsAll.errors += r.theirs.errors;
          theirsAll.characters += r.theirs.characters;
          theirsAll.seconds += r.theirs.seconds;
        }
      }
    }
  }
  std::printf("all: ours %.2f%% in %.1f s, tesseract %.2f%% in %.1f s; goals met on %d of %d pages\n",
              100 * oursAll.Accuracy(), oursAll.seconds, 100 * theirsAll.Accuracy(), theirsAll.seconds, pagesMet,
              pagesChecked);
  if (engines.withTesseract) {
    engines.tesseract.End();
    engines.osd.End();
  }
  return 0;
}
