// The decode loop and record cursor that the bootstrap, list and verify share,
// driven straight from bytes in memory. Small output blocks make the decoder
// hold output back after it has taken all input, and make every field
// straddle block ends.
#include <gtest/gtest.h>
#include <zstd.h>
#include <zstd_errors.h>

#include <memory>
#include <string>
#include <vector>

#include "fixture-layout.h"
#include "fixtures.h"
#include "payload-io/payload-locator.h"
#include "payload/format.h"
#include "payload/record-cursor.h"
#include "test-support.h"

namespace {

// The frames of a payload: everything between the magic and the trailer.
std::string framesOf(const std::string& payload) {
  onefile::FrameBounds frames = onefile::frameBounds(payload.size());
  return payload.substr(frames.offset, frames.size);
}

class Cursor {
 public:
  Cursor(std::string frames, size_t blockSize)
      : frames_(std::move(frames)), block_(blockSize), header_(std::make_unique<RecordHeader>()) {
    decoder_ = ZSTD_createDCtx();
    startDecodeStream(&stream_, decoder_, reinterpret_cast<const unsigned char*>(frames_.data()), frames_.size(),
                      block_.data(), block_.size());
  }
  ~Cursor() { ZSTD_freeDCtx(decoder_); }

  RecordStatus next() { return readRecordHeader(&stream_, header_.get()); }
  const RecordHeader& header() const { return *header_; }
  std::u16string name() const { return std::u16string(header_->name, header_->nameLength); }
  DecodeStream& stream() { return stream_; }

 private:
  std::string frames_;
  std::vector<unsigned char> block_;
  std::unique_ptr<RecordHeader> header_;
  ZSTD_DCtx* decoder_;
  DecodeStream stream_;
};

const fixtures::Files SAMPLE = {
    {u"app.exe", fixtures::randomBytes(70000, 1)},
    {u"empty.dat", ""},
    {u"docs\\\u00e9t\u00e9.txt", fixtures::textBytes(5000, 2)},
    {u"x", "y"},
};

TEST(RecordCursor, ReadsEveryRecordWhateverTheBlockSizeAndFrameCuts) {
  std::string stream = fixtures::recordStream(SAMPLE);
  for (std::vector<size_t> cuts : {std::vector<size_t>{}, std::vector<size_t>{1, 9, 70013, 70040}}) {
    std::string frames = framesOf(fixtures::payloadOfFrames(stream, cuts));
    for (size_t blockSize : {size_t{1}, size_t{2}, size_t{3}, size_t{7}, size_t{4096}, size_t{1} << 17}) {
      SCOPED_TRACE("block " + std::to_string(blockSize) + ", frames " + std::to_string(cuts.size() + 1));
      Cursor cursor(frames, blockSize);
      for (const auto& [name, content] : SAMPLE) {
        ASSERT_EQ(cursor.next(), RECORD_FILE);
        EXPECT_EQ(cursor.name(), name);
        EXPECT_EQ(cursor.header().name[cursor.header().nameLength], 0);
        EXPECT_EQ(cursor.header().size, content.size());
        EXPECT_EQ(cursor.header().checksum, recordChecksum(testing_support::crc32Of(content)));
        std::string got(content.size(), '\0');
        ASSERT_EQ(decodeStreamRead(&cursor.stream(), got.data(), got.size()), DECODE_OK);
        EXPECT_EQ(got, content);
      }
      EXPECT_EQ(cursor.next(), RECORD_END);
      EXPECT_EQ(cursor.stream().decodedOffset, stream.size());
      uint64_t left = 1;
      EXPECT_EQ(decodeStreamDrain(&cursor.stream(), &left), DECODE_OK);
      EXPECT_EQ(left, 0u);
    }
  }
}

// "exact-block" fills the reader's block with the decoder's first call, which
// also takes all input: only the filled-block rule asks for the rest.
TEST(RecordCursor, DeliversTheReadersFixturesByteForByte) {
  unsigned checked = 0;
  for (const fixtures::Fixture& fixture : fixtures::allFixtures()) {
    if (fixture.name != "exact-block" && fixture.name != "blocks" && fixture.name != "frames") continue;
    for (size_t blockSize : {size_t{fixture_layout::READER_BLOCK}, size_t{7}}) {
      SCOPED_TRACE(fixture.name + ", block " + std::to_string(blockSize));
      Cursor cursor(framesOf(fixture.payload), blockSize);
      std::string got(fixture.stream.size(), '\0');
      ASSERT_EQ(decodeStreamRead(&cursor.stream(), got.data(), got.size()), DECODE_OK);
      EXPECT_EQ(got, fixture.stream);
      char more;
      EXPECT_EQ(decodeStreamRead(&cursor.stream(), &more, 1), DECODE_ENDED);
    }
    ++checked;
  }
  EXPECT_EQ(checked, 3u);
}

TEST(RecordCursor, AcceptsNamesUpToTheLimitAndRefusesOneUnitMore) {
  std::u16string longest(RECORD_NAME_MAX_UNITS, u'n');
  std::string stream = fixtures::recordStream({{longest, "a"}, {longest + u'n', "b"}});
  Cursor cursor(framesOf(fixtures::payloadOfFrames(stream, {})), 5);
  ASSERT_EQ(cursor.next(), RECORD_FILE);
  EXPECT_EQ(cursor.name(), longest);
  char content;
  ASSERT_EQ(decodeStreamRead(&cursor.stream(), &content, 1), DECODE_OK);
  EXPECT_EQ(cursor.next(), RECORD_NAME_TOO_LONG);
}

TEST(RecordCursor, TellsAStreamThatEndsEarlyFromDamagedData) {
  std::string stream = fixtures::recordStream(SAMPLE);
  // Cut inside a name, inside the size field, inside the content, and where
  // the end record should be: the stream ends, nothing is damaged.
  EXPECT_EQ(Cursor("", 64).next(), RECORD_STREAM_ENDED) << "no frames at all";
  for (size_t cut : {size_t{5}, size_t{16 + 4}, size_t{100}, stream.size() - RECORD_NAME_UNIT_BYTES}) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    Cursor cursor(framesOf(fixtures::payloadOfFrames(stream.substr(0, cut), {})), 64);
    RecordStatus status;
    while ((status = cursor.next()) == RECORD_FILE) {
      std::string content(cursor.header().size, '\0');
      if (decodeStreamRead(&cursor.stream(), content.data(), content.size()) != DECODE_OK) {
        status = RECORD_STREAM_ENDED;
        break;
      }
    }
    EXPECT_EQ(status, RECORD_STREAM_ENDED);
    EXPECT_EQ(cursor.stream().error, 0u);
  }

