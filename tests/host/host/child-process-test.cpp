// Programs run as the signer is: arguments as given, a secret in a file only
// the user can read, an empty standard input, what they say in one file, and
// their exit status; and a command's words split as each system's users
// write them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "host/child-process.h"
#include "host/command-words.h"
#include "host/pack-error.h"
#include "host/secret-file.h"
#include "test-support.h"

namespace {

using testing_support::readFile;

TEST(ChildProcess, RunsWithSecretFileAndTellsStatusAndOutput) {
  testing_support::ScratchFolder folder;
  std::optional<std::filesystem::path> shell = onefile::findOnPath("sh");
  ASSERT_TRUE(shell.has_value());
  std::filesystem::path secret = folder / "secret";
  const struct {
    const char* label;
    std::string script;
    int status;
    std::string output;
  } runs[] = {
      {"reads the secret by its name, says things on both streams", "cat \"$1\"; echo ' said' >&2; exit 3", 3,
       "a secret said\n"},
      {"reads nothing from its standard input", "cat; echo end", 0, "end\n"},
      {"arguments pass unchanged, spaces and quotes too", "printf '%s|' \"$0\" \"$1\" \"$2\"", 0,
       "one two|" + secret.string() + "|\"three\"|"},
      {"ended by a signal", "kill -TERM $$", -1, ""},
  };
  {
    onefile::SecretFile file(secret, "a secret");
    struct stat status;
    ASSERT_EQ(stat(secret.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    EXPECT_THROW(onefile::SecretFile(secret, "another"), onefile::PackError);
    for (const auto& run : runs) {
      SCOPED_TRACE(run.label);
      std::vector<std::string> arguments{"-c", run.script, "one two", secret.string(), "\"three\""};
      EXPECT_EQ(onefile::runProgram(*shell, arguments, folder / "said"), run.status);
      EXPECT_EQ(readFile(folder / "said"), run.output);
    }
  }
  EXPECT_FALSE(std::filesystem::exists(secret));
  EXPECT_THROW(onefile::runProgram(folder / "missing", {}, folder / "said"), onefile::PackError);
}

TEST(CommandWords, SplitAsAShellOrCommandLineToArgvWWould) {
  using Words = std::vector<std::string>;
  const struct {
    std::string text;
    Words shell, windows;
  } cases[] = {
      {"  sign  /fd SHA256\t{file} ", {"sign", "/fd", "SHA256", "{file}"}, {"sign", "/fd", "SHA256", "{file}"}},
      {"'my signer' \"a b\" x\\ y", {"my signer", "a b", "x y"}, {"'my", "signer'", "a b", "x\\", "y"}},
      // Nothing is expanded, and an operator is a word like any other.
      {"s $HOME %PATH% *.dll ; rm", {"s", "$HOME", "%PATH%", "*.dll", ";", "rm"}, {"s", "$HOME", "%PATH%", "*.dll", ";", "rm"}},
      {"s \"q\\\"q\" \"\\$x\" 'it'\\''s' \"\\n\"", {"s", "q\"q", "$x", "it's", "\\n"}, {"s", "q\"q", "\\$x", "'it'\\''s'", "\\n"}},
      {"s '' a\\\nb", {"s", "", "ab"}, {"s", "''", "a\\\nb"}},
      // CommandLineToArgvW's own: the program's name keeps its backslashes,
      // 2n backslashes and a quote give n, 2n+1 give n and a quote ...
      {"C:\\Tools\\sign.exe a\\\\\"b c\" d\\\\\\\"e", {"C:Toolssign.exe", "a\\b c", "d\\\"e"},
       {"C:\\Tools\\sign.exe", "a\\b c", "d\\\"e"}},
      // ... and a run of quotes inside a quote gives one for each three.
      {"\"C:\\Program Files\\s.exe\" /v \"a\"\"\"b\"\"", {"C:\\Program Files\\s.exe", "/v", "ab"},
       {"C:\\Program Files\\s.exe", "/v", "a\"b\""}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(onefile::splitShellWords(c.text), c.shell) << c.text;
    EXPECT_EQ(onefile::splitWindowsWords(c.text), c.windows) << c.text;
  }
  for (const char* open : {"s 'a", "s \"a", "s a\\"}) EXPECT_THROW(onefile::splitShellWords(open), onefile::CommandWordsError) << open;
  EXPECT_EQ(onefile::splitWindowsWords("s \"a b"), (Words{"s", "a b"})) << "an open quote ends with the text";
  for (const char* blank : {"", " \t "}) {
    EXPECT_THROW(onefile::splitShellWords(blank), onefile::CommandWordsError);
    EXPECT_THROW(onefile::splitWindowsWords(blank), onefile::CommandWordsError);
  }
}

}  // namespace
