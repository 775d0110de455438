#include "jsonoutput.h"

#include <cinttypes>
#include <cstdio>
#include <iostream>

namespace rectool {

Json ToJson(const rechost::Value& value) {
  using Kind = rechost::Value::Kind;
  switch (value.kind) {
    case Kind::kEmpty: return nullptr;
    case Kind::kBool: return value.boolean;
    case Kind::kInteger: return value.integer;
    case Kind::kUnsigned: return value.unsigned_integer;
    case Kind::kReal: return value.real;
    case Kind::kText: return value.text;
    case Kind::kBytes: return Json{{"size", value.bytes.size()}};
    case Kind::kList: {
      Json items = Json::array();
      for (const auto& item : value.items) items.push_back(ToJson(item));
      return items;
    }
  }
  return nullptr;
}

Json ToJson(const std::vector<rechost::Property>& properties) {
  Json out = Json::array();
  for (const auto& p : properties)
    out.push_back({{"name", p.name}, {"type", rechost::TypeName(p.type)}, {"value", ToJson(p.value)}, {"read_only", p.read_only()}});
  return out;
}

std::string GuidText(const GUID& g) {
  char out[40];
  std::snprintf(out, sizeof out, "{%08" PRIX32 "-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return out;
}

std::string Base64(const std::vector<std::uint8_t>& bytes) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::uint32_t group = (std::uint32_t{bytes[i]} << 16) | (i + 1 < bytes.size() ? bytes[i + 1] << 8 : 0) |
                                (i + 2 < bytes.size() ? bytes[i + 2] : 0);
    out += kAlphabet[(group >> 18) & 63];
    out += kAlphabet[(group >> 12) & 63];
    out += i + 1 < bytes.size() ? kAlphabet[(group >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? kAlphabet[group & 63] : '=';
  }
  return out;
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (std::uint8_t b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

void PrintDocument(const Json& document) { std::cout << document.dump(2, ' ', false, Json::error_handler_t::replace) << '\n'; }

void PrintLine(const Json& object) { std::cout << object.dump(-1, ' ', false, Json::error_handler_t::replace) << '\n'; }

}  // namespace rectool
