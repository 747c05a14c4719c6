// A payload on disk, in a payload file or inside a built executable, opened
// for reading its record stream.
#pragma once
#include <filesystem>
#include <memory>
#include <string>

#include "host/mapped-file.h"
#include "payload-io/index-check.h"
#include "payload-io/payload-locator.h"
#include "payload-io/record-reader.h"

namespace onefile {

class PayloadFile {
 public:
  // Throws PackError when the file cannot be read or carries no payload.
  explicit PayloadFile(const std::filesystem::path& path);

  const PayloadLocation& location() const { return location_; }
  // The frames: everything between the magic and the trailer.
  std::unique_ptr<DecodedStream> openStream() const;
  size_t framesSize() const;
  // The file's bytes before fileOffset will not be read again (MappedFile).
  void releaseBefore(uint64_t fileOffset) const { file_.releaseBefore(static_cast<size_t>(fileOffset)); }
  // The frames' layout, every index checked against its frame (index-check.h).
  IndexLayout checkIndexes() const;
  // What the indexes name, none of the frames decoded (index-check.h).
  std::optional<IndexedContents> contentsFromIndexes() const;

 private:
  MappedFile file_;
  PayloadLocation location_;
};

}  // namespace onefile
