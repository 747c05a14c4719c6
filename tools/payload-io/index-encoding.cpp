#include "payload-io/index-encoding.h"

#include <zstd.h>

#include <stdexcept>

#include "host/byte-fields.h"
#include "host/pack-error.h"
#include "payload/crc32.h"
#include "payload/format.h"

namespace onefile {
namespace {

// The entries are mostly names, which repeat their folders: any level packs
// them well, and this one packs a full index in milliseconds.
constexpr int ENTRIES_LEVEL = 19;

std::string compressEntries(const std::string& entries) {
  std::string compressed(ZSTD_compressBound(entries.size()), '\0');
  size_t size = ZSTD_compress(compressed.data(), compressed.size(), entries.data(), entries.size(), ENTRIES_LEVEL);
  if (ZSTD_isError(size)) throw PackError("zstd", std::string("index: ") + ZSTD_getErrorName(size));
  compressed.resize(size);
  return compressed;
}

}  // namespace

std::string encodeIndex(const std::string& entries) {
  if (entries.size() > INDEX_ENTRIES_MAX_BYTES) throw std::logic_error("an index's entries are too large");
  std::string compressed = compressEntries(entries);
  std::string index;
  appendLittleEndian(&index, PAYLOAD_INDEX_MAGIC, INDEX_MAGIC_BYTES);
  appendLittleEndian(&index, INDEX_FIXED_BYTES - INDEX_MAGIC_BYTES - INDEX_LENGTH_BYTES + compressed.size(),
                     INDEX_LENGTH_BYTES);
  appendLittleEndian(&index, 0, INDEX_FRAME_SIZE_BYTES);
  appendLittleEndian(&index, entries.size(), INDEX_ENTRIES_SIZE_BYTES);
  index += compressed;
  appendLittleEndian(&index, 0, INDEX_CHECKSUM_BYTES);
  return index;
}

void sealIndex(std::string* index, uint64_t frameSize) {
  putLittleEndian(index, INDEX_MAGIC_BYTES + INDEX_LENGTH_BYTES, frameSize, INDEX_FRAME_SIZE_BYTES);
  size_t checked = index->size() - INDEX_CHECKSUM_BYTES;
  putLittleEndian(index, checked, crc32Update(0, reinterpret_cast<const unsigned char*>(index->data()), checked),
                  INDEX_CHECKSUM_BYTES);
}

std::string encodeIndexFrame(uint64_t frameSize, const std::string& entries) {
  std::string index = encodeIndex(entries);
  sealIndex(&index, frameSize);
  return index;
}

}  // namespace onefile
