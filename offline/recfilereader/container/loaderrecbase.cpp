#include "container/loaderrecbase.h"

#include <new>

#include "base/exceptions.h"
#include "base/guard.h"

namespace recfilereader {

CLoaderRecBase::CLoaderRecBase(IInterfaceAccess* access, CRecStream& stream, const RecBlock& version_block,
                               NavigationMap& navigation, DWORD options)
    : navigation_(navigation),
      access_(access),
      reporter_(access),
      memory_(access == nullptr ? nullptr : static_cast<IExMemoryMgr*>(access->GetInterface(L"IExMemoryMgr"))),
      stream_(stream),
      version_block_(version_block),
      options_(options) {}

CLoaderRecBase::~CLoaderRecBase() = default;

void CLoaderRecBase::Execute(IThreadedProcessStatus* status, IAbort* abort) {
  try {
    try {
      Load(Run(status, abort));
      SetOutcome(kLoadSucceeded, {});
    } catch (const exception_data& e) {
      SetOutcome(kLoadDataFailure, e.wtext());
    } catch (const exception_rt_user_abort& e) {
      SetOutcome(kLoadAborted, e.wtext());
    } catch (const exception_rt& e) {
      SetOutcome(kLoadRuntimeFailure, e.wtext());
    } catch (const wexception& e) {
      SetOutcome(kLoadRuntimeFailure, e.wtext());
    } catch (const com_error& e) {
      SetOutcome(kLoadRuntimeFailure, ComErrorText(e));
    } catch (const std::bad_alloc&) {
      SetOutcome(kLoadRuntimeFailure, L"Memory allocation failed via operator new");
    } catch (const std::exception& e) {
      SetOutcome(kLoadRuntimeFailure, ForeignFailureText(&e));
    } catch (...) {
      SetOutcome(kLoadRuntimeFailure, ForeignFailureText(nullptr));
    }
  } catch (...) {
    // Building the text failed (memory exhausted): the code alone still fails the open.
    outcome_code_ = kLoadRuntimeFailure;
    outcome_text_.clear();
  }
}

void CLoaderRecBase::SetOutcome(ULONG code, std::wstring text) {
  outcome_code_ = code;
  outcome_text_ = std::move(text);
}

void CLoaderRecBase::ParseConfiguration(const RecBlock& block) {
  CFileConfigParser().ParseConfigInfo({block.payload.data(), block.payload.size()}, sources_, memory_);
}

void CLoaderRecBase::Run::Step(LONG progress, const wchar_t* text) const {
  Progress(progress);
  Text(text);
}

void CLoaderRecBase::Run::Progress(LONG progress) const {
  if (status_ != nullptr) status_->SetProgress(progress);
}

void CLoaderRecBase::Run::Text(const wchar_t* text) const {
  if (status_ != nullptr) status_->SetStatusText(text);
}

void CLoaderRecBase::Run::CheckAbort() const {
  if (abort_ != nullptr && abort_->IsAborted()) throw exception_rt_user_abort();
}

}  // namespace recfilereader
