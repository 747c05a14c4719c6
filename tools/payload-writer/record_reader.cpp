#include "record_reader.h"

#include <algorithm>
#include <cstring>

#include "payload/format.h"
#include "record_encoding.h"

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
    : context_(ZSTD_createDCtx()), input_{compressed, size, 0}, fileOffset_(fileOffset), block_(DECODED_BLOCK) {
  if (context_ == nullptr) throw std::bad_alloc();
}

DecodedStream::~DecodedStream() { ZSTD_freeDCtx(context_); }

// One decode call when the block is used up. False when the input is spent
// and the decoder holds nothing more.
bool DecodedStream::refill() {
  if (input_.pos == input_.size && !lastCallFilled_) return false;
  ZSTD_outBuffer output = {block_.data(), block_.size(), 0};
  uint64_t before = fileOffset();
  size_t result = ZSTD_decompressStream(context_, &output, &input_);
  if (ZSTD_isError(result))
    throw PayloadDamage(std::string("the compressed data is damaged: ") + ZSTD_getErrorName(result),
                        decodedOffset_, before);
  lastCallFilled_ = output.pos == output.size;
  fill_ = output.pos;
  cursor_ = 0;
  return true;
}

void DecodedStream::read(void* destination, size_t count) {
  auto* to = static_cast<unsigned char*>(destination);
  while (count > 0) {
    if (cursor_ == fill_) {
      if (!refill()) throw PayloadDamage("the record stream ends too early", decodedOffset_, fileOffset());
      continue;
    }
    size_t piece = std::min(fill_ - cursor_, count);
    std::memcpy(to, block_.data() + cursor_, piece);
    cursor_ += piece;
    to += piece;
    count -= piece;
    decodedOffset_ += piece;
  }
}

uint64_t DecodedStream::drain() {
  uint64_t left = fill_ - cursor_;
  decodedOffset_ += fill_ - cursor_;
  cursor_ = fill_;
  while (refill()) {
    left += fill_;
    decodedOffset_ += fill_;
    cursor_ = fill_;
  }
  return left;
}

std::optional<RecordHeader> RecordReader::next() {
  RecordHeader header;
  header.decodedOffset = stream_.decodedOffset();
  for (;;) {
    unsigned char unit[RECORD_NAME_UNIT_BYTES];
    stream_.read(unit, sizeof unit);
    char16_t value = static_cast<char16_t>(readLittleEndian(unit, sizeof unit));
    if (value == 0) break;
    if (header.name.size() == RECORD_NAME_MAX_UNITS)
      throw PayloadDamage("a record name is longer than " + std::to_string(RECORD_NAME_MAX_UNITS) + " code units",
                          header.decodedOffset, stream_.fileOffset());
    header.name.push_back(value);
  }
  if (header.name.empty()) return std::nullopt;
  unsigned char fields[RECORD_SIZE_BYTES + RECORD_CHECKSUM_BYTES];
  stream_.read(fields, sizeof fields);
  header.size = readLittleEndian(fields, RECORD_SIZE_BYTES);
  header.checksum = static_cast<uint32_t>(readLittleEndian(fields + RECORD_SIZE_BYTES, RECORD_CHECKSUM_BYTES));
  return header;
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
