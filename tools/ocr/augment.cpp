#include "ocr/augment.h"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

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

}  // namespace orvane::ocrtools
