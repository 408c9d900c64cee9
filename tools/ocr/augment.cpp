#include "ocr/augment.h"

#include <algorithm>
#include <cmath>

#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "ocr/doc_ocr.h"

namespace orvane::ocrtools {

std::uint64_t SampleRandom::Next() {
  // splitmix64
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

double SampleRandom::Uniform(double low, double high) {
  return low + (high - low) * static_cast<double>(Next() >> 11) * 0x1.0p-53;
}

Distortion RandomDistortion(SampleRandom& random, int pixelSize) {
  Distortion distortion;
  distortion.degrees = random.Uniform(-4.0, 4.0);
  // A stroke of a text font is about a tenth of the em: thicken it by up to a third, thin it less,
  // since thin strokes of small characters break apart.
  distortion.embolden = random.Uniform(-0.15, 0.3) * std::max(1.0, pixelSize / 10.0);
  // Other designs set their characters narrower or wider by a tenth or so, and an oblique face
  // leans by about a tenth of the height.
  distortion.widthScale = random.Uniform(0.88, 1.12);
  distortion.slant = random.Uniform(0.0, 1.0) < 0.2 ? random.Uniform(-0.05, 0.15) : 0.0;
  distortion.blurSigma = random.Uniform(0.0, 1.0) < 0.5 ? random.Uniform(0.3, 0.5 + pixelSize / 40.0) : 0.0;
  distortion.noiseSigma = random.Uniform(0.0, 1.0) < 0.5 ? random.Uniform(2.0, 14.0) : 0.0;
  distortion.threshold = random.Uniform(0.0, 1.0) < 0.15 ? 0 : static_cast<int>(random.Uniform(90.0, 170.0));
  if (distortion.threshold == 0 && random.Uniform(0.0, 1.0) < 0.5) distortion.paper = static_cast<int>(random.Uniform(10.0, 60.0));
  return distortion;
}

cv::Mat Degrade(const cv::Mat& grey, const Distortion& distortion, std::uint64_t noiseSeed) {
  const bool onPaper = distortion.threshold == 0 && distortion.paper > 0;
  cv::Mat picture;
  grey.convertTo(picture, CV_32F);
  if (onPaper) picture = picture * ((255.0 - distortion.paper) / 255.0) + distortion.paper;
  if (distortion.blurSigma > 0) cv::GaussianBlur(picture, picture, cv::Size(0, 0), distortion.blurSigma);
  if (distortion.noiseSigma > 0) {
    cv::Mat noise(picture.size(), CV_32F);
    cv::RNG rng(noiseSeed);
    rng.fill(noise, cv::RNG::NORMAL, 0.0, distortion.noiseSigma);
    picture += noise;
  }
  cv::Mat result;
  picture.convertTo(result, CV_8U);  // saturating
  if (onPaper) {
    const cv::Rect ink = cv::boundingRect(grey >= 128);
    return ink.area() > 0 ? cv::Mat(result(ink)).clone() : result;
  }
  if (distortion.threshold > 0)
    cv::threshold(result, result, distortion.threshold - 1, 255, cv::THRESH_BINARY);
  else  // a grey picture keeps a clean background: specks would stretch the ink's bounding box
    result.setTo(0, result < std::max(8.0, 3.0 * distortion.noiseSigma));
  return result;
}

PageLook RandomPageLook(SampleRandom& random, int pixelSize) {
  PageLook look;
  const bool camera = random.Uniform(0.0, 1.0) < 0.6;
  if (camera) {
    // A camera's paper near 200 under uneven light; a thin stroke keeps less than half its depth
    // once blurred over a few pixels.
    look.paper = static_cast<int>(random.Uniform(150.0, 225.0));
    look.inkShare = random.Uniform(0.1, 0.55);
    look.blurSigma = random.Uniform(0.6, 1.0 + pixelSize / 40.0);
    look.noiseSigma = random.Uniform(1.0, 6.0);
    look.jpegQuality = static_cast<int>(random.Uniform(60.0, 95.0));
  } else {
    look.paper = static_cast<int>(random.Uniform(215.0, 255.0));
    look.inkShare = random.Uniform(0.0, 0.35);
    look.blurSigma = random.Uniform(0.0, 1.0) < 0.7 ? random.Uniform(0.3, 0.6 + pixelSize / 60.0) : 0.0;
    look.noiseSigma = random.Uniform(0.0, 1.0) < 0.7 ? random.Uniform(1.0, 9.0) : 0.0;
  }
  return look;
}

cv::Mat PageCandidate(const cv::Mat& glyph, const PageLook& look, std::uint64_t noiseSeed) {
  // Paper all round, as between the lines of a page, so that the thresholds see the character in
  // its surroundings.
  const int margin = std::max(12, glyph.rows / 2);
  cv::Mat coverage;
  cv::copyMakeBorder(glyph, coverage, margin, margin, margin, margin, cv::BORDER_CONSTANT, cv::Scalar(0));
  cv::Mat page;
  coverage.convertTo(page, CV_32F, -look.paper * (1.0 - look.inkShare) / 255.0, look.paper);
  if (look.blurSigma > 0) cv::GaussianBlur(page, page, cv::Size(0, 0), look.blurSigma);
  if (look.noiseSigma > 0) {
    cv::Mat noise(page.size(), CV_32F);
    cv::RNG rng(noiseSeed);
    rng.fill(noise, cv::RNG::NORMAL, 0.0, look.noiseSigma);
    page += noise;
  }
  cv::Mat grey;
  page.convertTo(grey, CV_8U);
  if (look.jpegQuality > 0) {
    std::vector<std::uint8_t> jpeg;
    cv::imencode(".jpg", grey, jpeg, {cv::IMWRITE_JPEG_QUALITY, look.jpegQuality});
    grey = cv::imdecode(jpeg, cv::IMREAD_GRAYSCALE);
  }
  const cv::Mat normalized = ocr::CDocOCR::NormalizeContrast(grey);
  cv::Mat coarse;
  cv::Mat fine;
  ocr::CDocOCR::Binarize(normalized, &coarse, &fine);
  cv::Mat text;
  cv::subtract(cv::Scalar::all(255), coarse, text);
  // Specks of noise beside the character are not part of it: only the ink within a few pixels of
  // the character's own box counts.
  const cv::Rect around = (cv::boundingRect(coverage >= 64) + cv::Size(4, 4) - cv::Point(2, 2)) &
                          cv::Rect(0, 0, text.cols, text.rows);
  if (around.area() == 0) return {};
  const cv::Rect ink = cv::boundingRect(text(around));
  if (ink.area() == 0) return {};
  const cv::Rect box = ink + around.tl();
  cv::Mat inverted;
  cv::subtract(cv::Scalar::all(255), normalized(box), inverted);
  return ocr::CDocOCR::CombineCandidateImage(text(box), inverted);
}

}  // namespace orvane::ocrtools
