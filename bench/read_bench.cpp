// The read path as a host drives it: recordings written through the reader opened for writing,
// then read through CreateRecordingReader's interfaces, each figure beside a plain pread loop
// over the same file in the same run, with the ratio printed. Every figure is the median of
// several repetitions. The files live in the temporary directory for this run only.
//
//   read_bench [repetitions [section...]]   repetitions default 3; sections: large small jump
//                                           open memory slow (default all)
//
// The fake slow disk needs a file layer that delays each read, which only the block stream
// below the reader object accepts: that figure walks packages with the reader's own package
// search and copies, over a CRecStream given a delaying file system.
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "cachesettingsowner.h"
#include "container/recblock.h"
#include "container/recstream.h"
#include "data/datapackage.h"
#include "data/packagesearch.h"
#include "platform/bytes.h"
#include "platform/file.h"
#include "recfilereader/propvariant.h"
#include "recfilereader/recfilereader.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint64_t kMiB = 1ull << 20;
constexpr std::uint64_t kLargeFileSize = 4ull << 30;  // the 4 GiB recording
constexpr std::uint32_t kLargePayload = 65536;
constexpr std::uint32_t kSmallPayload = 64;
constexpr std::uint32_t kSmallPackages = 1'000'000;
// Timestamps: the writer indexes a package more than 50,000 past the last indexed one, so the
// large recording gets an entry every second package and the small one an entry per package.
constexpr std::uint64_t kLargeSpacing = 25'001;
constexpr std::uint64_t kSmallSpacing = 50'001;
constexpr std::uint32_t kCacheLimit = 64 * kMiB;
constexpr std::uint32_t kCacheEntry = 4 * kMiB;

int g_repetitions = 3;
std::vector<std::string> g_sections;  // empty: all

