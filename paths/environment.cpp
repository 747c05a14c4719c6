#include "paths/environment.h"

#include "diag/report.h"

// Placeholder until the environment routines land.
wchar_t targetDirectory[PATH_CAPACITY];

wchar_t* getEnvironmentValueW(const wchar_t*) { return nullptr; }
wchar_t* getEnvironmentValue(const char*) { return nullptr; }
BOOL setEnvironmentValue(const char*, const wchar_t*) { return FALSE; }
void widenNarrowText(wchar_t*, size_t, const char*) {}

void appendWideBounded(wchar_t* buffer, size_t capacity, const wchar_t* text) {
  size_t used = wcslen(buffer), length = wcslen(text);
  if (length + 1 > capacity - used) endRunOnFullBuffer();
  wmemcpy(buffer + used, text, length + 1);
}

void resetRunEnvironment(void) {}
void resolveTargetPath(void) {}
