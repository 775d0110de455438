#include "rechost/error.h"

namespace rechost {

Error::Error(LONG code, const std::string& text)
    : std::runtime_error("[code " + std::to_string(code) + "] " + text), code_(code), text_(text) {}

}  // namespace rechost