bool Runs(const char* section) {
  return g_sections.empty() || std::find(g_sections.begin(), g_sections.end(), section) != g_sections.end();
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// The process's time on a CPU (all its threads), which a loaded machine disturbs far less than
// the time on the wall.
double CpuSeconds() {
  timespec t{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

template <class Body>
double MedianSeconds(Body&& body) {
  std::vector<double> times;
  for (int i = 0; i < g_repetitions; ++i) {
    const auto start = Clock::now();
    body();
    times.push_back(Seconds(Clock::now() - start));
  }
  return Median(times);
}

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "read_bench: %s\n", what.c_str());
  std::exit(1);
}

std::filesystem::path TempDirectory() {
  for (const char* name : {"TEMP", "TMPDIR"}) {
    if (const char* value = std::getenv(name); value != nullptr && *value != '\0') return value;
  }
  return "/tmp";
}

std::uint64_t ResidentBytes() {
  FILE* f = std::fopen("/proc/self/statm", "r");
  unsigned long long size = 0, resident = 0;
  if (f != nullptr) {
    if (std::fscanf(f, "%llu %llu", &size, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
}

std::wstring Wide(const std::filesystem::path& p) { return p.wstring(); }

// One reader object and its interfaces, as a host holds them.
class Reader {
 public:
  Reader() : access_(CreateRecordingReader(nullptr)) {
    if (access_ == nullptr) Fail("CreateRecordingReader failed");
    reader_ = Face<IRecordingReaderEx>(L"IRecordingReaderEx");
    data_ = Face<IRecordingDataEx>(L"IRecordingDataEx");
    navigate_ = Face<IRecordingNavigate>(L"IRecordingNavigate");
    memory_ = Face<IExMemoryMgr>(L"IExMemoryMgr");
  }
  ~Reader() { Face<IObjectDestroy>(L"IObjectDestroy")->Destroy(); }
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  template <class T>
  T* Face(const wchar_t* name) {
    return static_cast<T*>(access_->GetInterface(name));
  }
  void SetUInt(const wchar_t* name, ULONG value) {
    PROPVARIANT v;
    PropVariantInit(&v);
    v.vt = VT_UI4;
    v.ulVal = value;
    if (!Face<IObjectProperties>(L"IObjectProperties")->SetProperty(name, &v)) Fail("cannot set a cache setting");
  }
  // The cache on with `limit` bytes of 4 MiB entries, or off with 0.
  void SetCache(ULONG limit) {
    SetUInt(L"CacheEntrySize", kCacheEntry);
    SetUInt(L"CacheMemoryLimit", limit);
  }
  ULONGLONG Property(const wchar_t* name) {
    PROPVARIANT v;
    PropVariantInit(&v);
    Face<IObjectProperties>(L"IObjectProperties")->GetProperty(name, &v);
    const ULONGLONG value = v.uhVal;
    PropVariantClear(&v);
    return value;
  }
  void Open(const std::filesystem::path& path, ULONG flags = kRecordingLoadSourcesAndNavigation) {
    if (!reader_->OpenEx(Wide(path).c_str(), kRecordingAccessRead, flags)) Fail("open failed: " + Error());
  }
  void Close() { reader_->Close(); }
  std::string Error() {
    const wchar_t* text = Face<IRecordingError>(L"IRecordingError")->GetErrorText();
    std::string out;
    for (; text != nullptr && *text != 0; ++text) out += static_cast<char>(*text);
    return out;
  }
  // Reads one package in `direction`, frees its copies as a host does; the payload bytes.
  std::uint64_t Read(ULONG direction) {
    DataPackageRecord record{};
    if (!data_->ReadDataPackage(direction, &record)) Fail("read failed: " + Error());
    const std::uint64_t bytes = record.DataSize + record.ExtraSize;
    memory_->Free(record.Data);
    if (record.ExtraData != nullptr) memory_->Free(record.ExtraData);
    return bytes;
  }
  // Walks every package in `direction` from the start (forward) or the end (backward); the
  // packages and payload bytes read.
  std::pair<std::uint64_t, std::uint64_t> Walk(ULONG direction) {
    const ULONGLONG end = Property(L"EndTimestamp");
    if (direction == kReadForward) {
      if (!navigate_->JumpToReferenceTimestamp(Property(L"BeginTimestamp"))) Fail("jump failed: " + Error());
      // The jump puts the cursor on the first package; a forward read hands it out.
    } else if (!navigate_->JumpToReferenceTimestamp(end)) {
      Fail("jump failed: " + Error());
    }
    std::uint64_t packages = 0, bytes = 0;
    const wchar_t* flag = direction == kReadForward ? L"EndOfFile" : L"BeginOfFile";
    for (;;) {
      bytes += Read(direction);
      ++packages;
      // The flag costs a property lookup: ask only every so often, and at the end exactly.
      if ((packages & 1023) == 0 || packages > expected_packages_ - 2) {
        if (Property(flag) != 0) break;
      }
    }
    return {packages, bytes};
  }
  void ExpectPackages(std::uint64_t count) { expected_packages_ = count; }
  IRecordingNavigate* navigate() { return navigate_; }
  IRecordingReaderEx* reader() { return reader_; }
  IRecordingDataEx* data() { return data_; }

 private:
  IInterfaceAccess* access_;
  IRecordingReaderEx* reader_;
  IRecordingDataEx* data_;
  IRecordingNavigate* navigate_;
  IExMemoryMgr* memory_;
  std::uint64_t expected_packages_ = 0;
};

// Writes `count` packages of `payload` bytes with timestamps `spacing` apart through the reader
// opened for writing.
void WriteRecording(const std::filesystem::path& path, std::uint64_t count, std::uint32_t payload,
                    std::uint64_t spacing) {
  Reader writer;
  if (!writer.reader()->OpenEx(Wide(path).c_str(), kRecordingAccessWrite, 0)) Fail("create failed: " + writer.Error());
  constexpr std::size_t kBatch = 256;
  std::vector<std::uint8_t> bytes(payload);
  std::vector<DataPackageRecord> records(kBatch);
  for (std::uint64_t i = 0; i < count;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kBatch, count - i));
    for (std::size_t k = 0; k < n; ++k, ++i) {
      DataPackageRecord& r = records[k];
      r = DataPackageRecord{};
      r.SourceHandle = 1 + static_cast<ULONG>(i % 4);
      r.Timestamp = 1000 + i * spacing;
      std::memset(bytes.data(), static_cast<int>(i), std::min<std::size_t>(payload, 16));
      r.Data = bytes.data();
      r.DataSize = payload;
    }
    if (!writer.data()->WriteDataPackages(records.data(), static_cast<ULONG>(n))) Fail("write failed: " + writer.Error());
  }
  if (!writer.reader()->Close()) Fail("finishing failed");
}

// Reads the whole file with pread in `chunk`-sized calls; seconds.
double PreadFile(const std::filesystem::path& path, std::size_t chunk, int repetitions = g_repetitions) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) Fail("open " + path.string());
  std::vector<std::uint8_t> buffer(chunk);
  std::vector<double> times;
  for (int i = 0; i < repetitions; ++i) {
    const auto start = Clock::now();
    std::uint64_t at = 0;
    for (ssize_t n; (n = ::pread(fd, buffer.data(), chunk, static_cast<off_t>(at))) > 0;) at += n;
    times.push_back(Seconds(Clock::now() - start));
  }
  const double t = Median(times);
  ::close(fd);
  return t;
}

