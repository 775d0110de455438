#include "rechost/properties.h"

#include "rechost/error.h"
#include "rechost/text.h"

namespace rechost {
namespace {

constexpr LONG kNameCapacity = 512;

}  // namespace

std::vector<Property> ReadProperties(IObjectProperties& table) {
  std::vector<Property> properties;
  const LONG count = table.GetPropertyCount();
  for (LONG i = 0; i < count; ++i) {
    wchar_t name[kNameCapacity] = {};
    if (!table.GetPropertyName(i, name, kNameCapacity)) continue;
    Property property;
    property.name = Narrow(name);
    OwnedValue value;
    if (table.GetProperty(name, value.get())) {
      property.type = (*value).vt;
      property.value = ToValue(*value);
    }
    table.GetPropertyFlags(name, &property.flags);
    properties.push_back(std::move(property));
  }
  return properties;
}

OwnedValue GetProperty(IObjectProperties& table, const std::string& name) {
  OwnedValue value;
  table.GetProperty(Widen(name).c_str(), value.get());
  return value;
}

bool SetPropertyText(IObjectProperties& table, const std::string& name, const std::string& text) {
  const std::wstring wide_name = Widen(name);
  ULONG flags = 0;
  if (table.GetPropertyFlags(wide_name.c_str(), &flags) && (flags & kPropertyFlagReadOnly) != 0)
    throw Error(kCodeFailure, "property \"" + name + "\" is read-only");
  const OwnedValue current = GetProperty(table, name);
  OwnedValue value;
  if (!OwnedValue::Parse(text, (*current).vt, value)) return false;
  if (!table.SetProperty(wide_name.c_str(), value.get()))
    throw Error(kCodeFailure, "property \"" + name + "\" refused the value \"" + text + "\"");
  return true;
}

}  // namespace rechost
