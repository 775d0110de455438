#include "fileaccess/performanceentry.h"

#include <algorithm>
#include <cwchar>
#include <string_view>

#include "platform/textconv.h"

namespace recfilereader {
namespace {

// Copies `text` into a fixed wide field, cut to fit with its terminator.
template <std::size_t N>
void CopyText(wchar_t (&field)[N], const wchar_t* text) {
  const std::size_t length = std::min(std::wcslen(text), N - 1);
  std::wmemcpy(field, text, length);
  field[length] = L'\0';
}

bool NameMatches(const PerformanceQuery& query, const wchar_t* name) {
  // The host's name field may lack a terminator: never look past its end.
  const std::size_t length = std::wcsnlen(query.name, kPerformanceNameChars);
  return WideCompareNoCase(std::wstring_view(query.name, length), name) == 0;
}

}  // namespace

bool OfferPerformanceEntry(PerformanceQuery& query, const wchar_t* name, const wchar_t* unit,
                           DWORD host_handle) {
  ++query.offer_counter;
  const bool match = query.by_index != 0 ? query.offer_counter - 1 == query.wanted_index
                                         : NameMatches(query, name);
  if (!match) return false;
  if (query.by_index != 0 && query.mode == kPerformanceValueAndDescription) {
    CopyText(query.name, name);
    CopyText(query.unit, unit);
    query.description[0] = L'\0';
    query.entry_kind = kPerformanceEntryCounter;
    query.host_handle = host_handle;
  }
  query.answered = 1;
  return true;
}

void AnswerUInt32(PerformanceQuery& query, std::uint32_t value) {
  if (query.mode == kPerformanceLocate) return;
  query.value_type = kPerformanceTypeUInt32;
  query.value.u32 = value;  // the upper half is not part of a 32-bit answer
}

void AnswerUInt64(PerformanceQuery& query, std::uint64_t value) {
  if (query.mode == kPerformanceLocate) return;
  query.value_type = kPerformanceTypeUInt64;
  query.value.u64 = value;
}

void AnswerBool(PerformanceQuery& query, bool value) {
  if (query.mode == kPerformanceLocate) return;
  query.value_type = kPerformanceTypeBool;
  query.value.u32 = value ? 1 : 0;
}

void AnswerDouble(PerformanceQuery& query, double value) {
  if (query.mode == kPerformanceLocate) return;
  query.value_type = kPerformanceTypeDouble;
  query.value.r8 = value;
}

}  // namespace recfilereader
