#include "diag/report-window.h"

#include "diag/system-calls.h"

const wchar_t* reportWindowCaption = nullptr;
void (*beforeReport)(void) = nullptr;

namespace {

// A desktop's name is short: "Default", "Winlogon", or one a program chose.
constexpr DWORD DESKTOP_NAME_CAPACITY = 256;

bool isPresent(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }

// The subsystem in the process's own image header: the loader has checked it.
bool isWindowedProgram(void) {
  const unsigned char* image = (const unsigned char*)GetModuleHandleW(nullptr);
  const IMAGE_DOS_HEADER* dos = (const IMAGE_DOS_HEADER*)image;
  const IMAGE_NT_HEADERS64* headers = (const IMAGE_NT_HEADERS64*)(image + dos->e_lfanew);
  return headers->OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_GUI;
}

bool haveSameName(HANDLE object, HANDLE other) {
  wchar_t name[DESKTOP_NAME_CAPACITY], otherName[DESKTOP_NAME_CAPACITY];
  DWORD needed = 0;
  return systemCalls.getUserObjectInformation(object, UOI_NAME, name, sizeof name, &needed) &&
         systemCalls.getUserObjectInformation(other, UOI_NAME, otherName, sizeof otherName, &needed) &&
         lstrcmpiW(name, otherName) == 0;
}

// The desktop that takes the input is opened only to read its name; a
// process that may not open it (a service, a task of another session) has
// no user to answer a box either.
bool isOnInputDesktop(void) {
  HDESK input = systemCalls.openInputDesktop(0, FALSE, DESKTOP_READOBJECTS);
  if (input == nullptr) return false;
  HDESK own = systemCalls.getThreadDesktop(GetCurrentThreadId());  // not to be closed
  bool same = own != nullptr && haveSameName(own, input);
  systemCalls.closeDesktop(input);
  return same;
}

}  // namespace

bool isOnInteractiveDesktop(void) {
  USEROBJECTFLAGS flags;
  DWORD needed = 0;
  HWINSTA station = systemCalls.getProcessWindowStation();
  if (station == nullptr || !systemCalls.getUserObjectInformation(station, UOI_FLAGS, &flags, sizeof flags, &needed))
    return false;
  return (flags.dwFlags & WSF_VISIBLE) != 0 && isOnInputDesktop();
}

bool isReportWindowWanted(HANDLE destination) {
  return !isPresent(destination) && isWindowedProgram() && isOnInteractiveDesktop();
}

void showReportWindow(const wchar_t* text, size_t length) {
  wchar_t shown[REPORT_TEXT_CAPACITY + 1];
  size_t units = length < REPORT_TEXT_CAPACITY ? length : (size_t)REPORT_TEXT_CAPACITY;
  for (size_t i = 0; i < units; ++i) shown[i] = text[i];
  while (units > 0 && shown[units - 1] == L'\n') --units;  // the box needs no final line break
  shown[units] = L'\0';
  systemCalls.messageBox(nullptr, shown, reportWindowCaption, MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}
