// Programs run as the signer is: arguments as given, an input on standard
// input, what they say in one file, and their exit status.
#include <gtest/gtest.h>

#include <string>

#include "host/child-process.h"
#include "host/pack-error.h"
#include "test-support.h"

namespace {

using testing_support::readFile;

TEST(ChildProcess, RunsWithInputAndTellsStatusAndOutput) {
  testing_support::ScratchFolder folder;
  std::optional<std::filesystem::path> shell = onefile::findOnPath("sh");
  ASSERT_TRUE(shell.has_value());
  const struct {
    const char* label;
    std::string script, input;
    int status;
    std::string output;
  } runs[] = {
      {"reads its input, says things on both streams", "cat; echo ' said' >&2; exit 3", "a secret", 3,
       "a secret said\n"},
      {"never reads a whole pipe's worth of input", "exit 0", std::string(onefile::CHILD_INPUT_LIMIT, 'x'), 0, ""},
      {"arguments pass unchanged, spaces and quotes too", "printf '%s|' \"$0\" \"$1\"", "", 0,
       "one two|\"three\"|"},
      {"reads its input through the name given for it", "cat " + std::string(onefile::standardInputName()), "pipe",
       0, "pipe"},
      {"ended by a signal", "kill -TERM $$", "", -1, ""},
  };
  for (const auto& run : runs) {
    SCOPED_TRACE(run.label);
    std::vector<std::string> arguments{"-c", run.script};
    if (run.script.rfind("printf", 0) == 0) arguments = {"-c", run.script, "one two", "\"three\""};
    EXPECT_EQ(onefile::runProgram(*shell, arguments, run.input, folder / "said"), run.status);
    EXPECT_EQ(readFile(folder / "said"), run.output);
  }
  EXPECT_THROW(onefile::runProgram(folder / "missing", {}, "", folder / "said"), onefile::PackError);
  EXPECT_THROW(onefile::runProgram(*shell, {}, std::string(onefile::CHILD_INPUT_LIMIT + 1, 'x'), folder / "said"),
               onefile::PackError);
}

}  // namespace
