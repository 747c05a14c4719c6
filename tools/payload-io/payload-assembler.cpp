#include "payload-io/payload-assembler.h"

#include <stdexcept>
#include <string>

#include "payload/format.h"
#include "payload-io/record-encoding.h"

namespace onefile {

std::string payloadTrailer(uint64_t bytesBefore) {
  std::string trailer(PAYLOAD_TRAILER_ZERO_BYTES, '\0');
  appendLittleEndian(&trailer, bytesBefore + PAYLOAD_TRAILER_ZERO_BYTES, PAYLOAD_LENGTH_FIELD_BYTES);
  return trailer;
}

PayloadAssembler::PayloadAssembler(ByteSink& sink, Progress* progress)
    : sink_(sink), progress_(progress), closedBytes_(PAYLOAD_MAGIC_SIZE) {
  sink_.write(PAYLOAD_MAGIC, PAYLOAD_MAGIC_SIZE);
}

void PayloadAssembler::beginFrame(const CompressionSettings& settings) {
  if (frame_) throw std::logic_error("a frame is still open");
  frame_ = std::make_unique<FrameCompressor>(settings, sink_);
  frame_->reportTo(progress_);
}

void PayloadAssembler::feed(const void* bytes, size_t size) { frame_->feed(bytes, size); }

void PayloadAssembler::flushBlock() { frame_->flush(); }

void PayloadAssembler::endFrame() {
  frame_->finish();
  closedBytes_ += frame_->compressedBytes();
  frame_.reset();
}

void PayloadAssembler::appendBytes(const std::string& bytes) {
  if (frame_) throw std::logic_error("a frame is still open");
  sink_.write(bytes.data(), bytes.size());
  closedBytes_ += bytes.size();
}

uint64_t PayloadAssembler::offset() const { return closedBytes_ + (frame_ ? frame_->compressedBytes() : 0); }

uint64_t PayloadAssembler::finish() {
  if (frame_) throw std::logic_error("a frame is still open");
  std::string trailer = payloadTrailer(closedBytes_);
  sink_.write(trailer.data(), trailer.size());
  return closedBytes_ + trailer.size();
}

}  // namespace onefile
