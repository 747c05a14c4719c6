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
#include "payload/held-files-seams.h"
#include "payload/held-files.h"
#include "payload/reader.h"
#include "diag/system-calls.h"

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

// Files that another handle holds while the run reaches them ("unpack-held":
// "held" with SHORT_CONTENT, then "empty"). The holder stands for another
// process: share modes are per handle. A pause of the wait moves a clock of
// the test's own on by PAUSE_MS and lets the holder act, so that the
// patience runs out in a few pauses and without waiting.
constexpr DWORD PAUSE_MS = 3000;

struct HeldFileScene {
  const char* what;
  const wchar_t* name;   // the file held: "held" or "empty"
  const char* existing;  // its content before the run; nullptr: the holder creates it
  DWORD access, share;
  int releaseAfter;      // pauses before the holder closes it; -1: never
  int pauses;            // pauses the run makes
  bool rewritten;        // whether the run writes the file itself
};

struct Holder {
  const HeldFileScene* scene;
  std::wstring path;
  HANDLE handle;
  ULONGLONG clock;
  int pauses;
};
Holder holder;

ULONGLONG WINAPI testClock(void) { return holder.clock; }

// Another start writing the file (it has GENERIC_WRITE and no content to
// begin with) adds a byte per pause; every holder closes after releaseAfter
// pauses, its file then moved an hour back so that a later rewrite shows.
void WINAPI testPause(DWORD) {
  holder.clock += PAUSE_MS;
  ++holder.pauses;
  if (holder.handle == INVALID_HANDLE_VALUE) return;
  if (holder.scene->existing == nullptr && holder.pauses <= (int)sizeof SHORT_CONTENT - 1) {
    DWORD written = 0;
    WriteFile(holder.handle, SHORT_CONTENT + holder.pauses - 1, 1, &written, nullptr);
  }
  if (holder.pauses == holder.scene->releaseAfter) {
    CloseHandle(holder.handle);
    holder.handle = INVALID_HANDLE_VALUE;
    file_times::moveAnHourBack(holder.path);
  }
}

// Sets the scene up in target and runs the loop over it; the holder is
// released afterwards if it still holds the file.
void unpackHeld(const std::wstring& target, const HeldFileScene& scene) {
  holder = Holder{&scene, target + L"\\" + scene.name, INVALID_HANDLE_VALUE, 0, 0};
  harness::writeFile(target + L"\\held", SHORT_CONTENT);
  harness::writeFile(target + L"\\empty", "");
  if (scene.existing != nullptr) harness::writeFile(holder.path, scene.existing);
  file_times::moveAnHourBack(target + L"\\held");
  holder.handle = CreateFileW(holder.path.c_str(), scene.access, scene.share, nullptr,
                              scene.existing == nullptr ? CREATE_ALWAYS : OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder.handle, INVALID_HANDLE_VALUE) << scene.what;
  HeldFileClock system = heldFileClock;
  heldFileClock = {testClock, testPause};
  unpackInto(target, L"unpack-held");
  heldFileClock = system;
  if (holder.handle != INVALID_HANDLE_VALUE) CloseHandle(holder.handle);
}

TEST(UnpackPayload, WaitsForAHeldFileAndJudgesItOnceFree) {
  constexpr DWORD READ = GENERIC_READ, WRITE = GENERIC_WRITE, ALL = FILE_SHARE_READ | FILE_SHARE_WRITE;
  // 13 pauses of 3 s: the writer outlasts the patience, but keeps changing.
  const HeldFileScene scenes[] = {
      {"nothing but another reader", L"held", SHORT_CONTENT, READ, ALL | FILE_SHARE_DELETE, -1, 0, false},
      {"another start writing it", L"held", nullptr, WRITE, 0, 13, 13, false},
      {"a scanner reading it, current", L"held", SHORT_CONTENT, READ, 0, 5, 5, false},
      {"a scanner reading it, different", L"held", "differs", READ, 0, 5, 5, true},
      {"a program reading the empty file", L"empty", "", READ, FILE_SHARE_READ, -1, 0, false},
      {"a program holding the empty file", L"empty", "", READ, 0, -1, 0, false},
  };
  int index = 0;
  for (const HeldFileScene& scene : scenes) {
    std::wstring target = harness::freshTestDir(std::to_wstring(index++));
    unpackHeld(target, scene);
    EXPECT_EQ(holder.pauses, scene.pauses) << scene.what;
    EXPECT_EQ(harness::readFile(target + L"\\held"), SHORT_CONTENT) << scene.what;
    EXPECT_EQ(harness::readFile(target + L"\\empty"), "") << scene.what;
    EXPECT_EQ(file_times::writtenInTheLastHalfHour(target + L"\\held"), scene.rewritten) << scene.what;
  }
}

// A holder that never lets go and never changes the file: once the patience
// has run out, the run ends as for any file that cannot be written, and the
// file stays as the holder has it.
TEST(UnpackPayloadDeathTest, EndsTheRunWithItsPathWhenAHeldFileStaysUnchangedPastThePatience) {
  const HeldFileScene writerSharingWriting = {"a writer sharing writing", L"held", "differs", GENERIC_WRITE,
                                              FILE_SHARE_WRITE, -1, 0, false};
  std::wstring target = harness::freshTestDir();
  EXPECT_EXIT(
      {
        unpackHeld(target, writerSharingWriting);
        std::exit(0);
      },
      testing::ExitedWithCode(2), "Error, failed to open '.*\\\\held' for writing\\.");
  EXPECT_EQ(harness::readFile(target + L"\\held"), "differs");
}

