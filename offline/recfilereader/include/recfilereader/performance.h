// Named performance counters. A host reads them one at a time with a PerformanceQuery, either by
// name or by position. Objects that forward a query to the objects below them pass the same
// record on, so its offer counter runs across all of them and a query by position enumerates
// the counters of the whole chain.
#ifndef RECFILEREADER_PERFORMANCE_H
#define RECFILEREADER_PERFORMANCE_H

#include <cstddef>

#include "recfilereader/compat.h"

// What a query asks for (PerformanceQuery::Mode).
constexpr ULONG kPerformanceLocate = 0;               // find the counter only
constexpr ULONG kPerformanceValue = 1;                // and its value
constexpr ULONG kPerformanceValueAndDescription = 2;  // and, by position, name and unit

// Type of PerformanceQuery::Value (the codes of the matching VT_* types).
constexpr ULONG kPerformanceTypeBool = 6;    // 0 or 1 in Value.U32
constexpr ULONG kPerformanceTypeUInt32 = 7;  // Value.U32
constexpr ULONG kPerformanceTypeUInt64 = 9;  // Value.U64
constexpr ULONG kPerformanceTypeDouble = 12; // Value.R8

constexpr ULONG kPerformanceEntryCounter = 2;  // PerformanceQuery::EntryKind of a counter

constexpr std::size_t kPerformanceUnitChars = 256;
constexpr std::size_t kPerformanceNameChars = 256;
constexpr std::size_t kPerformanceDescriptionChars = 2048;

// The host's query record. The host owns it and fills Mode, ByIndex, WantedIndex and, for a
// query by name, Name; the answering object writes the rest. Texts are zero-terminated.
//
// OFFSET (W = sizeof(wchar_t))   SIZE   FIELD
//      0                            4   Mode: kPerformance{Locate,Value,ValueAndDescription}
//      4                            4   OfferCounter: +1 for every counter offered
//      8                            4   ByIndex: non-zero selects by position, 0 by name
//     12                            4   WantedIndex: position sought (OfferCounter - 1)
//     16                        256 W   Unit
//     16 + 256 W                256 W   Name: the name sought, or the name found by position
//     16 + 512 W               2048 W   Description: always written empty
//     16 + 2560 W                   4   ValueType: kPerformanceType*
//     20 + 2560 W                   4   Padding
//     24 + 2560 W                   8   Value
//     32 + 2560 W                   4   EntryKind: kPerformanceEntryCounter
//     36 + 2560 W                   4   HostHandle of the answering object
//     40 + 2560 W                   4   Answered: 1 when a counter matched
// With a 2-byte wchar_t these are the offsets of the 5,168-byte record hosts on other platforms
// use; here the texts keep their character counts and the record grows with wchar_t.
struct PerformanceQuery {
  ULONG Mode;
  ULONG OfferCounter;
  ULONG ByIndex;
  ULONG WantedIndex;
  wchar_t Unit[kPerformanceUnitChars];
  wchar_t Name[kPerformanceNameChars];
  wchar_t Description[kPerformanceDescriptionChars];
  ULONG ValueType;
  ULONG Padding;
  union {
    ULONGLONG U64;
    ULONG U32;  // the low 32 bits (little-endian)
    double R8;
  } Value;
  ULONG EntryKind;
  ULONG HostHandle;
  ULONG Answered;
};

static_assert(offsetof(PerformanceQuery, OfferCounter) == 4);
static_assert(offsetof(PerformanceQuery, ByIndex) == 8);
static_assert(offsetof(PerformanceQuery, WantedIndex) == 12);
static_assert(offsetof(PerformanceQuery, Unit) == 16);
static_assert(offsetof(PerformanceQuery, Name) == 16 + 256 * sizeof(wchar_t));
static_assert(offsetof(PerformanceQuery, Description) == 16 + 512 * sizeof(wchar_t));
static_assert(offsetof(PerformanceQuery, ValueType) == 16 + 2560 * sizeof(wchar_t));
static_assert(offsetof(PerformanceQuery, Padding) == 20 + 2560 * sizeof(wchar_t));
static_assert(offsetof(PerformanceQuery, Value) == 24 + 2560 * sizeof(wchar_t));
static_assert(offsetof(PerformanceQuery, EntryKind) == 32 + 2560 * sizeof(wchar_t));
static_assert(offsetof(PerformanceQuery, HostHandle) == 36 + 2560 * sizeof(wchar_t));
static_assert(offsetof(PerformanceQuery, Answered) == 40 + 2560 * sizeof(wchar_t));
static_assert(sizeof(PerformanceQuery) == 48 + 2560 * sizeof(wchar_t));

struct IPerformanceTable {
  // 0: offers the object's counters, in their fixed order, to `query`; true when one of them
  // answered (Answered is then 1), false otherwise and for a null query.
  virtual bool GetPerformanceTable(PerformanceQuery* query) = 0;

 protected:
  ~IPerformanceTable() = default;
};

#endif  // RECFILEREADER_PERFORMANCE_H
