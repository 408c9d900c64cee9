// orvane-ocr-template: trains the character template "OCR_RLDA_LN_Gra.tpl" from Debian's CJK
// fonts and writes it whole.
//   orvane-ocr-template --output PATH [--threads N] [--classes N]
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "ocr/default_build.h"
#include "ocr/engine_features.h"

using namespace orvane::ocrtools;

namespace {

int Usage() {
  std::fprintf(stderr, "usage: orvane-ocr-template --output PATH [--threads N] [--classes N]\n");
  return 2;
}

double Fraction(const std::vector<double>& values, bool below, double bound) {
  if (values.empty()) return 0;
  std::size_t n = 0;
  for (double v : values) n += below ? v < bound : v > bound;
  return static_cast<double>(n) / values.size();
}

}  // namespace

int main(int argc, char** argv) {
  std::filesystem::path output;
  BuildOptions options = DefaultBuildOptions();
  options.threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return Usage();
    const std::string value = argv[++i];
    try {
      if (arg == "--output")
        output = value;
      else if (arg == "--threads")
        options.threads = std::stoi(value);
      else if (arg == "--classes")
        options.classes.resize(std::min<std::size_t>(options.classes.size(), std::stoul(value)));
      else
        return Usage();
    } catch (const std::exception&) {
      return Usage();
    }
  }
  if (output.empty()) return Usage();

  const auto start = std::chrono::steady_clock::now();
  auto seconds = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
  options.progress = [&](const std::string& line) { std::printf("[%7.1f s] %s\n", seconds(), line.c_str()); std::fflush(stdout); };
  try {
    const BuildResult result = BuildTemplate(options, EngineFeatures());
    if (!WriteTemplate(output, result.content)) {
      std::fprintf(stderr, "orvane-ocr-template: cannot write %s\n", output.string().c_str());
      return 1;
    }
    for (const std::string& skipped : result.skipped) std::printf("no training font draws %s\n", skipped.c_str());
    const HeldOutReport& h = result.heldOut;
    std::printf("classes %zu, transform %d x %d, %d axes, delta %.6g\n", result.content.labels.size(),
                result.content.transform.rows, result.content.transform.cols, options.principalAxes,
                result.content.model.minorEigenvalue);
    std::printf("held-out top-1 %.2f %% (%d of %d), distorted %.2f %% (%d of %d)\n", 100.0 * h.Accuracy(), h.correct,
                h.samples, h.distortedSamples ? 100.0 * h.distortedCorrect / h.distortedSamples : 0.0,
                h.distortedCorrect, h.distortedSamples);
    std::printf("calibration scale %.6g offset %.6g: correct under %.2f %.1f %% (under %.2f %.1f %%), "
                "wrong over %.2f %.1f %% (%zu wrong)\n",
                result.content.calibration.scale, result.content.calibration.offset, kConfidentDistance,
                100.0 * Fraction(h.correctDistances, true, kConfidentDistance), kBlankDistance,
                100.0 * Fraction(h.correctDistances, true, kBlankDistance), kBlankDistance,
                100.0 * Fraction(h.wrongDistances, false, kBlankDistance), h.wrongDistances.size());
    std::printf("wrote %s (%ju bytes) in %.1f s\n", output.string().c_str(),
                static_cast<std::uintmax_t>(std::filesystem::file_size(output)), seconds());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "orvane-ocr-template: %s\n", error.what());
    return 1;
  }
  return 0;
}
