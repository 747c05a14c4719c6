#include "diag/report-window.h"

#include "diag/report-window-seams.h"
#include "diag/system-calls.h"

const wchar_t* reportWindowCaption = nullptr;
void (*beforeReport)(void) = nullptr;

namespace {

bool isPresent(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }

// Desktop names are short; a longer one cannot be read, and then counts as
// unknown.
constexpr DWORD DESKTOP_NAME_CAPACITY = 256;
const wchar_t PERSONAL_DESKTOP[] = L"Default";

bool readDesktopName(HDESK desktop, wchar_t (&name)[DESKTOP_NAME_CAPACITY]) {
  DWORD needed = 0;
  return desktop != nullptr && systemCalls.getUserObjectInformation(desktop, UOI_NAME, name, sizeof name, &needed);
}

// A desktop whose name cannot be read is taken for a watched one: its box
// waits, as every box did before the limit.
DWORD waitLimitOfThisDesktop(void) {
  wchar_t own[DESKTOP_NAME_CAPACITY], input[DESKTOP_NAME_CAPACITY];
  if (!readDesktopName(systemCalls.getThreadDesktop(GetCurrentThreadId()), own)) return INFINITE;
  HDESK inputDesktop = systemCalls.openInputDesktop(0, FALSE, DESKTOP_READOBJECTS);
  bool inputRead = readDesktopName(inputDesktop, input);
  if (inputDesktop != nullptr) systemCalls.closeDesktop(inputDesktop);
  return reportBoxWaitLimit(own, inputRead ? input : nullptr);
}

// Ends the box's own message loop, which then closes the box.
void CALLBACK endBox(HWND, UINT, UINT_PTR, DWORD) { systemCalls.postQuitMessage(0); }

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

DWORD reportBoxWaitLimit(const wchar_t* ownDesktop, const wchar_t* inputDesktop) {
  if (lstrcmpiW(ownDesktop, PERSONAL_DESKTOP) == 0) return INFINITE;
  if (inputDesktop != nullptr && lstrcmpiW(ownDesktop, inputDesktop) == 0) return INFINITE;
  return REPORT_BOX_UNWATCHED_LIMIT_MS;
}

// A timer that cannot be set leaves the box waiting for its answer.
void showReportBox(const wchar_t* text, size_t length, DWORD limitMs) {
  wchar_t shown[REPORT_TEXT_CAPACITY + 1];
  size_t units = length < REPORT_TEXT_CAPACITY ? length : (size_t)REPORT_TEXT_CAPACITY;
  for (size_t i = 0; i < units; ++i) shown[i] = text[i];
  while (units > 0 && shown[units - 1] == L'\n') --units;  // the box needs no final line break
  shown[units] = L'\0';
  UINT_PTR timer = limitMs == INFINITE ? 0 : systemCalls.setTimer(nullptr, 0, limitMs, endBox);
  systemCalls.messageBox(nullptr, shown, reportWindowCaption, MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
  if (timer != 0) systemCalls.killTimer(nullptr, timer);
}

void showReportWindow(const wchar_t* text, size_t length) { showReportBox(text, length, waitLimitOfThisDesktop()); }
