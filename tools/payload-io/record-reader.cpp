#include "payload-io/record-reader.h"

#include <zstd.h>
#include <zstd_errors.h>

#include <algorithm>

#include "payload/format.h"

namespace onefile {
namespace {
// Small, so that a damaged frame is placed within a few KiB of where it breaks.
constexpr size_t DECODED_BLOCK = size_t{1} << 14;
}

PayloadDamage::PayloadDamage(const std::string& reason, uint64_t decodedOffset, uint64_t fileOffset)
    : std::runtime_error(reason + " (decoded byte " + std::to_string(decodedOffset) + ", file byte " +
                         std::to_string(fileOffset) + ")"),
      decodedOffset_(decodedOffset),
      fileOffset_(fileOffset) {}

DecodedStream::DecodedStream(const unsigned char* compressed, size_t size, uint64_t fileOffset)
    : fileOffset_(fileOffset), block_(DECODED_BLOCK) {
  ZSTD_DCtx* decoder = ZSTD_createDCtx();
  if (decoder == nullptr) throw std::bad_alloc();
  startDecodeStream(&stream_, decoder, compressed, size, block_.data(), block_.size());
}

DecodedStream::~DecodedStream() { ZSTD_freeDCtx(stream_.decoder); }

void DecodedStream::throwDamage() const {
  std::string reason = ZSTD_getErrorCode(stream_.error) == ZSTD_error_checksum_wrong
                           ? "the frame's content checksum does not match what it decodes to"
                           : std::string("the compressed data is damaged: ") + ZSTD_getErrorName(stream_.error);
  throw PayloadDamage(reason, stream_.decodedOffset, fileOffset_ + stream_.errorInputPos);
}

void DecodedStream::throwEnded() const {
  throw PayloadDamage("the record stream ends too early", stream_.decodedOffset, fileOffset());
}

void DecodedStream::read(void* destination, size_t count) {
  DecodeStatus status = decodeStreamRead(&stream_, destination, count);
  if (status == DECODE_DAMAGED) throwDamage();
  if (status == DECODE_ENDED) throwEnded();
}

uint64_t DecodedStream::drain() {
  uint64_t left = 0;
  if (decodeStreamDrain(&stream_, &left) != DECODE_OK) throwDamage();
  return left;
}

void DecodedStream::finishFrame() {
  DecodeStatus status = decodeStreamFinishFrame(&stream_);
  if (status == DECODE_DAMAGED) throwDamage();
  if (status == DECODE_ENDED) throw PayloadDamage("the last frame ends too early", stream_.decodedOffset, fileOffset());
}

std::optional<RecordEntry> RecordReader::next() {
  uint64_t start = stream_.decodedOffset();
  switch (readRecordHeader(&stream_.cursor(), &cursorHeader_)) {
    case RECORD_FILE:
      // Unit by unit: on Windows the cursor's units are wchar_t, of the same size.
      return RecordEntry{std::u16string(cursorHeader_.name, cursorHeader_.name + cursorHeader_.nameLength),
                         cursorHeader_.size, cursorHeader_.checksum, start};
    case RECORD_END:
      return std::nullopt;
    case RECORD_NAME_TOO_LONG:
      throw PayloadDamage("a record name is longer than " + std::to_string(RECORD_NAME_MAX_UNITS) + " code units",
                          start, stream_.fileOffset());
    case RECORD_STREAM_ENDED:
      stream_.throwEnded();
    case RECORD_DAMAGED:
      break;
  }
  stream_.throwDamage();
}

void RecordReader::readContent(uint64_t size, const std::function<void(const unsigned char*, size_t)>& visit) {
  while (size > 0) {
    size_t piece = static_cast<size_t>(std::min<uint64_t>(size, chunk_.size()));
    stream_.read(chunk_.data(), piece);
    visit(chunk_.data(), piece);
    size -= piece;
  }
}

}  // namespace onefile
