#include "payload-io/payload-writer.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>

#include "payload-io/checksum.h"
#include "payload-io/index-encoding.h"
#include "host/host-system.h"
#include "host/pack-error.h"
#include "host/parallel-work.h"
#include "host/thread-group.h"
#include "payload-io/ordered-groups.h"
#include "payload-io/payload-assembler.h"
#include "payload/format.h"
#include "payload-io/read-back-check.h"
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

FileRecord measureFile(const FolderFile& file, std::vector<unsigned char>* buffer) {
  FileRecord record{&file, displayName(file.source.u8string()), {}, {}};
  record.digest = readContent(file, record.shown, buffer, [](const unsigned char*, size_t) {});
  record.header = encodeRecordHeader(file.recordName, record.digest.size, recordChecksum(record.digest.crc));
  return record;
}

// Progress is not advanced here: the compressor reports the input it has
// got through, which with worker threads lags far behind what was fed.
void packRecord(const FileRecord& record, FrameCompressor& compressor, std::vector<unsigned char>* buffer,
                PackSummary* summary) {
  compressor.feed(record.header.data(), record.header.size());
  ContentDigest after = readContent(*record.file, record.shown, buffer,
                                    [&](const unsigned char* bytes, size_t size) { compressor.feed(bytes, size); });
  if (after.size != record.digest.size || after.crc != record.digest.crc)
    throw PackError(record.shown, "changed while it was being packed");
  summary->files += 1;
  summary->contentBytes += after.size;
  summary->decodedBytes += record.header.size() + after.size;
}

// files[first, last) in one frame, after its index when the payload has them.
struct Group {
  size_t first, last;
};

// About frameBytes of content each (a larger file alone), and never more
// index entries than the bootstrap holds; 0: all in one.
std::vector<Group> groupsOf(const std::vector<FolderFile>& files, uint64_t frameBytes) {
  std::vector<Group> groups = {{0, 0}};
  uint64_t content = 0, entries = RECORD_NAME_UNIT_BYTES;  // room for the end record
  for (size_t i = 0; i < files.size(); ++i) {
    uint64_t header = (files[i].recordName.size() + 1) * RECORD_NAME_UNIT_BYTES + RECORD_SIZE_BYTES +
                      RECORD_CHECKSUM_BYTES;
    if (frameBytes != 0 && i > groups.back().first &&
        (content + files[i].size > frameBytes || entries + header > INDEX_ENTRIES_MAX_BYTES)) {
      groups.push_back({i, i});
      content = 0;
      entries = RECORD_NAME_UNIT_BYTES;
    }
    content += files[i].size;
    entries += header;
    groups.back().last = i + 1;
  }
  return groups;
}

// A frame needs no window larger than what it decodes to; a smaller one is
// all a start that decodes it must allocate.
constexpr int SMALLEST_WINDOW_LOG = 10;  // zstd's smallest

int windowLogFor(uint64_t decodedBytes, int largest) {
  int log = SMALLEST_WINDOW_LOG;
  while (log < largest && (uint64_t{1} << log) < decodedBytes) ++log;
  return log;
}

// The progress of groups compressed side by side, one report at a time.
class SharedProgress : public Progress {
 public:
  explicit SharedProgress(Progress* progress) : progress_(progress) {}
  void start(uint64_t totalBytes) override { progress_->start(totalBytes); }
  void advance(uint64_t bytes) override {
    std::lock_guard<ThreadLock> held(lock_);
    progress_->advance(bytes);
  }
  void finish() override { progress_->finish(); }

 private:
  Progress* progress_;
  ThreadLock lock_;
};

// What every group shares: how it is compressed and where it goes.
struct GroupWork {
  const std::vector<FolderFile>& files;
  CompressionSettings settings;  // with the workers each group's compressor gets
  bool indexed;
  Progress* progress;
};

