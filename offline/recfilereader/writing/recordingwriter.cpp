#include "writing/recordingwriter.h"

#include <string>

#include "base/exceptions.h"
#include "base/location.h"
#include "container/extendedpackageheader.h"

namespace recfilereader {
namespace {

constexpr SourceTag kAppend{"recordingwriter", "CRecordingWriter::AppendDataPackage"};

}  // namespace

CRecordingWriter::CRecordingWriter(IInterfaceAccess* access, CachingFileReaderPlatform platform)
    : saver_(access, std::move(platform)) {}

CRecordingWriter::~CRecordingWriter() {
  try {
    Close();
  } catch (...) {
    // A destructor reports nothing further: the saver has reported what it could.
  }
}

void CRecordingWriter::Open(const wchar_t* path, DWORD mode) {
  if (saver_.state() != CRecordingSaver::kIdle) throw com_error(E_FAIL);
  package_count_ = 0;
  navigation_ = NavigationIndexer(NavigationIndexer::Rule::kWriter);
  sources_.clear();
  markers_.clear();
  saver_.CreateNewRecording(path, mode);
}

void CRecordingWriter::AppendDataPackage(const DataPackageRecord& record) {
  if (!is_open()) throw com_error(E_FAIL);
  const std::uint64_t trailer =
      (record.Descriptor.PackageFlags & kPackageFlagTrailerMask) != 0 ? kPackageTrailerSize : 0;
  const std::uint64_t data_length = std::uint64_t{record.DataSize} + trailer;
  const std::uint64_t length = kExtendedPackageHeaderSize + data_length + record.ExtraSize;
  if (length > kMaxDataLength) {
    ThrowLocated<exception_rt>(L"A data package of " + std::to_wstring(length) +
                                   L" bytes exceeds the 104857600 bytes a block may hold",
                               kAppend);
  }
  if ((data_length != 0 && record.Data == nullptr) || (record.ExtraSize != 0 && record.ExtraData == nullptr)) {
    ThrowLocated<exception_rt>(L"Invalid argument", kAppend);
  }
  ExtendedPackageHeader header = ExtendedPackageHeader::FromRecord(record);
  header.data_length = static_cast<std::uint32_t>(data_length);
  std::uint8_t encoded[kExtendedPackageHeaderSize];
  header.EncodeTo(encoded);

  block_.header.Type = kBlockData;
  block_.header.Sequence = package_count_;
  block_.header.Link = record.Timestamp;
  block_.header.Tag = kTagExtendedPackage;
  CRecStream& stream = *saver_.stream();
  const std::uint64_t start = stream.GetPosition();
  try {
    // The sources go ahead of the first package too: a recording whose writing is cut off then
    // still names its sources, which is what a repair needs to bring it back.
    if (package_count_ == 0) {
      saver_.SetSources(sources_);
      saver_.WriteConfiguration();
    }
    saver_.WriteBlock(block_, static_cast<std::uint32_t>(length), [&] {
      stream.WriteData(encoded, kExtendedPackageHeaderSize);
      if (data_length != 0) stream.WriteData(record.Data, static_cast<std::uint32_t>(data_length));
      if (record.ExtraSize != 0) stream.WriteData(record.ExtraData, record.ExtraSize);
    });
  } catch (...) {
    stream.SetPosition(start);
    throw;
  }
  navigation_.Add(record.Timestamp, block_.Offset);
  ++package_count_;
}

bool CRecordingWriter::Close() {
  if (!is_open()) return false;
  navigation_.Finish();  // the table reaches the last package
  saver_.SetSources(sources_);
  saver_.SetNavigation(navigation_.map());
  saver_.SetMarkers(markers_);
  return saver_.FinishRecording();
}

}  // namespace recfilereader
