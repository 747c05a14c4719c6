#include "harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <stdexcept>

namespace harness {
namespace {

struct PipeReader {
  HANDLE pipe;
  std::string bytes;
};

DWORD WINAPI drainPipe(void* context) {
  auto* reader = static_cast<PipeReader*>(context);
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(reader->pipe, chunk, sizeof chunk, &got, nullptr) && got > 0) reader->bytes.append(chunk, got);
  return 0;
}

struct InputWriter {
  HANDLE pipe;
  std::string bytes;
};

DWORD WINAPI feedPipe(void* context) {
  auto* writer = static_cast<InputWriter*>(context);
  DWORD put = 0;
  WriteFile(writer->pipe, writer->bytes.data(), (DWORD)writer->bytes.size(), &put, nullptr);
  CloseHandle(writer->pipe);
  return 0;
}

void makePipe(HANDLE* readEnd, HANDLE* writeEnd, bool childReads) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  if (!CreatePipe(readEnd, writeEnd, &inherit, 0)) throw std::runtime_error("CreatePipe failed");
  // Only the child's end is inherited.
  SetHandleInformation(childReads ? *writeEnd : *readEnd, HANDLE_FLAG_INHERIT, 0);
}

struct CaseLess {
  bool operator()(const std::wstring& a, const std::wstring& b) const { return _wcsicmp(a.c_str(), b.c_str()) < 0; }
};

std::vector<wchar_t> environmentBlock(const RunOptions& options) {
  std::map<std::wstring, std::wstring, CaseLess> variables;
  wchar_t* strings = GetEnvironmentStringsW();
  for (const wchar_t* entry = strings; *entry != L'\0'; entry += wcslen(entry) + 1) {
    const wchar_t* equals = wcschr(entry + 1, L'=');  // names like "=C:" start with '='
    if (equals != nullptr) variables[std::wstring(entry, equals)] = equals + 1;
  }
  FreeEnvironmentStringsW(strings);
  for (const auto& [name, value] : options.environment) {
    if (value) variables[name] = *value;
    else variables.erase(name);
  }
  std::vector<wchar_t> block;
  for (const auto& [name, value] : variables) {
    std::wstring entry = name + L"=" + value;
    block.insert(block.end(), entry.begin(), entry.end());
    block.push_back(L'\0');
  }
  block.push_back(L'\0');
  return block;
}

HANDLE openNullDevice(DWORD access) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  return CreateFileW(L"NUL", access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
}

// Rarely (a few times in some ten thousand starts here, never on purpose),
// Wine's new process dies in Wine's own start-up code, before the program's
// first instruction, and CreateProcessW fails with ERROR_INTERNAL_ERROR. No
// code of the program ran, so starting it again changes nothing a test looks
// at; Windows never gives this error for a program that can be started.
constexpr int START_ATTEMPTS = 3;

// Starts program as options say, with the given inheritable standard handles,
// or none when all three are null. Returns its process handle, or nullptr
// with the error in *startError.
HANDLE createChild(const std::wstring& program, const RunOptions& options, HANDLE input, HANDLE output,
                   HANDLE error, DWORD* startError) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  bool handsHandles = input != nullptr || output != nullptr || error != nullptr;
  if (handsHandles) startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = output;
  startup.hStdError = error;

  std::wstring commandLine = options.commandLine.empty() ? quoteArgument(program) : options.commandLine;
  std::vector<wchar_t> commandBuffer(commandLine.begin(), commandLine.end());
  commandBuffer.push_back(L'\0');
  std::vector<wchar_t> environment = environmentBlock(options);

  PROCESS_INFORMATION process = {};
  BOOL started = FALSE;
  for (int attempt = 1; !started && attempt <= START_ATTEMPTS; ++attempt) {
    started = CreateProcessW(program.c_str(), commandBuffer.data(), nullptr, nullptr, handsHandles,
                             CREATE_UNICODE_ENVIRONMENT | options.creationFlags, environment.data(),
                             options.currentDirectory.empty() ? nullptr : options.currentDirectory.c_str(),
                             &startup, &process);
    *startError = started ? ERROR_SUCCESS : GetLastError();
    if (started || *startError != ERROR_INTERNAL_ERROR) break;
    fprintf(stderr, "harness: Wine could not start %s (error %lu), attempt %d of %d\n", narrow(program).c_str(),
            (unsigned long)*startError, attempt, START_ATTEMPTS);
  }
  if (!started) return nullptr;
  CloseHandle(process.hThread);
  return process.hProcess;
}

std::runtime_error startFailure(const std::wstring& program, DWORD startError) {
  return std::runtime_error("CreateProcessW failed for " + narrow(program) + ": error " + std::to_string(startError));
}

}  // namespace

