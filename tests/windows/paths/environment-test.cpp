// Reading and setting variables, the bounded appends, and the target
// directory made absolute.
#include <gtest/gtest.h>

#include <stdlib.h>

#include "diag/text.h"
#include "harness.h"
#include "paths-test-support.h"
#include "paths/environment.h"
#include "paths/target-directory.h"

namespace {

using harness::GuardedBuffer;
using paths_test::ScopedVariable;

// The copy the routines hand out, freed here; nullopt for null.
std::optional<std::wstring> taken(wchar_t* copy) {
  if (copy == nullptr) return std::nullopt;
  std::wstring text = copy;
  free(copy);
  return text;
}

TEST(EnvironmentValues, AMissingOrEmptyVariableReadsAsNullAndANullValueRemoves) {
  ScopedVariable saved(L"ONEFILE_TEST_VALUE", std::nullopt);
  EXPECT_EQ(taken(getEnvironmentValue("ONEFILE_TEST_VALUE")), std::nullopt);
  SetEnvironmentVariableW(L"ONEFILE_TEST_VALUE", L"");
  ASSERT_EQ(paths_test::variable(L"ONEFILE_TEST_VALUE"), L"") << "an empty variable exists";
  EXPECT_EQ(taken(getEnvironmentValueW(L"ONEFILE_TEST_VALUE")), std::nullopt);
  setEnvironmentValue("ONEFILE_TEST_VALUE", L"on");
  EXPECT_EQ(taken(getEnvironmentValueW(L"onefile_test_value")), L"on") << "names ignore case";
  setEnvironmentValue("ONEFILE_TEST_VALUE", nullptr);
  EXPECT_EQ(paths_test::variable(L"ONEFILE_TEST_VALUE"), std::nullopt);
}

// The longest value the system keeps (32767 units on Windows, 32766 under
// Wine) is read whole, and what is handed out is a copy.
TEST(EnvironmentValues, AreReadAsCopiesUpToTheSystemsLongestValue) {
  std::wstring longest(32767, L'v');
  longest[0] = L'\u4e2d';
  ScopedVariable set(L"ONEFILE_TEST_VALUE", longest);
  std::optional<std::wstring> held = paths_test::variable(L"ONEFILE_TEST_VALUE");
  ASSERT_GE(held->size(), 32766u);
  wchar_t* copy = getEnvironmentValue("ONEFILE_TEST_VALUE");
  SetEnvironmentVariableW(L"ONEFILE_TEST_VALUE", L"changed");
  std::optional<std::wstring> read = taken(copy);
  ASSERT_TRUE(read.has_value());
  EXPECT_TRUE(*read == *held) << "read " << read->size() << " units of " << held->size();
}

TEST(EnvironmentValuesDeathTest, ANameOf39CharactersIsTheLongestThatFits) {
  std::string longest = "ONEFILE_TEST_" + std::string(39 - 13, 'N');
  ScopedVariable set(harness::widen(longest), L"long name");
  EXPECT_EQ(taken(getEnvironmentValue(longest.c_str())), L"long name");
  std::string tooLong = longest + "N";
  EXPECT_EXIT(getEnvironmentValue(tooLong.c_str()), testing::ExitedWithCode(4), "^$");
  EXPECT_EXIT(setEnvironmentValue(tooLong.c_str(), L"x"), testing::ExitedWithCode(4), "^$");
}

TEST(BoundedAppends, AppendAfterTheTextThereUpToTheLastUnitOneWideCharacterPerByte) {
  GuardedBuffer buffer(7);
  wcscpy(buffer.data(), L"ab");
  appendWideBounded(buffer.data(), 7, L"cd");
  widenNarrowText(buffer.data(), 7, "\xe9\x7f");
  EXPECT_EQ(buffer.text(), L"abcd\u00e9\u007f");
}

TEST(BoundedAppendsDeathTest, TextThatDoesNotFitEndsTheRunWithoutWritingPastTheBuffer) {
  auto appendTo = [](const wchar_t* start, const wchar_t* wide, const char* narrow) {
    GuardedBuffer buffer(6);
    wcscpy(buffer.data(), start);
    if (wide != nullptr) appendWideBounded(buffer.data(), 6, wide);
    if (narrow != nullptr) widenNarrowText(buffer.data(), 6, narrow);
  };
  EXPECT_EXIT(appendTo(L"abc", L"def", nullptr), testing::ExitedWithCode(4), "^$");
  EXPECT_EXIT(appendTo(L"abcde", nullptr, "f"), testing::ExitedWithCode(4), "^$");
  // A buffer without a terminator has no end to append at.
  EXPECT_EXIT(appendWideBounded(GuardedBuffer(4).data(), 4, L""), testing::ExitedWithCode(4), "^$");
}

// The target directory resolved with folder as the current directory.
std::wstring resolvedIn(const std::wstring& folder, const std::wstring& path) {
  wchar_t saved[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, saved);
  SetCurrentDirectoryW(folder.c_str());
  wcscpy(targetDirectory, path.c_str());
  resolveTargetPath();
  SetCurrentDirectoryW(saved);
  return targetDirectory;
}

// A path of the given full length below folder.
std::wstring pathOfLength(const std::wstring& folder, size_t length) {
  std::wstring path = folder;
  while (path.size() < length) path += L"\\" + std::wstring(std::min<size_t>(200, length - path.size() - 1), L'd');
  return path;
}

TEST(TargetDirectory, ResolvesAgainstTheCurrentDirectoryUpTo4095Units) {
  std::wstring folder = harness::freshTestDir();
  EXPECT_EQ(resolvedIn(folder, L"cache/app\\.\\x\\..\\1.7.0"), folder + L"\\cache\\app\\1.7.0");
  EXPECT_EQ(resolvedIn(folder, L"C:/x/y"), L"C:\\x\\y");
  std::wstring longest = pathOfLength(folder, PATH_CAPACITY - 1);
  EXPECT_TRUE(resolvedIn(folder, longest.substr(folder.size() + 1)) == longest);
}

// A template that names a share: the server and share stay as they are, and
// neither a .. nor forward slashes climb above the share.
TEST(TargetDirectory, KeepsAShareWhenItResolvesAUncPath) {
  std::wstring folder = harness::freshTestDir();
  const std::pair<const wchar_t*, const wchar_t*> cases[] = {
      {L"\\\\server\\share\\cache\\app", L"\\\\server\\share\\cache\\app"},
      {L"\\\\server\\share\\cache\\.\\x\\..\\app", L"\\\\server\\share\\cache\\app"},
      {L"//server/share/cache/app", L"\\\\server\\share\\cache\\app"},
      {L"\\\\server\\share\\..\\..\\app", L"\\\\server\\share\\app"},
  };
  for (const auto& [path, resolved] : cases) EXPECT_EQ(resolvedIn(folder, path), resolved) << path;
}

// The relative form fits the buffer; only the current directory makes it too
// long. Each death-test child sets its own current directory.
TEST(TargetDirectoryDeathTest, AFullPathOf4096UnitsOrMoreEndsTheRun) {
  std::wstring folder = harness::freshTestDir();
  std::wstring tooLong = pathOfLength(folder, PATH_CAPACITY);
  EXPECT_EXIT(resolvedIn(folder, tooLong.substr(folder.size() + 1)), testing::ExitedWithCode(4), "^$");
  EXPECT_EXIT(resolvedIn(folder, L""), testing::ExitedWithCode(4), "^$");
}

}  // namespace
