// Real bootstraps unpacking a packed application folder into a folder of the
// test's own ({TEMP}\app, with TEMP pointing into the test's folder).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "file-times.h"
#include "harness.h"

namespace {

const std::wstring APP = L"extract-app.exe";

// The folder that was packed, beside the test programs.
std::wstring sourceFolder() { return harness::binPath(L"extract-app"); }

struct TestTarget {
  std::wstring temp = harness::freshTestDir();
  std::wstring target = temp + L"\\app";

  harness::RunResult start(const std::wstring& bootstrap = APP) const {
    harness::RunOptions options;
    harness::pointTempAt(&options, temp);
    return harness::run(harness::binPath(bootstrap), options);
  }
};

void expectCleanRun(const harness::RunResult& result) {
  EXPECT_EQ(result.exitCode, 0u);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "");
}

bool isFolder(const std::wstring& path) { return harness::directoryExists(path); }

// Every file and folder of the packed folder is in the target, byte for
// byte, and nothing else is.
void expectSameFiles(const std::wstring& target) { EXPECT_EQ(harness::treeDifference(sourceFolder(), target), ""); }

TEST(UnpackRun, FirstRunCreatesTheTargetFolderAndEveryFileByteForByte) {
  TestTarget run;
  ASSERT_FALSE(isFolder(run.target));
  expectCleanRun(run.start());
  expectSameFiles(run.target);
  EXPECT_TRUE(isFolder(run.target + L"\\a\\b"));
  EXPECT_EQ(harness::readFile(run.target + L"\\empty.txt"), "");
}

TEST(UnpackRun, SecondRunWritesNothingAndLeavesUnrelatedFilesAlone) {
  TestTarget run;
  expectCleanRun(run.start());
  harness::writeFile(run.target + L"\\not-in-payload.txt", "mine");
  CreateDirectoryW((run.target + L"\\a\\mine").c_str(), nullptr);
  harness::writeFile(run.target + L"\\a\\mine\\note", "also mine");
  std::vector<std::wstring> listing = harness::listTree(run.target);
  std::vector<std::pair<std::wstring, FILETIME>> times;
  for (const std::wstring& name : listing)
    if (!isFolder(run.target + L"\\" + name))
      times.emplace_back(name, file_times::moveAnHourBack(run.target + L"\\" + name));

  expectCleanRun(run.start());
  EXPECT_EQ(harness::listTree(run.target), listing) << "nothing created, nothing removed";
  // Empty files too: they are current when they are there and empty.
  for (const auto& [name, before] : times)
    EXPECT_TRUE(file_times::sameTime(harness::lastWriteTime(run.target + L"\\" + name), before)) << harness::narrow(name);
  EXPECT_EQ(harness::readFile(run.target + L"\\not-in-payload.txt"), "mine");
  EXPECT_EQ(harness::readFile(run.target + L"\\a\\mine\\note"), "also mine");
}

TEST(UnpackRun, ChangedShortenedLengthenedAndDeletedFilesAreWrittenAgainCompletely) {
  TestTarget run;
  expectCleanRun(run.start());
  std::string changed = harness::readFile(run.target + L"\\a\\b\\c.dat");
  changed[changed.size() / 2] ^= 0x5A;  // same length, other bytes
  harness::writeFile(run.target + L"\\a\\b\\c.dat", changed);
  std::string large = harness::readFile(run.target + L"\\data\\large.bin");
  harness::writeFile(run.target + L"\\data\\large.bin", large.substr(0, 1000));
  harness::writeFile(run.target + L"\\top.txt", harness::readFile(run.target + L"\\top.txt") + "more");
  ASSERT_TRUE(DeleteFileW((run.target + L"\\main.exe").c_str()));
  harness::removeTree(run.target + L"\\a");

  expectCleanRun(run.start());
  expectSameFiles(run.target);
}

