// Any recording file made from the input (recfilefuzz.h), repaired in memory. Nothing may
// escape the run, the outcome is one of the reader's four codes, a failed repair leaves the file
// as it was, and a repaired file repairs again.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/guard.h"
#include "recfilefuzz.h"
#include "require.h"
#include "support/fakeowner.h"
#include "writing/recordingrepair.h"

using namespace recfilereader;

namespace {

LONG Repair(rectest::FakeOwner& owner, rectest::MemFileSystem& files) {
  CachingFileReaderPlatform platform;
  platform.files = &files;
  platform.start_worker = false;
  CRecordingRepair repair(&owner, L"r", platform);
  repair.Execute(nullptr, nullptr);
  const LONG code = repair.outcome_code();
  Require(code == kErrorNone || code == kErrorGeneral || code == kErrorRecording);
  Require(code != kErrorNone || repair.outcome_text().empty());
  return code;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> file = recfuzz::MakeFile(data, size);
  rectest::FakeOwner owner;
  owner.SetCache(65536, 0);
  rectest::MemFileSystem files;
  files.Add(L"r", file);
  if (Repair(owner, files) != kErrorNone) {
    Require(files.Bytes(L"r") == file);
    return 0;
  }
  Require(Repair(owner, files) == kErrorNone);
  return 0;
}
