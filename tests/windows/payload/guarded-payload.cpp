#include "guarded-payload.h"

#include <cstring>
#include <stdexcept>
#include <vector>

namespace {

std::string readWhole(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open a payload file");
  std::string bytes;
  std::vector<char> chunk(1 << 20);
  DWORD got = 0;
  while (ReadFile(file, chunk.data(), (DWORD)chunk.size(), &got, nullptr) && got > 0) bytes.append(chunk.data(), got);
  CloseHandle(file);
  return bytes;
}

}  // namespace

GuardedPayload::GuardedPayload(const std::wstring& path, uint64_t guardedTail) {
  std::string content = readWhole(path);
  if (content.size() < guardedTail) throw std::runtime_error("payload shorter than its guarded tail");
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  uint64_t page = system.dwPageSize;
  uint64_t open = content.size() - guardedTail;
  uint64_t openPages = (open + page - 1) / page;
  uint64_t guardPages = (guardedTail + page - 1) / page + 1;
  region_ = VirtualAlloc(nullptr, (openPages + guardPages) * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (region_ == nullptr) throw std::runtime_error("VirtualAlloc failed");
  unsigned char* guard = static_cast<unsigned char*>(region_) + openPages * page;
  unsigned char* start = guard - open;  // the open part ends exactly where the guard begins
  std::memcpy(start, content.data(), content.size());
  DWORD previous;
  if (!VirtualProtect(guard, guardPages * page, PAGE_NOACCESS, &previous))
    throw std::runtime_error("VirtualProtect failed");
  bytes_ = start;
  size_ = content.size();
}

GuardedPayload::~GuardedPayload() { VirtualFree(region_, 0, MEM_RELEASE); }
