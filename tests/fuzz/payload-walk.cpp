#include "payload-walk.h"

#include <zstd.h>

#include <optional>
#include <stdexcept>
#include <string>

#include "payload-io/index-check.h"
#include "payload-io/payload-locator.h"
#include "payload-io/record-reader.h"
#include "host/utf.h"

namespace fuzz_walk {
namespace {

constexpr int QUICK_LEVEL = 1;

void walkFrames(const unsigned char* frames, size_t size, size_t fileOffset) {
  onefile::DecodedStream stream(frames, size, fileOffset);
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
  onefile::FrameBounds frames = onefile::frameBounds(where->length);
  walkFrames(data + where->offset + frames.offset, frames.size, frames.offset);
}

void walkIndexes(const uint8_t* data, size_t size) {
  auto walk = [](const unsigned char* frames, size_t length, size_t fileOffset) {
    try {
      onefile::contentsFromIndexes(frames, length, fileOffset);
    } catch (const onefile::PayloadDamage&) {
    }
    try {
      onefile::checkIndexes(frames, length, fileOffset);
    } catch (const onefile::PayloadDamage&) {
    }
  };
  walk(data, size, 0);
  std::optional<onefile::PayloadLocation> where = onefile::locatePayload(data, size);
  if (!where) return;
  onefile::FrameBounds frames = onefile::frameBounds(where->length);
  walk(data + where->offset + frames.offset, frames.size, frames.offset);
}

void walkRecordStream(const uint8_t* data, size_t size) {
  std::string frame(ZSTD_compressBound(size), '\0');
  size_t written = ZSTD_compress(frame.data(), frame.size(), data, size, QUICK_LEVEL);
  if (ZSTD_isError(written)) throw std::logic_error("zstd cannot compress the fuzz input");
  walkFrames(reinterpret_cast<const unsigned char*>(frame.data()), written, 0);
}

}  // namespace fuzz_walk
