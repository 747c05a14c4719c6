// An update's first start takes the files that did not change from the
// newest other version's folder beside its own, as hard links, in one table
// of starts: which files end up shared with the folder beside, that every
// file of the new version is whole, and that the folder beside keeps every
// byte it had. A refusal of every link is made by the fault probe. Under
// Wine a Unix link to a file looks like a plain file, so the link beside is
// a link to a folder (a junction's look there).
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "fault-table.h"
#include "harness.h"

namespace {

const std::wstring SOURCE = L"fault-app";
const std::wstring UPDATE = L"links-update.exe";  // version 1.2.0 under {TEMP}\scenes
const std::wstring PROBE = L"fault-probe.exe";    // version 1.0.0 under {TEMP}\app

struct Scene {
  const char* name;
  const wchar_t* bootstrap;
  // Plants what the start meets, in the versions' parent; returns the folder beside.
  std::wstring (*plant)(const std::wstring& parent, const std::wstring& target);
  std::set<std::wstring> taken;  // the target's files that must share the folder beside's
  const char* refusal;           // for the probe: the call refused, with its code
};

void copyTree(const std::wstring& from, const std::wstring& to) {
  CreateDirectoryW(to.c_str(), nullptr);
  for (const std::wstring& name : harness::listTree(from)) {
    std::wstring source = from + L"\\" + name, copy = to + L"\\" + name;
    if (harness::directoryExists(source))
      CreateDirectoryW(copy.c_str(), nullptr);
    else
      harness::writeFile(copy, harness::readFile(source));
  }
}

// A changed byte, the size kept: only the checksum tells.
void changeInPlace(const std::wstring& path) {
  std::string bytes = harness::readFile(path);
  bytes[bytes.size() / 2] ^= 0x55;
  harness::writeFile(path, bytes);
}

std::wstring wholeBeside(const std::wstring& parent, const std::wstring&) {
  copyTree(harness::binPath(SOURCE), parent + L"\\1.1.0");
  return parent + L"\\1.1.0";
}

std::wstring currentAlready(const std::wstring& parent, const std::wstring& target) {
  copyTree(harness::binPath(SOURCE), target);
  return wholeBeside(parent, target);
}

std::wstring changedBeside(const std::wstring& parent, const std::wstring& target) {
  std::wstring beside = wholeBeside(parent, target);
  changeInPlace(beside + L"\\top.txt");
  changeInPlace(beside + L"\\a\\b\\c.dat");
  return beside;
}

// The newest folder beside is a link to a whole copy: the plain one below it is taken.
std::wstring linkBeside(const std::wstring& parent, const std::wstring& target) {
  std::wstring elsewhere = harness::freshTestDir(L"-elsewhere");
  copyTree(harness::binPath(SOURCE), elsewhere + L"\\copy");
  EXPECT_TRUE(harness::runLinuxProgram(
      {"ln", "-s", harness::linuxPath(elsewhere + L"\\copy"), harness::linuxPath(parent + L"\\1.1.5")}));
  return wholeBeside(parent, target);
}

// The target's top.txt is a hard link to the folder beside's, and both are damaged.
std::wstring sharedAndDamaged(const std::wstring& parent, const std::wstring& target) {
  std::wstring beside = wholeBeside(parent, target);
  changeInPlace(beside + L"\\top.txt");
  CreateDirectoryW(target.c_str(), nullptr);
  EXPECT_TRUE(CreateHardLinkW((target + L"\\top.txt").c_str(), (beside + L"\\top.txt").c_str(), nullptr));
  return beside;
}

const Scene SCENES[] = {
    {"CurrentFilesStayAsTheyAre", UPDATE.c_str(), currentAlready, {}, nullptr},
    // The program to start is always written: old versions could not lose its name while it runs.
    {"UnchangedFilesAreTaken", UPDATE.c_str(), wholeBeside, {L"a\\b\\c.dat", L"a\\empty.txt", L"top.txt"}, nullptr},
    {"FilesChangedBesideAreWritten", UPDATE.c_str(), changedBeside, {L"a\\empty.txt"}, nullptr},
    {"ALinkBesideIsNeverTaken", UPDATE.c_str(), linkBeside, {L"a\\b\\c.dat", L"a\\empty.txt", L"top.txt"}, nullptr},
    // 1.1.0 is newer than the probe's own version: its removal of older versions leaves it.
    {"RefusedLinksAreWritten", PROBE.c_str(), wholeBeside, {}, "CreateHardLinkW:1"},
    {"ASharedFileIsRepairedAsANewFile", UPDATE.c_str(), sharedAndDamaged, {L"a\\b\\c.dat", L"a\\empty.txt"}, nullptr},
};

bool fileIdentity(const std::wstring& path, BY_HANDLE_FILE_INFORMATION* info) {
  HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool read = GetFileInformationByHandle(file, info);
  CloseHandle(file);
  return read;
}

// The target's files that are the very files of the folder beside; a file
// of the target that shares itself with anything else is named too.
std::set<std::wstring> sharedFiles(const std::wstring& target, const std::wstring& beside) {
  std::set<std::wstring> shared;
  for (const std::wstring& name : harness::listTree(target)) {
    BY_HANDLE_FILE_INFORMATION mine, theirs;
    if (harness::directoryExists(target + L"\\" + name) || !fileIdentity(target + L"\\" + name, &mine)) continue;
    bool same = fileIdentity(beside + L"\\" + name, &theirs) && mine.nFileIndexHigh == theirs.nFileIndexHigh &&
                mine.nFileIndexLow == theirs.nFileIndexLow;
    if (same || mine.nNumberOfLinks != 1) shared.insert(same ? name : name + L" (shared elsewhere)");
  }
  return shared;
}

std::map<std::wstring, std::string> contents(const std::wstring& folder) {
  std::map<std::wstring, std::string> found;
  for (const std::wstring& name : harness::listTree(folder))
    if (!harness::directoryExists(folder + L"\\" + name)) found[name] = harness::readFile(folder + L"\\" + name);
  return found;
}

harness::RunResult start(const Scene& scene, const std::wstring& temp) {
  harness::RunOptions options;
  harness::pointTempAt(&options, temp);
  options.currentDirectory = temp;
  if (scene.refusal != nullptr) {
    options.commandLine = harness::quoteArgument(harness::binPath(PROBE)) + L" " +
                          harness::quoteArgument(harness::binPath(L"fault-app.payload")) + L" 0";
    options.environment.push_back({L"ONEFILE_FAULT_REFUSE", harness::widen(scene.refusal)});
  }
  harness::RunResult run = harness::run(harness::binPath(scene.bootstrap), options);
  for (int again = 0; again < 2 && harness::wineCouldNotStartTheChild(run); ++again)
    run = harness::run(harness::binPath(scene.bootstrap), options);
  return run;
}

void PrintTo(const Scene& scene, std::ostream* out) { *out << scene.name; }

class TakenFiles : public testing::TestWithParam<Scene> {};

TEST_P(TakenFiles, AnUpdateSharesOnlyUnchangedFilesAndLeavesTheFolderBesideAsItWas) {
  const Scene& scene = GetParam();
  if (!harness::underWine() && scene.plant == linkBeside) GTEST_SKIP() << "the link is made as a Unix symbolic link";
  std::wstring temp = harness::freshTestDir();
  bool probe = scene.refusal != nullptr;
  std::wstring parent = temp + (probe ? L"\\app" : L"\\scenes");
  std::wstring target = parent + L"\\" + (probe ? FAULT_VERSION : L"1.2.0");
  CreateDirectoryW(parent.c_str(), nullptr);
  std::wstring beside = scene.plant(parent, target);
  std::map<std::wstring, std::string> besideBefore = contents(beside);

  harness::RunResult run = start(scene, temp);
  EXPECT_EQ(run.exitCode, FAULT_APP_STATUS);
  EXPECT_EQ(run.out + run.err, "");
  EXPECT_EQ(harness::treeDifference(harness::binPath(SOURCE), target), "");
  EXPECT_EQ(sharedFiles(target, beside), scene.taken);
  EXPECT_EQ(contents(beside), besideBefore) << "the folder beside changed";
}

INSTANTIATE_TEST_SUITE_P(Scenes, TakenFiles, testing::ValuesIn(SCENES),
                         [](const testing::TestParamInfo<Scene>& info) { return std::string(info.param.name); });

}  // namespace
