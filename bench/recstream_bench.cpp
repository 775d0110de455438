// Walks a generated 1 GiB recording block by block through CRecStream, forward and backward,
// with the cache off, with the default entry size and with 4 MiB entries, beside a plain pread
// loop over the same file, and prints the ratios. The files live in the temporary directory
// for the run only; the page cache is warm from writing them.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "cachesettingsowner.h"
#include "container/recstream.h"
#include "recfilereader/properties.h"
#include "recfilereader/propvariant.h"

namespace {

using recfilereader::CRecStream;
using recfilereader::RecBlock;
using recfilereader::RecBlockHeader;

constexpr std::uint64_t kFileSize = 1ull << 30;
constexpr std::uint32_t kMiB = 1048576;

struct CacheConfig {
  const char* name;
  std::uint32_t entry_size;
  std::uint32_t memory_limit;
};
constexpr CacheConfig kConfigs[] = {
    {"cache_off", 2 * kMiB, 0},
    {"cache_default_entries", 2 * kMiB, 64 * kMiB},  // default entry size and aspect
    {"cache_4MiB_entries", 4 * kMiB, 64 * kMiB},
};

std::filesystem::path TempDirectory() {
  for (const char* name : {"TEMP", "TMPDIR"}) {
    if (const char* value = std::getenv(name); value != nullptr && *value != '\0') return value;
  }
  return "/tmp";
}

// A recording of data blocks with `payload` bytes each, chained as a writer lays them down,
// filling kFileSize bytes (the last block takes up what remains).
void WriteRecording(const std::filesystem::path& path, std::uint32_t payload) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) {
    std::perror("open");
    std::exit(1);
  }
  std::vector<std::uint8_t> buffer;
  buffer.reserve(8 * kMiB + payload + 64);
  std::uint64_t written = 0, sequence = 0;
  std::uint32_t previous = 0;
  while (written < kFileSize) {
    const std::uint64_t left = kFileSize - written;
    const auto length = static_cast<std::uint32_t>(left < 2ull * (32 + payload) ? left - 32 : payload);
    RecBlockHeader h;
    h.Type = recfilereader::kBlockData;
    h.Sequence = sequence;
    h.PrevSize = previous;
    h.Link = 1000 * sequence;
    h.Tag = 1;
    h.DataLength = length;
    const std::size_t at = buffer.size();
    buffer.resize(at + 32 + length, static_cast<std::uint8_t>(sequence));
    h.EncodeTo(buffer.data() + at);
    written += 32 + length;
    previous = 32 + length;
    ++sequence;
    if (buffer.size() >= 8 * kMiB || written == kFileSize) {
      if (::write(fd, buffer.data(), buffer.size()) != static_cast<ssize_t>(buffer.size())) {
        std::perror("write");
        std::exit(1);
      }
      buffer.clear();
    }
  }
  ::close(fd);
}

std::map<std::uint32_t, std::filesystem::path> g_files;  // payload size -> file

void PreadLoop(benchmark::State& state) {
  const auto payload = static_cast<std::uint32_t>(state.range(0));
  const std::size_t chunk = state.range(1) != 0 ? 32 + payload : kMiB;
  const int fd = ::open(g_files.at(payload).c_str(), O_RDONLY | O_CLOEXEC);
  std::vector<std::uint8_t> buffer(chunk);
  for (auto _ : state) {
    std::uint64_t at = 0;
    for (ssize_t n; (n = ::pread(fd, buffer.data(), chunk, static_cast<off_t>(at))) > 0;) at += n;
    benchmark::DoNotOptimize(buffer.data());
    if (at != kFileSize) state.SkipWithError("short file");
  }
  ::close(fd);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileSize));
  state.SetLabel(state.range(1) != 0 ? "block-sized reads" : "1 MiB reads");
}

