// existingFileChecksum on files as a run may find them.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "harness.h"
#include "xorshift.h"
#include "payload/file-checksum.h"

namespace {

// CRC-32 (reflected 0xEDB88320), computed bit by bit.
uint32_t referenceCrc32(const std::string& bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char byte : bytes) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

TEST(ExistingFileChecksum, IsTheCrc32OfTheWholeFile) {
  std::wstring dir = harness::freshTestDir();
  harness::writeFile(dir + L"\\check", "123456789");
  EXPECT_EQ(existingFileChecksum((dir + L"\\check").c_str()), 0xCBF43926u);
  // Several pages and more than one content chunk, with an odd tail.
  std::string large = test_data::randomBytes(3 * 65536 + 77, 1);
  harness::writeFile(dir + L"\\large", large);
  EXPECT_EQ(existingFileChecksum((dir + L"\\large").c_str()), referenceCrc32(large));
}

TEST(ExistingFileChecksum, CountsACrcOfZeroAsOne) {
  std::wstring dir = harness::freshTestDir();
  const std::string crcZero("\x9d\x0a\xd9\x6d", 4);
  ASSERT_EQ(referenceCrc32(crcZero), 0u);
  harness::writeFile(dir + L"\\zero", crcZero);
  EXPECT_EQ(existingFileChecksum((dir + L"\\zero").c_str()), 1u);
}

TEST(ExistingFileChecksum, IsZeroWhenThereIsNoUsableFile) {
  std::wstring dir = harness::freshTestDir();
  EXPECT_EQ(existingFileChecksum((dir + L"\\missing").c_str()), 0u);
  EXPECT_EQ(existingFileChecksum((dir + L"\\no-folder\\missing").c_str()), 0u);
  harness::writeFile(dir + L"\\empty", "");
  EXPECT_EQ(existingFileChecksum((dir + L"\\empty").c_str()), 0u) << "an empty file cannot be mapped";
  CreateDirectoryW((dir + L"\\folder").c_str(), nullptr);
  EXPECT_EQ(existingFileChecksum((dir + L"\\folder").c_str()), 0u);
}

// Another process's writing handle that shares reading (a running program,
// say) is no obstacle. Nor is a byte-range lock: it stops reads through other
// handles, not the paging reads behind a mapped view.
TEST(ExistingFileChecksum, ReadsAFileThatAnotherHandleWritesAndLocksWithSharing) {
  std::wstring path = harness::freshTestDir() + L"\\in-use";
  harness::writeFile(path, "in use by someone else");
  HANDLE writer = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  EXPECT_EQ(existingFileChecksum(path.c_str()), referenceCrc32("in use by someone else"));
  OVERLAPPED whole = {};
  ASSERT_TRUE(LockFileEx(writer, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &whole));
  EXPECT_EQ(existingFileChecksum(path.c_str()), referenceCrc32("in use by someone else"));
  CloseHandle(writer);
}

TEST(ExistingFileChecksum, IsZeroForAFileThatAnotherHandleDoesNotShare) {
  std::wstring dir = harness::freshTestDir();
  std::wstring path = dir + L"\\exclusive";
  harness::writeFile(path, "locked away");
  HANDLE owner = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(owner, INVALID_HANDLE_VALUE);
  EXPECT_EQ(existingFileChecksum(path.c_str()), 0u);
  CloseHandle(owner);
  EXPECT_EQ(existingFileChecksum(path.c_str()), referenceCrc32("locked away")) << "and usable once released";
}

}  // namespace
