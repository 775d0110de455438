// Settling a package record before the host gets it: the trailing bytes that do not count, the
// method bits of recordings that cannot hold compressed packages, and the decompression by the
// optional compression library, whose failures are told to the host instead of failing the read.
//
// Not thread-safe: the reader's calling thread uses it.
#ifndef RECFILEREADER_DATA_PACKAGEDECOMPRESSOR_H
#define RECFILEREADER_DATA_PACKAGEDECOMPRESSOR_H

#include "data/sourceclassmap.h"
#include "recfilereader/base.h"
#include "recfilereader/compression.h"
#include "recfilereader/data.h"

namespace recfilereader {

// Host report ids and severities of the decompression messages.
constexpr DWORD kUnknownMethodReportId = 100;
constexpr DWORD kUnknownMethodSeverity = 0;
constexpr DWORD kDecompressionFailureReportId = 0;
constexpr DWORD kDecompressionFailureSeverity = 2;

class CPackageDecompressor {
 public:
  // `access` reaches the host's error manager; `algo` (null without the library) must outlive
  // this object.
  CPackageDecompressor(IInterfaceAccess* access, ICompressionAlgo* algo) : access_(access), algo_(algo) {}

  // For an owner that loads (or unloads, with null) the library after constructing this.
  void SetCompressionAlgo(ICompressionAlgo* algo) { algo_ = algo; }

  // Allows one more report of a method the library does not know: once per opened recording.
  void ArmUnknownMethodReport() { unknown_method_armed_ = true; }

  // In order: drops the 8 trailing bytes from DataSize when the flags say the payload carries
  // them; clears the method bits unless the recording is signed with the second format
  // identifier (`signed_second_format`); lets the library decompress a compressed package unless
  // `dont_decompress`, naming its source's class from `classes` (a handle not there is entered
  // with an empty name). A package the library cannot decompress is reported to the host and
  // handed out as the library left it.
  void FinishForHost(DataPackageRecord& record, bool signed_second_format, bool dont_decompress,
                     SourceClassMap& classes);

 private:
  void ReportResult(LONG result, ULONG method, const DataPackageRecord& record);

  IInterfaceAccess* access_;
  ICompressionAlgo* algo_;
  bool unknown_method_armed_ = true;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_DATA_PACKAGEDECOMPRESSOR_H
