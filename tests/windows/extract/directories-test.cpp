// createDirectories and ensureDirectory on real folders.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <shlobj.h>

#include "diag/limits.h"
#include "harness.h"
#include "payload/directories-seams.h"

namespace {

// Entries that joined knownDirectories since `from`.
std::vector<std::wstring> knownSince(unsigned from) {
  return std::vector<std::wstring>(knownDirectories + from, knownDirectories + knownDirectoryCount);
}

unsigned knownCountAfterStart() {
  ensureDirectory(L"C:");  // starts the list, if this process has not yet
  return knownDirectoryCount;
}

TEST(CreateDirectories, CreatesEveryMissingLevelAboveTheFileAndNotTheFile) {
  std::wstring dir = harness::freshTestDir();
  unsigned before = knownCountAfterStart();
  createDirectories((dir + L"\\target\\a\\b\\c.dat").c_str());
  EXPECT_TRUE(harness::directoryExists(dir + L"\\target\\a\\b"));
  EXPECT_FALSE(harness::fileExists(dir + L"\\target\\a\\b\\c.dat"));
  EXPECT_FALSE(harness::directoryExists(dir + L"\\target\\a\\b\\c.dat"));
  // The walk went up only as far as the first folder it could create, then
  // back down; the test folder above it was never asked for.
  EXPECT_EQ(knownSince(before), (std::vector<std::wstring>{dir + L"\\target", dir + L"\\target\\a",
                                                           dir + L"\\target\\a\\b"}));
}

TEST(CreateDirectories, AsksTheSystemNoMoreForADirectoryItAlreadyConfirmed) {
  std::wstring dir = harness::freshTestDir();
  createDirectories((dir + L"\\x\\first.dat").c_str());
  ASSERT_TRUE(harness::directoryExists(dir + L"\\x"));
  // Removed behind its back: a later file in the same folder does not notice.
  ASSERT_TRUE(RemoveDirectoryW((dir + L"\\x").c_str()));
  unsigned before = knownDirectoryCount;
  createDirectories((dir + L"\\x\\second.dat").c_str());
  EXPECT_FALSE(harness::directoryExists(dir + L"\\x"));
  EXPECT_EQ(knownDirectoryCount, before);
}

// 400 levels: a path copy per level on the stack (8 KiB each) would need more
// than the 2 MiB the program has. Far deeper is possible, but the system's
// own walk over deep paths makes each level slower than the one before.
TEST(CreateDirectories, WalksHundredsOfLevelsWithoutRunningOutOfStack) {
  std::wstring dir = harness::freshTestDir();
  std::wstring path = dir;
  for (int level = 0; level < 400; ++level) path += L"\\d";
  createDirectories((path + L"\\f").c_str());
  EXPECT_TRUE(harness::directoryExists(path));
  harness::removeTree(dir);
}

TEST(CreateDirectoriesDeathTest, EndsTheRunWithoutAMessageForAPathOverTheLimit) {
  std::wstring dir = harness::freshTestDir();
  std::wstring path = dir + L"\\" + std::wstring(PATH_CAPACITY - dir.size() - 1, L'n');  // one unit too many
  EXPECT_EXIT(createDirectories(path.c_str()), testing::ExitedWithCode(4), "^$");
}

// Leaving out the check of a file that may exist would keep a stale file
// out of sight of its checksum: only a directory this run made may count.
TEST(CreatedDirectories, CountOnlyTheDirectoriesThisRunMadeAndNotTheirNeighbours) {
  std::wstring dir = harness::freshTestDir();
  ASSERT_TRUE(CreateDirectoryW((dir + L"\\old").c_str(), nullptr));
  createDirectories((dir + L"\\new\\a.dat").c_str());
  struct Case {
    const wchar_t* file;
    bool inCreated;
  };
  const Case afterNew[] = {
      {L"\\new\\b.dat", true},   {L"\\new\\sub\\b.dat", false}, {L"\\newer\\b.dat", false},
      {L"\\ne\\b.dat", false},   {L"\\new", false},            {L"\\old\\b.dat", false},
  };
  for (const Case& c : afterNew) EXPECT_EQ(isInCreatedDirectory((dir + c.file).c_str()), c.inCreated) << c.file;
  // Name order brings a tree's files back to a directory after the ones
  // below it were made: it still counts, as do they.
  createDirectories((dir + L"\\new\\sub\\deeper\\a.dat").c_str());
  for (const wchar_t* file : {L"\\new\\c.dat", L"\\new\\sub\\c.dat", L"\\new\\sub\\deeper\\c.dat"})
    EXPECT_TRUE(isInCreatedDirectory((dir + file).c_str())) << file;
  // A directory that was there already is not this run's, even once it is
  // the last one asked for.
  createDirectories((dir + L"\\old\\a.dat").c_str());
  EXPECT_FALSE(isInCreatedDirectory((dir + L"\\old\\b.dat").c_str()));
  // A name taken by a file is no new directory either.
  harness::writeFile(dir + L"\\taken", "a file");
  EXPECT_TRUE(ensureDirectory((dir + L"\\taken").c_str()));
  EXPECT_FALSE(isInCreatedDirectory((dir + L"\\taken\\b.dat").c_str()));
}

// Past its capacity the list stops growing, and that only costs system
// calls: every directory is still made, one it left out is asked for again
// (so one removed behind its back comes back), and no file in it skips the
// check of a file that may exist. Run in a child of its own, as the full list
// would change what the other tests here see.
void createMoreDirectoriesThanTheListHolds(const std::wstring& dir) {
  const unsigned total = KNOWN_DIRECTORIES_CAPACITY + 100;
  auto folderOf = [&](unsigned i) { return dir + L"\\d" + std::to_wstring(i); };
  for (unsigned i = 0; i < total; ++i) createDirectories((folderOf(i) + L"\\f.dat").c_str());
  unsigned missing = 0;
  for (unsigned i = 0; i < total; ++i) missing += harness::directoryExists(folderOf(i)) ? 0 : 1;
  bool full = knownDirectoryCount == KNOWN_DIRECTORIES_CAPACITY;
  std::wstring last = folderOf(total - 1);
  bool leftOutIsChecked = !isInCreatedDirectory((last + L"\\g.dat").c_str());
  bool removed = RemoveDirectoryW(last.c_str()) != 0;
  createDirectories((last + L"\\g.dat").c_str());
  bool madeAgain = harness::directoryExists(last);
  std::exit((missing == 0 ? 0 : 1) | (full ? 0 : 2) | (leftOutIsChecked ? 0 : 4) | (removed && madeAgain ? 0 : 8));
}

TEST(KnownDirectoriesDeathTest, AFullListOnlyCostsSystemCallsAndLosesNoDirectory) {
  std::wstring dir = harness::freshTestDir();
  EXPECT_EXIT(createMoreDirectoriesThanTheListHolds(dir), testing::ExitedWithCode(0), "^$");
  harness::removeTree(dir);
}

TEST(EnsureDirectory, StartsItsListWithTheHomeDirectory) {
  ensureDirectory(L"C:");
  ASSERT_GE(knownDirectoryCount, 1u);
  wchar_t profile[MAX_PATH];
  ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_PROFILE, nullptr, 0, profile), S_OK);
  EXPECT_EQ(std::wstring(knownDirectories[0]), std::wstring(profile));
}

TEST(EnsureDirectory, TakesABareDriveAsExistingWithoutAskingTheSystem) {
  // No drive Q: exists here, so only the shortcut can say yes.
  EXPECT_EQ(GetFileAttributesW(L"Q:\\"), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(ensureDirectory(L"Q:"));
  EXPECT_FALSE(ensureDirectory(L"Q:\\folder"));
}

TEST(EnsureDirectory, CountsAnyExistingEntryAsExistingAndFailsWithoutAParent) {
  std::wstring dir = harness::freshTestDir();
  EXPECT_TRUE(ensureDirectory((dir + L"\\new").c_str()));
  EXPECT_TRUE(harness::directoryExists(dir + L"\\new"));
  // The name is taken by a file: the open for writing below it will report.
  harness::writeFile(dir + L"\\taken", "a file");
  EXPECT_TRUE(ensureDirectory((dir + L"\\taken").c_str()));
  unsigned before = knownDirectoryCount;
  EXPECT_FALSE(ensureDirectory((dir + L"\\missing\\child").c_str()));
  EXPECT_EQ(knownDirectoryCount, before) << "a failure is not remembered";
}

}  // namespace
