// The reader driven in-process over payloads made by the payload writer:
// every byte it delivers is compared with the stream that went in, and the
// payload's trailer lies on a page that cannot be read.
#include <gtest/gtest.h>
#include <zstd.h>

#include <cstring>
#include <map>

#include "fixture-layout.h"
#include "guarded-memory.h"
#include "harness.h"
#include "xorshift.h"
#include "payload/format.h"
#include "payload/reader.h"

namespace {

constexpr uint64_t BLOCK = PAYLOAD_OUTPUT_BLOCK_SIZE;
static_assert(BLOCK == fixture_layout::READER_BLOCK, "the fixtures are laid out for this block size");

std::wstring fixturePath(const std::wstring& name) { return harness::binPath(L"payload-data\\" + name); }

std::string expectedStream(const std::wstring& fixture) { return harness::readFile(fixturePath(fixture + L".stream")); }

// The payload in memory with its trailer, which the reader must never touch,
// on a page that cannot be read.
harness::GuardedRegion guardedPayload(const std::wstring& fixture) {
  return harness::GuardedRegion(harness::readFile(fixturePath(fixture)), PAYLOAD_TRAILER_SIZE);
}

// A fixture's guarded payload, open in the reader for the life of the object.
class OpenPayload {
 public:
  explicit OpenPayload(const std::wstring& fixture) : payload_(guardedPayload(fixture)) {
    openPayloadBytes(payload_.data(), payload_.size());
  }
  ~OpenPayload() { closePayload(); }
  OpenPayload(const OpenPayload&) = delete;
  OpenPayload& operator=(const OpenPayload&) = delete;

 private:
  harness::GuardedRegion payload_;
};

// Reads through the reader and checks each request against the stream.
class StreamCheck {
 public:
  explicit StreamCheck(const std::string& stream) : stream_(stream) {}

  void read(uint64_t count) {
    ASSERT_LE(position_ + count, stream_.size()) << "the test asks past the stream";
    std::string got(count, '\0');
    payloadRead(got.data(), count);
    ASSERT_TRUE(got == stream_.substr(position_, count))
        << "wrong bytes in the request of " << count << " at " << position_;
    position_ += count;
  }
  void readTo(uint64_t position) { read(position - position_); }
  // Takes at most count bytes in place; returns how many came.
  size_t take(uint64_t count) {
    size_t taken = 0;
    const unsigned char* bytes = payloadTake(count, &taken);
    EXPECT_GE(taken, 1u);
    EXPECT_LE(taken, count);
    EXPECT_TRUE(std::memcmp(bytes, stream_.data() + position_, taken) == 0) << "wrong bytes taken at " << position_;
    position_ += taken;
    return taken;
  }
  uint64_t position() const { return position_; }
  uint64_t left() const { return stream_.size() - position_; }

