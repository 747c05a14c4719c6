// Runs Windows programs from a test and looks at what they did: exit status
// (all 32 bits), standard output and error, environment and files.
#pragma once
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "wide-text.h"

namespace harness {

struct RunOptions {
  // The whole command line, program name included; empty: the quoted program path.
  std::wstring commandLine;
  // Empty: the test's own current directory.
  std::wstring currentDirectory;
  // Changes to the test's environment: a value sets, nullopt removes.
  std::vector<std::pair<std::wstring, std::optional<std::wstring>>> environment;
  // Bytes for standard input; without any, standard input is the null device.
  std::string input;
  DWORD timeoutMs = 120000;
  // Added to the process creation flags (e.g. DETACHED_PROCESS).
  DWORD creationFlags = 0;
  // run: standard error goes to the standard output pipe, so that the order
  // of what the program wrote on both can be seen.
  bool errorToOutput = false;
  // start: hand the program no standard handles at all, as launchers do.
  bool noStandardHandles = false;
};

struct RunResult {
  DWORD exitCode = 0;
  std::string out;
  std::string err;
  bool timedOut = false;
};

RunResult run(const std::wstring& program, const RunOptions& options = {});

// Points the run's TMP and TEMP at folder. The tests' bootstraps unpack below
// {TEMP}, so that each run unpacks into a folder of the test's own.
void pointTempAt(RunOptions* options, const std::wstring& folder);

// Starts a program without waiting for it, with the command line,
// environment, current directory and creation flags of options; its standard
// handles lead to the null device, or are not given (noStandardHandles). The
// caller owns the returned process handle.
HANDLE start(const std::wstring& program, const RunOptions& options = {});

// Waits for a started program and gives its exit status (STILL_ACTIVE when
// it did not end in time).
DWORD waitForExit(HANDLE process, DWORD timeoutMs = 120000);

// Folder of the running test program; test programs and bootstraps are built there.
std::wstring binDir();
std::wstring binPath(const std::wstring& name);

// An empty folder of the test's own below the build's work folder; the name
// is made from the running test's suite and name plus an optional suffix.
std::wstring freshTestDir(const std::wstring& suffix = L"");

// Removes path and everything below it; a link is removed itself, never followed.
void removeTree(const std::wstring& path);
bool fileExists(const std::wstring& path);
bool directoryExists(const std::wstring& path);
std::string readFile(const std::wstring& path);
void writeFile(const std::wstring& path, const std::string& bytes);
// Every file and folder below root, relative, backslash-separated, sorted.
std::vector<std::wstring> listTree(const std::wstring& root);
// The first way in which the tree at actual differs from the one at expected
// (a name missing or added, or a file's bytes), as text; empty when both hold
// the same files and folders, byte for byte.
std::string treeDifference(const std::wstring& expected, const std::wstring& actual);
FILETIME lastWriteTime(const std::wstring& path);

// True under Wine, whose ntdll names its version.
bool underWine();

// Runs a Linux program under Wine (argv[0] searched in PATH) and waits for it;
// true when it ran and exited with status 0. Linux paths of Windows ones come
// from linuxPath. Only for what Windows itself cannot set up for a test.
bool runLinuxProgram(const std::vector<std::string>& argv);
std::string linuxPath(const std::wstring& path);
// A path as scripts give it, Linux or Windows: a Linux one is reached
// through drive Z:, with backslashes.
std::wstring windowsPath(const std::wstring& path);

// The system's own English text for a code, as it stands (line end included).
std::string systemText(DWORD code);

// A report of reportSystemError as the bootstrap writes it: message, code and
// the system's own English text for the code, with CR LF at the end.
std::string systemErrorReport(const std::string& message, DWORD code);

// True when a bootstrap's run ended because Wine itself could not start the
// application: its start of a new process dies now and then under load with
// error 1359, before the program runs (the harness starts its own programs
// again for it). That ending is Wine's, never the bootstrap's.
bool wineCouldNotStartTheChild(const RunResult& result);

// Quotes one argument so that CommandLineToArgvW and the C runtime give it back.
std::wstring quoteArgument(const std::wstring& argument);

}  // namespace harness
