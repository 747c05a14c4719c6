#include "payload-io/payload-writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "payload-io/checksum.h"
#include "host/host-system.h"
#include "host/pack-error.h"
#include "payload-io/payload-assembler.h"
#include "payload/format.h"
#include "payload-io/record-encoding.h"
#include "host/utf.h"

namespace onefile {
namespace {

constexpr size_t READ_CHUNK = size_t{1} << 20;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }  // read-only: nothing to lose
};
using InputFile = std::unique_ptr<std::FILE, FileCloser>;

InputFile openInput(const FolderFile& file, const std::string& shown) {
  InputFile input(openForReading(file.source));
  if (!input) throw PackError(shown, std::string("cannot open: ") + std::strerror(errno));
  return input;
}

struct ContentDigest {
  uint64_t size = 0;
  uint32_t crc = CRC32_INITIAL;
};

// Reads the whole file through visit(bytes, size), returning its size and CRC-32.
template <typename Visit>
ContentDigest readContent(const FolderFile& file, const std::string& shown, std::vector<unsigned char>* buffer,
                          Visit visit) {
  InputFile input = openInput(file, shown);
  ContentDigest digest;
  for (;;) {
    size_t got = std::fread(buffer->data(), 1, buffer->size(), input.get());
    if (got > 0) {
      digest.crc = crc32Update(digest.crc, buffer->data(), got);
      digest.size += got;
      visit(buffer->data(), got);
    }
    if (got < buffer->size()) break;
  }
  if (std::ferror(input.get())) throw PackError(shown, std::string("cannot read: ") + std::strerror(errno));
  return digest;
}

void packFile(const FolderFile& file, PayloadAssembler& assembler, std::vector<unsigned char>* buffer,
              PackSummary* summary) {
  std::string shown = displayName(file.source.u8string());
  ContentDigest before = readContent(file, shown, buffer, [](const unsigned char*, size_t) {});
  std::string header = encodeRecordHeader(file.recordName, before.size, recordChecksum(before.crc));
  assembler.feed(header.data(), header.size());
  ContentDigest after = readContent(file, shown, buffer,
                                    [&](const unsigned char* bytes, size_t size) { assembler.feed(bytes, size); });
  if (after.size != before.size || after.crc != before.crc)
    throw PackError(shown, "changed while it was being packed");
  summary->files += 1;
  summary->contentBytes += after.size;
  summary->decodedBytes += header.size() + after.size;
}

}  // namespace

PackSummary writePayload(const std::vector<FolderFile>& files, const CompressionSettings& settings, ByteSink& sink,
                         Progress* progress) {
  // Progress counts the record stream as the compressor gets through it.
  uint64_t total = encodeEndRecord().size();
  for (const FolderFile& file : files) total += encodeRecordHeader(file.recordName, file.size, 0).size() + file.size;
  if (progress) progress->start(total);
  PackSummary summary;
  std::vector<unsigned char> buffer(READ_CHUNK);
  PayloadAssembler assembler(sink, progress);
  assembler.beginFrame(settings);
  for (const FolderFile& file : files) packFile(file, assembler, &buffer, &summary);
  std::string end = encodeEndRecord();
  assembler.feed(end.data(), end.size());
  summary.decodedBytes += end.size();
  assembler.endFrame();
  summary.payloadBytes = assembler.finish();
  if (progress) progress->finish();
  return summary;
}

PackSummary writePayloadFile(const std::vector<FolderFile>& files, const CompressionSettings& settings,
                             const std::filesystem::path& output, Progress* progress) {
  AtomicOutputFile sink(output);
  PackSummary summary = writePayload(files, settings, sink, progress);
  sink.commit();
  return summary;
}

}  // namespace onefile
