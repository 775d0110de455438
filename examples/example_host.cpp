// A small host: creates a reader, prints the interfaces it hands out and its properties with
// their values and flags, and destroys it. It uses only the public headers.
#include <cinttypes>
#include <cstdio>
#include <string>

#include "recfilereader/propvariant.h"
#include "recfilereader/recfilereader.h"

namespace {

const wchar_t* const kInterfaceNames[] = {
    L"IInterfaceAccess",   L"IObjectDestroy",       L"IPerformanceTable",     L"IRecordingSupport",
    L"IRecordingReader",   L"IRecordingReaderEx",   L"IRecordingData",        L"IRecordingDataEx",
    L"IRecordingNavigate", L"IRecordingPosition",   L"IRecordingPositionEx",  L"IRecordingPositionCmp",
    L"IRecordingEdit",     L"IRecordingSave",       L"IRecordingRepair",      L"IExMemoryMgr",
    L"IRecordingError",    L"IObjectProperties",
};

std::string Narrow(const wchar_t* text) {
  std::string out;
  for (; text != nullptr && *text != L'\0'; ++text) {
    const auto c = static_cast<std::uint32_t>(*text);
    out += c < 0x80 ? static_cast<char>(c) : '?';
  }
  return out;
}

std::string ValueText(const PROPVARIANT& value) {
  char buffer[64];
  switch (value.vt) {
    case VT_EMPTY: return "(empty)";
    case VT_I4: std::snprintf(buffer, sizeof buffer, "%" PRId32, value.lVal); return buffer;
    case VT_UI4: std::snprintf(buffer, sizeof buffer, "%" PRIu32, value.ulVal); return buffer;
    case VT_UI8: std::snprintf(buffer, sizeof buffer, "%" PRIu64, value.uhVal); return buffer;
    case VT_R8: std::snprintf(buffer, sizeof buffer, "%g", value.dblVal); return buffer;
    case VT_LPWSTR: return "\"" + Narrow(value.pwszVal) + "\"";
    case VT_VECTOR | VT_LPWSTR: {
      std::string out = "[";
      for (ULONG i = 0; i < value.calpwstr.cElems; ++i)
        out += (i ? ", \"" : "\"") + Narrow(value.calpwstr.pElems[i]) + "\"";
      return out + "]";
    }
    default: std::snprintf(buffer, sizeof buffer, "(type %u)", value.vt); return buffer;
  }
}

const char* TypeName(VARTYPE type) {
  switch (type) {
    case VT_I4: return "VT_I4";
    case VT_UI4: return "VT_UI4";
    case VT_UI8: return "VT_UI8";
    case VT_R8: return "VT_R8";
    case VT_LPWSTR: return "VT_LPWSTR";
    case VT_VECTOR | VT_LPWSTR: return "VT_VECTOR|VT_LPWSTR";
    default: return "other";
  }
}

void PrintProperties(IObjectProperties* properties) {
  const LONG count = properties->GetPropertyCount();
  std::printf("\nProperties (%d):\n", static_cast<int>(count));
  for (LONG i = 0; i < count; ++i) {
    wchar_t name[256];
    if (!properties->GetPropertyName(i, name, 256)) continue;
    PROPVARIANT value;
    PropVariantInit(&value);
    const bool read = properties->GetProperty(name, &value);
    ULONG flags = 0;
    properties->GetPropertyFlags(name, &flags);
    std::printf("  %-24s %-20s %-28s %s\n", Narrow(name).c_str(), read ? TypeName(value.vt) : "-",
                read ? ValueText(value).c_str() : "(unreadable)",
                (flags & kPropertyFlagReadOnly) != 0 ? "read-only" : "writable");
    PropVariantClear(&value);
  }
}

}  // namespace

int main() {
  IInterfaceAccess* reader = CreateRecordingReader(nullptr);
  if (reader == nullptr) {
    std::fprintf(stderr, "CreateRecordingReader failed\n");
    return 1;
  }
  std::printf("Interfaces:\n");
  for (const wchar_t* name : kInterfaceNames)
    std::printf("  %-24s %s\n", Narrow(name).c_str(), reader->GetInterface(name) != nullptr ? "yes" : "no");

  auto* properties = static_cast<IObjectProperties*>(reader->GetInterface(L"IObjectProperties"));
  if (properties != nullptr) PrintProperties(properties);

  auto* destroy = static_cast<IObjectDestroy*>(reader->GetInterface(L"IObjectDestroy"));
  destroy->Destroy();
  return 0;
}
