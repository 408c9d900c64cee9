// The page cut on desk photographs made here with their true corners known, beside the common
// OpenCV recipe (Canny edges, the largest contour that simplifies to four points):
//   orvane-page-cut-check [--photos N] [--seed N] [--list] [--save FOLDER]
// For the capture's cut (one cut round every page, or one per page; plain or straightened) and
// the live outlines it prints the mean and smallest Jaccard index (intersection over union of the
// cut and the true page, each true page matched to its best cut, 0 when nothing was found), how
// many pages scored under 0.90 and under 0.5, how many cuts matched no page (under 0.5 with every
// page), and the seconds per photograph on one thread. On a photograph of two pages, the one cut
// round every page is measured against the smallest rectangle round both (see JaccardRoundPages).
// --list prints every page's figures, --save writes the photographs with the true pages (green)
// and the capture's cuts per page (red), at a quarter of their size.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "desk_photos.h"
#include "imaging/capture_pipeline.h"
#include "imaging/page_detection.h"

namespace {

using orvane::pagecut::DeskPhoto;
using orvane::pagecut::Quad;
namespace imaging = orvane::imaging;

int Usage() {
  std::fprintf(stderr, "usage: orvane-page-cut-check [--photos N] [--seed N] [--list] [--save FOLDER]\n");
  return 2;
}

// The display's live detection of the document camera: its scale for frames this large, the
// minimum area the main window gives it, and the whole frame when nothing is found.
constexpr float kLiveMinimumAreaRatio = 0.01f;

std::vector<Quad> LiveOutlines(const cv::Mat& frame, bool everyPage) {
  const float scale = static_cast<long long>(frame.cols) * frame.rows > imaging::kLargeLiveFramePixels
                          ? imaging::kLivePageScale
                          : imaging::kPageScale;
  std::vector<cv::RotatedRect> pages;
  if (everyPage) {
    imaging::FindDocumentRegions(frame, imaging::kPageMedianAperture, imaging::kPageGradientAperture, scale,
                                 kLiveMinimumAreaRatio, imaging::kPageThresholdFactor, pages);
  } else {
    cv::RotatedRect bounds;
    if (imaging::FindDocumentBounds(frame, imaging::kPageMedianAperture, imaging::kPageGradientAperture, scale,
                                    kLiveMinimumAreaRatio, imaging::kPageThresholdFactor, bounds))
      pages.push_back(bounds);
  }
  if (pages.empty()) pages.emplace_back(cv::Point2f(frame.cols / 2, frame.rows / 2), cv::Size2f(frame.cols, frame.rows), 0);
  std::vector<Quad> outlines;
  for (const cv::RotatedRect& page : pages) outlines.push_back(orvane::pagecut::QuadOf(page));
  return outlines;
}

std::vector<Quad> CaptureCuts(const cv::Mat& photo, bool everyPage, bool straighten) {
  std::vector<Quad> outlines;
  for (const imaging::PageCut& cut : imaging::FindPageCuts(photo, everyPage, straighten)) outlines.push_back(cut.Outline());
  return outlines;
}

struct Mode {
  const char* name;
  bool roundAll;  // measured against the rectangle round all pages
  std::function<std::vector<Quad>(const cv::Mat&)> run;
  std::vector<double> scores;
  double seconds = 0;
  int extra = 0;  // cuts that match no page (Jaccard under 0.5 with every true page)
};

}  // namespace

