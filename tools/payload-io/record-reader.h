// Reads a payload's record stream on the host, for listing and verifying,
// through the bootstrap's own decode loop and record cursor
// (payload/record-cursor.h), and says where a damaged payload breaks.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "payload/record-cursor.h"

namespace onefile {

// Where reading a payload failed: offsets in the decoded stream and in the file.
class PayloadDamage : public std::runtime_error {
 public:
  PayloadDamage(const std::string& reason, uint64_t decodedOffset, uint64_t fileOffset);
  uint64_t decodedOffset() const { return decodedOffset_; }
  uint64_t fileOffset() const { return fileOffset_; }

 private:
  uint64_t decodedOffset_;
  uint64_t fileOffset_;
};

class DecodedStream {
 public:
  // compressed: the bytes the decoder is offered; fileOffset: their place in the file.
  DecodedStream(const unsigned char* compressed, size_t size, uint64_t fileOffset);
  ~DecodedStream();
  DecodedStream(const DecodedStream&) = delete;
  DecodedStream& operator=(const DecodedStream&) = delete;

  // Exactly count bytes, or PayloadDamage.
  void read(void* destination, size_t count);
  // Reads to the end of the input; returns how many decoded bytes were left.
  uint64_t drain();
  // Reads to the end of the current frame, where zstd checks its content
  // checksum, or PayloadDamage.
  void finishFrame();

  uint64_t decodedOffset() const { return stream_.decodedOffset; }
  uint64_t fileOffset() const { return fileOffset_ + stream_.inputPos; }

  DecodeStream& cursor() { return stream_; }
  // PayloadDamage for the cursor's last DECODE_DAMAGED or DECODE_ENDED.
  [[noreturn]] void throwDamage() const;
  [[noreturn]] void throwEnded() const;

 private:
  uint64_t fileOffset_;
  std::vector<unsigned char> block_;
  DecodeStream stream_;
};

struct RecordEntry {
  std::u16string name;
  uint64_t size = 0;
  uint32_t checksum = 0;
  uint64_t decodedOffset = 0;  // where the record starts
};

// How a payload's frames are laid out, as far as they have been read.
struct IndexLayout {
  bool indexed = false;  // false: one frame (or frames) without an index
  uint64_t frames = 0;   // frames with an index
};

// The records of a payload, in one pass. Where the frames follow indexes
// (payload/format.h), each index is checked on the way (its own checksum and
// sizes), each frame is decoded alone, and its records must be exactly those
// its entries name, in order, the frame ending right after them; the last
// frame must hold the end record. A difference throws PayloadDamage saying
// which frame differs, and how.
class RecordReader {
 public:
  explicit RecordReader(DecodedStream& stream) : stream_(stream) {}

  // The next file record's header, or nullopt at the end record.
  std::optional<RecordEntry> next();
  // The current record's content, in pieces.
  void readContent(uint64_t size, const std::function<void(const unsigned char*, size_t)>& visit);
  const IndexLayout& layout() const { return layout_; }

 private:
  std::optional<RecordEntry> readRecord();
  std::optional<RecordEntry> nextIndexed();
  bool openIndex();
  void endFrame();
  std::string indexName() const;

  DecodedStream& stream_;
  ::RecordHeader cursorHeader_;
  std::vector<unsigned char> chunk_ = std::vector<unsigned char>(size_t{1} << 16);
  bool started_ = false;
  IndexLayout layout_;
  std::vector<unsigned char> entries_;  // of the current frame's index
  size_t entryPosition_ = 0;
  size_t frameEnd_ = 0;  // in the stream's input
};

}  // namespace onefile
