// Last-write times moved away from "now", so that a rewrite shows even where
// the file system's clock is coarse.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace file_times {

// Moves the file's last-write time one hour into the past and returns the new value.
FILETIME moveAnHourBack(const std::wstring& path);

bool sameTime(const FILETIME& a, const FILETIME& b);

// True when the file was last written less than half an hour ago: not one
// moved an hour back and left alone since.
bool writtenInTheLastHalfHour(const std::wstring& path);

}  // namespace file_times
