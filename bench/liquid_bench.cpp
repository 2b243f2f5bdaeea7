// The peer: liquid-dsp's fskmod on the same M, N and symbols (single precision, table-based
// sine). Its phase handling does not depend on continuity or phase size, so it runs per N only.
#include <benchmark/benchmark.h>

#include <complex>
#include <cstdint>
#include <vector>

// liquid.h picks std::complex for its complex types when <complex> comes first.
#include <liquid/liquid.h>

#include "bench/bench_common.h"

namespace quenvarith::bench {
namespace {

void liquidFskmod(benchmark::State& state) {
  const auto n = static_cast<unsigned>(state.range(0));
  constexpr unsigned kBitsPerSymbol = 2;  // M = 4
  fskmod modulator = fskmod_create(kBitsPerSymbol, n, 0.25F);
  const std::vector<int32_t> symbols = frameSymbols();
  std::vector<std::complex<float>, host::CacheLineAllocator<std::complex<float>>> output(
      static_cast<std::size_t>(kSymbolsPerFrame) * n);
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the benchmark loop
    std::complex<float>* out = output.data();
    for (const int32_t symbol : symbols) {
      fskmod_modulate(modulator, static_cast<unsigned>(symbol), out);
      out += n;
    }
    benchmark::DoNotOptimize(output.data());
    benchmark::ClobberMemory();
  }
  fskmod_destroy(modulator);
  countSamples(state, int64_t{kSymbolsPerFrame} * n);
}

BENCHMARK(liquidFskmod)->ArgNames({kSamplesArg})->Arg(8)->Arg(64);

}  // namespace
}  // namespace quenvarith::bench
