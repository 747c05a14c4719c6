#include "guarded-memory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace harness {
namespace {

size_t pagesFor(size_t bytes, size_t page) { return (bytes + page - 1) / page; }

}  // namespace

GuardedRegion::GuardedRegion(std::string_view content, size_t guardedTail) : size_(content.size()) {
  if (guardedTail > content.size()) throw std::invalid_argument("guarded tail longer than the region");
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  size_t page = system.dwPageSize;
  size_t open = content.size() - guardedTail;
  size_t openPages = pagesFor(open, page);
  size_t guardPages = pagesFor(guardedTail, page) + 1;
  allocation_ = VirtualAlloc(nullptr, (openPages + guardPages) * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (allocation_ == nullptr) throw std::runtime_error("cannot allocate a guarded region");
  unsigned char* guard = static_cast<unsigned char*>(allocation_) + openPages * page;
  data_ = guard - open;  // the open part ends exactly where the guard begins
  std::memcpy(data_, content.data(), content.size());
  DWORD previous = 0;
  if (!VirtualProtect(guard, guardPages * page, PAGE_NOACCESS, &previous)) {
    VirtualFree(allocation_, 0, MEM_RELEASE);
    throw std::runtime_error("cannot protect a guarded region");
  }
}

GuardedRegion::~GuardedRegion() { VirtualFree(allocation_, 0, MEM_RELEASE); }

GuardedBuffer::GuardedBuffer(size_t capacity)
    : capacity_(capacity), region_(std::string(capacity * sizeof(wchar_t), '\0')) {
  std::fill(data(), data() + capacity, L'#');
}

std::wstring GuardedBuffer::text() const {
  size_t length = std::find(data(), data() + capacity_, L'\0') - data();
  EXPECT_LT(length, capacity_) << "the buffer holds no terminator";
  return std::wstring(data(), length);
}

}  // namespace harness
