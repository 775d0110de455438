#include "platform/storage/cfbformat.h"

#include <algorithm>
#include <cstring>

#include "base/exceptions.h"
#include "platform/bytes.h"
#include "platform/hresults.h"
#include "platform/unicodecase.h"

namespace recfilereader::cfb {

Header Header::DecodeFrom(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kEncodedSize ||
      !std::equal(kSignature.begin(), kSignature.end(), bytes.begin())) {
    throw com_error(STG_E_FILEALREADYEXISTS);
  }
  ByteReader in(bytes.first(kEncodedSize));
  in.Skip(8 + 16);  // signature, header class id (ignored)
  Header h;
  h.minor_version = in.U16();
  h.major_version = in.U16();
  const std::uint16_t byte_order = in.U16();
  h.sector_shift = in.U16();
  h.mini_sector_shift = in.U16();
  in.Skip(6);
  h.directory_sector_count = in.U32();
  h.fat_sector_count = in.U32();
  h.first_directory_sector = in.U32();
  h.transaction_signature = in.U32();
  h.mini_stream_cutoff = in.U32();
  h.first_mini_fat_sector = in.U32();
  h.mini_fat_sector_count = in.U32();
  h.first_difat_sector = in.U32();
  h.difat_sector_count = in.U32();
  for (auto& slot : h.difat) slot = in.U32();

  const bool shift_matches_version = (h.major_version == 3 && h.sector_shift == 9) ||
                                   (h.major_version == 4 && h.sector_shift == 12);
  if (!in.ok() || byte_order != kByteOrderMark || !shift_matches_version ||
      h.mini_sector_shift != kMiniSectorShift || h.mini_stream_cutoff != kMiniStreamCutoff) {
    throw com_error(STG_E_INVALIDHEADER);
  }
  return h;
}

void Header::EncodeTo(std::span<std::uint8_t, kEncodedSize> out) const {
  std::uint8_t* p = out.data();
  std::memset(p, 0, kEncodedSize);
  std::copy(kSignature.begin(), kSignature.end(), p);
  StoreLe16(p + 0x18, minor_version);
  StoreLe16(p + 0x1A, major_version);
  StoreLe16(p + 0x1C, kByteOrderMark);
  StoreLe16(p + 0x1E, sector_shift);
  StoreLe16(p + 0x20, mini_sector_shift);
  StoreLe32(p + 0x28, directory_sector_count);
  StoreLe32(p + 0x2C, fat_sector_count);
  StoreLe32(p + 0x30, first_directory_sector);
  StoreLe32(p + 0x34, transaction_signature);
  StoreLe32(p + 0x38, mini_stream_cutoff);
  StoreLe32(p + 0x3C, first_mini_fat_sector);
  StoreLe32(p + 0x40, mini_fat_sector_count);
  StoreLe32(p + 0x44, first_difat_sector);
  StoreLe32(p + 0x48, difat_sector_count);
  for (std::size_t i = 0; i < kHeaderDifatSlots; ++i) StoreLe32(p + 0x4C + 4 * i, difat[i]);
}

GUID DecodeGuid(const std::uint8_t* p) {
  GUID g;
  g.Data1 = LoadLe32(p);
  g.Data2 = LoadLe16(p + 4);
  g.Data3 = LoadLe16(p + 6);
  std::memcpy(g.Data4, p + 8, sizeof g.Data4);
  return g;
}

void EncodeGuid(std::uint8_t* p, const GUID& guid) {
  StoreLe32(p, guid.Data1);
  StoreLe16(p + 4, guid.Data2);
  StoreLe16(p + 6, guid.Data3);
  std::memcpy(p + 8, guid.Data4, sizeof guid.Data4);
}

namespace {

FILETIME DecodeFileTime(const std::uint8_t* p) { return FILETIME{LoadLe32(p), LoadLe32(p + 4)}; }

void EncodeFileTime(std::uint8_t* p, const FILETIME& t) {
  StoreLe32(p, t.dwLowDateTime);
  StoreLe32(p + 4, t.dwHighDateTime);
}

}  // namespace

