// The removal of older versions' folders, in one table of starts: what a
// start built with --remove-old-versions removes beside its target folder,
// what it leaves, and that its application's status passes unchanged. A
// folder whose rename Windows refuses is shown on the routine, since Wine
// renames a folder that holds open files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "diag/system-calls.h"
#include "fault-table.h"
#include "harness.h"
#include "payload/old-versions.h"

namespace {

const std::wstring VERSION = L"1.2.0", PRERELEASE = L"1.2.0-beta.3";

struct Scene {
  const char* name;
  const wchar_t* bootstrap;
  std::wstring version;                 // the bootstrap's: its own folder
  const wchar_t* parent;                // below TEMP: where the versions' folders lie
  std::vector<std::wstring> planted;    // a folder holding main.exe, or a file below the parent
  std::vector<std::wstring> left;       // what the parent holds afterwards, beside this version
};

const Scene SCENES[] = {
    {"OlderVersionsGo", L"old-versions-removed.exe", VERSION, L"scenes",
     {L"1.0.0", L"1.1.0", L"1.1.0\\data\\deep\\x.txt", L"1.0.0-beta", L"1.2.0-rc.1"}, {}},
    {"NewerForeignAndProgramlessFoldersStay",
     L"old-versions-removed.exe",
     VERSION,
     L"scenes",
     {L"2.0.0", L"1.2", L"1.2.0+build.5", L"old", L"v1.0.0", L"1.0.0-beta.01", L"0.5.0\\other.exe",
      L"1.0.0.removing.x\\f.txt", L"0.9\\main.exe\\f.txt"},
     {L"0.5.0", L"0.9", L"1.0.0-beta.01", L"1.0.0.removing.x", L"1.2", L"1.2.0+build.5", L"2.0.0", L"old", L"v1.0.0"}},
    // SemVer's order: a release after its prereleases, numbers by value,
    // numbers before words, a longer list after the one it begins with.
    {"APrereleaseRemovesOnlyEarlierPrereleases",
     L"old-versions-prerelease.exe",
     PRERELEASE,
     L"scenes",
     {L"1.2.0", L"1.2.0-beta.10", L"1.2.0-beta.3.1", L"1.2.0-rc", L"1.2.0-beta.2", L"1.2.0-beta", L"1.2.0-alpha.9",
      L"1.2.0-3", L"1.1.9"},
     {L"1.2.0", L"1.2.0-beta.10", L"1.2.0-beta.3.1", L"1.2.0-rc"}},
    // Another spelling of its own version is its own folder on Windows.
    {"ItsOwnFolderInAnotherCaseStays", L"old-versions-prerelease.exe", PRERELEASE, L"scenes",
     {L"1.2.0-BETA.3", L"1.2.0-alpha"}, {}},
    {"WhatAnInterruptedStartMarkedIsFinished", L"old-versions-removed.exe", VERSION, L"scenes",
     {L"1.0.0.removing.77\\data\\x.txt", L"1.0.0-rc.1.removing.78\\x.txt"}, {}},
    {"WithoutTheOptionNothingGoes", L"old-versions-kept.exe", VERSION, L"scenes", {L"1.0.0"}, {L"1.0.0"}},
    {"ABareVersionTemplateRemovesNothing", L"old-versions-bare-template.exe", VERSION, L"", {L"1.0.0"}, {L"1.0.0"}},
};

void plant(const std::wstring& parent, const std::wstring& entry) {
  std::wstring file = parent + L"\\" + entry + (entry.find(L'\\') != std::wstring::npos ? L"" : L"\\main.exe");
  for (size_t cut = file.find(L'\\', 3); cut != std::wstring::npos; cut = file.find(L'\\', cut + 1))
    CreateDirectoryW(file.substr(0, cut).c_str(), nullptr);
  harness::writeFile(file, "an older version");
}

// Beside its own folder, spelt in any case.
std::vector<std::wstring> besideVersion(const std::wstring& parent, const std::wstring& version = VERSION) {
  std::vector<std::wstring> found;
  for (const std::wstring& name : harness::listTree(parent))
    if (name.find(L'\\') == std::wstring::npos && _wcsicmp(name.c_str(), version.c_str()) != 0) found.push_back(name);
  return found;
}

harness::RunResult start(const std::wstring& bootstrap, const std::wstring& temp) {
  harness::RunOptions options;
  harness::pointTempAt(&options, temp);
  options.currentDirectory = temp;
  harness::RunResult run = harness::run(harness::binPath(bootstrap), options);
  for (int again = 0; again < 2 && harness::wineCouldNotStartTheChild(run); ++again)
    run = harness::run(harness::binPath(bootstrap), options);
  return run;
}

// ctest names the runs by their scene.
void PrintTo(const Scene& scene, std::ostream* out) { *out << scene.name; }

class OldVersions : public testing::TestWithParam<Scene> {};

TEST_P(OldVersions, StartRemovesOnlyOlderVersionsOfItsOwnProgram) {
  const Scene& scene = GetParam();
  std::wstring temp = harness::freshTestDir();
  std::wstring parent = scene.parent[0] == L'\0' ? temp : temp + L"\\" + scene.parent;
  for (const std::wstring& entry : scene.planted) plant(parent, entry);

  harness::RunResult run = start(scene.bootstrap, temp);
  EXPECT_EQ(run.exitCode, FAULT_APP_STATUS);
  EXPECT_EQ(run.out + run.err, "");
  EXPECT_EQ(harness::treeDifference(harness::binPath(L"fault-app"), parent + L"\\" + scene.version), "");
  EXPECT_EQ(besideVersion(parent, scene.version), scene.left);
}

INSTANTIATE_TEST_SUITE_P(Scenes, OldVersions, testing::ValuesIn(SCENES),
                         [](const testing::TestParamInfo<Scene>& info) { return std::string(info.param.name); });

// A link inside an older version leads to precious files: they stay, and
// the link is never walked into. On Windows the link itself goes; Wine 8
// cannot remove a Unix link to a folder (error 145), so there the marked
// folder keeps the link alone.
TEST(OldVersionsLinks, ALinkInsideIsNeverWalkedInto) {
  if (!harness::underWine()) GTEST_SKIP() << "the link is made as a Unix symbolic link";
  std::wstring temp = harness::freshTestDir(), parent = temp + L"\\scenes";
  plant(temp, L"precious\\keep.txt");
  plant(parent, L"1.0.0");
  ASSERT_TRUE(harness::runLinuxProgram({"ln", "-s", harness::linuxPath(temp + L"\\precious"),
                                        harness::linuxPath(parent + L"\\1.0.0") + "/link"}));
  ASSERT_EQ(GetFileAttributesW((parent + L"\\1.0.0\\link").c_str()),
            (DWORD)(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));

  EXPECT_EQ(start(L"old-versions-removed.exe", temp).exitCode, FAULT_APP_STATUS);
  EXPECT_EQ(harness::listTree(temp + L"\\precious"), std::vector<std::wstring>{L"keep.txt"});
  std::vector<std::wstring> left = besideVersion(parent);
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].rfind(L"1.0.0.removing.", 0), 0u);
  std::wstring marked = parent + L"\\" + left[0];
  EXPECT_EQ(harness::listTree(marked), (std::vector<std::wstring>{L"link", L"link\\keep.txt"}));
}

// Windows refuses to rename a folder that a program runs from or that holds
// an open file: such a folder stays whole, and a later start removes it.
TEST(OldVersionsRename, AFolderThatRefusesItsRenameStaysWholeForALaterStart) {
  std::wstring parent = harness::freshTestDir(), target = parent + L"\\" + VERSION;
  plant(parent, L"1.0.0\\data\\x.txt");
  plant(parent, L"1.0.0");
  auto removeOnce = [&] {
    ASSERT_TRUE(prepareOldVersionRemoval(L"{TEMP}\\scenes\\{VERSION}", VERSION.c_str(), target.c_str(),
                                         (target + L"\\main.exe").c_str()));
    removeOldVersions();
  };
  std::vector<std::wstring> before = harness::listTree(parent);
  SystemCalls real = systemCalls;
  systemCalls.moveFileEx = [](LPCWSTR, LPCWSTR, DWORD) -> BOOL {
    SetLastError(ERROR_SHARING_VIOLATION);
    return FALSE;
  };
  removeOnce();
  systemCalls = real;
  EXPECT_EQ(harness::listTree(parent), before);
  removeOnce();
  EXPECT_EQ(harness::listTree(parent), std::vector<std::wstring>{});
}

}  // namespace
