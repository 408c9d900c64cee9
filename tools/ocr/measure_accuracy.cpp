// orvane-ocr-accuracy: reads every class of the template in the font kept out of training, at
// sizes not trained on, through the engine, and prints the top-1 accuracy.
//   orvane-ocr-accuracy [--template PATH] [--threads N]
// The template defaults to the one in the program folder.
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include <unistd.h>

#include "ocr/accuracy.h"
#include "ocr/default_build.h"

using namespace orvane::ocrtools;

int main(int argc, char** argv) {
  std::error_code error;
  std::filesystem::path templatePath =
      std::filesystem::read_symlink("/proc/self/exe", error).parent_path() / "OCR_RLDA_LN_Gra.tpl";
  int threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc || (arg != "--template" && arg != "--threads")) {
      std::fprintf(stderr, "usage: orvane-ocr-accuracy [--template PATH] [--threads N]\n");
      return 2;
    }
    const std::string value = argv[++i];
    if (arg == "--template")
      templatePath = value;
    else
      threads = std::max(1, std::atoi(value.c_str()));
  }
  const BuildOptions options = DefaultBuildOptions();
  try {
    const AccuracyReport report =
        MeasureAccuracy(templatePath, options.classes, options.heldOutFont, options.heldOutSizes, threads);
    std::string sizes;
    for (int size : options.heldOutSizes) {
      sizes += ' ';
      sizes += std::to_string(size);
    }
    std::printf("%s, sizes%s px: top-1 accuracy %.2f %% (%d of %d)\n", options.heldOutFont.family.c_str(),
                sizes.c_str(), 100.0 * report.Accuracy(), report.correct, report.samples);
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "orvane-ocr-accuracy: %s\n", failure.what());
    return 1;
  }
  return 0;
}
