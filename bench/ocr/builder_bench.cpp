// The template builder's cost: one training sample (render, distort, normalise, extract) and a
// small template end to end. The full build is timed by orvane-ocr-template itself.
#include <benchmark/benchmark.h>

#include "ocr/augment.h"
#include "ocr/engine_features.h"
#include "ocr/template_builder.h"

namespace {

using namespace orvane::ocrtools;

const FontFace kZenHei{"/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc", "WenQuanYi Zen Hei"};

void BM_TrainingSample(benchmark::State& state) {
  GlyphRenderer renderer(kZenHei);
  const FeatureFunction features = EngineFeatures();
  std::vector<float> vector(features.dimension);
  SampleRandom random(1);
  for (auto _ : state) {
    const Distortion distortion = RandomDistortion(random, 40);
    const cv::Mat grey = renderer.Render(U'赢', 40, distortion.degrees, distortion.embolden);
    const cv::Mat picture = Degrade(grey, distortion, random.Next());
    benchmark::DoNotOptimize(features.extract(picture, vector.data()));
  }
}
BENCHMARK(BM_TrainingSample)->Unit(benchmark::kMicrosecond);

void BM_BuildSmallTemplate(benchmark::State& state) {
  BuildOptions options;
  options.classes = TemplateClasses();
  options.classes.resize(300);
  options.trainingFonts = {kZenHei};
  options.trainingSizes = {22, 40};
  options.heldOutFont = kZenHei;
  options.heldOutSizes = {30};
  options.ldaDimension = 96;
  options.principalAxes = 10;
  options.threads = static_cast<int>(state.range(0));
  const FeatureFunction features = EngineFeatures();
  for (auto _ : state) benchmark::DoNotOptimize(BuildTemplate(options, features));
}
BENCHMARK(BM_BuildSmallTemplate)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
