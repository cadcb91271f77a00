// What the archive check costs beside the road: the SHA-256 of a 200 MiB archive held in a memory
// stream, read through the stream's interface in blocks (as the check reads it, so that a file
// stream or a resumed download is read the same way) against the digest of the stream's memory
// in one piece (no copy).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "base/MemoryStream.h"
#include "trust/Sha256.h"

namespace {

constexpr int64_t kArchiveSize = int64_t{200} << 20;

TMemoryStream& Archive() {
  static TMemoryStream* archive = [] {
    auto* stream = new TMemoryStream;  // lives for the benchmark's process
    stream->SetSize(kArchiveSize);
    uint64_t x = 0x9E3779B97F4A7C15ull;
    for (int64_t i = 0; i < kArchiveSize; ++i) {
      x ^= x << 13;
      x ^= x >> 7;
      x ^= x << 17;
      stream->Memory()[i] = static_cast<uint8_t>(x);
    }
    return stream;
  }();
  return *archive;
}

void ThroughTheStream(benchmark::State& state) {
  TMemoryStream& archive = Archive();
  for (auto _ : state)
    benchmark::DoNotOptimize(Sha256Of(archive));
  state.SetBytesProcessed(state.iterations() * kArchiveSize);
}
BENCHMARK(ThroughTheStream)->Unit(benchmark::kMillisecond)->UseRealTime();

void FromTheMemory(benchmark::State& state) {
  TMemoryStream& archive = Archive();
  for (auto _ : state)
    benchmark::DoNotOptimize(Sha256Of(archive.Memory(), static_cast<size_t>(kArchiveSize)));
  state.SetBytesProcessed(state.iterations() * kArchiveSize);
}
BENCHMARK(FromTheMemory)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
