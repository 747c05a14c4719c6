#include "payload-io/read-back-check.h"

#include "host/counted-text.h"
#include "host/pack-error.h"
#include "host/utf.h"
#include "payload-io/checksum.h"
#include "payload-io/payload-file.h"

namespace onefile {
namespace {

// Pages already read are let go in steps of this much.
constexpr uint64_t RELEASE_STEP = uint64_t{64} << 20;

std::string countsText(uint64_t files, uint64_t bytes) {
  return countedText(files, "file") + " of " + countedText(bytes, "byte");
}

}  // namespace

void checkReadBack(const std::filesystem::path& file, const PackSummary& summary, const std::string& shown,
                   Progress* progress) {
  PayloadFile payload(file);
  std::unique_ptr<DecodedStream> stream = payload.openStream();
  RecordReader reader(*stream);
  if (progress) progress->start(summary.contentBytes);
  uint64_t files = 0, bytes = 0, released = 0;
  try {
    while (std::optional<RecordEntry> record = reader.next()) {
      uint32_t crc = CRC32_INITIAL;
      reader.readContent(record->size, [&](const unsigned char* piece, size_t size) {
        crc = crc32Update(crc, piece, size);
        if (progress) progress->advance(size);
        if (stream->fileOffset() - released >= RELEASE_STEP) payload.releaseBefore(released = stream->fileOffset());
      });
      if (record->checksum != recordChecksum(crc))
        throw PayloadDamage("the content of the record of " + utf16ToUtf8(record->name) + " does not match its checksum",
                            stream->decodedOffset(), stream->fileOffset());
      files += 1;
      bytes += record->size;
    }
    stream->finishFrame();
  } catch (const PayloadDamage& damage) {
    throw PackError(shown, std::string("the payload as written does not read back: ") + damage.what());
  }
  if (files != summary.files || bytes != summary.contentBytes)
    throw PackError(shown, "the payload as written reads back as " + countsText(files, bytes) + ", not the " +
                               countsText(summary.files, summary.contentBytes) + " packed");
  if (progress) progress->finish();
}

}  // namespace onefile
