#include "base/guard.h"

#include "platform/systemerror.h"
#include "platform/textconv.h"

namespace recfilereader {

std::wstring ComErrorText(const com_error& failure) {
  return L"COM error: " + SystemErrorText(static_cast<std::uint32_t>(failure.Error()));
}

std::wstring ForeignFailureText(const std::exception* failure) {
  if (failure == nullptr) return L"Unexpected failure of an unknown kind";
  return L"Unexpected failure: " + Utf8ToWide(failure->what());
}

LONG RecordCurrentException(IPrivSetLastError& last) noexcept {
  LONG code = kErrorGeneral;
  try {
    try {
      throw;
    } catch (const exception_rec& e) {
      code = kErrorRecording;
      last.SetLastError(code, e.wtext().c_str());
    } catch (const exception_rt_user_abort& e) {
      code = kErrorUserAbort;
      last.SetLastError(code, e.wtext().c_str());
    } catch (const wexception& e) {
      last.SetLastError(code, e.wtext().c_str());
    } catch (const com_error& e) {
      last.SetLastError(code, ComErrorText(e).c_str());
    } catch (const std::bad_alloc&) {
      last.SetLastError(code, L"Memory allocation failed via operator new");
    } catch (const std::exception& e) {
      last.SetLastError(code, ForeignFailureText(&e).c_str());
    } catch (...) {
      last.SetLastError(code, ForeignFailureText(nullptr).c_str());
    }
  } catch (...) {
    // Building the text itself failed (memory exhausted): keep at least the code.
    last.SetLastError(code, L"");
  }
  return code;
}

}  // namespace recfilereader
