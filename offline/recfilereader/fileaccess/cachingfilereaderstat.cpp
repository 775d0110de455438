#include "fileaccess/cachingfilereaderstat.h"

#include "fileaccess/performanceentry.h"

namespace recfilereader {

// The percentages are worked out when asked for rather than after every counted access: the
// answer is the same and the read path stays free of divisions.
double CCachingFileReaderStat::hit_percentage() const {
  const std::uint64_t all = accesses();
  return all == 0 ? 0.0 : static_cast<double>(hits()) / static_cast<double>(all) * 100.0;
}

double CCachingFileReaderStat::fail_percentage() const {
  const std::uint64_t all = accesses();
  return all == 0 ? 0.0 : static_cast<double>(fails()) / static_cast<double>(all) * 100.0;
}

bool CCachingFileReaderStat::GetPerformanceTable(PerformanceQuery* query) {
  if (query == nullptr) return false;
  PerformanceQuery& q = *query;
  if (OfferPerformanceEntry(q, L"CachingFileReader::CacheAccess", L"Qnt", host_handle_)) {
    AnswerUInt64(q, accesses());
  } else if (OfferPerformanceEntry(q, L"CachingFileReader::CacheHit", L"%", host_handle_)) {
    AnswerDouble(q, hit_percentage());
  } else if (OfferPerformanceEntry(q, L"CachingFileReader::CacheFail", L"%", host_handle_)) {
    AnswerDouble(q, fail_percentage());
  } else if (OfferPerformanceEntry(q, L"CachingFileReader::UpdateByServiceRequest", L"Qnt",
                                   host_handle_)) {
    AnswerUInt64(q, updates_by_request());
  } else if (OfferPerformanceEntry(q, L"CachingFileReader::UpdateByTimeout", L"Qnt",
                                   host_handle_)) {
    AnswerUInt64(q, updates_by_timeout());
  } else {
    return false;
  }
  return true;
}

}  // namespace recfilereader