// The navigation section of a 2.1 file: the run of navigation blocks the section index names.
std::pair<std::uint64_t, std::uint64_t> NavigationSection(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  std::uint8_t h[32 + 128];
  std::uint64_t at = 0, navigation = 0;
  for (int i = 0; i < 8 && navigation == 0; ++i) {
    if (::pread(fd, h, sizeof h, static_cast<off_t>(at)) != static_cast<ssize_t>(sizeof h)) Fail("no section index");
    if (recfilereader::LoadLe16(h + 2) == 0xCB02) navigation = recfilereader::LoadLe64(h + 32 + 8);
    at += 32 + recfilereader::LoadLe32(h + 28);
  }
  std::uint64_t end = navigation;
  for (;;) {
    if (::pread(fd, h, 32, static_cast<off_t>(end)) != 32 || recfilereader::LoadLe16(h + 2) != 0xCB0F) break;
    end += 32 + recfilereader::LoadLe32(h + 28);
  }
  ::close(fd);
  return {navigation, end - navigation};
}

// A disk that serves one read at a time, each costing a fixed latency plus its bytes at a
// fixed rate, over the real file.
class SlowFileSystem final : public recfilereader::FileSystem {
 public:
  SlowFileSystem(std::chrono::microseconds latency, double bytes_per_second)
      : latency_(latency), rate_(bytes_per_second) {}
  bool IsWritable(const std::wstring&) override { return false; }
  int Open(const std::wstring& path, recfilereader::FileAccess access,
           std::shared_ptr<recfilereader::PlatformFile>& file) override {
    std::shared_ptr<recfilereader::PlatformFile> real;
    const int error = recfilereader::PosixFileSystem().Open(path, access, real);
    if (error == 0) file = std::make_shared<SlowFile>(*this, std::move(real));
    return error;
  }
  int CreateNew(const std::wstring&, std::shared_ptr<recfilereader::PlatformFile>&) override { return EROFS; }

  // Waits as long as the disk takes for `bytes`, behind the reads already queued.
  void Serve(std::size_t bytes) {
    Clock::time_point done;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      const auto cost = std::chrono::duration_cast<Clock::duration>(
          latency_ + std::chrono::duration<double>(static_cast<double>(bytes) / rate_));
      free_at_ = std::max(free_at_, Clock::now()) + cost;
      done = free_at_;
    }
    std::this_thread::sleep_until(done);
  }

 private:
  class SlowFile final : public recfilereader::PlatformFile {
   public:
    SlowFile(SlowFileSystem& disk, std::shared_ptr<recfilereader::PlatformFile> real)
        : disk_(disk), real_(std::move(real)) {}
    recfilereader::IoResult ReadAt(std::uint64_t offset, void* destination, std::size_t count) override {
      disk_.Serve(count);
      return real_->ReadAt(offset, destination, count);
    }
    // A vectored read is one request to the disk.
    recfilereader::IoResult ReadVectorAt(std::uint64_t offset, const recfilereader::IoSpan* spans,
                                         std::size_t count) override {
      std::size_t bytes = 0;
      for (std::size_t i = 0; i < count; ++i) bytes += spans[i].size;
      disk_.Serve(bytes);
      return real_->ReadVectorAt(offset, spans, count);
    }
    recfilereader::IoResult WriteAt(std::uint64_t, const void*, std::size_t) override { return {0, EROFS}; }
    int GetSize(std::uint64_t& size) override { return real_->GetSize(size); }
    int Truncate(std::uint64_t) override { return EROFS; }

   private:
    SlowFileSystem& disk_;
    std::shared_ptr<recfilereader::PlatformFile> real_;
  };

  const std::chrono::microseconds latency_;
  const double rate_;
  std::mutex mutex_;
  Clock::time_point free_at_{};
};

