// A payload file loaded into memory so that its last bytes (the trailer the
// reader must never touch) begin a page that cannot be read: any access to
// them ends the process with an access violation.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

class GuardedPayload {
 public:
  static constexpr uint64_t TRAILER_BYTES = 12;

  explicit GuardedPayload(const std::wstring& path, uint64_t guardedTail = TRAILER_BYTES);
  ~GuardedPayload();
  GuardedPayload(const GuardedPayload&) = delete;
  GuardedPayload& operator=(const GuardedPayload&) = delete;

  const unsigned char* bytes() const { return bytes_; }
  uint64_t size() const { return size_; }

 private:
  void* region_ = nullptr;
  const unsigned char* bytes_ = nullptr;
  uint64_t size_ = 0;
};
