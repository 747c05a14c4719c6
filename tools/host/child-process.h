// Programs the packer leaves work to (a code signer): found on PATH, run
// with their arguments as given, never through a shell.
#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace onefile {

// The first file named name (name.exe on Windows) in the folders of PATH that
// can be run; nullopt when there is none. The current folder is not searched
// unless PATH names it.
std::optional<std::filesystem::path> findOnPath(const std::string& name);

// The most a child's standard input can be given: it is written before the
// child starts, into a pipe that holds at least this much.
inline constexpr size_t CHILD_INPUT_LIMIT = 4096;

// Runs the program with the arguments (UTF-8), the input (at most
// CHILD_INPUT_LIMIT bytes; a secret never shown on a command line) as its
// standard input, and its standard output and error written to outputFile.
// Returns its exit status, or -1 when it ended otherwise (a signal). Throws
// PackError when it cannot be started. Safe to call from several threads.
int runProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
               const std::string& input, const std::filesystem::path& outputFile);

// What a program that reads a named file takes for its standard input:
// "/dev/stdin" (which every version of such a program opens), or "-" on
// Windows, which has no such name.
const char* standardInputName();

// The value of an environment variable as UTF-8; nullopt when it is not set.
std::optional<std::string> environmentVariable(const std::string& name);

}  // namespace onefile