  for (const fixtures::Fixture& fixture : fixtures::allFixtures()) {
    if (fixture.name != "damaged") continue;
    std::string frames = framesOf(fixture.payload);
    Cursor cursor(frames, 1 << 17);
    std::string all(fixture.stream.size() + 1, '\0');
    EXPECT_EQ(decodeStreamRead(&cursor.stream(), all.data(), all.size()), DECODE_DAMAGED);
    EXPECT_TRUE(ZSTD_isError(cursor.stream().error));
    EXPECT_LT(cursor.stream().errorInputPos, frames.size());
    return;
  }
  FAIL() << "no damaged fixture";
}

// Reads every record and its content; the status that ended the walk.
RecordStatus readAllRecords(Cursor& cursor) {
  RecordStatus status;
  while ((status = cursor.next()) == RECORD_FILE) {
    std::string content(cursor.header().size, '\0');
    if (decodeStreamRead(&cursor.stream(), content.data(), content.size()) != DECODE_OK) return RECORD_DAMAGED;
  }
  return status;
}

// After the end record the frame is decoded to its end, whatever the block
// size (small ones make zstd hold back its last input byte while it still has
// output), and not one byte further: a second frame after it stays untouched.
TEST(RecordCursor, FinishesTheFrameOfTheEndRecordAndStopsAtItsEnd) {
  std::string stream = fixtures::recordStream(SAMPLE) + "decoded bytes after the end record";
  std::string further = framesOf(fixtures::payloadOfFrames("a further frame", {}));
  struct Case {
    bool contentChecksum;
    size_t blockSize;
  };
  for (const Case& c : {Case{true, 1}, Case{true, 7}, Case{true, 4096}, Case{true, size_t{1} << 17},
                        Case{false, 1}, Case{false, size_t{1} << 17}}) {
    SCOPED_TRACE("checksum " + std::to_string(c.contentChecksum) + ", block " + std::to_string(c.blockSize));
    std::string frame = framesOf(fixtures::payloadOfFrames(stream, {}, PAYLOAD_WINDOW_LOG, c.contentChecksum));
    Cursor cursor(frame + further, c.blockSize);
    ASSERT_EQ(readAllRecords(cursor), RECORD_END);
    EXPECT_EQ(decodeStreamFinishFrame(&cursor.stream()), DECODE_OK);
    EXPECT_EQ(cursor.stream().inputPos, frame.size());
    EXPECT_EQ(cursor.stream().decodedOffset, stream.size());
  }
}

// The damage each reader block size meets either while the records are read
// or when the frame is finished; either way it is found before the end.
TEST(RecordCursor, FindsAChecksumMismatchOrACutFrameBeforeItsEnd) {
  for (const fixtures::Fixture& fixture : fixtures::allFixtures()) {
    bool mismatch = fixture.name == "check-stored" || fixture.name == "check-compressed" ||
                    fixture.name == "check-checksum" || fixture.name == "exact-fill-bad-checksum";
    if (!mismatch && fixture.name != "check-sound") continue;
    std::string frame = framesOf(fixture.payload);
    for (size_t blockSize : {size_t{3}, size_t{fixture_layout::READER_BLOCK}}) {
      SCOPED_TRACE(fixture.name + ", block " + std::to_string(blockSize));
      Cursor cursor(frame, blockSize);
      RecordStatus records = readAllRecords(cursor);
      DecodeStatus finish = records == RECORD_END ? decodeStreamFinishFrame(&cursor.stream()) : DECODE_DAMAGED;
      if (!mismatch) {
        EXPECT_EQ(finish, DECODE_OK);
        Cursor cut(frame.substr(0, frame.size() - 2), blockSize);  // the checksum cut short
        ASSERT_EQ(readAllRecords(cut), RECORD_END);
        EXPECT_EQ(decodeStreamFinishFrame(&cut.stream()), DECODE_ENDED);
        continue;
      }
      EXPECT_EQ(finish, DECODE_DAMAGED);
      EXPECT_EQ(ZSTD_getErrorCode(cursor.stream().error), ZSTD_error_checksum_wrong);
    }
  }
}

}  // namespace
