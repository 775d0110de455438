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

FailureOutcome CurrentFailureOutcome() noexcept {
  FailureOutcome failure;
  try {
    try {
      throw;
    } catch (const exception_rec& e) {
      failure.code = kErrorRecording;
      failure.text = e.wtext();
    } catch (const exception_rt_user_abort& e) {
      failure.code = kErrorUserAbort;
      failure.text = e.wtext();
    } catch (const wexception& e) {
      failure.text = e.wtext();
    } catch (const com_error& e) {
      failure.text = ComErrorText(e);
    } catch (const std::bad_alloc&) {
      failure.text = L"Memory allocation failed via operator new";
    } catch (const std::exception& e) {
      failure.text = ForeignFailureText(&e);
    } catch (...) {
      failure.text = ForeignFailureText(nullptr);
    }
  } catch (...) {
    // Building the text itself failed (memory exhausted): keep at least the code.
    failure.text.clear();
  }
  return failure;
}

LONG RecordCurrentException(IPrivSetLastError& last) noexcept {
  const FailureOutcome failure = CurrentFailureOutcome();
  try {
    last.SetLastError(failure.code, failure.text.c_str());
  } catch (...) {
    last.SetLastError(failure.code, L"");
  }
  return failure.code;
}

}  // namespace recfilereader
