// What the writer puts into a payload: layout, frame parameters, records,
// checksums, and the same bytes for the same folder. Also checks that the
// Windows tests' special payloads are what those tests take them for.
#include <gtest/gtest.h>
#include <zstd.h>

#include "payload-io/checksum.h"
#include "fixture-layout.h"
#include "fixtures.h"
#include "payload-io/ordered-groups.h"
#include "payload-io/payload-file.h"
#include "payload-io/payload-writer.h"
#include "payload-io/read-back-check.h"
#include "host/pack-error.h"
#include "payload-io/record-encoding.h"
#include "test-support.h"

namespace {

using namespace testing_support;

onefile::CompressionSettings quick() {
  onefile::CompressionSettings settings;
  settings.level = 3;
  settings.threads = 0;
  return settings;
}

std::string pack(const fs::path& folder, const fs::path& output, const onefile::CompressionSettings& settings) {
  onefile::writePayloadFile(onefile::scanAppFolder(folder, "app.exe"), settings, output, nullptr);
  return readFile(output);
}

// Four bytes that, appended to prefix, make the CRC-32 of the whole 0. The
// CRC of a fixed-length message is affine in its bits, so this solves a
// 32 x 32 linear system over GF(2).
std::string withCrcZero(const std::string& prefix) {
  auto crcWith = [&](uint32_t tail) {
    std::string bytes = prefix;
    onefile::appendLittleEndian(&bytes, tail, 4);
    return crc32Of(bytes);
  };
  uint32_t constant = crcWith(0), basis[32] = {}, combination[32] = {};
  for (int bit = 0; bit < 32; ++bit) {
    uint32_t vector = crcWith(1u << bit) ^ constant, mask = 1u << bit;
    for (int b = 31; b >= 0 && vector != 0; --b) {
      if (!(vector >> b & 1)) continue;
      if (basis[b] == 0) {
        basis[b] = vector, combination[b] = mask;
        break;
      }
      vector ^= basis[b], mask ^= combination[b];
    }
  }
  uint32_t tail = 0;
  for (int b = 31; b >= 0; --b)
    if (constant >> b & 1) constant ^= basis[b], tail ^= combination[b];
  std::string bytes = prefix;
  onefile::appendLittleEndian(&bytes, tail, 4);
  return bytes;
}

TEST(PayloadWriter, WritesRecordsThatReadBackWithNamesSizesAndChecksums) {
  ScratchFolder folder;
  std::string zeroCrc = withCrcZero("content whose CRC-32 is zero");
  ASSERT_EQ(crc32Of(zeroCrc), 0u);
  std::vector<std::pair<std::string, std::string>> files = {
      {"app.exe", fixtures::randomBytes(200000, 1)},
      {"empty", ""},
      {"lib/caf\xc3\xa9/\xf0\x9f\x98\x80.dll", fixtures::textBytes(70000, 2)},
      {"lib/zero.bin", zeroCrc},
  };
  for (const auto& [name, content] : files) writeFile(folder / ("app/" + name), content);
  pack(folder / "app", folder / "out.payload", quick());

  std::vector<DecodedRecord> records = readRecords(folder / "out.payload");
  std::vector<std::u16string> names = {u"app.exe", u"empty", u"lib\\caf\u00e9\\\U0001F600.dll", u"lib\\zero.bin"};
  ASSERT_EQ(records.size(), files.size());
  for (size_t i = 0; i < files.size(); ++i) {
    EXPECT_EQ(records[i].name, names[i]);
    EXPECT_EQ(records[i].size, files[i].second.size());
    EXPECT_EQ(records[i].content, files[i].second) << files[i].first;
  }
  EXPECT_EQ(records[0].checksum, crc32Of(files[0].second));
  EXPECT_EQ(records[2].checksum, crc32Of(files[2].second));
  EXPECT_EQ(records[1].checksum, 1u) << "an empty file's CRC-32 of 0 is stored as 1";
  EXPECT_EQ(records[3].checksum, 1u) << "any CRC-32 of 0 is stored as 1";
}

TEST(PayloadWriter, LaysOutMagicOneFrameAndTrailerWhenAskedForOneFrame) {
  ScratchFolder folder;
  writeFile(folder / "app/app.exe", fixtures::textBytes(300000, 3));
  onefile::CompressionSettings oneFrame = quick();
  oneFrame.frameContentBytes = 0;
  std::string payload = pack(folder / "app", folder / "out.payload", oneFrame);
  ASSERT_GT(payload.size(), 15u);
  EXPECT_EQ(payload.substr(0, 3), "ZBX");
  std::string frame = payload.substr(3, payload.size() - 15);
  EXPECT_EQ(ZSTD_findFrameCompressedSize(frame.data(), frame.size()), frame.size()) << "exactly one frame";
  // Frame header descriptor: no content size, not single-segment, a content checksum, no dictionary ID.
  EXPECT_EQ(static_cast<unsigned char>(frame[4]), 0x04);
  EXPECT_EQ(static_cast<unsigned char>(frame[5]), (27 - 10) << 3) << "window descriptor: exactly 2^27";
  std::string trailer = payload.substr(payload.size() - 12);
  EXPECT_EQ(trailer.substr(0, 4), std::string(4, '\0'));
  EXPECT_EQ(onefile::littleEndianAt(trailer, 4, 8), payload.size() - 8);
}

// Files go into frames of at most the frame size of content, a larger file
// alone, each frame after an index that its frame agrees with; zstd alone
// reads the same record stream as from one frame.
TEST(PayloadWriter, GroupsFilesIntoFramesAfterIndexesThatDecodeToTheSameStream) {
  ScratchFolder folder;
  std::vector<std::pair<std::string, std::string>> files = {{"app.exe", fixtures::textBytes(300000, 3)},
                                                            {"a.bin", fixtures::randomBytes(60000, 4)},
                                                            {"b.txt", fixtures::textBytes(50000, 5)},
                                                            {"c.txt", fixtures::textBytes(10000, 6)}};
  for (const auto& [name, content] : files) writeFile(folder / ("app/" + name), content);
  onefile::CompressionSettings grouped = quick(), oneFrame = quick();
  grouped.frameContentBytes = 100000;
  oneFrame.frameContentBytes = 0;
  pack(folder / "app", folder / "grouped.payload", grouped);
  pack(folder / "app", folder / "one.payload", oneFrame);
  onefile::PayloadFile payload(folder / "grouped.payload");
  onefile::IndexLayout layout = payload.checkIndexes();
  EXPECT_TRUE(layout.indexed);
  EXPECT_EQ(layout.frames, 3u) << "app.exe alone, a.bin, then b.txt with c.txt";
  EXPECT_FALSE(onefile::PayloadFile(folder / "one.payload").checkIndexes().indexed);
  auto decoded = [&](const char* name) {
    std::string bytes = readFile(folder / name);
    std::string frames = bytes.substr(3, bytes.size() - 15);
    std::string out;
    ZSTD_DCtx* decoder = ZSTD_createDCtx();
    ZSTD_inBuffer input = {frames.data(), frames.size(), 0};
    char block[1 << 16];
    while (input.pos < input.size) {
      ZSTD_outBuffer output = {block, sizeof block, 0};
      if (ZSTD_isError(ZSTD_decompressStream(decoder, &output, &input))) break;
      out.append(block, output.pos);
    }
    ZSTD_freeDCtx(decoder);
    return out;
  };
  EXPECT_EQ(decoded("grouped.payload"), decoded("one.payload"));
}

// Headers are patched in place: a field takes the value's low bytes, least
// significant first, and leaves its neighbours alone.
// The frames lie between the magic and the trailer; a payload too short for
// either never gives bounds past its own end (a damaged executable's header
// may name any length).
TEST(FrameBounds, LieBetweenTheMagicAndTheTrailerAndNeverPastTheEnd) {
  struct Case {
    size_t length, offset, size;
  } cases[] = {{0, 0, 0}, {2, 2, 0}, {3, 3, 0}, {14, 3, 11}, {15, 3, 0}, {16, 3, 1}, {1000, 3, 985}};
  for (const Case& c : cases) {
    onefile::FrameBounds frames = onefile::frameBounds(c.length);
    EXPECT_EQ(frames.offset, c.offset) << c.length;
    EXPECT_EQ(frames.size, c.size) << c.length;
    EXPECT_LE(frames.offset + frames.size, c.length) << c.length;
  }
}

TEST(LittleEndianFields, AreWrittenInPlaceAndReadBack) {
  std::string bytes(12, '\xAA');
  onefile::putLittleEndian(&bytes, 2, 0x1122334455667788u, 4);
  onefile::putLittleEndian(&bytes, 8, 0xBEEF, 2);
  EXPECT_EQ(bytes, std::string("\xAA\xAA\x88\x77\x66\x55\xAA\xAA\xEF\xBE\xAA\xAA", 12));
  EXPECT_EQ(onefile::littleEndianAt(bytes, 2, 4), 0x55667788u);
  EXPECT_EQ(onefile::littleEndianAt(bytes, 8, 2), 0xBEEFu);
  EXPECT_EQ(onefile::littleEndianAt(bytes, 7, 2), 0xEFAAu) << "bytes above 0x7F must not sign-extend";
}

TEST(PayloadWriter, KeepsTheFullWindowAndNoSizesForEvenTheSmallestFolderInOneFrame) {
  ScratchFolder folder;
  writeFile(folder / "app/app.exe", "x");
  ASSERT_EQ(runPack({"payload", (folder / "app").string(), "--main", "app.exe", "-o",
                     (folder / "out.payload").string(), "--level", "3", "--frame-size", "0"})
                .status,
            0);
  std::string payload = readFile(folder / "out.payload");
  writeFile(folder / "frame.zst", payload.substr(3, payload.size() - 15));
  CommandResult listed = runShell("zstd -lv " + shellQuote((folder / "frame.zst").string()));
  ASSERT_EQ(listed.status, 0) << listed.err;
  EXPECT_NE(listed.out.find("Window Size: 128 MiB (134217728 B)"), std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find("Check: XXH64"), std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find("DictID: 0"), std::string::npos) << listed.out;
  EXPECT_EQ(listed.out.find("Decompressed Size"), std::string::npos) << "no content size: " << listed.out;
}

TEST(PayloadWriter, GivesTheSameBytesForTheSameFolderAlsoWithThreads) {
  ScratchFolder folder;
  std::vector<std::pair<std::string, std::string>> files = {
      {"app.exe", fixtures::randomBytes(1500000, 4)},
      {"b/data.txt", fixtures::textBytes(2500000, 5)},
      {"a/tiny", "t"},
  };
  for (const auto& [name, content] : files) writeFile(folder / ("first/" + name), content);
  for (auto it = files.rbegin(); it != files.rend(); ++it) writeFile(folder / ("second/" + it->first), it->second);

  onefile::CompressionSettings threaded = quick();
  threaded.jobSize = 1 << 20;  // several jobs from a few MiB
  threaded.overlapLog = 2;
  // One frame, and three groups compressed side by side, the tiny one
  // finished first and kept aside until the one before it is written.
  for (uint64_t frameSize : {uint64_t{0}, uint64_t{1000000}}) {
    SCOPED_TRACE("frame size " + std::to_string(frameSize));
    threaded.frameContentBytes = frameSize;
    threaded.threads = 2;
    std::string first = pack(folder / "first", folder / "1.payload", threaded);
    EXPECT_EQ(pack(folder / "second", folder / "2.payload", threaded), first) << "creation order must not matter";
    for (int threads : {0, 1, 3, 8}) {
      threaded.threads = threads;
      EXPECT_EQ(pack(folder / "first", folder / "3.payload", threaded), first) << "nor the threads: " << threads;
    }
    EXPECT_EQ(readRecords(folder / "1.payload").size(), files.size());
    EXPECT_EQ(onefile::PayloadFile(folder / "1.payload").checkIndexes().frames, frameSize == 0 ? 0u : 3u);
  }
}

// Groups compressed side by side reach the payload in their order: the
// first unfinished one writes straight out, the others wait aside until
// their turn, and each can replace its first bytes (its index) in either place.
TEST(OrderedGroups, WriteEachGroupInItsPlaceWhateverOrderTheyFinishIn) {
  onefile::StringSink sink;
  sink.write("M", 1);
  onefile::OrderedGroups groups(sink, 1, 3);
  groups.group(2).write("cc-2", 4);
  groups.group(1).write("bb-1", 4);
  groups.group(2).overwrite(0, "C", 1);
  groups.finish(2);
  groups.group(0).write("aa-0", 4);
  groups.group(1).write("+", 1);
  EXPECT_EQ(sink.bytes(), "Maa-0");
  groups.group(0).overwrite(0, "A", 1);
  groups.finish(0);
  EXPECT_EQ(sink.bytes(), "MAa-0") << "the third waits behind the unfinished second";
  groups.group(1).write("!", 1);
  EXPECT_EQ(sink.bytes(), "MAa-0bb-1+!");
  groups.group(1).overwrite(0, "B", 1);
  groups.finish(1);
  EXPECT_EQ(sink.bytes(), "MAa-0Bb-1+!Cc-2");
}

// What build and payload check before they keep an output: a faulty
// writer's index, or other counts than were packed, are refused.
TEST(ReadBack, RefusesAnIndexThatDisagreesWithItsFrameAndOtherCountsThanPacked) {
  ScratchFolder folder;
  onefile::PackSummary packed;
  for (const fixtures::Fixture& fixture : fixtures::allFixtures()) {
    if (fixture.name != "index-sound" && fixture.name != "index-entry-missing") continue;
    writeFile(folder / (fixture.name + ".payload"), fixture.payload);
  }
  for (const DecodedRecord& record : readRecords(folder / "index-sound.payload")) {
    packed.files += 1;
    packed.contentBytes += record.size;
  }
  auto refusal = [&](const char* name, const onefile::PackSummary& summary) {
    try {
      onefile::checkReadBack(folder / name, summary, "out", nullptr);
    } catch (const onefile::PackError& error) {
      return std::string(error.what());
    }
    return std::string();
  };
  EXPECT_EQ(refusal("index-sound.payload", packed), "");
  EXPECT_NE(refusal("index-entry-missing.payload", packed).find("the frame after the index of frame 2 does not end"),
            std::string::npos);
  onefile::PackSummary fewer = packed;
  fewer.files -= 1;
  EXPECT_NE(refusal("index-sound.payload", fewer).find("reads back as 5 files of"), std::string::npos);
}

TEST(PayloadWriter, OutputAppearsOnlyWhenComplete) {
  ScratchFolder folder;
  writeFile(folder / "old.payload", "previous");
  {
    onefile::AtomicOutputFile output(folder / "old.payload");
    output.write("partial", 7);
    EXPECT_EQ(entriesOf(folder.path()).size(), 2u) << "written beside the destination";
  }
  EXPECT_EQ(entriesOf(folder.path()), std::vector<std::string>{"old.payload"});
  EXPECT_EQ(readFile(folder / "old.payload"), "previous");
  onefile::AtomicOutputFile output(folder / "old.payload");
  output.write("complete", 8);
  output.commit();
  EXPECT_EQ(entriesOf(folder.path()), std::vector<std::string>{"old.payload"});
  EXPECT_EQ(readFile(folder / "old.payload"), "complete");
}

const fixtures::Fixture& fixtureNamed(const std::string& name) {
  static const std::vector<fixtures::Fixture> all = fixtures::allFixtures();
  for (const fixtures::Fixture& fixture : all)
    if (fixture.name == name) return fixture;
  throw std::runtime_error("no fixture " + name);
}

std::string framesOf(const fixtures::Fixture& fixture) {
  return fixture.payload.substr(3, fixture.payload.size() - 15);
}

TEST(Fixtures, ExactBlockFillsTheFirstReaderBlockAndUsesUpAllInputInOneCall) {
  std::string frames = framesOf(fixtureNamed("exact-block"));
  ZSTD_DCtx* context = ZSTD_createDCtx();
  std::vector<char> block(fixture_layout::READER_BLOCK);
  ZSTD_inBuffer input = {frames.data(), frames.size(), 0};
  ZSTD_outBuffer output = {block.data(), block.size(), 0};
  ASSERT_FALSE(ZSTD_isError(ZSTD_decompressStream(context, &output, &input)));
  EXPECT_EQ(output.pos, fixture_layout::READER_BLOCK);
  EXPECT_EQ(input.pos, input.size) << "the decoder holds the rest: only the filled-block flag calls it again";
  output = {block.data(), block.size(), 0};
  ASSERT_FALSE(ZSTD_isError(ZSTD_decompressStream(context, &output, &input)));
  EXPECT_EQ(output.pos, fixture_layout::EXACT_BLOCK_STREAM - fixture_layout::READER_BLOCK);
  ZSTD_freeDCtx(context);
}

TEST(Fixtures, SpecialPayloadsBreakWhereTheyShould) {
  // A decode call that reaches the damaged block fails as a whole: what comes
  // before the damage is served as far as earlier calls produced it.
  const fixtures::Fixture& damaged = fixtureNamed("damaged");
  std::string frames = framesOf(damaged);
  onefile::DecodedStream stream(reinterpret_cast<const unsigned char*>(frames.data()), frames.size(), 3);
  std::string served(fixture_layout::DAMAGED_FROM / 16384 * 16384, '\0');
  stream.read(served.data(), served.size());
  EXPECT_EQ(served, damaged.stream.substr(0, served.size()));
  std::string rest(fixture_layout::DAMAGED_FROM + 1 - served.size(), '\0');
  EXPECT_THROW(stream.read(rest.data(), rest.size()), onefile::PayloadDamage);

  std::string wide = framesOf(fixtureNamed("wide-window"));
  onefile::DecodedStream wideStream(reinterpret_cast<const unsigned char*>(wide.data()), wide.size(), 3);
  char first;
  EXPECT_THROW(wideStream.read(&first, 1), onefile::PayloadDamage) << "2^28 is beyond the default limit";

  std::string several = framesOf(fixtureNamed("frames"));
  size_t count = 0;
  for (size_t at = 0; at < several.size(); ++count) {
    size_t size = ZSTD_findFrameCompressedSize(several.data() + at, several.size() - at);
    ASSERT_FALSE(ZSTD_isError(size));
    at += size;
  }
  EXPECT_EQ(count, 5u);
  EXPECT_EQ(fixtureNamed("frames").stream, fixtureNamed("blocks").stream);
}

}  // namespace
