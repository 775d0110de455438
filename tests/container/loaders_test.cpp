// The version loaders over builder-made recordings of each version: what each option word
// loads, what a host sees of the progress, and how damaged files end.
#include "container/versionloader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <sstream>
#include <string>

#include "base/exceptions.h"
#include "container/memstream.h"
#include "container/recstream.h"
#include "host/tpssamethread.h"
#include "platform/textconv.h"
#include "support/fakeowner.h"
#include "support/propvarianttext.h"
#include "support/samplerecordings.h"
#include "support/sectionbuilder.h"

namespace recfilereader {
namespace {

using namespace rectest;

// Records what a host's progress window would show: "p<value>" and the status texts.
struct FakeStatus final : IThreadedProcessStatus {
  void SetProgress(LONG progress) override { shown.push_back("p" + std::to_string(progress)); }
  void SetStatusText(const wchar_t* text) override { shown.push_back(WideToUtf8(text)); }
  void Notify(DWORD) override {}
  void Refresh() override {}
  std::vector<std::string> shown;
};

// Aborts at its `at`-th question (counting from 1).
struct FakeAbort final : IAbort {
  explicit FakeAbort(int at) : at_(at) {}
  bool IsAborted() override { return ++asked_ >= at_; }
  bool Sleep(DWORD) override { return true; }
  bool WaitForObject(HANDLE, DWORD, DWORD*) override { return false; }
  bool WaitForObjects(DWORD, const HANDLE*, DWORD, DWORD*) override { return false; }
  int at_, asked_ = 0;
};

class LoadersTest : public ::testing::Test, protected MemStream {
 protected:
  // Chooses the loader as opening does and runs it as the same-thread service does; describes
  // the outcome and every table ("throws <text>" when no loader was chosen).
  std::string Load(const Bytes& bytes, DWORD options, IThreadedProcessStatus* status = nullptr,
                   IAbort* abort = nullptr) {
    owner.SetCache(65536, 0);
    Open(L"r", &bytes);
    navigation.clear();
    try {
      chosen = ChooseVersionLoader(&owner, *stream, navigation, options);
    } catch (const wexception& e) {
      return "throws " + WideToUtf8(e.wtext());
    }
    CTpsStatusStub status_stub;
    CTpsAbortStub abort_stub;
    chosen.loader->Start(0);
    chosen.loader->Execute(status ? status : &status_stub, abort ? abort : &abort_stub);
    chosen.loader->Finish(0);
    return Tables();
  }

  std::string Tables() {
    CLoaderRecBase& loader = *chosen.loader;
    std::ostringstream out;
    out << loader.outcome_code() << (loader.outcome_text().empty() ? "" : " ") << WideToUtf8(loader.outcome_text());
    out << " | src";
    for (const auto& device : loader.sources()) out << " " << Describe(device.at(L"Name").get());
    out << " | nav";
    for (const auto& [timestamp, offset] : navigation) out << " " << timestamp;
    const auto properties = [&out](const auto& table) {
      for (const auto& [name, value] : table) out << " " << WideToUtf8(name) << "=" << Describe(value.get());
    };
    out << " | mk";
    for (const auto& [timestamp, marker] : loader.markers()) {
      out << " " << timestamp;
      properties(marker);
    }
    out << " | rec";
    properties(loader.recording_properties().table());
    out << " | sys";
    properties(loader.system_properties().table());
    return out.str();
  }

