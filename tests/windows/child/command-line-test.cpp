// The child's command line, rebuilt in process: exact quoting of the awkward
// cases, the round trip through CommandLineToArgvW, and the buffer's bound.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "awkward-arguments.h"
#include "bootstrap/child-seams.h"
#include "guarded-memory.h"

namespace {

using Elements = std::vector<std::wstring>;

std::vector<wchar_t*> pointersTo(const Elements& elements) {
  std::vector<wchar_t*> pointers;
  for (const std::wstring& element : elements) pointers.push_back(const_cast<wchar_t*>(element.c_str()));
  return pointers;
}

std::wstring build(const Elements& elements) {
  std::vector<wchar_t*> pointers = pointersTo(elements);
  buildChildCommandLine(pointers.data(), (int)pointers.size());
  return childCommandLine;
}

Elements splitByShell(const std::wstring& commandLine) {
  int count = 0;
  wchar_t** split = CommandLineToArgvW(commandLine.c_str(), &count);
  Elements elements(split, split + count);
  LocalFree(split);
  return elements;
}

const wchar_t PROGRAM[] = L"C:\\app\\boot.exe";

TEST(BuildChildCommandLine, QuotesExactlyWhereTheSplitRulesNeedIt) {
  struct Case {
    std::wstring element, written;
  } cases[] = {
      {L"C:\\folder\\sub\\file.txt", L"C:\\folder\\sub\\file.txt"},  // backslashes alone stay as they are
      {L"plain\\", L"plain\\"},
      {L"a b\\", L"\"a b\\\\\""},      // a trailing backslash doubled before the closing quote
      {L"a\"b", L"\"a\\\"b\""},        // a quote escaped
      {L"a\\\"b", L"\"a\\\\\\\"b\""},  // a backslash before a quote: three of them and the quote
      {L"a\\\\b c", L"\"a\\\\b c\""},  // backslashes before anything else stay
      {L"tab\there", L"\"tab\there\""},
      {L"line\nfeed", L"\"line\nfeed\""},
      {L"vertical\vtab", L"\"vertical\vtab\""},
      {L"", L"\"\""},  // an empty argument keeps its place
      {L"C:\\Program Files\\app.exe", L"\"C:\\Program Files\\app.exe\""},
  };
  for (const Case& each : cases)
    EXPECT_EQ(build({PROGRAM, each.element}), std::wstring(PROGRAM) + L" " + each.written);
}

TEST(BuildChildCommandLine, KeepsAnEmptyArgumentBetweenTwoWords) {
  EXPECT_EQ(build({PROGRAM, L"one", L"", L"two"}), std::wstring(PROGRAM) + L" one \"\" two");
  EXPECT_EQ(splitByShell(childCommandLine), (Elements{PROGRAM, L"one", L"", L"two"}));
}

TEST(BuildChildCommandLine, GivesEveryAwkwardArgumentBackThroughTheShellSplit) {
  Elements elements = {PROGRAM};
  elements.insert(elements.end(), AWKWARD_ARGUMENTS.begin(), AWKWARD_ARGUMENTS.end());
  EXPECT_EQ(splitByShell(build(elements)), elements);
  // Each alone too, so that a fault shows which one.
  for (const std::wstring& argument : AWKWARD_ARGUMENTS)
    EXPECT_EQ(splitByShell(build({PROGRAM, argument, L"next"})), (Elements{PROGRAM, argument, L"next"}));
}

TEST(BuildChildCommandLine, StartsAfreshOnEachCall) {
  build({PROGRAM, L"a much longer first line with many words"});
  EXPECT_EQ(build({PROGRAM}), PROGRAM);
}

// Elements that make a line of exactly `units` code units: a one-unit
// program name, a space and a run of letters.
Elements lineOf(size_t units) { return {L"p", std::wstring(units - 2, L'a')}; }

TEST(BuildChildCommandLine, FitsALineOfExactly32767Units) {
  Elements elements = lineOf(COMMAND_LINE_CAPACITY - 1);
  std::wstring line = build(elements);
  EXPECT_EQ(line.size(), 32767u);
  EXPECT_EQ(line, L"p " + elements[1]);
}

TEST(BuildChildCommandLineDeathTest, EndsTheRunWithoutAMessageWhenOneUnitMoreIsNeeded) {
  EXPECT_EXIT(build(lineOf(COMMAND_LINE_CAPACITY)), testing::ExitedWithCode(4), "^$");
  // Quoting adds the units that overflow: 32766 units of text become 32768.
  Elements quoted = {L"p", std::wstring(COMMAND_LINE_CAPACITY - 6, L'a') + L" b"};
  EXPECT_EXIT(build(quoted), testing::ExitedWithCode(4), "^$");
}

// Builds elements into a guarded buffer of capacity units; returns its text.
std::wstring buildGuarded(size_t capacity, const Elements& elements) {
  harness::GuardedBuffer buffer(capacity);
  std::vector<wchar_t*> pointers = pointersTo(elements);
  buildCommandLineInto(buffer.data(), capacity, pointers.data(), (int)pointers.size());
  EXPECT_EQ(buffer.data()[capacity - 1], L'\0');
  return buffer.text();
}

TEST(BuildCommandLineInto, FillsTheBufferToItsLastUnitAndNoFurther) {
  Elements elements = lineOf(COMMAND_LINE_CAPACITY - 1);
  EXPECT_EQ(buildGuarded(COMMAND_LINE_CAPACITY, elements), L"p " + elements[1]);
}

TEST(BuildCommandLineIntoDeathTest, EndsWithTheFullBufferStatusInsteadOfWritingPastTheEnd) {
  // A write past the end would end the process with an access violation.
  EXPECT_EXIT(buildGuarded(COMMAND_LINE_CAPACITY, lineOf(COMMAND_LINE_CAPACITY)), testing::ExitedWithCode(4), "^$");
  EXPECT_EXIT(buildGuarded(8, lineOf(8)), testing::ExitedWithCode(4), "^$");
  // The doubled trailing backslash would straddle the end: p "a b\\" is 9
  // units, and 8 units leave room for 7 and the terminator.
  EXPECT_EXIT(buildGuarded(8, {L"p", L"a b\\"}), testing::ExitedWithCode(4), "^$");
}

}  // namespace