DirectoryEntry DirectoryEntry::DecodeFrom(std::span<const std::uint8_t, kEncodedSize> in,
                                          std::uint16_t major_version) {
  const std::uint8_t* p = in.data();
  DirectoryEntry e;
  const std::uint16_t name_bytes = LoadLe16(p + 0x40);
  // Some writers leave the length field wrong; the terminator is what ends the name then,
  // and the last unit of the field is never part of it.
  std::size_t limit = kMaxNameUnits;
  if (name_bytes >= 2 && name_bytes <= 2 * (kMaxNameUnits + 1) && name_bytes % 2 == 0) {
    limit = name_bytes / 2 - 1;
  }
  for (std::size_t i = 0; i < limit; ++i) {
    const char16_t unit = static_cast<char16_t>(LoadLe16(p + 2 * i));
    if (unit == 0) break;
    e.name.push_back(unit);
  }
  e.type = p[0x42];
  e.color = p[0x43];
  e.left = LoadLe32(p + 0x44);
  e.right = LoadLe32(p + 0x48);
  e.child = LoadLe32(p + 0x4C);
  e.clsid = DecodeGuid(p + 0x50);
  e.state_bits = LoadLe32(p + 0x60);
  e.ctime = DecodeFileTime(p + 0x64);
  e.mtime = DecodeFileTime(p + 0x6C);
  e.start_sector = LoadLe32(p + 0x74);
  e.size = LoadLe64(p + 0x78);
  // Old writers left garbage in the high half; a version-3 stream never exceeds 2 GiB.
  if (major_version == 3) e.size &= 0xFFFFFFFFu;
  return e;
}

void DirectoryEntry::EncodeTo(std::span<std::uint8_t, kEncodedSize> out) const {
  std::uint8_t* p = out.data();
  std::memset(p, 0, kEncodedSize);
  const std::size_t units = std::min(name.size(), kMaxNameUnits);
  for (std::size_t i = 0; i < units; ++i) StoreLe16(p + 2 * i, name[i]);
  StoreLe16(p + 0x40, type == kUnused ? 0 : static_cast<std::uint16_t>(2 * (units + 1)));
  p[0x42] = type;
  p[0x43] = color;
  StoreLe32(p + 0x44, left);
  StoreLe32(p + 0x48, right);
  StoreLe32(p + 0x4C, child);
  EncodeGuid(p + 0x50, clsid);
  StoreLe32(p + 0x60, state_bits);
  EncodeFileTime(p + 0x64, ctime);
  EncodeFileTime(p + 0x6C, mtime);
  StoreLe32(p + 0x74, start_sector);
  StoreLe64(p + 0x78, size);
}

int CompareNames(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const char16_t ua = SimpleUpper(a[i]);
    const char16_t ub = SimpleUpper(b[i]);
    if (ua != ub) return ua < ub ? -1 : 1;
  }
  return 0;
}

std::wstring NameToWide(std::u16string_view name) {
  std::wstring out;
  out.reserve(name.size());
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char32_t unit = name[i];
    const bool pair = unit >= 0xD800 && unit <= 0xDBFF && i + 1 < name.size() &&
                      name[i + 1] >= 0xDC00 && name[i + 1] <= 0xDFFF;
    if (pair) {
      out.push_back(static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (name[i + 1] - 0xDC00)));
      ++i;
    } else {
      out.push_back(static_cast<wchar_t>(unit));
    }
  }
  return out;
}

bool NameFromWide(std::wstring_view text, std::u16string* name) {
  name->clear();
  for (const wchar_t c : text) {
    const auto code = static_cast<std::uint32_t>(c);
    if (code > 0x10FFFF) return false;
    if (code >= 0x10000) {
      name->push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
      name->push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
    } else {
      name->push_back(static_cast<char16_t>(code));
    }
  }
  return true;
}

bool IsValidElementName(std::u16string_view name) {
  if (name.empty() || name.size() > kMaxNameUnits) return false;
  return name.find_first_of(u"/\\:!") == std::u16string_view::npos;
}

}  // namespace recfilereader::cfb
