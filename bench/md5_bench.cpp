#include <benchmark/benchmark.h>

#include <string>

#include "app/helpers/string_and_file_pro.h"

namespace {

void Md5Of4MiB(benchmark::State& state) {
  std::string text(std::size_t{4} << 20, '\0');
  for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>(1 + i % 255);  // no terminator inside
  char digest[33];
  for (auto _ : state) {
    benchmark::DoNotOptimize(CStringAndFilePro::GetMD5FromString(text.c_str(), digest));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(Md5Of4MiB);

}  // namespace
