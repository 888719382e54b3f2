// CPU time of one configuration listing per model, from the default image.

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "image/config_data.hpp"

namespace {

template <typename Model>
void BM_WriteListing(benchmark::State& state) {
  const Model model;
  std::size_t bytes = 0;
  for (auto _ : state) {
    std::string out;
    model.WriteListing(out);
    bytes = out.size();
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["listing_bytes"] = static_cast<double>(bytes);
}

BENCHMARK(BM_WriteListing<data::ConfigDataRt410>)->Name("WriteListing/KRT410");
BENCHMARK(BM_WriteListing<data::ConfigDataRt411>)->Name("WriteListing/KRT411");
BENCHMARK(BM_WriteListing<data::ConfigDataRt610>)->Name("WriteListing/KRT610");
BENCHMARK(BM_WriteListing<data::ConfigDataRt611>)->Name("WriteListing/KRT611");
BENCHMARK(BM_WriteListing<data::ConfigDataRt610J>)->Name("WriteListing/RT610J");
BENCHMARK(BM_WriteListing<data::ConfigDataRt610N>)->Name("WriteListing/RT610N");
BENCHMARK(BM_WriteListing<data::ConfigDataRt610L>)->Name("WriteListing/RT610L");
BENCHMARK(BM_WriteListing<data::ConfigDataRt610M>)->Name("WriteListing/RT610M");
BENCHMARK(BM_WriteListing<data::ConfigDataRt610X>)->Name("WriteListing/RT610X");
BENCHMARK(BM_WriteListing<data::ConfigDataRt611X>)->Name("WriteListing/RT611X");

}  // namespace

BENCHMARK_MAIN();
