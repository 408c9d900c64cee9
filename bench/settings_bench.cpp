// Start-up reads and rewrites Sys.ini; every capture names a file in a folder that may already
// hold thousands of pictures.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/sys_param.h"

namespace {
namespace fs = std::filesystem;

fs::path MakeFolder() {
  std::string pattern = (fs::temp_directory_path() / "orvane-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  return pattern;
}

void BM_LoadAndSaveSettings(benchmark::State& state) {
  const fs::path folder = MakeFolder();
  orvane::CSysParam first;
  first.storageFolder = folder;
  first.SetIniPath(folder / "Sys.ini");
  first.Save();
  for (auto _ : state) {
    orvane::CSysParam settings;
    settings.SetIniPath(folder / "Sys.ini");
    benchmark::DoNotOptimize(settings.Load());
  }
  fs::remove_all(folder);
}
BENCHMARK(BM_LoadAndSaveSettings)->Unit(benchmark::kMicrosecond);

void BM_BuildFileNameInFullFolder(benchmark::State& state) {
  const fs::path folder = MakeFolder();
  for (int i = 0; i < state.range(0); ++i) std::ofstream(folder / ("IMG" + std::to_string(100000 + i) + ".jpg"));
  orvane::CSysParam settings;
  settings.currentStorageFolder = folder;
  settings.namingMode = 0;
  settings.runningIndex = 5;
  for (auto _ : state) benchmark::DoNotOptimize(settings.BuildFileName());
  fs::remove_all(folder);
}
BENCHMARK(BM_BuildFileNameInFullFolder)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace
