#include "file-times.h"

#include <stdexcept>

#include "harness.h"

namespace file_times {

namespace {
constexpr unsigned long long HOUR = 36000000000ull;  // in 100 ns units

unsigned long long ticks(const FILETIME& time) {
  return (unsigned long long)time.dwHighDateTime << 32 | time.dwLowDateTime;
}
}  // namespace

FILETIME moveAnHourBack(const std::wstring& path) {
  ULARGE_INTEGER time;
  FILETIME now = harness::lastWriteTime(path);
  time.LowPart = now.dwLowDateTime;
  time.HighPart = now.dwHighDateTime;
  time.QuadPart -= HOUR;
  FILETIME earlier = {time.LowPart, time.HighPart};
  HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + harness::narrow(path));
  BOOL set = SetFileTime(file, nullptr, nullptr, &earlier);
  CloseHandle(file);
  if (!set) throw std::runtime_error("cannot set the time of " + harness::narrow(path));
  return harness::lastWriteTime(path);
}

bool sameTime(const FILETIME& a, const FILETIME& b) {
  return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

bool writtenInTheLastHalfHour(const std::wstring& path) {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return ticks(now) - ticks(harness::lastWriteTime(path)) < HOUR / 2;
}

}  // namespace file_times
