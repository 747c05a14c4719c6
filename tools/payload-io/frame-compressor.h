// One zstd frame as the bootstrap's decoder takes it: no content size, no
// dictionary ID, the window log written into the header exactly as asked (27
// for every real payload), and a content checksum (XXH64 of what the frame
// decodes to), which the decoder checks at the frame's end before the
// bootstrap starts the program.
#pragma once
#include <zstd.h>

#include <cstdint>
#include <vector>

#include "host/byte-sink.h"
#include "host/progress.h"
#include "payload/format.h"

namespace onefile {

// A frame's content, by default: the largest payload growth against one frame
// stays within 2 % on the benchmarks' data sets at the default level.
inline constexpr uint64_t DEFAULT_FRAME_CONTENT_BYTES = uint64_t{128} << 20;

struct CompressionSettings {
  int level = 19;
  // Worker threads; 0 compresses on the calling thread. Any count from 1 up
  // gives the same bytes, as the input is cut into jobs of a fixed size.
  int threads = 2;
  int windowLog = PAYLOAD_WINDOW_LOG;
  // Off only for test payloads that stand for older ones, written without it.
  bool contentChecksum = true;
  // Multithreaded jobs: each job sees its own input and the last overlap
  // bytes before it. zstd's defaults for the 128 MiB window would make one
  // job of 512 MiB (no parallelism) and reload the whole window per job; these
  // are its defaults for level 19's own 8 MiB window.
  uint64_t jobSize = uint64_t{32} << 20;
  int overlapLog = 5;  // overlap = window / 16 = 8 MiB
  // The payload's layout, not the frame's: files go into frames of about this
  // much content, each after an index; 0 puts them all into one frame
  // without an index, as payloads were before the index.
  uint64_t frameContentBytes = DEFAULT_FRAME_CONTENT_BYTES;
};

class FrameCompressor {
 public:
  FrameCompressor(const CompressionSettings& settings, ByteSink& sink);
  ~FrameCompressor();
  FrameCompressor(const FrameCompressor&) = delete;
  FrameCompressor& operator=(const FrameCompressor&) = delete;

  void feed(const void* bytes, size_t size);
  // Ends the current block here: the next input starts a new block.
  void flush();
  // Ends the frame; the compressor takes no more input.
  void finish();

  uint64_t compressedBytes() const { return compressedBytes_; }

  // Advances progress by the input bytes compressed, as the compressor
  // (its worker threads too) gets through them: input taken in is only
  // buffered, and with threads up to several jobs of it are taken at once.
  void reportTo(Progress* progress) { progress_ = progress; }

 private:
  void drive(const void* bytes, size_t size, ZSTD_EndDirective directive);
  void reportProgress();

  ZSTD_CCtx* context_;
  ByteSink& sink_;
  std::vector<unsigned char> buffer_;
  uint64_t compressedBytes_ = 0;
  Progress* progress_ = nullptr;
  uint64_t reportedBytes_ = 0;
};

}  // namespace onefile
