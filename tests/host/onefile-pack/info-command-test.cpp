// onefile-pack info: what a build says about itself, and where each value
// came from, told apart from the main program's own and the defaults.
#include <gtest/gtest.h>

#include "fixtures.h"
#include "host/byte-fields.h"
#include "resources/attached.h"
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
       "elevation:    asInvoker (the default)\n"
       "template:     {CACHE_DIR}\\Tool\\{VERSION}\n"
       "cache folder: %LOCALAPPDATA%\\Tool\\1.7.0\n"
       "flags:        none\n"
       "updates:      takes the files that did not change from the previous version's folder, as hard links\n"},
      {{"--name", "Other", "--version", "2.5", "--windows", "--progress-window", "--remove-old-versions", "--execution-level", "highestAvailable", "--template",
        "{temp}\\x\\{VERSION}", "--no-links-between-versions"},
       "name:         Other (given with --name)\n"
       "version:      2.5 (given with --version)\n"
       "kind:         GUI program\n"
       "elevation:    highestAvailable (given with --execution-level)\n"
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
    EXPECT_NE(info.out.find(" in 2 files unpacked\nsignature:    unsigned\n"), std::string::npos)
        << info.out;
  }
  // An executable whose header's texts run past its section is still named one.
  std::string built = readFile(folder / "out.exe");
  size_t header = built.rfind(std::string(reinterpret_cast<const char*>(ATTACHED_DATA_TAG), sizeof ATTACHED_DATA_TAG));
  ASSERT_NE(header, std::string::npos);
  onefile::putLittleEndian(&built, header + ATTACHED_TEMPLATE_OFFSET_AT, 0x7fffff00, 4);
  writeFile(folder / "unreadable.exe", built);
  CommandResult unreadable = runPack({"info", (folder / "unreadable.exe").string()});
  EXPECT_EQ(unreadable.status, 0) << unreadable.err;
  EXPECT_NE(unreadable.out.find(", whose name, version and path template cannot be read (damaged)\npayload:"),
            std::string::npos)
      << unreadable.out;
  // A payload file has only its sizes to show.
  ASSERT_EQ(packFolder(folder / "app", folder / "app.payload", "Tool.exe").status, 0);
  CommandResult payload = runPack({"info", (folder / "app.payload").string()});
  EXPECT_EQ(payload.status, 0) << payload.err;
  EXPECT_EQ(lineCount(payload.out), 2u) << payload.out;
  // The sizes are read from the indexes where there are some: a frame that
  // no start would decode is not decoded here either.
  for (const fixtures::Fixture& fixture : fixtures::allFixtures())
    if (fixture.name == "index-frame-damaged") writeFile(folder / "indexed.payload", fixture.payload);
  CommandResult indexed = runPack({"info", (folder / "indexed.payload").string()});
  EXPECT_EQ(indexed.status, 0) << indexed.err;
  EXPECT_NE(indexed.out.find(" in 5 files unpacked\n"), std::string::npos) << indexed.out;
}

}  // namespace
