// writeContentPiece: a write counts only when the system took every byte.
#include <gtest/gtest.h>

#include <string>

#include "harness.h"
#include "payload/file-content.h"

namespace {

TEST(WriteContentPiece, WritesEveryByteAndReportsNoError) {
  std::wstring path = harness::freshTestDir() + L"\\out";
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(writeContentPiece(file, "payload bytes", 13), 0u);
  CloseHandle(file);
  EXPECT_EQ(harness::readFile(path), "payload bytes");
}

TEST(WriteContentPiece, GivesTheSystemsCodeForAFailedWrite) {
  std::wstring path = harness::freshTestDir() + L"\\read-only-handle";
  harness::writeFile(path, "x");
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  SetLastError(ERROR_ALREADY_EXISTS);  // a stale code, as CREATE_ALWAYS leaves one
  EXPECT_EQ(writeContentPiece(file, "abc", 3), (uint32_t)ERROR_ACCESS_DENIED);
  CloseHandle(file);
}

// A pipe in non-blocking mode takes only what fits in its buffer and calls
// the write a success; once full, it takes nothing: the write stalls.
TEST(WriteContentPiece, TreatsAWriteThatStallsAsAFailure) {
  std::wstring name = L"\\\\.\\pipe\\onefile-short-write-" + std::to_wstring(GetCurrentProcessId());
  HANDLE server = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE | PIPE_NOWAIT, 1, 0, 4096, 0,
                                   nullptr);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  HANDLE client = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(client, INVALID_HANDLE_VALUE);
  DWORD mode = PIPE_NOWAIT;  // the writing end's own mode decides
  ASSERT_TRUE(SetNamedPipeHandleState(client, &mode, nullptr, nullptr));
  std::string bytes(1 << 20, 'p');
  // First seen without the routine, so that the case is known to be a short write.
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(client, bytes.data(), (DWORD)bytes.size(), &written, nullptr));
  ASSERT_LT(written, bytes.size()) << "the pipe took the whole megabyte: no short write to test";
  SetLastError(ERROR_ALREADY_EXISTS);
  uint32_t code = writeContentPiece(client, bytes.data(), (DWORD)bytes.size());
  // The system names no cause for a stalled write; the stale code is not the write's own.
  EXPECT_EQ(code, (uint32_t)ERROR_WRITE_FAULT);
  CloseHandle(client);
  CloseHandle(server);
}

}  // namespace
