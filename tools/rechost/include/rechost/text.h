// Texts cross the library's interfaces as wide strings (UTF-32 here); programs speak UTF-8.
#ifndef RECHOST_TEXT_H
#define RECHOST_TEXT_H

#include <string>
#include <string_view>

namespace rechost {

// Invalid UTF-8 becomes U+FFFD, one per bad byte, so no input is ever lost silently.
std::wstring Widen(std::string_view utf8);
// Characters outside Unicode become U+FFFD.
std::string Narrow(std::wstring_view wide);
inline std::string Narrow(const wchar_t* wide) { return wide == nullptr ? std::string() : Narrow(std::wstring_view(wide)); }

}  // namespace rechost

#endif  // RECHOST_TEXT_H
