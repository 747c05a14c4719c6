// The record loop in-process, over payloads that payload-fixture makes for
// it: the cases a packer would not produce, and what is seen only inside the
// run. fixture-layout.h says what their records hold.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "file-times.h"
#include "fixture-layout.h"
#include "guarded-memory.h"
#include "harness.h"
#include "paths/target-directory.h"
#include "payload/directories.h"
#include "payload/extract.h"
#include "payload/format.h"
#include "payload/reader.h"

namespace {

using fixture_layout::SHORT_CONTENT;

// Unpacks the fixture payload into target; its trailer, which the reader must
// never touch, lies on a page that cannot be read.
void unpackInto(const std::wstring& target, const std::wstring& fixture) {
  harness::GuardedRegion payload(harness::readFile(harness::binPath(L"payload-data\\" + fixture + L".payload")),
                                 PAYLOAD_TRAILER_SIZE);
  wcscpy(targetDirectory, target.c_str());
  openPayloadBytes(payload.data(), payload.size());
  unpackPayload();
  closePayload();
}

std::wstring nameOfLength(size_t units) { return fixture_layout::nameOfLength<std::wstring>(units); }

TEST(UnpackPayload, RemembersTheFirstRecordsPathAlsoWhenThatFileIsCurrent) {
  std::wstring target = harness::freshTestDir();
  harness::writeFile(target + L"\\main.exe", SHORT_CONTENT);
  FILETIME kept = file_times::moveAnHourBack(target + L"\\main.exe");
  firstFilePath[0] = L'\0';
  unpackInto(target, L"unpack-first-current");
  EXPECT_EQ(std::wstring(firstFilePath), target + L"\\main.exe");
  EXPECT_TRUE(file_times::sameTime(harness::lastWriteTime(target + L"\\main.exe"), kept)) << "current: not written";
  EXPECT_EQ(harness::readFile(target + L"\\lib\\big.dll"), fixture_layout::largeContent());
}

// The comparison is plain, for payloads that store 0 for content whose CRC-32
// is 0: an existing copy counts as 1 and is rewritten, a missing one counts as
// 0 and is skipped. That is why the packer stores 1 for such content.
TEST(UnpackPayload, ComparesAStoredZeroLikeAnyOtherChecksum) {
  std::wstring target = harness::freshTestDir() + L"\\target";
  const std::string crcZero = fixture_layout::CRC_ZERO_CONTENT;
  CreateDirectoryW(target.c_str(), nullptr);
  CreateDirectoryW((target + L"\\sub").c_str(), nullptr);
  harness::writeFile(target + L"\\sub\\zero.bin", crcZero);
  FILETIME before = file_times::moveAnHourBack(target + L"\\sub\\zero.bin");
  unpackInto(target, L"unpack-stored-zero");  // the records empty and sub\zero.bin store 0
  EXPECT_FALSE(file_times::sameTime(harness::lastWriteTime(target + L"\\sub\\zero.bin"), before));
  EXPECT_EQ(harness::readFile(target + L"\\sub\\zero.bin"), crcZero);
  EXPECT_FALSE(harness::fileExists(target + L"\\empty"));
  // Into a folder this run makes, whose files are not looked for, a file
  // counts as missing all the same.
  std::wstring fresh = harness::freshTestDir() + L"\\fresh";
  unpackInto(fresh, L"unpack-stored-zero");
  EXPECT_EQ(harness::readFile(fresh + L"\\main.exe"), SHORT_CONTENT);
  EXPECT_FALSE(harness::fileExists(fresh + L"\\empty"));
  EXPECT_FALSE(harness::fileExists(fresh + L"\\sub\\zero.bin"));
}

// Another start may write the same cache at the same time: a file that turns
// up in a directory this run made is replaced whole, longer or not.
TEST(UnpackPayload, ReplacesAFileThatAppearedInADirectoryThisRunMade) {
  std::wstring target = harness::freshTestDir() + L"\\target";
  createDirectories((target + L"\\lib\\big.dll").c_str());
  ASSERT_TRUE(isInCreatedDirectory((target + L"\\lib\\big.dll").c_str()));
  harness::writeFile(target + L"\\lib\\big.dll", fixture_layout::largeContent() + "a longer stale copy");
  unpackInto(target, L"unpack-first-current");
  EXPECT_EQ(harness::readFile(target + L"\\lib\\big.dll"), fixture_layout::largeContent());
  EXPECT_EQ(harness::readFile(target + L"\\main.exe"), SHORT_CONTENT);
}

TEST(UnpackPayload, RewritesAnIdenticalFileThatCannotBeReadButCanBeWritten) {
  std::wstring target = harness::freshTestDir();
  std::wstring path = target + L"\\write-only";
  harness::writeFile(path, SHORT_CONTENT);
  FILETIME before = file_times::moveAnHourBack(path);
  // Another writer that shares writing only: the checksum open is refused.
  HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  unpackInto(target, L"unpack-write-only");
  CloseHandle(writer);
  EXPECT_FALSE(file_times::sameTime(harness::lastWriteTime(path), before));
  EXPECT_EQ(harness::readFile(path), SHORT_CONTENT);
}

TEST(UnpackPayload, TakesANameOfTheFullThousandAndTwentyThreeUnits) {
  std::wstring target = harness::freshTestDir();
  unpackInto(target, L"unpack-full-name");
  EXPECT_EQ(harness::readFile(target + L"\\" + nameOfLength(RECORD_NAME_CAPACITY - 1)), SHORT_CONTENT);
}

TEST(UnpackPayloadDeathTest, EndsTheRunWithoutAMessageAtANameOneUnitTooLong) {
  std::wstring target = harness::freshTestDir();
  // main.exe, then a name of RECORD_NAME_CAPACITY units
  EXPECT_EXIT(unpackInto(target, L"unpack-name-too-long"), testing::ExitedWithCode(4), "^$");
  EXPECT_EQ(harness::listTree(target), std::vector<std::wstring>{L"main.exe"}) << "earlier files stay";
}

TEST(UnpackPayloadDeathTest, EndsTheRunWithoutAMessageAtATargetPathOverTheLimitAndWritesNothingOfIt) {
  std::wstring target = harness::freshTestDir();
  std::wstring deepTarget = target + L"\\" + std::wstring(150, L't');
  while (deepTarget.size() + 1 + fixture_layout::DEEP_NAME_UNITS < PATH_CAPACITY)
    deepTarget += L"\\" + std::wstring(150, L't');
  EXPECT_EXIT(unpackInto(deepTarget, L"unpack-deep-name"), testing::ExitedWithCode(4), "^$");
  EXPECT_TRUE(harness::fileExists(deepTarget + L"\\main.exe"));
  EXPECT_FALSE(harness::directoryExists(deepTarget + L"\\" + std::wstring(200, L'n')))
      << "no directory of the record that did not fit";
}

}  // namespace
