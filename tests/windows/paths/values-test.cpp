// The values of the placeholders, compared with what this test gets from the
// same system calls.
#include <gtest/gtest.h>

#include <shlobj.h>

#include "harness.h"
#include "paths-test-support.h"

namespace {

using paths_test::expand;
using paths_test::Expansion;
using paths_test::ScopedVariable;
using paths_test::withoutTrailingBackslashes;

// What the system gives this test for the temporary folder ("" on failure).
std::wstring systemTempFolder() {
  wchar_t path[MAX_PATH + 2];
  DWORD length = GetTempPathW(MAX_PATH + 2, path);
  return length > MAX_PATH + 1 ? L"" : std::wstring(path, length);
}

std::wstring systemShellFolder(int folder) {
  wchar_t path[MAX_PATH] = L"";
  EXPECT_EQ(SHGetFolderPathW(nullptr, folder, nullptr, SHGFP_TYPE_CURRENT, path), S_OK);
  return withoutTrailingBackslashes(path);
}

// TMP comes first for the system; TEMP is set alike so that neither decides alone.
struct ScopedTempFolder {
  explicit ScopedTempFolder(const std::wstring& path) : tmp(L"TMP", path), temp(L"TEMP", path) {}
  ScopedVariable tmp, temp;
};

TEST(TempValue, NeverEndsInABackslashSoOneSeparatorFollows) {
  std::wstring system = systemTempFolder();
  ASSERT_EQ(system.back(), L'\\') << "the system's own form ends in a backslash";
  EXPECT_EQ(expand(L"{TEMP}\\x").text, withoutTrailingBackslashes(system) + L"\\x");
  ScopedTempFolder root(L"C:\\");
  ASSERT_EQ(systemTempFolder(), L"C:\\");
  EXPECT_EQ(expand(L"{TEMP}").text, L"C:") << "a drive root loses its backslash";
}

// Under Wine a TMP longer than MAX_PATH makes GetTempPathW fail. An empty
// value would let dir\{TEMP}\x become dir\x and {TEMP}\x the drive root's
// \x: the expansion fails instead, keeping what came before the placeholder.
TEST(TempValue, AFailingTempFolderFailsTheExpansion) {
  ScopedTempFolder unusable(std::wstring(MAX_PATH + 40, L'a'));
  if (!systemTempFolder().empty()) GTEST_SKIP() << "this system still finds a temporary folder";
  Expansion alone = expand(L"dir\\{TEMP}\\x");
  EXPECT_FALSE(alone.expanded);
  EXPECT_EQ(alone.text, L"dir\\");
  EXPECT_FALSE(expand(L"{TEMP}\\x").expanded);
}

TEST(ShellFolderValues, AreTheProfileAndLocalApplicationDataFolders) {
  Expansion cache = expand(L"{CACHE_DIR}\\Quorvane\\{VERSION}");
  ASSERT_TRUE(cache.expanded);
  EXPECT_EQ(cache.text, systemShellFolder(CSIDL_LOCAL_APPDATA) + L"\\Quorvane\\1.7.0");
  EXPECT_EQ(expand(L"{HOME}\\x").text, systemShellFolder(CSIDL_PROFILE) + L"\\x");
}

TEST(VersionValues, AllThreeGiveTheBuiltInVersionText) {
  EXPECT_EQ(expand(L"{VERSION}|{FILE_VERSION}|{PRODUCT_VERSION}").text, L"1.7.0|1.7.0|1.7.0");
}

// The probe expands "{PROGRAM}|{PROGRAM_BASE}|{PROGRAM_DIR}" under the name it
// is started by. (A drive root is tested by program-in-drive-root.sh: under
// Wine a drive letter reaches file access only through the prefix's mapping.)
std::wstring programValuesAs(const std::wstring& folder, const std::wstring& name) {
  std::wstring path = folder + L"\\" + name;
  if (!CopyFileW(harness::binPath(L"template-probe.exe").c_str(), path.c_str(), FALSE))
    throw std::runtime_error("cannot copy the probe");
  harness::RunOptions options;
  options.commandLine = harness::quoteArgument(path) + L" \"{PROGRAM}|{PROGRAM_BASE}|{PROGRAM_DIR}\"";
  harness::RunResult result = harness::run(path, options);
  EXPECT_EQ(result.out.substr(0, 2), "1|");
  return harness::widen(result.out.substr(2));
}

TEST(ProgramValues, OnlyAnExeExtensionInAnyCaseIsTrimmed) {
  std::wstring folder = harness::freshTestDir(), at = folder + L"\\";
  EXPECT_EQ(programValuesAs(folder, L"App.EXE"), at + L"App.EXE|" + at + L"App|" + folder);
  EXPECT_EQ(programValuesAs(folder, L"App.com"), at + L"App.com|" + at + L"App.com|" + folder);
  EXPECT_EQ(programValuesAs(folder, L"x.exe.Exe"), at + L"x.exe.Exe|" + at + L"x.exe|" + folder);
  // Trimming works on the program's path alone, never on the text before it.
  EXPECT_EQ(expand(L"a\\b{PROGRAM_DIR}").text, L"a\\b" + harness::binDir());
}

TEST(ProcessIdValue, IsTheRecordedParentWhenSetAndTheOwnIdOtherwise) {
  {
    ScopedVariable parent(L"TRAVIK_ONEFILE_PARENT", L"1234");
    EXPECT_EQ(expand(L"{PID}").text, L"1234");
  }
  {
    ScopedVariable parent(L"TRAVIK_ONEFILE_PARENT", std::nullopt);
    EXPECT_EQ(expand(L"{PID}").text, paths_test::ownProcessId());
    EXPECT_EQ(paths_test::variable(L"TRAVIK_ONEFILE_PARENT"), std::nullopt) << "{PID} stores nothing";
  }
  ScopedVariable parent(L"TRAVIK_ONEFILE_PARENT", L"");
  ASSERT_EQ(paths_test::variable(L"TRAVIK_ONEFILE_PARENT"), L"") << "an empty variable exists";
  EXPECT_EQ(expand(L"{PID}").text, paths_test::ownProcessId());
}

// Only ASCII digits pass, so other scripts' digits end the run as well.
TEST(ProcessIdValueDeathTest, ARecordedParentThatIsNotDigitsEndsTheRun) {
  for (const wchar_t* value : {L"12a4", L"-5", L"\u0661\u0662"}) {
    EXPECT_EXIT(
        {
          SetEnvironmentVariableW(L"TRAVIK_ONEFILE_PARENT", value);
          expand(L"{PID}");
        },
        testing::ExitedWithCode(4), "^$");
  }
}

}  // namespace
