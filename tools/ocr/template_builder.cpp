#include "ocr/template_builder.h"

#include <memory>
#include <stdexcept>

#include "ocr/augment.h"
#include "ocr/parallel.h"
#include "platform/codepage.h"

namespace orvane::ocrtools {
namespace {

std::uint64_t SampleSeed(std::uint64_t seed, std::size_t c, std::size_t font, std::size_t size, int variant) {
  SampleRandom mix(seed ^ (c * 0x100000001B3ULL) ^ (font << 40) ^ (size << 52) ^ (static_cast<std::uint64_t>(variant) << 20));
  mix.Next();
  return mix.Next();
}

// One renderer per font and thread: FreeType faces are not to be shared between threads.
class RendererPool {
 public:
  RendererPool(const std::vector<FontFace>& fonts, int threads) : fonts_(fonts), renderers_(threads) {
    for (auto& perThread : renderers_) perThread.resize(fonts.size());
  }
  GlyphRenderer& Get(int worker, std::size_t font) {
    auto& renderer = renderers_[worker][font];
    if (!renderer) renderer = std::make_unique<GlyphRenderer>(fonts_[font]);
    return *renderer;
  }

 private:
  std::vector<FontFace> fonts_;
  std::vector<std::vector<std::unique_ptr<GlyphRenderer>>> renderers_;
};

void Report(const BuildOptions& options, const std::string& line) {
  if (options.progress) options.progress(line);
}

cv::Mat Project(const cv::Mat& transform, const std::vector<float>& features) {
  cv::Mat column;
  cv::Mat(features, false).convertTo(column, CV_64F);
  return transform * column;  // k x 1
}

std::string Utf8(char32_t codePoint) {
  auto encoded = platform::EncodeText(std::u32string(1, codePoint), platform::kUtf8Charset);
  return encoded ? encoded->bytes : std::string("?");
}

}  // namespace

std::vector<char32_t> DrawnForms(char32_t codePoint) {
  constexpr char32_t kFullWidthFirst = 0xFF01;
  constexpr char32_t kFullWidthLast = 0xFF5E;
  constexpr char32_t kToHalfWidth = 0xFEE0;
  if (codePoint >= kFullWidthFirst && codePoint <= kFullWidthLast) return {codePoint, codePoint - kToHalfWidth};
  return {codePoint};
}

cv::Mat DistortedSample(GlyphRenderer& renderer, char32_t codePoint, int size, SampleRandom& random, bool onAPage) {
  const Distortion distortion = RandomDistortion(random, size);
  const cv::Mat grey = renderer.Render(codePoint, size, distortion.degrees, distortion.embolden, distortion.widthScale,
                                      distortion.slant);
  if (grey.empty()) return {};
  if (!onAPage) return Degrade(grey, distortion, random.Next());
  const PageLook look = RandomPageLook(random, size);
  return PageCandidate(grey, look, random.Next());
}

std::vector<cv::Mat> HeldOutPictures(GlyphRenderer& renderer, char32_t codePoint, int size, std::uint64_t seed) {
  const cv::Mat grey = renderer.Render(codePoint, size);
  if (grey.empty()) return {};
  std::vector<cv::Mat> pictures{Degrade(grey, Distortion{}, 0)};
  for (auto turn : {cv::ROTATE_90_COUNTERCLOCKWISE, cv::ROTATE_180, cv::ROTATE_90_CLOCKWISE}) {
    cv::Mat turned;
    cv::rotate(pictures.front(), turned, turn);
    pictures.push_back(turned);
  }
  SampleRandom random(seed);
  const cv::Mat distorted = DistortedSample(renderer, codePoint, size, random, true);
  // Thinning can take all ink from a small character: then its clean picture stands in.
  pictures.push_back(!distorted.empty() && cv::countNonZero(distorted) ? distorted : pictures.front());
  return pictures;
}

BuildResult BuildTemplate(const BuildOptions& options, const FeatureFunction& features) {
  const int threads = std::max(1, options.threads);
  const int d = features.dimension;
  if (d < 1 || options.trainingFonts.empty() || options.trainingSizes.empty())
    throw std::runtime_error("nothing to train on");

  // Which classes some training font can draw.
  RendererPool training(options.trainingFonts, threads);
  BuildResult result;
  std::vector<TemplateClass> classes;
  for (const TemplateClass& cls : options.classes) {
    bool drawn = false;
    for (std::size_t f = 0; f < options.trainingFonts.size() && !drawn; ++f)
      drawn = training.Get(0, f).HasGlyph(cls.codePoint);
    if (drawn)
      classes.push_back(cls);
    else
      result.skipped.push_back(Utf8(cls.codePoint));
  }
  const int classCount = static_cast<int>(classes.size());
  if (classCount < 2) throw std::runtime_error("fewer than two classes to train");

  Report(options, "rendering and extracting " + std::to_string(classCount) + " classes");
  std::vector<std::vector<float>> perClass(classCount);
  ParallelForWorkers(classCount, threads, [&](int c, int worker) {
    std::vector<float> vector(d);
    for (std::size_t f = 0; f < options.trainingFonts.size(); ++f) {
      GlyphRenderer& renderer = training.Get(worker, f);
      for (const char32_t form : DrawnForms(classes[c].codePoint)) {
        if (!renderer.HasGlyph(form)) continue;
        const int formIndex = form == classes[c].codePoint ? 0 : 1;
        for (std::size_t s = 0; s < options.trainingSizes.size(); ++s) {
          const int size = options.trainingSizes[s];
          for (int variant = 0; variant <= options.distortedPerSize; ++variant) {
            const std::uint64_t seed = SampleSeed(options.seed, c, f, s, variant + 16 * formIndex);
            SampleRandom random(seed);
            cv::Mat picture;
            if (variant == 0) {
              const cv::Mat grey = renderer.Render(form, size);
              if (!grey.empty()) picture = Degrade(grey, Distortion{}, 0);
            } else {
              // The first distorted sample is thresholded or grey as the orientation detector and
              // black-and-white input see characters; the others as page recognition sees them.
              picture = DistortedSample(renderer, form, size, random, variant > 1);
            }
            if (picture.empty() || cv::countNonZero(picture) == 0 || !features.extract(picture, vector.data()))
              continue;
            perClass[c].insert(perClass[c].end(), vector.begin(), vector.end());
          }
        }
      }
    }
  });

  LabelledSamples samples;
  samples.classCount = classCount;
  std::size_t total = 0;
  for (const auto& v : perClass) total += v.size() / d;
  samples.features.create(static_cast<int>(total), d, CV_32F);
  std::size_t row = 0;
  for (int c = 0; c < classCount; ++c) {
    if (perClass[c].empty()) throw std::runtime_error("no training picture of " + Utf8(classes[c].codePoint));
    const std::size_t n = perClass[c].size() / d;
    std::copy(perClass[c].begin(), perClass[c].end(), samples.features.ptr<float>(static_cast<int>(row)));
    samples.labels.insert(samples.labels.end(), n, c);
    row += n;
    std::vector<float>().swap(perClass[c]);
  }

  Report(options, "discriminant transform from " + std::to_string(total) + " samples");
  TemplateContent& content = result.content;
  content.transform = TrainLda(samples, options.ldaDimension, options.ldaRegularisation, threads);

  Report(options, "class models");
  LabelledSamples projected;
  projected.classCount = classCount;
  projected.labels = samples.labels;
  projected.features.create(samples.features.rows, options.ldaDimension, CV_64F);
  {
    constexpr int kChunk = 1024;
    const cv::Mat transformT = content.transform.t();
    ParallelFor((samples.features.rows + kChunk - 1) / kChunk, threads, [&](int chunk) {
      const cv::Range rows(chunk * kChunk, std::min(samples.features.rows, (chunk + 1) * kChunk));
      cv::Mat x;
      samples.features.rowRange(rows).convertTo(x, CV_64F);
      cv::Mat y = x * transformT;
      y.copyTo(projected.features.rowRange(rows));
    });
  }
  samples = {};
  content.model = TrainMqdf(projected, options.principalAxes, options.covarianceShrink, options.minorScale, threads);
  for (const TemplateClass& cls : classes) content.labels.push_back(cls.gbk);

  Report(options, "held-out readings");
  RendererPool heldOut({options.heldOutFont}, threads);
  struct ClassReadings {
    int samples = 0, correct = 0, distortedSamples = 0, distortedCorrect = 0;
    std::vector<double> correctDistances, wrongDistances;
  };
  std::vector<ClassReadings> readings(classCount);
  ParallelForWorkers(classCount, threads, [&](int c, int worker) {
    GlyphRenderer& renderer = heldOut.Get(worker, 0);
    if (!renderer.HasGlyph(classes[c].codePoint)) return;
    std::vector<float> vector(d);
    for (std::size_t s = 0; s < options.heldOutSizes.size(); ++s) {
      const std::vector<cv::Mat> pictures = HeldOutPictures(renderer, classes[c].codePoint, options.heldOutSizes[s],
                                                            SampleSeed(~options.seed, c, 0, s, 0));
      for (std::size_t i = 0; i < pictures.size(); ++i) {
        if (!features.extract(pictures[i], vector.data())) continue;
        const cv::Mat y = Project(content.transform, vector);
        const Reading reading = Classify(content.model, y.ptr<double>());
        const bool upright = i == kCleanUpright || i == kDistortedUpright;
        ClassReadings& r = readings[c];
        if (i == kCleanUpright) {
          ++r.samples;
          r.correct += reading.label == c;
        } else if (i == kDistortedUpright) {
          ++r.distortedSamples;
          r.distortedCorrect += reading.label == c;
        }
        if (reading.label == c) {
          if (upright) r.correctDistances.push_back(reading.distance);
        } else {
          readings[c].wrongDistances.push_back(reading.distance);
        }
      }
    }
  });
  std::vector<double> correct, wrong;
  for (const ClassReadings& r : readings) {
    result.heldOut.samples += r.samples;
    result.heldOut.correct += r.correct;
    result.heldOut.distortedSamples += r.distortedSamples;
    result.heldOut.distortedCorrect += r.distortedCorrect;
    correct.insert(correct.end(), r.correctDistances.begin(), r.correctDistances.end());
    wrong.insert(wrong.end(), r.wrongDistances.begin(), r.wrongDistances.end());
  }
  if (correct.empty()) throw std::runtime_error("no held-out picture was read correctly");
  content.calibration = ChooseCalibration(correct, wrong, SmallestLogDeterminant(content.model),
                                          kConfidentDistance, kBlankDistance);
  for (double v : correct) result.heldOut.correctDistances.push_back(content.calibration.scale * v + content.calibration.offset);
  for (double v : wrong) result.heldOut.wrongDistances.push_back(content.calibration.scale * v + content.calibration.offset);
  return result;
}

}  // namespace orvane::ocrtools
