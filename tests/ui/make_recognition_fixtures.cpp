// Makes the recognition tests' files in one folder: a small character template
// ("OCR_RLDA_LN_Gra.tpl", trained in seconds on a few hundred classes of one font), a page of its
// characters as the virtual camera films it ("page.png", 640 x 480, with its text in "page.txt"),
// the same page turned clockwise by a quarter ("turned.png"), and the page in a frame of the size
// the program's virtual camera opens at ("page-4160.png", 4160 x 3120).
//   orvane-recognition-fixtures FOLDER
#include <cstdio>
#include <filesystem>
#include <fstream>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "ocr/doc_orientation.h"
#include "ocr/ocr_engine.h"
#include "tools/ocr/rendered_page.h"

namespace ocr = orvane::ocr;
namespace testing = orvane::ocrtools::testing;
using namespace orvane::ocrtools;

namespace {

// The page in the middle of a white frame, in colour.
cv::Mat OnFrame(const cv::Mat& page, int width = 640, int height = 480) {
  cv::Mat frame(height, width, CV_8UC1, cv::Scalar(255));
  page.copyTo(frame(cv::Rect((frame.cols - page.cols) / 2, (frame.rows - page.rows) / 2, page.cols, page.rows)));
  cv::Mat colour;
  cv::cvtColor(frame, colour, cv::COLOR_GRAY2BGR);
  return colour;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: orvane-recognition-fixtures FOLDER\n");
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::filesystem::create_directories(folder);
  try {
    if (!WriteTemplate(folder / "OCR_RLDA_LN_Gra.tpl", BuildTemplate(testing::PageTemplateOptions(), EngineFeatures()).content)) {
      std::fprintf(stderr, "cannot write the template\n");
      return 1;
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  // Two lines of six characters, every seventh class.
  const std::vector<TemplateClass> classes = TemplateClasses();
  std::vector<std::u32string> lines(2);
  std::string text;
  int k = 0;
  for (auto& line : lines) {
    if (!text.empty()) text += "\r\n";
    for (int i = 0; i < 6; ++i, k += 7) {
      line += classes[k % testing::kPageClassCount].codePoint;
      text += ocr::OcrLabelToUtf8(classes[k % testing::kPageClassCount].gbk);
    }
  }
  GlyphRenderer renderer(testing::kPageFont);
  const cv::Mat page = testing::TypesetPage(renderer, lines, {});
  const bool written = cv::imwrite((folder / "page.png").string(), OnFrame(page)) &&
                       cv::imwrite((folder / "turned.png").string(), OnFrame(ocr::RotateMat90CW(page))) &&
                       cv::imwrite((folder / "page-4160.png").string(), OnFrame(page, 4160, 3120));
  std::ofstream(folder / "page.txt", std::ios::binary) << text;
  return written ? 0 : 1;
}
