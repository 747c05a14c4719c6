#include "fixtures.h"

#include <zstd.h>
#include <zstd_errors.h>

#include <algorithm>
#include <stdexcept>

#include "payload-io/checksum.h"
#include "file-bytes.h"
#include "fixture-layout.h"
#include "payload-io/payload-assembler.h"
#include "payload-io/payload-locator.h"
#include "payload/format.h"
#include "payload-io/record-encoding.h"
#include "host/utf.h"
#include "index-fixtures.h"
#include "xorshift.h"

namespace fixtures {
namespace {

using fixture_layout::READER_BLOCK;
using test_data::nextRandom;

onefile::CompressionSettings quickSettings(int windowLog, bool contentChecksum = true) {
  onefile::CompressionSettings settings;
  settings.level = 3;
  settings.threads = 0;
  settings.windowLog = windowLog;
  settings.contentChecksum = contentChecksum;
  return settings;
}

// The four zero bytes and the count of the bytes before it.
void appendTrailer(std::string* payload) {
  payload->append(PAYLOAD_TRAILER_ZERO_BYTES, '\0');
  onefile::appendLittleEndian(payload, payload->size(), PAYLOAD_LENGTH_FIELD_BYTES);
}

void flipBit(std::string* bytes, size_t at, unsigned bit) {
  (*bytes)[at] = static_cast<char>((*bytes)[at] ^ (1u << bit));
}

// A mix of files that puts record boundaries, names and content at many
// places relative to the reader's 128 KiB blocks.
Files mixedFiles() {
  return {
      {u"app.exe", randomBytes(READER_BLOCK - 100, 1)},
      {u"empty.dat", ""},
      {u"lib\\one.dll", textBytes(3 * READER_BLOCK / 2 + 7, 2)},
      {u"lib\\caf\u00e9 \u4e2d\u6587\U0001F600.txt", textBytes(1, 3)},
      {u"data\\blob.bin", randomBytes(2 * READER_BLOCK + 33, 4)},
      {u"data\\notes.txt", textBytes(40000, 5)},
  };
}

Fixture single(const std::string& name, const std::string& stream, int windowLog = PAYLOAD_WINDOW_LOG) {
  return {name, payloadOfFrames(stream, {}, windowLog), stream};
}

// The block that starts at `from` gets the reserved block type, which every
// decoder rejects. A flush ends a block exactly there.
Fixture damaged() {
  std::string stream = recordStream(mixedFiles());
  onefile::StringSink sink;
  onefile::PayloadAssembler assembler(sink);
  assembler.beginFrame(quickSettings(PAYLOAD_WINDOW_LOG));
  assembler.feed(stream.data(), fixture_layout::DAMAGED_FROM);
  assembler.flushBlock();
  uint64_t blockHeader = assembler.offset();
  assembler.feed(stream.data() + fixture_layout::DAMAGED_FROM, stream.size() - fixture_layout::DAMAGED_FROM);
  assembler.endFrame();
  assembler.finish();
  std::string payload = sink.bytes();
  payload[blockHeader] = static_cast<char>(payload[blockHeader] | 0x06);  // block type 3: reserved
  return {"damaged", payload, stream};
}

// The stream is one reader block and 50 bytes, in a frame that stops after
// its blocks without a last block (as a payload cut short would). The decode
// call that fills the first reader block then takes all of the input and
// keeps the 50 bytes: only the filled-block flag gets them out. (At the end
// of a complete frame zstd holds back its last input byte while it has output
// left, so there the input never looks used up.)
Fixture exactBlock() {
  const std::u16string name = u"a.bin";
  size_t overhead = onefile::encodeRecordHeader(name, 0, 0).size() + onefile::encodeEndRecord().size();
  std::string stream = recordStream({{name, randomBytes(fixture_layout::EXACT_BLOCK_STREAM - overhead, 6)}});
  onefile::StringSink frame;
  onefile::FrameCompressor compressor(quickSettings(PAYLOAD_WINDOW_LOG), frame);
  compressor.feed(stream.data(), stream.size());
  compressor.flush();
  std::string payload(reinterpret_cast<const char*>(PAYLOAD_MAGIC), PAYLOAD_MAGIC_SIZE);
  payload += frame.bytes();
  appendTrailer(&payload);
  return {"exact-block", payload, stream};
}

// The frame-check payloads: one set of files, intact, without a checksum, and
// damaged where the checksum alone can tell.
Files checkedFiles() {
  using namespace fixture_layout;
  return {{CHECKED_MAIN, SHORT_CONTENT},
          {CHECKED_BLOB, randomBytes(CHECKED_BLOB_SIZE, 9)},
          {CHECKED_TEXT, textBytes(CHECKED_TEXT_SIZE, 10)}};
}

// Where the content of files[index] lies in their record stream.
std::pair<size_t, size_t> contentRange(const Files& files, size_t index) {
  Files before(files.begin(), files.begin() + static_cast<std::ptrdiff_t>(index) + 1);
  size_t end = recordStream(before, false).size();
  return {end - files[index].second.size(), end};
}

// A flipped bit in a compressed block that zstd still decodes, to content of
// the same length that differs only inside CHECKED_TEXT: what only the frame's
// checksum catches. Found by trying every bit in turn, so always the same one;
// the files are few and small, so that the search stays quick.
Fixture damagedInCompressedBlock() {
  using namespace fixture_layout;
  const Files files = {{CHECKED_MAIN, SHORT_CONTENT}, {CHECKED_TEXT, textBytes(COMPRESSED_TEXT_SIZE, 10)}};
  std::string stream = recordStream(files);
  std::string payload = payloadOfFrames(stream, {});
  auto [textFrom, textTo] = contentRange(files, 1);
  std::string unlike = stream;
  for (char& c : unlike) c = static_cast<char>(~c);  // bytes the decoder leaves alone show up as changed
  ZSTD_DCtx* decoder = ZSTD_createDCtx();
  onefile::FrameBounds frames = onefile::frameBounds(payload.size());
  std::string damaged = payload;
  std::string decoded;
  std::vector<FrameBlock> blocks = frameBlocks(payload, frames.offset);
  // The text is packed last: its block is tried first.
  for (auto block = blocks.rbegin(); block != blocks.rend(); ++block) {
    if (block->type != 2) continue;
    for (size_t at = block->contentAt; at < block->contentAt + block->size; ++at) {
      for (unsigned bit = 0; bit < 8; ++bit) {
        flipBit(&damaged, at, bit);
        decoded = unlike;
        size_t result = ZSTD_decompressDCtx(decoder, decoded.data(), decoded.size(),
                                            damaged.data() + frames.offset, frames.size);
        size_t first = 0;
        while (first < stream.size() && decoded[first] == stream[first]) ++first;
        size_t last = stream.size();
        while (last > first && decoded[last - 1] == stream[last - 1]) --last;
        if (ZSTD_getErrorCode(result) == ZSTD_error_checksum_wrong && first >= textFrom && last <= textTo) {
          ZSTD_freeDCtx(decoder);
          return {"check-compressed", damaged, stream};
        }
        flipBit(&damaged, at, bit);
      }
    }
  }
  ZSTD_freeDCtx(decoder);
  throw std::logic_error("no bit of a compressed block changes only the text's content");
}

std::vector<Fixture> checkedFixtures() {
  std::string stream = recordStream(checkedFiles());
  std::string sound = payloadOfFrames(stream, {});
  std::string stored = sound;
  onefile::FrameBounds frames = onefile::frameBounds(sound.size());
  for (const FrameBlock& block : frameBlocks(sound, frames.offset)) {
    if (block.type != 0) continue;
    flipBit(&stored, block.contentAt + block.size / 2, 3);
    break;
  }
  if (stored == sound) throw std::logic_error("the checked files make no stored block");
  std::string checksum = sound;
  flipBit(&checksum, frames.offset + frames.size - 1, 0);  // the checksum's last byte
  return {{"check-sound", sound, stream},
          {"check-stored", stored, stream},
          damagedInCompressedBlock(),
          {"check-checksum", checksum, stream},
          {"check-unchecked", payloadOfFrames(stream, {}, PAYLOAD_WINDOW_LOG, false), stream}};
}

// The record stream's frame, then a further frame that is not even valid: a
// reader that offers it to the decoder fails, and tests guard it besides.
Fixture furtherFrame(const std::string& name, bool contentChecksum) {
  std::string stream = recordStream(mixedFiles());
  onefile::StringSink frame;
  onefile::FrameCompressor compressor(quickSettings(PAYLOAD_WINDOW_LOG, contentChecksum), frame);
  compressor.feed(stream.data(), stream.size());
  compressor.finish();
  std::string further = "\x28\xB5\x2F\xFD" + randomBytes(fixture_layout::FURTHER_FRAME_BYTES - 4, 11);
  std::string payload(reinterpret_cast<const char*>(PAYLOAD_MAGIC), PAYLOAD_MAGIC_SIZE);
  payload += frame.bytes() + further;
  appendTrailer(&payload);
  return {name, payload, stream};
}

// The end record is the last two bytes of the second reader block, and
// decoded bytes follow it in the same frame: the decode call that fills the
// block leaves them, and the frame's end with its checksum, in the decoder.
std::vector<Fixture> exactFill() {
  const Files head = {{u"main.exe", fixture_layout::SHORT_CONTENT}};
  const std::u16string name = u"fill.bin";
  size_t overhead = recordStream(head, false).size() + onefile::encodeRecordHeader(name, 0, 0).size() +
                    onefile::encodeEndRecord().size();
  Files files = head;
  files.push_back({name, randomBytes(fixture_layout::EXACT_FILL_STREAM - overhead, 12)});
  std::string stream = recordStream(files);
  std::string payload = payloadOfFrames(stream + randomBytes(1000, 13), {});
  std::string badChecksum = payload;
  onefile::FrameBounds frames = onefile::frameBounds(payload.size());
  flipBit(&badChecksum, frames.offset + frames.size - 2, 5);
  return {{"exact-fill", payload, stream}, {"exact-fill-bad-checksum", badChecksum, stream}};
}

std::vector<Fixture> escapeFixtures() {
  using fixture_layout::SHORT_CONTENT;
  std::vector<Fixture> all;
  for (size_t i = 0; i < fixture_layout::ESCAPING_NAME_COUNT; ++i)
    all.push_back(single("escape-" + std::to_string(i),
                         recordStream({{u"main.exe", SHORT_CONTENT}, {fixture_layout::ESCAPING_NAMES[i], SHORT_CONTENT}})));
  all.push_back(single("escape-first", recordStream({{fixture_layout::ESCAPING_NAMES[0], SHORT_CONTENT}})));
  return all;
}

Fixture wrongMagic(int position) {
  Fixture fixture = single("wrong-magic-" + std::to_string(position), recordStream(mixedFiles()));
  fixture.payload[position] = static_cast<char>(fixture.payload[position] ^ 0x20);  // 'Z' -> 'z' and so on
  return fixture;
}

// A record that stores the checksum given, whatever its content.
std::string recordStoring(const std::u16string& name, const std::string& content, uint32_t stored) {
  return onefile::encodeRecordHeader(name, content.size(), stored) + content;
}

// The extract tests' record loops over records a packer would not write:
// stored checksums of the test's choosing, names over the limits.
std::vector<Fixture> unpackFixtures() {
  using fixture_layout::SHORT_CONTENT;
  const std::string zero = fixture_layout::CRC_ZERO_CONTENT;
  if (onefile::crc32Update(onefile::CRC32_INITIAL, reinterpret_cast<const unsigned char*>(zero.data()), zero.size()) != 0)
    throw std::logic_error("the CRC-zero content has another CRC-32");
  auto nameOf = fixture_layout::nameOfLength<std::u16string>;
  std::string storedZeros = recordStream({{u"main.exe", SHORT_CONTENT}}, false) + recordStoring(u"empty", "", 0) +
                            recordStoring(u"sub\\zero.bin", zero, 0) + onefile::encodeEndRecord();
  return {
      single("unpack-first-current",
             recordStream({{u"main.exe", SHORT_CONTENT}, {u"lib\\big.dll", fixture_layout::largeContent()}})),
      single("unpack-stored-zero", storedZeros),
      single("unpack-held", recordStream({{u"held", SHORT_CONTENT}, {u"empty", ""}})),
      single("unpack-full-name", recordStream({{nameOf(RECORD_NAME_MAX_UNITS), SHORT_CONTENT}})),
      single("unpack-name-too-long",
             recordStream({{u"main.exe", SHORT_CONTENT}, {nameOf(RECORD_NAME_MAX_UNITS + 1), SHORT_CONTENT}})),
      single("unpack-deep-name",
             recordStream({{u"main.exe", SHORT_CONTENT}, {nameOf(fixture_layout::DEEP_NAME_UNITS), SHORT_CONTENT}})),
  };
}

}  // namespace

std::string textBytes(size_t size, uint32_t seed) {
  static const char* const words[] = {"payload ", "record ", "block ", "frame ", "window ", "stream\n", "cache "};
  uint32_t state = 0x85EBCA6Bu ^ seed;
  std::string text;
  while (text.size() < size) text += words[nextRandom(&state) % 7];
  text.resize(size);
  return text;
}

std::string recordStream(const Files& files, bool withEndRecord) {
  std::string stream;
  for (const auto& [name, content] : files) {
    uint32_t crc = onefile::crc32Update(onefile::CRC32_INITIAL, reinterpret_cast<const unsigned char*>(content.data()), content.size());
    stream += onefile::encodeRecordHeader(name, content.size(), recordChecksum(crc));
    stream += content;
  }
  if (withEndRecord) stream += onefile::encodeEndRecord();
  return stream;
}

std::vector<FrameBlock> frameBlocks(const std::string& bytes, size_t frame) {
  constexpr size_t FRAME_HEADER_BYTES = 6;  // magic, descriptor, window
  constexpr size_t BLOCK_HEADER_BYTES = 3;
  std::vector<FrameBlock> blocks;
  for (size_t at = frame + FRAME_HEADER_BYTES; at + BLOCK_HEADER_BYTES <= bytes.size();) {
    uint32_t header = static_cast<uint32_t>(onefile::littleEndianAt(bytes, at, BLOCK_HEADER_BYTES));
    FrameBlock block = {at + BLOCK_HEADER_BYTES, header >> 3, (header >> 1) & 3};
    blocks.push_back(block);
    at = block.contentAt + (block.type == 1 ? 1 : block.size);
    if (header & 1) break;  // the last block
  }
  return blocks;
}

std::string payloadOfFrames(const std::string& stream, const std::vector<size_t>& cuts, int windowLog,
                            bool contentChecksum) {
  onefile::StringSink sink;
  onefile::PayloadAssembler assembler(sink);
  size_t start = 0;
  std::vector<size_t> ends = cuts;
  ends.push_back(stream.size());
  for (size_t end : ends) {
    if (end <= start || end > stream.size()) throw std::invalid_argument("frame cuts must rise within the stream");
    assembler.beginFrame(quickSettings(windowLog, contentChecksum));
    assembler.feed(stream.data() + start, end - start);
    assembler.endFrame();
    start = end;
  }
  assembler.finish();
  return sink.bytes();
}

std::vector<Fixture> allFixtures() {
  std::string mixed = recordStream(mixedFiles());
  std::string withoutEnd = recordStream(mixedFiles(), false);
  std::string garbage = randomBytes(1000, 7);
  size_t firstRecordEnd = recordStream({mixedFiles().front()}, false).size();
  // Frames end inside a name (between the two bytes of a code unit), at a
  // record boundary and in the middle of content.
  std::vector<size_t> cuts = {5, firstRecordEnd, READER_BLOCK + 3, 2 * READER_BLOCK + 1};
  std::vector<Fixture> all = {
      single("blocks", mixed),
      exactBlock(),
      {"frames", payloadOfFrames(mixed, cuts), mixed},
      {"trailing", payloadOfFrames(mixed + garbage, {}), mixed},
      {"trailing-unchecked", payloadOfFrames(mixed + garbage, {}, PAYLOAD_WINDOW_LOG, false), mixed},
      furtherFrame("after-end", true),
      furtherFrame("after-end-unchecked", false),
      single("wide-window", mixed, PAYLOAD_WINDOW_LOG + 1),
      single("no-end", withoutEnd),
      damaged(),
      wrongMagic(0),
      wrongMagic(1),
      wrongMagic(2),
  };
  for (auto make : {unpackFixtures, checkedFixtures, exactFill, escapeFixtures, indexFixtures})
    for (Fixture& fixture : make()) all.push_back(std::move(fixture));
  return all;
}

void writeAppFolder(const std::filesystem::path& folder) {
  Files files = mixedFiles();
  files.push_back({u"lib\\plugins\\deep\\exact.bin", randomBytes(READER_BLOCK, 8)});
  std::filesystem::create_directories(folder);
  for (const auto& [name, content] : files) {
    std::string relative = onefile::utf16ToUtf8(name);
    std::replace(relative.begin(), relative.end(), '\\', '/');
    host_test::writeFile(folder / relative, content);
  }
}

}  // namespace fixtures
