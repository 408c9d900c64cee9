#include "page_set.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <numbers>
#include <random>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "app/sys_param.h"
#include "imaging/capture_pipeline.h"
#include "ocr/class_list.h"
#include "ocr/ocr_engine.h"

namespace orvane::ocrpage {
namespace {

constexpr int kPageWidth = 2480;
constexpr int kPageHeight = 3508;
constexpr int kMargin = 200;
constexpr int kLevelOneHanzi = 3755;
constexpr int kPaper = 232;
constexpr int kInk = 30;

std::string Utf8(char32_t c) {
  std::string out;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

std::u32string Decode(const std::string& utf8) {
  std::u32string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    const int extra = b < 0x80 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : 3;
    char32_t c = extra == 0 ? b : b & (0x3F >> extra);
    for (int k = 1; k <= extra && i + k < utf8.size(); ++k) c = (c << 6) | (utf8[i + k] & 0x3F);
    out += c;
    i += extra + 1;
  }
  return out;
}

std::u32string LatinLine(std::mt19937_64& random, int length) {
  static const char* kWords[] = {"Camera", "USB", "PDF", "Orvane", "DPI", "A4", "Scan", "Page", "ID", "Text"};
  std::u32string line;
  std::uniform_int_distribution<int> word(0, 9);
  std::uniform_int_distribution<int> number(0, 9999);
  while (static_cast<int>(line.size()) < length) {
    for (const char* c = kWords[word(random)]; *c; ++c) line += static_cast<char32_t>(*c);
    line += U' ';
    for (char c : std::to_string(number(random))) line += static_cast<char32_t>(c);
    line += U' ';
  }
  line.resize(length);
  while (!line.empty() && line.back() == U' ') line.pop_back();
  return line;
}

}  // namespace

std::vector<SyntheticPage> MakePages(const ocrtools::FontFace& font, const std::vector<double>& points, int characters,
                                     std::uint64_t seed) {
  const std::vector<ocrtools::TemplateClass> classes = ocrtools::TemplateClasses();
  ocrtools::GlyphRenderer renderer(font);
  std::mt19937_64 random(seed);
  std::uniform_int_distribution<int> hanzi(0, kLevelOneHanzi - 1);
  std::vector<SyntheticPage> pages;
  for (double size : points) {
    SyntheticPage page;
    page.points = size;
    const int pixels = static_cast<int>(size * 300 / 72);
    const int gap = std::max(3, pixels / 8);
    const int lineHeight = pixels * 3 / 2;
    const int perLine = (kPageWidth - 2 * kMargin) / (pixels + gap);
    const int lines = std::min((characters + perLine - 1) / perLine, (kPageHeight - 2 * kMargin) / lineHeight);
    cv::Mat ink(kPageHeight, kPageWidth, CV_8UC1, cv::Scalar(0));
    for (int l = 0; l < lines; ++l) {
      std::u32string line;
      if (l % 6 == 3) {
        line = LatinLine(random, perLine);
      } else {
        for (int i = 0; i < perLine; ++i) line += classes[hanzi(random)].codePoint;
      }
      const int y = kMargin + l * lineHeight;
      int x = kMargin;
      for (char32_t c : line) {
        if (c == U' ') {
          x += pixels / 3;
          continue;
        }
        const cv::Mat glyph = renderer.Render(c, pixels);
        if (glyph.empty() || x + glyph.cols >= kPageWidth - kMargin / 2) continue;
        // Latin letters sit on a base line; Chinese characters fill the em square.
        const int top = c < 0x80 ? y + pixels * 4 / 5 - glyph.rows + (std::string("gjpqy").find(static_cast<char>(c)) != std::string::npos ? glyph.rows / 4 : 0)
                                 : y + std::max(0, (pixels - glyph.rows) / 2);
        cv::Mat target = ink(cv::Rect(x, std::max(0, top), glyph.cols, glyph.rows));
        cv::max(target, glyph, target);
        x += glyph.cols + gap;
        page.text += Utf8(c);
      }
      page.text += "\n";
    }
    cv::Mat picture;
    ink.convertTo(picture, CV_32F, -(kPaper - kInk) / 255.0, kPaper);
    page.ink = std::move(ink);
    cv::GaussianBlur(picture, picture, {3, 3}, 0.7);
    cv::Mat noise(picture.size(), CV_32F);
    cv::randn(noise, 0, 6);
    picture += noise;
    picture.convertTo(page.picture, CV_8U);
    pages.push_back(std::move(page));
  }
  return pages;
}

cv::Mat PhotographOnDesk(const cv::Mat& ink, std::uint64_t seed) {
  constexpr int kWidth = 4160;
  constexpr int kHeight = 3120;
  std::mt19937_64 random(seed);
  auto uniform = [&](double low, double high) { return std::uniform_real_distribution<double>(low, high)(random); };
  auto either = [&] { return uniform(0, 1) < 0.5 ? -1.0 : 1.0; };

  // Where the page lies: most of the frame's height, turned 1 to 4 degrees, the far edge a little
  // narrower than the near one.
  const double scale = uniform(0.82, 0.88) * kHeight / ink.rows;
  const double w = ink.cols * scale;
  const double h = ink.rows * scale;
  const double keystone = uniform(0.015, 0.035) * w;
  const double degrees = either() * uniform(1.0, 4.0);
  const cv::Point2d centre(kWidth / 2.0 + uniform(-120, 120), kHeight / 2.0 + uniform(-60, 60));
  const double angle = degrees * std::numbers::pi / 180.0;
  auto place = [&](double x, double y) {
    const double rx = x * std::cos(angle) - y * std::sin(angle);
    const double ry = x * std::sin(angle) + y * std::cos(angle);
    return cv::Point2f(static_cast<float>(centre.x + rx), static_cast<float>(centre.y + ry));
  };
  const cv::Point2f from[] = {{0, 0}, {static_cast<float>(ink.cols), 0},
                              {static_cast<float>(ink.cols), static_cast<float>(ink.rows)},
                              {0, static_cast<float>(ink.rows)}};
  const cv::Point2f to[] = {place(-w / 2 + keystone, -h / 2), place(w / 2 - keystone, -h / 2), place(w / 2, h / 2),
                            place(-w / 2, h / 2)};
  const cv::Mat homography = cv::getPerspectiveTransform(from, to);

  // The lens takes in less detail than the 300-DPI page holds.
  cv::Mat coverage;
  ink.convertTo(coverage, CV_32F, 1.0 / 255);
  cv::GaussianBlur(coverage, coverage, {0, 0}, 0.5 / scale);
  cv::Mat inkSeen;
  cv::warpPerspective(coverage, inkSeen, homography, {kWidth, kHeight}, cv::INTER_LINEAR, cv::BORDER_CONSTANT, 0);
  cv::Mat paperSeen;
  cv::warpPerspective(cv::Mat(ink.size(), CV_32F, cv::Scalar(1)), paperSeen, homography, {kWidth, kHeight},
                      cv::INTER_LINEAR, cv::BORDER_CONSTANT, 0);

  // Light falling off from one side and towards the corners, the paper near 200 in the middle;
  // a desk of dark wood with a slow grain.
  const double tiltX = uniform(-0.12, 0.12);
  const double tiltY = uniform(-0.08, 0.08);
  cv::Mat light(kHeight / 8, kWidth / 8, CV_32F);
  for (int y = 0; y < light.rows; ++y)
    for (int x = 0; x < light.cols; ++x) {
      const double u = static_cast<double>(x) / light.cols - 0.5;
      const double v = static_cast<double>(y) / light.rows - 0.5;
      light.at<float>(y, x) = static_cast<float>(205.0 * (1 + tiltX * u + tiltY * v) * (1 - 0.35 * (u * u + v * v)));
    }
  cv::resize(light, light, {kWidth, kHeight}, 0, 0, cv::INTER_LINEAR);
  cv::Mat grain(kHeight / 16, kWidth / 64, CV_32F);
  cv::randn(grain, 0, 1);
  cv::GaussianBlur(grain, grain, {0, 0}, 1.5);
  cv::resize(grain, grain, {kWidth, kHeight}, 0, 0, cv::INTER_CUBIC);

  constexpr double kPaperColour[3] = {0.95, 0.98, 1.0};  // blue, green, red: slightly warm paper
  constexpr double kDeskColour[3] = {0.22, 0.32, 0.42};
  const double inkShare = uniform(0.10, 0.16);  // what black ink reflects of the paper's light
  const double blur = uniform(0.8, 1.3);
  std::vector<cv::Mat> channels(3);
  for (int c = 0; c < 3; ++c) {
    cv::Mat paper = (1.0 - inkSeen * (1.0 - inkShare)) * kPaperColour[c];
    cv::Mat desk = kDeskColour[c] + grain * 0.04;
    cv::Mat reflect = paper.mul(paperSeen) + desk.mul(1.0 - paperSeen);
    cv::Mat value = reflect.mul(light);
    cv::GaussianBlur(value, value, {0, 0}, blur);
    cv::Mat noise(value.size(), CV_32F);
    cv::RNG(seed * 3 + c).fill(noise, cv::RNG::NORMAL, 0.0, 3.0);
    value += noise;
    value.convertTo(channels[c], CV_8U);
  }
  cv::Mat frame;
  cv::merge(channels, frame);
  std::vector<std::uint8_t> jpeg;
  cv::imencode(".jpg", frame, jpeg, {cv::IMWRITE_JPEG_QUALITY, 85});
  return cv::imdecode(jpeg, cv::IMREAD_COLOR);
}

cv::Mat CutLikeTheRecognitionCommand(const cv::Mat& photograph) {
  CSysParam settings;
  settings.cropMode = 1;
  settings.colorMode = 0;
  settings.deformationRepair = false;
  settings.keepEveryDocument = false;
  settings.shadowRemoval = false;
  settings.dateWatermark = false;
  settings.customWatermark = false;
  imaging::CCaptureImageHelper helper(0);
  helper.SetSettings(settings);
  std::vector<cv::Mat> cuts;
  if (helper.ProcessCapture(photograph, cuts) != imaging::ProcessResult::kDone || cuts.empty()) return {};
  return cuts.front();
}

void RestartWithOneOpenMpThread() {
  const char* limit = std::getenv("OMP_THREAD_LIMIT");
  if (limit && std::string(limit) == "1") return;
  std::ifstream file("/proc/self/cmdline", std::ios::binary);
  const std::string line{std::istreambuf_iterator<char>(file), {}};
  std::vector<std::string> words;
  for (std::size_t start = 0; start < line.size();) {
    const std::size_t end = line.find('\0', start);
    words.push_back(line.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  setenv("OMP_THREAD_LIMIT", "1", 1);
  if (!words.empty()) execv("/proc/self/exe", argv.data());
  std::perror("cannot restart with OMP_THREAD_LIMIT=1; Tesseract may use several threads");
}

std::u32string ComparableText(const std::string& utf8) {
  std::u32string out;
  for (char32_t c : Decode(utf8)) {
    if (c == U' ' || c == U'\n' || c == U'\r' || c == U'\t' || c == 0x3000) continue;
    if (c >= 0xFF01 && c <= 0xFF5E) c -= 0xFEE0;
    out += c;
  }
  return out;
}

std::size_t EditDistance(const std::u32string& a, const std::u32string& b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

}  // namespace orvane::ocrpage
