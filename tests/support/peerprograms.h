// The independent programs that cross-check our formats (python3-olefile, gsf, ffmpeg), run
// through the shell.
#ifndef RECFILEREADER_TESTS_SUPPORT_PEERPROGRAMS_H
#define RECFILEREADER_TESTS_SUPPORT_PEERPROGRAMS_H

#include <optional>
#include <string>

namespace rectest {

// Runs a shell command; its standard output, and its exit status in `status`.
std::string RunCommand(const std::string& command, int* status);
// The standard output of a command that exits with 0; nothing otherwise.
std::optional<std::string> RunCapture(const std::string& command);
// A python3 that has olefile, or empty when none is installed.
std::string PythonWithOlefile();

}  // namespace rectest

#endif  // RECFILEREADER_TESTS_SUPPORT_PEERPROGRAMS_H
