// Any recording file made from the input (recfilefuzz.h), opened as the reader opens it: the
// version loader is chosen (failing only with the library's own exceptions) and run with the
// full option word. Nothing may escape the run, the outcome is one of the four codes, the
// navigation map holds no more entries than the file has records, and a discarding finish
// leaves the sources and the navigation map empty.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/exceptions.h"
#include "container/loaderrecbase.h"
#include "container/recstream.h"
#include "container/versionloader.h"
#include "host/tpssamethread.h"
#include "recfilefuzz.h"
#include "require.h"
#include "support/fakeowner.h"

using namespace recfilereader;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> file = recfuzz::MakeFile(data, size);
  rectest::FakeOwner owner;
  owner.SetCache(65536, 0);
  rectest::MemFileSystem files;
  auto stream = recfuzz::OpenStream(files, &file);
  NavigationMap navigation;
  VersionLoader chosen;
  try {
    chosen = ChooseVersionLoader(&owner, *stream, navigation, kLoadFull);
  } catch (const wexception&) {
    return 0;
  }
  Require(chosen.loader != nullptr);
  CLoaderRecBase& loader = *chosen.loader;
  CTpsStatusStub status;
  CTpsAbortStub abort;
  loader.Start(0);
  loader.Execute(&status, &abort);
  Require(loader.outcome_code() <= kLoadAborted);
  Require((loader.outcome_code() == kLoadSucceeded) == loader.outcome_text().empty());
  Require(navigation.size() * kNavigationRecordSize <= file.size());
  loader.Finish(0);
  loader.Finish(1);
  Require(navigation.empty() && loader.sources().empty());
  return 0;
}
