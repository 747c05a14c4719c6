// Starts in surroundings that users have and tests rarely do: non-ASCII and
// non-BMP folder names, very long target paths, a huge environment and
// command line, hostile inherited TRAVIK variables, a vanished current folder
// and a full disk.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "robust-target.h"
#include "run-outcome.h"

namespace {

using robustness::expectCorrectRun;
using robustness::RobustTarget;

robustness::CaseFigures surroundings("hostile_tried", "hostile_passed");

void expectSilentFullBuffer(const harness::RunResult& result) {
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitCode, 4u);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "");
}

// Wine's CreateProcessW cannot start a program whose path is longer than
// MAX_PATH: it fails with error 2, faults inside its own kernelbase, or
// reports success without starting anything, depending on the length. So
// under Wine only the unpacking of a deep target is checked; elsewhere the
// application starts, or its launch fails with the launch report (Windows
// without long-path support fails such a launch).
bool isLaunchFailure(const harness::RunResult& result) {
  return result.exitCode == 2 && result.out.empty() &&
         result.err.rfind("Error, couldn't launch child ([Error ", 0) == 0;
}

void expectCorrectUnpackOfADeepTarget(const harness::RunResult& result, const std::wstring& target) {
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(harness::treeDifference(robustness::packedFolder(), target), "") << "the target differs from the packed folder";
  if (harness::underWine()) return;
  bool started = result.exitCode == 0 && result.out == robustness::APP_RAN;
  EXPECT_TRUE(started || isLaunchFailure(result))
      << "status " << std::hex << result.exitCode << ", output \"" << result.out << result.err << "\"";
}

std::wstring literalOf(size_t units) {
  std::wstring literal;
  for (size_t i = 0; i < units / 100; ++i) literal += L"\\" + std::wstring(99, L's');
  return literal;
}

TEST(HostileEnvironment, NonAsciiAndNonBmpFolderNames) {
  // Cyrillic, CJK and a character outside the BMP in the folder above the
  // target; the application's own names hold more of them.
  RobustTarget run;
  std::wstring temp = run.temp + L"\\\u043f\u0440\u043e\u0444\u0438\u043b\u044c \u4e2d\u6587 \U0001F600";
  ASSERT_TRUE(CreateDirectoryW(temp.c_str(), nullptr));
  harness::RunOptions options;
  harness::pointTempAt(&options, temp);
  expectCorrectRun(harness::run(harness::binPath(L"robust-bootstrap.exe"), options), temp + L"\\app");
  expectCorrectRun(harness::run(harness::binPath(L"robust-bootstrap.exe"), options), temp + L"\\app");
  surroundings.count();
}

// Under Wine a Windows path becomes the prefix's drive link and the rest, in
// UTF-8, within Linux's 4096 bytes: the deepest target stays below that.
TEST(HostileEnvironment, TargetPathsBeyond260UnitsUpToTheLimit) {
  const size_t longestName = std::wstring(L"\\app\\lib\\plugins\\deep\\exact.bin").size();
  for (size_t units : {200u, 900u, 2900u, 3800u}) {
    SCOPED_TRACE(units);
    RobustTarget run(std::to_wstring(units));
    std::wstring target = run.temp + literalOf(units) + L"\\app";
    if (target.size() + longestName > 4000) GTEST_SKIP() << "the build folder is too deep for the deepest target";
    harness::RunOptions options;
    harness::pointTempAt(&options, run.temp);
    std::wstring bootstrap = harness::binPath(L"robust-long-" + std::to_wstring(units) + L".exe");
    expectCorrectUnpackOfADeepTarget(harness::run(bootstrap, options), target);
  }
  surroundings.count();
}

TEST(HostileEnvironment, AnEnvironmentNearItsSizeLimit) {
  RobustTarget run;
  harness::RunOptions options;
  // A value of the largest size one variable can hold, and many more beside it.
  options.environment.push_back({L"ROBUST_HUGE", std::wstring(32766, L'v')});
  for (int i = 0; i < 64; ++i) options.environment.push_back({L"ROBUST_" + std::to_wstring(i), std::wstring(1000, L'w')});
  expectCorrectRun(run.start(options), run.target);
  surroundings.count();
}

TEST(HostileEnvironment, ACommandLineOfTheLargestSize) {
  // The bootstrap passes the arguments on with its own full path as argument
  // 0; a command line that no longer fits the child's ends the run silently.
  RobustTarget run;
  std::wstring program = harness::quoteArgument(harness::binPath(L"robust-bootstrap.exe"));
  for (size_t length : {size_t{32000}, size_t{32766}}) {
    harness::RunOptions options;
    options.commandLine = program + L" " + std::wstring(length - program.size() - 1, L'a');
    harness::RunResult result = run.start(options);
    if (result.exitCode == 0) expectCorrectRun(result, run.target);
    else expectSilentFullBuffer(result);
  }
  surroundings.count();
}

