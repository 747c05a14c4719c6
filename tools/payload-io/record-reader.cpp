#include "payload-io/record-reader.h"

#include <zstd.h>
#include <zstd_errors.h>

#include <algorithm>

#include "host/utf.h"
#include "payload/format.h"
#include "payload/frame-index.h"

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

std::optional<RecordEntry> RecordReader::readRecord() {
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

std::optional<RecordEntry> RecordReader::next() {
  if (!started_) {
    started_ = true;
    openIndex();
  }
  return layout_.indexed ? nextIndexed() : readRecord();
}

std::string RecordReader::indexName() const { return "the index of frame " + std::to_string(layout_.frames); }

namespace {

std::string entryText(const std::u16string& name, uint64_t size, uint32_t checksum) {
  return utf16ToUtf8(name) + " (" + std::to_string(size) + " bytes, checksum " + std::to_string(checksum) + ")";
}

}  // namespace

// The index at the input's current place, its frame next to decode: false
// where none starts, which only the first frame may lack.
bool RecordReader::openIndex() {
  DecodeStream& cursor = stream_.cursor();
  size_t at = cursor.inputPos;
  uint64_t where = stream_.fileOffset();
  IndexFrame index;
  IndexStatus status = findIndexFrame(cursor.input + at, cursor.inputSize - at, &index);
  if (status == INDEX_NONE && !layout_.indexed) return false;
  layout_.frames += 1;
  if (status == INDEX_NONE)
    throw PayloadDamage("frame " + std::to_string(layout_.frames) + " has no index, as every frame before it has",
                        stream_.decodedOffset(), where);
  if (status == INDEX_DAMAGED)
    throw PayloadDamage(indexName() + " is damaged, or the payload cut short: its checksum fails or its sizes leave "
                        "the payload",
                        stream_.decodedOffset(), where);
  entries_.resize(index.entriesSize);
  bool holdsEnd = false;
  if (!decodeIndexEntries(cursor.decoder, &index, entries_.data(), &holdsEnd))
    throw PayloadDamage(indexName() + " is damaged: its entries do not decode to a list of records",
                        stream_.decodedOffset(), where);
  layout_.indexed = true;
  entryPosition_ = 0;
  frameEnd_ = at + index.indexSize + static_cast<size_t>(index.frameSize);
  decodeStreamRestartAt(&cursor, at + index.indexSize, frameEnd_);
  return true;
}

// The frame must end right after its last entry's record, its content
// checksum holding.
void RecordReader::endFrame() {
  DecodeStream& cursor = stream_.cursor();
  DecodeStatus end = decodeStreamEndsHere(&cursor);
  if (end == DECODE_DAMAGED && cursor.error != 0) stream_.throwDamage();
  if (end != DECODE_OK)
    throw PayloadDamage("the frame after " + indexName() + " does not end where its entries do",
                        stream_.decodedOffset(), stream_.fileOffset());
}

std::optional<RecordEntry> RecordReader::nextIndexed() {
  for (;;) {
    ::RecordHeader entry;
    // The entries were checked whole when the index was opened.
    IndexEntryStatus status = readIndexEntry(entries_.data(), entries_.size(), &entryPosition_, &entry);
    if (status == INDEX_ENTRIES_DONE) {
      endFrame();
      decodeStreamRestartAt(&stream_.cursor(), frameEnd_, stream_.cursor().inputSize);
      openIndex();
      continue;
    }
    std::optional<RecordEntry> record = readRecord();
    std::u16string name(entry.name, entry.name + entry.nameLength);
    bool same = status == INDEX_ENTRY_END ? !record
                                          : record && record->name == name && record->size == entry.size &&
                                                record->checksum == entry.checksum;
    if (!same)
      throw PayloadDamage(indexName() + " names " +
                              (status == INDEX_ENTRY_END ? "the end record" : entryText(name, entry.size, entry.checksum)) +
                              ", but its frame holds " +
                              (record ? entryText(record->name, record->size, record->checksum) : "the end record"),
                          stream_.decodedOffset(), stream_.fileOffset());
    if (!record) endFrame();
    return record;
  }
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
