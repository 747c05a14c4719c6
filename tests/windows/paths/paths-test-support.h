// Helpers for the tests of the paths routines: buffers that fault on the
// first unit past their end, and environment changes undone after a test.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string>

#include "diag/limits.h"
#include "paths/template.h"

namespace paths_test {

// A wide buffer whose last unit sits right before a page the process may not
// touch, so that writing or reading one unit past its end faults at once.
class GuardedBuffer {
 public:
  explicit GuardedBuffer(size_t capacity) : capacity_(capacity) {
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    size_t page = system.dwPageSize, bytes = capacity * sizeof(wchar_t);
    size_t usable = std::max<size_t>(1, (bytes + page - 1) / page) * page;
    region_ = static_cast<char*>(VirtualAlloc(nullptr, usable + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD previous = 0;
    if (region_ == nullptr || !VirtualProtect(region_ + usable, page, PAGE_NOACCESS, &previous))
      throw std::runtime_error("cannot set up a guarded buffer");
    data_ = reinterpret_cast<wchar_t*>(region_ + usable - bytes);
    std::fill(data_, data_ + capacity, L'#');  // no terminator the routine did not write
  }
  ~GuardedBuffer() { VirtualFree(region_, 0, MEM_RELEASE); }
  GuardedBuffer(const GuardedBuffer&) = delete;
  GuardedBuffer& operator=(const GuardedBuffer&) = delete;

  wchar_t* data() { return data_; }
  std::wstring text() const {
    size_t length = std::find(data_, data_ + capacity_, L'\0') - data_;
    EXPECT_LT(length, capacity_) << "the buffer holds no terminator";
    return std::wstring(data_, length);
  }

 private:
  size_t capacity_;
  char* region_ = nullptr;
  wchar_t* data_ = nullptr;
};

struct Expansion {
  bool expanded;
  std::wstring text;
};

inline Expansion expand(const std::wstring& templateText, size_t capacity = PATH_CAPACITY) {
  GuardedBuffer output(capacity);
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
