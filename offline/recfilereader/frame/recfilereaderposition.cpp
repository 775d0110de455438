// Positions and timestamp navigation: moving the cursor by file position or by timestamp, and
// the position queries, which never move it.
#include <cstring>

#include "base/exceptions.h"
#include "base/guard.h"
#include "base/location.h"
#include "data/packagesearch.h"
#include "frame/recfilereader.h"

namespace recfilereader {

namespace {

constexpr ULONG kPositionSize = sizeof(std::uint64_t);

SourceTag Where(const char* function) { return {"recfilereader", function}; }

std::uint64_t LoadPosition(const void* position) {
  if (position == nullptr) throw exception_rt(L"Invalid argument");
  std::uint64_t value = 0;
  std::memcpy(&value, position, sizeof value);
  return value;
}

void StorePosition(void* position, std::uint64_t value) {
  if (position == nullptr) throw exception_rt(L"Invalid argument");
  std::memcpy(position, &value, sizeof value);
}

}  // namespace

// Runs a move of the cursor; a failed one puts the cursor back where it was, reading the
// package there again (a package skipped as damaged comes back as the same empty mark).
template <class Body>
BOOL CRecFileReader::MoveCursor(Body&& body) {
  const bool valid = package_.valid();
  const std::uint64_t position = package_.position();
  const std::uint64_t next = package_.next_position();
  const bool begin_of_file = begin_of_file_;
  const bool end_of_file = end_of_file_;
  return GuardWithCleanup<BOOL>(last_error_, 0, std::forward<Body>(body), [&] {
    SetCursorFlags(begin_of_file, end_of_file);
    if (!valid) return package_.Reset();
    stream_.SetPosition(position);
    const bool reread = Contained(false, [&] { return ReadPackage(kReadForward); });
    if (!reread || package_.position() != position) {
      package_.Reset();
      package_.SetPositions(position, next);
      package_.SetValid(true);
    }
    stream_.SetPosition(position);
  });
}

void CRecFileReader::PublishCursorAtPackage() {
  SetCursorFlags(package_.position() <= DataStart(), package_.position() >= DataEnd());
}

BOOL CRecFileReader::JumpToReferenceTimestamp(ULONGLONG timestamp) {
  return MoveCursor([&] {
    RequireOpen();
    if (navigation_.empty()) throw exception_rt(L"No file opened");
    const std::uint64_t begin = navigation_.begin()->first;
    const std::uint64_t end = navigation_.rbegin()->first;
    if (timestamp == end) {
      stream_.SetPosition(DataEnd());
      package_.Reset();
      SetCursorFlags(DataEnd() <= DataStart(), true);
      return 1;
    }
    if (timestamp < begin || timestamp > end)
      throw exception_rt(LocatedText(L"Timestamp not in the range", Where("CRecFileReader::JumpToReferenceTimestamp")));
    // Start from the entry before the first one at or past the timestamp: the package sought
    // may lie between the two.
    auto entry = navigation_.lower_bound(timestamp);
    if (entry != navigation_.begin() && entry->first != timestamp) --entry;
    // Headers tell the timestamps on the way; only the package the jump lands on is read whole.
    stream_.SetPosition(entry->second);
    const bool found = SkipToTimestamp(stream_, timestamp, DataEnd());
    do {
      if (!found || !ReadPackage(kReadForward))
        throw exception_rt(LocatedText(L"Could not read data package", Where("CRecFileReader::JumpToReferenceTimestamp")));
    } while (package_.timestamp() < timestamp);
    PublishCursorAtPackage();
    return 1;
  });
}

BOOL CRecFileReader::GetCurrentTimestamp(ULONGLONG* timestamp) {
  return Guard<BOOL>(last_error_, 0, [&] {
    RequireOpen();
    if (timestamp == nullptr) throw exception_rt(L"Invalid argument");
    if (begin_of_file_ && !navigation_.empty()) {
      *timestamp = navigation_.begin()->first;
    } else if (end_of_file_ && !navigation_.empty()) {
      *timestamp = navigation_.rbegin()->first;
    } else {
      *timestamp = package_.timestamp();
    }
    return 1;
  });
}

ULONG CRecFileReader::GetPositionSize() {
  last_error_.SetLastError(kErrorNone, L"");
  return kPositionSize;
}

BOOL CRecFileReader::GetPosition(void* position) {
  return Guard<BOOL>(last_error_, 0, [&] {
    RequireOpen();
    StorePosition(position, end_of_file_ && !navigation_.empty() ? DataEnd() : package_.position());
    return 1;
  });
}

BOOL CRecFileReader::SetPosition(const void* position, ULONG size) {
  return MoveCursor([&] {
    RequireOpen();
    if (size != kPositionSize) throw exception_rt(L"Unexpected position size");
    const std::uint64_t target = LoadPosition(position);
    if (navigation_.empty()) throw exception_rt(L"No file opened");
    if (target > stream_.GetFileSize())
      throw exception_rt(LocatedText(L"Position is greater than file size", Where("CRecFileReader::SetPosition")));
    if (target < DataStart())
      throw exception_rt(
          LocatedText(L"Position is less than first data package position", Where("CRecFileReader::SetPosition")));
    if (target >= DataEnd()) {
      SetPositionAtEnd(target);
      return 1;
    }
    stream_.SetPosition(target);
    if (!ReadPackage(kReadForward))
      throw exception_rt(LocatedText(L"Position invalid", Where("CRecFileReader::SetPosition")));
    PublishCursorAtPackage();
    return 1;
  });
}

// The end of the data is a valid position only when a package ends exactly there.
void CRecFileReader::SetPositionAtEnd(std::uint64_t target) {
  package_.Reset();
  CDataPackage before;
  stream_.SetPosition(target);
  if (!ReadPackageInDirection(stream_, kReadBackward, DataStart(), target, before) || before.next_position() != target)
    throw exception_rt(LocatedText(L"Position invalid", Where("CRecFileReader::SetPosition")));
  stream_.SetPosition(target);
  SetCursorFlags(false, true);
}

// Runs a query that reads ahead or behind; the stream goes back to the cursor afterwards.
template <class Body>
BOOL CRecFileReader::QueryAround(Body&& body) {
  return GuardWithCleanup<BOOL>(
      last_error_, 0,
      [&] {
        RequireOpen();
        if (navigation_.empty()) throw exception_rt(L"No file opened");
        body();
        stream_.SetPosition(package_.position());
        return 1;
      },
      [&] { stream_.SetPosition(package_.position()); });
}

BOOL CRecFileReader::GetNextPosition(const void* position, void* next) {
  return QueryAround([&] {
    const std::uint64_t from = LoadPosition(position);
    if (from >= DataEnd()) return StorePosition(next, from);
    CDataPackage probe;
    stream_.SetPosition(from);
    if (!ReadPackageInDirection(stream_, kReadForward, DataStart(), DataEnd(), probe))
      throw exception_rt(LocatedText(L"Position does not point to valid data", Where("CRecFileReader::GetNextPosition")));
    if (probe.next_position() >= DataEnd()) return StorePosition(next, probe.next_position());
    if (!ReadPackageInDirection(stream_, kReadForward, DataStart(), DataEnd(), probe))
      throw exception_rt(LocatedText(L"Failed to read next data package", Where("CRecFileReader::GetNextPosition")));
    StorePosition(next, probe.position());
  });
}

// The package immediately before the one at the position, never before the start of the data.
BOOL CRecFileReader::GetPrevPosition(const void* position, void* previous) {
  return QueryAround([&] {
    const std::uint64_t from = LoadPosition(position);
    if (from <= DataStart()) return StorePosition(previous, from);
    CDataPackage probe;
    stream_.SetPosition(from);
    if (!ReadPackageInDirection(stream_, kReadBackward, DataStart(), DataEnd(), probe))
      throw exception_rt(
          LocatedText(L"Position does not point to valid data", Where("CRecFileReader::GetPrevPosition")));
    StorePosition(previous, probe.position());
  });
}

BOOL CRecFileReader::IsPositionEqual(const void* a, const void* b, BOOL* equal) {
  if (a == nullptr || b == nullptr || equal == nullptr) return 0;
  *equal = LoadPosition(a) == LoadPosition(b) ? 1 : 0;
  return 1;
}

BOOL CRecFileReader::IsPositionLess(const void* a, const void* b, BOOL* less) {
  if (a == nullptr || b == nullptr || less == nullptr) return 0;
  *less = LoadPosition(a) < LoadPosition(b) ? 1 : 0;
  return 1;
}

}  // namespace recfilereader
