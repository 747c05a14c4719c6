#include "payload_file.h"

#include "pack_error.h"
#include "payload/format.h"
#include "utf.h"

namespace onefile {
namespace {

PayloadLocation locateIn(const MappedFile& file, const std::filesystem::path& path) {
  std::optional<PayloadLocation> found = locatePayload(file.data(), file.size());
  if (!found)
    throw PackError(displayName(path.u8string()),
                    "no payload here: not a payload file (which starts with \"ZBX\") and no executable carrying one");
  return *found;
}

}  // namespace

PayloadFile::PayloadFile(const std::filesystem::path& path) : file_(path), location_(locateIn(file_, path)) {}

// The last 12 bytes are the trailer even when they do not hold what they
// should: a damaged trailer is reported as such, not as a damaged frame.
size_t PayloadFile::framesSize() const {
  size_t afterMagic = location_.length - PAYLOAD_MAGIC_SIZE;
  return afterMagic >= PAYLOAD_TRAILER_SIZE ? afterMagic - PAYLOAD_TRAILER_SIZE : afterMagic;
}

std::unique_ptr<DecodedStream> PayloadFile::openStream() const {
  size_t start = location_.offset + PAYLOAD_MAGIC_SIZE;
  return std::make_unique<DecodedStream>(file_.data() + start, framesSize(), start);
}

}  // namespace onefile
