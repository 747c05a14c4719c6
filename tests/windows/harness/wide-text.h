// Conversions between UTF-8 and the wide (UTF-16) text of the Windows calls.
// Header-only, so that programs without the test framework (the test child)
// share them with the harness.
#pragma once
#include <windows.h>

#include <string>

namespace harness {

inline std::wstring widen(const std::string& utf8) {
  if (utf8.empty()) return {};
  int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), nullptr, 0);
  std::wstring wide(length, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), wide.data(), length);
  return wide;
}

inline std::string narrow(const std::wstring& wide) {
  if (wide.empty()) return {};
  int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), (int)wide.size(), nullptr, 0, nullptr, nullptr);
  std::string utf8(length, '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), (int)wide.size(), utf8.data(), length, nullptr, nullptr);
  return utf8;
}

}  // namespace harness
