// The scan of a template: literal text, braces, names and the room left.
#include <gtest/gtest.h>

#include "paths-test-support.h"

namespace {

using paths_test::expand;
using paths_test::Expansion;

TEST(TemplateScan, NamesAreFoundRegardlessOfCaseButOnlyWhole) {
  Expansion upper = expand(L"{TEMP}");
  ASSERT_TRUE(upper.expanded);
  EXPECT_EQ(expand(L"{temp}").text, upper.text);
  EXPECT_EQ(expand(L"{Temp}").text, upper.text);
  for (const wchar_t* almost : {L"{TEM}", L"{TEMPX}", L"{ TEMP}"}) EXPECT_FALSE(expand(almost).expanded) << almost;
  // {TIME} and {TIME_US} are told apart although one begins the other.
  EXPECT_EQ(expand(L"{TIME_US}").text.size(), 6u);
}

TEST(TemplateScan, AnEmptyOrUnknownNameFailsAndKeepsTheTextBeforeIt) {
  Expansion empty = expand(L"ab{}cd");
  EXPECT_FALSE(empty.expanded);
  EXPECT_EQ(empty.text, L"ab");
  Expansion unknown = expand(L"{VERSION}\\{NOPE}\\x");
  EXPECT_FALSE(unknown.expanded);
  EXPECT_EQ(unknown.text, L"1.7.0\\");
}

// A share's leading backslashes are literal text like any other, before and
// after the names.
TEST(TemplateScan, AUncTemplateKeepsItsServerAndShare) {
  const std::pair<const wchar_t*, const wchar_t*> cases[] = {
      {L"\\\\server\\share\\{VERSION}\\x", L"\\\\server\\share\\1.7.0\\x"},
      {L"\\\\{VERSION}\\share", L"\\\\1.7.0\\share"},
      {L"\\\\server\\{VERSION}", L"\\\\server\\1.7.0"},
  };
  for (const auto& [templateText, expanded] : cases) {
    Expansion result = expand(templateText);
    EXPECT_TRUE(result.expanded) << templateText;
    EXPECT_EQ(result.text, expanded) << templateText;
  }
  Expansion unknown = expand(L"\\\\server\\share\\{NOPE}");
  EXPECT_FALSE(unknown.expanded);
  EXPECT_EQ(unknown.text, L"\\\\server\\share\\");
}

// An open name at the end is dropped, a new "{" throws the open name away,
// and a "}" outside a name is literal text (a valid file-name character).
TEST(TemplateScan, BracesOutsideACompleteName) {
  Expansion open = expand(L"abc{TEMP");
  EXPECT_TRUE(open.expanded);
  EXPECT_EQ(open.text, L"abc");
  EXPECT_EQ(expand(L"{A{TEMP}").text, expand(L"{TEMP}").text);
  EXPECT_EQ(expand(L"x{NOPE{VERSION}y").text, L"x1.7.0y");
  Expansion stray = expand(L"a}b{VERSION}}c");
  EXPECT_TRUE(stray.expanded);
  EXPECT_EQ(stray.text, L"a}b1.7.0}c");
}

// A name longer than its 1023-unit buffer is rejected like an unknown name.
TEST(TemplateScan, ANameTooLongForItsBufferIsRejectedLikeAnUnknownName) {
  for (size_t length : {TEMPLATE_NAME_CAPACITY - 1u, TEMPLATE_NAME_CAPACITY + 0u, 20000u}) {
    std::wstring name(length, L'A');
    Expansion closed = expand(L"x{" + name + L"}y");
    EXPECT_FALSE(closed.expanded) << length;
    EXPECT_EQ(closed.text, L"x");
    EXPECT_EQ(expand(L"x{" + name + L"{VERSION}y").text, L"x1.7.0y");
    EXPECT_TRUE(expand(L"x{" + name).expanded);
  }
  // Cut to its buffer, this name would begin with a known one: it still fails.
  EXPECT_FALSE(expand(L"{VERSION" + std::wstring(TEMPLATE_NAME_CAPACITY, L' ') + L"}").expanded);
}

TEST(TemplateScan, LiteralTextThatDoesNotFitFailsWithWhatFitsBeforeIt) {
  Expansion cut = expand(L"abcdef", 4);
  EXPECT_FALSE(cut.expanded);
  EXPECT_EQ(cut.text, L"abc");
  EXPECT_TRUE(expand(L"abc", 4).expanded);
  EXPECT_FALSE(expand(L"a", 1).expanded);
  EXPECT_TRUE(expand(L"ab{VERSION}", 8).expanded);
  Expansion full = expand(L"ab{VERSION}c", 8);
  EXPECT_FALSE(full.expanded);
  EXPECT_EQ(full.text, L"ab1.7.0");
}

// The bounded-buffer ending: status 4, no output. The buffers end at a page
// the process may not touch, so a write past them would end it with an
// access violation instead.
TEST(TemplateScanDeathTest, AValueThatDoesNotFitEndsTheRunWithoutWritingPastTheBuffer) {
  auto expandInto = [](const wchar_t* templateText, size_t capacity) {
    harness::GuardedBuffer output(capacity);
    expandTemplatePath(output.data(), templateText, capacity);
  };
  EXPECT_EXIT(expandInto(L"{VERSION}", 4), testing::ExitedWithCode(4), "^$");
  EXPECT_EXIT(expandInto(L"ab{VERSION}", 7), testing::ExitedWithCode(4), "^$");
  // Values the system writes itself end the run the same way.
  EXPECT_EXIT(expandInto(L"{TEMP}", 4), testing::ExitedWithCode(4), "^$");
  EXPECT_EXIT(expandInto(L"{PROGRAM_DIR}", 6), testing::ExitedWithCode(4), "^$");
  EXPECT_EXIT(expandTemplatePath(nullptr, L"", 0), testing::ExitedWithCode(4), "^$");
}

}  // namespace
