// Helpers for the tests of the paths routines: expansions into buffers that
// fault on the first unit past their end, and environment changes undone
// after a test.
#pragma once
#include <windows.h>

#include <optional>
#include <string>

#include "diag/limits.h"
#include "guarded-memory.h"
#include "paths/template.h"

namespace paths_test {

struct Expansion {
  bool expanded;
  std::wstring text;
};

inline Expansion expand(const std::wstring& templateText, size_t capacity = PATH_CAPACITY) {
  harness::GuardedBuffer output(capacity);
  bool expanded = expandTemplatePath(output.data(), templateText.c_str(), capacity);
  return {expanded, output.text()};
}

// The variable as the system holds it; nullopt when it does not exist.
inline std::optional<std::wstring> variable(const std::wstring& name) {
  std::wstring value(32768, L'\0');
  SetLastError(0);
  DWORD length = GetEnvironmentVariableW(name.c_str(), value.data(), (DWORD)value.size());
  if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
  value.resize(length);
  return value;
}

// Sets (nullopt: removes) a variable of the test process until the scope ends.
class ScopedVariable {
 public:
  ScopedVariable(std::wstring name, const std::optional<std::wstring>& value)
      : name_(std::move(name)), saved_(variable(name_)) {
    set(value);
  }
  ~ScopedVariable() { set(saved_); }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  void set(const std::optional<std::wstring>& value) {
    SetEnvironmentVariableW(name_.c_str(), value ? value->c_str() : nullptr);
  }
  std::wstring name_;
  std::optional<std::wstring> saved_;
};

inline std::wstring withoutTrailingBackslashes(std::wstring path) {
  while (!path.empty() && path.back() == L'\\') path.pop_back();
  return path;
}

inline std::wstring ownProcessId() { return std::to_wstring(GetCurrentProcessId()); }

}  // namespace paths_test