RunResult run(const std::wstring& program, const RunOptions& options) {
  HANDLE outRead, outWrite, errRead, errWrite, inRead = nullptr, inWrite = nullptr;
  makePipe(&outRead, &outWrite, false);
  makePipe(&errRead, &errWrite, false);
  if (options.input.empty()) inRead = openNullDevice(GENERIC_READ);
  else makePipe(&inRead, &inWrite, true);

  DWORD startError = 0;
  if (options.errorToOutput) {
    CloseHandle(errWrite);
    errWrite = outWrite;
  }
  HANDLE process = createChild(program, options, inRead, outWrite, errWrite, &startError);
  CloseHandle(outWrite);
  if (errWrite != outWrite) CloseHandle(errWrite);
  CloseHandle(inRead);
  if (process == nullptr) {
    CloseHandle(outRead);
    CloseHandle(errRead);
    if (inWrite != nullptr) CloseHandle(inWrite);
    throw startFailure(program, startError);
  }

  PipeReader out{outRead, {}}, err{errRead, {}};
  InputWriter in{inWrite, options.input};
  HANDLE threads[3];
  int threadCount = 0;
  threads[threadCount++] = CreateThread(nullptr, 0, drainPipe, &out, 0, nullptr);
  threads[threadCount++] = CreateThread(nullptr, 0, drainPipe, &err, 0, nullptr);
  if (inWrite != nullptr) threads[threadCount++] = CreateThread(nullptr, 0, feedPipe, &in, 0, nullptr);

  RunResult result;
  if (WaitForSingleObject(process, options.timeoutMs) != WAIT_OBJECT_0) {
    result.timedOut = true;
    TerminateProcess(process, 0xDEAD);
    WaitForSingleObject(process, INFINITE);
  }
  GetExitCodeProcess(process, &result.exitCode);
  CloseHandle(process);
  // Grandchildren may still hold the pipes; their output is not ours to wait for.
  WaitForMultipleObjects(threadCount, threads, TRUE, result.timedOut ? 1000 : 30000);
  for (int i = 0; i < threadCount; ++i) CloseHandle(threads[i]);
  CloseHandle(outRead);
  CloseHandle(errRead);
  result.out = out.bytes;
  result.err = err.bytes;
  return result;
}

void pointTempAt(RunOptions* options, const std::wstring& folder) {
  options->environment.push_back({L"TMP", folder});
  options->environment.push_back({L"TEMP", folder});
}

HANDLE start(const std::wstring& program, const RunOptions& options) {
  HANDLE null = options.noStandardHandles ? nullptr : openNullDevice(GENERIC_READ | GENERIC_WRITE);
  DWORD startError = 0;
  HANDLE process = createChild(program, options, null, null, null, &startError);
  if (null != nullptr) CloseHandle(null);
  if (process == nullptr) throw startFailure(program, startError);
  return process;
}

DWORD waitForExit(HANDLE process, DWORD timeoutMs) {
  if (WaitForSingleObject(process, timeoutMs) != WAIT_OBJECT_0) return STILL_ACTIVE;
  DWORD status = STILL_ACTIVE;
  GetExitCodeProcess(process, &status);
  return status;
}

std::wstring binDir() {
  wchar_t path[MAX_PATH * 4];
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
  std::wstring full(path, length);
  return full.substr(0, full.find_last_of(L'\\'));
}

std::wstring binPath(const std::wstring& name) { return binDir() + L"\\" + name; }

std::wstring freshTestDir(const std::wstring& suffix) {
  const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
  std::wstring name = test ? widen(std::string(test->test_suite_name()) + "." + test->name()) : L"no-test";
  std::replace(name.begin(), name.end(), L'/', L'_');
  std::wstring root = binDir() + L"\\work";
  CreateDirectoryW(root.c_str(), nullptr);
  std::wstring dir = root + L"\\" + name + suffix;
  removeTree(dir);
  // Under Wine, a program ended while it was starting a child can leave that
  // child half made and holding its executable mapped; run-tests.sh ends
  // such leftovers with the wineserver at the end of every run.
  if (directoryExists(dir))
    throw std::runtime_error("cannot remove what an earlier run left in " + narrow(dir) +
                             " (a process still holds a file there; under Wine, wineserver -k ends it)");
  if (!CreateDirectoryW(dir.c_str(), nullptr)) throw std::runtime_error("cannot create " + narrow(dir));
  return dir;
}

namespace {

// attributes as the folder lists them: a link's own, even where it leads nowhere.
void removeEntry(const std::wstring& path, DWORD attributes) {
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {  // the link goes, never what it leads to
    // Wine's DeleteFileW removes a file link's target, and its
    // RemoveDirectoryW refuses a link to a folder: there, Linux unlinks it.
    if (underWine()) {
      runLinuxProgram({"rm", "-f", linuxPath(path)});
    } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
      RemoveDirectoryW(path.c_str());
    } else {
      DeleteFileW(path.c_str());
    }
    return;
  }
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    DeleteFileW(path.c_str());
    return;
  }
  WIN32_FIND_DATAW entry;
  HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = entry.cFileName;
      if (name != L"." && name != L"..") removeEntry(path + L"\\" + name, entry.dwFileAttributes);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
  }
  RemoveDirectoryW(path.c_str());
}

}  // namespace