TEST(HostileEnvironment, InheritedTravikVariablesWithHostileValues) {
  RobustTarget run;
  harness::RunOptions options;
  options.environment = {{L"TRAVIK_ONEFILE_PARENT", L"12; del *"},
                         {L"TRAVIK_ONEFILE_START", L"..\\..\\..\\escape"},
                         {L"TRAVIK_ONEFILE_TIME_US", std::wstring(32766, L'9')},
                         {L"TRAVIK_ONEFILE_RANDOM", L"C:\\Windows\\System32"},
                         {L"TRAVIK_ONEFILE_DIRECTORY", L"\\\\?\\nowhere"},
                         {L"TRAVIK_ORIGINAL_ARGV0", std::wstring(32766, L'%')}};
  expectCorrectRun(run.start(options), run.target);
  EXPECT_EQ(harness::listTree(run.temp).front(), L"app") << "nothing beside the target";
  surroundings.count();
}

// Windows keeps a process's current folder from being removed (it holds it
// open without delete sharing), though one on a share or a removable drive
// can still go away under it. Under Wine any Linux program can remove it:
// this test has rmdir do so while it holds the folder as its current one.
TEST(HostileEnvironment, ACurrentFolderThatNoLongerExists) {
  if (!harness::underWine()) GTEST_SKIP() << "the system keeps a current folder from being removed";
  RobustTarget run;
  std::wstring gone = run.temp + L"\\gone";
  ASSERT_TRUE(CreateDirectoryW(gone.c_str(), nullptr));
  const std::string linuxGone = harness::linuxPath(gone);
  wchar_t previous[MAX_PATH * 4];
  GetCurrentDirectoryW(MAX_PATH * 4, previous);
  ASSERT_TRUE(SetCurrentDirectoryW(gone.c_str()));
  bool removed = harness::runLinuxProgram({"rmdir", linuxGone}) && !harness::directoryExists(gone);
  harness::RunResult result;
  if (removed) result = run.start();  // inherits the current folder that has gone
  SetCurrentDirectoryW(previous);
  ASSERT_TRUE(removed) << "rmdir " << linuxGone;
  expectCorrectRun(result, run.target);
  surroundings.count();
}

void expectDiskFullReport(const harness::RunResult& result) {
  EXPECT_EQ(result.exitCode, 2u);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, harness::systemErrorReport("Error, couldn't unpack file to target path.", ERROR_DISK_FULL));
}

// A folder on a small drive that a file "filler" beside it has nearly
// filled, when full-disk.sh names one in ROBUSTNESS_FULL_DISK (make stress).
std::optional<std::wstring> givenFullDriveFolder() {
  wchar_t given[MAX_PATH];
  DWORD length = GetEnvironmentVariableW(L"ROBUSTNESS_FULL_DISK", given, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::nullopt;
  return std::wstring(given, length);
}

// A Linux symbolic link, made by ln and removed by rm when the scope ends
// (Wine deletes no link that leads to a device).
struct LinuxLink {
  LinuxLink(const std::string& to, const std::string& at)
      : path(at), made(harness::runLinuxProgram({"ln", "-s", to, at})) {}
  ~LinuxLink() {
    if (made) harness::runLinuxProgram({"rm", path});
  }
  LinuxLink(const LinuxLink&) = delete;
  LinuxLink& operator=(const LinuxLink&) = delete;
  std::string path;
  bool made;
};

// An empty cache on the drive that full-disk.sh fills; room is made by
// deleting the filler.
void expectFullDriveReportedThenRepaired(const std::wstring& folder) {
  harness::RunOptions options;
  harness::pointTempAt(&options, folder);
  expectDiskFullReport(harness::run(harness::binPath(L"robust-bootstrap.exe"), options));
  ASSERT_TRUE(DeleteFileW((folder.substr(0, folder.rfind(L'\\')) + L"\\filler").c_str()));
  expectCorrectRun(harness::run(harness::binPath(L"robust-bootstrap.exe"), options), folder + L"\\app");
}

// Under Wine, one file of a warm cache that leads to Linux's /dev/full, where
// every write fails for want of room (ENOSPC, which Wine gives as
// ERROR_DISK_FULL); room is made by removing the link.
void expectDeviceFullReportedThenRepaired() {
  RobustTarget run;
  expectCorrectRun(run.start(), run.target);
  ASSERT_TRUE(DeleteFileW((run.target + L"\\data\\blob.bin").c_str()));
  {
    LinuxLink full("/dev/full", harness::linuxPath(run.target + L"\\data") + "/blob.bin");
    ASSERT_TRUE(full.made);
    expectDiskFullReport(run.start());
  }
  expectCorrectRun(run.start(), run.target);
}

TEST(HostileEnvironment, AFullDiskEndsWithTheSystemsDiskFullTextAndIsRepairedOnceThereIsRoom) {
  std::optional<std::wstring> folder = givenFullDriveFolder();
  if (!folder && !harness::underWine()) GTEST_SKIP() << "no full drive given (full-disk.sh gives one)";
  if (folder) expectFullDriveReportedThenRepaired(*folder);
  else expectDeviceFullReportedThenRepaired();
  surroundings.count();
}

}  // namespace