// The owner of a block stream: its cache settings and a host memory manager.
class StreamOwner final : public CacheSettingsOwner, public IExMemoryMgr {
 public:
  explicit StreamOwner(std::uint32_t limit) : CacheSettingsOwner(kCacheEntry, limit, 0) {}
  void* Allocate(std::size_t size, DWORD) override { return std::malloc(size == 0 ? 1 : size); }
  void* Reallocate(void* block, std::size_t size) override { return std::realloc(block, size); }
  void Free(void* block) override { std::free(block); }
};

// Forward over the first `bytes` of the data through a block stream on `files`, as the reader
// reads: find the next data block, hand a host copy out, free it. Bytes of blocks per second.
double SlowDiskWalk(recfilereader::FileSystem& files, const std::filesystem::path& path, std::uint32_t limit,
                    std::uint64_t bytes) {
  StreamOwner owner(limit);
  recfilereader::CachingFileReaderPlatform platform;
  platform.files = &files;
  recfilereader::CRecStream stream(&owner, platform);
  stream.OpenFile(Wide(path).c_str());
  recfilereader::CDataPackage package(&owner);
  const auto [navigation, size] = NavigationSection(path);
  (void)size;
  // The data begins behind the file header and the section index: the first data block.
  std::uint64_t start = 0;
  {
    recfilereader::RecBlock block;
    do {
      stream.ReadBlockForward(block);
    } while (block.header.Type != recfilereader::kBlockData);
    start = block.Offset;
  }
  stream.SetPosition(start);
  std::uint64_t done = 0;
  const auto begin = Clock::now();
  while (done < bytes &&
         recfilereader::ReadPackageInDirection(stream, kReadForward, start, navigation, package)) {
    DataPackageRecord record{};
    package.GetDataPackage(record);
    done += package.next_position() - package.position();  // the disk's bytes, headers too
    owner.Free(record.Data);
    stream.SetPosition(package.next_position());
  }
  return static_cast<double>(done) / Seconds(Clock::now() - begin);
}

