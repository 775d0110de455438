// JSON forms of the reader's values, and writing a document or one line per object.
#ifndef RECTOOL_JSONOUTPUT_H
#define RECTOOL_JSONOUTPUT_H

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "rechost/rechost.h"

namespace rectool {

using Json = nlohmann::ordered_json;

// Numbers stay numbers, blobs give their size (their bytes are reached through `media`).
Json ToJson(const rechost::Value& value);
// {"name", "type", "value", "read_only"} for each property.
Json ToJson(const std::vector<rechost::Property>& properties);
std::string GuidText(const GUID& id);
std::string Base64(const std::vector<std::uint8_t>& bytes);
std::string Hex(const std::vector<std::uint8_t>& bytes);
// One document, indented.
void PrintDocument(const Json& document);
// One object on one line.
void PrintLine(const Json& object);

}  // namespace rectool

#endif  // RECTOOL_JSONOUTPUT_H
