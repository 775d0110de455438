#include "rawcfb.h"

#include <algorithm>
#include <cstring>

namespace rectest {

namespace {

void Put16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

RawCfb::RawCfb(int major, std::uint32_t sectors)
    : sector_size_(major == 4 ? 4096 : 512), bytes_((std::size_t{sectors} + 1) * sector_size_, 0) {
  const std::uint8_t signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  std::memcpy(bytes_.data(), signature, 8);
  Header16(0x18, 0x3E);
  Header16(0x1A, static_cast<std::uint16_t>(major));
  Header16(0x1C, 0xFFFE);
  Header16(0x1E, major == 4 ? 12 : 9);
  Header16(0x20, 6);
  Header32(0x30, kEnd);
  Header32(0x38, 4096);
  Header32(0x3C, kEnd);
  Header32(0x44, kEnd);
  for (std::size_t i = 0; i < 109; ++i) Header32(0x4C + 4 * i, kFree);
}

void RawCfb::Header16(std::size_t offset, std::uint16_t value) { Put16(bytes_.data() + offset, value); }
void RawCfb::Header32(std::size_t offset, std::uint32_t value) { Put32(bytes_.data() + offset, value); }

void RawCfb::UseFat(const std::vector<std::uint32_t>& fat_sectors,
                    const std::vector<std::uint32_t>& difat_sectors) {
  fat_sectors_ = fat_sectors;
  const std::uint32_t per_sector = sector_size_ / 4;
  for (std::uint32_t s : fat_sectors) {
    for (std::uint32_t i = 0; i < per_sector; ++i) Put32(Sector(s) + 4 * i, kFree);
  }
  Header32(0x2C, static_cast<std::uint32_t>(fat_sectors.size()));
  for (std::size_t i = 0; i < fat_sectors.size() && i < 109; ++i) Header32(0x4C + 4 * i, fat_sectors[i]);
  Header32(0x44, difat_sectors.empty() ? kEnd : difat_sectors[0]);
  Header32(0x48, static_cast<std::uint32_t>(difat_sectors.size()));
  for (std::size_t d = 0; d < difat_sectors.size(); ++d) {
    std::uint8_t* p = Sector(difat_sectors[d]);
    for (std::uint32_t i = 0; i + 1 < per_sector; ++i) {
      const std::size_t index = 109 + d * (per_sector - 1) + i;
      Put32(p + 4 * i, index < fat_sectors.size() ? fat_sectors[index] : kFree);
    }
    Put32(p + 4 * (per_sector - 1), d + 1 < difat_sectors.size() ? difat_sectors[d + 1] : kEnd);
  }
  for (std::uint32_t s : fat_sectors) Link(s, kFatMark);
  for (std::uint32_t s : difat_sectors) Link(s, kDifMark);
}

void RawCfb::Link(std::uint32_t sector, std::uint32_t next) {
  const std::uint32_t per_sector = sector_size_ / 4;
  Put32(Sector(fat_sectors_.at(sector / per_sector)) + 4 * (sector % per_sector), next);
}

void RawCfb::Chain(const std::vector<std::uint32_t>& sectors) {
  for (std::size_t i = 0; i < sectors.size(); ++i) {
    Link(sectors[i], i + 1 < sectors.size() ? sectors[i + 1] : kEnd);
  }
}

void RawCfb::Entry(std::uint32_t sector, std::uint32_t slot, const RawEntry& e) {
  std::uint8_t* p = Sector(sector) + 128 * slot;
  std::memset(p, 0, 128);
  for (std::size_t i = 0; i < e.name.size() && i < 32; ++i) Put16(p + 2 * i, e.name[i]);
  Put16(p + 0x40, e.name.empty() ? 0 : static_cast<std::uint16_t>(2 * (e.name.size() + 1)));
  p[0x42] = e.type;
  p[0x43] = e.color;
  Put32(p + 0x44, e.left);
  Put32(p + 0x48, e.right);
  Put32(p + 0x4C, e.child);
  Put32(p + 0x74, e.start);
  Put32(p + 0x78, static_cast<std::uint32_t>(e.size));
  Put32(p + 0x7C, static_cast<std::uint32_t>(e.size >> 32));
}

void RawCfb::Fill(std::size_t offset, std::size_t count, std::uint8_t seed) {
  const std::vector<std::uint8_t> p = Pattern(count, seed);
  std::memcpy(bytes_.data() + offset, p.data(), count);
}

std::vector<std::uint8_t> Pattern(std::size_t count, std::uint8_t seed) {
  std::vector<std::uint8_t> out(count);
  for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<std::uint8_t>(seed + i * 7);
  return out;
}

RawCfb SmallDocument() {
  RawCfb doc(3, 13);
  doc.UseFat({0});
  doc.Header32(0x30, 1);  // directory
  doc.Chain({1});
  doc.Header32(0x3C, 2);  // mini FAT
  doc.Header32(0x40, 1);
  doc.Chain({2});
  doc.Chain({3});  // mini stream
  doc.Chain({4, 6, 5, 7, 8, 9, 10, 11, 12});
  // Mini FAT: "Small" takes mini sectors 0 and 1.
  std::uint8_t* mini_fat = doc.Sector(2);
  for (int i = 0; i < 128; ++i) {
    const std::uint32_t v = i == 0 ? 1 : i == 1 ? kEnd : kFree;
    for (int b = 0; b < 4; ++b) mini_fat[4 * i + b] = static_cast<std::uint8_t>(v >> (8 * b));
  }
  doc.Entry(1, 0, {u"Root Entry", 5, 1, kNone, kNone, 1, 3, 128});
  doc.Entry(1, 1, {u"Small", 2, 1, 2, kNone, kNone, 0, 100});
  doc.Entry(1, 2, {u"Big", 2, 0, kNone, kNone, kNone, 4, 4100});
  doc.Entry(1, 3, {u"", 0, 0, kNone, kNone, kNone, 0, 0});
  doc.Fill(512 * 4, 100, 1);  // mini stream = sector 3
  // "Big": sectors 4, 6, 5, 7.. hold its bytes 0-511, 512-1023, 1024-1535, ...
  const std::vector<std::uint8_t> big = Pattern(4100, 9);
  const std::uint32_t order[] = {4, 6, 5, 7, 8, 9, 10, 11, 12};
  for (std::size_t i = 0; i < 9; ++i) {
    const std::size_t n = std::min<std::size_t>(512, 4100 - 512 * i);
    std::memcpy(doc.Sector(order[i]), big.data() + 512 * i, n);
  }
  return doc;
}

}  // namespace rectest
