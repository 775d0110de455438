// An owning PROPVARIANT: cleared when it goes, deep-copied when copied. Property-set models and
// property tables hold their values in it so that no path can leak a value's memory.
#ifndef RECFILEREADER_PLATFORM_PROPVARIANTHOLDER_H
#define RECFILEREADER_PLATFORM_PROPVARIANTHOLDER_H

#include <new>
#include <utility>

#include "recfilereader/compat.h"
#include "recfilereader/propvariant.h"

namespace recfilereader {

class PropVariantHolder {
 public:
  PropVariantHolder() noexcept { PropVariantInit(&value_); }
  // Deep copy of `value`; throws std::bad_alloc when memory runs out.
  explicit PropVariantHolder(const PROPVARIANT& value) {
    PropVariantInit(&value_);
    if (FAILED(PropVariantCopy(&value_, &value))) throw std::bad_alloc();
  }
  PropVariantHolder(const PropVariantHolder& other) : PropVariantHolder(other.value_) {}
  PropVariantHolder(PropVariantHolder&& other) noexcept : value_(other.value_) {
    PropVariantInit(&other.value_);
  }
  PropVariantHolder& operator=(PropVariantHolder other) noexcept {
    std::swap(value_, other.value_);
    return *this;
  }
  ~PropVariantHolder() { PropVariantClear(&value_); }

  // Takes over what `value` owns and leaves it VT_EMPTY.
  static PropVariantHolder Adopt(PROPVARIANT& value) noexcept {
    PropVariantHolder holder;
    holder.value_ = value;
    PropVariantInit(&value);
    return holder;
  }

  // Hands over what the holder owns and leaves it VT_EMPTY.
  PROPVARIANT Detach() noexcept {
    PROPVARIANT value = value_;
    PropVariantInit(&value_);
    return value;
  }

  const PROPVARIANT& get() const noexcept { return value_; }
  // For filling in place: the previous value must be cleared first (see Reset).
  PROPVARIANT& get() noexcept { return value_; }
  PROPVARIANT* operator->() noexcept { return &value_; }
  const PROPVARIANT* operator->() const noexcept { return &value_; }
  VARTYPE vt() const noexcept { return value_.vt; }
  void Reset() noexcept { PropVariantClear(&value_); }

 private:
  PROPVARIANT value_;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_PROPVARIANTHOLDER_H
