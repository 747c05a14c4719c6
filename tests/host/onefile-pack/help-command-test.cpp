// What onefile-pack says about itself and how it meets a mistyped option.
// (Its help and version texts are checked against the user's guide by
// tests/guide/check-help.py.)
#include <gtest/gtest.h>

#include "test-support.h"

namespace {

using namespace testing_support;

const std::vector<std::string> COMMANDS = {"build", "payload", "extract", "list", "info", "verify", "notices"};

TEST(HelpCommand, EveryCommandAnswersHelpWithItsUsageAndTakesNothingElse) {
  ScratchFolder folder;
  for (const std::string& command : COMMANDS) {
    for (const char* spelling : {"--help", "-h"}) {
      // Asked for help, a command does nothing else, whatever else is given.
      CommandResult help = runPack({command, "unused", spelling, "-o", (folder / "out").string()});
      EXPECT_EQ(help.status, 0) << command << spelling;
      EXPECT_EQ(help.out.rfind("usage: onefile-pack " + command, 0), 0u) << help.out;
      EXPECT_NE(help.out.find("\n  -h, --help "), std::string::npos) << help.out;
      EXPECT_EQ(help.err, "");
    }
    // After "--" it is a name like any other.
    CommandResult named = runPack({command, "--", "--help"});
    EXPECT_NE(named.status, 0) << command;
    EXPECT_EQ(named.out.find("usage:"), std::string::npos) << command << ": " << named.out;
  }
  EXPECT_TRUE(entriesOf(folder.path()).empty());
}

TEST(HelpCommand, AnUnknownOptionGetsOneLineAndStatus2) {
  for (const std::string& command : COMMANDS) {
    CommandResult result = runPack({command, "x", "y", "--frobnicate"});
    EXPECT_EQ(result.status, 2) << command;
    EXPECT_EQ(result.err, "onefile-pack " + command + ": unknown option --frobnicate; onefile-pack " + command +
                              " --help shows its usage\n");
  }
  // -q belongs to every command that shows progress.
  CommandResult list = runPack({"list", "x", "-q"});
  EXPECT_EQ(list.status, 2);
  EXPECT_NE(list.err.find("unknown option -q"), std::string::npos) << list.err;
}

// Long explanations go on below their column, so that help reads on an
// 80-column console; that no word is lost on the way is the guide test's.
TEST(HelpCommand, EveryHelpLineFitsAConsoleOfEightyColumns) {
  std::vector<std::vector<std::string>> requests = {{"--help"}};
  for (const std::string& command : COMMANDS) requests.push_back({command, "--help"});
  for (const std::vector<std::string>& request : requests) {
    CommandResult help = runPack(request);
    ASSERT_EQ(help.status, 0) << request.front();
    size_t start = 0;
    for (size_t end; (end = help.out.find('\n', start)) != std::string::npos; start = end + 1) {
      std::string line = help.out.substr(start, end - start);
      size_t characters = 0;
      for (unsigned char byte : line) characters += (byte & 0xC0) != 0x80;
      EXPECT_LE(characters, 80u) << request.front() << ": " << line;
    }
  }
}

TEST(HelpCommand, TheToolAnswersHelpAndVersion) {
  CommandResult help = runPack({"--help"});
  EXPECT_EQ(help.status, 0);
  for (const std::string& command : COMMANDS)
    EXPECT_NE(help.out.find("\n  onefile-pack " + command), std::string::npos) << command << help.out;
  CommandResult none = runPack({});
  EXPECT_EQ(none.status, 2);
  EXPECT_EQ(none.err, help.out);
  for (const char* spelling : {"--version", "-v"}) {
    CommandResult version = runPack({spelling});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("onefile-pack ", 0), 0u) << version.out;
    EXPECT_EQ(lineCount(version.out), 1u) << version.out;
  }
}

}  // namespace