void Report(const char* what, double value, const char* unit, const char* against, double ratio, const char* target,
            bool met) {
  std::printf("%-58s %10.3f %-12s %-22s ratio %6.3f  target %-10s %s\n", what, value, unit, against, ratio, target,
              met ? "MET" : "NOT MET");
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) g_repetitions = std::max(1, std::atoi(argv[1]));
  for (int i = 2; i < argc; ++i) g_sections.emplace_back(argv[i]);
  const std::filesystem::path dir = TempDirectory() / ("read_bench_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const auto large = dir / "large.rec";
  const auto small = dir / "small.rec";
  const std::uint64_t large_packages = kLargeFileSize / (32 + 72 + kLargePayload);

  auto start = Clock::now();
  const bool need_large = Runs("large") || Runs("jump") || Runs("memory") || Runs("slow");
  const bool need_small = Runs("small") || Runs("open") || Runs("slow");
  if (need_large) {
    WriteRecording(large, large_packages, kLargePayload, kLargeSpacing);
    std::printf("wrote %s: %llu packages of %u bytes, %.1f GiB, in %.1f s\n", large.c_str(),
              static_cast<unsigned long long>(large_packages), kLargePayload,
              std::filesystem::file_size(large) / double(1ull << 30), Seconds(Clock::now() - start));
  }
  start = Clock::now();
  if (need_small) {
    WriteRecording(small, kSmallPackages, kSmallPayload, kSmallSpacing);
    std::printf("wrote %s: %u packages of %u bytes, %.0f MiB, in %.1f s\n", small.c_str(), kSmallPackages, kSmallPayload,
              std::filesystem::file_size(small) / double(kMiB), Seconds(Clock::now() - start));
  }
  std::printf("medians of %d repetitions\n\n", g_repetitions);

  // Forward and backward over both recordings.
  const double large_bytes = need_large ? static_cast<double>(std::filesystem::file_size(large)) : 0;
  const double small_bytes = need_small ? static_cast<double>(std::filesystem::file_size(small)) : 0;
  // Each repetition runs the pread loop and the walks back to back and gives its own ratios, so
  // that the load of a shared machine weighs on both sides of a ratio alike. Rates count the
  // recording's bytes (the whole file) or its packages.
  for (const bool is_large : {true, false}) {
    if (!Runs(is_large ? "large" : "small")) continue;
    const auto& path = is_large ? large : small;
    const double file_bytes = is_large ? large_bytes : small_bytes;
    const std::uint64_t packages = is_large ? large_packages : kSmallPackages;
    const char* size_name = is_large ? "64 KiB" : "64-byte";
    for (ULONG limit : {0u, kCacheLimit}) {
      Reader r;
      r.SetCache(limit);
      r.Open(path);
      r.ExpectPackages(packages);
      std::vector<double> pread_rates, forward_rates, backward_rates, forward_ratios, backward_ratios;
      std::vector<double> cpu_forward_ratios, cpu_backward_ratios, block_pread_rates;
      for (int i = 0; i < g_repetitions; ++i) {
        double cpu = CpuSeconds();
        const double pread_rate = file_bytes / PreadFile(path, kMiB, 1);
        const double pread_cpu = CpuSeconds() - cpu;
        auto t = Clock::now();
        cpu = CpuSeconds();
        if (r.Walk(kReadForward).first != packages) Fail("forward walk missed packages");
        const double forward = Seconds(Clock::now() - t);
        const double forward_cpu = CpuSeconds() - cpu;
        t = Clock::now();
        cpu = CpuSeconds();
        if (r.Walk(kReadBackward).first != packages) Fail("backward walk missed packages");
        const double backward = Seconds(Clock::now() - t);
        cpu_forward_ratios.push_back(pread_cpu / forward_cpu);
        cpu_backward_ratios.push_back(forward_cpu / (CpuSeconds() - cpu));
        if (is_large) block_pread_rates.push_back(file_bytes / PreadFile(path, kLargePayload + 32 + 72, 1));
        pread_rates.push_back(pread_rate);
        forward_rates.push_back(file_bytes / forward);
        backward_rates.push_back(file_bytes / backward);
        forward_ratios.push_back(file_bytes / forward / pread_rate);
        backward_ratios.push_back(forward / backward);
      }
      const char* mode = limit == 0 ? "cache off" : "cache on 64 MiB";
      std::printf("pread loop in 1 MiB calls over the %s recording: %.0f MB/s (median)\n", size_name,
                  Median(pread_rates) / 1e6);
      char what[96];
      if (is_large) {
        std::snprintf(what, sizeof what, "forward %s packages, %s (MB/s)", size_name, mode);
        Report(what, Median(forward_rates) / 1e6, "MB/s", "x pread 1 MiB", Median(forward_ratios),
               limit == 0 ? ">= 0.9" : "-", limit != 0 || Median(forward_ratios) >= 0.9);
      } else {
        const double rate = Median(forward_rates) / file_bytes * packages;
        std::snprintf(what, sizeof what, "forward %s packages, %s (Mpackages/s)", size_name, mode);
        Report(what, rate / 1e6, "Mpkg/s", "x pread 1 MiB", Median(forward_ratios), limit == 0 ? ">= 5 M/s" : "-",
               limit != 0 || rate >= 5e6);
      }
      std::snprintf(what, sizeof what, "backward %s packages, %s (%s)", size_name, mode,
                    is_large ? "MB/s" : "Mpackages/s");
      // The targets are the default's, the cache off. The cache's worker reads ahead of the
      // position only, so a backward walk loads its entries itself; its target is the slow disk.
      Report(what, Median(backward_rates) / (is_large ? 1e6 : file_bytes / packages * 1e6),
             is_large ? "MB/s" : "Mpkg/s", "x forward", Median(backward_ratios), limit == 0 ? ">= 0.8" : "-",
             limit != 0 || Median(backward_ratios) >= 0.8);
      std::printf("   the same on CPU time (all threads): forward x pread %.3f, backward x forward %.3f\n",
                  Median(cpu_forward_ratios), Median(cpu_backward_ratios));
      // What one read call per block costs by itself: the floor of any walk that hands each
      // package out with a single copy.
      if (is_large) {
        std::printf("   a pread loop in one-block calls reaches %.0f MB/s (x pread 1 MiB %.3f)\n",
                    Median(block_pread_rates) / 1e6, Median(block_pread_rates) / Median(pread_rates));
      }
    }
  }

  // Jumps to random timestamps on the 4 GiB recording, cache off.
  if (Runs("jump")) {
    Reader r;
    r.Open(large);
    const ULONGLONG begin = r.Property(L"BeginTimestamp"), end = r.Property(L"EndTimestamp");
    std::mt19937_64 random(42);
    std::vector<double> micros;
    const int jumps = 20'000;
    micros.reserve(jumps);
    for (int i = 0; i < jumps; ++i) {
      const ULONGLONG t = begin + random() % (end - begin);
      const auto s = Clock::now();
      if (!r.navigate()->JumpToReferenceTimestamp(t)) Fail("jump failed: " + r.Error());
      micros.push_back(Seconds(Clock::now() - s) * 1e6);
    }
    const double median = Median(micros);
    std::sort(micros.begin(), micros.end());
    const int fd = ::open(large.c_str(), O_RDONLY | O_CLOEXEC);
    std::vector<std::uint8_t> buffer(32 + 72 + kLargePayload);
    std::vector<double> pread_micros;
    for (int i = 0; i < jumps; ++i) {
      const off_t at = static_cast<off_t>((random() % (large_packages - 1)) * buffer.size());
      const auto s = Clock::now();
      if (::pread(fd, buffer.data(), buffer.size(), at) <= 0) Fail("pread");
      pread_micros.push_back(Seconds(Clock::now() - s) * 1e6);
    }
    ::close(fd);
    const double pread_median = Median(pread_micros);
    char against[64];
    std::snprintf(against, sizeof against, "x pread one block %.1f us", pread_median);
    Report("jump to a random timestamp, 4 GiB, cache off (median us)", median, "us", against, median / pread_median,
           "<= 20 us", median <= 20);
    std::printf("   jump percentiles: 10%% %.1f us, 90%% %.1f us, 99%% %.1f us\n", micros[jumps / 10],
                micros[jumps * 9 / 10], micros[jumps * 99 / 100]);
  }

  // Open of the recording with a million navigation entries, beside a pread of that section.
  if (Runs("open")) {
    const auto [offset, size] = NavigationSection(small);
    const int fd = ::open(small.c_str(), O_RDONLY | O_CLOEXEC);
    std::vector<std::uint8_t> buffer(size);
    const double pread_time = MedianSeconds([&] {
      if (::pread(fd, buffer.data(), size, static_cast<off_t>(offset)) != static_cast<ssize_t>(size)) Fail("pread");
    });
    ::close(fd);
    Reader r;
    std::uint64_t entries = size / 24;
    std::vector<double> opens;
    for (int i = 0; i < std::max(g_repetitions, 5); ++i) {
      const auto s = Clock::now();
      r.Open(small);
      opens.push_back(Seconds(Clock::now() - s));
      r.Close();
    }
    const double open_time = Median(opens);
    char what[96];
    std::snprintf(what, sizeof what, "open with %llu navigation entries (ms)", static_cast<unsigned long long>(entries));
    char against[64];
    std::snprintf(against, sizeof against, "x pread %.2f ms", pread_time * 1e3);
    Report(what, open_time * 1e3, "ms", against, open_time / pread_time, "<= 5", open_time <= 5 * pread_time);
  }

  // Resident memory while reading the 4 GiB recording forward.
  for (ULONG limit : {0u, kCacheLimit}) {
    if (!Runs("memory")) break;
    Reader r;
    r.SetCache(limit);
    r.Open(large);
    r.ExpectPackages(large_packages);
    const std::uint64_t before = ResidentBytes();
    std::uint64_t peak = before;
    DataPackageRecord record{};
    auto* memory = r.Face<IExMemoryMgr>(L"IExMemoryMgr");
    r.navigate()->JumpToReferenceTimestamp(r.Property(L"BeginTimestamp"));
    for (std::uint64_t i = 0; i + 1 < large_packages; ++i) {
      if (!r.data()->ReadDataPackage(kReadForward, &record)) Fail("read failed: " + r.Error());
      memory->Free(record.Data);
      if ((i & 255) == 0) peak = std::max(peak, ResidentBytes());
    }
    const double growth = (static_cast<double>(peak) - static_cast<double>(before)) / kMiB;
    const double allowed = limit == 0 ? 32.0 : limit / double(kMiB) + 16.0;
    std::string what = std::string("resident growth reading 4 GiB forward, ") +
                       (limit == 0 ? "cache off" : "cache on 64 MiB") + " (MiB)";
    char target[32];
    std::snprintf(target, sizeof target, "<= %.0f MiB", allowed);
    Report(what.c_str(), growth, "MiB", "-", 0, target, growth <= allowed);
  }

  // The fake slow disk: 1 ms a read plus 400 MB/s, and the reader's walk over 512 MiB of it.
  if (Runs("slow")) {
    SlowFileSystem disk(std::chrono::microseconds(1000), 400e6);
    const std::uint64_t span = 512 * kMiB;
    // The disk's own bandwidth for entry-sized reads, the best read-ahead can reach, measured
    // in each repetition beside the walks.
    std::shared_ptr<recfilereader::PlatformFile> file;
    if (disk.Open(Wide(large), recfilereader::FileAccess::kRead, file) != 0) Fail("slow open");
    std::vector<std::uint8_t> buffer(kCacheEntry);
    std::vector<double> disk_rates, on, off, off_small, on_ratios, off_ratios, off_small_ratios;
    for (int i = 0; i < g_repetitions; ++i) {
      const auto s = Clock::now();
      for (std::uint64_t at = 0; at < span; at += kCacheEntry) file->ReadAt(at, buffer.data(), kCacheEntry);
      disk_rates.push_back(static_cast<double>(span) / Seconds(Clock::now() - s));
      on.push_back(SlowDiskWalk(disk, large, kCacheLimit, span));
      off.push_back(SlowDiskWalk(disk, large, 0, span / 16));
      off_small.push_back(SlowDiskWalk(disk, small, 0, span / 16));
      on_ratios.push_back(on.back() / disk_rates.back());
      off_ratios.push_back(off.back() / disk_rates.back());
      off_small_ratios.push_back(off_small.back() / disk_rates.back());
    }
    std::printf("fake slow disk (1 ms a read + 400 MB/s): %.0f MB/s in 4 MiB reads (median)\n",
                Median(disk_rates) / 1e6);
    Report("forward over the slow disk, cache on 64 MiB (MB/s)", Median(on) / 1e6, "MB/s", "x disk bandwidth",
           Median(on_ratios), ">= 0.8", Median(on_ratios) >= 0.8);
    // Without the cache, runs of large packages are still read ahead (up to 2 MiB a read), but
    // small ones come a window of 128 KiB at a time, each read waiting for the disk.
    Report("forward over the slow disk, cache off (MB/s)", Median(off) / 1e6, "MB/s", "x disk bandwidth",
           Median(off_ratios), "-", true);
    Report("forward over the slow disk, 64-byte packages, cache off (MB/s)", Median(off_small) / 1e6, "MB/s",
           "x disk bandwidth", Median(off_small_ratios), "far less", Median(off_small_ratios) < 0.5);
  }

  std::filesystem::remove_all(dir);
  return 0;
}
