// The packages of a selection, read straight from the reader: the cursor placed through the
// timestamp jump, then each package of the span in the walk's direction, filtered by source.
// The buffers of each package are the receiver's.
#ifndef RECFILE_WALK_H
#define RECFILE_WALK_H

#include <cstdint>
#include <optional>
#include <string>

#include "rechost/rechost.h"

namespace recfile {

struct Selection {
  std::optional<std::uint64_t> start;  // first timestamp
  std::optional<std::uint64_t> stop;   // timestamps from here on are left out
  std::optional<std::uint32_t> source;
  bool reverse = false;
};

struct ReadPackage {
  DataPackageRecord record{};
  std::uint64_t position = 0;
  bool damaged = false;
  std::string damage;
};

// Frees the buffers a record holds, once.
void FreeBuffers(DataPackageRecord& record);

class PackageWalk {
 public:
  PackageWalk(rechost::Reader& reader, const Selection& selection);
  // The next selected package (its buffers now the caller's), or false when the walk is done.
  bool Next(ReadPackage& out);

 private:
  bool ReadOne(ReadPackage& out);
  // Whether a package ends the walk (true), is skipped (out false) or taken.
  bool Ends(const ReadPackage& p, bool& take) const;

  rechost::Reader& reader_;
  Selection selection_;
  bool done_ = false;
};

}  // namespace recfile

#endif  // RECFILE_WALK_H
