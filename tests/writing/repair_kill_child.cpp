// The kill test's child. "write <rec> <log>": writes sample packages with the reader's writer
// and logs each package's number once it is completely written. "repair <rec>": repairs the
// recording.
#include <cstring>
#include <string>

#include "platform/textconv.h"
#include "writing/recordingfiles.h"
#include "writing/recordingrepair.h"
#include "writing/recordingwriter.h"

// After the library's headers: <fcntl.h> defines LOCK_WRITE, a name the storage headers use.
#include <fcntl.h>
#include <unistd.h>

using namespace recfilereader;

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::wstring path = Utf8ToWide(argv[2]);
  if (std::string(argv[1]) == "repair") {
    CRecordingRepair repair(nullptr, path);
    repair.Execute(nullptr, nullptr);
    return repair.outcome_code() == 0 ? 0 : 1;
  }
  const int log = ::open(argv[3], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  CRecordingWriter writer(nullptr);
  writer.Open(path.c_str(), 0);
  for (std::uint32_t i = 0; i < 100'000; ++i) {
    const rectest::Package p = rectest::SamplePackage(i);
    DataPackageRecord record{};
    record.SourceHandle = p.source, record.Timestamp = p.timestamp, record.DataSize = ULONG(p.data.size());
    record.Data = const_cast<std::uint8_t*>(p.data.data());
    writer.AppendDataPackage(record);
    if (::write(log, &i, sizeof i) != sizeof i) return 1;
  }
  ::pause();  // until killed
}