 private:
  const std::string& stream_;
  uint64_t position_ = 0;
};

TEST(PayloadReader, ServesRequestsAcrossAndUpToTheEdgesOfItsBlock) {
  std::string stream = expectedStream(L"blocks");
  ASSERT_GT(stream.size(), 4 * BLOCK);
  OpenPayload payload(L"blocks.payload");
  StreamCheck check(stream);
  check.read(BLOCK - 100);
  check.read(32768);  // 100 bytes from the first block, the rest from a new decode call
  check.readTo(2 * BLOCK);  // ends exactly at the block's end
  check.read(1);            // so this one starts with a decode call
  check.readTo(3 * BLOCK - 1);
  check.read(2);  // one byte from each block, as a name's code unit may come
  check.read(BLOCK + BLOCK / 2);  // more than a whole block in one request
  while (check.left() > 1) check.read(2);
  if (check.left() > 0) check.read(1);
  EXPECT_EQ(check.position(), stream.size());
}

// Copying reads and takes in place, of any size, mixed.
TEST(PayloadReader, DeliversEveryByteForAnyMixOfRequestSizes) {
  std::string stream = expectedStream(L"blocks");
  OpenPayload payload(L"blocks.payload");
  StreamCheck check(stream);
  uint32_t state = 12345;
  while (check.left() > 0) {
    test_data::nextRandom(&state);
    uint64_t size = 1 + (state >> 8) % 70000;
    if (size > check.left()) size = check.left();
    if (state & 0x10000)
      check.read(size);
    else
      check.take(size);
  }
}

// Takes hand out the block in place: never more than asked or than the block
// still holds, and a new block only once the last is used up.
TEST(PayloadReader, TakesServeTheBlockInPlaceUpToItsEnd) {
  std::string stream = expectedStream(L"blocks");
  OpenPayload payload(L"blocks.payload");
  StreamCheck edges(stream);
  EXPECT_EQ(edges.take(100), 100u);
  EXPECT_EQ(edges.take(4 * BLOCK), BLOCK - 100) << "a take stops at the block's end";
  EXPECT_EQ(edges.take(4 * BLOCK), BLOCK) << "the next one decodes a whole new block";
  edges.read(3);
}

// The decode call that fills the first block takes all of the input and holds
// 50 bytes back; only the filled-block flag makes the reader ask for them.
TEST(PayloadReader, DecodesAgainAfterFillingTheBlockWithAllInputConsumed) {
  std::string stream = expectedStream(L"exact-block");
  ASSERT_EQ(stream.size(), fixture_layout::EXACT_BLOCK_STREAM);
  harness::GuardedRegion payload = guardedPayload(L"exact-block.payload");
  uint64_t withoutTrailer = payload.size() - PAYLOAD_TRAILER_SIZE;
  {  // the situation this test is about
    ZSTD_DCtx* context = ZSTD_createDCtx();
    std::string block(BLOCK, '\0');
    ZSTD_inBuffer input = {payload.data() + 3, withoutTrailer - 3, 0};
    ZSTD_outBuffer output = {block.data(), block.size(), 0};
    ASSERT_FALSE(ZSTD_isError(ZSTD_decompressStream(context, &output, &input)));
    ASSERT_EQ(output.pos, BLOCK);
    ASSERT_EQ(input.pos, input.size);
    ZSTD_freeDCtx(context);
  }
  openPayloadBytes(payload.data(), withoutTrailer);  // the input ends where the guard page begins
  StreamCheck check(stream);
  check.read(BLOCK);
  check.read(check.left());
  closePayload();
}

// Reads records the way extraction does: each header through the record
// cursor, content in pieces of at most 32 KiB, up to the end record.
std::map<std::wstring, std::string> readRecords(uint64_t* bytesRead) {
  std::map<std::wstring, std::string> records;
  static RecordHeader header;
  *bytesRead = 0;
  for (;;) {
    bool isFile = payloadReadRecordHeader(&header);
    *bytesRead += (header.nameLength + 1) * RECORD_NAME_UNIT_BYTES;
    if (!isFile) return records;
    std::string content;
    char chunk[32768];
    for (uint64_t left = header.size; left > 0;) {
      uint64_t piece = left < sizeof chunk ? left : sizeof chunk;
      payloadRead(chunk, piece);
      content.append(chunk, piece);
      left -= piece;
    }
    *bytesRead += RECORD_SIZE_BYTES + RECORD_CHECKSUM_BYTES + header.size;
    records[std::wstring(header.name, header.nameLength)] = content;
  }
}

TEST(PayloadReader, ReadsConcatenatedFramesAsOneStreamAndStopsAtTheEndRecord) {
  // "frames": cut into five frames, once between the two bytes of a name's
  // code unit. "trailing": decoded bytes follow the end record.
  std::string stream = expectedStream(L"blocks");
  harness::GuardedRegion reference = guardedPayload(L"blocks.payload");
  openPayloadBytes(reference.data(), reference.size());
  uint64_t streamBytes = 0;
  std::map<std::wstring, std::string> expected = readRecords(&streamBytes);
  closePayload();
  ASSERT_EQ(streamBytes, stream.size());
  ASSERT_EQ(expected.size(), 6u);
  EXPECT_EQ(expected.count(L"lib\\caf\u00e9 \u4e2d\u6587\U0001F600.txt"), 1u);
  for (const wchar_t* fixture : {L"frames.payload", L"trailing.payload"}) {
    OpenPayload payload(fixture);
    uint64_t bytes = 0;
    EXPECT_EQ(readRecords(&bytes), expected) << harness::narrow(fixture);
    EXPECT_EQ(bytes, streamBytes);
  }
}

// A payload made by onefile-pack from a folder: every file comes back.
TEST(PayloadReader, ReadsBackTheFolderThatOnefilePackPacked) {
  harness::GuardedRegion payload = guardedPayload(L"app.payload");
  openPayloadBytes(payload.data(), payload.size());
  uint64_t bytes = 0;
  std::map<std::wstring, std::string> records = readRecords(&bytes);
  closePayload();
  std::wstring folder = fixturePath(L"app");
  size_t files = 0;
  for (const std::wstring& name : harness::listTree(folder)) {
    if (harness::directoryExists(folder + L"\\" + name)) continue;
    ++files;
    ASSERT_EQ(records.count(name), 1u) << harness::narrow(name);
    EXPECT_TRUE(records[name] == harness::readFile(folder + L"\\" + name)) << harness::narrow(name);
  }
  EXPECT_EQ(records.size(), files);
}

}  // namespace
