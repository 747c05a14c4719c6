// onefile-pack info: what a build says about itself, and where each value
// came from, told apart from the main program's own and the defaults.
#include <gtest/gtest.h>

#include "test-support.h"

namespace {

using namespace testing_support;

TEST(InfoCommand, ShowsEachValueAndWhereItCameFrom) {
  ScratchFolder folder;
  writeFile(folder / "app/Tool.exe", programImage(3));
  writeFile(folder / "app/data.txt", std::string(3000, 'd'));
  struct Case {
    std::vector<std::string> options;
    std::string lines;  // after the first line, up to the payload's
  } cases[] = {
      {{},
       "name:         Tool (from Tool.exe's file name)\n"
       "version:      1.7.0 (the default: every build of this name without --version shares its cache folder)\n"
       "kind:         console program\n"
       "template:     {CACHE_DIR}\\Tool\\{VERSION}\n"
       "cache folder: %LOCALAPPDATA%\\Tool\\1.7.0\n"
       "flags:        none\n"
       "updates:      takes the files that did not change from the previous version's folder, as hard links\n"},
      {{"--name", "Other", "--version", "2.5", "--windows", "--progress-window", "--remove-old-versions", "--template",
        "{temp}\\x\\{VERSION}", "--no-links-between-versions"},
       "name:         Other (given with --name)\n"
       "version:      2.5 (given with --version)\n"
       "kind:         GUI program\n"
       "template:     {temp}\\x\\{VERSION}\n"
       "cache folder: %TEMP%\\x\\2.5\n"
       "flags:        progress window (--progress-window), old versions removed (--remove-old-versions)\n"
       "updates:      writes every file (--no-links-between-versions, or built by an onefile-pack without the "
       "choice)\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> build = {"build", (folder / "app").string(), "--main", "Tool.exe", "-o",
                                      (folder / "out.exe").string(), "--level", "1", "-q"};
    build.insert(build.end(), c.options.begin(), c.options.end());
    ASSERT_EQ(runPack(build).status, 0);
    CommandResult info = runPack({"info", (folder / "out.exe").string()});
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(info.out.rfind((folder / "out.exe").string() + ": executable of ", 0), 0u) << info.out;
    EXPECT_NE(info.out.find("\n" + c.lines + "payload:      "), std::string::npos) << info.out;
    EXPECT_NE(info.out.find(" in 2 files unpacked\nsigner:       not signed\n"), std::string::npos)
        << info.out;
  }
  // A payload file has only its sizes to show.
  ASSERT_EQ(packFolder(folder / "app", folder / "app.payload", "Tool.exe").status, 0);
  CommandResult payload = runPack({"info", (folder / "app.payload").string()});
  EXPECT_EQ(payload.status, 0) << payload.err;
  EXPECT_EQ(lineCount(payload.out), 2u) << payload.out;
}

}  // namespace
