// {RANDOM}, {TIME} and {TIME_US}: drawn fresh the first time in a run, then
// kept in the environment, so that every later expansion and the child see
// the very value that went into the target directory.
#include <windows.h>
#include <stdlib.h>

#include "diag/text.h"
#include "paths/environment.h"
#include "paths/placeholders.h"
#include "paths/random-text.h"

namespace {

// Room for any of the three values: 11 random characters or a decimal text.
constexpr size_t RUN_VALUE_CAPACITY = DECIMAL_TEXT_CAPACITY;
static_assert(RUN_VALUE_CAPACITY > RANDOM_TEXT_LENGTH, "the random text fits");

constexpr long long FILETIME_UNITS_PER_MICROSECOND = 10;
constexpr long long MICROSECONDS_PER_SECOND = 1000000;
constexpr unsigned MICROSECOND_DIGITS = 6;

using FreshValue = void (*)(wchar_t (&text)[RUN_VALUE_CAPACITY]);

// 100-nanosecond intervals since 1 January 1601 (UTC).
long long readSystemTime(void) {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return (long long)(((unsigned long long)now.dwHighDateTime << 32) | now.dwLowDateTime);
}

void setDecimal(wchar_t (&text)[RUN_VALUE_CAPACITY], long long value, unsigned minimumDigits) {
  char digits[DECIMAL_TEXT_CAPACITY];
  formatDecimal(digits, DECIMAL_TEXT_CAPACITY, value, minimumDigits);
  text[0] = L'\0';
  widenNarrowText(text, RUN_VALUE_CAPACITY, digits);
}

void freshTime(wchar_t (&text)[RUN_VALUE_CAPACITY]) { setDecimal(text, readSystemTime(), 1); }

void freshTimeMicroseconds(wchar_t (&text)[RUN_VALUE_CAPACITY]) {
  long long microseconds = readSystemTime() / FILETIME_UNITS_PER_MICROSECOND;
  setDecimal(text, microseconds % MICROSECONDS_PER_SECOND, MICROSECOND_DIGITS);
}

void freshRandom(wchar_t (&text)[RUN_VALUE_CAPACITY]) {
  wchar_t random[RANDOM_TEXT_LENGTH + 1];
  drawRandomText(random);
  text[0] = L'\0';
  appendWideBounded(text, RUN_VALUE_CAPACITY, random);
}

// A stored value is taken as it is. A refused store is not examined: the
// value still goes into this path, and a later expansion would draw anew.
bool appendRunValue(const char* variable, FreshValue drawValue, wchar_t* at, size_t room) {
  wchar_t* stored = getEnvironmentValue(variable);
  if (stored != nullptr) {
    appendWideBounded(at, room, stored);
    free(stored);
    return true;
  }
  wchar_t fresh[RUN_VALUE_CAPACITY];
  drawValue(fresh);
  setEnvironmentValue(variable, fresh);
  appendWideBounded(at, room, fresh);
  return true;
}

}  // namespace

bool expandRandom(wchar_t* at, size_t room) { return appendRunValue(ENV_ONEFILE_RANDOM, freshRandom, at, room); }

bool expandTime(wchar_t* at, size_t room) { return appendRunValue(ENV_ONEFILE_START, freshTime, at, room); }

bool expandTimeMicroseconds(wchar_t* at, size_t room) {
  return appendRunValue(ENV_ONEFILE_TIME_US, freshTimeMicroseconds, at, room);
}
