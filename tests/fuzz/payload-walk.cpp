#include "payload-walk.h"

#include <zstd.h>

#include <optional>
#include <stdexcept>
#include <string>

#include "payload/format.h"
#include "payload_locator.h"
#include "record_reader.h"
#include "utf.h"

namespace fuzz_walk {
namespace {

constexpr int QUICK_LEVEL = 1;

void walkFrames(const unsigned char* frames, size_t size) {
  onefile::DecodedStream stream(frames, size, PAYLOAD_MAGIC_SIZE);
  onefile::RecordReader reader(stream);
  try {
    while (std::optional<onefile::RecordEntry> record = reader.next()) {
      onefile::utf16ToUtf8(record->name);  // as list shows every name
      reader.readContent(record->size, [](const unsigned char*, size_t) {});
    }
    stream.drain();
  } catch (const onefile::PayloadDamage&) {
    // The expected ending of a damaged payload.
  }
}

}  // namespace

void walkPayload(const uint8_t* data, size_t size) {
  std::optional<onefile::PayloadLocation> where = onefile::locatePayload(data, size);
  if (!where) return;
  size_t afterMagic = where->length - PAYLOAD_MAGIC_SIZE;
  size_t frames = afterMagic >= PAYLOAD_TRAILER_SIZE ? afterMagic - PAYLOAD_TRAILER_SIZE : afterMagic;
  walkFrames(data + where->offset + PAYLOAD_MAGIC_SIZE, frames);
}

void walkRecordStream(const uint8_t* data, size_t size) {
  std::string frame(ZSTD_compressBound(size), '\0');
  size_t written = ZSTD_compress(frame.data(), frame.size(), data, size, QUICK_LEVEL);
  if (ZSTD_isError(written)) throw std::logic_error("zstd cannot compress the fuzz input");
  walkFrames(reinterpret_cast<const unsigned char*>(frame.data()), written);
}

}  // namespace fuzz_walk
