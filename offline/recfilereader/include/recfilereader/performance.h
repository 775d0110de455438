// Named performance counters. A host reads them one at a time with a PerformanceQuery, either by
// name or by position. Objects that forward a query to the objects below them pass the same
// record on, so its offer counter runs across all of them and a query by position enumerates
// the counters of the whole chain.
#ifndef RECFILEREADER_PERFORMANCE_H
#define RECFILEREADER_PERFORMANCE_H

#include <cstddef>

#include "recfilereader/compat.h"

// What a query asks for (PerformanceQuery::mode).
constexpr ULONG kPerformanceLocate = 0;               // find the counter only
constexpr ULONG kPerformanceValue = 1;                // and its value
constexpr ULONG kPerformanceValueAndDescription = 2;  // and, by position, name and unit

// Type of PerformanceQuery::value (the codes of the matching VT_* types).
constexpr ULONG kPerformanceTypeBool = 6;    // 0 or 1 in value.u32
constexpr ULONG kPerformanceTypeUInt32 = 7;  // value.u32
constexpr ULONG kPerformanceTypeUInt64 = 9;  // value.u64
constexpr ULONG kPerformanceTypeDouble = 12; // value.r8

constexpr ULONG kPerformanceEntryCounter = 2;  // PerformanceQuery::entry_kind of a counter

constexpr std::size_t kPerformanceUnitChars = 256;
constexpr std::size_t kPerformanceNameChars = 256;
constexpr std::size_t kPerformanceDescriptionChars = 2048;

// The host's query record. The host owns it and fills mode, by_index, wanted_index and, for a
// query by name, name; the answering object writes the rest. Texts are zero-terminated.
//
// OFFSET (W = sizeof(wchar_t))   SIZE   FIELD
//      0                            4   mode: kPerformance{Locate,Value,ValueAndDescription}
//      4                            4   offer_counter: +1 for every counter offered
//      8                            4   by_index: non-zero selects by position, 0 by name
//     12                            4   wanted_index: position sought (offer_counter - 1)
//     16                        256 W   unit
//     16 + 256 W                256 W   name: the name sought, or the name found by position
//     16 + 512 W               2048 W   description: always written empty
//     16 + 2560 W                   4   value_type: kPerformanceType*
//     20 + 2560 W                   4   padding
//     24 + 2560 W                   8   value
//     32 + 2560 W                   4   entry_kind: kPerformanceEntryCounter
//     36 + 2560 W                   4   host_handle of the answering object
//     40 + 2560 W                   4   answered: 1 when a counter matched
// With a 2-byte wchar_t these are the offsets of the 5,168-byte record hosts on other platforms
// use; here the texts keep their character counts and the record grows with wchar_t.
struct PerformanceQuery {
  ULONG mode;
  ULONG offer_counter;
  ULONG by_index;
  ULONG wanted_index;
  wchar_t unit[kPerformanceUnitChars];
  wchar_t name[kPerformanceNameChars];
  wchar_t description[kPerformanceDescriptionChars];
  ULONG value_type;
  ULONG padding;
  union {
    ULONGLONG u64;
    ULONG u32;  // the low 32 bits
    double r8;
  } value;
  ULONG entry_kind;
  ULONG host_handle;
  ULONG answered;
};

static_assert(offsetof(PerformanceQuery, offer_counter) == 4);
static_assert(offsetof(PerformanceQuery, by_index) == 8);
static_assert(offsetof(PerformanceQuery, wanted_index) == 12);
static_assert(offsetof(PerformanceQuery, unit) == 16);
static_assert(offsetof(PerformanceQuery, name) == 16 + 256 * sizeof(wchar_t));
static_assert(offsetof(PerformanceQuery, description) == 16 + 512 * sizeof(wchar_t));
static_assert(offsetof(PerformanceQuery, value_type) == 16 + 2560 * sizeof(wchar_t));
static_assert(offsetof(PerformanceQuery, padding) == 20 + 2560 * sizeof(wchar_t));
static_assert(offsetof(PerformanceQuery, value) == 24 + 2560 * sizeof(wchar_t));
static_assert(offsetof(PerformanceQuery, entry_kind) == 32 + 2560 * sizeof(wchar_t));
static_assert(offsetof(PerformanceQuery, host_handle) == 36 + 2560 * sizeof(wchar_t));
static_assert(offsetof(PerformanceQuery, answered) == 40 + 2560 * sizeof(wchar_t));
static_assert(sizeof(PerformanceQuery) == 48 + 2560 * sizeof(wchar_t));

struct IPerformanceTable {
  // 0: offers the object's counters, in their fixed order, to `query`; true when one of them
  // answered (answered is then 1), false otherwise and for a null query.
  virtual bool GetPerformanceTable(PerformanceQuery* query) = 0;

 protected:
  ~IPerformanceTable() = default;
};

#endif  // RECFILEREADER_PERFORMANCE_H
