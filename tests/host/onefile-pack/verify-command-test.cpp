// onefile-pack verify: the files of an unpacked cache that are missing or differ.
#include <gtest/gtest.h>

#include <algorithm>

#include "fixtures.h"
#include "test-support.h"

namespace {

using namespace testing_support;

TEST(VerifyCommand, ListsEveryFileThatIsMissingOrDiffers) {
  ScratchFolder folder;
  std::vector<std::pair<std::string, std::string>> files = {
      {"app.exe", "main"}, {"a.txt", "aaaa"}, {"b/b.txt", "bbbb"}, {"c.txt", "cccc"}, {"d/e.txt", ""}};
  for (const auto& [name, content] : files) writeFile(folder / ("app/" + name), content);
  ASSERT_EQ(packFolder(folder / "app", folder / "app.payload").status, 0);
  fs::copy(folder / "app", folder / "cache", fs::copy_options::recursive);
  writeFile(folder / "cache/unrelated.txt", "not in the payload");

  CommandResult same = runPack({"verify", (folder / "app.payload").string(), (folder / "cache").string()});
  EXPECT_EQ(same.status, 0) << same.err;
  EXPECT_EQ(same.out, "5 files: 0 missing, 0 differ\n");

  fs::remove(folder / "cache/a.txt");
  fs::remove(folder / "cache/d/e.txt");
  writeFile(folder / "cache/b/b.txt", "bbbB");
  writeFile(folder / "cache/c.txt", "ccccc");
  CommandResult changed = runPack({"verify", (folder / "app.payload").string(), (folder / "cache").string()});
  EXPECT_EQ(changed.status, 1);
  EXPECT_EQ(changed.out, "missing  a.txt\ndiffers  b\\b.txt\ndiffers  c.txt\nmissing  d\\e.txt\n"
                         "5 files: 2 missing, 2 differ\n");

  writeFile(folder / "cache/c.txt", "cccc");
  CommandResult one = runPack({"verify", (folder / "app.payload").string(), (folder / "cache").string()});
  EXPECT_EQ(one.status, 1);
  EXPECT_NE(one.out.find("\n5 files: 2 missing, 1 differs\n"), std::string::npos) << one.out;
}

// Verify and extract read the frame to its end, as the bootstrap does: a
// folder that matches a damaged payload's records is no proof that the
// payload is sound.
TEST(VerifyCommand, ReportsAFrameWhoseChecksumDoesNotMatchInOneLineAsExtractDoes) {
  ScratchFolder folder;
  for (const fixtures::Fixture& fixture : fixtures::allFixtures())
    if (fixture.name.rfind("check-", 0) == 0) writeFile(folder / (fixture.name + ".payload"), fixture.payload);
  auto verify = [&](const std::string& name) {
    return runPack({"verify", (folder / (name + ".payload")).string(), folder.path().string()});
  };
  CommandResult damaged = verify("check-checksum");
  EXPECT_EQ(damaged.status, 1);
  EXPECT_NE(damaged.err.find("the frame's content checksum does not match what it decodes to"), std::string::npos)
      << damaged.err;
  EXPECT_EQ(std::count(damaged.err.begin(), damaged.err.end(), '\n'), 1) << damaged.err;
  for (const char* sound : {"check-sound", "check-unchecked"}) {
    CommandResult result = verify(sound);
    EXPECT_EQ(result.err, "") << sound;
    EXPECT_NE(result.out.find("\n3 files: 3 missing, 0 differ\n"), std::string::npos) << sound;
  }
  // Extract checks the whole payload, its frame's checksum included, before
  // it writes anything.
  for (const char* damagedName : {"check-compressed", "check-checksum"}) {
    fs::path out = folder / (std::string(damagedName) + "-out");
    CommandResult result = runPack({"extract", (folder / (std::string(damagedName) + ".payload")).string(), out.string()});
    EXPECT_EQ(result.status, 1) << damagedName;
    EXPECT_NE(result.err.find("the frame's content checksum does not match what it decodes to"), std::string::npos)
        << damagedName << ": " << result.err;
    EXPECT_TRUE(!fs::exists(out) || fs::is_empty(out)) << damagedName;
  }
  EXPECT_EQ(runPack({"extract", (folder / "check-sound.payload").string(), (folder / "sound-out").string()}).status, 0);
}

// A program whose headers lie beyond its first 64 KiB, where the DOS header
// says: Windows runs it all the same.
std::string programWithHeadersFarIn() {
  constexpr size_t DOS_HEADER = 0x40, FAR_IN = 0x30000;
  std::string image = programImage(2);
  std::string far = image.substr(0, DOS_HEADER) + std::string(FAR_IN - DOS_HEADER, '\0') + image.substr(DOS_HEADER);
  for (int i = 0; i < 4; ++i) far[0x3C + i] = static_cast<char>(FAR_IN >> (8 * i));
  return far;
}

// verify --signatures reads each record's headers and signature as its
// content streams past: a data file far larger than the memory the command
// may take passes. Its summary counts the executable with what it lists.
TEST(VerifyCommand, ListsSignaturesInBoundedMemoryAndCountsTheExecutable) {
  constexpr uintmax_t DATA_SIZE = 512u << 20;  // more than the command is given
  constexpr int MEMORY_LIMIT_KIB = 320 << 10;  // the decoder's window and the program, with room
  ScratchFolder folder;
  writeFile(folder / "app/app.exe", programImage(3));
  writeFile(folder / "app/big.dat", "");
  fs::resize_file(folder / "app/big.dat", DATA_SIZE);
  fs::create_directories(folder / "app/lib");
  fs::copy_file(fs::path(PROGRAM_REGRESSIONS_DIR) / "small-program-signed", folder / "app/lib/signed.dll");
  writeFile(folder / "app/lib/far.dll", programWithHeadersFarIn());
  fs::path executable = folder / "app-onefile.exe";
  CommandResult built = runPack({"build", (folder / "app").string(), "--main", "app.exe", "-o", executable.string(),
                                 "--level", "1", "-q"});
  ASSERT_EQ(built.status, 0) << built.err;

  CommandResult listed = runShell("ulimit -v " + std::to_string(MEMORY_LIMIT_KIB) + " && " + shellQuote(packPath()) +
                                  " verify --signatures " + shellQuote(executable.string()));
  EXPECT_EQ(listed.status, 1) << listed.err;
  for (const char* line : {"app.exe: unsigned\n", "lib\\signed.dll: signed by ", "lib\\far.dll: unsigned\n",
                           "app-onefile.exe (the executable): unsigned\n",
                           "\nthe executable and 3 programs and libraries inside, 3 unsigned\n"})
    EXPECT_NE(listed.out.find(line), std::string::npos) << line << " in " << listed.out;
}

}  // namespace

