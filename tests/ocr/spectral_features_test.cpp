#include <gtest/gtest.h>

#include <cmath>
#include <complex>

#include "ocr/feature_extractor.h"
#include "ocr/fourier.h"
#include "ocr_test_images.h"

namespace orvane::ocr {
namespace {

using testing::ByteImage;
using testing::FillRect;
using testing::Pixel;

TEST(GaborFeatures, NamesGiveTheirWavelengthCountOrNoExtractor) {
  struct Case { const char* name; int length; };  // 0: no extractor
  const Case cases[] = {
      {"GAB", 768},        {"gab:4:2:8", 768}, {"GABX", 768},     {"GAB:4:4:12", 768}, {"GAB:3:1:8", 1536},
      {"GAB:4:0:8", 0},    {"GAB:4:-2:8", 0},  {"GAB:0:2:8", 0},  {"GAB:8:2:4", 0},    {"GAB:4", 0},
      {"GBF", 1536},       {"GBF:2:2:6", 1536}, {"GBF:4:2:4", 512}, {"GBF:4:1:8", 0},  {"GBF:4:0:8", 0},
      // Bounded by what a 64-pixel character can use: no wavelength beyond half its side. A
      // fuzzer's names took 40 s a page, never ended, ate memory, overflowed or aborted.
      {"GAB:4:2:32", 3840}, {"GAB:4:2:33", 0}, {"GAB:4:2:100", 0}, {"GAB:1:1:1000", 0},
      {"GAB:1:1:2147483647", 0}, {"GAB:4:9999999:9999999", 0}, {"GAB:4:2:99999999999", 0},
      {"GBF:2000000:1:2000000", 0},
  };
  OcrMatrixPtr image = ByteImage(64, 64);
  FillRect(*image, 20, 10, 8, 40, 255);
  for (const Case& c : cases) {
    auto extractor = CreateFeatureExtractor(c.name);
    if (c.length == 0) {
      EXPECT_EQ(extractor, nullptr) << c.name;
      continue;
    }
    ASSERT_NE(extractor, nullptr) << c.name;
    OcrMatrixPtr f = extractor->Extract(*image, 0);
    ASSERT_NE(f, nullptr) << c.name;
    EXPECT_EQ(f->type, kOcrFloat) << c.name;
    EXPECT_EQ(f->rows, 1) << c.name;
    EXPECT_EQ(f->cols, c.length) << c.name;
  }
}

// Direct centred convolution and pooling, the slow way, for one orientation and wavelength.
std::vector<double> NaiveGabor(const OcrMatrix& image, double theta, int lambda, bool magnitude) {
  const int n = 2 * lambda + 1, half = n / 2, H = image.rows, W = image.cols;
  const double sigma = lambda / 2.0;
  std::vector<std::complex<double>> kernel(n * n);
  std::complex<double> sum = 0;
  for (int y = -half; y <= half; ++y)
    for (int x = -half; x <= half; ++x) {
      const double xr = x * std::cos(theta) + y * std::sin(theta), yr = -x * std::sin(theta) + y * std::cos(theta);
      const double e = std::exp(-0.5 * (xr * xr + yr * yr) / (sigma * sigma)), phase = 2 * M_PI * xr / lambda;
      kernel[(y + half) * n + x + half] = {e * std::cos(phase), magnitude ? e * std::sin(phase) : 0.0};
      sum += e * std::cos(phase);
    }
  if (magnitude)
    for (auto& k : kernel) k -= sum.real() / (n * n);
  std::vector<double> response(H * W);
  for (int r = 0; r < H; ++r)
    for (int c = 0; c < W; ++c) {
      std::complex<double> acc = 0;
      for (int y = -half; y <= half; ++y)
        for (int x = -half; x <= half; ++x) {
          const int rr = r - y, cc = c - x;
          if (rr >= 0 && rr < H && cc >= 0 && cc < W) acc += kernel[(y + half) * n + x + half] * double(Pixel(const_cast<OcrMatrix&>(image), rr, cc));
        }
      response[r * W + c] = magnitude ? std::abs(acc) : acc.real();
    }
  const int bh = H / 8, bw = W / 8;
  const double sp = magnitude ? std::sqrt(2.0) * bh / M_PI : 0.375 * bh;
  std::vector<double> pooled;
  for (int pass = 0; pass < (magnitude ? 1 : 2); ++pass)
    for (int by = 0; by < 8; ++by)
      for (int bx = 0; bx < 8; ++bx) {
        const double cy = (by * bh + by * bh + bh - 1) / 2.0, cx = (bx * bw + bx * bw + bw - 1) / 2.0;
        double s = 0;
        for (int y = std::max(by * bh - (by > 0 ? 2 : 0), 0); y <= std::min(by * bh + bh - 1 + (by < 7 ? 2 : 0), H - 1); ++y)
          for (int x = std::max(bx * bw - (bx > 0 ? 2 : 0), 0); x <= std::min(bx * bw + bw - 1 + (bx < 7 ? 2 : 0), W - 1); ++x) {
            double v = response[y * W + x];
            if (!magnitude) v = pass == 0 ? std::max(v, 0.0) : std::max(-v, 0.0);
            s += v * std::exp(-((y - cy) * (y - cy) + (x - cx) * (x - cx)) / (2 * sp * sp));
          }
        pooled.push_back(s);
      }
  return pooled;
}

TEST(GaborFeatures, MatchADirectConvolutionOfEachOrientation) {
  OcrMatrixPtr image = ByteImage(24, 16);
  FillRect(*image, 3, 2, 14, 3, 200);
  FillRect(*image, 10, 5, 2, 9, 120);
  Pixel(*image, 20, 12) = 255;
  for (bool magnitude : {true, false}) {
    auto extractor = CreateFeatureExtractor(magnitude ? "GAB:4:2:4" : "GBF:4:2:4");
    OcrMatrixPtr f = extractor->Extract(*image, 0);
    ASSERT_NE(f, nullptr);
    const int perOrientation = magnitude ? 64 : 128;
    ASSERT_EQ(f->cols, 4 * perOrientation);
    for (int i = 0; i < 4; ++i) {
      const std::vector<double> expected = NaiveGabor(*image, i * M_PI / 4, 4, magnitude);
      for (int j = 0; j < perOrientation; ++j) {
        const double got = f->As<float>()[i * perOrientation + j];
        ASSERT_NEAR(got, expected[j], 1e-3 * std::max(1.0, std::fabs(expected[j])))
            << (magnitude ? "GAB" : "GBF") << " orientation " << i << " value " << j;
      }
    }
  }
}

TEST(GaborFeatures, FlatInkHasNoMagnitudeAwayFromItsEdges) {
  OcrMatrixPtr image = ByteImage(64, 64, 255);
  OcrMatrixPtr f = CreateFeatureExtractor("GAB")->Extract(*image, 0);
  ASSERT_NE(f, nullptr);
  // Block (3, 3) lies more than a kernel away from every edge of the picture.
  for (int i = 0; i < 12; ++i) EXPECT_NEAR(f->As<float>()[i * 64 + 3 * 8 + 3], 0.0f, 1.0f) << i;
}

TEST(GaborFeatures, VerticalStripesAnswerTheFirstOrientation) {
  OcrMatrixPtr image = ByteImage(64, 64);
  for (int c = 0; c < 64; ++c)
    if (c % 4 < 2) FillRect(*image, 0, c, 64, 1, 255);
  OcrMatrixPtr f = CreateFeatureExtractor("GAB")->Extract(*image, 0);
  ASSERT_NE(f, nullptr);
  auto energy = [&](int orientation) {  // wavelength 4 of that orientation
    double s = 0;
    for (int j = 0; j < 64; ++j) s += f->As<float>()[orientation * 192 + j];
    return s;
  };
  EXPECT_GT(energy(0), 5 * energy(2));
}

std::vector<std::complex<double>> NaiveDft(const std::vector<double>& x, std::size_t n) {
  std::vector<std::complex<double>> out(n);
  for (std::size_t k = 0; k < n; ++k)
    for (std::size_t i = 0; i < x.size(); ++i) out[k] += x[i] * std::polar(1.0, -2 * M_PI * double(k * i) / double(n));
  return out;
}

TEST(ProjectionSpectrum, MatchesTheDefinitionWithPaddingToPowersOfTwo) {
  OcrMatrixPtr image = ByteImage(3, 5);
  const std::uint8_t values[15] = {0, 10, 0, 200, 3, 50, 0, 0, 7, 9, 255, 1, 2, 0, 0};
  std::copy(std::begin(values), std::end(values), image->data.begin());
  std::vector<double> columns(5, 0), rows(3, 0);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 5; ++c) {
      columns[c] += values[r * 5 + c];
      rows[r] += values[r * 5 + c];
    }
  std::vector<std::complex<double>> expected = NaiveDft(columns, 8);
  const auto rowSpectrum = NaiveDft(rows, 4);
  expected.insert(expected.end(), rowSpectrum.begin(), rowSpectrum.end());

