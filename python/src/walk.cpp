#include "walk.h"

namespace recfile {

void FreeBuffers(DataPackageRecord& record) {
  rechost::MemoryManager memory;
  if (record.Data != nullptr) memory.Free(record.Data);
  if (record.ExtraData != nullptr) memory.Free(record.ExtraData);
  record.Data = nullptr;
  record.ExtraData = nullptr;
}

// A jump lands on the first package at or after a timestamp; one to the end of the span puts
// the cursor behind the last package, where a backward walk starts.
PackageWalk::PackageWalk(rechost::Reader& reader, const Selection& selection) : reader_(reader), selection_(selection) {
  if (selection.start && selection.stop && *selection.start >= *selection.stop) {
    done_ = true;
    return;
  }
  const ULONGLONG begin = reader.BeginTimestamp();
  const ULONGLONG end = reader.EndTimestamp();
  auto clamp = [&](ULONGLONG t) { return t < begin ? begin : (t > end ? end : t); };
  if (selection.reverse)
    reader.JumpTo(selection.stop ? clamp(*selection.stop) : end);
  else
    reader.JumpTo(selection.start ? clamp(*selection.start) : begin);
}

bool PackageWalk::ReadOne(ReadPackage& out) {
  const bool forward = !selection_.reverse;
  if (forward ? reader_.AtEnd() : reader_.AtBegin()) return false;
  out = ReadPackage{};
  if (forward) out.position = reader_.Position();
  const BOOL read = reader_.data().ReadDataPackage(forward ? kReadForward : kReadBackward, &out.record);
  if (!read) {
    FreeBuffers(out.record);
    reader_.ThrowLastError();
  }
  if (!forward) out.position = reader_.Position();
  if (out.record.SourceHandle == 0 && reader_.ErrorCode() == rechost::kCodeRecording) {
    out.damaged = true;
    out.damage = reader_.ErrorText();
  }
  return true;
}

// Damaged stretches carry no timestamp of their own: they are given wherever they are met.
bool PackageWalk::Ends(const ReadPackage& p, bool& take) const {
  take = true;
  if (!p.damaged) {
    const ULONGLONG t = p.record.Timestamp;
    if (!selection_.reverse && selection_.stop && t >= *selection_.stop) return true;
    if (selection_.reverse && selection_.start && t < *selection_.start) return true;
    if (selection_.reverse && selection_.stop && t >= *selection_.stop) take = false;
  }
  if (selection_.source && p.record.SourceHandle != *selection_.source) take = false;
  return false;
}

bool PackageWalk::Next(ReadPackage& out) {
  while (!done_) {
    if (!ReadOne(out)) break;
    bool take = false;
    const bool ends = Ends(out, take);
    if (!ends && take) return true;
    FreeBuffers(out.record);
    if (ends) break;
  }
  done_ = true;
  return false;
}

}  // namespace recfile