void removeTree(const std::wstring& path) {
  WIN32_FIND_DATAW entry;
  HANDLE search = FindFirstFileW(path.c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return;
  FindClose(search);
  removeEntry(path, entry.dwFileAttributes);
  // Wine lists no link that leads nowhere, so a folder holding one stays;
  // Linux removes it, links unfollowed.
  if (underWine() && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
    runLinuxProgram({"rm", "-rf", linuxPath(path)});
}

bool fileExists(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool directoryExists(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string readFile(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + narrow(path));
  std::string bytes;
  char chunk[65536];
  DWORD got = 0;
  while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
  CloseHandle(file);
  return bytes;
}

void writeFile(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create " + narrow(path));
  DWORD put = 0;
  BOOL ok = WriteFile(file, bytes.data(), (DWORD)bytes.size(), &put, nullptr);
  CloseHandle(file);
  if (!ok || put != bytes.size()) throw std::runtime_error("cannot write " + narrow(path));
}

namespace {
void collectTree(const std::wstring& root, const std::wstring& relative, std::vector<std::wstring>* names) {
  WIN32_FIND_DATAW entry;
  std::wstring folder = relative.empty() ? root : root + L"\\" + relative;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    std::wstring name = entry.cFileName;
    if (name == L"." || name == L"..") continue;
    std::wstring child = relative.empty() ? name : relative + L"\\" + name;
    names->push_back(child);
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) collectTree(root, child, names);
  } while (FindNextFileW(search, &entry));
  FindClose(search);
}
}  // namespace

std::vector<std::wstring> listTree(const std::wstring& root) {
  std::vector<std::wstring> names;
  collectTree(root, L"", &names);
  std::sort(names.begin(), names.end());
  return names;
}

std::string treeDifference(const std::wstring& expected, const std::wstring& actual) {
  if (!directoryExists(actual)) return "no folder " + narrow(actual);
  std::vector<std::wstring> names = listTree(expected), found = listTree(actual);
  for (const std::wstring& name : names)
    if (!std::binary_search(found.begin(), found.end(), name)) return "missing: " + narrow(name);
  for (const std::wstring& name : found)
    if (!std::binary_search(names.begin(), names.end(), name)) return "not expected: " + narrow(name);
  for (const std::wstring& name : names) {
    std::wstring source = expected + L"\\" + name, copy = actual + L"\\" + name;
    if (directoryExists(source) != directoryExists(copy)) return "a file and a folder: " + narrow(name);
    if (!directoryExists(source) && readFile(source) != readFile(copy)) return "other bytes: " + narrow(name);
  }
  return "";
}

bool underWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

bool runLinuxProgram(const std::vector<std::string>& argv) {
  // Wine's own ntdll export: NTSTATUS __wine_unix_spawnvp(char* const argv[], int wait).
  using Spawn = LONG(__cdecl*)(char* const*, int);
  auto spawn = reinterpret_cast<Spawn>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "__wine_unix_spawnvp"));
  if (spawn == nullptr) return false;
  std::vector<char*> pointers;
  std::vector<std::string> copies = argv;
  for (std::string& argument : copies) pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  return spawn(pointers.data(), 1) == 0;
}

std::string linuxPath(const std::wstring& path) {
  // kernel32's Wine export: char* wine_get_unix_file_name(const wchar_t*), freed from the process heap.
  using UnixName = char*(__cdecl*)(const wchar_t*);
  auto unixName = reinterpret_cast<UnixName>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name"));
  if (unixName == nullptr) throw std::runtime_error("no Linux path outside Wine");
  char* name = unixName(path.c_str());
  if (name == nullptr) throw std::runtime_error("no Linux path for " + narrow(path));
  std::string copy = name;
  HeapFree(GetProcessHeap(), 0, name);
  return copy;
}

std::wstring windowsPath(const std::wstring& path) {
  if (path.empty() || path[0] != L'/') return path;
  std::wstring windows = L"Z:" + path;
  std::replace(windows.begin(), windows.end(), L'/', L'\\');
  return windows;
}

std::string systemText(DWORD code) {
  char* text = nullptr;
  DWORD length = FormatMessageA(0x1300, nullptr, code, 0x409, (LPSTR)&text, 0, nullptr);
  std::string copy(text ? text : "", length);
  LocalFree(text);
  return copy;
}

std::string systemErrorReport(const std::string& message, DWORD code) {
  std::string trimmed = systemText(code);
  while (!trimmed.empty() && (trimmed.back() == '\r' || trimmed.back() == '\n')) trimmed.pop_back();
  return message + " ([Error " + std::to_string((int32_t)code) + "] " + trimmed + ")\r\n";
}

bool wineCouldNotStartTheChild(const RunResult& result) {
  return result.exitCode == 2 && result.err.find("Error, couldn't launch child ([Error 1359] ") != std::string::npos;
}

FILETIME lastWriteTime(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
    throw std::runtime_error("cannot stat " + narrow(path));
  return data.ftLastWriteTime;
}

std::wstring quoteArgument(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) return argument;
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted.push_back(c);
  }
  quoted.append(backslashes * 2, L'\\');
  quoted.push_back(L'"');
  return quoted;
}

}  // namespace harness
