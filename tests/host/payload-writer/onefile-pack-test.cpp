// onefile-pack as a user meets it: messages, exit statuses, outputs, and the
// list and verify subcommands.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <regex>

#include "host/byte-fields.h"
#include "fixture-layout.h"
#include "fixtures.h"
#include "payload/format.h"
#include "resources/attached.h"
#include "test-support.h"

namespace {

using namespace testing_support;

CommandResult packFolder(const fs::path& app, const fs::path& output, const std::string& main = "app.exe") {
  return runPack({"payload", app.string(), "--main", main, "-o", output.string(), "--level", "3"});
}

TEST(PackCommand, EachBadInputGetsOneLineNamingTheFileAndLeavesNoOutput) {
  struct Case {
    const char* what;
    std::function<void(const fs::path&)> setUp;
    std::string main;
    std::string subject;  // relative to the app folder
    std::string reason;
  };
  std::vector<Case> cases = {
      {"missing folder", [](const fs::path& app) { fs::remove_all(app); }, "app.exe", "", "no such folder"},
      {"missing main", [](const fs::path&) {}, "other.exe", "other.exe", "no such main program"},
      {"main not .exe", [](const fs::path&) {}, "lib.dll", "lib.dll", "must be an .exe"},
      {"main below the top", [](const fs::path& app) { writeFile(app / "bin/x.exe", "x"); }, "bin/x.exe",
       "bin/x.exe", "top level"},
      {"forbidden character", [](const fs::path& app) { writeFile(app / "a|b", "x"); }, "app.exe", "a|b",
       "Windows does not allow"},
      {"device name", [](const fs::path& app) { writeFile(app / "sub/aux.txt", "x"); }, "app.exe", "sub/aux.txt",
       "reserves"},
      {"trailing dot", [](const fs::path& app) { writeFile(app / "dir./f", "x"); }, "app.exe", "dir.", "dot"},
      {"invalid UTF-8", [](const fs::path& app) { writeFile(app / "\xc3(", "x"); }, "app.exe", "\\xC3(", "UTF-8"},
      {"case twins", [](const fs::path& app) { writeFile(app / "App.exe", "y"); }, "app.exe", "app.exe",
       "differs only in case"},
      {"link out", [](const fs::path& app) { fs::create_symlink("/etc/hostname", app / "host"); }, "app.exe", "host",
       "out of the folder"},
      {"named pipe", [](const fs::path& app) { mkfifo((app / "fifo").c_str(), 0600); }, "app.exe", "fifo",
       "named pipe"},
      {"name too long",
       [](const fs::path& app) {
         writeFile(app / (std::string(250, 'a') + "/" + std::string(250, 'b') + "/" + std::string(250, 'c') + "/" +
                          std::string(250, 'd') + "/" + std::string(30, 'e')),
                   "x");
       },
       "app.exe", std::string(250, 'a'), "at most 1023"},
  };
  for (const Case& c : cases) {
    ScratchFolder folder;
    fs::path app = folder / "app";
    writeFile(app / "app.exe", "main");
    writeFile(app / "lib.dll", "lib");
    c.setUp(app);
    fs::create_directory(folder / "out");
    CommandResult result = packFolder(app, folder / "out/app.payload", c.main);
    std::string subject = c.subject.empty() ? app.string() : (app / c.subject).string();
    EXPECT_EQ(result.status, 1) << c.what;
    EXPECT_EQ(lineCount(result.err), 1u) << c.what << ": " << result.err;
    EXPECT_EQ(result.err.rfind("onefile-pack: " + subject, 0), 0u) << c.what << ": " << result.err;
    EXPECT_NE(result.err.find(c.reason), std::string::npos) << c.what << ": " << result.err;
    EXPECT_TRUE(entriesOf(folder / "out").empty()) << c.what;
  }
}

TEST(PackCommand, AFailedRunLeavesAnEarlierOutputAlone) {
  ScratchFolder folder;
  writeFile(folder / "app/app.exe", "main");
  writeFile(folder / "app.payload", "earlier");
  writeFile(folder / "app/bad?", "x");
  EXPECT_EQ(packFolder(folder / "app", folder / "app.payload").status, 1);
  EXPECT_EQ(readFile(folder / "app.payload"), "earlier");
  EXPECT_EQ(entriesOf(folder.path()), (std::vector<std::string>{"app", "app.payload"}));
}

TEST(PackCommand, RefusesCommandLinesItCannotFollowWithItsUsage) {
  ScratchFolder folder;
  writeFile(folder / "app/app.exe", "main");
  std::string app = (folder / "app").string(), out = (folder / "x.payload").string();
  std::vector<std::vector<std::string>> lines = {
      {},
      {"unpack"},
      {"payload", app, "--main", "app.exe"},
      {"payload", app, "-o", out},
      {"payload", app, app, "--main", "app.exe", "-o", out},
      {"payload", app, "--main", "app.exe", "-o", out, "--frobnicate"},
      {"payload", app, "--main", "app.exe", "-o", out, "-o", out},
      {"list"},
      {"verify", out},
  };
  for (const std::vector<std::string>& line : lines) {
    CommandResult result = runPack(line);
    std::string shown = line.empty() ? "(none)" : line[0] + (line.size() > 1 ? " " + line.back() : "");
    EXPECT_EQ(result.status, 2) << shown;
    EXPECT_NE(result.err.find("usage"), std::string::npos) << shown;
  }
  // A value out of range gets one line naming the option.
  for (const auto& [option, value] : std::vector<std::pair<std::string, std::string>>{
           {"--level", "0"}, {"--level", "fast"}, {"--threads", "-1"}}) {
    CommandResult result = runPack({"payload", app, "--main", "app.exe", "-o", out, option, value});
    EXPECT_EQ(result.status, 2) << option << value;
    EXPECT_EQ(result.err.rfind("onefile-pack payload: " + option + ": takes a whole number from ", 0), 0u) << result.err;
    EXPECT_EQ(lineCount(result.err), 1u) << result.err;
  }
  EXPECT_FALSE(fs::exists(out));
  CommandResult help = runPack({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("onefile-pack payload APP_DIR --main REL -o FILE"), std::string::npos);
}

TEST(PackCommand, ShowsProgressOnATerminalAndNothingElsewhere) {
  ScratchFolder folder;
  writeFile(folder / "app/app.exe", fixtures::textBytes(500000, 1));
  CommandResult quiet = packFolder(folder / "app", folder / "1.payload");
  EXPECT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.err, "");
  EXPECT_NE(quiet.out.find("1 file, 500000 bytes of content"), std::string::npos) << quiet.out;

  CommandResult hasScript = runShell("command -v script");
  if (hasScript.status != 0) GTEST_SKIP() << "no 'script' to give the packer a terminal";
  std::string command = shellQuote(packPath()) + " payload " + shellQuote((folder / "app").string()) +
                        " --main app.exe --level 3 -o " + shellQuote((folder / "2.payload").string());
  CommandResult onTerminal = runShell("script -qec " + shellQuote(command) + " /dev/null");
  EXPECT_EQ(onTerminal.status, 0) << onTerminal.err;
  EXPECT_NE(onTerminal.out.find("Packing ["), std::string::npos) << onTerminal.out;
  EXPECT_NE(onTerminal.out.find("100%"), std::string::npos) << onTerminal.out;
  EXPECT_EQ(readFile(folder / "1.payload"), readFile(folder / "2.payload"));
}

TEST(PackCommand, WarnsAboutNamesThatALongCacheFolderLeavesNoRoomFor) {
  ScratchFolder folder;
  writeFile(folder / "app/app.exe", "main");
  writeFile(folder / ("app/" + std::string(200, 'n')), "x");
  CommandResult result = runPack({"payload", (folder / "app").string(), "--main", "app.exe", "-o",
                                  (folder / "p").string(), "--level", "3", "--cache-folder-length", "3900"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(lineCount(result.err), 1u) << result.err;
  EXPECT_NE(result.err.find("warning: " + (folder / "app").string() + "/nnn"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("at most 3894"), std::string::npos) << result.err;
  EXPECT_TRUE(fs::exists(folder / "p"));
}

TEST(ListCommand, ShowsEveryRecordWithTotals) {
  ScratchFolder folder;
  writeFile(folder / "app/app.exe", "main program");
  writeFile(folder / "app/empty", "");
  writeFile(folder / "app/lib/caf\xc3\xa9.dll", std::string(1000, 'z'));
  ASSERT_EQ(packFolder(folder / "app", folder / "app.payload").status, 0);
  CommandResult result = runPack({"list", (folder / "app.payload").string()});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  char expectedMain[80];
  std::snprintf(expectedMain, sizeof expectedMain, "%14d  %08x  app.exe\n", 12, crc32Of("main program"));
  EXPECT_NE(result.out.find(expectedMain), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("             0  00000001  empty\n"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("1000  " + [&] {
              char hex[9];
              std::snprintf(hex, sizeof hex, "%08x", crc32Of(std::string(1000, 'z')));
              return std::string(hex);
            }() + "  lib\\caf\xc3\xa9.dll\n"),
            std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("3 files, 1012 bytes of content"), std::string::npos) << result.out;
}

TEST(ListCommand, FindsThePayloadInsideABuiltExecutableWhateverFollowsIt) {
  ScratchFolder folder;
  writeFile(folder / "app/app.exe", programImage(3));
  writeFile(folder / "app/data.bin", fixtures::randomBytes(50000, 12));
  ASSERT_EQ(packFolder(folder / "app", folder / "app.payload").status, 0);
  std::string payload = readFile(folder / "app.payload");
  ASSERT_EQ(runPack({"build", "--payload", (folder / "app.payload").string(), "-o", (folder / "built.exe").string()})
                .status,
            0);
  // As a signature would: bytes after the image, the payload's own bytes among them.
  writeFile(folder / "bootstrap.exe", readFile(folder / "built.exe") + payload + fixtures::randomBytes(3000, 11));

  CommandResult result = runPack({"list", (folder / "bootstrap.exe").string()});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.out.find("executable carrying a payload of " + std::to_string(payload.size()) + " bytes at byte"),
            std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("2 files, 50512 bytes of content"), std::string::npos) << result.out;
  EXPECT_EQ(runPack({"verify", (folder / "bootstrap.exe").string(), (folder / "app").string()}).status, 0);
  // An executable carrying a payload elsewhere than in its attached section has none.
  writeFile(folder / "plain.exe", "MZ" + fixtures::randomBytes(5000, 13) + payload);
  CommandResult none = runPack({"list", (folder / "plain.exe").string()});
  EXPECT_EQ(none.status, 1);
  EXPECT_NE(none.err.find("plain.exe: no payload here"), std::string::npos) << none.err;
}

// An executable's header may name a payload shorter than its magic: reading
// stops at the length it names instead of running on past it.
TEST(ListCommand, ReadsNoFurtherThanAnAttachedHeaderSaysWhenItNamesATinyPayload) {
  ScratchFolder folder;
  writeFile(folder / "app/app.exe", programImage(3));
  ASSERT_EQ(packFolder(folder / "app", folder / "app.payload").status, 0);
  ASSERT_EQ(runPack({"build", "--payload", (folder / "app.payload").string(), "-o", (folder / "built.exe").string()})
                .status,
            0);
  std::string built = readFile(folder / "built.exe");
  size_t header = built.rfind(std::string(reinterpret_cast<const char*>(ATTACHED_DATA_TAG), sizeof ATTACHED_DATA_TAG));
  ASSERT_NE(header, std::string::npos);
  for (uint64_t length : {0, 1, 2, 3, 14}) {
    std::string tiny = built;
    onefile::putLittleEndian(&tiny, header + ATTACHED_PAYLOAD_SIZE_AT, length, 8);
    writeFile(folder / "tiny.exe", tiny);
    CommandResult result = runPack({"list", (folder / "tiny.exe").string()});
    EXPECT_EQ(result.status, 1) << length;
    EXPECT_EQ(result.out.find("app.exe"), std::string::npos) << length << ": " << result.out;
    EXPECT_NE(result.err.find("tiny.exe: damaged in the first record"), std::string::npos) << length << ": " << result.err;
  }
}

TEST(ListCommand, SaysWhereADamagedPayloadBreaks) {
  ScratchFolder folder;
  for (const fixtures::Fixture& fixture : fixtures::allFixtures())
    writeFile(folder / (fixture.name + ".payload"), fixture.payload);
  auto list = [&](const std::string& name) { return runPack({"list", (folder / (name + ".payload")).string()}); };

  CommandResult damaged = list("damaged");
  EXPECT_EQ(damaged.status, 1);
  EXPECT_NE(damaged.out.find("  empty.dat\n"), std::string::npos) << "records before the damage: " << damaged.out;
  std::smatch where;
  ASSERT_TRUE(std::regex_search(damaged.err, where,
                                std::regex(R"(damaged in the record of lib\\one\.dll: .*decoded byte (\d+), file byte)")))
      << damaged.err;
  uint64_t decoded = std::stoull(where[1]);
  EXPECT_LE(decoded, fixture_layout::DAMAGED_FROM);
  EXPECT_GT(decoded, fixture_layout::DAMAGED_FROM - 16384);

  CommandResult noEnd = list("no-end");
  EXPECT_EQ(noEnd.status, 1);
  EXPECT_NE(noEnd.err.find("damaged after the record of data\\notes.txt: the record stream ends too early"),
            std::string::npos)
      << noEnd.err;
  CommandResult wide = list("wide-window");
  EXPECT_EQ(wide.status, 1);
  EXPECT_NE(wide.err.find("damaged in the first record"), std::string::npos) << wide.err;
  CommandResult magic = list("wrong-magic-1");
  EXPECT_EQ(magic.status, 1);
  EXPECT_NE(magic.err.find("no payload here"), std::string::npos) << magic.err;

  CommandResult trailing = list("trailing");
  EXPECT_EQ(trailing.status, 0) << trailing.err;
  EXPECT_NE(trailing.err.find("1000 decoded bytes follow the end record"), std::string::npos) << trailing.err;

  // Damage that decodes: a file's stored checksum or the frame's tells, in one
  // line. The frame's is checked by the decode call that reaches its end.
  for (const char* name : {"check-stored", "check-compressed", "check-checksum"}) {
    CommandResult checked = list(name);
    EXPECT_EQ(checked.status, 1) << name;
    EXPECT_EQ(std::count(checked.err.begin(), checked.err.end(), '\n'), 1) << checked.err;
    std::string stored = "the stored checksum", frame = "the frame's content checksum does not match what it decodes to";
    EXPECT_NE(checked.err.find(std::string(name) == "check-stored" ? stored : frame), std::string::npos)
        << name << ": " << checked.err;
  }
  EXPECT_EQ(list("check-unchecked").status, 0) << "a frame without a checksum";

  std::string payload = fixtures::allFixtures().front().payload;
  payload.back() ^= 1;
  writeFile(folder / "bad-trailer.payload", payload);
  CommandResult trailer = list("bad-trailer");
  EXPECT_EQ(trailer.status, 1);
  EXPECT_NE(trailer.err.find("damaged trailer"), std::string::npos) << trailer.err;
}

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

}  // namespace

namespace {

// A record that stores checksum 0 is one the bootstrap would take for present
// while it is missing: list shows it and warns once for each, and still ends
// well, since such a payload is what an older packer wrote.
TEST(ListCommand, WarnsOnceForEachRecordThatStoresChecksumZero) {
  ScratchFolder folder;
  for (const fixtures::Fixture& fixture : fixtures::allFixtures())
    if (fixture.name == "unpack-stored-zero") writeFile(folder / "zero.payload", fixture.payload);
  ASSERT_TRUE(fs::exists(folder / "zero.payload"));
  CommandResult result = runPack({"list", (folder / "zero.payload").string()});
  EXPECT_EQ(result.status, 0) << result.err;
  const std::string tail = " stores checksum 0: the bootstrap takes it for present while it is missing, and never creates it\n";
  EXPECT_EQ(result.err, "onefile-pack: warning: empty" + tail + "onefile-pack: warning: sub\\zero.bin" + tail);
  EXPECT_NE(result.out.find("  00000000  sub\\zero.bin\n"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("\n3 files, "), std::string::npos) << result.out;
}

// A payload cut short or with one byte flipped: each command that reads it
// says so in one line naming where and how many records came before, fails,
// and build writes no executable.
TEST(DamagedPayload, EachReadingCommandFailsInOneLineAndBuildWritesNothing) {
  ScratchFolder folder;
  writeFile(folder / "app/app.exe", fixtures::randomBytes(300000, 1));  // stored blocks: a flip there stays local
  writeFile(folder / "app/b.txt", fixtures::textBytes(200000, 2));
  ASSERT_EQ(packFolder(folder / "app", folder / "good.payload").status, 0);
  std::string good = readFile(folder / "good.payload");
  std::string flipped = good;
  flipped[good.size() / 2] ^= 0x40;
  writeFile(folder / "cut.payload", good.substr(0, good.size() / 2));
  writeFile(folder / "flip.payload", flipped);
  // Three files, and the last byte of the frame's content checksum (just
  // before the trailer) flipped: found when the last block decodes, inside
  // the third record.
  writeFile(folder / "app/c.bin", fixtures::randomBytes(300000, 3));
  ASSERT_EQ(packFolder(folder / "app", folder / "three.payload").status, 0);
  std::string tail = readFile(folder / "three.payload");
  tail[tail.size() - PAYLOAD_TRAILER_SIZE - 1] ^= 0x40;
  writeFile(folder / "tail.payload", tail);
  const std::string where = R"( \(decoded byte [0-9]+, file byte [0-9]+\)\n)";
  const std::string ends = "the record stream ends too early" + where;
  const std::string stored = "the stored checksum [0-9a-f]{8} does not match the content's [0-9a-f]{8}" + where;
  const std::string frame = "the frame's content checksum does not match what it decodes to" + where;
  struct Case {
    std::string payload;
    std::vector<std::string> command;  // before the payload file
    std::string error;                 // after "onefile-pack: NAME.payload: "
  };
  std::vector<Case> cases = {
      {"cut", {"list"}, "damaged in the record of app\\.exe: " + ends},
      {"cut", {"verify"}, "damaged after 0 records: " + ends},
      {"cut", {"build", "--payload"}, "damaged payload after 0 records: " + ends},
      {"flip", {"list"}, "damaged in the record of app\\.exe: " + stored},
      {"flip", {"verify"}, "damaged after 1 record: " + frame},
      {"flip", {"build", "--payload"}, "damaged payload after 1 record: " + frame},
      {"tail", {"list"}, "damaged in the record of c\\.bin: " + frame},
      {"tail", {"verify"}, "damaged after 2 records: " + frame},
      {"tail", {"build", "--payload"}, "damaged payload after 2 records: " + frame},
  };
  fs::create_directory(folder / "out");
  for (const Case& c : cases) {
    fs::path payload = folder / (c.payload + ".payload");
    std::vector<std::string> arguments = c.command;
    arguments.push_back(payload.string());
    if (c.command[0] == "verify") arguments.push_back((folder / "app").string());
    if (c.command[0] == "build") arguments.insert(arguments.end(), {"-o", (folder / "out/x.exe").string()});
    CommandResult result = runPack(arguments);
    std::string label = c.payload + " " + c.command[0];
    EXPECT_EQ(result.status, 1) << label;
    EXPECT_TRUE(std::regex_match(result.err, std::regex("onefile-pack: " + std::regex_replace(payload.string(),
                                                                                              std::regex(R"([.\\])"), R"(\$&)") +
                                                        ": " + c.error)))
        << label << ": " << result.err;
    EXPECT_TRUE(entriesOf(folder / "out").empty()) << label;
  }
}

}  // namespace
