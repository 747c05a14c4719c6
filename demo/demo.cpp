// The demo application that `make demo` packs: an ordinary Windows console
// program with a library and a data file of its own. It shows what an
// application finds when a bootstrap starts it: its arguments, the folder it
// runs from, the bootstrap's variables, and its own files beside it.
#include <windows.h>
#include <shellapi.h>

#include <cwchar>

#include "greeting.h"

namespace {

// The status the demo ends with, so that one can see it pass through the
// bootstrap unchanged (and not mistake it for one of the bootstrap's own).
constexpr int DEMO_EXIT_STATUS = 7;
constexpr wchar_t DATA_FILE[] = L"data\\motto.txt";
constexpr DWORD DATA_FILE_LIMIT = 4096;

const wchar_t* const VARIABLES[] = {
    L"TRAVIK_ONEFILE_PARENT", L"TRAVIK_ONEFILE_START",     L"TRAVIK_ONEFILE_TIME_US",
    L"TRAVIK_ONEFILE_RANDOM", L"TRAVIK_ONEFILE_DIRECTORY", L"TRAVIK_ORIGINAL_ARGV0",
};

// A console gets wide text as it is; a pipe or file gets UTF-8.
void write(const wchar_t* text) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0, written = 0;
  int length = static_cast<int>(wcslen(text));
  if (GetConsoleMode(out, &mode)) {
    WriteConsoleW(out, text, static_cast<DWORD>(length), &written, nullptr);
    return;
  }
  // In pieces that always fit the buffer as UTF-8, never splitting a surrogate pair.
  constexpr int PIECE_UNITS = 2048;
  char bytes[PIECE_UNITS * 3];
  while (length > 0) {
    int units = length < PIECE_UNITS ? length : PIECE_UNITS;
    if (units < length && IS_HIGH_SURROGATE(text[units - 1])) --units;
    int size = WideCharToMultiByte(CP_UTF8, 0, text, units, bytes, sizeof bytes, nullptr, nullptr);
    if (size > 0) WriteFile(out, bytes, static_cast<DWORD>(size), &written, nullptr);
    text += units;
    length -= units;
  }
}

void writeLine(const wchar_t* label, const wchar_t* value) {
  write(label);
  write(value);
  write(L"\r\n");
}

// The folder of this program, without a trailing backslash.
bool ownFolder(wchar_t* folder, DWORD capacity) {
  DWORD length = GetModuleFileNameW(nullptr, folder, capacity);
  if (length == 0 || length >= capacity) return false;
  wchar_t* cut = wcsrchr(folder, L'\\');
  if (cut != nullptr) *cut = L'\0';
  return true;
}

void showArguments() {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr) return;
  wchar_t line[64];
  swprintf(line, 64, L"arguments: %d\r\n", count - 1);
  write(line);
  for (int i = 1; i < count; ++i) {
    swprintf(line, 64, L"  [%d] \"", i);
    write(line);
    write(arguments[i]);
    write(L"\"\r\n");
  }
  LocalFree(arguments);
}

void showVariables() {
  static wchar_t value[32768];
  for (const wchar_t* name : VARIABLES) {
    write(L"  ");
    write(name);
    write(L" = ");
    DWORD length = GetEnvironmentVariableW(name, value, 32768);
    write(length == 0 || length >= 32768 ? L"(not set)" : value);
    write(L"\r\n");
  }
}

void showLibrary() {
  static wchar_t path[MAX_PATH * 4];
  HMODULE library = GetModuleHandleW(L"greeting.dll");
  if (library == nullptr || GetModuleFileNameW(library, path, MAX_PATH * 4) == 0) path[0] = L'\0';
  writeLine(L"library: ", path);
  writeLine(L"  says: ", greetingText());
}

// The data file is read from the program's own folder, wherever that is.
bool showDataFile(const wchar_t* folder) {
  static wchar_t path[MAX_PATH * 4];
  swprintf(path, MAX_PATH * 4, L"%ls\\%ls", folder, DATA_FILE);
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    writeLine(L"cannot open ", path);
    return false;
  }
  static char bytes[DATA_FILE_LIMIT];
  static wchar_t text[DATA_FILE_LIMIT + 1];
  DWORD read = 0;
  BOOL ok = ReadFile(file, bytes, DATA_FILE_LIMIT, &read, nullptr);
  CloseHandle(file);
  if (!ok) {
    writeLine(L"cannot read ", path);
    return false;
  }
  int length = MultiByteToWideChar(CP_UTF8, 0, bytes, static_cast<int>(read), text, DATA_FILE_LIMIT);
  while (length > 0 && (text[length - 1] == L'\n' || text[length - 1] == L'\r')) --length;
  text[length] = L'\0';
  write(L"data file: ");
  writeLine(DATA_FILE, L"");
  writeLine(L"  reads: ", text);
  return true;
}

}  // namespace

int wmain() {
  static wchar_t folder[MAX_PATH * 4];
  write(L"Quorvane demo application\r\n");
  showArguments();
  if (!ownFolder(folder, MAX_PATH * 4)) return 1;
  writeLine(L"folder: ", folder);
  showLibrary();
  if (!showDataFile(folder)) return 1;
  write(L"variables from the bootstrap:\r\n");
  showVariables();
  wchar_t line[64];
  swprintf(line, 64, L"exiting with status %d\r\n", DEMO_EXIT_STATUS);
  write(line);
  return DEMO_EXIT_STATUS;
}
