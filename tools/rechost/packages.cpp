#include "rechost/packages.h"

#include "rechost/error.h"

namespace rechost {
namespace {

std::vector<std::uint8_t> TakeBuffer(IExMemoryMgr& memory, void* buffer, ULONG size) {
  if (buffer == nullptr) return {};
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  std::vector<std::uint8_t> copy(bytes, bytes + size);
  memory.Free(buffer);
  return copy;
}

}  // namespace

std::optional<Package> PackageCursor::Next() {
  const bool forward = direction_ == kReadForward;
  if (forward ? reader_.AtEnd() : reader_.AtBegin()) return std::nullopt;
  Package package;
  // Forward, the cursor stands at the package about to be read; backward, behind it.
  if (forward) package.position = reader_.Position();
  DataPackageRecord record{};
  const BOOL read = reader_.data().ReadDataPackage(direction_, &record);
  // Whatever the reader allocated is the host's, even on a failed read.
  auto& memory = reader_.host().memory();
  package.data = TakeBuffer(memory, record.Data, record.DataSize);
  package.extra = TakeBuffer(memory, record.ExtraData, record.ExtraSize);
  if (!read) reader_.ThrowLastError();
  if (!forward) package.position = reader_.Position();
  package.timestamp = record.Timestamp;
  package.source = record.SourceHandle;
  package.info1 = record.Info1;
  package.info2 = record.Info2;
  package.descriptor = record.Descriptor;
  if (record.SourceHandle == 0 && reader_.ErrorCode() == kCodeRecording) {
    package.damaged = true;
    package.damage = reader_.ErrorText();
  }
  return package;
}

}  // namespace rechost
