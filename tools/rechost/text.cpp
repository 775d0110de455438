#include "rechost/text.h"

#include <cstdint>

namespace rechost {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Length of the sequence a lead byte starts, and the bits it contributes; 0 for a bad lead.
int SequenceLength(unsigned char lead, char32_t& bits) {
  if (lead < 0x80) return bits = lead, 1;
  if ((lead & 0xE0) == 0xC0) return bits = lead & 0x1F, 2;
  if ((lead & 0xF0) == 0xE0) return bits = lead & 0x0F, 3;
  if ((lead & 0xF8) == 0xF0) return bits = lead & 0x07, 4;
  return 0;
}

bool IsScalar(char32_t c) { return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF); }

}  // namespace

std::wstring Widen(std::string_view utf8) {
  std::wstring out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t c = 0;
    const int length = SequenceLength(static_cast<unsigned char>(utf8[i]), c);
    bool good = length > 0 && i + length <= utf8.size();
    for (int k = 1; good && k < length; ++k) {
      const auto next = static_cast<unsigned char>(utf8[i + k]);
      good = (next & 0xC0) == 0x80;
      c = (c << 6) | (next & 0x3F);
    }
    // Overlong forms and surrogates are refused like any other bad sequence.
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    good = good && c >= kSmallest[length] && IsScalar(c);
    out.push_back(static_cast<wchar_t>(good ? c : kReplacement));
    i += good ? length : 1;
  }
  return out;
}

std::string Narrow(std::wstring_view wide) {
  std::string out;
  out.reserve(wide.size());
  for (wchar_t w : wide) {
    char32_t c = static_cast<char32_t>(static_cast<std::uint32_t>(w));
    if (!IsScalar(c)) c = kReplacement;
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

}  // namespace rechost
