#include "platform/storage/propertysetcodepage.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <memory>

#include "platform/bytes.h"
#include "platform/textconv.h"

namespace recfilereader {
namespace {

constexpr wchar_t kReplacement = 0xFFFD;

// Code page 1252 differs from Latin-1 only in 0x80-0x9F; 0 marks the five unassigned bytes.
constexpr char16_t kWestern80[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

wchar_t WesternToWide(std::uint8_t byte) {
  if (byte < 0x80 || byte >= 0xA0) return byte;
  const char16_t c = kWestern80[byte - 0x80];
  return c == 0 ? kReplacement : static_cast<wchar_t>(c);
}

std::optional<std::uint8_t> WideToWestern(wchar_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<std::uint8_t>(c);
  for (int i = 0; i < 32; ++i) {
    if (kWestern80[i] != 0 && static_cast<wchar_t>(kWestern80[i]) == c)
      return static_cast<std::uint8_t>(0x80 + i);
  }
  return std::nullopt;
}

// The iconv name of a Windows code page.
std::string IconvName(std::uint16_t code_page) {
  switch (code_page) {
    case 936: return "GBK";
    case 949: return "UHC";
    case 950: return "BIG5";
    case 1361: return "JOHAB";
    case 10000: return "MACINTOSH";
    case 20127: return "ASCII";
    case 20866: return "KOI8-R";
    case 21866: return "KOI8-U";
    case 20932: case 51932: return "EUC-JP";
    case 54936: return "GB18030";
    case 65000: return "UTF-7";
    default: break;
  }
  if (code_page >= 28591 && code_page <= 28606) return "ISO-8859-" + std::to_string(code_page - 28590);
  return "CP" + std::to_string(code_page);
}

struct IconvCloser {
  void operator()(iconv_t cd) const { iconv_close(cd); }
};
using IconvHandle = std::unique_ptr<std::remove_pointer_t<iconv_t>, IconvCloser>;

IconvHandle OpenIconv(const char* to, const std::string& from) {
  iconv_t cd = iconv_open(to, from.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return nullptr;
  return IconvHandle(cd);
}

std::wstring DecodeWithIconv(std::span<const std::uint8_t> bytes, std::uint16_t code_page) {
  std::wstring out;
  IconvHandle cd = OpenIconv("UTF-32LE", IconvName(code_page));
  if (!cd) {
    for (std::uint8_t b : bytes) out.push_back(b < 0x80 ? static_cast<wchar_t>(b) : kReplacement);
    return out;
  }
  char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
  std::size_t in_left = bytes.size();
  std::uint8_t buffer[256];
  while (in_left > 0) {
    char* out_ptr = reinterpret_cast<char*>(buffer);
    std::size_t out_left = sizeof buffer;
    const std::size_t rc = iconv(cd.get(), &in, &in_left, &out_ptr, &out_left);
    const std::size_t produced = sizeof buffer - out_left;
    for (std::size_t i = 0; i + 4 <= produced; i += 4) out.push_back(static_cast<wchar_t>(LoadLe32(buffer + i)));
    if (rc != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) continue;
    // An invalid or cut-off sequence: one replacement, then go on after its first byte.
    out.push_back(kReplacement);
    ++in;
    --in_left;
    iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
  }
  return out;
}

std::optional<std::vector<std::uint8_t>> EncodeWithIconv(std::wstring_view text,
                                                         std::uint16_t code_page) {
  IconvHandle cd = OpenIconv(IconvName(code_page).c_str(), "UTF-32LE");
  if (!cd) return std::nullopt;
  std::vector<std::uint8_t> source(text.size() * 4);
  for (std::size_t i = 0; i < text.size(); ++i)
    StoreLe32(source.data() + 4 * i, static_cast<std::uint32_t>(text[i]));
  char* in = reinterpret_cast<char*>(source.data());
  std::size_t in_left = source.size();
  std::vector<std::uint8_t> out;
  std::uint8_t buffer[256];
  bool flushed = false;
  while (!flushed) {
    char* out_ptr = reinterpret_cast<char*>(buffer);
    std::size_t out_left = sizeof buffer;
    // Once the input is used up, one more call writes any shift sequence that ends the text.
    const bool flushing = in_left == 0;
    const std::size_t rc = flushing ? iconv(cd.get(), nullptr, nullptr, &out_ptr, &out_left)
                                    : iconv(cd.get(), &in, &in_left, &out_ptr, &out_left);
    out.insert(out.end(), buffer, buffer + (sizeof buffer - out_left));
    if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) return std::nullopt;
    flushed = flushing && rc != static_cast<std::size_t>(-1);
  }
  return out;
}

}  // namespace

std::wstring CodePageToWide(std::span<const std::uint8_t> bytes, std::uint16_t code_page) {
  switch (code_page) {
    case kCodePageUnicode:
      return Utf16LeToWide(bytes.data(), bytes.size());
    case kCodePageUtf8:
      return Utf8ToWide(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    case kCodePageWestern: {
      std::wstring out;
      out.reserve(bytes.size());
      for (std::uint8_t b : bytes) out.push_back(WesternToWide(b));
      return out;
    }
    default:
      return DecodeWithIconv(bytes, code_page);
  }
}

std::optional<std::vector<std::uint8_t>> WideToCodePage(std::wstring_view text,
                                                       std::uint16_t code_page) {
  switch (code_page) {
    case kCodePageUnicode:
      return WideToUtf16Le(text);
    case kCodePageUtf8: {
      const std::string utf8 = WideToUtf8(text);
      return std::vector<std::uint8_t>(utf8.begin(), utf8.end());
    }
    case kCodePageWestern: {
      std::vector<std::uint8_t> out;
      out.reserve(text.size());
      for (wchar_t c : text) {
        const auto byte = WideToWestern(c);
        if (!byte) return std::nullopt;
        out.push_back(*byte);
      }
      return out;
    }
    default:
      return EncodeWithIconv(text, code_page);
  }
}

bool FitsWestern(std::wstring_view text) {
  for (wchar_t c : text) {
    if (!WideToWestern(c)) return false;
  }
  return true;
}

}  // namespace recfilereader
