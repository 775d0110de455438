#include "platform/textconv.h"

#include "platform/unicodecase.h"

namespace recfilereader {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

char32_t ValidScalar(char32_t c) { return (c > 0x10FFFF || IsSurrogate(c)) ? kReplacement : c; }

void AppendUtf8(std::string& out, char32_t c) {
  c = ValidScalar(c);
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Decodes one UTF-8 sequence at text[i]; advances i past what it consumed.
char32_t DecodeUtf8(std::string_view text, std::size_t& i) {
  const auto lead = static_cast<unsigned char>(text[i++]);
  if (lead < 0x80) return lead;
  int trail = 0;
  char32_t c = 0;
  char32_t minimum = 0;
  if ((lead & 0xE0) == 0xC0) { trail = 1; c = lead & 0x1F; minimum = 0x80; }
  else if ((lead & 0xF0) == 0xE0) { trail = 2; c = lead & 0x0F; minimum = 0x800; }
  else if ((lead & 0xF8) == 0xF0) { trail = 3; c = lead & 0x07; minimum = 0x10000; }
  else return kReplacement;
  for (int k = 0; k < trail; ++k) {
    if (i >= text.size()) return kReplacement;
    const auto next = static_cast<unsigned char>(text[i]);
    if ((next & 0xC0) != 0x80) return kReplacement;
    c = (c << 6) | (next & 0x3F);
    ++i;
  }
  if (c < minimum) return kReplacement;
  return ValidScalar(c);
}

void AppendUtf16(std::u16string& out, char32_t c) {
  c = ValidScalar(c);
  if (c < 0x10000) {
    out += static_cast<char16_t>(c);
  } else {
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (c >> 10));
    out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
  }
}

}  // namespace

std::string WideToUtf8(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (wchar_t c : text) AppendUtf8(out, static_cast<char32_t>(c));
  return out;
}

std::wstring Utf8ToWide(std::string_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) out += static_cast<wchar_t>(DecodeUtf8(text, i));
  return out;
}

std::u16string WideToUtf16(std::wstring_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (wchar_t c : text) AppendUtf16(out, static_cast<char32_t>(c));
  return out;
}

std::wstring Utf16ToWide(std::u16string_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      out += static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else {
      out += static_cast<wchar_t>(IsSurrogate(unit) ? kReplacement : unit);
    }
  }
  return out;
}

std::vector<std::uint8_t> WideToUtf16Le(std::wstring_view text) {
  const std::u16string units = WideToUtf16(text);
  std::vector<std::uint8_t> bytes;
  bytes.reserve(units.size() * 2);
  for (char16_t unit : units) {
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  return bytes;
}

std::wstring Utf16LeToWide(const std::uint8_t* bytes, std::size_t size) {
  std::u16string units;
  units.reserve(size / 2);
  for (std::size_t i = 0; i + 1 < size; i += 2)
    units += static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
  return Utf16ToWide(units);
}

namespace {

// Characters beyond the Basic Multilingual Plane keep their case.
template <char16_t (*Map)(char16_t)>
wchar_t MapWide(wchar_t c) {
  return static_cast<std::uint32_t>(c) <= 0xFFFF ? static_cast<wchar_t>(Map(static_cast<char16_t>(c))) : c;
}

}  // namespace

std::wstring WideToLower(std::wstring_view text) {
  std::wstring out(text);
  for (wchar_t& c : out) c = MapWide<SimpleLower>(c);
  return out;
}

std::wstring WideToUpper(std::wstring_view text) {
  std::wstring out(text);
  for (wchar_t& c : out) c = MapWide<SimpleUpper>(c);
  return out;
}

int WideCompareNoCase(std::wstring_view a, std::wstring_view b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    const auto ca = static_cast<std::uint32_t>(MapWide<FoldCase>(a[i]));
    const auto cb = static_cast<std::uint32_t>(MapWide<FoldCase>(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

}  // namespace recfilereader
