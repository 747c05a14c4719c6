// A console program that stands in for the unpacked application: it reports
// what it received and ends as it is told. Controlled by its environment, so
// that its command line carries nothing but the arguments under test.
//
//   CHILD_REPORT_FILE  write the report there (atomically, by renaming a
//                      finished file) instead of to standard output
//   CHILD_EXIT_CODE    exit status, any 32-bit value (decimal or 0x...)
//   CHILD_READ_INPUT   when set, standard input is read to its end (with the
//                      value "line": up to its first line feed) and reported
//   CHILD_WRITE_OUTPUT when set, one line goes to standard output
//   CHILD_WRITE_ERROR  when set, one line goes to standard error
//   CHILD_ON_EVENT     "ignore": stay running and ignore console control
//                      events; "exit": stay running and end with
//                      CHILD_EXIT_CODE on the first event
//
// The report is UTF-8, one "key value" line per item (see child-report.h).
#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "wide-text.h"

namespace {

const wchar_t* const REPORTED_VARIABLES[] = {
    L"TRAVIK_ONEFILE_PARENT", L"TRAVIK_ONEFILE_START",     L"TRAVIK_ONEFILE_TIME_US",
    L"TRAVIK_ONEFILE_RANDOM", L"TRAVIK_ONEFILE_DIRECTORY", L"TRAVIK_ORIGINAL_ARGV0",
};

DWORD exitCode = 0;

bool readVariable(const wchar_t* name, std::wstring* value) {
  DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) {
    if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
    value->clear();
    return true;
  }
  value->assign(size, L'\0');
  DWORD length = GetEnvironmentVariableW(name, value->data(), size);
  value->resize(length);
  return true;
}

// Keeps each item on one line: backslash, CR and LF are escaped.
std::string escaped(const std::string& bytes) {
  std::string out;
  for (char c : bytes) {
    if (c == '\\') out += "\\\\";
    else if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else out += c;
  }
  return out;
}

void addLine(std::string* report, const std::string& key, const std::wstring& value) {
  *report += key + " " + escaped(harness::narrow(value)) + "\n";
}

DWORD parentProcessId() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  DWORD parent = 0;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
    if (entry.th32ProcessID == GetCurrentProcessId()) parent = entry.th32ParentProcessID;
  CloseHandle(snapshot);
  return parent;
}

// A console delivers a typed line per read and never an end of input.
std::string readInput(bool oneLine) {
  std::string bytes;
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), chunk, sizeof chunk, &got, nullptr) && got > 0) {
    bytes.append(chunk, got);
    if (oneLine && bytes.find('\n') != std::string::npos) break;
  }
  return bytes;
}

std::string buildReport() {
  std::string report;
  addLine(&report, "commandLine", GetCommandLineW());
  int count = 0;
  wchar_t** split = CommandLineToArgvW(GetCommandLineW(), &count);
  for (int i = 0; i < count; ++i) addLine(&report, "argument", split[i]);
  LocalFree(split);
  for (int i = 0; i < __argc; ++i) addLine(&report, "runtimeArgument", __wargv[i]);
  wchar_t path[MAX_PATH * 4];
  addLine(&report, "currentDirectory", std::wstring(path, GetCurrentDirectoryW(MAX_PATH * 4, path)));
  addLine(&report, "modulePath", std::wstring(path, GetModuleFileNameW(nullptr, path, MAX_PATH * 4)));
  for (const wchar_t* name : REPORTED_VARIABLES) {
    std::wstring value;
    if (readVariable(name, &value)) addLine(&report, "variable." + harness::narrow(name), value);
  }
  addLine(&report, "processId", std::to_wstring(GetCurrentProcessId()));
  addLine(&report, "parentProcessId", std::to_wstring(parentProcessId()));
  std::wstring flag;
  if (readVariable(L"CHILD_READ_INPUT", &flag)) report += "input " + escaped(readInput(flag == L"line")) + "\n";
  report += "end\n";
  return report;
}

void writeAll(HANDLE file, const std::string& bytes) {
  DWORD put = 0;
  WriteFile(file, bytes.data(), (DWORD)bytes.size(), &put, nullptr);
}

// Written under another name and renamed, so that a reader waiting for the
// file never sees half of it.
void deliverReport(const std::string& report) {
  std::wstring path;
  if (!readVariable(L"CHILD_REPORT_FILE", &path)) return writeAll(GetStdHandle(STD_OUTPUT_HANDLE), report);
  std::wstring partial = path + L".partial";
  HANDLE file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  writeAll(file, report);
  CloseHandle(file);
  MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

BOOL WINAPI ignoreEvent(DWORD) { return TRUE; }
BOOL WINAPI exitOnEvent(DWORD) { ExitProcess(exitCode); }

}  // namespace

int wmain() {
  std::wstring text;
  if (readVariable(L"CHILD_EXIT_CODE", &text)) exitCode = (DWORD)wcstoul(text.c_str(), nullptr, 0);
  std::wstring onEvent;
  bool waitForEvents = readVariable(L"CHILD_ON_EVENT", &onEvent);
  if (waitForEvents) SetConsoleCtrlHandler(onEvent == L"exit" ? exitOnEvent : ignoreEvent, TRUE);
  deliverReport(buildReport());
  if (readVariable(L"CHILD_WRITE_OUTPUT", &text)) writeAll(GetStdHandle(STD_OUTPUT_HANDLE), "test-child output line\n");
  if (readVariable(L"CHILD_WRITE_ERROR", &text)) writeAll(GetStdHandle(STD_ERROR_HANDLE), "test-child error line\n");
  if (waitForEvents) Sleep(INFINITE);
  ExitProcess(exitCode);
}
