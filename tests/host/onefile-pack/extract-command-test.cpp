// onefile-pack extract as a user meets it: round trips checked by verify,
// names and folders it refuses before writing anything, damage that leaves
// no partial file, and files it replaces only when told to.
#include <gtest/gtest.h>

#include "fixtures.h"
#include "test-support.h"

namespace {

using namespace testing_support;

std::string payloadOf(const fixtures::Files& files) {
  return fixtures::payloadOfFrames(fixtures::recordStream(files), {});
}

// Every file below folder, by its path relative to it, with its bytes.
std::vector<std::pair<std::string, std::string>> treeOf(const fs::path& folder) {
  std::vector<std::pair<std::string, std::string>> tree;
  if (!fs::exists(folder)) return tree;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder))
    if (!entry.is_directory()) tree.emplace_back(fs::relative(entry.path(), folder).string(), readFile(entry.path()));
  std::sort(tree.begin(), tree.end());
  return tree;
}

void writeAwkwardApp(const fs::path& app) {
  writeFile(app / "app.exe", programImage(3));
  writeFile(app / "empty", "");
  writeFile(app / "lib/deeper/still/helper.dll", fixtures::textBytes(200000, 5));
  writeFile(app / "data/caf\xc3\xa9 \xd0\x96\xe4\xb8\xad.txt", fixtures::randomBytes(70000, 6));
  writeFile(app / "data/\xf0\x9d\x84\x9e music \xf0\x9f\x98\x80/notes", "outside the BMP");
  writeFile(app / "data/empty folder's file", "");
}

