#include "payload-io/payload-writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "payload-io/checksum.h"
#include "payload-io/index-encoding.h"
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

// A file's record header, from a first reading of the file; the content is
// read again into the frame, and must not have changed in between.
struct FileRecord {
  const FolderFile* file;
  std::string shown;
  ContentDigest digest;
  std::string header;
};

FileRecord readRecordHeader(const FolderFile& file, std::vector<unsigned char>* buffer) {
  FileRecord record{&file, displayName(file.source.u8string()), {}, {}};
  record.digest = readContent(file, record.shown, buffer, [](const unsigned char*, size_t) {});
  record.header = encodeRecordHeader(file.recordName, record.digest.size, recordChecksum(record.digest.crc));
  return record;
}

// Progress is not advanced here: the compressor reports the input it has
// got through, which with worker threads lags far behind what was fed.
template <typename Feed>
void packRecord(const FileRecord& record, Feed feed, std::vector<unsigned char>* buffer, PackSummary* summary) {
  feed(record.header.data(), record.header.size());
  ContentDigest after = readContent(*record.file, record.shown, buffer,
                                    [&](const unsigned char* bytes, size_t size) { feed(bytes, size); });
  if (after.size != record.digest.size || after.crc != record.digest.crc)
    throw PackError(record.shown, "changed while it was being packed");
  summary->files += 1;
  summary->contentBytes += after.size;
  summary->decodedBytes += record.header.size() + after.size;
}

// Where each group of files starts: about frameBytes of content each (a
// larger file alone), and never more index entries than the bootstrap holds.
std::vector<size_t> groupStarts(const std::vector<FolderFile>& files, uint64_t frameBytes) {
  std::vector<size_t> starts = {0};
  uint64_t content = 0, entries = RECORD_NAME_UNIT_BYTES;  // room for the end record
  for (size_t i = 0; i < files.size(); ++i) {
    uint64_t header = (files[i].recordName.size() + 1) * RECORD_NAME_UNIT_BYTES + RECORD_SIZE_BYTES +
                      RECORD_CHECKSUM_BYTES;
    if (i > starts.back() && (content + files[i].size > frameBytes || entries + header > INDEX_ENTRIES_MAX_BYTES)) {
      starts.push_back(i);
      content = 0;
      entries = RECORD_NAME_UNIT_BYTES;
    }
    content += files[i].size;
    entries += header;
  }
  return starts;
}

// A frame needs no window larger than what it decodes to; a smaller one is
// all a start that decodes it must allocate.
constexpr int SMALLEST_WINDOW_LOG = 10;  // zstd's smallest

int windowLogFor(uint64_t decodedBytes, int largest) {
  int log = SMALLEST_WINDOW_LOG;
  while (log < largest && (uint64_t{1} << log) < decodedBytes) ++log;
  return log;
}

// One group as its index and its frame, made in memory: the index tells the
// frame's compressed size.
void packGroup(const std::vector<FolderFile>& files, size_t first, size_t last, const CompressionSettings& settings,
               PayloadAssembler& assembler, std::vector<unsigned char>* buffer, Progress* progress,
               PackSummary* summary) {
  std::vector<FileRecord> records;
  std::string entries;
  uint64_t decoded = 0;
  for (size_t i = first; i < last; ++i) {
    records.push_back(readRecordHeader(files[i], buffer));
    entries += records.back().header;
    decoded += records.back().header.size() + records.back().digest.size;
  }
  std::string end = last == files.size() ? encodeEndRecord() : std::string();
  entries += end;
  CompressionSettings frameSettings = settings;
  frameSettings.windowLog = windowLogFor(decoded + end.size(), settings.windowLog);
  StringSink frame;
  FrameCompressor compressor(frameSettings, frame);
  compressor.reportTo(progress);
  auto feed = [&](const void* bytes, size_t size) { compressor.feed(bytes, size); };
  for (const FileRecord& record : records) packRecord(record, feed, buffer, summary);
  compressor.feed(end.data(), end.size());
  summary->decodedBytes += end.size();
  compressor.finish();
  assembler.appendBytes(encodeIndexFrame(frame.bytes().size(), entries));
  assembler.appendBytes(frame.bytes());
}

void packOneFrame(const std::vector<FolderFile>& files, const CompressionSettings& settings,
                  PayloadAssembler& assembler, std::vector<unsigned char>* buffer, PackSummary* summary) {
  assembler.beginFrame(settings);
  auto feed = [&](const void* bytes, size_t size) { assembler.feed(bytes, size); };
  for (const FolderFile& file : files) packRecord(readRecordHeader(file, buffer), feed, buffer, summary);
  std::string end = encodeEndRecord();
  assembler.feed(end.data(), end.size());
  summary->decodedBytes += end.size();
  assembler.endFrame();
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
  if (settings.frameContentBytes == 0) {
    packOneFrame(files, settings, assembler, &buffer, &summary);
  } else {
    std::vector<size_t> starts = groupStarts(files, settings.frameContentBytes);
    starts.push_back(files.size());
    for (size_t g = 0; g + 1 < starts.size(); ++g)
      packGroup(files, starts[g], starts[g + 1], settings, assembler, &buffer, progress, &summary);
  }
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
