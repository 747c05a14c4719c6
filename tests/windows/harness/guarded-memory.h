// Memory that ends exactly where a page the process may not touch begins, so
// that a routine reading or writing one byte past what it was given ends the
// process with an access violation instead of going unnoticed.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

namespace harness {

// A copy of content whose last guardedTail bytes lie on the no-access page:
// they are there (a routine that is handed a size without them could find
// them), but any access to them faults, as does any access past the end.
class GuardedRegion {
 public:
  explicit GuardedRegion(std::string_view content, size_t guardedTail = 0);
  ~GuardedRegion();
  GuardedRegion(const GuardedRegion&) = delete;
  GuardedRegion& operator=(const GuardedRegion&) = delete;

  unsigned char* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  void* allocation_ = nullptr;
  unsigned char* data_ = nullptr;
  size_t size_ = 0;
};

// A wide text buffer of `capacity` units in a guarded region, filled with '#'
// so that it holds no terminator the routine under test did not write.
class GuardedBuffer {
 public:
  explicit GuardedBuffer(size_t capacity);

  wchar_t* data() const { return reinterpret_cast<wchar_t*>(region_.data()); }
  // The text up to its terminator; a test failure when the buffer holds none.
  std::wstring text() const;

 private:
  size_t capacity_;
  GuardedRegion region_;
};

}  // namespace harness
