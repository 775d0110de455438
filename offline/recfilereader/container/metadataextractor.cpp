#include "container/metadataextractor.h"

#include <cstring>
#include <cwchar>
#include <optional>
#include <span>
#include <vector>

#include "base/exceptions.h"
#include "base/location.h"
#include "base/privateinterfaces.h"
#include "container/metadataformat.h"
#include "host/reporttohost.h"
#include "host/scopedtempfile.h"
#include "platform/media/picture.h"
#include "platform/propvariantholder.h"
#include "platform/storage/comobject.h"
#include "platform/textconv.h"
#include "properties/audioconverter.h"
#include "properties/compositebuffer.h"
#include "properties/lockbytes2.h"
#include "properties/propstorageloader.h"
#include "properties/propstoragesaver.h"
#include "properties/videoconverter.h"
#include "recfilereader/propertynames.h"

namespace recfilereader {
namespace {

constexpr const char* kFile = "metadataextractor";
constexpr SourceTag kLoadStorage{kFile, "CMetadataExtractor::LoadStorage"};
constexpr SourceTag kSaveStorage{kFile, "CMetadataExtractor::SaveStorage"};
constexpr SourceTag kSaveMarkers{kFile, "CMetadataExtractor::SaveMarkerProperties"};
constexpr SourceTag kReadMarkers{kFile, "CMetadataExtractor::ExtractMarkerProperties"};

constexpr DWORD kReadMode = STGM_READ | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kReadWriteMode = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;            // 0x12
constexpr DWORD kCreateMode = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;  // 0x1012

constexpr wchar_t kRecordingStorage[] = L"Recording properties";
constexpr wchar_t kSystemStorage[] = L"System properties";
constexpr wchar_t kFileInformationStorage[] = L"File Information";
constexpr wchar_t kTimeReferenceStorage[] = L"Time reference";

const CGenericData& RequireKind(const GenericDataList& data, GenericDataType kind, const wchar_t* name) {
  const CGenericData* found = FirstOfKind(data, kind);
  if (found == nullptr) {
    throw exception_data(std::wstring(L"Failed to find data of type \"") + name + L"\" within data list");
  }
  return *found;
}

const GenericDataList& PropertiesData(const MetadataList& list) {
  const MetadataElement* element = FirstElement(list, kMetadataProperties);
  if (element == nullptr) throw exception_data(L"Not available");
  return element->data;
}

// The blob's bytes; an empty blob has no buffer yet.
std::shared_ptr<CCompositeBuffer> BufferOf(const CGenericData& blob) {
  const auto* typed = dynamic_cast<const CGenericBlobData*>(&blob);
  if (typed != nullptr && typed->buffer() != nullptr) return typed->buffer();
  return std::make_shared<CCompositeBuffer>();
}

std::shared_ptr<CCompositeBuffer> CopyOf(const CCompositeBuffer& source, SourceTag where) {
  auto copy = std::make_shared<CCompositeBuffer>();
  std::vector<std::uint8_t> bytes(source.GetSize());
  if (!copy->Resize(bytes.size()) || !source.Read(0, bytes.data(), bytes.size()) ||
      !copy->Write(0, bytes.data(), bytes.size())) {
    throw exception_rt(MemoryFailureText(MemorySource::kOperatorNew, bytes.size(), where));
  }
  return copy;
}

// Opens (or, with kCreateMode, creates) the compound document held by `buffer`.
ComPtr<IStorage> OpenDocument(const std::shared_ptr<CCompositeBuffer>& buffer, DWORD mode, SourceTag where) {
  ComPtr<ILockBytes> bytes;
  *bytes.Out() = new CLockBytes2(buffer);
  ComPtr<IStorage> root;
  const HRESULT hr = mode == kCreateMode
                         ? StgCreateDocfileOnILockBytes(bytes.get(), mode, 0, root.Out())
                         : StgOpenStorageOnILockBytes(bytes.get(), nullptr, mode, nullptr, 0, root.Out());
  if (FAILED(hr)) ThrowSystemError(static_cast<std::uint32_t>(hr), where);
  return root;
}

ComPtr<IStorage> OpenSubStorage(IStorage* root, const wchar_t* name, SourceTag where) {
  ComPtr<IStorage> storage;
  const HRESULT hr = root->OpenStorage(name, nullptr, kReadMode, nullptr, 0, storage.Out());
  if (FAILED(hr)) ThrowSystemError(static_cast<std::uint32_t>(hr), where);
  return storage;
}

// Saves `properties` into a new (or replaced) sub-storage `name` of `root` and commits it.
void SaveSubStorage(IStorage* root, const std::wstring& name, const PropertyMap& properties, SourceTag where) {
  ComPtr<IStorage> storage;
  HRESULT hr = root->CreateStorage(name.c_str(), kCreateMode, 0, 0, storage.Out());
  if (FAILED(hr)) ThrowSystemError(static_cast<std::uint32_t>(hr), where);
  CPropStorageSaver().Save(storage.get(), kMetadataFormatId, properties);
  hr = storage->Commit(0);
  if (FAILED(hr)) ThrowSystemError(static_cast<std::uint32_t>(hr), where);
}

void CommitDocument(IStorage* root, SourceTag where) {
  const HRESULT hr = root->Commit(0);
  if (FAILED(hr)) ThrowSystemError(static_cast<std::uint32_t>(hr), where);
}

PropertyMap ToPropertyMap(const CPropManager& table) {
  PropertyMap properties;
  for (const auto& [name, value] : table.table()) properties.emplace(name, value);
  return properties;
}

void PutAll(CPropManager& table, const PropertyMap& properties) {
  for (const auto& [name, value] : properties) table.Put(name, value.get());
}

// A marker's timestamp from its storage's name: decimal digits only, within 64 bits.
std::optional<LONGLONG> TimestampOfName(const wchar_t* name) {
  if (name == nullptr || *name == L'\0') return std::nullopt;
  std::uint64_t value = 0;
  for (const wchar_t* c = name; *c != L'\0'; ++c) {
    if (*c < L'0' || *c > L'9') return std::nullopt;
    const std::uint64_t digit = static_cast<std::uint64_t>(*c - L'0');
    if (value > (~0ull - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return static_cast<LONGLONG>(value);
}

struct ElementName {
  LPOLESTR name;
  ~ElementName() { CoTaskMemFree(name); }
};

}  // namespace

CMetadataExtractor::CMetadataExtractor(IInterfaceAccess* access)
    : access_(access),
      memory_(access == nullptr ? nullptr : static_cast<IExMemoryMgr*>(access->GetInterface(L"IExMemoryMgr"))) {}

void CMetadataExtractor::Report(const std::wstring& text) { ReportToHost(access_, 0, 0, text); }

template <class Step>
bool CMetadataExtractor::RunStep(const std::wstring& status, Step&& step, bool report_success) {
  try {
    step();
    if (report_success) Report(status + L"OK");
    return true;
  } catch (const wexception& e) {
    Report(status + e.wtext());
  } catch (const std::exception& e) {  // a value that cannot be copied, memory exhaustion
    Report(status + Utf8ToWide(e.what()));
  }
  return false;
}

void CMetadataExtractor::ExtractRecProperties(const MetadataList& list, CPropManager& recording,
                                              DWORD options) {
  const MetadataElement* element = FirstElement(list, kMetadataProperties);
  if (element == nullptr) {
    Report(L"Reading recording properties...Not available");
    return;
  }
  const GenericDataList& data = element->data;
  if (RunStep(L"Reading recording properties (from storage)... ",
              [&] { ReadFromStorage(data, recording); })) {
    return;
  }
  RunStep(L"Reading recording File Information... ", [&] { ReadFileInformation(data, recording); });
  if (options & kReadDescription) {
    RunStep(L"Reading recording description... ", [&] { ReadDescription(data, recording); });
  }
  if (options & kReadAudioComment) {
    RunStep(L"Reading recording audio comment... ", [&] { ReadAudioComment(data, recording); });
  }
  if (options & kReadTimeReference) {
    RunStep(L"Reading recording time reference... ", [&] { ReadTimeReference(data, recording); });
  }
  if (options & kReadVideoPreview) {
    RunStep(L"Reading recording video preview... ", [&] { ReadVideoPreview(list, recording); });
  }
}

PropertyMap CMetadataExtractor::LoadStorage(const GenericDataList& data, const wchar_t* name) {
  const CGenericData& blob = RequireKind(data, gdt_blob, L"gdt_blob");
  const ComPtr<IStorage> root = OpenDocument(BufferOf(blob), kReadMode, kLoadStorage);
  const ComPtr<IStorage> storage = OpenSubStorage(root.get(), name, kLoadStorage);
  PropertyMap properties;
  CPropStorageLoader(memory_).Load(storage.get(), kMetadataFormatId, properties);
  return properties;
}

void CMetadataExtractor::ReadFromStorage(const GenericDataList& data, CPropManager& recording) {
  PutAll(recording, LoadStorage(data, kRecordingStorage));
}

void CMetadataExtractor::ReadFileInformation(const GenericDataList& data, CPropManager& recording) {
  const PropertyMap scratch = LoadStorage(data, kFileInformationStorage);
  for (const wchar_t* name : {kRecPropGUID, kRecPropFileName, kRecPropDataIntegrityViolation}) {
    const auto it = scratch.find(name);
    if (it == scratch.end()) throw exception_data(std::wstring(L"No \"") + name + L"\" property");
    recording.Put(name, it->second.get());
  }
}

void CMetadataExtractor::ReadTimeReference(const GenericDataList& data, CPropManager& recording) {
  const PropertyMap scratch = LoadStorage(data, kTimeReferenceStorage);
  const auto it = scratch.find(L"LocalSystemTime");
  if (it == scratch.end()) throw exception_data(L"No \"LocalSystemTime\" property");
  recording.Put(kRecPropTimeReference, it->second.get());
}

void CMetadataExtractor::ReadDescription(const GenericDataList& data, CPropManager& recording) {
  const CGenericData& text = RequireKind(data, gdt_text, L"gdt_text");
  const std::string value(static_cast<const char*>(text.GetData()), text.GetSize());
  PropVariantHolder description;
  if (value.find("Department:") != std::string::npos) {
    // Such descriptions were filled in by a form, not written by a person: not shown.
    description->vt = VT_LPWSTR;
    description->pwszVal = static_cast<wchar_t*>(CoTaskMemAlloc(sizeof(wchar_t)));
    if (description->pwszVal == nullptr) throw std::bad_alloc();
    description->pwszVal[0] = L'\0';
  } else {
    description->vt = VT_LPSTR;
    description->pszVal = static_cast<char*>(CoTaskMemAlloc(value.size() + 1));
    if (description->pszVal == nullptr) throw std::bad_alloc();
    std::memcpy(description->pszVal, value.c_str(), value.size() + 1);
  }
  recording.Put(kRecPropDescription, description.get());
}

void CMetadataExtractor::ReadAudioComment(const GenericDataList& data, CPropManager& recording) {
  const CGenericData& audio = RequireKind(data, gdt_audio, L"gdt_audio");
  if (audio.GetSize() < WAVEFORMATEX::kEncodedSize) {
    throw exception_data(L"Audio data size is less then size of WAVEFORMATEX");
  }
  const std::span<const std::uint8_t> bytes(static_cast<const std::uint8_t*>(audio.GetData()), audio.GetSize());
  const WAVEFORMATEX format = *WAVEFORMATEX::DecodeFrom(bytes.first(WAVEFORMATEX::kEncodedSize));
  PROPVARIANT samples;  // borrows the clip's bytes; never cleared
  PropVariantInit(&samples);
  samples.vt = VT_BLOB;
  samples.blob.cbSize = static_cast<ULONG>(bytes.size() - WAVEFORMATEX::kEncodedSize);
  samples.blob.pBlobData = const_cast<std::uint8_t*>(bytes.data() + WAVEFORMATEX::kEncodedSize);
  const ScopedTempFile file(access_, L"reader.audio", L"avi", L"Failed to create temporary file for audio conversion");
  PropVariantHolder result;
  CAudioConverter::RawAudioToAviBlob(format, samples, result.get(), file.path());
  recording.Put(kRecPropAudioComment, result.get());
}

void CMetadataExtractor::ReadVideoPreview(const MetadataList& list, CPropManager& recording) {
  const auto previews = list.find(kMetadataVideoPreview);
  if (previews == list.end() || previews->second.empty()) throw exception_data(L"Not available");
  std::vector<Picture> frames;
  for (const MetadataElement& element : previews->second) {
    const CGenericData* picture = FirstOfKind(element.data, gdt_picture);
    if (picture == nullptr) continue;
    std::optional<Picture> frame = DecodePicturePayload(
        {static_cast<const std::uint8_t*>(picture->GetData()), picture->GetSize()});
    if (frame) frames.push_back(std::move(*frame));  // pictures that do not decode are skipped
  }
  const ScopedTempFile file(access_, L"reader.video", L"avi", L"Failed to create temporary file for video conversion");
  PropVariantHolder result;
  CVideoConverter::RawVideoToAviBlob(frames, result.get(), file.path());
  recording.Put(kRecPropVideoPreview, result.get());
}

void CMetadataExtractor::ExtractSysProperties(const MetadataList& list, CPropManager& system) {
  RunStep(L"Reading system properties... ",
          [&] { PutAll(system, LoadStorage(PropertiesData(list), kSystemStorage)); });
}

void CMetadataExtractor::ExtractMarkerProperties(const MetadataList& list, MarkerSet& markers) {
  const std::wstring status = L"Reading marker properties... ";
  const auto elements = list.find(kMetadataMarkers);
  if (elements == list.end() || elements->second.empty()) {
    Report(status + L"Not available");
    return;
  }
  // Every marker element's blob counts, so that files holding several are read whole.
  for (const MetadataElement& element : elements->second) {
    RunStep(status, [&] { ReadMarkerDocument(RequireKind(element.data, gdt_blob, L"gdt_blob"), markers); });
  }
}

void CMetadataExtractor::ReadMarkerDocument(const CGenericData& blob, MarkerSet& markers) {
  const ComPtr<IStorage> root = OpenDocument(BufferOf(blob), kReadMode, kReadMarkers);
  ComPtr<IEnumSTATSTG> elements;
  HRESULT hr = root->EnumElements(0, nullptr, 0, elements.Out());
  if (FAILED(hr)) ThrowSystemError(static_cast<std::uint32_t>(hr), kReadMarkers);
  STATSTG element;
  ULONG fetched = 0;
  while ((hr = elements->Next(1, &element, &fetched)) == S_OK && fetched == 1) {
    const ElementName name{element.pwcsName};
    const std::optional<LONGLONG> timestamp = TimestampOfName(name.name);
    if (element.type != STGTY_STORAGE || !timestamp) continue;
    const auto marker = markers.find(*timestamp);
    if (marker == markers.end()) continue;
    // One marker that cannot be read does not keep the others from being read.
    RunStep(
        L"Reading marker properties... ",
        [&] {
          const ComPtr<IStorage> storage = OpenSubStorage(root.get(), name.name, kReadMarkers);
          CPropStorageLoader(memory_).Load(storage.get(), kMetadataFormatId, marker->second);
        },
        false);
  }
  if (FAILED(hr)) ThrowSystemError(static_cast<std::uint32_t>(hr), kReadMarkers);
}

void CMetadataExtractor::SaveRecProperties(MetadataList& list, const CPropManager& recording) {
  SaveStorage(list, kRecordingStorage, recording);
}

void CMetadataExtractor::SaveSysProperties(MetadataList& list, const CPropManager& system) {
  SaveStorage(list, kSystemStorage, system);
}

void CMetadataExtractor::SaveStorage(MetadataList& list, const wchar_t* name, const CPropManager& table) {
  MetadataElement& element = FirstElementOrNew(list, kMetadataProperties);
  auto old = element.data.end();
  for (auto it = element.data.begin(); it != element.data.end(); ++it) {
    if (*it != nullptr && (*it)->GetType() == gdt_blob) {
      old = it;
      break;
    }
  }
  // The document is edited in a copy: the loaded blob may be shared with other holders.
  const bool has_blob = old != element.data.end();
  const std::shared_ptr<CCompositeBuffer> buffer =
      has_blob ? CopyOf(*BufferOf(**old), kSaveStorage) : std::make_shared<CCompositeBuffer>();
  {
    const ComPtr<IStorage> root = OpenDocument(buffer, has_blob ? kReadWriteMode : kCreateMode, kSaveStorage);
    SaveSubStorage(root.get(), name, ToPropertyMap(table), kSaveStorage);
    CommitDocument(root.get(), kSaveStorage);
  }
  auto blob = std::make_shared<CGenericBlobData>(buffer);
  if (has_blob) {
    *old = std::move(blob);
  } else {
    element.data.push_back(std::move(blob));
  }
}

void CMetadataExtractor::SaveMarkerProperties(MetadataList& list, const MarkerSet& markers) {
  const auto buffer = std::make_shared<CCompositeBuffer>();
  {
    const ComPtr<IStorage> root = OpenDocument(buffer, kCreateMode, kSaveMarkers);
    for (const auto& [timestamp, properties] : markers) {
      SaveSubStorage(root.get(), std::to_wstring(static_cast<std::uint64_t>(timestamp)), properties, kSaveMarkers);
    }
    CommitDocument(root.get(), kSaveMarkers);
  }
  std::vector<MetadataElement>& elements = list[kMetadataMarkers];
  elements.clear();
  elements.push_back({.type = kMetadataMarkers, .id = 0, .data = {std::make_shared<CGenericBlobData>(buffer)}});
}

}  // namespace recfilereader
