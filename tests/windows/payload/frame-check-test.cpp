// The record loop over payloads whose frame is damaged where only its content
// checksum can tell, whose frame has none, or whose stream is followed by
// bytes and frames no reader may decode, and over records whose names would
// leave the target folder. Each run is a process of its own (payload-probe
// unpack): the reader ends it, so the test sees the report, the exit status,
// whether the run got as far as the launch, and what it wrote.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixture-layout.h"
#include "harness.h"
#include "payload/format.h"

namespace {

using harness::RunResult;

constexpr char DECODE_FAILED[] = "Error, couldn't decode attached data.\r\n";
constexpr char UNPACKED[] = "unpacked\r\n";
constexpr uint64_t TRAILER_ONLY = PAYLOAD_TRAILER_SIZE;
constexpr uint64_t FURTHER_FRAME_AND_TRAILER = fixture_layout::FURTHER_FRAME_BYTES + PAYLOAD_TRAILER_SIZE;

std::wstring wide(const char16_t* text) { return std::wstring(text, text + std::char_traits<char16_t>::length(text)); }

std::wstring fixturePath(const std::wstring& name) { return harness::binPath(L"payload-data\\" + name); }

// Unpacks the fixture into target, its last `guard` bytes unreadable.
RunResult unpack(const std::wstring& fixture, const std::wstring& target, uint64_t guard = TRAILER_ONLY) {
  harness::RunOptions options;
  options.commandLine = L"payload-probe.exe unpack " + harness::quoteArgument(fixturePath(fixture + L".payload")) +
                        L" " + harness::quoteArgument(target) + L" " + std::to_wstring(guard);
  return harness::run(harness::binPath(L"payload-probe.exe"), options);
}

void expectRefused(const RunResult& result, const std::wstring& fixture) {
  EXPECT_EQ(result.out, DECODE_FAILED) << harness::narrow(fixture);
  EXPECT_EQ(result.err, "") << harness::narrow(fixture);
  EXPECT_EQ(result.exitCode, 2u) << harness::narrow(fixture);
}

void expectUnpacked(const RunResult& result, const std::wstring& fixture) {
  EXPECT_EQ(result.out, UNPACKED) << harness::narrow(fixture) << ": " << result.err;
  EXPECT_EQ(result.exitCode, 0u) << harness::narrow(fixture);
}

// The files a record stream names and holds, as the loop should leave them.
struct Expected {
  std::wstring name;
  std::string content;
};

std::vector<Expected> checkedFiles() {
  using namespace fixture_layout;
  std::string stream = harness::readFile(fixturePath(L"check-sound.stream"));
  // The stream's three contents lie at its end, before the end record, in order.
  size_t textAt = stream.size() - RECORD_NAME_UNIT_BYTES - CHECKED_TEXT_SIZE;
  size_t blobAt = textAt - (wide(CHECKED_TEXT).size() + 1) * RECORD_NAME_UNIT_BYTES - RECORD_SIZE_BYTES -
                  RECORD_CHECKSUM_BYTES - CHECKED_BLOB_SIZE;
  return {{wide(CHECKED_MAIN), SHORT_CONTENT},
          {wide(CHECKED_BLOB), stream.substr(blobAt, CHECKED_BLOB_SIZE)},
          {wide(CHECKED_TEXT), stream.substr(textAt, CHECKED_TEXT_SIZE)}};
}

// Damage that decodes without an error, to records that read as before: only
// the frame's checksum, which zstd checks in the decode call that reaches the
// frame's end, tells. What a cold start wrote from the blocks before stays;
// the run still never goes on to the launch, and the next start fails the same.
TEST(FrameCheck, DamageOnlyTheChecksumCatchesEndsTheRunBeforeTheLaunch) {
  struct Case {
    const wchar_t* fixture;
    bool firstBlockWritten;  // the stream spans two reader blocks
  };
  for (const Case& damaged : {Case{L"check-stored", true}, Case{L"check-checksum", true},
                              Case{L"check-compressed", false}}) {
    std::wstring target = harness::freshTestDir() + L"\\t";
    std::wstring main = target + L"\\" + wide(fixture_layout::CHECKED_MAIN);
    expectRefused(unpack(damaged.fixture, target), damaged.fixture);
    EXPECT_EQ(harness::fileExists(main), damaged.firstBlockWritten) << harness::narrow(damaged.fixture);
    expectRefused(unpack(damaged.fixture, target), damaged.fixture);
  }
}

// The damaged executable over an intact cache: every file is current, so the
// damaged content is only decoded and dropped, and nothing is written; the
// run still ends with the report.
TEST(FrameCheck, AWarmStartOverAnIntactCacheEndsWithTheReportWhenTheExecutableIsDamaged) {
  std::wstring target = harness::freshTestDir() + L"\\t";
  expectUnpacked(unpack(L"check-sound", target), L"check-sound");
  for (const wchar_t* fixture : {L"check-stored", L"check-checksum"}) {
    expectRefused(unpack(fixture, target), fixture);
    for (const Expected& file : checkedFiles())
      EXPECT_TRUE(harness::readFile(target + L"\\" + file.name) == file.content)
          << harness::narrow(fixture) << ": " << harness::narrow(file.name) << " was left as it was";
  }
}

// Payloads the loop must take whole: a frame without a checksum, decoded
// bytes after the end record in frames with and without one, a further frame
// after the record stream's (it and the trailer lie on the unreadable page, so
// a decode call offered them would fault), and the end record as the last
// bytes of a filled block.
TEST(FrameCheck, SoundPayloadsWithOrWithoutAChecksumUnpackWithoutTouchingWhatFollowsTheirFrame) {
  struct Case {
    const wchar_t* fixture;
    uint64_t guard;
  };
  for (const Case& sound : {Case{L"check-sound", TRAILER_ONLY}, Case{L"check-unchecked", TRAILER_ONLY},
                            Case{L"trailing", TRAILER_ONLY}, Case{L"trailing-unchecked", TRAILER_ONLY},
                            Case{L"after-end", FURTHER_FRAME_AND_TRAILER},
                            Case{L"after-end-unchecked", FURTHER_FRAME_AND_TRAILER},
                            Case{L"exact-fill", TRAILER_ONLY}}) {
    std::wstring target = harness::freshTestDir() + L"\\t";
    expectUnpacked(unpack(sound.fixture, target, sound.guard), sound.fixture);
  }
  std::wstring target = harness::freshTestDir() + L"\\t";
  expectUnpacked(unpack(L"check-unchecked", target), L"check-unchecked");
  for (const Expected& file : checkedFiles())
    EXPECT_TRUE(harness::readFile(target + L"\\" + file.name) == file.content) << harness::narrow(file.name);
}

// The end record fills its block to the last byte: the reader has nothing left
// in the block, yet it must still finish the frame to reach the checksum.
TEST(FrameCheck, AFrameWhoseEndRecordFillsItsBlockIsStillCheckedToItsEnd) {
  std::wstring target = harness::freshTestDir() + L"\\t";
  expectRefused(unpack(L"exact-fill-bad-checksum", target), L"exact-fill-bad-checksum");
  EXPECT_EQ(harness::readFile(fixturePath(L"exact-fill.stream")).size() % fixture_layout::READER_BLOCK, 0u);
}

// A name that would leave the target folder, or that Windows would read as
// something else than a file below it, ends the run before anything of its
// record is written; the files before it stay, nothing lands beside the
// target folder.
TEST(FrameCheck, ANameThatWouldLeaveTheTargetFolderEndsTheRunBeforeItsRecordIsWritten) {
  for (size_t i = 0; i < fixture_layout::ESCAPING_NAME_COUNT; ++i) {
    std::wstring fixture = L"escape-" + std::to_wstring(i);
    std::wstring root = harness::freshTestDir();
    expectRefused(unpack(fixture, root + L"\\t\\u"), fixture);
    EXPECT_EQ(harness::listTree(root), (std::vector<std::wstring>{L"t", L"t\\u", L"t\\u\\main.exe"}))
        << harness::narrow(wide(fixture_layout::ESCAPING_NAMES[i]));
  }
  std::wstring root = harness::freshTestDir();
  expectRefused(unpack(L"escape-first", root + L"\\t"), L"escape-first");
  EXPECT_TRUE(harness::listTree(root).empty()) << "not even the target folder";
  EXPECT_FALSE(harness::fileExists(L"C:\\escaped.txt"));
}

}  // namespace
