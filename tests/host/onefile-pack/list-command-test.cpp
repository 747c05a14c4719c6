// onefile-pack list: the records of a payload or of a built executable, and
// where a damaged one breaks.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "fixture-layout.h"
#include "fixtures.h"
#include "host/byte-fields.h"
#include "payload/format.h"
#include "resources/attached.h"
#include "test-support.h"

namespace {

using namespace testing_support;

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
  EXPECT_NE(result.out.find("\n1 frame, after its index\n"), std::string::npos) << result.out;
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
  // One cut short says so, by the length its headers give.
  std::string built = readFile(folder / "built.exe");
  writeFile(folder / "cut.exe", built.substr(0, built.size() / 2));
  CommandResult cut = runPack({"list", (folder / "cut.exe").string()});
  EXPECT_EQ(cut.status, 1);
  EXPECT_EQ(cut.err, "onefile-pack: " + (folder / "cut.exe").string() + ": truncated: " +
                         std::to_string(built.size() / 2) + " of " + std::to_string(built.size()) +
                         " bytes, as its PE headers count them\n");
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

}  // namespace
