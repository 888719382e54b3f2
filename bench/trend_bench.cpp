// CPU time of converting one full short-trend record (400 samples) to CSV.

#include <benchmark/benchmark.h>

#include <string>

#include "image/bytes.hpp"
#include "sim/trend_record.hpp"
#include "trend/trend.hpp"

namespace {

void BM_TrendCsvConvert(benchmark::State& state) {
  krt::Bytes record = krt::sim::SyntheticTrendRecord(3, 7);
  // A full ring that wraps: 400 samples ending at index 57.
  krt::SetBeU16(record, krt::trend::layout::kSampleCount, 400);
  krt::SetBeU16(record, krt::trend::layout::kLatestIndex, 57);
  const data::TrendCsvConverter converter;
  std::size_t bytes = 0;
  for (auto _ : state) {
    std::string text;
    if (converter.Convert(record, text, 3) != 0) state.SkipWithError("record refused");
    bytes = text.size();
    benchmark::DoNotOptimize(text.data());
  }
  state.counters["csv_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_TrendCsvConvert)->Name("TrendCsvConverter/Convert/400");

}  // namespace

BENCHMARK_MAIN();
