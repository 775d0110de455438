// The library's failure family. Every failure inside the library is one of these; the guard at
// each host-facing operation turns it into a last-error code and text, so none ever reaches the
// host. Each carries only a wide text; what() gives the same text as UTF-8.
#ifndef RECFILEREADER_BASE_EXCEPTIONS_H
#define RECFILEREADER_BASE_EXCEPTIONS_H

#include <exception>
#include <string>

#include "recfilereader/compat.h"

namespace recfilereader {

class wexception : public std::exception {
 public:
  explicit wexception(std::wstring text);
  wexception(const wexception&) = default;
  wexception& operator=(const wexception&) = default;
  ~wexception() override = default;

  const char* what() const noexcept override { return narrow_.c_str(); }
  const std::wstring& wtext() const noexcept { return text_; }

 private:
  std::wstring text_;
  std::string narrow_;
};

#define RECFILEREADER_DECLARE_EXCEPTION(Name, Base)        \
  class Name : public Base {                               \
   public:                                                 \
    explicit Name(std::wstring text) : Base(std::move(text)) {} \
    Name(const Name&) = default;                           \
    Name& operator=(const Name&) = default;                \
  };
#define RECFILEREADER_DECLARE_EXCEPTION_WITH_DEFAULT(Name, Base, DefaultText) \
  class Name : public Base {                                                 \
   public:                                                                   \
    Name() : Base(DefaultText) {}                                            \
    explicit Name(std::wstring text) : Base(std::move(text)) {}              \
    Name(const Name&) = default;                                             \
    Name& operator=(const Name&) = default;                                  \
  };

RECFILEREADER_DECLARE_EXCEPTION(exception_data, wexception)
RECFILEREADER_DECLARE_EXCEPTION(exception_rec, exception_data)
RECFILEREADER_DECLARE_EXCEPTION_WITH_DEFAULT(exception_rec_corrupted, exception_rec, L"Recording corrupted")
RECFILEREADER_DECLARE_EXCEPTION_WITH_DEFAULT(exception_rec_invalid, exception_rec, L"Not a valid recording")
RECFILEREADER_DECLARE_EXCEPTION_WITH_DEFAULT(exception_rec_invalid_sig, exception_rec,
                                             L"Invalid recording signature")
RECFILEREADER_DECLARE_EXCEPTION(exception_rec_invalid_offset, exception_rec)
RECFILEREADER_DECLARE_EXCEPTION(exception_rt, wexception)
RECFILEREADER_DECLARE_EXCEPTION_WITH_DEFAULT(exception_rt_user_abort, exception_rt, L"Aborted by user")

#undef RECFILEREADER_DECLARE_EXCEPTION
#undef RECFILEREADER_DECLARE_EXCEPTION_WITH_DEFAULT

// A failed platform or COM call that only has a result code (the COM-error exception). It is
// not a wexception: the guard's final catch reports it with code 10.
class com_error : public std::exception {
 public:
  explicit com_error(HRESULT code) noexcept : code_(code) {}
  HRESULT Error() const noexcept { return code_; }
  const char* what() const noexcept override { return "COM error"; }

 private:
  HRESULT code_;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_BASE_EXCEPTIONS_H
