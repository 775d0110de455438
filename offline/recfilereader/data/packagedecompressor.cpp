#include "data/packagedecompressor.h"

#include <cwchar>

#include "host/reporttohost.h"

namespace recfilereader {

namespace {

constexpr std::size_t kReportChars = 512;

}  // namespace

void CPackageDecompressor::FinishForHost(DataPackageRecord& record, bool signed_second_format,
                                         bool dont_decompress, SourceClassMap& classes) {
  ULONG& flags = record.Descriptor.PackageFlags;
  if ((flags & kPackageFlagTrailerMask) != 0) {
    // A hostile package shorter than its trailer must not hand the host a size beyond its buffer.
    record.DataSize = record.DataSize >= kPackageTrailerSize ? record.DataSize - kPackageTrailerSize : 0;
  }
  // Only recordings signed with the second identifier hold compressed packages.
  if (!signed_second_format) flags &= ~kPackageFlagMethodMask;
  const ULONG method = flags & kPackageFlagMethodMask;
  if (dont_decompress || method == 0 || algo_ == nullptr) return;
  const std::wstring& source_class = classes[record.SourceHandle];
  const LONG result = algo_->DecompressPackage(&record, source_class.c_str());
  if (result != kCompressionOk) ReportResult(result, method, record);
}

void CPackageDecompressor::ReportResult(LONG result, ULONG method, const DataPackageRecord& record) {
  wchar_t text[kReportChars] = L"";
  const auto timestamp = static_cast<unsigned long long>(record.Timestamp);
  const auto cycle_id = static_cast<int>(record.Descriptor.CycleId);
  if (result == kCompressionUnknownMethod) {
    if (!unknown_method_armed_) return;
    unknown_method_armed_ = false;
    std::swprintf(text, kReportChars, L"Unknown compression method (%d) for data package: timestamp %llu, cycle ID %d",
                  static_cast<int>(method), timestamp, cycle_id);
    ReportToHost(access_, kUnknownMethodSeverity, kUnknownMethodReportId, text);
    return;
  }
  std::swprintf(text, kReportChars,
                L"Failed to decompress data package (error %d): compression method %d, timestamp %llu, cycle ID %d",
                static_cast<int>(result), static_cast<int>(method), timestamp, cycle_id);
  ReportToHost(access_, kDecompressionFailureSeverity, kDecompressionFailureReportId, text);
}

}  // namespace recfilereader
