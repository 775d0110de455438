// The kill test's child. "write <rec> <log>": writes sample packages the way the reader's writer
// does, after a head that already names the sources, and appends each package's number to the
// log once the package is completely written. "repair <rec>": repairs the recording.
#include <cstring>
#include <string>

#include "container/extendedpackageheader.h"
#include "platform/textconv.h"
#include "writing/recordingfiles.h"
#include "writing/recordingrepair.h"
#include "writing/recordingsaver.h"

// After the library's headers: <fcntl.h> defines LOCK_WRITE, a name the storage headers use.
#include <fcntl.h>
#include <unistd.h>

using namespace recfilereader;

namespace {

void Write(const std::wstring& path, int log) {
  CRecordingSaver saver(nullptr);
  saver.CreateNewRecording(path.c_str(), 0);
  rectest::Bytes config;
  CFileConfigSaver().SaveFileConfig(nullptr, {}, config);
  RecBlock head;
  head.header.Type = kBlockConfiguration;
  if (!head.payload.Resize(config.size())) return;
  std::memcpy(head.payload.data(), config.data(), config.size());
  saver.WriteBlock(head);
  for (std::uint32_t i = 0; i < 50'000; ++i) {
    const rectest::Package p = rectest::SamplePackage(i);
    DataPackageRecord record{};
    record.SourceHandle = p.source;
    record.Timestamp = p.timestamp;
    record.DataSize = static_cast<ULONG>(p.data.size());
    std::uint8_t encoded[kExtendedPackageHeaderSize];
    ExtendedPackageHeader::FromRecord(record).EncodeTo(encoded);
    RecBlock block;
    block.header.Type = kBlockData;
    block.header.Sequence = i;
    block.header.Link = p.timestamp;
    block.header.Tag = kTagExtendedPackage;
    saver.WriteBlock(block, kExtendedPackageHeaderSize + record.DataSize, [&] {
      saver.stream()->WriteData(encoded, kExtendedPackageHeaderSize);
      saver.stream()->WriteData(p.data.data(), record.DataSize);
    });
    if (::write(log, &i, sizeof i) != sizeof i) return;
  }
  ::pause();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::wstring path = Utf8ToWide(argv[2]);
  if (std::string(argv[1]) == "repair") {
    CRecordingRepair repair(nullptr, path);
    repair.Execute(nullptr, nullptr);
    return repair.outcome_code() == 0 ? 0 : 1;
  }
  if (argc < 4) return 2;
  const int log = ::open(argv[3], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  Write(path, log);
  return 0;
}
