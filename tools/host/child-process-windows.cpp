#include "host/child-process.h"

#include <windows.h>

#include <cstring>
#include <cwchar>
#include <vector>

#include "host/command-words.h"
#include "host/interrupt-cleanup.h"
#include "host/pack-error.h"
#include "host/utf.h"
#include "host/windows-error.h"

namespace onefile {
namespace {

constexpr wchar_t PATH_SEPARATOR = L';';

struct Handle {
  HANDLE value = nullptr;
  ~Handle() {
    if (value != nullptr && value != INVALID_HANDLE_VALUE) CloseHandle(value);
  }
};

// The attribute list that names the handles a child inherits.
struct AttributeList {
  std::vector<unsigned char> storage;
  LPPROC_THREAD_ATTRIBUTE_LIST list = nullptr;
  bool create() {
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);  // fails, saying the size
    storage.resize(size);
    auto candidate = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.data());
    if (size == 0 || !InitializeProcThreadAttributeList(candidate, 1, 0, &size)) return false;
    list = candidate;
    return true;
  }
  ~AttributeList() {
    if (list != nullptr) DeleteProcThreadAttributeList(list);
  }
};

std::wstring wide(const std::string& utf8) {
  std::optional<std::u16string> text = utf8ToUtf16(utf8);
  return text ? std::wstring(text->begin(), text->end()) : std::wstring();
}

// What cmd acts on in a batch file's arguments, outside quotes.
constexpr char CMD_SPECIAL_CHARACTERS[] = "&|<>^()%!,;=";

// One argument as the C runtime's parser splits it back: quoted when it has
// blanks or quotes, with the backslashes before a quote doubled. Quoted too
// when it holds what cmd acts on, so that a batch file takes it as one
// argument and runs none of it; the runtime's parser drops those quotes.
void appendQuoted(std::wstring* line, const std::wstring& argument) {
  static const std::wstring quoted = L" \t\"" + wide(CMD_SPECIAL_CHARACTERS);
  if (!line->empty()) *line += L' ';
  if (!argument.empty() && argument.find_first_of(quoted) == std::wstring::npos) {
    *line += argument;
    return;
  }
  *line += L'"';
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    line->append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    *line += c;
  }
  line->append(backslashes * 2, L'\\');
  *line += L'"';
}

bool isFile(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The first folder of PATH that holds a file of one of the names.
std::optional<std::filesystem::path> firstOnPath(const std::vector<std::wstring>& names) {
  DWORD size = GetEnvironmentVariableW(L"PATH", nullptr, 0);
  if (size == 0) return std::nullopt;
  std::wstring folders(size, L'\0');
  folders.resize(GetEnvironmentVariableW(L"PATH", folders.data(), size));
  for (size_t start = 0; start <= folders.size();) {
    size_t end = folders.find(PATH_SEPARATOR, start);
    if (end == std::wstring::npos) end = folders.size();
    std::wstring folder = folders.substr(start, end - start);
    start = end + 1;
    if (folder.size() >= 2 && folder.front() == L'"' && folder.back() == L'"') folder = folder.substr(1, folder.size() - 2);
    if (folder.empty()) continue;
    for (const std::wstring& name : names) {
      std::filesystem::path candidate = std::filesystem::path(folder) / name;
      if (isFile(candidate.wstring())) return candidate;
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::filesystem::path> findOnPath(const std::string& name) {
  return firstOnPath({wide(name) + L".exe"});
}

std::optional<std::filesystem::path> findCommand(const std::string& word) {
  std::wstring name = wide(word);
  std::vector<std::wstring> names{name};
  if (std::filesystem::path(name).extension().empty()) names = {name + L".exe", name + L".bat", name + L".cmd"};
  if (name.find_first_of(L"\\/:") == std::wstring::npos) return firstOnPath(names);
  for (const std::wstring& candidate : names)
    if (isFile(candidate)) return std::filesystem::path(candidate);
  return std::nullopt;
}

std::string commandSafeFileName(const std::string& name) {
  std::string safe = name;
  for (char& c : safe)
    if (std::strchr(CMD_SPECIAL_CHARACTERS, c) != nullptr) c = '_';
  return safe;
}

std::vector<std::string> splitCommandWords(const std::string& text) { return splitWindowsWords(text); }

int runProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
               const std::filesystem::path& outputFile) {
  std::string shown = displayName(program.u8string());
  auto failed = [&](const char* what) { return PackError(shown, what + windowsErrorText(GetLastError())); };
  // Inheritable, but handed to this child alone through its handle list: a
  // program started at the same time from another thread gets none of them.
  SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
  Handle input, output;
  input.value = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (input.value == INVALID_HANDLE_VALUE) throw failed("cannot be started: ");
  output.value = CreateFileW(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  if (output.value == INVALID_HANDLE_VALUE) throw failed("cannot be started: ");
  HANDLE own[] = {input.value, output.value};
  AttributeList attributes;
  if (!attributes.create() || !UpdateProcThreadAttribute(attributes.list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, own,
                                                         sizeof own, nullptr, nullptr))
    throw failed("cannot be started: ");

  std::wstring line;
  appendQuoted(&line, program.wstring());
  for (const std::string& argument : arguments) appendQuoted(&line, wide(argument));
  STARTUPINFOEXW startup = {};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = input.value;
  startup.StartupInfo.hStdOutput = output.value;
  startup.StartupInfo.hStdError = output.value;
  startup.lpAttributeList = attributes.list;
  PROCESS_INFORMATION process = {};
  // Started suspended, so that it is in the job that ends it with the tool
  // before it can do anything; where it cannot be, it runs all the same.
  if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE,
                      CREATE_NO_WINDOW | CREATE_SUSPENDED | EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
                      &startup.StartupInfo, &process))
    throw failed("cannot be started: ");
  Handle child{process.hProcess}, thread{process.hThread};
  endWithInterrupt(child.value);
  if (ResumeThread(thread.value) == static_cast<DWORD>(-1)) {
    DWORD error = GetLastError();
    TerminateProcess(child.value, 1);
    SetLastError(error);
    throw failed("cannot be started: ");
  }
  DWORD status = 0;
  if (WaitForSingleObject(child.value, INFINITE) != WAIT_OBJECT_0 || !GetExitCodeProcess(child.value, &status))
    throw failed("cannot be waited for: ");
  return static_cast<int>(status);
}

std::optional<std::string> environmentVariable(const std::string& name) {
  std::wstring key = wide(name);
  DWORD size = GetEnvironmentVariableW(key.c_str(), nullptr, 0);
  if (size == 0) return GetLastError() == ERROR_ENVVAR_NOT_FOUND ? std::nullopt : std::optional<std::string>("");
  std::wstring value(size, L'\0');
  value.resize(GetEnvironmentVariableW(key.c_str(), value.data(), size));
  return utf16ToUtf8(std::u16string(value.begin(), value.end()));
}

}  // namespace onefile
