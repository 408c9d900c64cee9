#include "ocr/accuracy.h"

#include <memory>
#include <stdexcept>

#include "ocr/augment.h"
#include "ocr/ocr_handle.h"
#include "ocr/parallel.h"

namespace orvane::ocrtools {

AccuracyReport MeasureAccuracy(const std::filesystem::path& templatePath, const std::vector<TemplateClass>& classes,
                               const FontFace& font, const std::vector<int>& sizes, int threads) {
  threads = std::max(1, threads);
  std::vector<std::unique_ptr<ocr::COCRHandle>> engines(threads);
  std::vector<std::unique_ptr<GlyphRenderer>> renderers(threads);
  for (int t = 0; t < threads; ++t) {
    engines[t] = std::make_unique<ocr::COCRHandle>();
    if (!engines[t]->Initialize(templatePath)) throw std::runtime_error("cannot load " + templatePath.string());
    renderers[t] = std::make_unique<GlyphRenderer>(font);
  }
  struct ClassResult {
    int samples = 0, correct = 0;
    std::vector<double> distances;
  };
  std::vector<ClassResult> results(classes.size());
  ParallelForWorkers(static_cast<int>(classes.size()), threads, [&](int c, int worker) {
    GlyphRenderer& renderer = *renderers[worker];
    if (!renderer.HasGlyph(classes[c].codePoint)) return;
    for (int size : sizes) {
      const cv::Mat grey = renderer.Render(classes[c].codePoint, size);
      if (grey.empty()) continue;
      const cv::Mat picture = Degrade(grey, Distortion{}, 0);
      char label[3] = {};
      double distance = 0;
      ++results[c].samples;
      if (!engines[worker]->Recognize(picture.ptr(), picture.cols, picture.rows, label, 1, &distance)) continue;
      results[c].correct += std::string(label, 2) == classes[c].gbk;
      results[c].distances.push_back(distance);
    }
  });
  for (auto& engine : engines) {
    engine->Release();
    engine->Destroy();
  }
  AccuracyReport report;
  for (const ClassResult& r : results) {
    report.samples += r.samples;
    report.correct += r.correct;
    report.distances.insert(report.distances.end(), r.distances.begin(), r.distances.end());
  }
  return report;
}

}  // namespace orvane::ocrtools
