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

template <std::size_t N>
std::size_t BoundedLength(const wchar_t (&field)[N]) {
  std::size_t length = 0;
  while (length < N && field[length] != L'\0') ++length;
  return length;
}

bool NameMatches(const PerformanceQuery& query, const wchar_t* name) {
  // The host's name field may lack a terminator: never look past its end.
  const std::size_t length = BoundedLength(query.Name);
  return WideCompareNoCase(std::wstring_view(query.Name, length), name) == 0;
}

}  // namespace

bool OfferPerformanceEntry(PerformanceQuery& query, const wchar_t* name, const wchar_t* unit,
                           DWORD host_handle) {
  ++query.OfferCounter;
  const bool match = query.ByIndex != 0 ? query.OfferCounter - 1 == query.WantedIndex
                                         : NameMatches(query, name);
  if (!match) return false;
  if (query.ByIndex != 0 && query.Mode == kPerformanceValueAndDescription) {
    CopyText(query.Name, name);
    CopyText(query.Unit, unit);
    query.Description[0] = L'\0';
    query.EntryKind = kPerformanceEntryCounter;
    query.HostHandle = host_handle;
  }
  query.Answered = 1;
  return true;
}

void AnswerUInt32(PerformanceQuery& query, std::uint32_t value) {
  if (query.Mode == kPerformanceLocate) return;
  query.ValueType = kPerformanceTypeUInt32;
  query.Value.U32 = value;  // the upper half is not part of a 32-bit answer
}

void AnswerUInt64(PerformanceQuery& query, std::uint64_t value) {
  if (query.Mode == kPerformanceLocate) return;
  query.ValueType = kPerformanceTypeUInt64;
  query.Value.U64 = value;
}

void AnswerBool(PerformanceQuery& query, bool value) {
  if (query.Mode == kPerformanceLocate) return;
  query.ValueType = kPerformanceTypeBool;
  query.Value.U32 = value ? 1 : 0;
}

void AnswerDouble(PerformanceQuery& query, double value) {
  if (query.Mode == kPerformanceLocate) return;
  query.ValueType = kPerformanceTypeDouble;
  query.Value.R8 = value;
}

}  // namespace recfilereader