int main(int argc, char** argv) {
  int photoCount = 40;
  std::uint64_t seed = 22;
  bool list = false;
  std::filesystem::path saveFolder;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--list") {
      list = true;
      continue;
    }
    if (i + 1 >= argc) return Usage();
    const std::string value = argv[++i];
    if (arg == "--photos")
      photoCount = std::atoi(value.c_str());
    else if (arg == "--seed")
      seed = std::strtoull(value.c_str(), nullptr, 10);
    else if (arg == "--save")
      saveFolder = value;
    else
      return Usage();
  }
  if (photoCount < 1) return Usage();
  if (!saveFolder.empty()) {
    std::error_code error;
    std::filesystem::create_directories(saveFolder, error);
    if (error) {
      std::fprintf(stderr, "cannot make %s: %s\n", saveFolder.c_str(), error.message().c_str());
      return 1;
    }
  }
  cv::setNumThreads(1);

  std::vector<Mode> modes = {
      {"capture, one cut", true, [](const cv::Mat& p) { return CaptureCuts(p, false, false); }, {}, 0},
      {"capture, one cut, straightened", true, [](const cv::Mat& p) { return CaptureCuts(p, false, true); }, {}, 0},
      {"capture, every page", false, [](const cv::Mat& p) { return CaptureCuts(p, true, false); }, {}, 0},
      {"capture, every page, straightened", false, [](const cv::Mat& p) { return CaptureCuts(p, true, true); }, {}, 0},
      {"live, one outline", true, [](const cv::Mat& p) { return LiveOutlines(p, false); }, {}, 0},
      {"live, every page", false, [](const cv::Mat& p) { return LiveOutlines(p, true); }, {}, 0},
      {"OpenCV recipe, every page", false, orvane::pagecut::OpenCvRecipe, {}, 0},
  };
  for (int index = 0; index < photoCount; ++index) {
    const DeskPhoto photo = orvane::pagecut::MakeDeskPhoto(index, seed);
    std::vector<Quad> truths;
    for (const auto& page : photo.pages) truths.push_back(page.corners);
    std::vector<Quad> everyPageCuts;
    for (Mode& mode : modes) {
      const auto start = std::chrono::steady_clock::now();
      const std::vector<Quad> found = mode.run(photo.picture);
      mode.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      if (std::string(mode.name) == "capture, every page") everyPageCuts = found;
      if (mode.roundAll) {
        double score = 0;
        for (const Quad& cut : found) {
          const double fit = orvane::pagecut::JaccardRoundPages(photo.pages, cut);
          mode.extra += fit < 0.5;
          score = std::max(score, fit);
        }
        mode.scores.push_back(score);
        if (list) std::printf("photo %2d %-8s %-34s %.3f\n", index + 1, "all", mode.name, score);
        continue;
      }
      for (const Quad& cut : found) mode.extra += orvane::pagecut::BestJaccard(cut, truths) < 0.5;
      for (std::size_t p = 0; p < truths.size(); ++p) {
        const double score = orvane::pagecut::BestJaccard(truths[p], found);
        mode.scores.push_back(score);
        if (list)
          std::printf("photo %2d %-8s %-34s %.3f\n", index + 1, photo.pages[p].kind.c_str(), mode.name, score);
      }
    }
    if (!saveFolder.empty()) {
      cv::Mat shown = photo.picture.clone();
      const auto draw = [&shown](const Quad& quad, const cv::Scalar& colour) {
        std::vector<cv::Point> points;
        for (const auto& p : quad) points.emplace_back(cvRound(p.x), cvRound(p.y));
        cv::polylines(shown, std::vector<std::vector<cv::Point>>{points}, true, colour, 5, cv::LINE_AA);
      };
      for (const Quad& truth : truths) draw(truth, {0, 200, 0});
      for (const Quad& cut : everyPageCuts) draw(cut, {0, 0, 255});
      cv::resize(shown, shown, {}, 0.25, 0.25, cv::INTER_AREA);
      const std::filesystem::path file = saveFolder / ("photo" + std::to_string(index + 1) + ".png");
      if (!cv::imwrite(file.string(), shown))
        std::fprintf(stderr, "cannot write %s\n", file.c_str());
    }
  }

  std::printf("%d photographs %dx%d, seed %llu\n", photoCount, orvane::pagecut::kPhotoWidth,
              orvane::pagecut::kPhotoHeight, static_cast<unsigned long long>(seed));
  std::printf("%-34s %6s %6s %7s %6s %6s %8s\n", "", "mean", "min", "<0.90", "<0.5", "extra", "s/photo");
  for (const Mode& mode : modes) {
    double sum = 0;
    double smallest = 1;
    int under90 = 0;
    int under50 = 0;
    for (double score : mode.scores) {
      sum += score;
      smallest = std::min(smallest, score);
      under90 += score < 0.9;
      under50 += score < 0.5;
    }
    std::printf("%-34s %6.3f %6.3f %7d %6d %6d %8.4f\n", mode.name, sum / mode.scores.size(), smallest, under90, under50,
                mode.extra, mode.seconds / photoCount);
  }
  return 0;
}
