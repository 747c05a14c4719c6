#include "payload-io/payload-file.h"

#include "host/pack-error.h"
#include "host/utf.h"

namespace onefile {
namespace {

PayloadLocation locateIn(const MappedFile& file, const std::filesystem::path& path) {
  std::optional<PayloadLocation> found = locatePayload(file.data(), file.size());
  // A download or a copy cut short: the headers still say how long it was.
  std::optional<uint64_t> end = found ? std::nullopt : peSectionsEnd(file.data(), file.size());
  if (end && *end > file.size())
    throw PackError(displayName(path.u8string()), "truncated: " + std::to_string(file.size()) + " of " +
                                                      std::to_string(*end) + " bytes, as its PE headers count them");
  if (!found)
    throw PackError(displayName(path.u8string()),
                    "no payload here: not a payload file (which starts with \"ZBX\") and no executable carrying one");
  return *found;
}

}  // namespace

PayloadFile::PayloadFile(const std::filesystem::path& path) : file_(path), location_(locateIn(file_, path)) {}

size_t PayloadFile::framesSize() const { return frameBounds(location_.length).size; }

std::unique_ptr<DecodedStream> PayloadFile::openStream() const {
  FrameBounds frames = frameBounds(location_.length);
  size_t start = location_.offset + frames.offset;
  return std::make_unique<DecodedStream>(file_.data() + start, frames.size, start);
}

IndexLayout PayloadFile::checkIndexes() const {
  FrameBounds frames = frameBounds(location_.length);
  size_t start = location_.offset + frames.offset;
  return onefile::checkIndexes(file_.data() + start, frames.size, start);
}

std::optional<IndexedContents> PayloadFile::contentsFromIndexes() const {
  FrameBounds frames = frameBounds(location_.length);
  size_t start = location_.offset + frames.offset;
  return onefile::contentsFromIndexes(file_.data() + start, frames.size, start);
}

}  // namespace onefile
