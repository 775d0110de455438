// Answering a host's PerformanceQuery: each answering object offers its counters one by one, in
// a fixed order, through OfferPerformanceEntry. Objects that forward a query pass the same
// record on, so its offer counter runs across them and a query by position walks the chain.
#ifndef RECFILEREADER_FILEACCESS_PERFORMANCEENTRY_H
#define RECFILEREADER_FILEACCESS_PERFORMANCEENTRY_H

#include <cstdint>

#include "recfilereader/compat.h"
#include "recfilereader/performance.h"

namespace recfilereader {

// Counts one offered counter and tells whether it is the one the query wants (by position:
// offer counter - 1 = wanted index; by name: equal without regard to case). On a match, a query
// by position in mode 2 gets the name, the unit, an empty description, the entry kind and
// `host_handle`; answered becomes 1. The caller then writes the value (AnswerValue).
bool OfferPerformanceEntry(PerformanceQuery& query, const wchar_t* name, const wchar_t* unit,
                           DWORD host_handle);

// Writes the value type and value of the matched counter, unless the query only locates.
void AnswerUInt32(PerformanceQuery& query, std::uint32_t value);
void AnswerUInt64(PerformanceQuery& query, std::uint64_t value);
void AnswerBool(PerformanceQuery& query, bool value);
void AnswerDouble(PerformanceQuery& query, double value);

}  // namespace recfilereader

#endif  // RECFILEREADER_FILEACCESS_PERFORMANCEENTRY_H
