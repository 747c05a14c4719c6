// console-screen FILE: writes the text the console's screen buffer holds, up
// to the cursor's line, to FILE as UTF-8 lines. The buffer keeps each UTF-16
// unit a program gave the console, also where the terminal behind it cannot
// draw a character (Wine's terminal console draws no character outside the
// BMP), so a test reads there what reached the console.
#include <windows.h>

#include <cstdio>

namespace {

constexpr SHORT MAX_WIDTH = 1024;

bool writeRow(HANDLE console, SHORT row, SHORT width, std::FILE* out) {
  wchar_t units[MAX_WIDTH];
  DWORD read = 0;
  if (!ReadConsoleOutputCharacterW(console, units, static_cast<DWORD>(width), COORD{0, row}, &read)) return false;
  while (read > 0 && units[read - 1] == L' ') --read;
  char bytes[MAX_WIDTH * 3 + 1];
  int size = read == 0 ? 0 : WideCharToMultiByte(CP_UTF8, 0, units, static_cast<int>(read), bytes, sizeof bytes - 1,
                                                  nullptr, nullptr);
  bytes[size] = '\n';
  return std::fwrite(bytes, 1, static_cast<size_t>(size) + 1, out) == static_cast<size_t>(size) + 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
  CONSOLE_SCREEN_BUFFER_INFO info;
  bool ok = console != INVALID_HANDLE_VALUE && GetConsoleScreenBufferInfo(console, &info) != 0;
  std::FILE* out = ok ? _wfopen(argv[1], L"wb") : nullptr;
  SHORT width = ok && info.dwSize.X < MAX_WIDTH ? info.dwSize.X : MAX_WIDTH;
  for (SHORT row = 0; out != nullptr && ok && row <= info.dwCursorPosition.Y; ++row) ok = writeRow(console, row, width, out);
  if (out != nullptr && std::fclose(out) != 0) ok = false;
  if (console != INVALID_HANDLE_VALUE) CloseHandle(console);
  return ok ? 0 : 1;
}