TEST(UnpackRun, AnIdenticalMainProgramThatIsRunningDoesNotStopTheRun) {
  TestTarget run;
  expectCleanRun(run.start());
  std::wstring program = run.target + L"\\main.exe";
  std::wstring commandLine = harness::quoteArgument(program) + L" --hold";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION running = {};
  ASSERT_TRUE(CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &running));
  CloseHandle(running.hThread);
  // Held open as a running image: it could not be opened for writing now.
  HANDLE writer = CreateFileW(program.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  bool writable = writer != INVALID_HANDLE_VALUE;
  if (writable) CloseHandle(writer);

  harness::RunResult result = run.start();
  TerminateProcess(running.hProcess, 0);
  WaitForSingleObject(running.hProcess, INFINITE);
  CloseHandle(running.hProcess);
  EXPECT_FALSE(writable) << "the running program's file should be in use";
  expectCleanRun(result);
  expectSameFiles(run.target);
}

std::string openFailure(const std::wstring& path) {
  return "Error, failed to open '" + harness::narrow(path) + "' for writing.\r\n";
}

TEST(UnpackRun, AFolderWhereAFileBelongsEndsTheRunAfterTheFilesBeforeIt) {
  TestTarget run;
  expectCleanRun(run.start());
  // Records run main.exe, a\..., data\crc-zero.bin, data\large.bin, empty.txt, top.txt.
  ASSERT_TRUE(DeleteFileW((run.target + L"\\a\\b\\c.dat").c_str()));
  ASSERT_TRUE(DeleteFileW((run.target + L"\\top.txt").c_str()));
  ASSERT_TRUE(DeleteFileW((run.target + L"\\data\\large.bin").c_str()));
  ASSERT_TRUE(CreateDirectoryW((run.target + L"\\data\\large.bin").c_str(), nullptr));

  harness::RunResult result = run.start();
  EXPECT_EQ(result.exitCode, 2u);
  EXPECT_EQ(result.err, openFailure(run.target + L"\\data\\large.bin"));
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(harness::readFile(run.target + L"\\a\\b\\c.dat"), harness::readFile(sourceFolder() + L"\\a\\b\\c.dat"))
      << "a file before the failure was written";
  EXPECT_FALSE(harness::fileExists(run.target + L"\\top.txt")) << "nothing after it";
}

// A scanner or backup tool that opens a file without sharing for a moment
// (here for 2 s, from this process, which to the bootstrap is another one)
// holds the start up, but does not end it.
TEST(UnpackRun, AFileHeldWithoutSharingForAMomentIsWaitedForThenWritten) {
  TestTarget run;
  expectCleanRun(run.start());
  std::wstring path = run.target + L"\\top.txt";
  harness::writeFile(path, "changed");
  HANDLE held = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  HANDLE release = CreateThread(
      nullptr, 0, [](void* file) -> DWORD { return Sleep(2000), CloseHandle(file); }, held, 0, nullptr);
  harness::RunResult result = run.start();
  WaitForSingleObject(release, INFINITE);
  CloseHandle(release);
  expectCleanRun(result);
  expectSameFiles(run.target);
}

// extract-long-name.exe unpacks below {TEMP} and a literal of some 3400 code
// units: its main.exe fits, the next file's 900-unit name does not.
TEST(UnpackRun, ATargetPathOverTheLimitEndsTheRunSilentlyBeforeThatFile) {
  TestTarget run;
  harness::RunResult result = run.start(L"extract-long-name.exe");
  EXPECT_EQ(result.exitCode, 4u);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "");
  std::vector<std::wstring> created = harness::listTree(run.temp);
  ASSERT_FALSE(created.empty());
  std::wstring mainProgram = created.back();  // the deepest entry sorts last
  EXPECT_EQ(mainProgram.substr(mainProgram.size() - 9), L"\\main.exe");
  EXPECT_EQ(harness::readFile(run.temp + L"\\" + mainProgram),
            harness::readFile(harness::binPath(L"extract-long-name\\main.exe")));
  for (const std::wstring& name : created) EXPECT_EQ(name.find(L"llll"), std::wstring::npos) << "nothing of the long name";
}

}  // namespace
