// The record loop in-process, over payloads made by the test: the cases a
// packer would not produce, and what is seen only inside the run.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "file-times.h"
#include "harness.h"
#include "paths/environment.h"
#include "payload-builder.h"
#include "payload/extract.h"
#include "payload/reader.h"

namespace {

using payload_builder::fileRecord;
using payload_builder::Record;

void unpackInto(const std::wstring& target, const std::vector<Record>& records) {
  std::vector<unsigned char> payload = payload_builder::buildPayload(records);
  wcscpy(targetDirectory, target.c_str());
  openPayloadBytes(payload.data(), payload.size());
  unpackPayload();
  closePayload();
}

// Several raw blocks and many content chunks.
std::string largeContent() {
  std::string bytes(300000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = (char)(i * 7 + i / 251);
  return bytes;
}

TEST(UnpackPayload, RemembersTheFirstRecordsPathAlsoWhenThatFileIsCurrent) {
  std::wstring target = harness::freshTestDir();
  harness::writeFile(target + L"\\main.exe", "the program");
  FILETIME kept = file_times::moveAnHourBack(target + L"\\main.exe");
  firstFilePath[0] = L'\0';
  unpackInto(target, {fileRecord(L"main.exe", "the program"), fileRecord(L"lib\\big.dll", largeContent())});
  EXPECT_EQ(std::wstring(firstFilePath), target + L"\\main.exe");
  EXPECT_TRUE(file_times::sameTime(harness::lastWriteTime(target + L"\\main.exe"), kept)) << "current: not written";
  EXPECT_EQ(harness::readFile(target + L"\\lib\\big.dll"), largeContent());
}

// The comparison is plain, for payloads that store 0 for content whose CRC-32
// is 0: an existing copy counts as 1 and is rewritten, a missing one counts as
// 0 and is skipped. That is why the packer stores 1 for such content.
TEST(UnpackPayload, ComparesAStoredZeroLikeAnyOtherChecksum) {
  std::wstring target = harness::freshTestDir() + L"\\target";
  const std::string crcZero("\x9d\x0a\xd9\x6d", 4);
  ASSERT_EQ(payload_builder::crc32Of(crcZero), 0u);
  CreateDirectoryW(target.c_str(), nullptr);
  CreateDirectoryW((target + L"\\sub").c_str(), nullptr);
  harness::writeFile(target + L"\\sub\\zero.bin", crcZero);
  FILETIME before = file_times::moveAnHourBack(target + L"\\sub\\zero.bin");
  unpackInto(target, {fileRecord(L"main.exe", "x"), Record{L"empty", "", 0}, Record{L"sub\\zero.bin", crcZero, 0}});
  EXPECT_FALSE(file_times::sameTime(harness::lastWriteTime(target + L"\\sub\\zero.bin"), before));
  EXPECT_EQ(harness::readFile(target + L"\\sub\\zero.bin"), crcZero);
  EXPECT_FALSE(harness::fileExists(target + L"\\empty"));
}

TEST(UnpackPayload, RewritesAnIdenticalFileThatCannotBeReadButCanBeWritten) {
  std::wstring target = harness::freshTestDir();
  std::wstring path = target + L"\\write-only";
  harness::writeFile(path, "same bytes");
  FILETIME before = file_times::moveAnHourBack(path);
  // Another writer that shares writing only: the checksum open is refused.
  HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  unpackInto(target, {fileRecord(L"write-only", "same bytes")});
  CloseHandle(writer);
  EXPECT_FALSE(file_times::sameTime(harness::lastWriteTime(path), before));
  EXPECT_EQ(harness::readFile(path), "same bytes");
}

// Four folders of 200 units and a file name: a name of exactly `length` units.
std::wstring nameOfLength(size_t length) {
  std::wstring folder(200, L'n');
  std::wstring name = folder + L"\\" + folder + L"\\" + folder + L"\\" + folder + L"\\";
  return name + std::wstring(length - name.size(), L'f');
}

TEST(UnpackPayload, TakesANameOfTheFullThousandAndTwentyThreeUnits) {
  std::wstring target = harness::freshTestDir();
  unpackInto(target, {fileRecord(nameOfLength(RECORD_NAME_CAPACITY - 1), "fits")});
  EXPECT_EQ(harness::readFile(target + L"\\" + nameOfLength(RECORD_NAME_CAPACITY - 1)), "fits");
}

TEST(UnpackPayloadDeathTest, EndsTheRunWithoutAMessageAtANameOneUnitTooLong) {
  std::wstring target = harness::freshTestDir();
  std::vector<Record> records = {fileRecord(L"main.exe", "first"), fileRecord(nameOfLength(RECORD_NAME_CAPACITY), "no")};
  EXPECT_EXIT(unpackInto(target, records), testing::ExitedWithCode(4), "^$");
  EXPECT_EQ(harness::listTree(target), std::vector<std::wstring>{L"main.exe"}) << "earlier files stay";
}

TEST(UnpackPayloadDeathTest, EndsTheRunWithoutAMessageAtATargetPathOverTheLimitAndWritesNothingOfIt) {
  std::wstring target = harness::freshTestDir();
  std::wstring deepTarget = target + L"\\" + std::wstring(150, L't');
  while (deepTarget.size() + 1 + 1000 < PATH_CAPACITY) deepTarget += L"\\" + std::wstring(150, L't');
  std::vector<Record> records = {fileRecord(L"main.exe", "first"),
                                 fileRecord(nameOfLength(1000), "over the limit")};
  EXPECT_EXIT(unpackInto(deepTarget, records), testing::ExitedWithCode(4), "^$");
  EXPECT_TRUE(harness::fileExists(deepTarget + L"\\main.exe"));
  EXPECT_FALSE(harness::directoryExists(deepTarget + L"\\" + std::wstring(200, L'n')))
      << "no directory of the record that did not fit";
}

}  // namespace
