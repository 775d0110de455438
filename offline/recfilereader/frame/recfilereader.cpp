#include "frame/recfilereader.h"

#include <cstdlib>

#include "base/guard.h"
#include "properties/propvalue.h"
#include "recfilereader/propvariant.h"

namespace recfilereader {

CRecFileReader::CRecFileReader(IInterfaceAccess* host)
    : context_(registry_),
      last_error_(&context_),
      external_(&context_, host),
      stream_(&context_),
      package_(external_.memory_manager()),
      temp_files_(&context_),
      sources_(&context_),
      markers_(&context_),
      writer_(&context_),
      decompressor_(&context_, nullptr) {
  RegisterOwnInterfaces();
  RegisterPropertyTable();
  context_.Bind();
  // The memory manager the host and the reader's objects share, whichever it turned out to be.
  registry_.RegisterInterface(L"IExMemoryMgr", external_.GetInterface(L"IRCMemoryMgr"), true);
  LoadCompressionLibrary();
  decompressor_.SetCompressionAlgo(compression_);
}

// Each step of ending the reader stands alone: one that fails (memory running out, say) must
// neither skip the others nor leave the destructor.
CRecFileReader::~CRecFileReader() {
  Contained(false, [&] {
    CloseRecording();
    return true;
  });
  Contained(false, [&] {
    last_error_.SetLastError(kErrorNone, L"");
    return true;
  });
  UnloadCompressionLibrary();
}

void CRecFileReader::RegisterOwnInterfaces() {
  const struct {
    const wchar_t* name;
    void* face;
  } faces[] = {
      {L"IInterfaceAccess", static_cast<IInterfaceAccess*>(this)},
      {L"IObjectDestroy", static_cast<IObjectDestroy*>(this)},
      {L"IPerformanceTable", static_cast<IPerformanceTable*>(this)},
      {L"IRecordingSupport", static_cast<IRecordingSupport*>(this)},
      {L"IRecordingReaderEx", static_cast<IRecordingReaderEx*>(this)},
      {L"IRecordingDataEx", static_cast<IRecordingDataEx*>(this)},
      {L"IRecordingNavigate", static_cast<IRecordingNavigate*>(this)},
      {L"IRecordingPositionEx", static_cast<IRecordingPositionEx*>(this)},
      {L"IRecordingPositionCmp", static_cast<IRecordingPositionCmp*>(this)},
      {L"IRecordingEdit", static_cast<IRecordingEdit*>(this)},
      {L"IRecordingSave", static_cast<IRecordingSave*>(this)},
      {L"IRecordingRepair", static_cast<IRecordingRepair*>(this)},
      {L"IRecordingReader", static_cast<IRecordingReader*>(this)},
      {L"IRecordingData", static_cast<IRecordingData*>(this)},
      {L"IRecordingPosition", static_cast<IRecordingPosition*>(this)},
  };
  for (const auto& face : faces) registry_.RegisterInterface(face.name, face.face, true);
}

void CRecFileReader::RegisterPropertyTable() {
  registry_.RegisterInterface(L"IObjectProperties",
                              static_cast<IObjectProperties*>(static_cast<IExObjectProperties*>(&properties_)), true);
  // Hosts also find the table with its descriptions through the catalogue.
  registry_.RegisterInterface(L"IExObjectProperties", static_cast<IExObjectProperties*>(&properties_), true);
  registry_.RegisterInterface(L"IDirectPropAccess", static_cast<IDirectPropAccess*>(&properties_), false);
}

void CRecFileReader::SetDirect(LONG number, bool value) {
  PROPVARIANT variant;
  PropVariantInit(&variant);
  SetPropBool(variant, value);
  properties_.SetDirectProperty(number, &variant);
}

void CRecFileReader::SetDirect(LONG number, ULONGLONG value) {
  PROPVARIANT variant;
  PropVariantInit(&variant);
  SetPropUI8(variant, value);
  properties_.SetDirectProperty(number, &variant);
}

void CRecFileReader::LoadCompressionLibrary() {
  const char* configured = std::getenv(kCompressionLibraryVariable);
  const std::string path = configured != nullptr && *configured != '\0' ? configured : kCompressionLibraryName;
  // A missing library, or one without the entry point, leaves the reader without decompression.
  if (!compression_library_.Load(path)) return;
  auto create = reinterpret_cast<CreateCompressionAlgoFn>(compression_library_.Symbol(kCreateCompressionAlgoEntry));
  if (create == nullptr) return;
  compression_access_ = create(static_cast<IInterfaceAccess*>(this));
  if (compression_access_ != nullptr)
    compression_ = static_cast<ICompressionAlgo*>(compression_access_->GetInterface(L"ICompressionAlgo"));
}

void CRecFileReader::UnloadCompressionLibrary() noexcept {
  if (compression_access_ != nullptr) {
    Contained(false, [&] {
      auto* destroy = static_cast<IObjectDestroy*>(compression_access_->GetInterface(L"IObjectDestroy"));
      if (destroy != nullptr) destroy->Destroy();
      return true;
    });
  }
  decompressor_.SetCompressionAlgo(nullptr);
  compression_access_ = nullptr;
  compression_ = nullptr;
  compression_library_.Unload();
}

void* CRecFileReader::GetInterface(const wchar_t* name) {
  return Contained<void*>(nullptr, [&] { return registry_.GetInterface(name, true); });
}

void CRecFileReader::Destroy() { delete this; }

bool CRecFileReader::GetPerformanceTable(PerformanceQuery* query) {
  return Contained(false, [&] { return stream_.GetPerformanceTable(query); });
}

BOOL CRecFileReader::ReservedQuery() { return 0; }


}  // namespace recfilereader
