// A damaged payload as every command that reads it meets it.
#include <gtest/gtest.h>

#include <regex>

#include "fixtures.h"
#include "payload/format.h"
#include "test-support.h"

namespace {

using namespace testing_support;

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
  // A cut payload's index names a frame longer than what is left.
  const std::string ends = "the index of frame 1 is damaged, or the payload cut short: its checksum fails or its "
                           "sizes leave the payload" + where;
  const std::string stored = "the stored checksum [0-9a-f]{8} does not match the content's [0-9a-f]{8}" + where;
  const std::string frame = "the frame's content checksum does not match what it decodes to" + where;
  struct Case {
    std::string payload;
    std::vector<std::string> command;  // before the payload file
    std::string error;                 // after "onefile-pack: NAME.payload: "
  };
  std::vector<Case> cases = {
      {"cut", {"list"}, "damaged in the first record: " + ends},
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