// One group: its index first, with the frame's size left open, then its
// frame, streamed out as it is compressed, then the index sealed in place.
PackSummary packGroup(const GroupWork& work, const Group& group, bool last, ByteSink& out) {
  std::vector<unsigned char> buffer(READ_CHUNK);
  std::vector<FileRecord> records;
  std::string entries;
  uint64_t decoded = 0;
  for (size_t i = group.first; i < group.last; ++i) {
    records.push_back(measureFile(work.files[i], &buffer));
    entries += records.back().header;
    decoded += records.back().header.size() + records.back().digest.size;
  }
  std::string end = last ? encodeEndRecord() : std::string();
  entries += end;
  std::string index = work.indexed ? encodeIndex(entries) : std::string();
  out.write(index.data(), index.size());
  CompressionSettings frameSettings = work.settings;
  // A frame without an index is a payload's only one, with the whole window
  // as every payload had it before the index.
  if (work.indexed) frameSettings.windowLog = windowLogFor(decoded + end.size(), work.settings.windowLog);
  FrameCompressor compressor(frameSettings, out);
  compressor.reportTo(work.progress);
  PackSummary summary;
  for (const FileRecord& record : records) packRecord(record, compressor, &buffer, &summary);
  compressor.feed(end.data(), end.size());
  summary.decodedBytes += end.size();
  compressor.finish();
  if (work.indexed) {
    sealIndex(&index, compressor.compressedBytes());
    out.overwrite(0, index.data(), index.size());
  }
  summary.payloadBytes = index.size() + compressor.compressedBytes();
  return summary;
}

void add(PackSummary* total, const PackSummary& part) {
  total->files += part.files;
  total->contentBytes += part.contentBytes;
  total->decodedBytes += part.decodedBytes;
  total->payloadBytes += part.payloadBytes;
}

}  // namespace

// Up to `threads` groups are compressed side by side, each with twice its
// share of the threads as zstd's workers (as many as there are, at most):
// while one group waits for its last jobs, the others' keep every processor
// busy, and the last group alone still has them all. zstd cuts a frame into
// jobs of a fixed size whatever the count of its workers (never none, which
// would compress otherwise), so the bytes do not depend on the thread count.
PackSummary writePayload(const std::vector<FolderFile>& files, const CompressionSettings& settings, ByteSink& sink,
                         Progress* progress) {
  // Progress counts the record stream as the compressors get through it.
  uint64_t total = encodeEndRecord().size();
  for (const FolderFile& file : files) total += encodeRecordHeader(file.recordName, file.size, 0).size() + file.size;
  if (progress) progress->start(total);
  std::vector<Group> groups = groupsOf(files, settings.frameContentBytes);
  unsigned threads = static_cast<unsigned>(std::max(settings.threads, 1));
  unsigned sideBySide = static_cast<unsigned>(std::min<size_t>(threads, groups.size()));
  std::optional<SharedProgress> shared;
  if (progress) shared.emplace(progress);
  GroupWork work{files, settings, settings.frameContentBytes != 0, shared ? &*shared : nullptr};
  work.settings.threads = static_cast<int>(std::min(threads, std::max(1u, 2 * threads / sideBySide)));

  sink.write(PAYLOAD_MAGIC, PAYLOAD_MAGIC_SIZE);
  PackSummary summary;
  summary.payloadBytes = PAYLOAD_MAGIC_SIZE;
  std::vector<PackSummary> parts(groups.size());
  OrderedGroups ordered(sink, PAYLOAD_MAGIC_SIZE, groups.size());
  forEachInParallel(
      groups.size(), sideBySide,
      [&](size_t g) { parts[g] = packGroup(work, groups[g], g + 1 == groups.size(), ordered.group(g)); },
      [&](size_t g) {
        ordered.finish(g);
        add(&summary, parts[g]);
      });
  std::string trailer = payloadTrailer(summary.payloadBytes);
  sink.write(trailer.data(), trailer.size());
  summary.payloadBytes += trailer.size();
  if (progress) progress->finish();
  return summary;
}

PackSummary writePayloadFile(const std::vector<FolderFile>& files, const CompressionSettings& settings,
                             const std::filesystem::path& output, Progress* progress, Progress* checking) {
  AtomicOutputFile sink(output);
  PackSummary summary = writePayload(files, settings, sink, progress);
  sink.flush();
  checkReadBack(std::filesystem::u8path(sink.temporaryPath()), summary, displayName(output.u8string()), checking);
  sink.commit();
  return summary;
}

}  // namespace onefile
