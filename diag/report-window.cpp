#include "diag/report-window.h"

#include "diag/system-calls.h"

const wchar_t* reportWindowCaption = nullptr;
void (*beforeReport)(void) = nullptr;

namespace {

bool isPresent(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }

// The subsystem in the process's own image header: the loader has checked it.
bool isWindowedProgram(void) {
  const unsigned char* image = (const unsigned char*)GetModuleHandleW(nullptr);
  const IMAGE_DOS_HEADER* dos = (const IMAGE_DOS_HEADER*)image;
  const IMAGE_NT_HEADERS64* headers = (const IMAGE_NT_HEADERS64*)(image + dos->e_lfanew);
  return headers->OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_GUI;
}

}  // namespace

bool isOnVisibleWindowStation(void) {
  USEROBJECTFLAGS flags;
  DWORD needed = 0;
  HWINSTA station = systemCalls.getProcessWindowStation();
  if (station == nullptr || !systemCalls.getUserObjectInformation(station, UOI_FLAGS, &flags, sizeof flags, &needed))
    return false;
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}

bool isReportWindowWanted(HANDLE destination) {
  return !isPresent(destination) && isWindowedProgram() && isOnVisibleWindowStation();
}

void showReportWindow(const wchar_t* text, size_t length) {
  wchar_t shown[REPORT_TEXT_CAPACITY + 1];
  size_t units = length < REPORT_TEXT_CAPACITY ? length : (size_t)REPORT_TEXT_CAPACITY;
  for (size_t i = 0; i < units; ++i) shown[i] = text[i];
  while (units > 0 && shown[units - 1] == L'\n') --units;  // the box needs no final line break
  shown[units] = L'\0';
  systemCalls.messageBox(nullptr, shown, reportWindowCaption, MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}