void Walk(benchmark::State& state, bool forward) {
  const auto payload = static_cast<std::uint32_t>(state.range(0));
  const CacheConfig& config = kConfigs[state.range(1)];
  CacheSettingsOwner owner(config.entry_size, config.memory_limit, 200 * kMiB);
  CRecStream stream(&owner);
  const std::wstring path = g_files.at(payload).wstring();
  stream.OpenFile(path.c_str());
  std::uint64_t blocks = 0;
  RecBlock block;
  for (auto _ : state) {
    if (forward) {
      stream.SetPosition(0);
      while (stream.GetPosition() < kFileSize) {
        stream.ReadBlockForward(block);
        ++blocks;
      }
    } else {
      stream.SetPosition(kFileSize);
      do {
        stream.ReadBlockBackward(block);
        ++blocks;
      } while (block.Offset != 0);
    }
    benchmark::DoNotOptimize(block.payload.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileSize));
  state.counters["blocks/s"] = benchmark::Counter(static_cast<double>(blocks), benchmark::Counter::kIsRate);
  state.SetLabel(config.name);
}

void Forward(benchmark::State& state) { Walk(state, true); }
void Backward(benchmark::State& state) { Walk(state, false); }

constexpr std::int64_t kPayloads[] = {65536, 64};

// The 64-byte file has eleven million blocks: with the cache off (two system calls a block) and
// with block-sized preads a walk takes minutes and says nothing new, so those are left out.
void Arguments(benchmark::internal::Benchmark* b, int first, int last) {
  for (std::int64_t payload : kPayloads) {
    for (int i = payload < 1024 ? std::max(first, 1) : first; i <= last; ++i) b->Args({payload, i});
  }
  b->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
}

// PreadLoop's second argument: 0 reads 1 MiB a call, 1 reads one block's size a call.
BENCHMARK(PreadLoop)->Apply([](benchmark::internal::Benchmark* b) {
  b->Args({65536, 0})->Args({65536, 1})->Args({64, 0});
  b->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
});
BENCHMARK(Forward)->Apply([](benchmark::internal::Benchmark* b) { Arguments(b, 0, 2); });
BENCHMARK(Backward)->Apply([](benchmark::internal::Benchmark* b) { Arguments(b, 0, 2); });

// Keeps every run's figures so the ratios can be printed at the end.
class RatioReporter final : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      Figures& f = figures[run.benchmark_name()];
      f.bytes = run.counters.count("bytes_per_second") ? double(run.counters.at("bytes_per_second")) : 0;
      f.blocks = run.counters.count("blocks/s") ? double(run.counters.at("blocks/s")) : 0;
    }
  }
  struct Figures {
    double bytes = 0, blocks = 0;
  };
  std::map<std::string, Figures> figures;
};

void PrintRatios(const RatioReporter& reporter) {
  auto get = [&](const std::string& name) {
    auto it = reporter.figures.find(name + "/iterations:3/real_time");
    return it == reporter.figures.end() ? RatioReporter::Figures{} : it->second;
  };
  std::printf("\nTargets: 64 KiB forward >= 0.8 x pread; 64 B forward with the cache >= 5 million blocks/s;"
              " backward >= 0.5 x forward\n");
  for (std::int64_t payload : kPayloads) {
    const std::string p = std::to_string(payload);
    const double pread_large = get("PreadLoop/" + p + "/0").bytes;
    const double pread_blocks = get("PreadLoop/" + p + "/1").bytes;
    for (int c = 0; c < 3; ++c) {
      const std::string suffix = p + "/" + std::to_string(c);
      const auto forward = get("Forward/" + suffix);
      const auto backward = get("Backward/" + suffix);
      if (forward.bytes == 0) continue;
      std::printf("payload %5s %-22s forward %5.2f Mblocks/s = %.2f x pread(1 MiB)", p.c_str(), kConfigs[c].name,
                  forward.blocks / 1e6, forward.bytes / pread_large);
      if (pread_blocks > 0) std::printf(" = %.2f x pread(block-sized)", forward.bytes / pread_blocks);
      std::printf("; backward %5.2f Mblocks/s = %.2f x forward\n", backward.blocks / 1e6,
                  backward.bytes / forward.bytes);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const std::filesystem::path dir = TempDirectory();
  for (std::int64_t payload : kPayloads) {
    const auto path = dir / ("recstream_bench_" + std::to_string(::getpid()) + "_" + std::to_string(payload) + ".rec");
    std::fprintf(stderr, "writing %s\n", path.c_str());
    WriteRecording(path, static_cast<std::uint32_t>(payload));
    g_files[static_cast<std::uint32_t>(payload)] = path;
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintRatios(reporter);
  for (const auto& [payload, path] : g_files) std::filesystem::remove(path);
  benchmark::Shutdown();
  return 0;
}