TEST(ExtractCommand, RoundTripsAFolderFromAPayloadAndFromAnExecutable) {
  ScratchFolder folder;
  writeAwkwardApp(folder / "app");
  std::string payload = (folder / "app.payload").string(), exe = (folder / "app.exe").string();
  ASSERT_EQ(runPack({"payload", (folder / "app").string(), "--main", "app.exe", "-o", payload, "--level", "3", "-q"})
                .status,
            0);
  ASSERT_EQ(runPack({"build", "--payload", payload, "-o", exe, "-q"}).status, 0);
  // As a signature would: bytes after the image, the payload's own bytes among them.
  writeFile(folder / "signed-like.exe", readFile(exe) + readFile(payload) + fixtures::randomBytes(3000, 7));
  uint64_t bytes = 0;
  for (const auto& file : treeOf(folder / "app")) bytes += file.second.size();
  for (const std::string& source : {payload, exe, (folder / "signed-like.exe").string()}) {
    fs::path out = folder / "out";
    CommandResult result = runPack({"extract", source, out.string()});
    EXPECT_EQ(result.status, 0) << source << ": " << result.err;
    EXPECT_EQ(result.out, out.string() + ": 6 files, " + std::to_string(bytes) + " bytes\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(treeOf(out), treeOf(folder / "app")) << source;
    EXPECT_EQ(runPack({"verify", source, out.string()}).status, 0) << source;
    fs::remove_all(out);
  }
}

TEST(ExtractCommand, RefusesANameThatWouldLeaveTheFolderAndWritesNothing) {
  struct Case {
    std::u16string name;
    std::string problem;
  };
  std::vector<Case> cases = {
      {u"..\\evil.txt", "'..' segment"},
      {u"lib\\..\\..\\evil.txt", "'..' segment"},
      {u"\\evil.txt", "starts with a separator"},
      {u"C:evil.txt", "drive letter"},
      {u"lib\\\\evil.txt", "empty component"},
      {u"lib/../../evil.txt", "'/'"},
      {u"sub\\NUL.txt", "device name"},
  };
  for (const Case& c : cases) {
    ScratchFolder folder;
    writeFile(folder / "crafted.payload", payloadOf({{u"app.exe", "main"}, {u"fine.txt", "x"}, {c.name, "evil"}}));
    fs::path out = folder / "work/out";
    CommandResult result = runPack({"extract", (folder / "crafted.payload").string(), out.string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(lineCount(result.err), 1u) << result.err;
    EXPECT_NE(result.err.find("cannot be unpacked safely"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find(c.problem), std::string::npos) << result.err;
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(entriesOf(folder.path()), (std::vector<std::string>{"crafted.payload"}));
  }
}

TEST(ExtractCommand, DamageLeavesNoPartialFile) {
  ScratchFolder folder;
  fixtures::Files files = {{u"app.exe", "main"},
                           {u"a.txt", fixtures::textBytes(100000, 8)},
                           {u"sub\\b.bin", fixtures::randomBytes(300000, 9)},
                           {u"c.txt", "after the damage"}};
  std::string stream = fixtures::recordStream(files);
  // A payload cut short: found while the names are read, before anything is written.
  std::string whole = payloadOf(files);
  writeFile(folder / "cut.payload", whole.substr(0, whole.size() / 2));
  CommandResult cut = runPack({"extract", (folder / "cut.payload").string(), (folder / "cut").string()});
  EXPECT_EQ(cut.status, 1);
  EXPECT_EQ(lineCount(cut.err), 1u) << cut.err;
  EXPECT_FALSE(fs::exists(folder / "cut"));
  // Damaged in the compressed data, or ending without its end record: the same.
  for (const fixtures::Fixture& fixture : fixtures::allFixtures()) {
    if (fixture.name != "damaged" && fixture.name != "no-end") continue;
    writeFile(folder / "in.payload", fixture.payload);
    CommandResult result = runPack({"extract", (folder / "in.payload").string(), (folder / "cut").string()});
    EXPECT_EQ(result.status, 1) << fixture.name;
    EXPECT_NE(result.err.find("damaged payload after "), std::string::npos) << fixture.name << ": " << result.err;
    EXPECT_FALSE(fs::exists(folder / "cut")) << fixture.name;
  }

  // Content that decodes but does not match its checksum: the files before it
  // stay, whole; the damaged one and those after it are not written.
  size_t at = stream.find(files[2].second.substr(1000, 64));
  ASSERT_NE(at, std::string::npos);
  stream[at] = static_cast<char>(stream[at] ^ 0x01);
  writeFile(folder / "flipped.payload", fixtures::payloadOfFrames(stream, {}));
  CommandResult flipped = runPack({"extract", (folder / "flipped.payload").string(), (folder / "out").string()});
  EXPECT_EQ(flipped.status, 1);
  EXPECT_EQ(lineCount(flipped.err), 1u) << flipped.err;
  EXPECT_NE(flipped.err.find("damaged payload: sub\\b.bin is not written: the stored checksum"), std::string::npos)
      << flipped.err;
  EXPECT_EQ(treeOf(folder / "out"), (std::vector<std::pair<std::string, std::string>>{
                                        {"a.txt", files[1].second}, {"app.exe", "main"}}));
  EXPECT_TRUE(entriesOf(folder / "out/sub").empty()) << "no temporary file is left";
}

TEST(ExtractCommand, ReplacesExistingFilesOnlyWithForceAndNeverWritesThroughALink) {
  ScratchFolder folder;
  writeFile(folder / "app.payload", payloadOf({{u"app.exe", "main"}, {u"sub\\data.txt", "new"}}));
  std::string payload = (folder / "app.payload").string(), out = (folder / "out").string();
  writeFile(folder / "out/sub/data.txt", "old");
  CommandResult refused = runPack({"extract", payload, out});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err, "onefile-pack: " + out + "/sub/data.txt: exists; --force replaces it\n");
  EXPECT_EQ(treeOf(folder / "out"), (std::vector<std::pair<std::string, std::string>>{{"sub/data.txt", "old"}}))
      << "nothing written, not even the files that were not in the way";

  CommandResult forced = runPack({"extract", payload, out, "--force", "-q"});
  EXPECT_EQ(forced.status, 0) << forced.err;
  EXPECT_EQ(forced.out + forced.err, "");
  EXPECT_EQ(treeOf(folder / "out"),
            (std::vector<std::pair<std::string, std::string>>{{"app.exe", "main"}, {"sub/data.txt", "new"}}));

  // A link where a folder goes could lead anywhere: refused even with --force.
  fs::remove_all(folder / "out");
  fs::create_directories(folder / "elsewhere");
  fs::create_directories(folder / "out");
  fs::create_directory_symlink(folder / "elsewhere", folder / "out/sub");
  CommandResult linked = runPack({"extract", payload, out, "--force"});
  EXPECT_EQ(linked.status, 1);
  EXPECT_EQ(linked.err.rfind("onefile-pack: " + out + "/sub: is a link", 0), 0u) << linked.err;
  EXPECT_TRUE(entriesOf(folder / "elsewhere").empty());
  EXPECT_EQ(entriesOf(folder / "out"), (std::vector<std::string>{"sub"}));
}

TEST(ExtractCommand, ShowsProgressOnATerminal) {
  if (runShell("command -v script").status != 0) GTEST_SKIP() << "no 'script' to give the packer a terminal";
  ScratchFolder folder;
  writeFile(folder / "app.payload", payloadOf({{u"app.exe", fixtures::textBytes(300000, 10)}}));
  std::string command = shellQuote(packPath()) + " extract " + shellQuote((folder / "app.payload").string()) + " " +
                        shellQuote((folder / "out").string());
  CommandResult shown = runShell("script -qec " + shellQuote(command) + " /dev/null");
  EXPECT_EQ(shown.status, 0) << shown.err;
  EXPECT_NE(shown.out.find("Extracting ["), std::string::npos) << shown.out;
  CommandResult quiet = runShell("script -qec " + shellQuote(command + " --force -q") + " /dev/null");
  EXPECT_EQ(quiet.status, 0) << quiet.err;
  EXPECT_EQ(quiet.out, "");
}

}  // namespace
