// The contract with the optional compression library, a separate module that decompresses data
// packages. The reader loads it once, calls its entry point with the reader's IInterfaceAccess
// and asks the access it returns for "ICompressionAlgo" and, when the reader ends, for
// "IObjectDestroy". Without the library, compressed packages are handed out as stored.
#ifndef RECFILEREADER_COMPRESSION_H
#define RECFILEREADER_COMPRESSION_H

#include "recfilereader/base.h"
#include "recfilereader/compat.h"
#include "recfilereader/data.h"

// Name of the library's entry point, of type CreateCompressionAlgoFn.
constexpr const char kCreateCompressionAlgoEntry[] = "CreateCompressionAlgo";

extern "C" {
// Makes the library's object; returns its interface access, or null.
using CreateCompressionAlgoFn = IInterfaceAccess* (*)(IInterfaceAccess* reader);
}

// Results of ICompressionAlgo::DecompressPackage; any other non-zero value is a failure code.
constexpr LONG kCompressionOk = 0;
constexpr LONG kCompressionUnknownMethod = 9;

struct ICompressionAlgo {
  // 0: the inverse of DecompressPackage, for writers; the reader does not call it.
  virtual LONG CompressPackage(DataPackageRecord* record, const wchar_t* source_class) = 0;
  // 1: replaces the compressed payload of `record`, whose PackageFlags name the method, by the
  // decompressed one; `source_class` is the class name of the package's source ("" when
  // unknown). Returns kCompressionOk, kCompressionUnknownMethod or a failure code.
  virtual LONG DecompressPackage(DataPackageRecord* record, const wchar_t* source_class) = 0;

 protected:
  ~ICompressionAlgo() = default;
};

#endif  // RECFILEREADER_COMPRESSION_H
