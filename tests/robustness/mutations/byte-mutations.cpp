// Damage to the bytes of a packed payload: its magic, the indexes before its
// frames, the first frame's header, the block headers, the compressed blocks
// and the trailer; cut short, and with bytes inserted and removed.
#include <cstdint>

#include "mutations.h"
#include "payload-io/payload-locator.h"
#include "payload/format.h"
#include "payload/frame-index.h"
#include "xorshift.h"

namespace mutations {
namespace {

using test_data::nextRandom;

// A Zstandard frame's header: magic (4 bytes), descriptor, window byte.
constexpr size_t FRAME_HEADER_BYTES = 6;
constexpr size_t BLOCK_HEADER_BYTES = 3;
constexpr size_t BLOCKS_WITH_EVERY_HEADER_BIT = 8;
constexpr size_t CONTENT_FLIPS = 460;
constexpr size_t INDEX_FLIPS = 120;
constexpr size_t TRUNCATIONS = 110;
constexpr size_t INSERTIONS = 100;
constexpr size_t REMOVALS = 100;

Mutation flipped(const std::string& payload, const std::string& kind, size_t at, unsigned bit) {
  std::string damaged = payload;
  damaged[at] = static_cast<char>(damaged[at] ^ (1u << bit));
  return {kind, "bit " + std::to_string(bit) + " of byte " + std::to_string(at) + " flipped", damaged};
}

struct Span {
  size_t from, to;
};

// Where the indexes lie, one before each frame; none in a payload of one frame.
std::vector<Span> indexSpans(const std::string& payload) {
  std::vector<Span> spans;
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(payload.data());
  IndexFrame index;
  for (size_t at = PAYLOAD_MAGIC_SIZE; findIndexFrame(bytes + at, payload.size() - at, &index) == INDEX_FOUND;) {
    spans.push_back({at, at + index.indexSize});
    at += index.indexSize + index.frameSize;
  }
  return spans;
}

// Offsets of the block headers of the frame at frameStart (no dictionary,
// no content size: the frame this project's packer writes). Its content
// checksum follows the last block, among the bytes the flips may hit.
std::vector<size_t> blockHeaders(const std::string& payload, size_t frameStart) {
  std::vector<size_t> headers;
  size_t at = frameStart + FRAME_HEADER_BYTES;
  auto byteAt = [&](size_t i) { return static_cast<unsigned char>(payload[i]); };
  while (at + BLOCK_HEADER_BYTES <= payload.size()) {
    uint32_t header = byteAt(at) | byteAt(at + 1) << 8 | byteAt(at + 2) << 16;
    headers.push_back(at);
    unsigned type = (header >> 1) & 3;
    size_t size = header >> 3;
    at += BLOCK_HEADER_BYTES + (type == 1 ? 1 : size);
    if (header & 1) break;
  }
  return headers;
}

}  // namespace

std::vector<Mutation> byteMutations(const std::string& payload) {
  std::vector<Mutation> all;
  for (size_t at = 0; at < PAYLOAD_MAGIC_SIZE; ++at)
    for (unsigned bit = 0; bit < 8; ++bit) all.push_back(flipped(payload, "bit-flip-magic", at, bit));
  std::vector<Span> indexes = indexSpans(payload);
  const size_t frameStart = indexes.empty() ? PAYLOAD_MAGIC_SIZE : indexes.front().to;
  for (size_t at = frameStart; at < frameStart + FRAME_HEADER_BYTES; ++at)
    for (unsigned bit = 0; bit < 8; ++bit) all.push_back(flipped(payload, "bit-flip-frame-header", at, bit));

  std::vector<size_t> headers = blockHeaders(payload, frameStart);
  for (size_t i = 0; i < headers.size() && i < BLOCKS_WITH_EVERY_HEADER_BIT; ++i)
    for (size_t at = headers[i]; at < headers[i] + BLOCK_HEADER_BYTES; ++at)
      for (unsigned bit = 0; bit < 8; ++bit) all.push_back(flipped(payload, "bit-flip-block-header", at, bit));

  const size_t blocksFrom = frameStart + FRAME_HEADER_BYTES;
  onefile::FrameBounds frames = onefile::frameBounds(payload.size());
  const size_t trailerFrom = frames.offset + frames.size;
  uint32_t state = 0x9E3779B9;
  size_t indexBytes = 0;
  for (const Span& index : indexes) indexBytes += index.to - index.from;
  for (size_t i = 0; i < INDEX_FLIPS && indexBytes > 0; ++i) {
    size_t nth = nextRandom(&state) % indexBytes;
    size_t span = 0;
    for (; nth >= indexes[span].to - indexes[span].from; ++span) nth -= indexes[span].to - indexes[span].from;
    all.push_back(flipped(payload, "bit-flip-index", indexes[span].from + nth, nextRandom(&state) % 8));
  }
  for (size_t i = 0; i < CONTENT_FLIPS; ++i) {
    size_t at = blocksFrom + nextRandom(&state) % (trailerFrom - blocksFrom);
    all.push_back(flipped(payload, "bit-flip-blocks", at, nextRandom(&state) % 8));
  }
  for (size_t at = trailerFrom; at < payload.size(); ++at)
    all.push_back(flipped(payload, "bit-flip-trailer", at, static_cast<unsigned>(at % 8)));

  for (size_t i = 0; i < TRUNCATIONS; ++i) {
    // Evenly spread, from nothing at all to one byte short.
    size_t length = i * (payload.size() - 1) / (TRUNCATIONS - 1);
    all.push_back({"truncated", "cut to " + std::to_string(length) + " bytes", payload.substr(0, length)});
  }
  for (size_t i = 0; i < INSERTIONS; ++i) {
    size_t at = nextRandom(&state) % payload.size();
    std::string inserted;
    for (size_t n = 1 + nextRandom(&state) % 8; n > 0; --n) inserted += static_cast<char>(nextRandom(&state));
    std::string damaged = payload;
    damaged.insert(at, inserted);
    all.push_back({"bytes-inserted", std::to_string(inserted.size()) + " bytes inserted at " + std::to_string(at),
                   damaged});
  }
  for (size_t i = 0; i < REMOVALS; ++i) {
    size_t at = nextRandom(&state) % payload.size();
    size_t count = 1 + nextRandom(&state) % 16;
    std::string damaged = payload;
    damaged.erase(at, count);
    all.push_back({"bytes-removed", std::to_string(count) + " bytes removed at " + std::to_string(at), damaged});
  }
  return all;
}

}  // namespace mutations