  NavigationMap navigation;
  VersionLoader chosen;
};

const std::string kGps = " | src 31 \"Gps\"";
const std::string kNav = " | nav 1000 2000";
const std::string kNoTables = " | src | nav | mk | rec | sys";

struct LoadCase {
  const char* name;
  Bytes bytes;
  DWORD options;
  std::string tables;  // what Load describes, or its start
};

// The option words the reader uses, over a file of each version: 1.0 with its offset base
// above 4 GiB, 2.0 with a fourth slot that names nothing, 2.1 with metadata.
TEST_F(LoadersTest, EachVersionLoadsWhatTheOptionWordAsks) {
  const Bytes v10 = BuildV10().bytes, v21 = BuildV2({}).bytes;
  const Bytes v20 = BuildV2({.index_type = 0xCB01, .index_size = 32, .forced_slots = {{3, 5}}}).bytes;
  const std::string markers = " | mk 1500 Description=31 \"first\"", none = " | mk | rec | sys";
  const std::string props = " | rec Description=31 \"run 7\" | sys Station=31 \"north\"";
  const LoadCase cases[] = {
      {"1.0", v10, 0x2FF, "0" + kGps + kNav + markers + " | rec | sys"},
      {"1.0", v10, 0x1F1, "0" + kGps + " | nav" + none},
      {"1.0", v10, 2, "0 | src" + kNav + none},
      {"1.0", v10, 0, "0" + kNoTables},
      {"2.0", v20, 0x2FF, "0" + kGps + kNav + markers + " | rec | sys"},
      {"2.0", v20, 0x1F1, "0" + kGps + " | nav" + none},
      {"2.1", v21, 0x2FF, "0" + kGps + kNav + markers + " Note=31 \"loud\"" + props},
      {"2.1", v21, 3, "0" + kGps + kNav + none},
      {"2.1", v21, 0x1F1, "0" + kGps + " | nav | mk" + props},
  };
  for (const LoadCase& c : cases) EXPECT_EQ(Load(c.bytes, c.options), c.tables) << c.name << " " << c.options;
  Load(v10, kLoadFull);
  EXPECT_EQ(navigation, (NavigationMap{{1000, BuildV10().offsets[2]}, {2000, BuildV10().offsets[3]}}));
  // Discarding empties what the version loads (1.0 markers are the reader's to drop).
  for (const auto& [file, left] : {std::pair{&v10, markers + " | rec | sys"}, {&v20, none}, {&v21, none}}) {
    Load(*file, kLoadFull);
    chosen.loader->Finish(1);
    EXPECT_EQ(Tables(), "0 | src | nav" + left);
  }
}

TEST_F(LoadersTest, ProgressStatusTextsAndAbortAsAHostSeesThem) {
  FakeStatus v21, v20, v10;
  Load(BuildV2({}).bytes, kLoadFull, &v21);
  EXPECT_EQ(v21.shown, (std::vector<std::string>{"p0", "Loading sources data", "p1250", "Loading navigation data",
                                                  "p2500", "Loading markers data", "p3750", "Loading metadata",
                                                  "p5000", "Loading finished"}));
  Load(BuildV2({.index_type = 0xCB01, .index_size = 32}).bytes, kLoadFull, &v20);
  EXPECT_EQ(v20.shown, (std::vector<std::string>{"p0", "Loading sources data", "p1650", "Loading navigation data",
                                                  "p3300", "Loading markers data", "p5000", "Loading finished"}));
  const Recording file = BuildV10();
  Load(file.bytes, kLoadFull, &v10);
  std::vector<std::string> walk{"Building navigation table"};
  for (std::size_t block = 4; block < 8; ++block) walk.push_back("p" + std::to_string(file.offsets[block] * 5000 / file.bytes.size()));
  EXPECT_EQ(v10.shown, walk);
  FakeAbort abort(2);
  EXPECT_EQ(Load(file.bytes, kLoadFull, nullptr, &abort).substr(0, 17), "3 Aborted by user");
  EXPECT_EQ(abort.asked_, 2);
}

TEST_F(LoadersTest, DamagedAndUnusualFiles) {
  const Recording v10 = BuildV10(), v21 = BuildV2({});
  const auto blocks = [](const std::vector<BlockSpec>& specs) {
    RecBuilder rec;
    for (const BlockSpec& spec : specs) rec.Add(spec);
    return rec.bytes();
  };
  const std::uint64_t past = v21.bytes.size() + 64, marker_block = v21.offsets[9];
  Bytes below_base = v10.bytes;  // the record of timestamp 1000, the second of the block
  PutLe(below_base, v10.offsets[4] + 32 + 24 + 16, 7, 8);
  const LoadCase cases[] = {
      {"first block is no file header", blocks({{.type = 0xCBF1, .payload = Bytes(48)}}), 0, "throws Not a valid recording"},
      {"file header of 47 bytes", blocks({{.type = 0xCBBF, .payload = Bytes(47)}}), 0, "throws Not a valid recording"},
      {"unknown identifier", blocks({FileHeaderBlock(3)}), 0, "throws Invalid recording signature"},
      {"data block as version block", blocks({FileHeaderBlock(1), {}, Data(5)}), 0, "throws Recording corrupted"},
      {"2.0 index of 128 bytes", BuildV2({.index_type = 0xCB01}).bytes, 0, "1 Recording corrupted"},
      {"2.1 index of 32 bytes", BuildV2({.index_size = 32}).bytes, 0, "1 Recording corrupted"},
      {"no configuration", BuildV2({.forced_slots = {{0, kEnd}}}).bytes, 1, "1 Configuration data offset is invalid"},
      {"configuration slot names a marker block", BuildV2({.forced_slots = {{0, marker_block}}}).bytes, 1,
       "1 Recording corrupted"},
      {"configuration past the end", BuildV2({.forced_slots = {{0, past}}}).bytes, 1,
       "1 Read request beyond the end of the file"},
      {"no navigation", BuildV2({.forced_slots = {{1, kEnd}}}).bytes, 2, "1 Navigation data offset is invalid"},
      {"navigation slot names a marker block", BuildV2({.forced_slots = {{1, marker_block}}}).bytes, 2, "1 Failed"},
      {"navigation cut off by the end of the file", BuildV2({.end_after_navigation = true}).bytes, 2,
       "0 | src" + kNav + " | mk | rec | sys"},
      {"no markers", BuildV2({.forced_slots = {{2, kEnd}}}).bytes, 4, "1 Markers data offset is invalid"},
      {"no metadata, sections only", BuildV2({.metadata = false}).bytes, 3, "0" + kGps + kNav + " | mk | rec | sys"},
      {"no metadata, full load", BuildV2({.metadata = false}).bytes, 0x2FF, "1 Metadata offset is invalid"},
      {"only navigation asked of a file without other sections",
       BuildV2({.forced_slots = {{0, kEnd}, {2, kEnd}, {3, kEnd}}}).bytes, 2, "0 | src" + kNav + " | mk | rec | sys"},
      {"1.0 chain of the version block alone", BuildV10(false).bytes, 0x2FF, "0" + kGps + " | nav | mk | rec | sys"},
      {"1.0 chain that loops", Relink(v10.bytes, v10.offsets[6], v10.offsets[4] + kBase), 0x2FF, "1 Recording corrupted"},
      {"1.0 link below the base", Relink(v10.bytes, v10.offsets[1], kBase - 32), 0x2FF, "1 Recording corrupted"},
      {"1.0 navigation record below the base", below_base, 0x2FF, "0" + kGps + " | nav 2000 |"},
      {"1.0 link past the file", Relink(v10.bytes, v10.offsets[1], kBase + v10.bytes.size()), 0x2FF,
       "1 Recording corrupted"},
  };
  for (const LoadCase& c : cases) {
    EXPECT_EQ(Load(c.bytes, c.options).substr(0, c.tables.size()), c.tables) << c.name;
  }
  // The cut-off navigation data is a warning.
  EXPECT_TRUE(std::ranges::any_of(owner.Reports(), [](const HostReport& r) {
    return r.severity == 2 && r.text == L"Loading navigation data... Reached end of file, navigation data was not "
                                        L"loaded completely (2 entries loaded)";
  }));
}

// Every failed read, wherever it falls, ends the load with a run-time outcome; none escapes.
TEST_F(LoadersTest, ReadFailuresEndInAnOutcome) {
  const Bytes bytes = BuildV2({}).bytes;
  for (int nth = 1;; ++nth) {
    files.FailRead(nth, {.error = EIO});
    const std::string tables = Load(bytes, kLoadFull);
    if (tables.starts_with("0 ")) break;
    EXPECT_TRUE(tables.starts_with("2 ") || tables.starts_with("throws ")) << nth << ": " << tables;
    ASSERT_LT(nth, 1000);
  }
}

}  // namespace
}  // namespace recfilereader
