#include "rechost/reader.h"

#include <algorithm>

#include "rechost/error.h"
#include "rechost/text.h"

namespace rechost {

Reader::Reader(HostServices& host) : host_(host), access_(CreateRecordingReader(&host)) {
  if (access_ == nullptr) throw Error(kCodeFailure, "the reader could not be created");
}

Reader::~Reader() { Face<IObjectDestroy>(L"IObjectDestroy")->Destroy(); }

LONG Reader::ErrorCode() { return Face<IRecordingError>(L"IRecordingError")->GetErrorCode(); }

std::string Reader::ErrorText() { return Narrow(Face<IRecordingError>(L"IRecordingError")->GetErrorText()); }

void Reader::ThrowLastError() {
  const LONG code = ErrorCode();
  throw Error(code == 0 ? kCodeFailure : code, ErrorText());
}

void Reader::Check(bool succeeded) {
  if (!succeeded) ThrowLastError();
}

void Reader::Open(const std::string& path, ULONG load_flags) {
  Check(Face<IRecordingReaderEx>(L"IRecordingReaderEx")->OpenEx(Widen(path).c_str(), kRecordingAccessRead, load_flags));
}

void Reader::Create(const std::string& path, bool second_format) {
  const ULONG access = second_format ? kRecordingAccessWriteSecond : kRecordingAccessWrite;
  Check(Face<IRecordingReaderEx>(L"IRecordingReaderEx")->OpenEx(Widen(path).c_str(), access, 0));
}

void Reader::Write(const DataPackageRecord& record) { Check(data().WriteDataPackages(&record, 1)); }

void Reader::Close() { Check(Face<IRecordingReaderEx>(L"IRecordingReaderEx")->Close()); }

// A tail that could not be written is put back and reported as an error message, while the call
// itself succeeds: the messages of the save tell, and the first error becomes the exception
// instead of being printed.
void Reader::Save() {
  MessagePrinter& messages = host_.messages();
  const DWORD print_from = messages.print_from();
  messages.set_print_from(std::max(print_from, kSeverityError + 1));
  messages.Mark();
  const BOOL saved = Face<IRecordingSave>(L"IRecordingSave")->SaveRecording();
  messages.set_print_from(print_from);
  Check(saved);
  for (const HostMessage& message : messages.Collected())
    if (message.severity >= kSeverityError) throw Error(kCodeFailure, message.text);
}

ULONGLONG Reader::NumberProperty(const wchar_t* name) {
  OwnedValue value;
  if (!properties().GetProperty(name, value.get())) return 0;
  const Value v = ToValue(*value);
  if (v.kind == Value::Kind::kBool) return v.boolean ? 1 : 0;
  if (v.kind == Value::Kind::kInteger) return static_cast<ULONGLONG>(v.integer);
  return v.unsigned_integer;
}

ULONGLONG Reader::BeginTimestamp() { return NumberProperty(kReaderPropBeginTimestamp); }
ULONGLONG Reader::EndTimestamp() { return NumberProperty(kReaderPropEndTimestamp); }
bool Reader::AtEnd() { return NumberProperty(kReaderPropEndOfFile) != 0; }
bool Reader::AtBegin() { return NumberProperty(kReaderPropBeginOfFile) != 0; }

void Reader::JumpTo(ULONGLONG timestamp) {
  Check(Face<IRecordingNavigate>(L"IRecordingNavigate")->JumpToReferenceTimestamp(timestamp));
}

std::uint64_t Reader::Position() {
  std::uint64_t position = 0;
  Check(Face<IRecordingPosition>(L"IRecordingPosition")->GetPosition(&position));
  return position;
}

void Reader::SetPosition(std::uint64_t position) {
  Check(Face<IRecordingPosition>(L"IRecordingPosition")->SetPosition(&position, sizeof position));
}

void Reader::Extract(const std::string& path, ULONGLONG begin, ULONGLONG end) {
  Check(Face<IRecordingEdit>(L"IRecordingEdit")->ExtractRecordingPart(Widen(path).c_str(), begin, end));
}

void Reader::Repair(const std::string& path) {
  Check(Face<IRecordingRepair>(L"IRecordingRepair")->RepairRecording(Widen(path).c_str()));
}

HeldTable<IRecordingObjectProperties> Reader::RecordingProperties() {
  IRecordingObjectProperties* table = nullptr;
  Check(data().GetRecordingProperties(&table));
  return {table, [this](IRecordingObjectProperties* t) { data().ReleaseRecordingProperties(t); }};
}

HeldTable<IRecordingObjectProperties> Reader::SystemProperties() {
  IRecordingObjectProperties* table = nullptr;
  Check(data().GetSystemPropertiesEx(&table));
  return {table, [this](IRecordingObjectProperties* t) { data().ReleaseSystemPropertiesEx(t); }};
}

HeldTable<IRecordingObjectProperties> Reader::MarkerProperties(LONGLONG timestamp) {
  IRecordingObjectProperties* table = nullptr;
  if (!markers().GetMarkerProperties(timestamp, &table))
    throw Error(kCodeFailure, "no marker at " + std::to_string(timestamp));
  return {table, [this](IRecordingObjectProperties* t) { markers().ReleaseMarkerProperties(t); }};
}

HeldTable<IRecordingObjectProperties> Reader::SourceProperties(const GUID& id) {
  IRecordingObjectProperties* table = nullptr;
  if (!sources().GetSource(id, &table)) throw Error(kCodeFailure, "no such source");
  return {table, [this](IRecordingObjectProperties* t) { sources().ReleaseSource(t); }};
}

std::vector<GUID> Reader::SourceIds() {
  ULONG count = 0;
  sources().GetSourceCount(&count);
  std::vector<GUID> ids;
  for (ULONG i = 0; i < count; ++i) {
    GUID id{};
    if (sources().GetSourceId(i, &id)) ids.push_back(id);
  }
  return ids;
}

std::vector<LONGLONG> Reader::MarkerTimestamps() {
  ULONG count = 0;
  markers().GetMarkerCount(&count);
  std::vector<LONGLONG> timestamps;
  for (ULONG i = 0; i < count; ++i) {
    LONGLONG timestamp = 0;
    if (markers().GetMarkerTimestamp(i, &timestamp)) timestamps.push_back(timestamp);
  }
  return timestamps;
}

}  // namespace rechost
