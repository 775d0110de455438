#include "base/exceptions.h"

#include "platform/textconv.h"

namespace recfilereader {

wexception::wexception(std::wstring text) : text_(std::move(text)), narrow_(WideToUtf8(text_)) {}

}  // namespace recfilereader
