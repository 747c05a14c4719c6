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

// The program a command's first word names: a path when it holds a folder
// separator, else the first such file in the folders of PATH (on Windows,
// as given when it has an extension, else with .exe, .bat or .cmd added).
// nullopt when there is none.
std::optional<std::filesystem::path> findCommand(const std::string& word);

// A file name as any program can be handed it safely. On Windows, a batch
// file's arguments are read again by cmd, for which & | < > ^ ( ) % ! , ;
// and = mean something: each becomes _, so that no name can become a
// command. Elsewhere no shell reads arguments, and the name stays as it is.
std::string commandSafeFileName(const std::string& name);

// Runs the program with the arguments (UTF-8), an empty standard input, and
// its standard output and error written to outputFile. It inherits no other
// file of the tool's: programs run at once from several threads hold none of
// each other's. Returns its exit status, or -1 when it ended otherwise (a
// signal). Throws PackError when it cannot be started. Safe to call from
// several threads.
int runProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
               const std::filesystem::path& outputFile);

// The value of an environment variable as UTF-8; nullopt when it is not set.
std::optional<std::string> environmentVariable(const std::string& name);

}  // namespace onefile
