// Repairs and extracts a generated 1 GiB recording beside a plain pread loop over the same file,
// and prints their speeds as ratios of the loop's. The recording (data blocks of one payload
// size after a head that names its sources) is repaired from its cut end on every iteration, and
// extracted whole through the reader. The files live in the temporary directory for the run only;
// the page cache is warm from writing them, and written back before each copy, which the disk
// would otherwise throttle.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "container/recblock.h"
#include "container/recfilelayout.h"
#include "recfilereader/recfilereader.h"
#include "sources/fileconfigsaver.h"

// After the library's headers: <fcntl.h> defines LOCK_WRITE, a name the storage headers use.
#include <fcntl.h>
#include <unistd.h>

namespace {

using namespace recfilereader;

constexpr std::uint64_t kFileSize = 1ull << 30;
constexpr std::size_t kMiB = 1 << 20;
constexpr std::int64_t kPayloads[] = {65536, 1024};

struct Files {
  std::filesystem::path cut;       // head and data only, as a writer left it
  std::uint64_t data_end = 0;
  std::filesystem::path finished;  // the same, repaired
};
std::map<std::int64_t, Files> g_files;

std::filesystem::path TempDirectory() {
  for (const char* name : {"TEMP", "TMPDIR"}) {
    if (const char* value = std::getenv(name); value != nullptr && *value != '\0') return value;
  }
  return "/tmp";
}

void Append(std::vector<std::uint8_t>& out, std::uint16_t type, std::uint64_t sequence, std::uint64_t link,
            std::uint32_t tag, std::uint32_t& previous, const std::uint8_t* payload, std::uint32_t length) {
  RecBlockHeader h;
  h.Type = type;
  h.Sequence = sequence;
  h.PrevSize = previous;
  h.Link = link;
  h.Tag = tag;
  h.DataLength = length;
  const std::size_t at = out.size();
  out.resize(at + kBlockHeaderSize + length, static_cast<std::uint8_t>(sequence | 1));
  h.EncodeTo(out.data() + at);
  if (payload != nullptr) std::copy(payload, payload + length, out.data() + at + kBlockHeaderSize);
  previous = kBlockHeaderSize + length;
}

// The head (file header, 2.1 section index, configuration), then data blocks up to kFileSize.
std::uint64_t WriteRecording(const std::filesystem::path& path, std::uint32_t payload) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  std::vector<std::uint8_t> buffer;
  std::uint32_t previous = 0;
  const auto head = RecFileHeader::Encode(kRecFormatFirst);
  const auto index = EncodeSectionIndex({}, kSectionIndex21Size);
  std::vector<std::uint8_t> config;
  CFileConfigSaver().SaveFileConfig(nullptr, {}, config);
  Append(buffer, kBlockFileHeader, ~0ull, kRecEndMark, ~0u, previous, head.data(), std::uint32_t(head.size()));
  Append(buffer, kBlockSectionIndex21, ~0ull, kRecEndMark, ~0u, previous, index.data(), std::uint32_t(index.size()));
  Append(buffer, kBlockConfiguration, ~0ull, kRecEndMark, ~0u, previous, config.data(), std::uint32_t(config.size()));
  std::uint64_t written = 0;
  for (std::uint64_t sequence = 0; written + buffer.size() + kBlockHeaderSize + payload <= kFileSize; ++sequence) {
    Append(buffer, kBlockData, sequence, 1 + 1000 * sequence, 1, previous, nullptr, payload);
    if (buffer.size() >= 8 * kMiB) {
      if (::write(fd, buffer.data(), buffer.size()) != ssize_t(buffer.size())) std::exit(1);
      written += buffer.size();
      buffer.clear();
    }
  }
  if (::write(fd, buffer.data(), buffer.size()) != ssize_t(buffer.size())) std::exit(1);
  ::close(fd);
  return written + buffer.size();
}

class Reader {
 public:
  Reader() : access_(CreateRecordingReader(nullptr)) {}
  ~Reader() { Face<IObjectDestroy>(L"IObjectDestroy")->Destroy(); }
  template <class T>
  T* Face(const wchar_t* name) { return static_cast<T*>(access_->GetInterface(name)); }

 private:
  IInterfaceAccess* access_;
};

void PreadLoop(benchmark::State& state) {
  const int fd = ::open(g_files.at(state.range(0)).cut.c_str(), O_RDONLY | O_CLOEXEC);
  std::vector<std::uint8_t> buffer(kMiB);
  std::uint64_t at = 0;
  for (auto _ : state) {
    at = 0;
    for (ssize_t n; (n = ::pread(fd, buffer.data(), buffer.size(), off_t(at))) > 0;) at += std::uint64_t(n);
    benchmark::DoNotOptimize(buffer.data());
  }
  ::close(fd);
  state.SetBytesProcessed(std::int64_t(state.iterations() * at));
}

void Repair(benchmark::State& state) {
  const Files& files = g_files.at(state.range(0));
  Reader reader;
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::resize_file(files.cut, files.data_end);
    state.ResumeTiming();
    if (!reader.Face<IRecordingRepair>(L"IRecordingRepair")->RepairRecording(files.cut.wstring().c_str()))
      state.SkipWithError("repair failed");
  }
  state.SetBytesProcessed(std::int64_t(state.iterations() * files.data_end));
}

