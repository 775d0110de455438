// Plumbing shared by the COM objects of this folder: the reference count and the guard that
// keeps exceptions from crossing a COM method.
#ifndef RECFILEREADER_PLATFORM_STORAGE_COMOBJECT_H
#define RECFILEREADER_PLATFORM_STORAGE_COMOBJECT_H

#include <atomic>
#include <new>
#include <utility>

#include "base/exceptions.h"
#include "platform/hresults.h"
#include "recfilereader/compat.h"

namespace recfilereader {

// A COM reference count starting at 1 (the reference its creator hands out).
class ComRefCount {
 public:
  ULONG Add() { return ++count_; }
  // The count left; the owner deletes itself when this is 0.
  ULONG Drop() { return --count_; }

 private:
  std::atomic<ULONG> count_{1};
};

// Runs `body` (which returns an HRESULT) and turns what it throws into a result: a com_error
// into its code, memory exhaustion into STG_E_INSUFFICIENTMEMORY, anything else into
// E_UNEXPECTED.
template <class Body>
HRESULT ComGuard(Body&& body) noexcept {
  try {
    return body();
  } catch (const com_error& e) {
    return e.Error();
  } catch (const std::bad_alloc&) {
    return STG_E_INSUFFICIENTMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

// Holds one reference to a COM object and gives it back when it goes.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr& other) : p_(other.p_) {
    if (p_ != nullptr) p_->AddRef();
  }
  ComPtr(ComPtr&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }
  ~ComPtr() { Reset(); }

  void Reset() {
    if (p_ != nullptr) p_->Release();
    p_ = nullptr;
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For out-arguments: drops the current reference and receives a new one.
  T** Out() {
    Reset();
    return &p_;
  }

 private:
  T* p_ = nullptr;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_STORAGE_COMOBJECT_H
