// Builds REC files byte by byte, independently of the library's block code, so that the two
// cannot share a mistake. Blocks chain as a writer lays them down (PrevSize = the total size of
// the block added before, 0 for the first; system blocks linked forward through Link), and the
// header size, back link and length can be forced to damaged values. Raw bytes may be put
// between blocks.
#ifndef RECFILEREADER_TESTS_SUPPORT_RECBUILDER_H
#define RECFILEREADER_TESTS_SUPPORT_RECBUILDER_H

#include <cstdint>
#include <optional>
#include <vector>

namespace rectest {

struct BlockSpec {
  std::uint16_t type = 0xCBFA;
  std::uint64_t sequence = ~0ull;
  std::uint64_t link = ~0ull;  // data blocks only: system blocks are chained
  std::uint32_t tag = ~0u;
  std::vector<std::uint8_t> payload{};
  // Forced values for damaged blocks.
  std::optional<std::uint16_t> header_size{};
  std::optional<std::uint32_t> prev_size{};
  std::optional<std::uint32_t> data_length{};  // the payload is written as given regardless
};

class RecBuilder {
 public:
  // Appends a block; returns its offset.
  std::uint64_t Add(const BlockSpec& block);
  // Appends bytes that are no block. The next block's PrevSize still names the last block.
  void AddRaw(const std::vector<std::uint8_t>& bytes);

  const std::vector<std::uint8_t>& bytes() const { return bytes_; }
  const std::vector<std::uint64_t>& offsets() const { return offsets_; }

 private:
  std::vector<std::uint8_t> bytes_;
  std::vector<std::uint64_t> offsets_;
  std::uint32_t last_total_ = 0;
  std::optional<std::uint64_t> last_system_;
};

// Appends the low `size` bytes of `v`, least significant first; writes them at `at`, growing
// `out` as needed; reads the `size`-byte number at `at`.
void AppendLe(std::vector<std::uint8_t>& out, std::uint64_t v, std::size_t size);
void PutLe(std::vector<std::uint8_t>& out, std::size_t at, std::uint64_t v, std::size_t size);
std::uint64_t GetLe(const std::vector<std::uint8_t>& in, std::size_t at, std::size_t size);

// A payload of `size` bytes that holds no header-like pattern (no 0x20 0x00 pair).
std::vector<std::uint8_t> PlainPayload(std::size_t size, std::uint8_t seed);

}  // namespace rectest

#endif  // RECFILEREADER_TESTS_SUPPORT_RECBUILDER_H
