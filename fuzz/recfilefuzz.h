// What the REC section fuzzers share: a recording file made from the input, and a block stream
// over it in memory.
//
// An input whose first byte is odd is the file itself, bytes as they come. An even first byte
// asks for blocks: each takes a type byte (one of the known types, or any type when its high
// bit is set and two more bytes give it), a u16 payload length and that many payload bytes (as
// many as remain), so that the fuzzer spends its time inside payloads rather than on headers.
#ifndef RECFILEREADER_FUZZ_RECFILEFUZZ_H
#define RECFILEREADER_FUZZ_RECFILEFUZZ_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "container/recstream.h"
#include "platform/bytes.h"
#include "support/memfilesystem.h"

namespace recfuzz {

inline std::vector<std::uint8_t> MakeFile(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || (data[0] & 1) != 0) return {data + (size > 0), data + size};
  static constexpr std::uint16_t kTypes[] = {0xCBBF, 0xCBF1, 0xCB01, 0xCB02, 0xCBFA, 0xDAB1,
                                             0xCB0F, 0xCB6E, 0xCB61, 0xCB9D, 0xCB9E, 0xCBEF};
  recfilereader::ByteReader in({data + 1, size - 1});
  std::vector<std::uint8_t> file;
  std::uint32_t previous = 0;
  while (in.ok() && in.remaining() > 0) {
    const std::uint8_t selector = in.U8();
    const std::uint16_t type = (selector & 0x80) != 0 ? in.U16() : kTypes[selector % std::size(kTypes)];
    const std::uint16_t wanted = in.U16();
    const auto payload = in.Bytes(std::min<std::size_t>(wanted, in.remaining()));
    std::uint8_t header[recfilereader::kBlockHeaderSize];
    recfilereader::RecBlockHeader h;
    h.Type = type;
    h.PrevSize = previous;
    h.Link = recfilereader::kRecEndMark;
    h.DataLength = static_cast<std::uint32_t>(payload.size());
    h.EncodeTo(header);
    file.insert(file.end(), header, header + sizeof header);
    file.insert(file.end(), payload.begin(), payload.end());
    previous = static_cast<std::uint32_t>(sizeof header + payload.size());
  }
  return file;
}

// Opens `bytes` as the file "r", or creates the empty file "w" when `bytes` is null.
inline std::unique_ptr<recfilereader::CRecStream> OpenStream(rectest::MemFileSystem& files,
                                                             const std::vector<std::uint8_t>* bytes) {
  recfilereader::CachingFileReaderPlatform platform;
  platform.files = &files;
  platform.start_worker = false;
  auto stream = std::make_unique<recfilereader::CRecStream>(nullptr, platform);
  if (bytes != nullptr) {
    files.Add(L"r", *bytes);
    stream->OpenFile(L"r");
  } else {
    stream->CreateFileW(L"w");
  }
  return stream;
}

}  // namespace recfuzz

#endif  // RECFILEREADER_FUZZ_RECFILEFUZZ_H
