// Reading data packages forward and backward from the cursor, and handing out the recording's
// property tables.
#include <string_view>

#include "base/exceptions.h"
#include "base/guard.h"
#include "base/location.h"
#include "data/packagesearch.h"
#include "frame/recfilereader.h"

namespace recfilereader {

namespace {

constexpr std::wstring_view kBlockCorruptedText = L"Recording is corrupted,";

SourceTag Where(const char* function) { return {"recfilereader", function}; }

}  // namespace

void CRecFileReader::RequireOpen() const {
  if (!IsOpen()) throw exception_rt(L"No file opened");
}

// The flags live in the property table, where the host reads them; the reader keeps its own
// copy so that a read touches the table only when a flag changes.
void CRecFileReader::SetCursorFlags(bool begin_of_file, bool end_of_file) {
  if (begin_of_file != begin_of_file_) SetDirect(kDirectBeginOfFile, begin_of_file);
  if (end_of_file != end_of_file_) SetDirect(kDirectEndOfFile, end_of_file);
  begin_of_file_ = begin_of_file;
  end_of_file_ = end_of_file;
}

std::uint64_t CRecFileReader::DataStart() const { return navigation_.begin()->second; }
std::uint64_t CRecFileReader::DataEnd() const { return navigation_.rbegin()->second; }

bool CRecFileReader::ReadPackage(ULONG direction) {
  if (navigation_.empty()) return false;
  return ReadPackageInDirection(stream_, direction, DataStart(), DataEnd(), package_);
}

void CRecFileReader::ReadPackageForward(DataPackageRecord& record) {
  if (end_of_file_) throw exception_rt(LocatedText(L"End of data reached", Where("CRecFileReader::ReadPackageForward")));
  package_.GetDataPackage(record);
  if (package_.next_position() >= DataEnd()) {
    package_.Reset();
    SetCursorFlags(false, true);
    return;
  }
  stream_.SetPosition(package_.next_position());
  if (!ReadPackage(kReadForward))
    throw exception_rt(LocatedText(L"No more data", Where("CRecFileReader::ReadPackageForward")));
  SetCursorFlags(false, false);
}

void CRecFileReader::ReadPackageBackward(DataPackageRecord& record) {
  if (begin_of_file_)
    throw exception_rt(LocatedText(L"Begin of data reached", Where("CRecFileReader::ReadPackageBackward")));
  stream_.SetPosition(end_of_file_ ? DataEnd() : package_.position());
  if (!ReadPackage(kReadBackward))
    throw exception_rt(LocatedText(L"No more data", Where("CRecFileReader::ReadPackageBackward")));
  SetCursorFlags(package_.position() <= DataStart(), false);
  package_.GetDataPackage(record);
}

BOOL CRecFileReader::ReadDataPackage(ULONG direction, DataPackageRecord* record) {
  BOOL recovered = 0;
  const BOOL read = GuardWithCleanup<BOOL>(
      last_error_, 0,
      [&] {
        RequireOpen();
        if (record == nullptr) throw exception_rt(L"Invalid argument");
        if (direction == kReadForward) {
          ReadPackageForward(*record);
        } else if (direction == kReadBackward) {
          ReadPackageBackward(*record);
        } else {
          throw exception_rt(LocatedText(L"Invalid read direction", Where("CRecFileReader::ReadDataPackage")));
        }
        decompressor_.FinishForHost(*record, second_format_, dont_decompress_, source_classes_);
        return 1;
      },
      [&] { recovered = RecoverFromDamage(direction, record); });
  return read != 0 ? read : recovered;
}

// A damaged block is skipped rather than ending the walk: the call succeeds with the damage in
// the last error and SourceHandle 0, and the next read goes on behind it.
BOOL CRecFileReader::RecoverFromDamage(ULONG direction, DataPackageRecord* record) {
  if (record == nullptr || last_error_.GetErrorCode() != kErrorRecording || navigation_.empty()) return 0;
  const std::wstring_view text = last_error_.GetErrorText();
  if (text == kPackageDataCorruptedText) {
    if (end_of_file_ && direction == kReadBackward) SetCursorFlags(begin_of_file_, false);
  } else if (text.find(kBlockCorruptedText) != std::wstring_view::npos) {
    ResynchroniseOnNavigation(direction);
  } else {
    return 0;
  }
  record->SourceHandle = 0;
  record->ExtraSize = 0;
  return 1;
}

void CRecFileReader::ResynchroniseOnNavigation(ULONG direction) {
  const std::uint64_t here = stream_.GetPosition();
  std::uint64_t position = here;
  std::uint64_t next = here;
  if (direction == kReadBackward) {
    position = DataStart();
    for (const auto& [timestamp, at] : navigation_) {
      if (at >= here) break;
      position = at;
    }
  } else {
    next = DataEnd();
    for (const auto& [timestamp, at] : navigation_) {
      if (at > here) {
        next = at;
        break;
      }
    }
  }
  package_.SetPositions(position, next);
  package_.SetValid(true);
}

BOOL CRecFileReader::GetRecordingProperties(IRecordingObjectProperties** properties) {
  return Guard<BOOL>(last_error_, 0, [&] {
    RequireOpen();
    if (properties == nullptr) throw exception_rt(L"Invalid argument");
    *properties = &recording_properties_;
    ++recording_properties_out_;
    return 1;
  });
}

// The last release of changed properties marks the recording as changed.
BOOL CRecFileReader::ReleaseRecordingProperties(IRecordingObjectProperties* properties) {
  return Guard<BOOL>(last_error_, 0, [&] {
    RequireOpen();
    if (properties != &recording_properties_) throw exception_rt(L"Invalid argument");
    if (recording_properties_out_ == 0) throw exception_rt(L"Excess recording properties interface release");
    if (--recording_properties_out_ == 0) {
      const DWORD hash = recording_properties_.GetTableHash();
      if (hash != recording_properties_hash_) {
        SetDirect(kDirectDataChanged, true);
        recording_properties_hash_ = hash;
      }
    }
    return 1;
  });
}

BOOL CRecFileReader::GetSystemProperties(IObjectProperties** properties) {
  IRecordingObjectProperties* full = nullptr;
  if (!GetSystemPropertiesEx(&full)) return 0;
  if (properties != nullptr) *properties = full;
  return 1;
}

BOOL CRecFileReader::ReleaseSystemProperties(IObjectProperties* properties) {
  return ReleaseSystemPropertiesEx(static_cast<IRecordingObjectProperties*>(
      properties == static_cast<IObjectProperties*>(&system_properties_) ? &system_properties_ : nullptr));
}

BOOL CRecFileReader::GetSystemPropertiesEx(IRecordingObjectProperties** properties) {
  return Guard<BOOL>(last_error_, 0, [&] {
    RequireOpen();
    if (properties == nullptr) throw exception_rt(L"Invalid argument");
    *properties = &system_properties_;
    ++system_properties_out_;
    return 1;
  });
}

BOOL CRecFileReader::ReleaseSystemPropertiesEx(IRecordingObjectProperties* properties) {
  return Guard<BOOL>(last_error_, 0, [&] {
    RequireOpen();
    if (properties != &system_properties_) throw exception_rt(L"Invalid argument");
    if (system_properties_out_ == 0) throw exception_rt(L"Excess system properties interface release");
    --system_properties_out_;
    return 1;
  });
}

}  // namespace recfilereader
