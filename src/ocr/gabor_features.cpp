#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>
#include <cmath>
#include <numbers>
#include <string>

#include <opencv2/core.hpp>

#include "ocr/feature_extractor.h"

namespace orvane::ocr {

std::vector<int> GaborParameters::Wavelengths() const {
  std::vector<int> out;
  if (step < 1) return out;
  for (int lambda = smallest; lambda <= largest; lambda += step) out.push_back(lambda);
  return out;
}

namespace {

// A decimal integer as the C library reads one (leading blanks, a sign, digits up to the first
// other character; none gives 0), or nothing when it does not fit in an int.
std::optional<int> ReadDecimal(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  if (i < text.size() && text[i] == '+') ++i;
  int value = 0;
  const auto [end, error] = std::from_chars(text.data() + i, text.data() + text.size(), value);
  if (error == std::errc::result_out_of_range) return std::nullopt;
  return error == std::errc() ? value : 0;
}

}  // namespace

bool ParseGaborParameters(std::string_view name, GaborParameters& parameters) {
  parameters = GaborParameters{};
  const std::size_t colon = name.find(':');
  if (name.size() > 4 && colon != std::string_view::npos) {
    // Three numbers separated by ':'.
    std::string_view rest = name.substr(colon + 1);
    int values[3] = {0, 0, 0};
    for (int& value : values) {
      const std::size_t next = rest.find(':');
      const std::optional<int> read = ReadDecimal(rest.substr(0, next));
      if (!read) return false;
      value = *read;
      rest = next == std::string_view::npos ? std::string_view() : rest.substr(next + 1);
    }
    parameters.smallest = values[0];
    parameters.step = values[1];
    parameters.largest = values[2];
  }
  // A wavelength below 1 has no envelope and a step below 1 never reaches the largest; a wave
  // longer than half the character's side has a kernel wider than the character and a
  // convolution that costs a page's recognition seconds for nothing.
  return parameters.smallest >= 1 && parameters.step >= 1 && parameters.largest >= parameters.smallest &&
         parameters.largest <= kLongestGaborWavelength;
}

namespace {

struct GaborKernel {
  cv::Mat real;       // n x n, CV_32F
  cv::Mat imaginary;  // n x n, CV_32F
};

GaborKernel MakeKernel(int lambda, float theta, bool complexKernel) {
  const int n = static_cast<int>(2.0 * lambda + 1.0);
  const float sigma = lambda / 2.0f;
  const int half = n / 2;
  GaborKernel k{cv::Mat(n, n, CV_32F), cv::Mat(n, n, CV_32F, cv::Scalar(0))};
  const float cosine = std::cos(theta), sine = std::sin(theta);
  float realSum = 0.0f;
  for (int y = -half; y < n - half; ++y) {
    for (int x = -half; x < n - half; ++x) {
      const float xr = x * cosine + y * sine;
      const float yr = -x * sine + y * cosine;
      const float envelope = std::exp(-0.5f * (xr * xr + yr * yr) / (sigma * sigma));
      const float phase = 2.0f * std::numbers::pi_v<float> * xr / static_cast<float>(lambda);
      const float re = envelope * std::cos(phase);
      k.real.at<float>(y + half, x + half) = re;
      realSum += re;
      if (complexKernel) k.imaginary.at<float>(y + half, x + half) = envelope * std::sin(phase);
    }
  }
  // The real part is made free of a constant response by removing its mean, so that flat ink
  // areas do not swamp the oriented strokes.
  if (complexKernel) k.real -= realSum / static_cast<float>(n * n);
  return k;
}

// Linear convolution of `image` with the n x n complex kernel through the DFT, cropped to the
// image's size starting at (n/2, n/2) of the full result. Two CV_32F planes: real, imaginary.
void Convolve(const cv::Mat& image, const GaborKernel& kernel, cv::Mat& real, cv::Mat& imaginary) {
  const int n = kernel.real.rows;
  const int rows = cv::getOptimalDFTSize(image.rows + n - 1);
  const int cols = cv::getOptimalDFTSize(image.cols + n - 1);
  cv::Mat paddedImage(rows, cols, CV_32F, cv::Scalar(0));
  image.copyTo(paddedImage(cv::Rect(0, 0, image.cols, image.rows)));
  cv::Mat kernelPlanes[2] = {cv::Mat(rows, cols, CV_32F, cv::Scalar(0)), cv::Mat(rows, cols, CV_32F, cv::Scalar(0))};
  kernel.real.copyTo(kernelPlanes[0](cv::Rect(0, 0, n, n)));
  kernel.imaginary.copyTo(kernelPlanes[1](cv::Rect(0, 0, n, n)));
  cv::Mat paddedKernel;
  cv::merge(kernelPlanes, 2, paddedKernel);

  cv::Mat imageSpectrum, kernelSpectrum, product, full;
  cv::dft(paddedImage, imageSpectrum, cv::DFT_COMPLEX_OUTPUT);
  cv::dft(paddedKernel, kernelSpectrum, cv::DFT_COMPLEX_OUTPUT);
  cv::mulSpectrums(imageSpectrum, kernelSpectrum, product, 0);
  cv::idft(product, full, cv::DFT_SCALE | cv::DFT_COMPLEX_OUTPUT);
  cv::Mat planes[2];
  cv::split(full(cv::Rect(n / 2, n / 2, image.cols, image.rows)), planes);
  real = planes[0].clone();
  imaginary = planes[1].clone();
}

// Gaussian-weighted sums of `response` over 8 x 8 blocks, each widened by 2 pixels on every side
// that is not on the image's edge. `select` maps a response value to what is summed.
template <class Select>
void PoolBlocks(const cv::Mat& response, int rowBlocks, int columnBlocks, float sigma, Select select, float* out) {
  const int blockHeight = std::max(response.rows / rowBlocks, 1);
  const int blockWidth = std::max(response.cols / columnBlocks, 1);
  const float denominator = 2.0f * sigma * sigma;
  for (int by = 0; by < rowBlocks; ++by) {
    for (int bx = 0; bx < columnBlocks; ++bx) {
      const int top = by * blockHeight, bottom = top + blockHeight - 1;
      const int left = bx * blockWidth, right = left + blockWidth - 1;
      const float cy = (top + bottom) / 2.0f, cx = (left + right) / 2.0f;
      const int y0 = by > 0 ? top - 2 : top, y1 = std::min(by < rowBlocks - 1 ? bottom + 2 : bottom, response.rows - 1);
      const int x0 = bx > 0 ? left - 2 : left, x1 = std::min(bx < columnBlocks - 1 ? right + 2 : right, response.cols - 1);
      float sum = 0.0f;
      for (int y = std::max(y0, 0); y <= y1; ++y) {
        const float* row = response.ptr<float>(y);
        for (int x = std::max(x0, 0); x <= x1; ++x) {
          const float d2 = (y - cy) * (y - cy) + (x - cx) * (x - cx);
          sum += select(row[x]) * std::exp(-d2 / denominator);
        }
      }
      *out++ = sum;
    }
  }
}

cv::Mat AsFloatImage(const OcrMatrix& image) {
  cv::Mat bytes(image.rows, image.cols, CV_8UC1, const_cast<std::uint8_t*>(image.data.data()));
  cv::Mat floats;
  bytes.convertTo(floats, CV_32F);
  return floats;
}

constexpr int kOrientations = 4;

}  // namespace

std::unique_ptr<CGaborMagFeatureExtractorImp> CGaborMagFeatureExtractorImp::Create(std::string_view name) {
  GaborParameters parameters;
  if (!ParseGaborParameters(name, parameters)) return nullptr;
  return std::unique_ptr<CGaborMagFeatureExtractorImp>(new CGaborMagFeatureExtractorImp(parameters));
}

std::unique_ptr<CGaborBFeatureExtractorImp> CGaborBFeatureExtractorImp::Create(std::string_view name) {
  GaborParameters parameters;
  if (!ParseGaborParameters(name, parameters)) return nullptr;
  if (parameters.Wavelengths().size() > static_cast<std::size_t>(kMaxWavelengths)) return nullptr;
  return std::unique_ptr<CGaborBFeatureExtractorImp>(new CGaborBFeatureExtractorImp(parameters));
}

OcrMatrixPtr CGaborMagFeatureExtractorImp::Extract(const OcrMatrix& image, int) {
  if (image.type != kOcrUInt8 || !image.HasElements() || image.rows == 0 || image.cols == 0) return nullptr;
  const std::vector<int> wavelengths = parameters_.Wavelengths();
  const int blocks = rowBlocks_ * columnBlocks_;
  OcrMatrixPtr features = CreateOcrMatrix(kOcrFloat, 1, kOrientations * static_cast<int>(wavelengths.size()) * blocks);
  if (!features) return nullptr;
  const cv::Mat floats = AsFloatImage(image);
  // Pictures of fewer than 8 rows have blocks of one row: a pooling width of 0 would divide by 0.
  const float blockRows = static_cast<float>(std::max(image.rows / rowBlocks_, 1));
  const float sigma = std::sqrt(2.0f) * blockRows / std::numbers::pi_v<float>;
  float* out = features->As<float>();
  for (int i = 0; i < kOrientations; ++i) {
    const float theta = i * std::numbers::pi_v<float> / 4.0f;
    for (int lambda : wavelengths) {
      cv::Mat real, imaginary, magnitude;
      Convolve(floats, MakeKernel(lambda, theta, true), real, imaginary);
      cv::magnitude(real, imaginary, magnitude);
      PoolBlocks(magnitude, rowBlocks_, columnBlocks_, sigma, [](float v) { return v; }, out);
      out += blocks;
    }
  }
  return features;
}

OcrMatrixPtr CGaborBFeatureExtractorImp::Extract(const OcrMatrix& image, int) {
  if (image.type != kOcrUInt8 || !image.HasElements() || image.rows == 0 || image.cols == 0) return nullptr;
  const std::vector<int> wavelengths = parameters_.Wavelengths();
  const int blocks = rowBlocks_ * columnBlocks_;
  OcrMatrixPtr features =
      CreateOcrMatrix(kOcrFloat, 1, kOrientations * static_cast<int>(wavelengths.size()) * 2 * blocks);
  if (!features) return nullptr;
  const cv::Mat floats = AsFloatImage(image);
  const float blockRows = static_cast<float>(std::max(image.rows / rowBlocks_, 1));
  const float sigma = 0.375f * blockRows;
  float* out = features->As<float>();
  for (int i = 0; i < kOrientations; ++i) {
    const float theta = i * std::numbers::pi_v<float> / 4.0f;
    for (int lambda : wavelengths) {
      cv::Mat real, imaginary;
      Convolve(floats, MakeKernel(lambda, theta, false), real, imaginary);
      PoolBlocks(real, rowBlocks_, columnBlocks_, sigma, [](float v) { return v > 0.0f ? v : 0.0f; }, out);
      out += blocks;
      PoolBlocks(real, rowBlocks_, columnBlocks_, sigma, [](float v) { return v < 0.0f ? -v : 0.0f; }, out);
      out += blocks;
    }
  }
  return features;
}

}  // namespace orvane::ocr
