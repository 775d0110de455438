#include "support/peerprograms.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>

namespace rectest {

std::string RunCommand(const std::string& command, int* status) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    *status = -1;
    return output;
  }
  std::array<char, 65536> buffer;
  std::size_t n;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) output.append(buffer.data(), n);
  const int raw = pclose(pipe);
  *status = raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return output;
}

std::optional<std::string> RunCapture(const std::string& command) {
  int status = 0;
  std::string output = RunCommand(command, &status);
  if (status != 0) return std::nullopt;
  return output;
}

// Debian's python3 first: a python3 earlier on the search path may lack Debian's packages.
std::string PythonWithOlefile() {
  for (const char* python : {"/usr/bin/python3", "python3"}) {
    if (RunCapture(std::string(python) + " -c 'import olefile' 2>/dev/null")) return python;
  }
  return "";
}

}  // namespace rectest
