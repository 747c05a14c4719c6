// Lays out a payload: "ZBX", the compressed record stream as one frame or
// several, then four zero bytes and the u64 LE count of the bytes before it.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "host/byte-sink.h"
#include "payload-io/frame-compressor.h"

namespace onefile {

// The trailer after a payload's frames: four zero bytes and the count of the
// bytes before it (bytesBefore, magic and frames, plus the zero bytes).
std::string payloadTrailer(uint64_t bytesBefore);

class PayloadAssembler {
 public:
  // progress, if given, advances by the decoded bytes each frame compresses.
  explicit PayloadAssembler(ByteSink& sink, Progress* progress = nullptr);

  // Starts a frame; the previous one, if any, must have been ended.
  void beginFrame(const CompressionSettings& settings);
  // Decoded bytes into the current frame.
  void feed(const void* bytes, size_t size);
  void flushBlock();
  void endFrame();
  // Bytes made elsewhere (an index and the frame it precedes), as they are.
  void appendBytes(const std::string& bytes);
  // Writes the trailer. Returns the payload's total length.
  uint64_t finish();

  // Bytes written so far, magic included: where the next byte will land.
  uint64_t offset() const;

 private:
  ByteSink& sink_;
  Progress* progress_;
  std::unique_ptr<FrameCompressor> frame_;
  uint64_t closedBytes_;  // magic plus every ended frame
};

}  // namespace onefile