// What another process does to "held" while the run reaches it: another
// start finishes it after this run's check, or in a folder this run made; a
// running program has it loaded or mapped; another start keeps writing it.
// A pause moves the test's clock on by PAUSE_MS; past mostPauses the other
// lets go, so that a wait without a bound shows as a run that writes.
enum class Other { FINISHES_IT, LOADED_IT, MAPPED_IT, KEEPS_WRITING_IT };

struct Interleaving {
  const char* what;
  Other other;
  const char* existing;  // "held" before the run; nullptr: no target folder at all
  int writeOpens;        // of "held"; -1: the run ends (status 2) with its open failure, else
                         // it finds "held" current and never cuts it
  int mostPauses;
};

struct OtherProcess {
  const Interleaving* scene;
  std::wstring path;
  HANDLE handle, mapping;
  const void* view;
  int pauses, writeOpens;
} other;

void letGo(void) {
  if (other.view != nullptr) UnmapViewOfFile(other.view), CloseHandle(other.mapping);
  if (other.handle != INVALID_HANDLE_VALUE) CloseHandle(other.handle);
  other.view = nullptr, other.handle = INVALID_HANDLE_VALUE;
}

void WINAPI otherPause(DWORD) {
  holder.clock += PAUSE_MS;
  if (++other.pauses > other.scene->mostPauses) letGo();
  DWORD written = 0;
  if (other.scene->other == Other::KEEPS_WRITING_IT) WriteFile(other.handle, "x", 1, &written, nullptr);
}

const SystemCalls realCalls = systemCalls;

HANDLE WINAPI openWatched(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                          DWORD flags, HANDLE model) {
  bool firstWriteOpen = other.path == name && (access & GENERIC_WRITE) != 0 && other.writeOpens++ == 0;
  if (firstWriteOpen && other.scene->other == Other::FINISHES_IT) {
    harness::writeFile(other.path, SHORT_CONTENT);
    file_times::moveAnHourBack(other.path);
  }
  return realCalls.createFile(name, access, share, security, disposition, flags, model);
}

void unpackBesideTheOther(const std::wstring& target, const Interleaving& scene) {
  other = OtherProcess{&scene, target + L"\\held", INVALID_HANDLE_VALUE, nullptr, nullptr, 0, 0};
  if (scene.existing != nullptr) {
    harness::writeFile(other.path, scene.existing);
    file_times::moveAnHourBack(other.path);
  }
  if (scene.other == Other::KEEPS_WRITING_IT) {  // it appends, sharing nothing
    other.handle = CreateFileW(other.path.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  } else if (scene.other != Other::FINISHES_IT) {  // as a loaded image: readable by all, writable by none
    other.handle = CreateFileW(other.path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
  }
  if (scene.other == Other::MAPPED_IT) {  // a view kept, the file's handle closed
    other.mapping = CreateFileMappingW(other.handle, nullptr, PAGE_READONLY, 0, 0, nullptr);
    other.view = MapViewOfFile(other.mapping, FILE_MAP_READ, 0, 0, 0);
    CloseHandle(other.handle);
    other.handle = INVALID_HANDLE_VALUE;
  }
  heldFileClock = {testClock, otherPause};
  systemCalls.createFile = openWatched;
  unpackInto(target, L"unpack-held");
  systemCalls.createFile = realCalls.createFile;
  letGo();
}

TEST(UnpackPayloadDeathTest, DecidesUnderItsWriteHandleAndTellsAHolderFromAWriter) {
  const HeldFileClock system = heldFileClock;
  const Interleaving scenes[] = {
      {"another start finishes it after the check", Other::FINISHES_IT, "stale", 1, 0},
      {"another start finishes it in a folder this run made", Other::FINISHES_IT, nullptr, 1, 0},
      {"it runs: a second start", Other::LOADED_IT, SHORT_CONTENT, 0, 0},
      {"it runs and differs", Other::LOADED_IT, "stale", -1, 2},
      {"it is mapped and differs", Other::MAPPED_IT, "stale", -1, 2},
      {"another start keeps writing it", Other::KEEPS_WRITING_IT, "stale", -1, 101},
  };
  int index = 0;
  for (const Interleaving& scene : scenes) {
    std::wstring target = harness::freshTestDir(L"interleaving-" + std::to_wstring(index++));
    if (scene.existing == nullptr) target += L"\\made-by-the-run";
    if (scene.writeOpens < 0) {
      EXPECT_EXIT((unpackBesideTheOther(target, scene), std::exit(0)), testing::ExitedWithCode(2),
                  "Error, failed to open '.*\\\\held' for writing\\.")
          << scene.what;
      // (A death test's child runs the rows before its own without their
      // death statements, and so without their files.)
      if (harness::fileExists(target + L"\\held")) {
        EXPECT_EQ(harness::readFile(target + L"\\held").substr(0, 5), "stale") << scene.what << ": left as it was";
      }
      continue;
    }
    unpackBesideTheOther(target, scene);
    EXPECT_EQ(other.writeOpens, scene.writeOpens) << scene.what;
    EXPECT_EQ(harness::readFile(target + L"\\held"), SHORT_CONTENT) << scene.what;
    EXPECT_FALSE(file_times::writtenInTheLastHalfHour(target + L"\\held")) << scene.what << ": cut";
  }
  heldFileClock = system;
}

}  // namespace