void Extract(benchmark::State& state) {
  const Files& files = g_files.at(state.range(0));
  const std::filesystem::path target = files.finished.string() + ".part";
  Reader reader;
  if (!reader.Face<IRecordingReaderEx>(L"IRecordingReaderEx")->Open(files.finished.wstring().c_str(), 1))
    state.SkipWithError("open failed");
  ::sync();  // the copy starts without dirty pages that would throttle it to the disk's pace
  for (auto _ : state) {
    if (!reader.Face<IRecordingEdit>(L"IRecordingEdit")->ExtractRecordingPart(target.wstring().c_str(), 0, ~0ull))
      state.SkipWithError("extraction failed");
    state.PauseTiming();
    std::filesystem::remove(target);
    state.ResumeTiming();
  }
  state.SetBytesProcessed(std::int64_t(state.iterations() * files.data_end));
}

// Copies `from` into the new file `to` inside the kernel, as `cp` does; the bytes copied.
std::uint64_t KernelCopyOf(const std::filesystem::path& from, const std::filesystem::path& to) {
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  off_t in_offset = 0, written = 0;
  if (in >= 0 && out >= 0) {
    while (::copy_file_range(in, &in_offset, out, &written, 1u << 30, 0) > 0) {
    }
  }
  if (out >= 0) ::close(out);
  if (in >= 0) ::close(in);
  return std::uint64_t(written);
}

// What the page cache allows a copy of the same bytes. Extraction writes its gigabyte the same
// way, so this, not the pread loop, is the bound it can reach.
void KernelCopy(benchmark::State& state) {
  const Files& files = g_files.at(state.range(0));
  const std::filesystem::path target = files.finished.string() + ".copy";
  ::sync();  // the copy starts without dirty pages that would throttle it to the disk's pace
  for (auto _ : state) {
    if (KernelCopyOf(files.finished, target) == 0) state.SkipWithError("copy_file_range failed");
    state.PauseTiming();
    std::filesystem::remove(target);
    state.ResumeTiming();
  }
  state.SetBytesProcessed(std::int64_t(state.iterations() * files.data_end));
}

void Arguments(benchmark::internal::Benchmark* b) {
  for (std::int64_t payload : kPayloads) b->Arg(payload);
  b->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
}
BENCHMARK(PreadLoop)->Apply(Arguments);
BENCHMARK(Repair)->Apply(Arguments);
// Extraction writes a second gigabyte each time, which takes long enough to measure once; the
// kernel's copy beside it, in the same conditions. The first gigabyte written after a pause costs
// several times what the next does (the virtual machine takes freed memory back and hands it out
// again at first touch), so each runs three times and the median counts, the copy first.
const auto kThreeSingleCopies = [](benchmark::internal::Benchmark* b) {
  for (std::int64_t payload : kPayloads) b->Arg(payload);
  b->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3)->UseRealTime();
};
BENCHMARK(KernelCopy)->Apply(kThreeSingleCopies);
BENCHMARK(Extract)->Apply(kThreeSingleCopies);

class RatioReporter final : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      // Keyed by function and payload: "Repair/1024".
      const std::string name = run.run_name.function_name + "/" + run.run_name.args;
      if (run.run_type == Run::RT_Iteration && run.counters.count("bytes_per_second") != 0)
        speeds[name].push_back(run.counters.at("bytes_per_second"));
    }
  }
  // The median of the repetitions.
  double Speed(const std::string& name) {
    std::vector<double>& all = speeds[name];
    if (all.empty()) return 0;
    std::sort(all.begin(), all.end());
    return all[all.size() / 2];
  }
  std::map<std::string, std::vector<double>> speeds;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const std::filesystem::path dir = TempDirectory();
  for (std::int64_t payload : kPayloads) {
    const std::string stem = "repair_bench_" + std::to_string(::getpid()) + "_" + std::to_string(payload);
    Files& files = g_files[payload];
    files.cut = dir / (stem + ".rec");
    files.finished = dir / (stem + "_finished.rec");
    std::fprintf(stderr, "writing %s\n", files.cut.c_str());
    files.data_end = WriteRecording(files.cut, std::uint32_t(payload));
    std::filesystem::copy_file(files.cut, files.finished);
    Reader reader;
    if (!reader.Face<IRecordingRepair>(L"IRecordingRepair")->RepairRecording(files.finished.wstring().c_str())) return 1;
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nTarget: repair and extraction >= 0.7 x pread (1 MiB reads) over the same recording\n");
  for (std::int64_t payload : kPayloads) {
    const auto speed = [&](const char* name) {
      return reporter.Speed(std::string(name) + "/" + std::to_string(payload));
    };
    const double pread = speed("PreadLoop");
    std::printf("payload %6lld: repair %.2f x pread, extraction %.2f x pread (pread %.0f MiB/s); "
                "extraction %.2f x the kernel's copy of the same bytes (%.0f MiB/s)\n",
                static_cast<long long>(payload), speed("Repair") / pread, speed("Extract") / pread, pread / kMiB,
                speed("Extract") / speed("KernelCopy"), speed("KernelCopy") / kMiB);
  }
  for (const auto& [payload, files] : g_files) {
    std::filesystem::remove(files.cut);
    std::filesystem::remove(files.finished);
  }
  benchmark::Shutdown();
  return 0;
}