namespace {

// Every index is checked against its frame: one that is damaged, or sound by
// itself but naming other records than its frame holds, fails verify and
// list, which say which frame, and build refuses to carry it (a faulty
// packer's index: a start over a whole cache would trust it); the sound
// layouts say how they are laid out.
TEST(VerifyCommand, ChecksEveryIndexAgainstItsFrameAndListSaysTheLayout) {
  ScratchFolder folder;
  for (const fixtures::Fixture& fixture : fixtures::allFixtures())
    if (fixture.name.rfind("index-", 0) == 0) writeFile(folder / (fixture.name + ".payload"), fixture.payload);
  struct Case {
    const char* name;
    const char* says;  // on standard error, or for a sound payload the layout line of list
  };
  for (const Case& c : {Case{"index-sound", "3 frames, each after its index\n"},
                        Case{"index-bad-checksum", "the index of frame 2 is damaged, or the payload cut short"},
                        Case{"index-beyond", "the index of frame 2 is damaged, or the payload cut short: its checksum fails"},
                        Case{"index-other-checksum", "the index of frame 2 names a\\two.txt (50000 bytes, checksum"},
                        Case{"index-entry-missing", "the frame after the index of frame 2 does not end where"},
                        Case{"index-missing", "frame 3 has no index"}}) {
    std::string payload = (folder / (std::string(c.name) + ".payload")).string();
    CommandResult verify = runPack({"verify", payload, folder.path().string()});
    CommandResult list = runPack({"list", payload});
    bool sound = std::string(c.name) == "index-sound";
    EXPECT_EQ(verify.status, 1) << c.name;  // sound or not, the scratch folder misses every file
    EXPECT_EQ(list.status, sound ? 0 : 1) << c.name;
    EXPECT_NE((sound ? list.out : list.err).find(c.says), std::string::npos) << c.name << ": " << list.err;
    if (!sound) {
      EXPECT_NE(verify.err.find(c.says), std::string::npos) << c.name << ": " << verify.err;
      CommandResult build = runPack({"build", "--payload", payload, "-o", (folder / "out.exe").string()});
      EXPECT_EQ(build.status, 1) << c.name;
      EXPECT_NE(build.err.find(c.says), std::string::npos) << c.name << ": " << build.err;
      EXPECT_FALSE(fs::exists(folder / "out.exe")) << c.name;
    }
  }
  writeFile(folder / "plain.payload", fixtures::allFixtures().front().payload);
  EXPECT_NE(runPack({"list", (folder / "plain.payload").string()}).out.find("no index: every start decodes"),
            std::string::npos);
}

}  // namespace