  OcrMatrixPtr parts = CreateFeatureExtractor("HVH")->Extract(*image, 0);
  ASSERT_NE(parts, nullptr);
  ASSERT_EQ(parts->rows, 2);
  ASSERT_EQ(parts->cols, 12);
  OcrMatrixPtr magnitudes = CreateFeatureExtractor("HVHmag")->Extract(*image, 0);
  ASSERT_NE(magnitudes, nullptr);
  ASSERT_EQ(magnitudes->rows, 1);
  ASSERT_EQ(magnitudes->cols, 12);
  for (int i = 0; i < 12; ++i) {
    EXPECT_NEAR(parts->As<float>()[i], expected[i].real(), 1e-3) << i;
    EXPECT_NEAR(parts->As<float>()[12 + i], expected[i].imag(), 1e-3) << i;
    EXPECT_NEAR(magnitudes->As<float>()[i], std::abs(expected[i]), 1e-3) << i;
  }
}

TEST(ProjectionSpectrum, NormalisedGridGivesTheDocumentedShapes) {
  OcrMatrixPtr image = ByteImage(64, 64);
  FillRect(*image, 10, 10, 30, 5, 255);
  struct Case { const char* name; int rows, cols; };
  for (Case c : {Case{"HVH", 2, 128}, Case{"hvh0", 2, 128}, Case{"HVH1", 1, 128}, Case{"HVHX0", 1, 128}}) {
    OcrMatrixPtr f = CreateFeatureExtractor(c.name)->Extract(*image, 0);
    ASSERT_NE(f, nullptr) << c.name;
    EXPECT_EQ(f->rows, c.rows) << c.name;
    EXPECT_EQ(f->cols, c.cols) << c.name;
  }
}

TEST(ProjectionSpectrum, TransformRejectsLengthsThatAreNoPowerOfTwo) {
  std::vector<CComplex> six(6, CComplex(1, 0)), none;
  EXPECT_FALSE(FastFourierTransform(six));
  EXPECT_EQ(six[0].Real(), 1.0f);
  EXPECT_FALSE(FastFourierTransform(none));
  std::vector<CComplex> one{CComplex(3, -1)};
  EXPECT_TRUE(FastFourierTransform(one));
  EXPECT_EQ(one[0].Real(), 3.0f);
}

TEST(FeatureExtractorFactory, NamesAndPrefixesInAnyCase) {
  EXPECT_NE(dynamic_cast<CGradientFeatureExtractorImp*>(CreateFeatureExtractor("gra-anything").get()), nullptr);
  EXPECT_NE(dynamic_cast<CGaborMagFeatureExtractorImp*>(CreateFeatureExtractor("Gab:4:2:8").get()), nullptr);
  EXPECT_NE(dynamic_cast<CGaborBFeatureExtractorImp*>(CreateFeatureExtractor("gbf").get()), nullptr);
  EXPECT_NE(dynamic_cast<CCICLPFFeatureExtractorImp*>(CreateFeatureExtractor("ccf").get()), nullptr);
  EXPECT_NE(dynamic_cast<CPeripheralFeatureExtractorImp*>(CreateFeatureExtractor("PPFx").get()), nullptr);
  EXPECT_NE(dynamic_cast<CStrokePosFeatureExtractorImp*>(CreateFeatureExtractor("strokepos").get()), nullptr);
  EXPECT_NE(dynamic_cast<CCrossLineFeatureExtractor*>(CreateFeatureExtractor("CROSSLINE").get()), nullptr);
  EXPECT_NE(dynamic_cast<CHVHistogramsFeatureExtractorImp*>(CreateFeatureExtractor("HVH").get()), nullptr);
  EXPECT_EQ(CreateFeatureExtractor("CrossLines"), nullptr);
  EXPECT_EQ(CreateFeatureExtractor("Non"), nullptr);
  EXPECT_EQ(CreateFeatureExtractor("GR"), nullptr);
  EXPECT_EQ(CreateFeatureExtractor("Stroke"), nullptr);
}

}  // namespace
}  // namespace orvane::ocr
