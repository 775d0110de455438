// Holds one COM reference and gives it back when it goes, so that early returns and
// exceptions cannot leak storages, streams or property sets.
#ifndef RECFILEREADER_PLATFORM_STORAGE_PROPERTYSETCOMREF_H
#define RECFILEREADER_PLATFORM_STORAGE_PROPERTYSETCOMREF_H

namespace recfilereader {

template <class T>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() { reset(); }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;

  // For out-parameters: releases what is held first.
  T** out() {
    reset();
    return &p_;
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  void reset() {
    if (p_ != nullptr) p_->Release();
    p_ = nullptr;
  }

 private:
  T* p_ = nullptr;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_STORAGE_PROPERTYSETCOMREF_H
